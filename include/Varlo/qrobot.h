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
class VARLO_EXPORT QRobot : public QObject
{
    Q_OBJECT
public:
    // Operator levels of the teach pendant; the library never changes them.
    enum UserMode { Operator, Programmer, Administrator };
    Q_ENUM(UserMode)

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
