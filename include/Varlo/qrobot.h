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
    // How a wait ended. The first three are coded as the blocking motion
    // functions of Varlo.h code them: 0 arrived (or, for waitForStandstill(),
    // stands), 1 ended in an alarm (or was refused), 2 no end in time. The C
    // functions know only these three: a lost connection is 2 there.
    // MotionInterrupted: interruptWaits() ended the wait; the arm was not
    // stopped by it (call stopMotion()). For waitForMotion() also: the motion
    // ended short of its target after this facade's stopMotion() (stopped on
    // purpose, not failed). MotionConnectionLost: the controller
    // stopped answering, so how the motion ends is unknown.
    enum MotionResult {
        MotionFinished = 0,
        MotionAlarm = 1,
        MotionTimedOut = 2,
        MotionInterrupted = 3,
        MotionConnectionLost = 4
    };
    Q_ENUM(MotionResult)

    // A facade without components: initialize() or connectToController()
    // builds them.
    explicit QRobot(QObject *parent = nullptr);
    ~QRobot() override;

    // Builds the components on the first call; later calls restart the same
    // components as if they were new (dispatching, reachability, supervision).
    void initialize();
    // True once initialize() has built the components.
    bool isInitialized() const;
    // Ends the connection: stops the transport's dispatching, connection
    // supervision and the state exchange, and emits connectionChanged(false).
    void disconnectController();

    // ---- the components, owned by the facade; null before initialize() ----
    QHttpManager *transport() const;             // the HTTP transport to the controller
    QRobotConnection *connection() const;        // connection supervision (while disconnected)
    QRobotProtocol *protocol() const;            // the state exchange and the last state it read
    QPanelSimulator *panel() const;              // the teach pendant's switches and jog buttons
    QSerialManager *serial() const;              // the jog-button board on a serial port
    QRobotSettings *settings() const;            // motions, kinematics, frames, parameters, projects
    QRobotCollaborative *collaborative() const;  // safety, payload, analog IO, trajectories, maintenance
    // The script debugger: runs, follows and debugs this controller's
    // scripts. initialize() does not create it: the first call of this
    // accessor or of a debugger slot does (after initialize(); null before),
    // so hosts that never debug bind none of its UDP ports. Every facade has
    // its own, and all of them work at once (the program's one listener on
    // the fixed ports serves them all); its own notifications (scriptPrinted,
    // scriptFinished, failed) are on the debugger: see QRobotDebugger.
    QRobotDebugger *debugger();

    // The robot's axis count as this facade knows it: 4 or 6 once a refresh
    // found one of them, 0 before. refreshAxisCount() reads the count with the
    // settings component and keeps it (true) when it is 4 or 6; any other
    // count leaves the known one as it was (false).
    int knownAxisCount() const;
    // Reads the axis count again (see knownAxisCount()).
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
    // lost, nothing came within `msecs` (-1: the library's 5 s), or the wait
    // was interrupted.
    bool connectToController(const QString &address, int msecs = -1);

    // Waits for the end of the last motion that `command` started (send it
    // with settings()): asks the controller at once and then every 100 ms,
    // for as long as `msecs` allows (-1: the library's 20 s; a longer wait
    // suits long, slow moves). MotionFinished when it reports the end,
    // MotionAlarm when it reports an alarm, MotionTimedOut when neither came
    // in time or the facade has no components, MotionConnectionLost when the
    // connection is lost meanwhile (or, at the limit, no status query was
    // answered for about a second), MotionInterrupted on interruptWaits() or
    // when the motion ended short of its target after stopMotion(). An
    // unanswered status query counts as "not yet", never as an arrival.
    MotionResult waitForMotion(MotionCommand command, int msecs = -1);

    // ---- stopping, jogging and outputs, the same way for every host ----

    // Ends every wait running on this facade (connectToController() false,
    // waitForMotion() and waitForStandstill() MotionInterrupted,
    // setDigitalOutput() false, the script debugger's waits: see
    // QRobotDebugger::interruptWaits()), each as soon as the request it is in has
    // ended (within the transport's 1000 ms time-out). Safe to call from a
    // slot that runs inside a wait: a QSocketNotifier on a signal pipe, a
    // timer that polls Python's signals. When no wait runs, the next one to
    // start returns at once instead, so an interruption that comes between two
    // waits is not lost. It stops nothing by itself: call stopMotion().
    void interruptWaits();

    // Stops what the arm does, with what the controller offers: a joint
    // motion to the joints it reports with "value": false, which the
    // controller takes as "stop the motions" (one that ignored "value" would
    // be sent where the arm already is, and would not move), then every jog
    // button released. Each request is sent once more when it goes
    // unanswered. True when the controller answered both. It also drops an
    // interruption that no wait has taken yet, or that comes while it stops:
    // the stop answers it. Follow it
    // with waitForStandstill(). False without components or an answer: the
    // arm may still move, and only the emergency stop is sure then.
    bool stopMotion();

    // Waits until the controller reports the arm standing: its joints (and
    // auxiliary joints) the same, within 0.01, in two state exchanges 100 ms
    // apart, each run at once. MotionFinished when it stands, MotionTimedOut
    // when it still moves after `msecs` (-1: 5 s), MotionConnectionLost when
    // the controller does not answer, MotionInterrupted on interruptWaits().
    MotionResult waitForStandstill(int msecs = -1);

    // Holds the jog button of `axis` (0-based: a joint, or X, Y, Z, A, B, C of
    // the user frame or the tool) in one direction, all others released. The
    // coordinate first reaches the controller with a state exchange run at
    // once, and the button is pressed only once the controller reports that
    // coordinate, so a jog never runs in the coordinate of an earlier one.
    // False, with no button pressed, when the arm lacks the axis
    // (isJogAxis()), the exchange failed or the controller kept another
    // coordinate; false too when the press was not answered.
    bool startJog(QRobotType::Coordinate coordinate, int axis, bool positive);
    // Releases every jog button; the coordinate stays. True when answered
    // (sent once more when not).
    bool stopJog();
    // Whether this arm has the jog axis: joints 0 to axes-1; in Cartesian
    // and tool coordinates X, Y, Z, A, B, C on a 6-axis arm and X, Y, Z, C
    // (0, 1, 2, 5) on a 4-axis one. Any of 0 to 5 before the axis count is
    // known.
    bool isJogAxis(QRobotType::Coordinate coordinate, int axis) const;

    // Switches digital output `channel` (0 to 63) and nothing else: reads the
    // controller's outputs with a state exchange run at once, changes that one
    // channel, sends them with the next exchange, run at once too, and
    // returns true only once the controller reports the channel so (within
    // `msecs`, -1: 5 s). False on a bad channel, when not connected, when the
    // controller did not answer (the change is then withdrawn, not left for a
    // later exchange), when it did not report the change in time, or on
    // interruptWaits().
    bool setDigitalOutput(int channel, bool on, int msecs = -1);

    // True while the mirrored state is old: no state exchange reply for about
    // a second (QRobotProtocol::isStale()); stateStaleChanged() announces it.
    bool isStateStale() const;

    // ---- the controller's address and its folders ----
    // "//ADDRESS/project..." for a controller's share, "ROOT/controllerVR/project..."
    // for a running VarloSim (setVirtualRoot()).
    QString hostIP() const;          // the controller's address (setHostIP())
    QString projectPath() const;     // the folder of the projects ("…/project/project")
    QString settingsPath() const;    // the folder of the settings documents ("…/project/settings")
    QString processPath() const;     // the folder of the process files ("…/project/process")
    QString propertiesPath() const;  // the folder of the properties documents ("…/project/properties")
    QString rootPath() const;        // the project tree itself ("…/project")

    // Splitting of controller file paths such as
    // "//192.168.1.6/project/project/demo/prj.json". An empty text when the
    // marker is missing.
    static QString projectNameOf(const QString &path);       // "demo": the project folder's name
    static QString projectRelativePath(const QString &path); // "demo/prj.json": the path within the projects
    // "/project/demo/prj": the file service's name, without ".json"
    static QString parameterPath(const QString &path);

Q_SIGNALS:
    // The pendant's operator level; never emitted by this library.
    void userMode(QRobot::UserMode mode);
    // The controller became reachable (true) or was lost or disconnected (false).
    void connectionChanged(bool isConnected);
    // The axis count (4 or 6) that connection supervision read.
    void axisCount(int count);
    // Whether another client holds the controller, as supervision read it.
    void occupiedChanged(bool isOccupied);
    // The arm became disabled, enabled or drag-enabled.
    void controlModeChanged(QRobotType::ControlMode controlMode);
    // The jog frame changed (joint, base, tool, user).
    void coordinateChanged(QRobotType::Coordinate coordinate);
    // The jog mode changed (continuous or step).
    void jogModeChanged(QRobotType::JogMode jogMode);
    // The active tool frame (0-9) changed.
    void toolCoordinateChanged(int toolCoordinate);
    // The active user frame (0-9) changed.
    void userCoordinateChanged(int userCoordinate);
    // The controller switched between automatic and manual mode.
    void autoManualChanged(QRobotType::AutoManual autoManual);
    // The joint positions (degrees; mm for a linear axis), at every state exchange.
    void jointCoordinateChanged(QRobotType::JointCoordinate jointCoordinate);
    // The tool's pose x y z (mm) a b c (degrees), at every state exchange.
    void cartesianCoordinateChanged(QRobotType::CartesianCoordinate cartesianCoordinate);
    // The auxiliary axes' positions, at every state exchange.
    void auxJointChanged(QRobotType::AuxJoint auxJoint);
    // A collision was detected (true) or cleared.
    void isCollisionChanged(bool isCollision);
    // The skin sensor detected a contact (true) or it cleared.
    void isSkinCollisionChanged(bool isSkinCollision);
    // The arm's power went on (true) or off.
    void isPowerChanged(bool isPower);
    // Hand guiding (drag) was switched on (true) or off.
    void isDragChanged(bool isDrag);
    // Replay of a dragged trajectory started (true) or ended.
    void isPlaybackChanged(bool isPlayback);
    // The active alarms changed (the controller's and each drive's alarm words).
    void alarmsChanged(QRobotType::Alarms alarms);
    // The digital outputs, at every state exchange.
    void DOChanged(QRobotType::IO io);
    // The digital inputs, at every state exchange.
    void DIChanged(QRobotType::IO io);
    // The extended digital outputs, at every state exchange that carries them.
    void extendDOChanged(QRobotType::ExtendIO io);
    // The extended digital inputs, at every state exchange that carries them.
    void extendDIChanged(QRobotType::ExtendIO io);
    // The arm's configuration (left or right hand) changed.
    void armOrientationChanged(QRobotType::ArmOrientation armOrientation);
    // The redundancy (configuration) values, at every state exchange.
    void rdnCoordinateChanged(QRobotType::RDNCoordinate rdnCoordinate);
    // One state exchange completed (about three times a second).
    void exChangeClock();
    // Asks the pendant panel to switch to automatic (true) or manual mode.
    void switchAutoManual(bool isAuto);
    // Asks the pendant panel to press (true) or release its enabling switch.
    void switchThreeSwitch(bool isPressed);
    // Asks the pendant panel to press (true) or release its emergency stop.
    void switchEmergencyStop(bool isStop);
    // Asks the pendant panel to hold the jog buttons given (six + and six - states).
    void switchJogButtons(bool *posBtnState, bool *negBtnState);
    // The running script reached line `linNumber` of `fileName`.
    void runningLineChanged(QString fileName, int linNumber);
    // The script stopped with an error at `line`.
    void errorLine(int line);
    // The script's current line.
    void scriptLineChanged(int line);
    // The line of the script's current motion.
    void moveLineChanged(int line);
    // The script's error message.
    void errorMsg(QString msg);
    // The script debugger's state changed (stopped, running, paused, ...).
    void debugStateChanged(QRobotType::DebugState state);
    // Whether debugging operations are possible now.
    void debugStateEnabled(bool isEnabled);
    // Whether stopping the script is possible now.
    void stopStateEnabled(bool isStopEnabled);
    // The stepping state: stepping, started, debugging.
    void stepInChanged(bool isStep, bool isStart, bool isDebug);
    // A line from the Lua debug server, for a debugger console.
    void mobDebugInfo(QString str);
    // The drag (hand-guiding) mode changed.
    void dragModeChanged(QRobotCoor::DragMode dragMode);
    // The controller's parameters of the state exchange, at every exchange.
    void controllerParamsChanged(QRobotCoor::ControllerParams controllerParams);
    // The drives' currents, at every state exchange.
    void jointCurrentChanged(QRobotCoor::JointCurrent jointCurrent);
    // The drives' voltages, at every state exchange.
    void jointVoltageChanged(QRobotCoor::JointVoltage jointVoltage);
    // The drives' temperatures, at every state exchange.
    void jointTempChanged(QRobotCoor::JointTemp jointTemp);
    // The tool flange's analog inputs, at every state exchange.
    void endAIChanged(QRobotCoor::ExEndAI endAI);
    // The controller's analog inputs, at every state exchange.
    void gpioAIChanged(QRobotCoor::ExGPIOAI gpioAI);
    // A diagnostic line of any component (also logged).
    void printQRobot(QString str);
    // The mirrored state became stale (no exchange reply for about a second)
    // or fresh again.
    void stateStaleChanged(bool isStale);

public Q_SLOTS:
    // Sets the controller's address for the transport and supervision, and the share's folders.
    void setHostIP(QString ip);
    // Sets the API port (22000 unless changed).
    void setHostPort(quint16 port);
    // Creates the share's missing project folders; false when the share is not reachable.
    bool inspectDir();

    // The script debugger's operations (see QRobotDebugger); before
    // Initialize() they do nothing and return false or an empty result.
    // The controller's script state; false when it did not answer.
    bool state(QRobotType::ScriptState &scriptState);
    // Runs the project's script `fileName` without debugging.
    void straightRun(QString fileName);
    // Pauses the script started by straightRun().
    void straightSuspend();
    // Continues the script paused by straightSuspend().
    void straightContinue();
    // Starts the project's script under the debugger, paused at its first line.
    void start(QString fileName);
    // Stops the running script.
    void stop();
    // Lets the debugged script run to the next breakpoint.
    void run();
    // Pauses the debugged script.
    void pause();
    // Steps into the next line.
    void step();
    // Steps over the next line.
    void over();
    // Sets a breakpoint.
    void setb(QString fileName, int lineNumber);
    // Removes a breakpoint.
    void delb(QString fileName, int lineNumber);
    // Removes every breakpoint.
    void delallb();
    // Whether the debugged script is paused at a step.
    bool getStep();
    // The value of a variable of the paused script, as Lua prints it.
    QString getGlobalVal(QString var);
    // Sets a variable of the paused script; the debug server's answer.
    QString changeGlobalVal(QString variable, QString value);
    // The paused script's variables by name.
    QHash<QString, QString> getStack();
    // Sends one command line to the Lua debug server.
    void mobDebugManualDebug(QString cmd);

private:
    void onConnectStateChanged(bool isConnected);

    Q_DECLARE_PRIVATE_D(d, QRobot)
    Q_DISABLE_COPY(QRobot)
    QScopedPointer<QRobotPrivate> d;
};

#endif // QROBOT_H
