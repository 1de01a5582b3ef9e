// varlo script run|debug: runs or debugs a project's script on a controller.
#include "cli.h"

#include <Varlo/qrobotdebugger.h>

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

bool inputIsTerminal()
{
#if defined(Q_OS_UNIX)
    return isTerminal(0);
#else
    return true;
#endif
}

// The event loop until `done` says so or Ctrl-C; `limitMs` < 0: no limit.
void waitUntil(const std::function<bool()> &done, int limitMs = -1)
{
    runUntil(done, limitMs);
}

bool hasEnded(QRobot &robot)
{
    return robot.debugger()->debugState() == QRobotType::ScriptStopped;
}

// ---- varlo script run ----------------------------------------------------------

int runStraight(QRobot &robot, const QString &project)
{
    bool sawLine = false;
    bool finished = false;
    bool failed = false;
    QObject::connect(&robot, &QRobot::scriptLineChanged, &robot, [&sawLine](int line) {
        sawLine = true;
        say(QStringLiteral("line %1").arg(line));
    });
    QObject::connect(&robot, &QRobot::moveLineChanged, &robot,
                     [](int line) { say(QStringLiteral("line %1 moves the arm").arg(line)); });
    QObject::connect(&robot, &QRobot::errorMsg, &robot, [&failed](const QString &text) {
        failed = true;
        say(QStringLiteral("error: ") + text.trimmed());
    });
    QObject::connect(&robot, &QRobot::mobDebugInfo, &robot, [&finished](const QString &text) {
        if (text.contains(QLatin1String("ERROR:")))
            return; // shown as the error
        if (text.contains(QLatin1String("run script finished!")))
            finished = true;
        say(text.trimmed());
    });

    robot.straightRun(project);
    // The end is the debugger's state going back to "stopped"; the
    // controller's own state is the fallback when a datagram got lost.
    int stoppedPolls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &robot, [&]() {
        QRobotType::ScriptState state;
        state.state = QRobotType::ScriptRunning;
        if (robot.state(state) && state.state == QRobotType::ScriptStopped)
            ++stoppedPolls;
    });
    poll.start(1000);
    waitUntil([&]() { return hasEnded(robot) || stoppedPolls >= 2; });
    poll.stop();

    if (Invocation::interrupted()) {
        robot.stop();
        say(QStringLiteral("stopped"));
        return 130;
    }
    if (failed)
        return 1;
    if (!finished && !sawLine) {
        say(QStringLiteral("the script did not run (is there a project %1?)").arg(project));
        return 1;
    }
    return 0;
}

// ---- varlo script debug --------------------------------------------------------

class DebugConsole
{
public:
    explicit DebugConsole(QRobot &robot) : m_robot(robot) {}

    int exec(const QString &project);

private:
    void readInput();
    // False when the session is over.
    bool handle(const QString &line);
    void showWhere();
    void help();

    QRobot &m_robot;
    QByteArray m_input;
    bool m_endOfInput = false;
    bool m_busy = false;
    bool m_quit = false;
    bool m_failed = false;
    int m_line = 0;
};

int DebugConsole::exec(const QString &project)
{
    QObject::connect(&m_robot, &QRobot::scriptLineChanged, &m_robot, [this](int line) { m_line = line; });
    QObject::connect(&m_robot, &QRobot::errorMsg, &m_robot, [this](const QString &text) {
        m_failed = true;
        say(QStringLiteral("error: ") + text.trimmed());
    });
    QObject::connect(&m_robot, &QRobot::mobDebugInfo, &m_robot, [](const QString &text) {
        // The server's own chatter is not for the user; the script's
        // messages and the session's end are.
        if (text.startsWith(QLatin1String("*Server(Info)*")) || text.contains(QLatin1String("ERROR:"))
            || text.contains(QLatin1String("Paused at")) || text.trimmed().isEmpty())
            return;
        say(text.trimmed());
    });

    m_robot.start(project);
    waitUntil([this]() { return m_robot.debugger()->debugState() == QRobotType::DebugConnected || hasEnded(m_robot); },
              DebugConnectLimitMs);
    if (m_robot.debugger()->debugState() != QRobotType::DebugConnected) {
        say(QStringLiteral("the controller's script did not reach the debug server"));
        m_robot.stop();
        return 1;
    }
    showWhere();
    if (inputIsTerminal())
        help();

#if defined(Q_OS_UNIX)
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &m_robot, [this]() { readInput(); });
#endif
    auto prompt = []() {
        if (inputIsTerminal()) {
            std::fputs("(varlo) ", stdout);
            std::fflush(stdout);
        }
    };
    prompt();
    while (!m_quit) {
        // Complete lines first; a command may wait and see more input arrive.
        const int end = m_input.indexOf('\n');
        if (end >= 0 || (m_endOfInput && !m_input.isEmpty())) {
            const QString line = QString::fromLocal8Bit(m_input.left(end < 0 ? m_input.size() : end)).trimmed();
            m_input.remove(0, end < 0 ? m_input.size() : end + 1);
            if (!inputIsTerminal() && !line.isEmpty())
                say(QStringLiteral("(varlo) ") + line);
            m_busy = true;
            m_quit = !handle(line);
            m_busy = false;
            if (!m_quit)
                prompt();
            continue;
        }
        if (m_endOfInput || Invocation::interrupted()) {
            handle(QStringLiteral("q"));
            break;
        }
#if defined(Q_OS_UNIX)
        waitUntil([this]() { return m_input.contains('\n') || m_endOfInput || hasEnded(m_robot); });
#else
        std::string text;
        if (std::getline(std::cin, text))
            m_input += QByteArray::fromStdString(text + '\n');
        else
            m_endOfInput = true;
#endif
        if (hasEnded(m_robot) && !m_input.contains('\n')) {
            say(QStringLiteral("the script has ended"));
            break;
        }
    }
    return m_failed ? 1 : 0;
}

void DebugConsole::readInput()
{
#if defined(Q_OS_UNIX)
    char buffer[4096];
    const ssize_t count = ::read(0, buffer, sizeof buffer);
    if (count <= 0)
        m_endOfInput = true;
    else
        m_input.append(buffer, int(count));
#endif
}

void DebugConsole::showWhere()
{
    if (hasEnded(m_robot)) {
        say(QStringLiteral("the script has ended"));
        return;
    }
    QRobotType::ScriptState state;
    state.state = QRobotType::ScriptPaused;
    m_robot.state(state);
    if (state.state == QRobotType::ScriptRunning)
        say(QStringLiteral("running (line %1)").arg(m_line));
    else
        say(QStringLiteral("paused at line %1").arg(m_line));
}

void DebugConsole::help()
{
    say(QStringLiteral("commands: b LINE (breakpoint), d LINE (remove it), c (continue), s (step), n (step over),\n"
                       "          p NAME (show), set NAME VALUE, bt (variables), q (stop and quit)"));
}

bool DebugConsole::handle(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString command = words.value(0);
    bool isNumber = false;
    const int number = words.value(1).toInt(&isNumber);
    if (command.isEmpty())
        return true;
    if (command == QLatin1String("q")) {
        if (!hasEnded(m_robot))
            m_robot.stop();
        say(QStringLiteral("stopped"));
        return false;
    }
    if (hasEnded(m_robot)) {
        say(QStringLiteral("the script has ended"));
        return false;
    }
    if ((command == QLatin1String("b") || command == QLatin1String("d")) && isNumber) {
        if (command == QLatin1String("b"))
            m_robot.setb(ScriptFile, number);
        else
            m_robot.delb(ScriptFile, number);
        say(QStringLiteral("breakpoint %1 line %2").arg(command == QLatin1String("b") ? "at" : "removed from").arg(number));
    } else if (command == QLatin1String("c") || command == QLatin1String("s") || command == QLatin1String("n")) {
        if (command == QLatin1String("c"))
            m_robot.run();
        else if (command == QLatin1String("s"))
            m_robot.step();
        else
            m_robot.over();
        showWhere();
    } else if (command == QLatin1String("p") && words.size() == 2) {
        say(words.at(1) + QLatin1String(" = ") + m_robot.getGlobalVal(words.at(1)).trimmed());
    } else if (command == QLatin1String("set") && words.size() >= 3) {
        const QString value = line.section(QLatin1Char(' '), 2, -1, QString::SectionSkipEmpty);
        say(m_robot.changeGlobalVal(words.at(1), value).remove(QLatin1String("Comm: ")).trimmed());
    } else if (command == QLatin1String("bt")) {
        const QHash<QString, QString> stack = m_robot.getStack();
        QStringList names = stack.keys();
        std::sort(names.begin(), names.end());
        for (const QString &name : names)
            say(name + QLatin1String(" = ") + stack.value(name).trimmed());
    } else {
        help();
    }
    return !hasEnded(m_robot);
}

int script(Invocation &cli)
{
    // The words are "run|debug ADDRESS PROJECT".
    const QString mode = cli.address;
    if (mode != QLatin1String("run") && mode != QLatin1String("debug"))
        return cli.fail(ExitBadArgument, QStringLiteral("usage: varlo script %1").arg(QLatin1String(cli.spec.synopsis)));
    cli.address = cli.arguments.at(0);
    if (!cli.connect())
        return cli.failed();
    if (!cli.robot.debugger()->isActive())
        return cli.fail(ExitRequestFailed, QStringLiteral("the script debugger cannot run here (its ports are taken)"));
    if (mode == QLatin1String("run"))
        return runStraight(cli.robot, cli.arguments.at(1));
    DebugConsole console(cli.robot);
    return console.exec(cli.arguments.at(1));
}

} // namespace

QList<CommandSpec> scriptCommands()
{
    return {
        { "script", "run|debug ADDRESS PROJECT", "runs or debugs a project's script",
          "run: runs the script of the project PROJECT on the controller and follows\n"
          "     it to its end (lines, prints, errors); exits 1 on a script error.\n"
          "debug: debugs it. Commands: b LINE (breakpoint), d LINE (remove it),\n"
          "     c (continue), s (step), n (step over), p NAME (show), set NAME VALUE,\n"
          "     bt (variables), q (stop and quit); read line by line from standard\n"
          "     input when it is not a terminal. One debugger per computer: it listens\n"
          "     on UDP 5000-5003 and TCP 8172.",
          3, 3, {}, {}, script },
    };
}
