#ifndef QROBOTCOLLABORATIVE_H
#define QROBOTCOLLABORATIVE_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "Varlo/maintenancetypes.h"
#include "Varlo/payloadiotypes.h"
#include "Varlo/safetytypes.h"
#include "Varlo/trajectorytypes.h"
#include "Varlo/qrobottype.h"

class QHttpManager;
class QRobotCollaborativePrivate;

// The controller functions of a collaborative arm: safety and collision,
// payload and force sensing, analog and extended IO and grippers, trajectory
// replay and user-frame calibration, maintenance. Every operation is a command
// or a parameter-document read or write; the
// component caches nothing between calls.
class VARLO_EXPORT QRobotCollaborative : public QObject
{
    Q_OBJECT
public:
    // Talks to the controller through `transport`; built by QRobot::initialize().
    QRobotCollaborative(QHttpManager *transport, QObject *parent);
    ~QRobotCollaborative() override;

    QHttpManager *transport() const; // the transport it talks through

    // ---- safety and collision ----

    // Collision detection ("/settings/function/collisionDect"). The setter
    // reads the document, replaces the four scalar keys and writes it back,
    // keeping the stored level arrays; a document the controller does not have
    // is created with the default level table. A document that could not be
    // read, or that is not a JSON object, is left as it is and the call
    // returns false. `mode` and `resumeType`
    // travel as 0/1.
    bool setCollisionDect(bool value, bool mode, bool resumeType, int level);
    bool getCollisionDect(bool &value, bool &mode, bool &resumeType, int &level);
    bool resetCollision();

    // Electronic skin: switch, avoidance parameters, the controller's ranges.
    bool setElecSkin(bool value);
    bool getElecSkin(bool &value);
    bool resetElecSkin();
    bool setElecSkinParams(QRobotCoor::ElecSkinPars pars);
    // Reads the five numbers; `mode` is not stored back and keeps its value.
    bool getElecSkinParams(QRobotCoor::ElecSkinPars &pars);
    bool getElecSkinDefault(QRobotCoor::ElecSkinDefault &defaults);

    // Safe-mode limits ("/settings/safemode"). The writer spells the range
    // keys "rangMin1".."rangMax6"; the reader takes "rangeMin1".."rangeMax6"
    // and, where those are absent, the written spelling, so a document the
    // library wrote reads back. The reader zeroes the record first and
    // returns false when the document cannot be read or is not JSON.
    bool setSafeMode(const SafeModeParams &params);
    bool getSafeMode(SafeModeParams &params);

    // The enabling (three-position) switch of the teach panel, sent as the
    // string "true" or "false". A null pointer sends nothing and gives false.
    bool setThreeSwitch(const bool *on);
    // 0 disable, 1 enable, 2 drag; any other value posts {}.
    bool setControlMode(int mode);
    // Joint 1..6; any other joint posts {}.
    bool setJointBrake(int joint, bool value);
    // Six states, joint 1 first; keys the reply lacks leave their state.
    bool getJointBrake(bool states[6]);
    bool goHome(bool value);
    bool setPowerControl(bool value);
    // True only when the controller answered with a "value".
    bool getPowerControl(bool &value);

    // ---- payload, force sensing and mounting ----
    // Records in Varlo/payloadiotypes.h.

    // Writes the centre of mass and the mass, then has the controller apply
    // them; true once the document is written.
    bool setLoadCenter(const QRobotCoor::Load &load);
    bool getLoadCenter(QRobotCoor::Load &load);
    bool setLoadInertia(const QRobotCoor::Load &load);
    bool getLoadInertia(QRobotCoor::Load &load);
    // The payload the controller uses now; all zeros when it cannot be asked.
    bool getControllerLoad(QRobotCoor::Load &load);
    bool setForceSensor(bool value);
    bool getForceSensor(bool &value);
    // The six readings of the force sensor; readings missing from the reply are 0.
    bool getForceData(float values[6]);
    bool setForceHome();
    bool setTorqueParams(float value);
    bool getTorqueParams(float &value);
    bool setInstallPosture(QRobotCoor::InstallPosture posture);
    bool getInstallPosture(QRobotCoor::InstallPosture &posture);
    // The mounting posture the controller computes from a pose of the arm.
    bool calcInstall(const float pose[6], QRobotCoor::InstallPosture &result);
    bool setDragSensivity(QRobotCoor::DragSensivity sensivity);
    bool getDragSensivity(QRobotCoor::DragSensivity &sensivity);

    // ---- analog IO, extended IO and grippers ----

    bool setEndAI(QRobotCoor::EndAI endAI);         // writes the flange's analog inputs "/settings/function/endAI"
    bool getEndAI(QRobotCoor::EndAI &endAI);        // reads "/settings/function/endAI"
    bool setGPIOAI(QRobotCoor::GPIOAI gpioAI);      // writes the cabinet's input modes "/settings/function/gpioAI"
    bool getGPIOAI(QRobotCoor::GPIOAI &gpioAI);     // reads "/settings/function/gpioAI"
    bool setGPIOAO(QRobotCoor::GPIOAO gpioAO);      // writes the cabinet's analog outputs "/settings/function/gpioAO"
    bool getGPIOAO(QRobotCoor::GPIOAO &gpioAO);     // reads "/settings/function/gpioAO"
    bool setIQGripperEnable(bool enable);           // "/settings/function/robotiqGripperEnable"
    bool getIQGripperEnable(bool &enable);          // reads "/settings/function/robotiqGripperEnable"
    bool setIQGripper(bool value);                  // sends the Robotiq gripper's command flag
    bool setHitbotGripperEnable(bool enable);       // "/settings/function/hitbotGripperEnable"
    bool getHitbotGripperEnable(bool &enable);      // reads "/settings/function/hitbotGripperEnable"
    bool setHitbotGripper(bool value);              // sends the Hitbot gripper's command flag
    // Sets the extended digital outputs of the nine Modbus/TCP modules.
    bool setExtendIO(QRobotType::ExtendIO extendIO);
    // The module list, written up to the first slot without a name.
    bool setExtendIOParams(QRobotCoor::ExtendIOParams params);
    bool getExtendIOParams(QRobotCoor::ExtendIOParams &params);

    // ---- trajectory replay and user-frame calibration ----
    // Pointer arguments are the values to send or the outputs to fill; a null
    // pointer makes the call return false without a request.

    // Switches the recording of positions.
    bool setRecurrentTrack(const bool *getpos);
    // False (and `getpos` unchanged) unless the reply holds "getpos".
    bool getRecurrentTrack(bool &getpos);
    bool debugReTrace(const QString &cmd, const QString &addr, const QString &mode, const int *loopTimes);
    bool debugReTraceState(int &currentTimes, bool &isDone);

    // Sends the replay parameters and keeps a copy in the controller's share
    // (the result does not depend on the copy).
    bool setRunTrajectoryParams(QRobotCoor::ReTraceParams params);
    bool getRunTrajectoryParams(QRobotCoor::ReTraceParams &params);

    // Writes the point list "/process/trajectory/trajPoints": the points before
    // the first all-zero one, at most 39 999. `count` is the number of points
    // the caller's array holds (the list ends there at the latest); fewer
    // than one point writes an empty list.
    bool setTrajPoints(const QRobotType::CartesianCoordinate *points, int count);
    // Sets the arm configuration and frames of the stored point list, keeping
    // the points and every other key.
    bool setTrajParams(QRobotType::RDNCoordinate handtype, int tool, int user);
    // Has the controller check the point list at `addr`. When the reply holds
    // "value": `value` receives it and `index` is 0 for a good list, else the
    // reply's "index" (the first bad point).
    bool preHandleTrajPoints(const QString &addr, int tool, int user, QRobotType::RDNCoordinate rdn, bool *value,
                             int *index);

    // The user-frame table with types. `userFrames` cannot fail: an unreadable
    // document gives ten disabled entries with empty texts.
    bool setUserFrames(const UserFrameTable &table);
    UserFrameTable userFrames();

    // A user frame from three taught poses by the line or the point method.
    // True when the controller reports success; `result` is filled from the
    // reply's "coordinate" either way.
    bool calibrateCoordinateUserLine(const float (&points)[3][6], float (&result)[6]);
    bool calibrateCoordinateUserDot(const float (&points)[3][6], float (&result)[6]);
    // Starts a calibration between a master and a slave point set (each at
    // most 50 poses, ending before the first all-zero pose).
    bool multiCalibration(const float (&master)[CalibrationPointLimit][6],
                          const float (&slave)[CalibrationPointLimit][6], const MultiCalibrationParams &params);
    bool multiCalibrationState(int &state);

    // ---- maintenance ----

    // Posts the identification flag `value` for `name` ("/settings/autoIdentify").
    bool setAutoIdentify(bool value, const QString &name);
    // False (and `value` unchanged) unless the reply holds "value".
    bool getAutoIdentify(bool &value);
    bool setAP(const ApSettings &settings);
    bool getAP(ApSettings &settings);
    // Has the controller reload its script interface file.
    bool setApiUpdate();
    // Simulates all six joints or none.
    bool setSimulatedAxis(bool value);
    // True in `simulated` when any joint is simulated.
    bool getSimulatedAxis(bool &simulated);
    bool setWorkTimeClear();
    // A counter the reply lacks keeps its values; a counter it holds is read
    // whole, missing parts as 0.
    bool getWorkTime(WorkTimeRecord &record);

Q_SIGNALS:
    void printQRobotCollaborative(QString str); // a diagnostic line (relayed as QRobot::printQRobot())

private:
    Q_DECLARE_PRIVATE_D(d, QRobotCollaborative)
    Q_DISABLE_COPY(QRobotCollaborative)
    QScopedPointer<QRobotCollaborativePrivate> d;
};

#endif // QROBOTCOLLABORATIVE_H
