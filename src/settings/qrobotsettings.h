#ifndef QROBOTSETTINGS_H
#define QROBOTSETTINGS_H

#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "settings/motiontypes.h"
#include "settings/parametertypes.h"
#include "types/qrobotscriptstate.h"
#include "types/qrobottype.h"

class QHttpManager;
class QRobotSettingsPrivate;

// Commands and settings of the controller: motion, kinematics, coordinate
// systems, motion parameters, controller information and project files. It
// keeps no copy of the controller's settings between calls.
class QRobotSettings : public QObject
{
    Q_OBJECT
public:
    QRobotSettings(QHttpManager *transport, QObject *parent);
    ~QRobotSettings() override;

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

    // ---- motion parameters ----
    // Documents are read and written whole. Readers give zeros for whatever
    // the document lacks (or when it cannot be read); writers return the
    // transport's verdict.

    // Identity of the controller; true when the document is a JSON object.
    bool controllerType(ControllerType &type);

    // The global speed ratio ("ratio" of "/settings/common"; 0 when missing).
    bool setCommonRatio(float ratio);
    float commonRatio();

    bool setTeachJoint(const TeachParams &params);
    TeachParams teachJoint();
    bool setTeachCoordinate(const TeachParams &params);
    TeachParams teachCoordinate();
    bool setTeachInch(const QRobotType::TeachInch &inch);
    QRobotType::TeachInch teachInch();
    bool setPlaybackJoint(const PlaybackJointParams &params);
    PlaybackJointParams playbackJoint();
    bool setPlaybackCoordinate(const PlaybackCoordinateParams &params);
    PlaybackCoordinateParams playbackCoordinate();
    bool setPlaybackArch(const ArchTable &table);
    ArchTable playbackArch();
    bool setTeachAuxJoint(const AuxTeachParams &params);
    AuxTeachParams teachAuxJoint();
    bool setPlaybackAuxJoint(const AuxPlaybackParams &params);
    AuxPlaybackParams playbackAuxJoint();

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

    // ---- project files, teach points and pallets ----

    // ---- function settings ----

Q_SIGNALS:
    void printQRobotSettings(QString str);

private:
    Q_DECLARE_PRIVATE(QRobotSettings)
    Q_DISABLE_COPY(QRobotSettings)
    QScopedPointer<QRobotSettingsPrivate> d_ptr;
};

#endif // QROBOTSETTINGS_H
