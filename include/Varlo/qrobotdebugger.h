#ifndef QROBOTDEBUGGER_H
#define QROBOTDEBUGGER_H

#include "Varlo/varloglobal.h"
#include <QtCore/QHash>
#include <QtCore/QMetaType>
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "Varlo/qrobotscriptstate.h"

class QHttpManager;
class QRobotDebuggerPrivate;

// Runs the controller's Lua scripts and debugs them.
//
// Run control: start, continue, pause and stop a project's script on the
// controller ("/debugger/..." requests), ask for its state, and follow the
// controller's notifications of the running script, which arrive as UDP
// datagrams on the ports 5000 (messages and errors), 5001 (the line run),
// 5002 (the line that moves the arm) and 5003 (the end of the script).
//
// Remote debugging: a local Lua interpreter runs the debug server (the Lua
// module `mobdebug`); the controller runs the script as its debuggee, and this
// object drives the server by writing commands to the interpreter's standard
// input and reading what it prints.
//
// The notification ports are fixed, so a process holds one debugger: while one
// exists, a second one is inactive (isActive() is false, it binds no port,
// starts no interpreter and sends nothing; its slots return at once with a
// failed or empty result). Datagrams are taken only from the address of the
// controller that the transport talks to.
class VARLO_EXPORT QRobotDebugger : public QObject
{
    Q_OBJECT
public:
    // The UDP ports of the controller's notifications, and the TCP port on
    // which the debug server waits for the controller's debuggee.
    enum : quint16 {
        MessagePort = 5000,
        ScriptLinePort = 5001,
        MoveLinePort = 5002,
        SpecialPort = 5003,
        DebugServerPort = 8172
    };

    // Talks to the controller through `transport`; built by QRobot::debugger().
    QRobotDebugger(QHttpManager *transport, QObject *parent);
    ~QRobotDebugger() override;

    QRobotType::DebugState debugState() const; // the debugger's state now
    bool isActive() const; // false for a second debugger in the program: it binds no port and does nothing

    // The interpreter that start() runs: "Lua/lua" ("Lua/Lua.exe" on Windows)
    // under the application's folder when there is one, otherwise the launcher
    // installed with the library.
    static QString interpreterProgram();

Q_SIGNALS:
    // The script debugger's state changed (stopped, running, paused, ...).
    void debugStateChanged(QRobotType::DebugState state);
    // Whether debugging operations are possible now.
    void debugStateEnabled(bool isEnabled);
    // Whether stopping the script is possible now.
    void stopStateEnabled(bool isEnabled);
    // The stepping state: stepping, started, debugging.
    void stepInChanged(bool isStep, bool isStart, bool isDebug);
    // A line from the Lua debug server, for a debugger console.
    void mobDebugInfo(QString str);
    // The running script reached line `linNumber` of `fileName`.
    void runningLineChanged(QString fileName, int linNumber);
    // The script stopped with an error at `line`.
    void errorLine(int line);
    // The script's error message.
    void errorMsg(QString msg);
    // The script's current line.
    void scriptLineChanged(int line);
    // The line of the script's current motion.
    void moveLineChanged(int line);
    // A diagnostic line (relayed as QRobot::printQRobot()).
    void printQRobotDebugger(QString str);

public Q_SLOTS:
    // Run control: the script runs without the debugger.
    bool state(QRobotType::ScriptState &scriptState);
    void straightRun(QString fileName);
    void straightContinue();
    void straightSuspend();
    void stop();
    void suspendForAPI(bool isStraight);
    bool getSuspend();
    bool getStepIn();

    // Remote debugging.
    void start(QString fileName);
    void runScript();
    void suspend();
    void stepIn();
    void stepOver();
    void setBreakpoint(QString fileName, int lineNumber);
    void removeBreakpoint(QString fileName, int lineNumber);
    void removeAllBreakpoints();
    QString getGlobalVal(QString var);
    QString changeGlobalVal(QString variable, QString value);
    QHash<QString, QString> getStack();
    // Any command of the debug server, its answer discarded.
    void mobDebugManualDebug(QString cmd);

private:
    Q_DECLARE_PRIVATE_D(d, QRobotDebugger)
    Q_DISABLE_COPY(QRobotDebugger)
    QScopedPointer<QRobotDebuggerPrivate> d;
};

Q_DECLARE_METATYPE(QRobotType::DebugState)

#endif // QROBOTDEBUGGER_H
