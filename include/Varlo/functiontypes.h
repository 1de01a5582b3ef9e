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
    bool enable = false;
    float x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
    qint32 tool = 0, user = 0;
    qint32 r = 0, d = 0, n = 0, cfg = 0;
    QString mode;
    qint32 arch = 0;
    qint32 speed = 0;
};

// One input or output of the offline start/stop wiring.
struct OfflineSignal {
    qint32 io;
    qint32 level;
};

// "/settings/offline": which IO starts, pauses, resumes and stops the
// program without a host, and which outputs report alarm and running.
struct OfflineSettings {
    char name[20];           // UTF-8, NUL-terminated
    OfflineSignal start;
    OfflineSignal pause;
    OfflineSignal resume;
    OfflineSignal stop;
    OfflineSignal force_stop;
    OfflineSignal alarm;
    OfflineSignal running;
};

struct RemoteControl {
    QString name;
    QString mode;
};

// The IO (or Modbus) map of the outside control: six inputs, four outputs.
struct ControlMap {
    qint32 clear_alarm;
    qint32 continue_;        // "continue"
    qint32 pause_pin;
    qint32 stop_pin;
    qint32 start_pin;
    qint32 emergencystop;
    qint32 readystatus;
    qint32 pausestatus;
    qint32 alarmstatus;
    qint32 runstatus;
};

struct ModbusConf {
    qint32 id = 0;
    QString mode;
};

enum : int { VisionCalibrationCount = 8 };

struct VisionCalibration {
    QString name;
    QString method;
    qint32 fixed = 0;
    float matrix[9] = {};
    float coordinate[3] = {};
    float error[2] = {};
    float angle = 0;
};

// The camera to ask for a target position.
struct VisionTarget {
    qint32 index = 0;
    QString ip;
    QString port;
};

// "/process/flyPhoto/latchPos": the position latched for a photo in motion.
struct LatchPos {
    float x;
    float y;
    float r;
    float jointAngle[6];
};

namespace QRobotType {

// Servo gains of one parameter group, one value per joint.
struct DriverParams {
    float velocityP[6];
    float velocityI[6];
    float positionP[6];
    float speedFeedForward[6];
    float loadInertiaRatio[6];
};

enum : int { DriverParamsGroupCount = 10 };

struct DriverParamsGroup {
    DriverParams group[DriverParamsGroupCount];
};

} // namespace QRobotType

// One conveyor tracker of "/process/tracking".
struct Tracker {
    quint8 conveyor_index;
    qint32 conveyor_type;
    quint8 encoder_channel;
    qint32 direction;
    float resolution;
    quint8 user_coord;
    qint32 data_source;
    // sensor
    quint8 communication_DI;
    qint32 sensor_trigger_type;
    float sensor_repeat_threshold;
    float sensor_coord[6];
    // camera
    quint8 trigger_DO;
    qint32 camera_trigger_type;
    float camera_repeat_threshold;
    float shot_interval;
    qint32 data_uint_type;
    float camera_coord[6];
    double camera_mat[9];
    float width;
    float height;
    // working range
    float work_min;
    float pick_max;
    float work_max;
    float stop_distance;
};

enum : int { TrackerCount = 2 };

struct TrackingSettings {
    Tracker tracker[TrackerCount];
    quint8 count;            // trackers in use, 0 to 2
};

// "/properties/structure": link lengths, joint limits and motor data.
struct RobotStructure {
    float L[6];
    float a[6];
    float alpha[6];
    float limits[6][2];      // joint i: limits[i][0], limits[i][1]
    bool simulated[6];       // per motor
    bool inverted[6];
    float rated[6];
    float limit[6];
    float bitNum[6];
    float num[6];
    float den[6];
};

enum : int { FunctionApiNameCount = 48, FunctionApiParamCount = 5 };

// One function of the script-function catalogue.
struct FunctionApiEntry {
    enum ParamType : qint32 { Num = 0, Point = 1, Switch = 2, Other = 3 };
    struct Param {
        qint32 type;         // ParamType
        qint32 max;          // -1 when missing
        qint32 min;          // -1 when missing
    };
    char name[100];          // local 8-bit encoding, NUL-terminated
    qint32 paramCount;       // 0 to 5; -1 when the function has no parameter list
    Param params[FunctionApiParamCount];
};

// One operator or function name of the script editor and its text.
struct FunctionSystemEntry {
    char key[100];           // local 8-bit encoding, NUL-terminated
    char text[100];
};

#endif // FUNCTIONTYPES_H
