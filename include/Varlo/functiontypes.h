#ifndef FUNCTIONTYPES_H
#define FUNCTIONTYPES_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Records of the controller's function settings: stop mode, outside control,
// vision, servo driver gains, conveyor tracking, the kinematic structure and
// the catalogue of script functions. Mode strings and control codes are the
// controller's; the library passes them through.

// "/settings/function/stopMode": where and how the arm goes when stopped.
struct StopModeSettings {
    bool enable = false;     // whether a stop sends the arm to the point below
    // The point: position (mm) and orientation (degrees) in the frames below.
    float x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
    // Tool and user frame indexes of the point.
    qint32 tool = 0, user = 0;
    // The arm configuration at the point (selectors r, d, n, cfg).
    qint32 r = 0, d = 0, n = 0, cfg = 0;
    QString mode;            // how it goes there, in the controller's words
    qint32 arch = 0;         // arch index, as the controller numbers them
    qint32 speed = 0;        // speed ratio, percent
};

// One input or output of the offline start/stop wiring.
struct OfflineSignal {
    qint32 io;               // the IO channel
    qint32 level;            // the level that acts (0 low, 1 high)
};

// "/settings/offline": which IO starts, pauses, resumes and stops the
// program without a host, and which outputs report alarm and running.
struct OfflineSettings {
    char name[20];           // UTF-8, NUL-terminated
    // Inputs that start, pause, resume, stop and force-stop the program.
    OfflineSignal start;
    OfflineSignal pause;
    OfflineSignal resume;
    OfflineSignal stop;
    OfflineSignal force_stop;
    // Outputs that report an alarm and a running program.
    OfflineSignal alarm;
    OfflineSignal running;
};

// "/settings/function/remoteControl": the program an outside controller
// starts, and how (the controller's words).
struct RemoteControl {
    QString name;            // the program
    QString mode;            // the control mode
};

// The IO (or Modbus) map of the outside control: six inputs, four outputs.
struct ControlMap {
    // Inputs (Modbus coils): clear the alarms, continue ("continue"), pause,
    // stop, start the program, emergency stop.
    qint32 clear_alarm;
    qint32 continue_;
    qint32 pause_pin;
    qint32 stop_pin;
    qint32 start_pin;
    qint32 emergencystop;
    // Outputs (Modbus input bits): ready, paused, alarm, running.
    qint32 readystatus;
    qint32 pausestatus;
    qint32 alarmstatus;
    qint32 runstatus;
};

// "/settings/function/modbusConf": the controller as a Modbus device.
struct ModbusConf {
    qint32 id = 0;           // its device (slave) id
    QString mode;            // the transport, in the controller's words
};

// Calibrations in "/process/vision_calibrate".
enum : int { VisionCalibrationCount = 8 };

// One camera calibration of "/process/vision_calibrate" (a table of eight).
struct VisionCalibration {
    QString name;            // the calibration's name
    QString method;          // how it was calibrated, in the controller's words
    qint32 fixed = 0;        // the controller's flag for a fixed camera
    float matrix[9] = {};    // the 3 x 3 image-to-robot transform, row by row
    float coordinate[3] = {}; // the calibration's reference position
    float error[2] = {};     // the calibration's error, two values
    float angle = 0;         // the calibration's angle, degrees
};

// The camera to ask for a target position.
struct VisionTarget {
    qint32 index = 0;        // the calibration to use
    QString ip;              // the camera's address
    QString port;            // and port
};

// "/process/flyPhoto/latchPos": the position latched for a photo in motion.
struct LatchPos {
    // The latched position (mm) and rotation (degrees).
    float x;
    float y;
    float r;
    float jointAngle[6];     // the joint positions then, degrees
};

namespace QRobotType {

// Servo gains of one parameter group, one value per joint.
struct DriverParams {
    // Velocity loop gain and integral, position loop gain, speed feed-forward
    // and load inertia ratio, each one value per joint.
    float velocityP[6];
    float velocityI[6];
    float positionP[6];
    float speedFeedForward[6];
    float loadInertiaRatio[6];
};

// Parameter groups of a servo driver document.
enum : int { DriverParamsGroupCount = 10 };

// "/properties/driverParams" (factory) or "/settings/driver/userParams" (the
// user's): ten groups of servo gains.
struct DriverParamsGroup {
    DriverParams group[DriverParamsGroupCount]; // the groups, in the document's order
};

} // namespace QRobotType

// One conveyor tracker of "/process/tracking".
struct Tracker {
    quint8 conveyor_index;   // the conveyor's number
    qint32 conveyor_type;    // its kind, in the controller's codes
    quint8 encoder_channel;  // the encoder input that counts its travel
    qint32 direction;        // its direction of travel, in the controller's codes
    float resolution;        // travel per encoder count, mm
    quint8 user_coord;       // the user frame on the conveyor
    qint32 data_source;      // where objects come from (sensor or camera), the controller's code
    // The sensor source: its input, trigger type, the distance (mm) within
    // which a second trigger counts as the same object, its frame.
    quint8 communication_DI;
    qint32 sensor_trigger_type;
    float sensor_repeat_threshold;
    float sensor_coord[6];
    // The camera source: the output that triggers it, trigger type, repeat
    // threshold (mm), distance between shots (mm), unit of its data, its
    // frame, its 3 x 3 image transform, its field's width and height (mm).
    quint8 trigger_DO;
    qint32 camera_trigger_type;
    float camera_repeat_threshold;
    float shot_interval;
    qint32 data_uint_type;
    float camera_coord[6];
    double camera_mat[9];
    float width;
    float height;
    // The working range along the conveyor (mm): where work may start, the
    // last point to pick at, where it must end, and the stopping distance.
    float work_min;
    float pick_max;
    float work_max;
    float stop_distance;
};

// Trackers of "/process/tracking".
enum : int { TrackerCount = 2 };

// "/process/tracking": the conveyor trackers.
struct TrackingSettings {
    Tracker tracker[TrackerCount]; // the first `count` are in use
    quint8 count;            // trackers in use, 0 to 2
};

// "/properties/structure": link lengths, joint limits and motor data.
struct RobotStructure {
    // The links: lengths L1 to L6 and offsets a1 to a6 (mm; "A1" to "A6" in
    // the form structureShort reads), twists alpha1 to alpha6 (degrees).
    float L[6];
    float a[6];
    float alpha[6];
    float limits[6][2];      // joint i: limits[i][0], limits[i][1]
    bool simulated[6];       // per motor: no motor, the controller simulates it
    // Per motor: turned the other way, rated speed and its limit, the
    // encoder's bits, the gearbox ratio num / den.
    bool inverted[6];
    float rated[6];
    float limit[6];
    float bitNum[6];
    float num[6];
    float den[6];
};

// The catalogue's functions taken, and parameters of one function.
enum : int { FunctionApiNameCount = 48, FunctionApiParamCount = 5 };

// One function of the script-function catalogue.
struct FunctionApiEntry {
    // A parameter's kind: "num", "point", "switch", anything else.
    enum ParamType : qint32 { Num = 0, Point = 1, Switch = 2, Other = 3 };
    // One parameter and its range.
    struct Param {
        qint32 type;         // ParamType
        qint32 max;          // -1 when missing
        qint32 min;          // -1 when missing
    };
    char name[100];          // local 8-bit encoding, NUL-terminated
    qint32 paramCount;       // 0 to 5; -1 when the function has no parameter list
    Param params[FunctionApiParamCount]; // the first paramCount are used
};

// One operator or function name of the script editor and its text.
struct FunctionSystemEntry {
    char key[100];           // local 8-bit encoding, NUL-terminated
    char text[100];          // its text, local 8-bit, NUL-terminated
};

#endif // FUNCTIONTYPES_H
