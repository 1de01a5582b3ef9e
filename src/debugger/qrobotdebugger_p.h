#ifndef QROBOTDEBUGGER_P_H
#define QROBOTDEBUGGER_P_H

#include "Varlo/qrobotdebugger.h"
#include "transport/timings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QProcess>
#include <QtNetwork/QHostAddress>

class NotificationListener;
class QEventLoop;

class QRobotDebuggerPrivate
{
    Q_DECLARE_PUBLIC(QRobotDebugger)
public:
    QRobotDebuggerPrivate(QRobotDebugger *q, QHttpManager *transport);

    // POST "/debugger/<action>" on the API port; the reply is not looked at.
    void post(const char *action, const QJsonObject &body = QJsonObject());
    // The same, for a request whose refusal matters: Refused when the
    // controller answered "result": false, NoAnswer when it did not answer;
    // `why` then says so (the controller's own reason when it gave one).
    enum Reply { Accepted, Refused, NoAnswer };
    Reply request(const char *action, const QJsonObject &body, QString *why);
    // Sets the state and tells the host.
    void notify(QRobotType::DebugState state);
    // Keeps `reason` as the error text and tells the host.
    void fail(const QString &reason);
    // Processes events for an interval of the debugger's, or less when the
    // host interrupts the operation (interruptWaits()).
    void wait(VarloTimings::Interval interval);
    // The host interrupted the operation in progress: its waits end at once.
    bool interrupted() const;
    // Marks a slot that waits: the outermost one in progress is what an
    // interruption ends.
    struct Operation
    {
        explicit Operation(QRobotDebuggerPrivate *d) : d(d)
        {
            if (d->operations++ == 0)
                d->operationStart = d->interruptions;
        }
        ~Operation() { --d->operations; }
        QRobotDebuggerPrivate *d;
    };
    // The two halves of a continue. The start posts run and sets the state
    // "running", unless the script ended while the request was on its way
    // (its end notification came first) or the controller refused it (its
    // state is then asked for). The end enables the host's debug and stop
    // controls again, except once after an error.
    void beginRun();
    void endRun();

    // ---- controller notifications
    // The controller's addresses: its name resolved once (again only when the
    // transport's host changes).
    const QList<QHostAddress> &controllerAddresses();
    bool fromController(const QHostAddress &sender);
    // A datagram from the program's listener, from any controller.
    void takeNotification(quint16 port, const QHostAddress &sender, const QByteArray &data);
    // The handler of port 5000 (special false) and of port 5003 (special true).
    void handleMessage(const QString &text, bool special);
    // True when the program listens on the notification ports; otherwise the
    // host is told why.
    bool canListen();

    // ---- the debug server
    void launchInterpreter();
    // What the server prints while no command waits for an answer: at the
    // start its greeting (then the start is posted) and the first pause (the
    // session is connected); later a pause reached while the script ran (a
    // breakpoint, a suspension), or the end.
    void onServerOutput();
    // The interpreter ended by itself: the debug server could not listen, or
    // died; the controller's script is stopped.
    void onInterpreterFinished();
    void detachInterpreter();
    // What the server printed, looked at for the events in it: a pause (the
    // state and the host are told), a step past the script's end, the end of
    // the debuggee. True when the text holds a pause or the end.
    bool takeServerEvents(const QString &text);
    // Ends the debug session: kills the interpreter and notifies "stopped".
    // With `stopScript` the controller's script is stopped first, so that it
    // never runs on unsupervised after the host's side ended the session.
    void endSession(bool stopScript);
    QString writeSync(const QString &command);
    // What the server printed since the last read, as text (a character cut
    // between two reads waits in serverBytes); `last` when it has ended.
    QString readServer(bool last = false);
    // Forgets what the server printed and was not handled (a new session).
    void clearServerOutput();
    // True while a debug session runs. Otherwise the host is told: a crashed
    // interpreter (the session ends and the script is stopped), or no session.
    bool sessionReady();
    // writeSync when the session is ready; otherwise an empty text.
    QString sendMobDebug(const QString &command);
    // After "run", "step" or "over": when the server reported no pause
    // within the wait, the script runs.
    void afterGo();
    // A step that ran past the script's end ends the session (true).
    bool endIfStepFinished();
    // Asks `query` until it says true or `limit` has passed (then logs
    // `timeoutLog`).
    void waitForConfirmation(bool (QRobotDebugger::*query)(), VarloTimings::Interval limit, const char *timeoutLog);

    QRobotDebugger *q_ptr;
    QHttpManager *transport;
    NotificationListener *listener = nullptr;
    QProcess process;
    // Measures the waits of a debug session (monotonic).
    QElapsedTimer stopwatch;

    bool stepFinished = false; // a step ran into the controller's system script
    bool hasError = false;     // the controller reported an error in this run
    bool isStraight = false;   // the script runs without the debug server
    bool inWriteSync = false;  // a command waits for its answer: it reads the server itself
    bool readingServer = false; // onServerOutput() runs
    bool answerPaused = false; // the last command's answer was a pause
    bool startPosted = false;  // the session's start has been posted to the controller
    QString startProject;      // the project of the session
    QString serverOutput;      // what the server printed that is not handled yet (a part line)
    QByteArray serverBytes;    // a UTF-8 sequence cut at the end of the last read
    QRobotType::DebugState debugState = QRobotType::ScriptStopped;
    quint64 sessionEnds = 0;   // the times the state went to "stopped" by an end
    QString errorText;

    quint64 interruptions = 0;  // interruptWaits() calls
    quint64 operationStart = 0; // ... when the operation in progress began
    int operations = 0;         // slots in progress, nested ones counted
    QList<QEventLoop *> waitLoops;

    QString resolvedHost;
    QList<QHostAddress> addresses;
};

#endif // QROBOTDEBUGGER_P_H
