#ifndef VARLO_CLI_H
#define VARLO_CLI_H

// What every subcommand of `varlo` shares: its description (for --help and
// the argument check), the parsed command line, the connection to the
// controller, waiting, and the output in text or JSON.

#include "armstate.h"

#include <Varlo/qrobot.h>

#include <QtCore/QHash>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QSet>
#include <QtCore/QStringList>
#include <QtCore/QVector>

#include <functional>

// The exit codes, mirroring the library's result codes (Varlo.h).
enum ExitCode {
    ExitOk = 0,
    ExitNoConnection = 1,  // no controller answered at the address
    ExitAlarm = 1,         // a motion ended in an alarm or was refused; alarms stay active; a script failed
    ExitRequestFailed = 2, // the controller did not answer or could not do it
    ExitTimedOut = 2,      // the arm or the controller did not reach the state asked for in time
    ExitBadArgument = 3,   // the command line is wrong: nothing was sent
    ExitInterrupted = 130, // Ctrl-C (SIGINT): 128 + 2, as shells report it
    ExitTerminated = 143   // SIGTERM: 128 + 15
};

// Ctrl-C (SIGINT) and SIGTERM. The handler only notes the signal and writes a
// byte to a pipe; the event loop reads the pipe (every wait of the library
// runs one) and calls QRobot::interruptWaits(), so the wait returns at once
// and the subcommand stops what it started. A signal that comes while no wait
// runs is noted all the same (Invocation::interrupted()), and the facade keeps
// the interruption for its next wait.
void installInterruptHandling(QRobot &robot);

class Invocation;

// Runs the event loop until `done` holds, Ctrl-C or SIGTERM, or `msecs` (-1:
// no limit). True when `done` held.
bool runUntil(const std::function<bool()> &done, int msecs);

struct CommandSpec
{
    const char *name;
    const char *synopsis;    // the words after the name, e.g. "ADDRESS X Y Z A B C"
    const char *summary;     // one line for `varlo --help`
    const char *details;     // the rest of `varlo NAME --help`
    int minArguments;        // positional words, ADDRESS included
    int maxArguments;        // -1: any number
    QStringList valueOptions; // options that take a value ("--tool")
    QStringList flags;        // options without one ("--no-wait")
    std::function<int(Invocation &)> run;
};

// The subcommands of each group (motioncommands.cpp, ...), in help order.
QList<CommandSpec> stateCommands();
QList<CommandSpec> motionCommands();
QList<CommandSpec> ioCommands();
QList<CommandSpec> safetyCommands();
QList<CommandSpec> configurationCommands();
QList<CommandSpec> scriptCommands();
QList<CommandSpec> recordCommands();

// One run of a subcommand.
class Invocation
{
public:
    Invocation(const CommandSpec &spec, QRobot &robot) : spec(spec), robot(robot) {}

    // Splits `words` into positional arguments and options; false (after a
    // message) when they do not fit the command.
    bool parse(const QStringList &words);

    const CommandSpec &spec;
    QRobot &robot;
    QString address;
    QStringList arguments; // the positional words after ADDRESS
    bool json = false;

    bool has(const QString &flag) const { return m_flags.contains(flag); }
    QString option(const QString &name) const { return m_options.value(name); }
    bool hasOption(const QString &name) const { return m_options.contains(name); }

    // ---- reading values: false after a message naming `what` ----
    bool number(const QString &word, const QString &what, double *value, double min, double max);
    bool integer(const QString &word, const QString &what, int *value, int min, int max);
    bool numbers(const QStringList &words, const QString &what, QVector<float> *values);
    bool onOff(const QString &word, const QString &what, bool *value);
    // An option's integer, or `fallback` when it is not given.
    bool integerOption(const QString &name, int *value, int fallback, int min, int max);

    // ---- the controller ----
    // Connects (up to 5 s); false after "no controller answered at ...".
    bool connect();
    // Waits for the next state exchange, so that the state read next is fresh.
    bool freshState(int msecs = 3000);
    // runUntil() below.
    bool waitUntil(const std::function<bool()> &done, int msecs) { return runUntil(done, msecs); }
    // Whether Ctrl-C or SIGTERM came, and the exit code it asks for (130,
    // 143).
    static bool interrupted();
    static int interruptedExit();

    // ---- output ----
    // Text mode prints `text`; JSON mode prints `value` as one document.
    void result(const QString &text, const QJsonValue &value);
    void line(const QString &text); // text mode only
    // Reports a failure (stderr; in JSON mode also {"error", "exit"} on
    // stdout) and returns `code`.
    int fail(int code, const QString &message);
    // The exit code for a wait that ended without its state.
    int waitFailed(const QString &message);
    // The code of the last failure reported.
    int failed() const { return m_exit; }

private:
    int m_exit = ExitOk;
    QHash<QString, QString> m_options;
    QSet<QString> m_flags;
};

// Shared formatting.
QString formatNumbers(const float *values, int count, int decimals = 3);
QString poseText(const QRobotType::CartesianCoordinate &pose);
// The joints an arm of `axes` axes has (4 or 6; 6 while unknown).
int jointCount(int axes);
// Its joint positions: six numbers (degrees), or for a 4-axis arm four, each
// with its unit (joint 3 is the linear axis, in mm).
QString jointsText(const QRobotType::JointCoordinate &joints, int axes = 6);
QString channelsText(const QList<int> &channels);
bool isTerminal(int fd);

// "controller alarm 12: Emergency stop" (the catalogue text when it has one).
QString alarmText(QRobot &robot, const ActiveAlarm &alarm);
QString alarmsSummary(QRobot &robot, int limit = 3);

// Whether the teach panel's emergency stop is pressed, as the controller
// answers when asked ("/panel/emergencyStop"); false when it does not say.
bool emergencyStopPressed(QRobot &robot);
// What to do about a pressed emergency stop, step by step.
QString emergencyStopHint(const Invocation &cli);

#endif // VARLO_CLI_H
