#ifndef QROBOTDEBUGGER_P_H
#define QROBOTDEBUGGER_P_H

#include "Varlo/qrobotdebugger.h"
#include "transport/timings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QVector>

class QHostAddress;
class QUdpSocket;

class QRobotDebuggerPrivate
{
    Q_DECLARE_PUBLIC(QRobotDebugger)
public:
    QRobotDebuggerPrivate(QRobotDebugger *q, QHttpManager *transport);

    // POST "/debugger/<action>" on the API port; the reply is not looked at.
    void post(const char *action, const QJsonObject &body = QJsonObject());
    // Sets the state and tells the host.
    void notify(QRobotType::DebugState state);
    // The two halves of a continue. The start posts run and sets the state
    // "running", unless the script ended while the request was on its way
    // (its end notification came first). The end enables the host's debug
    // and stop controls again, except once after an error.
    void beginRun();
    void endRun();

    // ---- controller notifications
    void bindSockets();
    void readDatagrams(QUdpSocket *socket, quint16 port);
    bool fromController(const QHostAddress &sender) const;
    // The handler of port 5000 (special false) and of port 5003 (special true).
    void handleMessage(const QString &text, bool special);

    // ---- the debug server
    void launchInterpreter();
    void onStartupOutput(const QString &fileName);
    void detachInterpreter();
    // Kills the interpreter, the end of every debug session.
    void endSession();
    QString writeSync(const QString &command);
    // writeSync when the interpreter runs; otherwise the crash is reported and
    // the session ends.
    QString sendMobDebug(const QString &command);
    // Asks `query` until it says true or `limit` has passed (then logs
    // `timeoutLog`).
    void waitForConfirmation(bool (QRobotDebugger::*query)(), VarloTimings::Interval limit, const char *timeoutLog);

    QRobotDebugger *q_ptr;
    QHttpManager *transport;
    QProcess process;
    QVector<QUdpSocket *> sockets;
    // Measures the waits of a debug session (monotonic).
    QElapsedTimer stopwatch;

    bool stepFinished = false; // a step ran into the controller's system script
    bool hasError = false;     // the controller reported an error in this run
    bool isStraight = false;   // the script runs without the debug server
    QRobotType::DebugState debugState = QRobotType::ScriptStopped;
    bool active = false;       // this is the process's one debugger
    quint64 sessionEnds = 0;   // the times the state went to "stopped" by an end

    static QRobotDebugger *s_instance;
};

#endif // QROBOTDEBUGGER_P_H
