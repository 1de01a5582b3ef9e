// varlo record: the live state into a CSV file, one row per state exchange,
// for plotting or for reading back (varlo.read_recording() in Python). It
// only reads: nothing it does moves the arm or changes a setting.
#include "cli.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotprotocol.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QTimer>

#include <memory>

namespace {

// One header line, each quantity with its unit: "t_s,j1_deg,...".
QByteArray header(int joints)
{
    QStringList columns{ QStringLiteral("t_s") };
    for (int i = 0; i < joints; ++i)
        columns << QStringLiteral("j%1_%2").arg(i + 1).arg(QLatin1String(joints == 4 && i == 2 ? "mm" : "deg"));
    return columns.join(QLatin1Char(',')).toUtf8()
        + ",x_mm,y_mm,z_mm,a_deg,b_deg,c_deg,do_on,di_on,mode,auto,power,collision,tool,user,alarms,script\n";
}

// Numbers, one cell each.
QString numberCells(const float *values, int count)
{
    return formatNumbers(values, count, 3).replace(QLatin1Char(' '), QLatin1Char(','));
}

// Lists within a cell are separated by blanks, so that no cell needs quotes.
QString channelsCell(const QRobotType::IO &io)
{
    QStringList on;
    for (int channel : channelsOn(io))
        on << QString::number(channel);
    return on.join(QLatin1Char(' '));
}

// "0:12 3:4": group (0 the controller, 1 to 6 a drive) and number of each.
QString alarmsCell(const QRobotType::Alarms &alarms)
{
    QStringList texts;
    for (const ActiveAlarm &alarm : activeAlarms(alarms))
        texts << QStringLiteral("%1:%2").arg(alarm.group).arg(alarm.number);
    return texts.join(QLatin1Char(' '));
}

QByteArray row(double seconds, const QRobotProtocol *p, int joints, const QString &script)
{
    const QStringList cells{
        QString::number(seconds, 'f', 3),
        numberCells(p->jointCoordinate().joint, joints),
        numberCells(p->cartesianCoordinate().pose, 6),
        channelsCell(p->DO()),
        channelsCell(p->DI()),
        controlModeName(p->controlMode()),
        QLatin1String(p->autoManual() == QRobotType::Auto ? "auto" : "manual"),
        QString::number(int(p->isPower())),
        QString::number(int(p->isCollision())),
        QString::number(p->toolCoordinate()),
        QString::number(p->userCoordinate()),
        alarmsCell(p->alarms()),
        script,
    };
    return cells.join(QLatin1Char(',')).toUtf8() + '\n';
}

// The controller's script state ("/debugger/state"), read as the script
// debugger reads it: running, paused or stopped. Asked here, not through the
// debugger: that would take the computer's script notification ports, and no
// program running a script beside the recording could then follow it.
QString scriptWord(const QJsonObject &reply)
{
    const QString value = reply.value(QLatin1String("value")).toString();
    QRobotType::DebugState state = QRobotType::ScriptStopped;
    if (value == QLatin1String("pause") || value == QLatin1String("suspend"))
        state = QRobotType::ScriptPaused;
    else if (value == QLatin1String("run") || value == QLatin1String("running"))
        state = QRobotType::ScriptRunning;
    return scriptStateName(state);
}

int record(Invocation &cli)
{
    const QString path = cli.arguments.value(0);
    double seconds = -1;
    if (cli.hasOption(QStringLiteral("--seconds"))
        && !cli.number(cli.option(QStringLiteral("--seconds")), QStringLiteral("--seconds"), &seconds, 0.001, 1e6))
        return cli.failed();
    if (!cli.connect())
        return cli.failed();
    // A file that exists holds someone's data: replaced only when asked to.
    QFile file(path);
    const bool overwrite = cli.has(QStringLiteral("--overwrite"));
    if (!file.open(QIODevice::WriteOnly | (overwrite ? QIODevice::Truncate : QIODevice::NewOnly)))
        return cli.fail(ExitBadArgument, !overwrite && file.exists()
                                             ? QStringLiteral("%1 exists: give another file, or --overwrite").arg(path)
                                             : QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
    const int joints = jointCount(cli.robot.knownAxisCount());
    const QRobotProtocol *p = cli.robot.protocol();
    QString writeError;
    const auto put = [&](const QByteArray &text) {
        // One write per line, pushed to the system at once: what is in the
        // file when the recording ends, however it ends, is whole lines.
        if (writeError.isEmpty() && (file.write(text) != text.size() || !file.flush()))
            writeError = file.errorString();
    };
    put(header(joints));

    // The script's state, asked once a second without holding the rows up; the
    // answer is shared with the request, which may end after this function.
    auto script = std::make_shared<QString>();
    auto asking = std::make_shared<bool>(false);
    QTimer scriptPoll;
    QHttpManager *transport = cli.robot.transport();
    const auto askScript = [transport, script, asking]() {
        if (*asking)
            return;
        *asking = true;
        transport->getJsonLater(QStringLiteral("/debugger/state"), [script, asking](bool ok, const QJsonObject &reply) {
            *asking = false;
            *script = ok ? scriptWord(reply) : QString();
        });
    };
    QObject::connect(&scriptPoll, &QTimer::timeout, &cli.robot, askScript);
    scriptPoll.start(1000);
    askScript();

    QElapsedTimer clock;
    clock.start();
    int rows = 0;
    bool lost = false;
    const QMetaObject::Connection exchanged = QObject::connect(&cli.robot, &QRobot::exChangeClock, &cli.robot, [&]() {
        put(row(clock.nsecsElapsed() / 1e9, p, joints, *script));
        ++rows;
    });
    const QMetaObject::Connection connection = QObject::connect(&cli.robot, &QRobot::connectionChanged, &cli.robot,
                                                                [&lost](bool on) { lost = lost || !on; });
    cli.waitUntil([&]() { return lost || !writeError.isEmpty(); }, seconds < 0 ? -1 : int(seconds * 1000));
    QObject::disconnect(exchanged);
    QObject::disconnect(connection);
    scriptPoll.stop();
    file.close();

    const double length = clock.nsecsElapsed() / 1e9;
    if (!writeError.isEmpty())
        return cli.fail(ExitRequestFailed, QStringLiteral("cannot write %1: %2 (the %3 rows before are kept)")
                                               .arg(path, writeError).arg(rows));
    if (lost)
        return cli.fail(ExitRequestFailed, QStringLiteral("the connection to the controller at %1 was lost after %2 s; "
                                                          "%3 keeps the %4 rows recorded")
                                               .arg(cli.address).arg(length, 0, 'f', 1).arg(path).arg(rows));
    const QString end = !Invocation::interrupted() ? QStringLiteral("time up")
                        : Invocation::interruptedExit() == ExitTerminated ? QStringLiteral("SIGTERM")
                                                                          : QStringLiteral("SIGINT");
    cli.result(QStringLiteral("recorded %1 rows in %2 s to %3 (ended by %4)").arg(rows).arg(length, 0, 'f', 1).arg(path, end),
               QJsonObject{ { "file", path }, { "rows", rows }, { "seconds", jsonNumber(length) }, { "end", end } });
    return ExitOk;
}

} // namespace

QList<CommandSpec> recordCommands()
{
    return {
        { "record", "ADDRESS FILE [--seconds N] [--overwrite]", "the live state into a CSV file",
          "Writes the live state to FILE, one CSV row per state exchange (about three a\n"
          "second), until Ctrl-C, SIGTERM or N seconds (--seconds). It only reads: the\n"
          "arm does not move. A FILE that exists is kept unless --overwrite is given.\n"
          "The one header line names each column with its unit:\n"
          "  t_s                 seconds since the recording began\n"
          "  j1_deg .. j6_deg    the joints (a 4-axis arm: j1_deg j2_deg j3_mm j4_deg)\n"
          "  x_mm .. c_deg       the pose: x y z in mm, a b c in degrees\n"
          "  do_on, di_on        the digital outputs and inputs that are on (1 to 64,\n"
          "                      separated by blanks)\n"
          "  mode                enabled, disabled or drag; auto: auto or manual\n"
          "  power, collision    1 or 0; tool, user: the active frames\n"
          "  alarms              the active alarms as GROUP:NUMBER (0 the controller,\n"
          "                      1 to 6 a joint's drive), separated by blanks\n"
          "  script              the controller's script: running, paused or stopped\n"
          "                      (asked once a second)\n"
          "Every row is written whole and flushed: the file is complete however the\n"
          "recording ends. Ctrl-C, SIGTERM and --seconds end it as done; a lost\n"
          "controller ends it as a failure (the rows recorded until then are kept).\n"
          "Python reads the file with varlo.read_recording(FILE).",
          2, 2, { "--seconds" }, { "--overwrite" }, record },
    };
}
