// varlo watch over several arms: one line per arm, redrawn in place on a
// terminal, or one JSON object per arm and state exchange.
#include "armswatch.h"
#include "armfollower.h"

#include <Varlo/qrobotprotocol.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QTimer>

#include <cstdio>
#include <memory>
#include <vector>

#if defined(Q_OS_UNIX)
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// How often the table is redrawn: on a terminal about as often as the
// exchanges come; into a file or pipe once a second.
const int RedrawTerminalMs = 300;
const int RedrawPlainMs = 1000;

QString availability(ArmFollower &arm)
{
    if (!arm.isOnline())
        return QStringLiteral("offline");
    return arm.hasState() && arm.robot().isStateStale() ? QStringLiteral("STALE") : QStringLiteral("online");
}

QString scriptText(const QRobotType::ScriptState &script)
{
    const QString state = scriptStateName(script.state);
    return script.projectName.isEmpty() || script.state == QRobotType::ScriptStopped
        ? QStringLiteral("script %1").arg(state)
        : QStringLiteral("script %1 (%2)").arg(state, script.projectName);
}

// name, online/STALE/offline, mode, alarms, joints or pose, script.
QString armLine(ArmFollower &arm, int nameWidth, bool pose)
{
    const QString head = QStringLiteral("%1  %2").arg(arm.name(), -nameWidth).arg(availability(arm), -7);
    QRobot &robot = arm.robot();
    const QRobotProtocol *p = robot.protocol();
    if (!arm.hasState()) {
        return arm.isOnline() ? QStringLiteral("%1  waiting for its first state").arg(head)
                              : QStringLiteral("%1  no answer from %2").arg(head, arm.address());
    }
    const int alarms = activeAlarms(p->alarms()).size();
    const QString position = pose ? QStringLiteral("pose %1").arg(formatNumbers(p->cartesianCoordinate().pose, 6, 2))
                                  : QStringLiteral("joints %1").arg(formatNumbers(p->jointCoordinate().joint,
                                                                                   jointCount(robot.knownAxisCount()), 2));
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(head)
        .arg(controlModeName(p->controlMode()), -8)
        .arg(alarms == 0 ? QStringLiteral("no alarms") : QStringLiteral("%1 alarm%2").arg(alarms).arg(alarms > 1 ? "s" : ""), -9)
        .arg(position, scriptText(arm.script()));
}

// The rows of the terminal (0 when it does not say).
int terminalRows()
{
#if defined(Q_OS_UNIX)
    struct winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0)
        return size.ws_row;
#endif
    return 0;
}

} // namespace

int watchArms(Invocation &cli, const QList<ArmEntry> &entries, int count)
{
    const bool pose = cli.has(QStringLiteral("--pose"));
    const bool inPlace = !cli.json && isTerminal(1);
    std::vector<std::unique_ptr<ArmFollower>> arms;
    int nameWidth = 0;
    for (const ArmEntry &entry : entries) {
        arms.emplace_back(new ArmFollower(entry.name, entry.address));
        nameWidth = qMax(nameWidth, entry.name.size());
    }
    int shown = 0;
    const auto enough = [&]() { return count > 0 && shown >= count; };

    // --json: the arm's object after each of its exchanges and when it is
    // lost; an arm that is stale or offline once a second.
    const auto printJson = [&](ArmFollower &arm) {
        if (enough())
            return;
        QJsonObject state = arm.stateJson(jointCount(arm.robot().knownAxisCount()));
        state.insert(QStringLiteral("address"), arm.address());
        std::fprintf(stdout, "%s\n", QJsonDocument(state).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
        ++shown;
    };
    // Otherwise the table, over the last one on a terminal.
    int drawnLines = 0;
    const auto drawTable = [&]() {
        if (enough())
            return;
        QStringList lines;
        for (const auto &arm : arms)
            lines << armLine(*arm, nameWidth, pose);
        const int rows = inPlace ? terminalRows() : 0;
        if (rows > 1 && lines.size() > rows - 1) {
            const int hidden = lines.size() - (rows - 2);
            lines = lines.mid(0, rows - 2);
            lines << QStringLiteral("... %1 more arms (a taller terminal shows them)").arg(hidden);
        }
        if (inPlace && drawnLines > 0)
            std::fprintf(stdout, "\x1b[%dA", drawnLines);
        for (const QString &text : lines)
            std::fprintf(stdout, inPlace ? "\x1b[2K%s\n" : "%s\n", qPrintable(text));
        if (inPlace && lines.size() < drawnLines)
            std::fputs("\x1b[J", stdout); // the terminal shrank: clear what is left below
        if (!inPlace)
            std::fputc('\n', stdout);
        std::fflush(stdout);
        drawnLines = lines.size();
        ++shown;
    };

    QTimer tick;
    if (cli.json) {
        for (const auto &arm : arms) {
            ArmFollower *follower = arm.get();
            QObject::connect(follower, &ArmFollower::exchanged, follower, [&printJson, follower]() { printJson(*follower); });
            QObject::connect(follower, &ArmFollower::onlineChanged, follower, [&printJson, follower](bool online) {
                if (!online)
                    printJson(*follower);
            });
        }
        QObject::connect(&tick, &QTimer::timeout, [&]() {
            for (const auto &arm : arms) {
                if (!arm->isOnline() || (arm->hasState() && arm->robot().isStateStale()))
                    printJson(*arm);
            }
        });
        tick.start(1000);
    } else {
        QObject::connect(&tick, &QTimer::timeout, drawTable);
        tick.start(inPlace ? RedrawTerminalMs : RedrawPlainMs);
    }
    for (const auto &arm : arms)
        arm->start();
    if (!cli.json)
        drawTable();
    cli.waitUntil(enough, -1);
    tick.stop();
    for (const auto &arm : arms)
        arm->robot().disconnectController();
    return ExitOk;
}
