// Run control: the straight-run requests, the state query, stop, and the
// controller's notifications of the running script.
#include "Varlo/qrobotdebugger.h"
#include "debugger/qrobotdebugger_p.h"
#include "debugger/debuggertexts.h"
#include "debugger/luainterpreter.h"
#include "transport/controllerio.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>
#include <QtCore/QMetaType>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QNetworkDatagram>
#include <QtNetwork/QNetworkProxyFactory>
#include <QtNetwork/QUdpSocket>

QRobotDebugger *QRobotDebuggerPrivate::s_instance = nullptr;

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

void QRobotDebuggerPrivate::notify(QRobotType::DebugState state)
{
    Q_Q(QRobotDebugger);
    debugState = state;
    Q_EMIT q->debugStateChanged(state);
}

void QRobotDebuggerPrivate::beginRun()
{
    Q_Q(QRobotDebugger);
    Q_EMIT q->stopStateEnabled(false);
    const quint64 ends = sessionEnds;
    post("run");
    if (debugState != QRobotType::ScriptRunning && sessionEnds == ends)
        notify(QRobotType::ScriptRunning);
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

void QRobotDebuggerPrivate::bindSockets()
{
    Q_Q(QRobotDebugger);
    for (quint16 port = QRobotDebugger::MessagePort; port <= QRobotDebugger::SpecialPort; ++port) {
        auto *socket = new QUdpSocket(q);
        // A port in use leaves its socket unbound and silent.
        socket->bind(QHostAddress::Any, port);
        QObject::connect(socket, &QUdpSocket::readyRead, q, [this, socket, port]() { readDatagrams(socket, port); });
        sockets.append(socket);
    }
}

bool QRobotDebuggerPrivate::fromController(const QHostAddress &sender) const
{
    const QString host = transport->host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return sender.isLoopback();
    const QHostAddress controller(host);
    return !controller.isNull() && sender.isEqual(controller);
}

void QRobotDebuggerPrivate::readDatagrams(QUdpSocket *socket, quint16 port)
{
    Q_Q(QRobotDebugger);
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(socket->pendingDatagramSize());
        // Anyone on the network may send to these ports; an "ERROR:" alone
        // would stop the script.
        if (!fromController(datagram.senderAddress()))
            continue;
        const QString text = DebuggerTexts::decode(datagram.data());
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
    }
    if (message.contains(QLatin1String("command:pause"))) {
        q->suspendForAPI(isStraight);
        if (!message.simplified().isEmpty())
            Q_EMIT q->mobDebugInfo(message);
    } else if (message.contains(QLatin1String("run script finished!"))) {
        Q_EMIT q->mobDebugInfo(message);
        if (special)
            endSession();
    } else if (!message.simplified().isEmpty()) {
        Q_EMIT q->mobDebugInfo(message);
    }
}

void QRobotDebuggerPrivate::waitForConfirmation(bool (QRobotDebugger::*query)(), VarloTimings::Interval limit,
                                                const char *timeoutLog)
{
    Q_Q(QRobotDebugger);
    stopwatch.restart();
    while (!(q->*query)()) {
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
    if (QRobotDebuggerPrivate::s_instance) {
        qWarning() << "QRobotDebugger: another debugger of this process holds the notification ports;"
                   << "this one stays inactive";
        return;
    }
    QRobotDebuggerPrivate::s_instance = this;
    d->active = true;
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    d->bindSockets();
}

QRobotDebugger::~QRobotDebugger()
{
    // The interpreter must not outlive the host, nor report its end to a
    // debugger half gone.
    d->detachInterpreter();
    d->process.kill();
    d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    if (QRobotDebuggerPrivate::s_instance == this)
        QRobotDebuggerPrivate::s_instance = nullptr;
}

QRobotType::DebugState QRobotDebugger::debugState() const { return d->debugState; }
bool QRobotDebugger::isActive() const { return d->active; }
QString QRobotDebugger::interpreterProgram() { return LuaInterpreter::program(); }

bool QRobotDebugger::state(QRobotType::ScriptState &scriptState)
{
    if (!d->active)
        return false;
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
    if (!d->active)
        return;
    d->isStraight = true;
    Q_EMIT stopStateEnabled(false);
    d->notify(QRobotType::ScriptRunning);
    d->post("start", QJsonObject{ { QStringLiteral("project"), fileName } });
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugSettle)));
    d->post("run");
    Q_EMIT stopStateEnabled(true);
}

void QRobotDebugger::straightContinue()
{
    if (!d->active)
        return;
    d->beginRun();
    d->endRun();
}

void QRobotDebugger::straightSuspend()
{
    if (!d->active)
        return;
    d->post("suspend");
    if (d->debugState != QRobotType::ScriptStopped)
        d->notify(QRobotType::ScriptPaused);
}

void QRobotDebugger::stop()
{
    if (!d->active)
        return;
    d->post("stop");
    d->endSession();
}

void QRobotDebugger::suspendForAPI(bool isStraight)
{
    if (!d->active)
        return;
    if (isStraight)
        d->post("suspend");
    else
        d->sendMobDebug(QStringLiteral("suspend\r\n"));
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
    return d->active && statusOf(d->transport, "/debugger/getSuspend");
}

bool QRobotDebugger::getStepIn()
{
    return d->active && statusOf(d->transport, "/debugger/stepIn");
}
