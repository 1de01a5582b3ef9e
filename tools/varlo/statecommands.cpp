// varlo status, watch, alarms, clear, version: the robot's live state and
// what the controller says about itself.
#include "armswatch.h"
#include "cli.h"

#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonDocument>
#include <QtCore/QTimer>

#include <cstdio>

namespace {

// The live state as one JSON object and as lines of text.
QJsonObject stateObject(QRobot &robot)
{
    QJsonObject state = armStateJson(robot, jointCount(robot.knownAxisCount()));
    state.insert(QStringLiteral("address"), robot.hostIP());
    return state;
}

QStringList stateLines(QRobot &robot)
{
    const QRobotProtocol *p = robot.protocol();
    const QList<ActiveAlarm> alarms = activeAlarms(p->alarms());
    const QRobotType::RDNCoordinate rdn = p->rdnCoordinate();
    const QString configuration = robot.knownAxisCount() == 4
        ? QStringLiteral("%1 hand").arg(p->armOrientation() == 0 ? "left" : "right")
        : QStringLiteral("r %1  d %2  n %3  cfg %4").arg(rdn.rdn[0]).arg(rdn.rdn[1]).arg(rdn.rdn[2]).arg(rdn.rdn[3]);
    return {
        QStringLiteral("controller  %1, %2 axes").arg(robot.hostIP()).arg(robot.knownAxisCount()),
        QStringLiteral("arm         %1, power %2%3").arg(controlModeName(p->controlMode()),
                                                         QLatin1String(p->isPower() ? "on" : "off"),
                                                         QLatin1String(p->isCollision() ? ", collision" : "")),
        QStringLiteral("joints      %1%2").arg(jointsText(p->jointCoordinate(), robot.knownAxisCount()),
                                             QLatin1String(jointCount(robot.knownAxisCount()) == 6 ? " (degrees)" : "")),
        QStringLiteral("pose        %1").arg(poseText(p->cartesianCoordinate())),
        QStringLiteral("config      %1").arg(configuration),
        QStringLiteral("frames      tool %1  user %2").arg(p->toolCoordinate()).arg(p->userCoordinate()),
        QStringLiteral("outputs     %1").arg(channelsText(channelsOn(p->DO()))),
        QStringLiteral("inputs      %1").arg(channelsText(channelsOn(p->DI()))),
        QStringLiteral("alarms      %1").arg(alarms.isEmpty() ? QStringLiteral("none")
                                                             : QStringLiteral("%1 active (varlo alarms)").arg(alarms.size())),
    };
}

int status(Invocation &cli)
{
    if (!cli.connect())
        return cli.failed();
    if (!cli.freshState())
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 sent no state").arg(cli.address));
    QStringList lines = stateLines(cli.robot);
    QJsonObject state = stateObject(cli.robot);
    const float speed = cli.robot.settings()->commonRatio();
    lines.insert(6, QStringLiteral("speed       %1 %").arg(jsonNumber(speed)));
    state.insert(QStringLiteral("speed"), jsonNumber(speed));
    cli.result(lines.join(QLatin1Char('\n')), state);
    return ExitOk;
}

// Redraws the state in place on a terminal; elsewhere (or with --json) one
// block (one JSON line) per state exchange. Once no exchange reply came for
// about a second the state is marked stale ("stale": true), and redrawn so
// every second until the controller answers again.
int watch(Invocation &cli)
{
    int count = 0;
    if (!cli.integerOption(QStringLiteral("--count"), &count, 0, 1, 1000000))
        return cli.failed();
    const QStringList words = QStringList(cli.address) + cli.arguments;
    if (cli.hasOption(QStringLiteral("--config")) || words.size() > 1 || cli.address.contains(QLatin1Char('='))) {
        // Several arms: each word an address or NAME=ADDRESS, or the arms of a file.
        QList<ArmEntry> arms;
        QString error;
        if (cli.hasOption(QStringLiteral("--config")) && !readArmFile(cli.option(QStringLiteral("--config")), &arms, &error))
            return cli.fail(ExitBadArgument, error);
        for (const QString &word : words) {
            if (word.isEmpty())
                continue;
            if (word.contains(QLatin1Char('='))) {
                if (!addArmWord(&arms, word, &error))
                    return cli.fail(ExitBadArgument, error);
            } else if (isControllerAddress(word)) {
                arms.append(ArmEntry{ word, word }); // named by its address
            } else {
                return cli.fail(ExitBadArgument, QStringLiteral("\"%1\" is not a controller address").arg(word));
            }
        }
        return watchArms(cli, arms, count);
    }
    if (cli.address.isEmpty())
        return cli.fail(ExitBadArgument, QStringLiteral("usage: varlo watch %1").arg(QLatin1String(cli.spec.synopsis)));
    if (!cli.connect())
        return cli.failed();
    const bool inPlace = !cli.json && isTerminal(1);
    int shown = 0;
    int drawnLines = 0;
    QElapsedTimer sinceReply;
    sinceReply.start();
    const QMetaObject::Connection lost = QObject::connect(&cli.robot, &QRobot::connectionChanged, &cli.robot, [&](bool on) {
        if (!on)
            std::fprintf(stderr, "varlo: connection to %s lost, waiting for it\n", qPrintable(cli.address));
    });
    const auto draw = [&]() {
        const bool stale = cli.robot.isStateStale();
        if (cli.json) {
            QJsonObject state = stateObject(cli.robot);
            state.insert(QStringLiteral("stale"), stale);
            const QByteArray line = QJsonDocument(state).toJson(QJsonDocument::Compact);
            std::fprintf(stdout, "%s\n", line.constData());
        } else {
            QStringList lines = stateLines(cli.robot);
            lines.prepend(stale ? QStringLiteral("state       STALE: no answer from the controller for %1 s; the values "
                                                 "below are old").arg(sinceReply.elapsed() / 1000)
                                : QStringLiteral("state       live"));
            if (inPlace && drawnLines > 0)
                std::fprintf(stdout, "\x1b[%dA", drawnLines);
            for (const QString &text : lines)
                std::fprintf(stdout, inPlace ? "\x1b[2K%s\n" : "%s\n", qPrintable(text));
            if (!inPlace)
                std::fputc('\n', stdout);
            drawnLines = lines.size();
        }
        std::fflush(stdout);
        ++shown;
    };
    QObject::connect(&cli.robot, &QRobot::exChangeClock, &cli.robot, [&]() {
        sinceReply.start();
        draw();
    });
    QObject::connect(&cli.robot, &QRobot::stateStaleChanged, &cli.robot, [&](bool stale) {
        if (stale)
            draw();
    });
    QTimer staleRedraw;
    QObject::connect(&staleRedraw, &QTimer::timeout, &cli.robot, [&]() {
        if (cli.robot.isStateStale())
            draw();
    });
    staleRedraw.start(1000);
    cli.waitUntil([&]() { return count > 0 && shown >= count; }, -1);
    QObject::disconnect(lost);
    return ExitOk;
}

QJsonObject alarmObject(QRobot &robot, const ActiveAlarm &alarm)
{
    AlarmInfo info;
    robot.settings()->alarmInfo(alarm.number, alarm.group == 0 ? 0 : 1, info, true);
    return QJsonObject{ { "group", alarm.group },     { "number", alarm.number },
                        { "level", info.level },      { "description", info.description },
                        { "cause", info.cause },      { "solution", info.solution } };
}

int alarms(Invocation &cli)
{
    if (!cli.connect())
        return cli.failed();
    if (!cli.freshState())
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 sent no state").arg(cli.address));
    QStringList lines;
    QJsonArray list;
    for (const ActiveAlarm &alarm : activeAlarms(cli.robot.protocol()->alarms())) {
        const QJsonObject entry = alarmObject(cli.robot, alarm);
        list.append(entry);
        lines << alarmText(cli.robot, alarm);
        if (!entry.value("cause").toString().isEmpty())
            lines << QStringLiteral("    cause: ") + entry.value("cause").toString();
        if (!entry.value("solution").toString().isEmpty())
            lines << QStringLiteral("    solution: ") + entry.value("solution").toString();
    }
    cli.result(lines.isEmpty() ? QStringLiteral("no active alarms") : lines.join(QLatin1Char('\n')), list);
    return ExitOk;
}

int clear(Invocation &cli)
{
    if (!cli.connect())
        return cli.failed();
    cli.robot.protocol()->clearAlarms();
    // The request travels with the next exchange; an alarm whose cause is
    // still there comes straight back, so look at two exchanges after it.
    cli.freshState();
    cli.freshState();
    const bool cleared = cli.waitUntil([&]() { return activeAlarms(cli.robot.protocol()->alarms()).isEmpty(); }, 3000);
    if (!cleared) {
        if (Invocation::interrupted())
            return cli.fail(Invocation::interruptedExit(), QStringLiteral("interrupted"));
        if (emergencyStopPressed(cli.robot))
            return cli.fail(ExitAlarm, QStringLiteral("alarms still active (%1): %2")
                                           .arg(alarmsSummary(cli.robot), emergencyStopHint(cli)));
        return cli.fail(ExitAlarm, QStringLiteral("alarms still active: %1 (their cause is still there: see varlo alarms %2)")
                                       .arg(alarmsSummary(cli.robot), cli.address));
    }
    cli.result(QStringLiteral("alarms cleared"), QJsonObject{ { "cleared", true } });
    return ExitOk;
}

int version(Invocation &cli)
{
    if (!cli.connect())
        return cli.failed();
    VersionInfo info;
    const bool answered = cli.robot.settings()->version(info);
    const QList<QPair<const char *, const char *>> modules = {
        { "library", info.library }, { "control", info.control }, { "algs", info.algs },
        { "system", info.system },   { "unio", info.unio },       { "safeio", info.safeio },
        { "servo1", info.servo1 },   { "servo2", info.servo2 },   { "servo3", info.servo3 },
        { "servo4", info.servo4 },   { "servo5", info.servo5 },   { "servo6", info.servo6 },
        { "terminal", info.terminal }, { "feedback", info.feedback },
    };
    QStringList lines;
    QJsonObject object;
    for (const auto &module : modules) {
        const QString text = QString::fromUtf8(module.second, int(qstrnlen(module.second, 25)));
        lines << QStringLiteral("%1 %2").arg(QLatin1String(module.first), -10).arg(text);
        object.insert(QLatin1String(module.first), text);
    }
    if (!answered)
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not report its versions").arg(cli.address));
    cli.result(lines.join(QLatin1Char('\n')), object);
    return ExitOk;
}

} // namespace

QList<CommandSpec> stateCommands()
{
    return {
        { "status", "ADDRESS", "the robot's state at a glance",
          "Connects, waits for one state exchange and shows the control mode, power,\n"
          "joints, pose, arm configuration, active frames, speed, IO and alarms.",
          1, 1, {}, {}, status },
        { "watch", "ADDRESS [--count N]  |  ARM ARM ... [--config FILE] [--pose] [--count N]",
          "the live state of one arm or of many, refreshed in place",
          "Shows the state after every state exchange (about three times a second),\n"
          "redrawn in place on a terminal, until Ctrl-C or N updates (--count).\n"
          "Once the controller has not answered for about a second the state is\n"
          "marked STALE (its values are old) and redrawn every second until it\n"
          "answers again. With --json: one JSON object per line, with \"stale\".\n\n"
          "Several arms (ARM: an address or NAME=ADDRESS; --config FILE: the arms of\n"
          "a file of \"NAME ADDRESS\" lines, as varlo-bridge reads it): one line per\n"
          "arm, its name, online, STALE or offline, control mode, alarms, joints\n"
          "(--pose: the pose) and script, redrawn in place on a terminal (elsewhere\n"
          "the table once a second). An arm that is away waits in its line without\n"
          "holding up the others. With --json: one object per line after each of an\n"
          "arm's exchanges (and once a second while it is stale or offline), with\n"
          "\"arm\", \"address\", \"online\", \"stale\" and \"script\".",
          0, -1, { "--count", "--config" }, { "--pose" }, watch },
        { "alarms", "ADDRESS", "the active alarms with their catalogue texts",
          "Lists the active alarms of the controller and of the drives, with the\n"
          "description, cause and solution of the controller's alarm catalogue.",
          1, 1, {}, {}, alarms },
        { "clear", "ADDRESS", "clears the alarms",
          "Asks the controller to clear its alarms and waits until none is active;\n"
          "an alarm whose cause is still there stays (a failure).",
          1, 1, {}, {}, clear },
        { "version", "ADDRESS", "the library's and the controller's versions",
          "Shows the library's version and the versions of the controller's modules\n"
          "(\"NULL\" for a module the controller does not report).",
          1, 1, {}, {}, version },
    };
}
