// Remote debugging: the interpreter that runs the debug server, the commands
// written to it and the answers read back.
#include "Varlo/qrobotdebugger.h"
#include "debugger/qrobotdebugger_p.h"
#include "debugger/debuggertexts.h"
#include "debugger/luainterpreter.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QProcessEnvironment>
#include <QtCore/QTimer>

namespace {

const QLatin1String Prompt(">");

const char *startErrorText(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart: return "MobDebug Start Error: FailedToStart";
    case QProcess::Crashed: return "MobDebug Start Error: Crashed";
    case QProcess::Timedout: return "MobDebug Start Error: Timedout";
    case QProcess::ReadError: return "MobDebug Start Error: ReadError";
    case QProcess::WriteError: return "MobDebug Start Error: WriteError";
    case QProcess::UnknownError: return "MobDebug Start Error: UnknownError";
    }
    return "MobDebug Start Error";
}

QJsonObject breakpointBody(const QString &fileName, int lineNumber)
{
    return QJsonObject{ { QStringLiteral("path"), fileName }, { QStringLiteral("line"), lineNumber } };
}

} // namespace

void QRobotDebuggerPrivate::launchInterpreter()
{
    const QString program = LuaInterpreter::program();
    qDebug() << "MobDebug starting!";
    qDebug() << program;
    // Our debug server accepts a debuggee only from the controller.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARLO_DEBUG_CONTROLLER"), transport->host());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, LuaInterpreter::arguments(), QIODevice::ReadWrite);
    process.waitForStarted(VarloTimings::ms(VarloTimings::DebugProcess));
}

void QRobotDebuggerPrivate::onStartupOutput(const QString &fileName)
{
    Q_Q(QRobotDebugger);
    // QProcess does not announce output that arrives while its readyRead is
    // being handled, and this handler waits (the prompt comes while the start
    // is posted): what came meanwhile is handled here too.
    do {
        const QString text = DebuggerTexts::decode(process.readAll()).trimmed();
        Q_EMIT q->mobDebugInfo(text);
        if (text.contains(QLatin1String("Waitting client..."))) {
            QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugSettle)));
            post("start", QJsonObject{ { QStringLiteral("project"), fileName } });
            if (debugState != QRobotType::ScriptStopped)
                Q_EMIT q->stopStateEnabled(true);
        }
        if (text.contains(Prompt)) {
            qDebug() << "server disconnect!";
            // From now on only writeSync reads the server's output.
            detachInterpreter();
            if (debugState != QRobotType::DebugConnected)
                notify(QRobotType::DebugConnected);
            return;
        }
    } while (process.bytesAvailable() > 0);
}

void QRobotDebuggerPrivate::detachInterpreter()
{
    QObject::disconnect(&process, nullptr, q_ptr, nullptr);
}

void QRobotDebuggerPrivate::endSession()
{
    qDebug() << "void QRobotDebugger::stopMobDebug()";
    // An interpreter still running is killed even when a state query has
    // already reported the script stopped.
    if (process.state() != QProcess::NotRunning) {
        detachInterpreter();
        process.kill();
        process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    }
    if (debugState != QRobotType::ScriptStopped) {
        qDebug() << "kill server, MobDebugStop";
        ++sessionEnds;
        notify(QRobotType::ScriptStopped);
    }
}

QString QRobotDebuggerPrivate::writeSync(const QString &command)
{
    Q_Q(QRobotDebugger);
    // What the server printed after the previous answer was taken (a pause
    // reached after a run had stopped waiting, say) is not part of this one.
    process.waitForReadyRead(0);
    const QString earlier = DebuggerTexts::decode(process.readAll());
    if (!earlier.isEmpty()) {
        Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Info)*\n") + earlier);
        if (earlier.contains(QLatin1String("Server closed!"))) {
            endSession();
            return QString();
        }
    }

    process.write(command.toUtf8());
    stopwatch.restart();
    const bool isSuspension = command.contains(QLatin1String("suspend"));
    QString answer;
    while (!answer.contains(Prompt)) {
        const QString chunk = DebuggerTexts::decode(process.readAll());
        if (chunk.contains(QLatin1String("Server closed!"))) {
            Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Close)*\n") + chunk);
            endSession();
            break;
        }
        if (chunk.contains(QLatin1String("Paused at file /varlo/bin/lua/varlo.lua"))) {
            Q_EMIT q->mobDebugInfo(QStringLiteral("*Server(Finish)*\nstep script finished!\n"));
            stepFinished = true;
            break;
        }
        if (chunk.contains(QLatin1String("Paused at")))
            break;
        if (!chunk.isEmpty()) {
            Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Info)*\n") + chunk);
            answer += chunk;
        }
        if (isSuspension && stopwatch.elapsed() > VarloTimings::ms(VarloTimings::DebugSuspendReply)) {
            qDebug() << "wait suspend timeout!!!";
            break;
        }
        if (!isSuspension && stopwatch.elapsed() > VarloTimings::ms(VarloTimings::DebugReply)) {
            qDebug() << "wait return timeout!!!";
            break;
        }
        qDebug() << "QString QRobotDebugger::writeSync(const QString&)" << command;
        QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugReplyPoll)));
    }
    return answer.isEmpty() ? QString() : DebuggerTexts::beforePrompt(answer);
}

QString QRobotDebuggerPrivate::sendMobDebug(const QString &command)
{
    Q_Q(QRobotDebugger);
    if (process.state() == QProcess::Running)
        return writeSync(command);
    Q_EMIT q->mobDebugInfo(QStringLiteral("**MainProcess**\nMoDebug Process Crashed!"));
    endSession();
    return QString();
}

void QRobotDebugger::start(QString fileName)
{
    if (!d->active)
        return;
    QEventLoop loop;
    d->isStraight = false;
    if (d->debugState != QRobotType::DebugStarting)
        d->notify(QRobotType::DebugStarting);
    Q_EMIT stopStateEnabled(false);

    // A session still running ends before the next one starts.
    if (d->process.state() != QProcess::NotRunning) {
        d->detachInterpreter();
        d->process.kill();
        d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    }

    bool started = false;
    QProcess::ProcessError error = QProcess::UnknownError;
    const QMetaObject::Connection onStarted = connect(&d->process, &QProcess::started, this, [&]() {
        qDebug() << "MobDebug started!";
        started = true;
        loop.quit();
    });
    const QMetaObject::Connection onError = connect(&d->process, &QProcess::errorOccurred, this,
                                                    [&](QProcess::ProcessError code) {
                                                        qDebug() << "MobDebug errorOccurred!";
                                                        started = false;
                                                        error = code;
                                                        loop.quit();
                                                    });
    QRobotDebuggerPrivate *const p = d.data();
    connect(&d->process, &QProcess::readyRead, this, [p, fileName]() { p->onStartupOutput(fileName); });
    QTimer::singleShot(0, this, [p]() { p->launchInterpreter(); });
    loop.exec();
    // The two handlers refer to this call's variables.
    disconnect(onStarted);
    disconnect(onError);

    if (!started) {
        qDebug() << startErrorText(error);
        if (error == QProcess::FailedToStart)
            Q_EMIT mobDebugInfo(QLatin1String(startErrorText(error)));
    }
}

void QRobotDebugger::runScript()
{
    if (!d->active)
        return;
    d->beginRun();
    d->sendMobDebug(QStringLiteral("run\r\n"));
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugRunSettle)));
    d->endRun();
}

void QRobotDebugger::suspend()
{
    if (!d->active)
        return;
    d->sendMobDebug(QStringLiteral("suspend\r\n"));
    // The controller is told once the state has become "paused".
    QRobotDebuggerPrivate *const p = d.data();
    connect(this, &QRobotDebugger::debugStateChanged, this, [this, p](QRobotType::DebugState state) {
        if (state != QRobotType::ScriptPaused)
            return;
        p->post("suspend");
        disconnect(this, &QRobotDebugger::debugStateChanged, this, nullptr);
    });
    Q_EMIT debugStateEnabled(false);
    if (d->debugState != QRobotType::ScriptPaused && d->debugState != QRobotType::ScriptStopped)
        d->notify(QRobotType::ScriptPaused);
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugRunSettle)));
    d->waitForConfirmation(&QRobotDebugger::getSuspend, VarloTimings::DebugSuspendConfirm, "suspend timeout!!!");
    d->stopwatch.restart();
    Q_EMIT debugStateEnabled(true);
}

void QRobotDebugger::stepIn()
{
    if (!d->active)
        return;
    d->post("stepIn");
    d->sendMobDebug(QStringLiteral("step\r\n"));
    Q_EMIT stepInChanged(false, false, false);
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugSettle)));
    d->waitForConfirmation(&QRobotDebugger::getStepIn, VarloTimings::DebugStepConfirm, "stepIn timeout!!!");
    d->stopwatch.restart();
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugRunSettle)));
    if (d->debugState != QRobotType::ScriptStopped)
        Q_EMIT stepInChanged(true, false, true);
    else
        Q_EMIT stepInChanged(false, true, true);
    if (d->stepFinished) {
        d->stepFinished = false;
        Q_EMIT stepInChanged(false, false, false);
        d->endSession();
    }
}

void QRobotDebugger::stepOver()
{
    if (!d->active)
        return;
    d->post("stepOver");
    d->sendMobDebug(QStringLiteral("over\r\n"));
}

void QRobotDebugger::setBreakpoint(QString fileName, int lineNumber)
{
    if (!d->active)
        return;
    d->post("setb", breakpointBody(fileName, lineNumber));
    d->sendMobDebug(QStringLiteral("setb %1 %2\r\n").arg(fileName).arg(lineNumber));
    QHttpManager::waitMs(uint(VarloTimings::ms(VarloTimings::DebugSettle)));
}

void QRobotDebugger::removeBreakpoint(QString fileName, int lineNumber)
{
    if (!d->active)
        return;
    d->post("delb", breakpointBody(fileName, lineNumber));
    d->sendMobDebug(QStringLiteral("delb %1 %2\r\n").arg(fileName).arg(lineNumber));
}

void QRobotDebugger::removeAllBreakpoints()
{
    if (!d->active)
        return;
    d->post("delallb");
    d->sendMobDebug(QStringLiteral("delallb\r\n"));
}

QString QRobotDebugger::getGlobalVal(QString var)
{
    if (!d->active)
        return QString();
    return DebuggerTexts::evalValue(d->sendMobDebug(QLatin1String("eval ") + var + QLatin1String("\r\n")));
}

QString QRobotDebugger::changeGlobalVal(QString variable, QString value)
{
    if (!d->active)
        return QString();
    return d->sendMobDebug(QLatin1String("exec ") + variable + QLatin1String(" = ") + value + QLatin1String("\r\n"));
}

QHash<QString, QString> QRobotDebugger::getStack()
{
    if (!d->active)
        return QHash<QString, QString>();
    return DebuggerTexts::stack(d->sendMobDebug(QStringLiteral("stack\r\n")));
}

void QRobotDebugger::mobDebugManualDebug(QString cmd)
{
    if (!d->active)
        return;
    d->sendMobDebug(cmd);
}
