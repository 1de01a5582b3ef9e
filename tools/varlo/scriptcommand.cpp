// varlo script run|debug: runs or debugs a project's script on a controller.
#include "cli.h"

#include <Varlo/qrobotdebugger.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QRegularExpression>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#else
#include <iostream>
#endif

namespace {

// The controller names the user's script so in its notifications.
const QString ScriptFile = QStringLiteral("src0.lua");
// How long the controller's script may take to reach the debug server.
const int DebugConnectLimitMs = 10000;

void say(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// What `varlo script run` follows, one line each: the text, or with --json
// one JSON object {"event": ..., and its fields} per line.
void tell(const Invocation &cli, const QString &text, const char *event, QJsonObject fields = {})
{
    if (!cli.json)
        return say(text);
    fields.insert(QStringLiteral("event"), QLatin1String(event));
    std::fputs(QJsonDocument(fields).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool inputIsTerminal()
{
#if defined(Q_OS_UNIX)
    return isTerminal(0);
#else
    return true;
#endif
}

bool hasEnded(QRobotDebugger *debugger)
{
    return debugger->debugState() == QRobotType::ScriptStopped;
}

bool isPaused(QRobotDebugger *debugger)
{
    return debugger->debugState() == QRobotType::DebugConnected || debugger->debugState() == QRobotType::ScriptPaused;
}

// Standard input, line by line, from the event loop (a script may be driven
// by a pipe: `printf 'b 8\nc\nq\n' | varlo script debug ...`).
class InputLines
{
public:
    InputLines()
    {
#if defined(Q_OS_UNIX)
        m_notifier.reset(new QSocketNotifier(0, QSocketNotifier::Read));
        QObject::connect(m_notifier.data(), &QSocketNotifier::activated, [this]() { read(); });
#endif
    }

    bool hasLine() const { return m_buffer.contains('\n') || (m_ended && !m_buffer.isEmpty()); }
    bool ended() const { return m_ended && m_buffer.isEmpty(); }

    // The next line (hasLine() first), trimmed.
    QString take()
    {
        const int end = m_buffer.indexOf('\n');
        const QString line = QString::fromLocal8Bit(m_buffer.left(end < 0 ? m_buffer.size() : end)).trimmed();
        m_buffer.remove(0, end < 0 ? m_buffer.size() : end + 1);
        return line;
    }

    // Waits (the event loop runs) until a line came, the input ended, `done`
    // holds, or Ctrl-C / SIGTERM.
    void waitFor(const std::function<bool()> &done)
    {
#if defined(Q_OS_UNIX)
        runUntil([&]() { return hasLine() || m_ended || done(); }, -1);
#else
        Q_UNUSED(done);
        std::string text;
        if (std::getline(std::cin, text))
            m_buffer += QByteArray::fromStdString(text + '\n');
        else
            m_ended = true;
#endif
    }

private:
    void read()
    {
#if defined(Q_OS_UNIX)
        char bytes[4096];
        const ssize_t count = ::read(0, bytes, sizeof bytes);
        if (count <= 0) {
            m_ended = true;
            m_notifier->setEnabled(false);
        } else {
            m_buffer.append(bytes, int(count));
        }
#endif
    }

    QByteArray m_buffer;
    bool m_ended = false;
    QScopedPointer<QSocketNotifier> m_notifier;
};

// The controller's "ERROR:src0.lua:12: text" as "error at line 12: text".
QString errorText(const QString &notification)
{
    QString text = notification.trimmed();
    text.remove(QLatin1String("ERROR:"));
    const QRegularExpression where(QStringLiteral("^\\S*src0\\.lua:(\\d+):\\s*"));
    const QRegularExpressionMatch found = where.match(text);
    if (!found.hasMatch())
        return QStringLiteral("error: ") + text;
    return QStringLiteral("error at line %1: %2").arg(found.captured(1), text.mid(found.capturedLength()));
}

// After Ctrl-C or SIGTERM: the script that this command started is stopped
// on the controller (the controller stops a motion of the script with it).
int stopAfterInterruption(Invocation &cli, const QString &project, int line)
{
    QRobotType::ScriptState state;
    for (int attempt = 0; attempt < 2; ++attempt) {
        cli.robot.stop();
        state.state = QRobotType::ScriptRunning;
        if (cli.robot.state(state) && state.state == QRobotType::ScriptStopped) {
            tell(cli, QStringLiteral("interrupted: the script of project %1 is stopped on the controller%2")
                          .arg(project, line > 0 ? QStringLiteral(" (it was at line %1)").arg(line) : QString()),
                 "interrupted", QJsonObject{ { "line", line } });
            return Invocation::interruptedExit();
        }
    }
    return cli.fail(ExitRequestFailed, QStringLiteral("interrupted, but the controller at %1 did not confirm the stop "
                                                      "of the script: it may still run (varlo estop %1 stops the arm)")
                                           .arg(cli.address));
}

// ---- varlo script run ----------------------------------------------------------

int runStraight(Invocation &cli, const QString &project)
{
    QRobotDebugger *debugger = cli.robot.debugger();
    int line = 0;
    bool finished = false;
    bool failed = false;
    QString refusal;
    QObject::connect(debugger, &QRobotDebugger::scriptLineChanged, debugger, [&line, &cli](int number) {
        line = number;
        tell(cli, QStringLiteral("line %1").arg(number), "line", QJsonObject{ { "line", number } });
    });
    QObject::connect(debugger, &QRobotDebugger::moveLineChanged, debugger, [&cli](int number) {
        tell(cli, QStringLiteral("line %1 moves the arm").arg(number), "move", QJsonObject{ { "line", number } });
    });
    QObject::connect(debugger, &QRobotDebugger::scriptPrinted, debugger,
                     [&cli](const QString &text) { tell(cli, text, "print", QJsonObject{ { "text", text } }); });
    QObject::connect(debugger, &QRobotDebugger::errorMsg, debugger, [&failed, &cli](const QString &text) {
        failed = true;
        tell(cli, errorText(text), "error", QJsonObject{ { "text", errorText(text) } });
    });
    QObject::connect(debugger, &QRobotDebugger::scriptFinished, debugger, [&finished]() { finished = true; });
    QObject::connect(debugger, &QRobotDebugger::failed, debugger, [&refusal](const QString &why) { refusal = why; });
    // A script that pauses itself waits for someone to continue it.
    const bool terminal = inputIsTerminal();
    QObject::connect(debugger, &QRobotDebugger::debugStateChanged, debugger,
                     [&line, &cli, terminal](QRobotType::DebugState state) {
                         if (state == QRobotType::ScriptPaused)
                             tell(cli, QStringLiteral("the script paused itself at line %1; %2Ctrl-C stops it")
                                           .arg(line)
                                           .arg(terminal ? QStringLiteral("Enter continues it, ") : QString()),
                                  "paused", QJsonObject{ { "line", line } });
                     });
    debugger->straightRun(project);
    if (hasEnded(debugger) && !refusal.isEmpty())
        return cli.fail(ExitRequestFailed, refusal);
    // The end is the debugger's state going back to "stopped"; the
    // controller's own state is the fallback when a datagram got lost.
    int stoppedPolls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, debugger, [&]() {
        QRobotType::ScriptState state;
        state.state = QRobotType::ScriptRunning;
        if (debugger->state(state) && state.state == QRobotType::ScriptStopped)
            ++stoppedPolls;
    });
    poll.start(1000);
    const auto ended = [&]() { return hasEnded(debugger) || stoppedPolls >= 2; };
    if (terminal) {
        // Enter continues a script that paused itself.
        InputLines input;
        while (!ended() && !Invocation::interrupted() && !input.ended()) {
            input.waitFor(ended);
            if (input.hasLine() && !input.take().isNull() && debugger->debugState() == QRobotType::ScriptPaused) {
                tell(cli, QStringLiteral("continued"), "continued");
                debugger->straightContinue();
            }
        }
    }
    runUntil(ended, -1);
    poll.stop();

    if (Invocation::interrupted())
        return stopAfterInterruption(cli, project, line);
    if (failed)
        return ExitAlarm;
    if (finished || line > 0) {
        tell(cli, QStringLiteral("the script has ended"), "ended");
        return ExitOk;
    }
    return cli.fail(ExitRequestFailed, refusal.isEmpty() ? QStringLiteral("the script of project %1 did not run").arg(project)
                                                         : refusal);
}

// ---- varlo script debug --------------------------------------------------------

class DebugConsole
{
public:
    DebugConsole(Invocation &cli) : m_cli(cli), m_debugger(cli.robot.debugger()) {}

    int exec(const QString &project);

private:
    void handle(const QString &line);
    void go(const QString &command);
    void showWhere();
    void prompt() const;
    void help() const;
    bool refuseWhileRunning();

    Invocation &m_cli;
    QRobotDebugger *m_debugger;
    bool m_busy = false;
    bool m_quit = false; // q or detach
    bool m_failed = false;
    bool m_finished = false;
    int m_pauses = 0;  // pauses the server reported
    int m_shown = 0;   // the times showWhere() said where the script is
    int m_pauseLine = 0;
    int m_lastLine = 0; // the line run last
};

int DebugConsole::exec(const QString &project)
{
    QObject::connect(m_debugger, &QRobotDebugger::scriptLineChanged, m_debugger, [this](int line) { m_lastLine = line; });
    QObject::connect(m_debugger, &QRobotDebugger::runningLineChanged, m_debugger, [this](const QString &file, int line) {
        ++m_pauses;
        m_pauseLine = file.endsWith(ScriptFile) ? line : m_pauseLine;
        // A pause while no command ran: a breakpoint reached, a suspension.
        if (!m_busy && m_debugger->debugState() != QRobotType::DebugStarting) {
            say(QStringLiteral("paused at line %1").arg(m_pauseLine));
            prompt();
        }
    });
    QObject::connect(m_debugger, &QRobotDebugger::scriptPrinted, m_debugger, [](const QString &text) { say(text); });
    QObject::connect(m_debugger, &QRobotDebugger::errorMsg, m_debugger, [this](const QString &text) {
        m_failed = true;
        say(errorText(text));
    });
    QObject::connect(m_debugger, &QRobotDebugger::scriptFinished, m_debugger, [this]() { m_finished = true; });

    m_debugger->start(project);
    if (hasEnded(m_debugger))
        return m_cli.fail(ExitRequestFailed, m_debugger->errorString());
    runUntil([this]() { return m_debugger->debugState() != QRobotType::DebugStarting; }, DebugConnectLimitMs);
    if (Invocation::interrupted())
        return stopAfterInterruption(m_cli, project, m_lastLine);
    if (m_debugger->debugState() != QRobotType::DebugConnected) {
        const QString why = hasEnded(m_debugger) && !m_debugger->errorString().isEmpty()
                              ? m_debugger->errorString()
                              : QStringLiteral("the controller's script did not reach the debug server within 10 s");
        m_debugger->stop();
        return m_cli.fail(ExitRequestFailed, why);
    }
    // What could not be done, once the session runs (a start that failed is
    // the command's failure).
    QObject::connect(m_debugger, &QRobotDebugger::failed, m_debugger, [](const QString &why) { say(why); });
    showWhere();
    if (inputIsTerminal())
        help();

    InputLines input;
    prompt();
    while (true) {
        if (Invocation::interrupted())
            return stopAfterInterruption(m_cli, project, isPaused(m_debugger) ? m_pauseLine : m_lastLine);
        if (m_quit)
            break;
        if (hasEnded(m_debugger)) {
            say(m_failed ? QStringLiteral("the script has ended with an error") : QStringLiteral("the script has ended"));
            break;
        }
        if (input.hasLine()) {
            const QString line = input.take();
            if (!inputIsTerminal() && !line.isEmpty())
                say(QStringLiteral("(varlo) ") + line);
            const int pauses = m_pauses;
            const int shown = m_shown;
            m_busy = true;
            handle(line);
            m_busy = false;
            // A pause that came while the command ran (a breakpoint set
            // while the script runs, reached at once).
            if (m_pauses != pauses && m_shown == shown && isPaused(m_debugger))
                showWhere();
            if (!m_quit && !hasEnded(m_debugger) && !Invocation::interrupted())
                prompt();
        } else if (input.ended()) {
            handle(QStringLiteral("q"));
        } else {
            input.waitFor([this]() { return hasEnded(m_debugger); });
        }
    }
    return m_failed ? ExitAlarm : ExitOk;
}

void DebugConsole::prompt() const
{
    if (inputIsTerminal()) {
        std::fputs("(varlo) ", stdout);
        std::fflush(stdout);
    }
}

void DebugConsole::showWhere()
{
    if (hasEnded(m_debugger))
        return; // said once the command is done
    ++m_shown;
    if (m_debugger->debugState() == QRobotType::ScriptRunning)
        say(QStringLiteral("running (line %1)").arg(m_lastLine));
    else
        say(QStringLiteral("paused at line %1").arg(m_pauseLine));
}

void DebugConsole::help() const
{
    say(QStringLiteral("commands: b LINE (breakpoint), d LINE (remove it), d (remove all), c (continue),\n"
                       "          s (step), n (step over), pause, p NAME (show), set NAME VALUE, bt (variables),\n"
                       "          detach (let the script run on), q (stop and quit)"));
}

bool DebugConsole::refuseWhileRunning()
{
    if (m_debugger->debugState() != QRobotType::ScriptRunning)
        return false;
    say(QStringLiteral("the script is running (line %1): pause it first").arg(m_lastLine));
    return true;
}

void DebugConsole::go(const QString &command)
{
    const int pausesBefore = m_pauses;
    if (command == QLatin1String("c"))
        m_debugger->runScript();
    else if (command == QLatin1String("s"))
        m_debugger->stepIn();
    else if (command == QLatin1String("n"))
        m_debugger->stepOver();
    else
        m_debugger->suspend();
    // A suspension is confirmed before the server reports where it stopped.
    if (isPaused(m_debugger) && m_pauses == pausesBefore)
        runUntil([&]() { return m_pauses != pausesBefore || hasEnded(m_debugger); }, 2000);
    if (!Invocation::interrupted())
        showWhere();
}

void DebugConsole::handle(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString command = words.value(0);
    bool isNumber = false;
    const int number = words.value(1).toInt(&isNumber);
    if (command.isEmpty())
        return;
    if (command == QLatin1String("q")) {
        if (!hasEnded(m_debugger))
            m_debugger->stop();
        say(QStringLiteral("stopped"));
        m_quit = true;
    } else if (command == QLatin1String("b") && isNumber && words.size() == 2) {
        const QString before = m_debugger->errorString();
        m_debugger->setBreakpoint(ScriptFile, number);
        if (m_debugger->errorString() == before)
            say(QStringLiteral("breakpoint at line %1").arg(number));
    } else if (command == QLatin1String("d") && words.size() <= 2 && (isNumber || words.size() == 1)) {
        if (words.size() == 1)
            m_debugger->removeAllBreakpoints();
        else
            m_debugger->removeBreakpoint(ScriptFile, number);
        say(words.size() == 1 ? QStringLiteral("no breakpoints") : QStringLiteral("breakpoint removed from line %1").arg(number));
    } else if (command == QLatin1String("pause")) {
        if (m_debugger->debugState() == QRobotType::ScriptRunning)
            go(command);
        else
            showWhere();
    } else if ((command == QLatin1String("c") || command == QLatin1String("s") || command == QLatin1String("n"))
               && !refuseWhileRunning()) {
        go(command);
    } else if (command == QLatin1String("p") && words.size() == 2 && !refuseWhileRunning()) {
        const QString value = m_debugger->getGlobalVal(words.at(1)).trimmed();
        say(value.startsWith(QLatin1String("error:")) ? QStringLiteral("p %1: %2").arg(words.at(1), value)
                                                      : words.at(1) + QLatin1String(" = ") + value);
    } else if (command == QLatin1String("set") && words.size() >= 3 && !refuseWhileRunning()) {
        const QString value = line.section(QLatin1Char(' '), 2, -1, QString::SectionSkipEmpty);
        QString answer = m_debugger->changeGlobalVal(words.at(1), value);
        if (answer.contains(QLatin1String("exec done")))
            say(words.at(1) + QLatin1String(" = ") + m_debugger->getGlobalVal(words.at(1)).trimmed());
        else
            say(QStringLiteral("set %1: %2").arg(words.at(1), answer.remove(QLatin1String("Comm: exec")).trimmed()));
    } else if (command == QLatin1String("bt") && !refuseWhileRunning()) {
        const QHash<QString, QString> stack = m_debugger->getStack();
        QStringList names = stack.keys();
        std::sort(names.begin(), names.end());
        for (const QString &name : names)
            say(name + QLatin1String(" = ") + stack.value(name).trimmed());
    } else if (command == QLatin1String("detach")) {
        m_debugger->detach();
        say(QStringLiteral("detached: the script runs on by itself on the controller"));
        m_quit = true;
    } else if (!QStringList{ "c", "s", "n", "p", "set", "bt" }.contains(command)) {
        help();
    }
}

int script(Invocation &cli)
{
    // The words are "run|debug ADDRESS PROJECT".
    const QString mode = cli.address;
    if (mode != QLatin1String("run") && mode != QLatin1String("debug"))
        return cli.fail(ExitBadArgument, QStringLiteral("usage: varlo script %1").arg(QLatin1String(cli.spec.synopsis)));
    cli.address = cli.arguments.at(0);
    if (mode == QLatin1String("debug") && cli.json)
        return cli.fail(ExitBadArgument, QStringLiteral("varlo script debug is interactive: --json is for script run"));
    if (!cli.connect())
        return cli.failed();
    if (mode == QLatin1String("run"))
        return runStraight(cli, cli.arguments.at(1));
    DebugConsole console(cli);
    return console.exec(cli.arguments.at(1));
}

} // namespace

QList<CommandSpec> scriptCommands()
{
    return {
        { "script", "run|debug ADDRESS PROJECT", "runs or debugs a project's script",
          "run: runs the script of the project PROJECT on the controller and follows\n"
          "     it to its end: the lines it runs and what it prints, in order, and its\n"
          "     errors (a script error is a failure). A script that pauses itself is\n"
          "     said to have paused and where (Enter continues it on a terminal).\n"
          "     With --json: one JSON object per line, its \"event\" one of \"line\",\n"
          "     \"move\", \"print\", \"error\", \"paused\", \"continued\", \"ended\",\n"
          "     \"interrupted\" (with \"line\" or \"text\"), failures as {\"error\", \"exit\"}.\n"
          "debug: debugs it. Commands: b LINE (breakpoint), d LINE (remove it),\n"
          "     d (remove all), c (continue), s (step), n (step over), pause, p NAME\n"
          "     (show), set NAME VALUE, bt (variables), detach (end debugging, the\n"
          "     script runs on), q (stop and quit); read line by line from standard\n"
          "     input when it is not a terminal. A pause reached while the script\n"
          "     runs is reported where it happens. Interactive: no --json.\n"
          "Ctrl-C or SIGTERM stops the script on the controller (and the arm's motion\n"
          "with it). A start the controller refuses fails with its reason, as does\n"
          "one while the script debugger's ports are taken: one program per\n"
          "computer listens on UDP 5000-5003 and TCP 8172.",
          3, 3, {}, {}, script },
    };
}
