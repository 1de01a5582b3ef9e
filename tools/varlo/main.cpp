// varlo: the command-line host of the library, built on its C++ interface.
//
//   varlo COMMAND ADDRESS [ARGUMENTS] [--json]     see `varlo --help`
#include "cli.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>

#include <cstdio>

namespace {

QList<CommandSpec> allCommands()
{
    return stateCommands() + motionCommands() + ioCommands() + safetyCommands() + configurationCommands()
        + scriptCommands() + recordCommands();
}

const char ExitCodes[] =
    "Exit codes (those of the library's functions), for every command:\n"
    "  0    done\n"
    "  1    no controller answered; a motion ended in an alarm or was refused;\n"
    "       alarms keep the arm from switching or stay active; a script failed\n"
    "  2    the controller did not answer a request or could not do it (or\n"
    "       stopped answering during a move); the arm or the controller did not\n"
    "       reach the state asked for in time\n"
    "  3    a wrong command line: nothing was sent\n"
    "  130  interrupted by Ctrl-C (SIGINT); 143 by SIGTERM: a motion or jog was\n"
    "       stopped, the arm stands (enabled) and the command can be run again;\n"
    "       varlo record completes its file and exits 0\n";

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

const char Usage[] = "usage: varlo COMMAND ADDRESS [ARGUMENTS] [--json]\n";

int overview(const QList<CommandSpec> &commands)
{
    QString text = QLatin1String(Usage) + QStringLiteral("\nDrives a robot controller (or VarloSim at 127.0.0.1) from the terminal.\n\n"
                                                        "Commands:\n");
    for (const CommandSpec &command : commands)
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(command.name), -10).arg(QLatin1String(command.summary));
    text += QStringLiteral("\n`varlo COMMAND --help` describes one command, `varlo --version` shows this\n"
                           "program's and the library's versions. VARLO_VERBOSE=1 shows the library's\n"
                           "diagnostics.\n\n"
                           "Numbers for people: axes and joints 1 to 6 (1 to 4 on a 4-axis arm), IO\n"
                           "channels 1 to 64, frames 0 to 9; joints in degrees (a 4-axis arm's joint 3\n"
                           "in mm), X Y Z in mm, A B C in degrees. The control mode reads \"disabled\",\n"
                           "\"enabled\" or \"drag\" in text and JSON alike.\n\n"
                           "--json prints the result as one JSON document (commands that follow\n"
                           "something, watch and script run, one JSON object per line); failures as\n"
                           "{\"error\": ..., \"exit\": N}. Its numbers have 3 decimals (0.001 degree, mm,\n"
                           "second, %), the text's precision.\n\n");
    print(text + QLatin1String(ExitCodes));
    return ExitOk;
}

// One command's help; the exit codes are the same for all and stand once,
// in the overview (and so in the man page).
int help(const CommandSpec &command)
{
    print(QStringLiteral("usage: varlo %1 %2 [--json]\n\n%3\n\n"
                         "Exit codes: as every command's, listed by `varlo --help`.\n")
              .arg(QLatin1String(command.name), QLatin1String(command.synopsis), QLatin1String(command.details)));
    return ExitOk;
}

// This program's version and the version of the library it runs on (they
// are built together, but a library installed apart may differ).
int versions()
{
    // The library fills in its own version without asking a controller
    // (none is connected: the request fails at once).
    QHttpManager transport(nullptr);
    QRobotSettings settings(&transport, nullptr);
    VersionInfo info;
    settings.version(info);
    std::printf("varlo %s\nlibVarlo %s\n", VARLO_TOOL_VERSION,
                QString::fromUtf8(info.library, int(qstrnlen(info.library, sizeof info.library))).remove(QLatin1Char('_'))
                    .toUtf8().constData());
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The library's diagnostics are for developers.
    if (qEnvironmentVariableIsEmpty("VARLO_VERBOSE"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\nqt.*.debug=false"));
    const QStringList words = app.arguments().mid(1);
    const QList<CommandSpec> commands = allCommands();
    const QString name = words.value(0);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help"))
        return overview(commands);
    if (name == QLatin1String("--version"))
        return versions();
    if (name.isEmpty()) {
        std::fprintf(stderr, "%s(varlo --help lists the commands)\n", Usage);
        return ExitBadArgument;
    }
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&name](const CommandSpec &command) { return name == QLatin1String(command.name); });
    if (found == commands.end()) {
        std::fprintf(stderr, "varlo: no command \"%s\" (varlo --help lists them)\n", qPrintable(name));
        return ExitBadArgument;
    }
    const QStringList rest = words.mid(1);
    if (rest.contains(QStringLiteral("--help")) || rest.contains(QStringLiteral("-h")))
        return help(*found);

    QRobot robot;
    installInterruptHandling(robot);
    Invocation invocation(*found, robot);
    if (!invocation.parse(rest))
        return invocation.failed();
    const int code = found->run(invocation);
    robot.disconnectController();
    return code;
}
