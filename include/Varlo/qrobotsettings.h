#ifndef QROBOTSETTINGS_H
#define QROBOTSETTINGS_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "Varlo/coordinatetypes.h"
#include "Varlo/functiontypes.h"
#include "Varlo/infotypes.h"
#include "Varlo/motiontypes.h"
#include "Varlo/parametertypes.h"
#include "Varlo/projecttypes.h"
#include "Varlo/qrobotscriptstate.h"
#include "Varlo/qrobottype.h"

class QHttpManager;
class QRobotSettingsPrivate;

// Commands and settings of the controller: motion, kinematics, coordinate
// systems, motion parameters, controller information and project files. It
// keeps no copy of the controller's settings between calls.
class VARLO_EXPORT QRobotSettings : public QObject
{
    Q_OBJECT
public:
    // Talks to the controller through `transport`; built by QRobot::initialize().
    QRobotSettings(QHttpManager *transport, QObject *parent);
    ~QRobotSettings() override;

    // The transport it talks through.
    QHttpManager *transport() const;

    // The robot's axis count from the document "/properties/axis"; 0 when the
    // document cannot be read, is not a JSON object or has no "axis".
    int readAxisCount();

    // ---- motion commands and kinematics ----
    // The commands return the transport's verdict: true when the controller
    // answered (its answer is not inspected). None waits for the motion.

    // POST "/interface/go"; `mode` "go" moves point to point, "move" linearly.
    bool go(const MotionTarget &target, const QString &mode, bool value);
    // POST "/interface/moveJ" to six joint positions, joint 1 first.
    bool moveJ(const QRobotType::JointCoordinate &joint, bool value);
    // POST "/interface/goR" / "/interface/moveR": an offset along X, Y and Z.
    bool goR(float offsetX, float offsetY, float offsetZ);
    bool moveR(float offsetX, float offsetY, float offsetZ);
    // POST "/interface/auxGo": a Cartesian target with the auxiliary axes.
    bool auxGo(const AuxMotionTarget &target, const QString &mode, bool value);

    // Whether the last motion of each kind has ended: `value` true when it has
    // finished, `isAlarms` true when it ended in an alarm. A key the reply
    // lacks leaves its out-parameter as it was. The result is the transport's.
    bool goState(bool &value, bool &isAlarms);
    bool moveJState(bool &value, bool &isAlarms);
    bool goRState(bool &value, bool &isAlarms);
    bool moveRState(bool &value, bool &isAlarms);

    // The controller's forward and inverse kinematics. True when the reply
    // carried the result (missing elements read as 0); false, and the output
    // as it was, when the request failed or the reply has no result.
    bool positiveSolution(const QRobotType::JointCoordinate &joint, int tool, int user,
                          QRobotType::CartesianCoordinate &coordinate);
    bool inverseSolution(const QRobotType::CartesianCoordinate &coordinate, const QRobotType::RDNCoordinate &rdn,
                         int tool, int user, QRobotType::JointCoordinate &joint);

    // ---- coordinate systems and calibration ----
    // Records in Varlo/coordinatetypes.h. Tables are read and written whole;
    // a table that cannot be read reads as all zeros (every entry disabled).

    bool setToolCoordinates(const struct CoordinateTable &table); // writes "/settings/coordinate/tool"
    struct CoordinateTable toolCoordinates();                     // reads "/settings/coordinate/tool"
    bool setUserCoordinates(const struct CoordinateTable &table); // writes "/settings/coordinate/user"
    struct CoordinateTable userCoordinates();                     // reads "/settings/coordinate/user"
    bool setPointLoads(const struct PointLoadTable &table);       // writes "/settings/function/pointLoad"
    struct PointLoadTable pointLoads();                           // reads "/settings/function/pointLoad"
    // A table read for a change of some of its entries, to be written back
    // whole: false, `table` untouched, when it could not be read (nothing may
    // then be written over it); a table the controller does not have yet
    // reads as all zeros.
    bool toolCoordinatesForEdit(struct CoordinateTable &table);
    bool userCoordinatesForEdit(struct CoordinateTable &table);

    // Calibrations computed by the controller from taught points. False when
    // the request failed, the reply is not a JSON object, or it carries no
    // verdict or a false one; `result` receives the components the operation
    // produces, the others cleared.
    bool calibrateCoordinateTool(const struct CalibrationPoint &first, const struct CalibrationPoint &second,
                                 struct CalibrationPoint &result);
    bool calibrateCoordinateToolPosition(const struct CalibrationPoints &points, struct CalibrationPoint &result);
    bool calibrateCoordinateToolPose(const struct CalibrationPoints &points, struct CalibrationPoint &result);
    bool calibrateCoordinateUser(const struct CalibrationPoints &points, struct CalibrationPoint &result);
    bool calibrateLeftRightHand(float left, float right);
    bool calibrateHome();

    // ---- motion parameters ----
    // Documents are read and written whole. Readers give zeros for whatever
    // the document lacks (or when it cannot be read); writers return the
    // transport's verdict.

    // Identity of the controller; true when the document is a JSON object.
    bool controllerType(ControllerType &type);

    // The global speed ratio ("ratio" of "/settings/common"; 0 when missing).
    bool setCommonRatio(float ratio);
    float commonRatio();

    bool setTeachJoint(const TeachParams &params);                         // jogging joints: "/settings/teach/joint"
    TeachParams teachJoint();                                              // reads "/settings/teach/joint"
    bool setTeachCoordinate(const TeachParams &params);                    // jogging in frames: "/settings/teach/coordinate"
    TeachParams teachCoordinate();                                         // reads "/settings/teach/coordinate"
    bool setTeachInch(const QRobotType::TeachInch &inch);                  // step sizes: "/settings/teach/inch"
    QRobotType::TeachInch teachInch();                                     // reads "/settings/teach/inch"
    bool setPlaybackJoint(const PlaybackJointParams &params);              // joint motions: "/settings/playback/joint"
    PlaybackJointParams playbackJoint();                                   // reads "/settings/playback/joint"
    bool setPlaybackCoordinate(const PlaybackCoordinateParams &params);    // linear motions: "/settings/playback/coordinate"
    PlaybackCoordinateParams playbackCoordinate();                         // reads "/settings/playback/coordinate"
    bool setPlaybackArch(const ArchTable &table);                          // arch motions: "/settings/playback/arch"
    ArchTable playbackArch();                                              // reads "/settings/playback/arch"
    bool setTeachAuxJoint(const AuxTeachParams &params);                   // jogging auxiliary axes: "/settings/teach/auxJoint"
    AuxTeachParams teachAuxJoint();                                        // reads "/settings/teach/auxJoint"
    bool setPlaybackAuxJoint(const AuxPlaybackParams &params);             // auxiliary axes' motions: "/settings/playback/auxJoint"
    AuxPlaybackParams playbackAuxJoint();                                  // reads "/settings/playback/auxJoint"

    // Whether the robot has auxiliary joints; the reader gives false, and the
    // flag false, when the document cannot be read or is not JSON.
    bool setHasAuxJoint(bool hasAuxJoint);
    bool hasAuxJoint(bool &hasAuxJoint);

    // The limits document: false when it cannot be read or is not a JSON object.
    bool setDefaultLimits(const DefaultLimits &limits);
    bool defaultLimits(DefaultLimits &limits);

    // Live speed ratio of manual motion.
    bool setManualCommon(QRobotType::Common common);
    bool getManualCommon(QRobotType::Common &common);

    // Presses (true) or releases (false) the panel's emergency stop.
    void emergencyStop(bool value);

    // State of the controller's script and the name of its project.
    bool getProjState(QRobotType::ScriptState &scriptState);

    // ---- controller information and maintenance ----

    // The library's version "1.2.0_" and the controller's module versions;
    // filled also when the request fails (then every module reads "NULL").
    bool version(VersionInfo &info);
    // Hardware identification; the record is untouched when the document
    // cannot be read or is not JSON.
    bool versionHW(QRobotType::HWVersion &info);
    bool setVersionHW(const QRobotType::HWVersion &info);
    // Looks `id` up in the controller alarm catalogue (kind 0) or the servo
    // alarm catalogue (any other kind), with the English or Chinese texts. The
    // first entry with the id and the language sets the record; with no such
    // entry the texts stay as they were.
    bool alarmInfo(int id, int kind, AlarmInfo &info, bool english);
    bool setEthernet(const EthernetInfo &info);
    EthernetInfo ethernet();
    bool setDIMode(int index, QRobotType::DIMode mode);
    bool getDIMode(int index, QRobotType::DIMode &mode);
    bool setDIValue(int index, int value);
    bool controllerReboot();

    // ---- project files, teach points and pallets ----
    // `kind` is the arm's axis count (4 or 6): a 6-axis arm keeps the
    // configuration selectors `rdn` of a point, a 4-axis arm its hand
    // (`armOrientation`, "left" or "right"). A points file path is a file of
    // the project folder, e.g. "//192.168.1.6/project/project/demo/points.json";
    // paths without "/project/project/" and names that would leave the
    // project folder ("..") are refused without a request.

    // Writes the points before the first empty one and notifies the controller
    // through "/project/teachFileUpdate". True when the document was written.
    bool saveTeachPoints(const QString &filePath, const TeachPointTable &table, int kind);
    // Fills the table from the points file; fields whose keys are missing keep
    // their values. Returns the number of points read (at most 999), 0 when
    // the document cannot be read or is not an array.
    int loadTeachPoints(const QString &filePath, int kind, TeachPointTable &table);

    // "/process/pallet": the pallets before the first with all counts zero.
    bool setPallets(const PalletDef (&table)[PalletCount]);
    // Reads a pallet document of the process folder, e.g.
    // "//192.168.1.6/project/process/pallet.json"; "direction" is not read
    // back. Returns the number of pallets read (at most 10).
    int pallets(const QString &filePath, PalletDef (&table)[PalletCount]);

    // "/process/pallet/teachPallet": the records before the first with an
    // empty name.
    bool setTeachPallets(const TeachPalletDef (&table)[PalletCount]);
    // Layout object j of a record goes to layouts[j]; its height goes to
    // layerHigh[k] for the first k with layoutSeq[k] == j + 1 (k = 0 when
    // none). Returns the number of records read (at most 10).
    int teachPallets(TeachPalletDef (&table)[PalletCount]);

    // The point list "/process/pallet/<name>" of a pallet (without alias and
    // auxiliary joints).
    bool setPalletPoints(const QString &name, const TeachPointTable &table, int kind);
    int palletPoints(const QString &name, int kind, TeachPointTable &table);

    // Joint positions of "/settings/function/PackPoint" and
    // "/settings/function/CustomPoint". The readers store the six values only
    // when "joint" holds exactly six; they return false when the document
    // cannot be read or is not JSON.
    bool packPoint(float (&joint)[6]);
    bool setCustomPoint(const float (&joint)[6]);
    bool customPoint(float (&joint)[6]);

    // ---- function settings ----
    // Documents are read and written whole; a reader changes only the fields
    // whose keys the document holds and returns false when the document
    // cannot be read or is not JSON. Commands return the transport's result.

    bool setStopMode(const StopModeSettings &settings);    // writes "/settings/function/stopMode"
    bool stopMode(StopModeSettings &settings);             // reads "/settings/function/stopMode"
    bool setRemoteControl(const RemoteControl &settings);  // writes "/settings/function/remoteControl"
    bool remoteControl(RemoteControl &settings);           // reads "/settings/function/remoteControl"
    bool setModbusConf(const ModbusConf &settings);        // writes "/settings/function/modbusConf"
    bool modbusConf(ModbusConf &settings);                 // reads "/settings/function/modbusConf"
    bool setRunToMode(const QString &mode);                // writes "mode" of "/settings/function/runToMode"
    bool runToMode(QString &mode);                         // reads "mode" of "/settings/function/runToMode"
    // The IO and Modbus maps of the outside control (read only).
    bool ioCtrl(ControlMap &map);
    bool modbusCtrl(ControlMap &map);
    bool setOffline(const OfflineSettings &settings);      // writes "/settings/offline"
    bool offline(OfflineSettings &settings);               // reads "/settings/offline"

    bool setJointBrakeState(bool on);  // sets the joints' brake flag ("/interface/jointBrake")
    bool jointBrakeState(bool &on);    // reads the joints' brake flag
    bool setDynamicBrake(bool on);     // switches the drives' dynamic brake ("/interface/dynamicBrake")

    bool setLatchPos(const LatchPos &pos);  // writes the camera's latch position "/process/flyPhoto/latchPos"
    bool latchPos(LatchPos &pos);           // reads "/process/flyPhoto/latchPos"
    // Eight calibrations, all written; a read fills at most eight.
    bool setVisionCalibration(const VisionCalibration (&table)[VisionCalibrationCount]);
    bool visionCalibration(VisionCalibration (&table)[VisionCalibrationCount]);
    // Asks the camera for the target position; x and y keep their values when
    // the reply lacks them.
    bool visionCoordinate(const VisionTarget &target, float &x, float &y);

    // Servo gains: the ten groups of the driver defaults and of the user's sets.
    bool setBasicDriverParams(const QRobotType::DriverParamsGroup &params);
    bool getBasicDriverParams(QRobotType::DriverParamsGroup &params);
    bool setUserDriverParams(const QRobotType::DriverParamsGroup &params);
    bool getUserDriverParams(QRobotType::DriverParamsGroup &params);
    bool setUserDriverIndex(int index);
    bool getUserDriverIndex(int &index);

    // Conveyor encoders and the sensor of conveyor `conveyor`.
    bool readCurrentEncoder(int conveyor, float &value);
    bool readSensorEncoder(int conveyor, float &value);
    bool listenSensor(int conveyor, bool start);

    // At most two trackers; `count` says how many are in use.
    bool setTracking(const TrackingSettings &settings);
    bool tracking(TrackingSettings &settings);

    // The kinematic structure. `structure` reads the six "alpha" values only
    // when all six are present; `structureShort` reads the form of arms that
    // keep "A1" ... "A6" (into `a`) and only the gear "den" of each motor.
    // `setStructure` changes the known keys of the stored document and keeps
    // all others; it writes nothing when the document cannot be read.
    bool setStructure(const RobotStructure &value);
    bool structure(RobotStructure &value);
    bool structureShort(RobotStructure &value);

    // The script-function catalogue and the editor's operator and function
    // names. A file "update/functionApi.json" (or "update/functionSystem.json")
    // in the working directory, or else in the folder of the host program
    // (QCoreApplication::applicationDirPath()), is used in preference to the
    // controller's document. Only the first 48 names of the
    // catalogue count. `functionApi` returns false when the name is not among
    // them; `functionSystem` returns the number of entries (at most 4096).
    bool functionApi(const QString &name, FunctionApiEntry &entry);
    QList<FunctionApiEntry> functionApiList();
    int functionSystem(QList<FunctionSystemEntry> &entries);
    // The local file used for a catalogue name ("functionApi.json").
    static QString localCatalogueFile(const QString &fileName);

Q_SIGNALS:
    void printQRobotSettings(QString str); // a diagnostic line (relayed as QRobot::printQRobot())

private:
    Q_DECLARE_PRIVATE_D(d, QRobotSettings)
    Q_DISABLE_COPY(QRobotSettings)
    QScopedPointer<QRobotSettingsPrivate> d;
};

#endif // QROBOTSETTINGS_H
