// Run control: the straight-run requests, the state query, stop, and the
// controller's notifications of the running script.
#include "Varlo/qrobotdebugger.h"
#include "debugger/qrobotdebugger_p.h"
#include "debugger/debuggertexts.h"
#include "debugger/luainterpreter.h"
#include "debugger/notificationlistener.h"
#include "transport/controllerio.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QMetaType>
#include <QtCore/QTimer>
#include <QtNetwork/QHostInfo>
#include <QtNetwork/QNetworkProxyFactory>

namespace {

const char StateSignature[] = "bool QRobotDebugger::state(QRobotType::ScriptState&)";

} // namespace

QRobotDebuggerPrivate::QRobotDebuggerPrivate(QRobotDebugger *q, QHttpManager *transport)
    : q_ptr(q), transport(transport)
{
}

void QRobotDebuggerPrivate::post(const char *action, const QJsonObject &body)
{
    ControllerIO::post(transport, QStringLiteral("/debugger/%1").arg(QLatin1String(action)), body);
}

QRobotDebuggerPrivate::Reply QRobotDebuggerPrivate::request(const char *action, const QJsonObject &body, QString *why)
{
    bool refused = false;
    const bool answered = ControllerIO::post(
        transport, QStringLiteral("/debugger/%1").arg(QLatin1String(action)), body, [&](const QJsonObject &reply) {
            const QJsonValue result = reply.value(QLatin1String("result"));
            refused = result.isBool() && !result.toBool();
            // The controller's reason, cut to a line.
            *why = reply.value(QLatin1String("error")).toString().left(300).simplified();
        });
    if (!answered) {
        *why = QStringLiteral("the controller at %1 did not answer").arg(transport->host());
        return NoAnswer;
    }
    if (!refused)
        return Accepted;
    if (why->isEmpty())
        *why = QStringLiteral("the controller refused it");
    return Refused;
}

void QRobotDebuggerPrivate::notify(QRobotType::DebugState state)
{
    Q_Q(QRobotDebugger);
    debugState = state;
    Q_EMIT q->debugStateChanged(state);
}

void QRobotDebuggerPrivate::fail(const QString &reason)
{
    Q_Q(QRobotDebugger);
    qDebug() << "QRobotDebugger:" << reason;
    errorText = reason;
    Q_EMIT q->failed(reason);
}

void QRobotDebuggerPrivate::wait(VarloTimings::Interval interval)
{
    if (interrupted())
        return;
    QEventLoop loop;
    QTimer::singleShot(VarloTimings::ms(interval), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    waitLoops.append(&loop);
    loop.exec();
    waitLoops.removeOne(&loop);
}

bool QRobotDebuggerPrivate::interrupted() const
{
    // Only an operation of the host is interrupted, not what a notification's
    // handler waits for.
    return operations > 0 && interruptions != operationStart;
}

void QRobotDebuggerPrivate::beginRun()
{
    Q_Q(QRobotDebugger);
    Q_EMIT q->stopStateEnabled(false);
    const quint64 ends = sessionEnds;
    QString why;
    if (request("run", QJsonObject(), &why) == Refused) {
        // Refused (the script has ended, say): the state is the controller's.
        fail(QStringLiteral("the script was not continued: ") + why);
        QRobotType::ScriptState scriptState;
        scriptState.state = debugState;
        const QRobotType::DebugState before = debugState;
        if (q->state(scriptState) && scriptState.state != before)
            notify(scriptState.state);
    } else if (debugState != QRobotType::ScriptRunning && sessionEnds == ends) {
        notify(QRobotType::ScriptRunning);
    }
    Q_EMIT q->debugStateEnabled(false);
}

void QRobotDebuggerPrivate::endRun()
{
    Q_Q(QRobotDebugger);
    if (hasError) {
        hasError = false;
    } else if (debugState != QRobotType::ScriptStopped) {
        Q_EMIT q->debugStateEnabled(true);
        Q_EMIT q->stopStateEnabled(true);
    }
}

bool QRobotDebuggerPrivate::canListen()
{
    if (listener->listen())
        return true;
    fail(QStringLiteral("the script's notifications cannot be received: %1 (one program per computer can run"
                        " and debug scripts)").arg(listener->problem()));
    return false;
}

const QList<QHostAddress> &QRobotDebuggerPrivate::controllerAddresses()
{
    const QString host = transport->host();
    if (host != resolvedHost) {
        resolvedHost = host;
        const QHostAddress address(host);
        addresses = address.isNull() ? QHostInfo::fromName(host).addresses() : QList<QHostAddress>{ address };
    }
    return addresses;
}

bool QRobotDebuggerPrivate::fromController(const QHostAddress &sender)
{
    for (const QHostAddress &address : controllerAddresses()) {
        if (sender.isEqual(address))
            return true;
    }
    return false;
}

void QRobotDebuggerPrivate::takeNotification(quint16 port, const QHostAddress &sender, const QByteArray &data)
{
    Q_Q(QRobotDebugger);
    // Anyone on the network may send to these ports, and other controllers
    // notify their own facades; an "ERROR:" alone would stop the script.
    if (!fromController(sender))
        return;
    const QString text = DebuggerTexts::decode(data);
    int line = 0;
    switch (port) {
    case QRobotDebugger::MessagePort:
        handleMessage(text, false);
        break;
    case QRobotDebugger::ScriptLinePort:
        if (DebuggerTexts::scriptLine(text, &line))
            Q_EMIT q->scriptLineChanged(line);
        break;
    case QRobotDebugger::MoveLinePort:
        if (DebuggerTexts::scriptLine(text, &line))
            Q_EMIT q->moveLineChanged(line);
        break;
    default:
        handleMessage(text, true);
        break;
    }
}

void QRobotDebuggerPrivate::handleMessage(const QString &text, bool special)
{
    Q_Q(QRobotDebugger);
    if (special)
        qDebug() << "void QRobotDebugger::onSpecialMsg(QString)";
    if (text.contains(QLatin1String("ERROR:"))) {
        Q_EMIT q->errorMsg(text);
        Q_EMIT q->mobDebugInfo(text);
        Q_EMIT q->errorLine(DebuggerTexts::errorLine(text));
        hasError = true;
        q->stop();
        return;
    }
    QString message = text;
    const QLatin1String refused("connection refused");
    if (text.contains(refused) && isStraight) {
        // The controller found no debug server; in a straight run none was meant.
        if (special)
            return;
        message = text.mid(text.lastIndexOf(refused) + refused.size());
    } else if (text.contains(refused) && debugState == QRobotType::DebugStarting && !special) {
        // The script could not reach our debug server: it would wait for a
        // run that nobody sends.
        Q_EMIT q->mobDebugInfo(text);
        fail(QStringLiteral("the controller's script could not reach the debug server (TCP port %1 of this computer):"
                            " %2").arg(QRobotDebugger::DebugServerPort).arg(text.simplified()));
        endSession(true);
        return;
    }
    if (message.contains(QLatin1String("command:pause"))) {
        q->suspendForAPI(isStraight);
        if (!message.simplified().isEmpty())
            Q_EMIT q->mobDebugInfo(message);
    } else if (message.contains(QLatin1String("run script finished!"))) {
        Q_EMIT q->mobDebugInfo(message);
        if (special) {
            Q_EMIT q->scriptFinished();
            endSession(false);
        }
    } else if (!message.simplified().isEmpty()) {
        Q_EMIT q->mobDebugInfo(message);
        if (!special && message == text && !text.contains(refused))
            Q_EMIT q->scriptPrinted(text);
    }
}

void QRobotDebuggerPrivate::waitForConfirmation(bool (QRobotDebugger::*query)(), VarloTimings::Interval limit,
                                                const char *timeoutLog)
{
    Q_Q(QRobotDebugger);
    stopwatch.restart();
    while (!(q->*query)() && !interrupted()) {
        if (stopwatch.elapsed() > VarloTimings::ms(limit)) {
            qDebug() << timeoutLog;
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QRobotDebugger::QRobotDebugger(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QRobotDebuggerPrivate(this, transport))
{
    qRegisterMetaType<QRobotType::DebugState>("QRobotType::DebugState");
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    d->listener = NotificationListener::attach(d.data());
    if (!d->listener->listen())
        qWarning() << "QRobotDebugger:" << d->listener->problem() << "- scripts cannot be run or debugged from here";
}

QRobotDebugger::~QRobotDebugger()
{
    // The interpreter must not outlive the host, nor report its end to a
    // debugger half gone. Its input closing tells the debug server that the
    // host has gone: it stops the controller's script and ends.
    d->detachInterpreter();
    if (d->process.state() != QProcess::NotRunning) {
        d->process.closeWriteChannel();
        if (!d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugServerQuit)))
            d->process.kill();
        d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    }
    NotificationListener::detach(d.data());
}

QRobotType::DebugState QRobotDebugger::debugState() const { return d->debugState; }
bool QRobotDebugger::isActive() const { return d->listener->isListening(); }
QString QRobotDebugger::errorString() const { return d->errorText; }

void QRobotDebugger::interruptWaits()
{
    ++d->interruptions;
    for (QEventLoop *loop : qAsConst(d->waitLoops))
        loop->quit();
}
QString QRobotDebugger::interpreterProgram() { return LuaInterpreter::program(); }

bool QRobotDebugger::state(QRobotType::ScriptState &scriptState)
{
    return ControllerIO::get(
        d->transport, QStringLiteral("/debugger/state"),
        [this, &scriptState](const QJsonObject &reply) {
            const QString value = reply.value(QLatin1String("value")).toString();
            if (value.isEmpty() || value == QLatin1String("stop") || value == QLatin1String("stopped"))
                scriptState.state = QRobotType::ScriptStopped;
            else if (value == QLatin1String("pause") || value == QLatin1String("suspend"))
                scriptState.state = QRobotType::ScriptPaused;
            else if (value == QLatin1String("run") || value == QLatin1String("running"))
                scriptState.state = QRobotType::ScriptRunning;
            d->debugState = scriptState.state;
            scriptState.projectName = reply.value(QLatin1String("prjname")).toString();
        },
        ControllerIO::LogText(StateSignature, "getError"));
}

void QRobotDebugger::straightRun(QString fileName)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->canListen())
        return;
    d->isStraight = true;
    d->controllerAddresses(); // before the first notification comes
    Q_EMIT stopStateEnabled(false);
    d->notify(QRobotType::ScriptRunning);
    QString why;
    if (d->request("start", QJsonObject{ { QStringLiteral("project"), fileName } }, &why)
        != QRobotDebuggerPrivate::Accepted) {
        d->fail(QStringLiteral("the script of project %1 was not started: %2").arg(fileName, why));
        d->endSession(false);
        return;
    }
    d->wait(VarloTimings::DebugSettle);
    d->post("run");
    Q_EMIT stopStateEnabled(true);
}

void QRobotDebugger::straightContinue()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    d->beginRun();
    d->endRun();
}

void QRobotDebugger::straightSuspend()
{
    d->post("suspend");
    if (d->debugState != QRobotType::ScriptStopped)
        d->notify(QRobotType::ScriptPaused);
}

void QRobotDebugger::stop()
{
    d->endSession(true);
}

void QRobotDebugger::suspendForAPI(bool isStraight)
{
    // Without a debug session the controller is told directly.
    if (isStraight || d->process.state() != QProcess::Running)
        d->post("suspend");
    else
        d->writeSync(QStringLiteral("suspend\r\n"));
    if (d->debugState != QRobotType::ScriptStopped)
        d->notify(QRobotType::ScriptPaused);
}

namespace {

bool statusOf(QHttpManager *transport, const char *path)
{
    bool status = false;
    ControllerIO::get(transport, QLatin1String(path),
                      [&status](const QJsonObject &reply) { status = reply.value(QLatin1String("status")).toBool(); });
    return status;
}

} // namespace

bool QRobotDebugger::getSuspend()
{
    return statusOf(d->transport, "/debugger/getSuspend");
}

bool QRobotDebugger::getStepIn()
{
    return statusOf(d->transport, "/debugger/stepIn");
}
