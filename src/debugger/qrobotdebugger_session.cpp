// Remote debugging: the interpreter that runs the debug server, the commands
// written to it and the answers read back.
#include "Varlo/qrobotdebugger.h"
#include "debugger/qrobotdebugger_p.h"
#include "debugger/debuggertexts.h"
#include "debugger/luainterpreter.h"
#include "debugger/notificationlistener.h"
#include "debugger/portholder.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QProcessEnvironment>
#include <QtCore/QStringList>
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
    // Our debug server accepts a debuggee only from the controller's
    // addresses, and stops the controller's script when its host goes away.
    QStringList accepted;
    QString stopHost;
    for (const QHostAddress &address : controllerAddresses()) {
        bool isIPv4 = false;
        const QHostAddress plain(address.toIPv4Address(&isIPv4));
        accepted << (isIPv4 ? plain.toString() : address.toString());
        if (stopHost.isEmpty() || (isIPv4 && stopHost.startsWith(QLatin1Char('['))))
            stopHost = isIPv4 ? plain.toString() : QLatin1Char('[') + address.toString() + QLatin1Char(']');
    }
    if (accepted.isEmpty()) {
        accepted << transport->host();
        stopHost = transport->host();
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARLO_DEBUG_CONTROLLER"), accepted.join(QLatin1Char(' ')));
    environment.insert(QStringLiteral("VARLO_DEBUG_STOP_URL"),
                       QStringLiteral("http://%1:%2/debugger/stop").arg(stopHost).arg(transport->port()));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, LuaInterpreter::arguments(), QIODevice::ReadWrite);
    process.waitForStarted(VarloTimings::ms(VarloTimings::DebugProcess));
}

void QRobotDebuggerPrivate::onServerOutput()
{
    Q_Q(QRobotDebugger);
    // A command waiting for its answer reads the server itself.
    if (inWriteSync || readingServer)
        return;
    readingServer = true;
    // QProcess does not announce output that arrives while its readyRead is
    // being handled, and the start-up waits (the prompt comes while the start
    // is posted): what came meanwhile is handled here too.
    do {
        const QString text = readServer();
        if (text.isEmpty())
            break;
        serverOutput += text;
        if (debugState == QRobotType::DebugStarting) {
            Q_EMIT q->mobDebugInfo(text.trimmed());
            if (!startPosted && serverOutput.contains(QLatin1String("Waitting client..."))) {
                startPosted = true;
                wait(VarloTimings::DebugSettle);
                QString why;
                if (request("start", QJsonObject{ { QStringLiteral("project"), startProject } }, &why) != Accepted) {
                    fail(QStringLiteral("the script of project %1 was not started: %2").arg(startProject, why));
                    endSession(false);
                    break;
                }
                if (debugState != QRobotType::ScriptStopped)
                    Q_EMIT q->stopStateEnabled(true);
            }
            const int prompt = DebuggerTexts::promptIndex(serverOutput);
            if (prompt >= 0 && debugState == QRobotType::DebugStarting) {
                qDebug() << "server disconnect!";
                takeServerEvents(serverOutput.left(prompt));
                serverOutput = serverOutput.mid(prompt + 1);
                notify(QRobotType::DebugConnected);
            }
        } else {
            // Between commands: a pause the script reached while it ran (a
            // breakpoint, a suspension), or the end.
            Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Info)*\n") + text);
            const int lineEnd = serverOutput.lastIndexOf(QLatin1Char('\n'));
            takeServerEvents(serverOutput.left(lineEnd + 1));
            serverOutput = serverOutput.mid(lineEnd + 1);
            if (stepFinished) {
                // A step that had not ended when its command returned ran off
                // the script's end.
                stepFinished = false;
                endSession(true);
            }
        }
    } while (process.state() == QProcess::Running && process.bytesAvailable() > 0);
    readingServer = false;
}

void QRobotDebuggerPrivate::onInterpreterFinished()
{
    Q_Q(QRobotDebugger);
    if (inWriteSync)
        return; // the command reads what the server said last, then comes back here
    const QString rest = serverOutput + readServer(true);
    if (!rest.trimmed().isEmpty())
        Q_EMIT q->mobDebugInfo(rest.trimmed());
    takeServerEvents(rest);
    if (debugState == QRobotType::ScriptStopped)
        return; // the session ended with what the server said last
    if (debugState == QRobotType::DebugStarting && rest.contains(QLatin1String("Cannot listen on port"))) {
        fail(QStringLiteral("the debug server cannot listen: %1")
                 .arg(PortHolder::takenText(QRobotDebugger::DebugServerPort, PortHolder::Tcp)));
    } else {
        Q_EMIT q->mobDebugInfo(QStringLiteral("**MainProcess**\nMoDebug Process Crashed!"));
        fail(QStringLiteral("the debug server has ended unexpectedly (%1); the script is stopped")
                 .arg(rest.trimmed().isEmpty() ? QStringLiteral("no message") : rest.simplified().right(200)));
    }
    // Without a server the controller's debuggee would run on unsupervised.
    endSession(startPosted);
}

void QRobotDebuggerPrivate::detachInterpreter()
{
    QObject::disconnect(&process, nullptr, q_ptr, nullptr);
}

bool QRobotDebuggerPrivate::takeServerEvents(const QString &text)
{
    Q_Q(QRobotDebugger);
    bool found = false;
    QString file;
    int line = 0;
    for (int next = 0; DebuggerTexts::pauseIn(text, next, &file, &line, &next);) {
        found = true;
        if (file == QLatin1String("/varlo/bin/lua/varlo.lua")) {
            // The step ran into the controller's system script: the script
            // itself has ended.
            Q_EMIT q->mobDebugInfo(QStringLiteral("*Server(Finish)*\nstep script finished!\n"));
            stepFinished = true;
            continue;
        }
        if (debugState == QRobotType::ScriptRunning)
            notify(QRobotType::ScriptPaused);
        Q_EMIT q->runningLineChanged(file, line);
    }
    if (text.contains(QLatin1String("Server closed!"))) {
        // The debuggee went away: the script ended, or the link broke (then
        // the script must not run on by itself).
        Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Close)*\n") + text);
        endSession(debugState != QRobotType::ScriptStopped);
        return true;
    }
    return found;
}

void QRobotDebuggerPrivate::endSession(bool stopScript)
{
    qDebug() << "void QRobotDebugger::stopMobDebug()";
    if (stopScript)
        post("stop");
    // An interpreter still running is killed even when a state query has
    // already reported the script stopped.
    if (process.state() != QProcess::NotRunning) {
        detachInterpreter();
        process.kill();
        process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    }
    clearServerOutput();
    startPosted = false;
    stepFinished = false;
    if (listener->debugSession == this)
        listener->debugSession = nullptr;
    if (debugState != QRobotType::ScriptStopped) {
        qDebug() << "kill server, MobDebugStop";
        ++sessionEnds;
        notify(QRobotType::ScriptStopped);
    }
}

QString QRobotDebuggerPrivate::writeSync(const QString &command)
{
    Q_Q(QRobotDebugger);
    answerPaused = false;
    // What the server printed after the previous answer was taken and the
    // watcher has not seen yet (a pause reached after a run had stopped
    // waiting, say) is not part of this one; its events count all the same.
    process.waitForReadyRead(0);
    const QString earlier = serverOutput + readServer();
    serverOutput.clear();
    if (!earlier.isEmpty()) {
        Q_EMIT q->mobDebugInfo(QLatin1String("*Server(Info)*\n") + earlier);
        takeServerEvents(earlier);
        if (debugState == QRobotType::ScriptStopped)
            return QString();
    }

    inWriteSync = true;
    process.write(command.toUtf8());
    stopwatch.restart();
    // A suspension, and a breakpoint passed on while the script runs, are
    // answered by no prompt (until the script pauses): their wait is short.
    const bool isBreakpoint = command.startsWith(QLatin1String("setb ")) || command.startsWith(QLatin1String("delb "))
                           || command.startsWith(QLatin1String("delallb"));
    const bool isSuspension = command.contains(QLatin1String("suspend"))
                           || (debugState == QRobotType::ScriptRunning && isBreakpoint);
    QString received;
    QString answer;
    while (DebuggerTexts::promptIndex(answer) < 0) {
        const QString chunk = readServer();
        received += chunk;
        QString file;
        int line = 0;
        int next = 0;
        if (received.contains(QLatin1String("Server closed!"))
            || DebuggerTexts::pauseIn(received, 0, &file, &line, &next)) {
            answerPaused = !received.contains(QLatin1String("Server closed!"));
            break;
        }
        if (!chunk.isEmpty() && !received.contains(QLatin1String("Paused at"))) {
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
        if (process.state() != QProcess::Running || interrupted())
            break;
        qDebug() << "QString QRobotDebugger::writeSync(const QString&)" << command;
        wait(VarloTimings::DebugReplyPoll);
    }
    inWriteSync = false;
    // A pause or the end that came with the answer; an answer's own text
    // holds neither.
    if (received != answer) {
        const int lineEnd = received.lastIndexOf(QLatin1Char('\n'));
        serverOutput = received.mid(lineEnd + 1);
        takeServerEvents(received.left(lineEnd + 1));
    }
    if (process.state() == QProcess::NotRunning && debugState != QRobotType::ScriptStopped) {
        onInterpreterFinished();
        return QString();
    }
    // Output that came while the answer was read is not announced again.
    if (process.bytesAvailable() > 0)
        QTimer::singleShot(0, q, [this]() { onServerOutput(); });
    return answer.isEmpty() ? QString() : DebuggerTexts::beforePrompt(answer);
}

QString QRobotDebuggerPrivate::readServer(bool last)
{
    return DebuggerTexts::decodeStream(&serverBytes, process.readAll(), last);
}

void QRobotDebuggerPrivate::clearServerOutput()
{
    serverOutput.clear();
    serverBytes.clear();
}

bool QRobotDebuggerPrivate::sessionReady()
{
    Q_Q(QRobotDebugger);
    if (process.state() == QProcess::Running)
        return true;
    if (debugState != QRobotType::ScriptStopped && !isStraight) {
        Q_EMIT q->mobDebugInfo(QStringLiteral("**MainProcess**\nMoDebug Process Crashed!"));
        fail(QStringLiteral("the debug server has ended unexpectedly; the script is stopped"));
        endSession(true);
    } else {
        fail(QStringLiteral("no debug session is running"));
    }
    return false;
}

QString QRobotDebuggerPrivate::sendMobDebug(const QString &command)
{
    return sessionReady() ? writeSync(command) : QString();
}

void QRobotDebuggerPrivate::afterGo()
{
    // No pause within the wait: the script runs (a long line, a loop), and
    // the watcher reports where it stops.
    if (!answerPaused && process.state() == QProcess::Running && debugState != QRobotType::ScriptRunning
        && debugState != QRobotType::ScriptStopped)
        notify(QRobotType::ScriptRunning);
}

bool QRobotDebuggerPrivate::endIfStepFinished()
{
    if (!stepFinished)
        return false;
    stepFinished = false;
    endSession(true);
    return true;
}

void QRobotDebugger::start(QString fileName)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->canListen())
        return;
    if (d->listener->debugSession && d->listener->debugSession != d.data()) {
        d->fail(QStringLiteral("another facade of this program is debugging a script, and the debug server's TCP port"
                               " %1 serves one session at a time: stop that session first").arg(DebugServerPort));
        return;
    }
    QEventLoop loop;
    d->isStraight = false;
    if (d->debugState != QRobotType::DebugStarting)
        d->notify(QRobotType::DebugStarting);
    Q_EMIT stopStateEnabled(false);

    // A session still running ends before the next one starts (the start
    // replaces its script on the controller).
    if (d->process.state() != QProcess::NotRunning) {
        d->detachInterpreter();
        d->process.kill();
        d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    }
    // Nothing of an earlier session counts in this one.
    d->stepFinished = false;
    d->startPosted = false;
    d->clearServerOutput();
    d->startProject = fileName;
    d->listener->debugSession = d.data();
    d->controllerAddresses();

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
    connect(&d->process, &QProcess::readyRead, this, [p]() { p->onServerOutput(); });
    connect(&d->process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [p]() { p->onInterpreterFinished(); });
    QTimer::singleShot(0, this, [p]() { p->launchInterpreter(); });
    loop.exec();
    // The two handlers refer to this call's variables.
    disconnect(onStarted);
    disconnect(onError);

    if (!started) {
        qDebug() << startErrorText(error);
        if (error == QProcess::FailedToStart)
            Q_EMIT mobDebugInfo(QLatin1String(startErrorText(error)));
        d->fail(QStringLiteral("the debug server could not start (%1): %2")
                    .arg(LuaInterpreter::program(), d->process.errorString()));
        d->endSession(false);
    }
}

void QRobotDebugger::runScript()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->beginRun();
    d->sendMobDebug(QStringLiteral("run\r\n"));
    d->afterGo();
    d->wait(VarloTimings::DebugRunSettle);
    if (!d->endIfStepFinished())
        d->endRun();
}

void QRobotDebugger::suspend()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->sendMobDebug(QStringLiteral("suspend\r\n"));
    Q_EMIT debugStateEnabled(false);
    if (d->debugState == QRobotType::ScriptPaused) {
        d->post("suspend"); // the pause has been reported already
    } else if (d->debugState != QRobotType::ScriptStopped) {
        // The controller is told once the state has become "paused".
        QRobotDebuggerPrivate *const p = d.data();
        connect(this, &QRobotDebugger::debugStateChanged, this, [this, p](QRobotType::DebugState state) {
            if (state != QRobotType::ScriptPaused)
                return;
            p->post("suspend");
            disconnect(this, &QRobotDebugger::debugStateChanged, this, nullptr);
        });
        d->notify(QRobotType::ScriptPaused);
    }
    d->wait(VarloTimings::DebugRunSettle);
    d->waitForConfirmation(&QRobotDebugger::getSuspend, VarloTimings::DebugSuspendConfirm, "suspend timeout!!!");
    d->stopwatch.restart();
    Q_EMIT debugStateEnabled(true);
}

void QRobotDebugger::stepIn()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->post("stepIn");
    d->sendMobDebug(QStringLiteral("step\r\n"));
    d->afterGo();
    Q_EMIT stepInChanged(false, false, false);
    d->wait(VarloTimings::DebugSettle);
    d->waitForConfirmation(&QRobotDebugger::getStepIn, VarloTimings::DebugStepConfirm, "stepIn timeout!!!");
    d->stopwatch.restart();
    d->wait(VarloTimings::DebugRunSettle);
    if (d->debugState != QRobotType::ScriptStopped)
        Q_EMIT stepInChanged(true, false, true);
    else
        Q_EMIT stepInChanged(false, true, true);
    if (d->stepFinished) {
        Q_EMIT stepInChanged(false, false, false);
        d->endIfStepFinished();
    }
}

void QRobotDebugger::stepOver()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->post("stepOver");
    d->sendMobDebug(QStringLiteral("over\r\n"));
    d->afterGo();
    d->endIfStepFinished();
}

void QRobotDebugger::setBreakpoint(QString fileName, int lineNumber)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    QString why;
    if (d->request("setb", breakpointBody(fileName, lineNumber), &why) == QRobotDebuggerPrivate::Refused) {
        d->fail(QStringLiteral("no breakpoint at line %1 of %2: %3").arg(lineNumber).arg(fileName, why));
        return;
    }
    d->sendMobDebug(QStringLiteral("setb %1 %2\r\n").arg(fileName).arg(lineNumber));
    d->wait(VarloTimings::DebugSettle);
}

void QRobotDebugger::removeBreakpoint(QString fileName, int lineNumber)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->post("delb", breakpointBody(fileName, lineNumber));
    d->sendMobDebug(QStringLiteral("delb %1 %2\r\n").arg(fileName).arg(lineNumber));
}

void QRobotDebugger::removeAllBreakpoints()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    if (!d->sessionReady())
        return;
    d->post("delallb");
    d->sendMobDebug(QStringLiteral("delallb\r\n"));
}

QString QRobotDebugger::getGlobalVal(QString var)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    return DebuggerTexts::evalValue(d->sendMobDebug(QLatin1String("eval ") + var + QLatin1String("\r\n")));
}

QString QRobotDebugger::changeGlobalVal(QString variable, QString value)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    return d->sendMobDebug(QLatin1String("exec ") + variable + QLatin1String(" = ") + value + QLatin1String("\r\n"));
}

QHash<QString, QString> QRobotDebugger::getStack()
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    return DebuggerTexts::stack(d->sendMobDebug(QStringLiteral("stack\r\n")));
}

void QRobotDebugger::mobDebugManualDebug(QString cmd)
{
    const QRobotDebuggerPrivate::Operation operation(d.data());
    d->sendMobDebug(cmd);
}

void QRobotDebugger::detach()
{
    if (!d->sessionReady())
        return;
    // The server lets the debuggee go and ends without stopping the script,
    // which runs on by itself and is followed as a straight run.
    d->detachInterpreter();
    d->process.write("detach\r\n");
    if (!d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugServerQuit)))
        d->process.kill();
    d->process.waitForFinished(VarloTimings::ms(VarloTimings::DebugProcess));
    d->clearServerOutput();
    if (d->listener->debugSession == d.data())
        d->listener->debugSession = nullptr;
    d->isStraight = true;
    if (d->debugState != QRobotType::ScriptRunning)
        d->notify(QRobotType::ScriptRunning);
}
