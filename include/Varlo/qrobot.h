#ifndef QROBOT_H
#define QROBOT_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "Varlo/qrobotcoor.h"
#include "Varlo/qrobotscriptstate.h"
#include "Varlo/qrobottype.h"

#include <QtCore/QHash>

class QHttpManager;
class QRobotConnection;
class QRobotProtocol;
class QPanelSimulator;
class QSerialManager;
class QRobotSettings;
class QRobotCollaborative;
class QRobotDebugger;
class QRobotPrivate;

// The one object through which the library reaches everything else. It owns
// one of each component, relays their notifications, and switches between
// connection supervision (while disconnected) and the state exchange (while
// connected) as the transport reports the controller reachable or lost.
//
// One facade drives one controller. A host may create as many as it drives
// controllers: each has its own transport, state exchange and state, and none
// disturbs another or the facade behind the plain C functions of Varlo.h. A
// facade the host creates is the host's to delete (the C functions' own facade
// deletes itself when the application quits).
class VARLO_EXPORT QRobot : public QObject
{
    Q_OBJECT
public:
    // Operator levels of the teach pendant; the library never changes them.
    enum UserMode { Operator, Programmer, Administrator };
    Q_ENUM(UserMode)

    // The motion commands whose end waitForMotion() waits for: "/interface/go"
    // (MovJ, MovL), "/interface/moveJ" (JointMovJ), "/interface/goR" (RelMovJ)
    // and "/interface/moveR" (RelMovL).
    enum MotionCommand { GoCommand, MoveJCommand, GoRCommand, MoveRCommand };
    Q_ENUM(MotionCommand)
    // How a motion ended, coded as the blocking motion functions of Varlo.h
    // code it: 0 arrived, 1 ended in an alarm (or was refused), 2 no end in time.
    enum MotionResult { MotionFinished = 0, MotionAlarm = 1, MotionTimedOut = 2 };
    Q_ENUM(MotionResult)

    explicit QRobot(QObject *parent = nullptr);
    ~QRobot() override;

    // Builds the components on the first call; later calls restart the same
    // components as if they were new (dispatching, reachability, supervision).
    void initialize();
    bool isInitialized() const;
    void disconnectController();

    QHttpManager *transport() const;
    QRobotConnection *connection() const;
    QRobotProtocol *protocol() const;
    QPanelSimulator *panel() const;
    QSerialManager *serial() const;
    QRobotSettings *settings() const;
    QRobotCollaborative *collaborative() const;
    // The script debugger. initialize() does not create it: the first call of
    // this accessor or of a debugger slot does (after initialize(); null
    // before), so hosts that never debug bind none of its UDP ports. One
    // debugger per process: see QRobotDebugger.
    QRobotDebugger *debugger();

    // The robot's axis count as this facade knows it: 4 or 6 once a refresh
    // found one of them, 0 before. refreshAxisCount() reads the count with the
    // settings component and keeps it (true) when it is 4 or 6; any other
    // count leaves the known one as it was (false).
    int knownAxisCount() const;
    bool refreshAxisCount();

    // Simulator folders: the local project tree of a running simulator.
    void setVirtualRoot(const QString &root);

    // ---- waiting, for hosts that call the library from plain functions ----
    // Both wait in a local event loop, so the state exchange, connection
    // supervision and the host's own timers and signals keep running: a host
    // can follow the arm on jointCoordinateChanged() while it waits. They are
    // the waits of ConnectVarlo and of the blocking motion functions.

    // Connects to the controller at `address` (API port 22000) as ConnectVarlo
    // does: initialize(), the address, and for "127.0.0.1" the folders of a
    // running VarloSim. True once the controller answered and reported a 4- or
    // 6-axis robot; false when it reported something else, the connection was
    // lost, or nothing came within `msecs` (-1: the library's 5 s).
    bool connectToController(const QString &address, int msecs = -1);

    // Waits for the end of the last motion that `command` started (send it
    // with settings()): asks the controller at once and then every 100 ms.
    // MotionFinished when it reports the end, MotionAlarm when it reports an
    // alarm, MotionTimedOut when neither came within `msecs` (-1: the
    // library's 20 s) or the facade has no components. An unanswered status
    // query counts as "not yet", never as an arrival.
    MotionResult waitForMotion(MotionCommand command, int msecs = -1);

    QString hostIP() const;
    QString projectPath() const;
    QString settingsPath() const;
    QString processPath() const;
    QString propertiesPath() const;
    QString rootPath() const;

    // Splitting of controller file paths such as
    // "//192.168.1.6/project/project/demo/prj.json". An empty text when the
    // marker is missing.
    static QString projectNameOf(const QString &path);
    static QString projectRelativePath(const QString &path);
    static QString parameterPath(const QString &path);

Q_SIGNALS:
    void userMode(QRobot::UserMode mode);
    void connectionChanged(bool isConnected);
    void axisCount(int count);
    void occupiedChanged(bool isOccupied);
    void controlModeChanged(QRobotType::ControlMode controlMode);
    void coordinateChanged(QRobotType::Coordinate coordinate);
    void jogModeChanged(QRobotType::JogMode jogMode);
    void toolCoordinateChanged(int toolCoordinate);
    void userCoordinateChanged(int userCoordinate);
    void autoManualChanged(QRobotType::AutoManual autoManual);
    void jointCoordinateChanged(QRobotType::JointCoordinate jointCoordinate);
    void cartesianCoordinateChanged(QRobotType::CartesianCoordinate cartesianCoordinate);
    void auxJointChanged(QRobotType::AuxJoint auxJoint);
    void isCollisionChanged(bool isCollision);
    void isSkinCollisionChanged(bool isSkinCollision);
    void isPowerChanged(bool isPower);
    void isDragChanged(bool isDrag);
    void isPlaybackChanged(bool isPlayback);
    void alarmsChanged(QRobotType::Alarms alarms);
    void DOChanged(QRobotType::IO io);
    void DIChanged(QRobotType::IO io);
    void extendDOChanged(QRobotType::ExtendIO io);
    void extendDIChanged(QRobotType::ExtendIO io);
    void armOrientationChanged(QRobotType::ArmOrientation armOrientation);
    void rdnCoordinateChanged(QRobotType::RDNCoordinate rdnCoordinate);
    void exChangeClock();
    void switchAutoManual(bool isAuto);
    void switchThreeSwitch(bool isPressed);
    void switchEmergencyStop(bool isStop);
    void switchJogButtons(bool *posBtnState, bool *negBtnState);
    void runningLineChanged(QString fileName, int linNumber);
    void errorLine(int line);
    void scriptLineChanged(int line);
    void moveLineChanged(int line);
    void errorMsg(QString msg);
    void debugStateChanged(QRobotType::DebugState state);
    void debugStateEnabled(bool isEnabled);
    void stopStateEnabled(bool isStopEnabled);
    void stepInChanged(bool isStep, bool isStart, bool isDebug);
    void mobDebugInfo(QString str);
    void dragModeChanged(QRobotCoor::DragMode dragMode);
    void controllerParamsChanged(QRobotCoor::ControllerParams controllerParams);
    void jointCurrentChanged(QRobotCoor::JointCurrent jointCurrent);
    void jointVoltageChanged(QRobotCoor::JointVoltage jointVoltage);
    void jointTempChanged(QRobotCoor::JointTemp jointTemp);
    void endAIChanged(QRobotCoor::ExEndAI endAI);
    void gpioAIChanged(QRobotCoor::ExGPIOAI gpioAI);
    void printQRobot(QString str);

public Q_SLOTS:
    void setHostIP(QString ip);
    void setHostPort(quint16 port);
    bool inspectDir();

    // The script debugger's operations (see QRobotDebugger); before
    // initialize() they do nothing and return false or an empty result.
    bool state(QRobotType::ScriptState &scriptState);
    void straightRun(QString fileName);
    void straightSuspend();
    void straightContinue();
    void start(QString fileName);
    void stop();
    void run();
    void pause();
    void step();
    void over();
    void setb(QString fileName, int lineNumber);
    void delb(QString fileName, int lineNumber);
    void delallb();
    bool getStep();
    QString getGlobalVal(QString var);
    QString changeGlobalVal(QString variable, QString value);
    QHash<QString, QString> getStack();
    void mobDebugManualDebug(QString cmd);

private:
    void onConnectStateChanged(bool isConnected);

    Q_DECLARE_PRIVATE_D(d, QRobot)
    Q_DISABLE_COPY(QRobot)
    QScopedPointer<QRobotPrivate> d;
};

#endif // QROBOT_H
