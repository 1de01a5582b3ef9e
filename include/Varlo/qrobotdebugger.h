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
// datagrams on the ports 5000 (prints, messages and errors), 5001 (the line
// run), 5002 (the line that moves the arm) and 5003 (the end of the script).
//
// Remote debugging: a local Lua interpreter runs the debug server (the Lua
// module `mobdebug`); the controller runs the script as its debuggee, and this
// object drives the server by writing commands to the interpreter's standard
// input and reading what it prints.
//
// Several controllers: every facade of a program has a debugger of its own,
// and all of them work. The notification ports are fixed, so a computer has
// room for one listener: the program's debuggers share one, which hands each
// datagram to the debuggers of the controller that sent it (the controller's
// name is resolved once, so a host name works as well as an address), in the
// order the datagrams arrived. A second program cannot take the ports over:
// its straightRun() and start() fail at once and say which port is taken, and
// by whom when the system tells (failed(), errorString()). The debug server's
// TCP port is fixed too: one debug session at a time per program (per
// computer); start() on another facade meanwhile fails the same way.
//
// A debug session that ends on the host's side (stop(), a crashed
// interpreter, a step past the script's end, the host going away, even
// killed) stops the controller's script, so that it never runs on
// unsupervised; detach() ends a session and lets the script run on.
//
// All of it runs in the thread that owns the facade; the slots that wait run
// a local event loop, so notifications keep arriving meanwhile.
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
    // True while the program listens on the notification ports (it tries to
    // bind them when the first debugger is created, and again at each
    // straightRun() and start() until it holds them).
    bool isActive() const;
    // Why the last operation failed (see failed()); empty before any failure.
    QString errorString() const;

    // The interpreter that start() runs: "Lua/lua" ("Lua/Lua.exe" on Windows)
    // under the application's folder when there is one, otherwise the launcher
    // installed with the library.
    static QString interpreterProgram();

Q_SIGNALS:
    // The script's state: ScriptStopped (5) once a run or session has ended,
    // DebugStarting (0), DebugConnected (1, the session waits for commands),
    // ScriptRunning (2), ScriptPaused (3).
    void debugStateChanged(QRobotType::DebugState state);
    // Whether a user interface's debug and stop controls should be enabled.
    void debugStateEnabled(bool isEnabled);
    // Whether stopping the script is possible now.
    void stopStateEnabled(bool isEnabled);
    // The stepping state: stepping, started, debugging.
    void stepInChanged(bool isStep, bool isStart, bool isDebug);
    // Everything the controller and the debug server said, raw (a log).
    void mobDebugInfo(QString str);
    // A debug session paused before this line of this file (a breakpoint, a
    // step, a suspension), as the debug server reported it.
    void runningLineChanged(QString fileName, int linNumber);
    // A script error ended the run: its line, then the controller's text.
    void errorLine(int line);
    void errorMsg(QString msg);
    // The line the script runs, and a line that moves the arm.
    void scriptLineChanged(int line);
    void moveLineChanged(int line);
    // A diagnostic line (relayed as QRobot::printQRobot()).
    void printQRobotDebugger(QString str);
    // What the script printed (print()), one notification each.
    void scriptPrinted(QString text);
    // The controller reported the script's end: it ran to its end by itself.
    void scriptFinished();
    // An operation could not be done: the controller refused it (its
    // reason), the notification ports or the debug server's port are taken,
    // another facade of this program is debugging, the interpreter did not
    // start, a command found no debug session. errorString() keeps `reason`.
    void failed(QString reason);

public Q_SLOTS:
    // ---- Run control: the script runs on the controller by itself (a
    // "straight" run), followed through the notifications. Every facade's
    // debugger can do this, several at once.

    // Asks the controller for the script's state and project (it also becomes
    // debugState(), without a notification). False when it did not answer.
    bool state(QRobotType::ScriptState &scriptState);
    // Starts the script of the project `fileName` (its folder name) and runs
    // it: the state becomes ScriptRunning at once; scriptLineChanged(),
    // moveLineChanged(), scriptPrinted() follow in the order the script ran;
    // the end is ScriptStopped, after scriptFinished() or errorMsg(). A
    // start the controller refuses (a project without a script), or one that
    // cannot be followed (the ports are taken), ends at once in ScriptStopped
    // with failed().
    void straightRun(QString fileName);
    // Continues a paused script (ScriptRunning); after the end the
    // controller's refusal is reported with failed() and the state is its.
    void straightContinue();
    // Pauses the script at its next line (ScriptPaused). A script that pauses
    // itself (its pause()) notifies ScriptPaused too; its line is the last
    // scriptLineChanged().
    void straightSuspend();
    // Stops the script wherever it is (a motion of the script with it) and
    // ends a debug session: ScriptStopped.
    void stop();
    void suspendForAPI(bool isStraight);
    bool getSuspend();
    bool getStepIn();

    // ---- Remote debugging: one session at a time per program.

    // Starts the debug server, then the script as its debuggee:
    // DebugStarting, then DebugConnected once it waits at its first line
    // (runningLineChanged() says which); ScriptStopped with failed() when it
    // cannot start.
    void start(QString fileName);
    // Continue, pause, step into, step over: a pause (a breakpoint, the step's
    // end) is runningLineChanged(); while the script runs the state is
    // ScriptRunning. A step past the script's end ends the session.
    void runScript();
    void suspend();
    void stepIn();
    void stepOver();
    // Breakpoints of the script (fileName "src0.lua"); a line the controller
    // refuses (no code there) is reported with failed().
    void setBreakpoint(QString fileName, int lineNumber);
    void removeBreakpoint(QString fileName, int lineNumber);
    void removeAllBreakpoints();
    // A variable's value as a Lua literal (after a blank), as the controller
    // writes it; changeGlobalVal() answers "Comm: exec done" or the error.
    QString getGlobalVal(QString var);
    QString changeGlobalVal(QString variable, QString value);
    // The variables in sight: name to literal (a table's after a blank).
    QHash<QString, QString> getStack();
    // Any command of the debug server, its answer discarded.
    void mobDebugManualDebug(QString cmd);
    // Ends the debug session and lets the script run on by itself on the
    // controller; it is then followed as a straight run.
    void detach();
    // Ends the waits of the operation in progress (a command's answer, the
    // confirmation of a step or a suspension, a settle pause): it returns as it
    // stands, so that the host can stop() at once. QRobot::interruptWaits()
    // calls it. An interruption while nothing waits is not kept.
    void interruptWaits();

private:
    Q_DECLARE_PRIVATE_D(d, QRobotDebugger)
    Q_DISABLE_COPY(QRobotDebugger)
    QScopedPointer<QRobotDebuggerPrivate> d;
};

Q_DECLARE_METATYPE(QRobotType::DebugState)

#endif // QROBOTDEBUGGER_H
