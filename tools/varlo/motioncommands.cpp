// varlo movj, movl, jointmovj, relmovj, relmovl, jog, speed: moving the arm.
#include "cli.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QElapsedTimer>

#include <cstdio>

namespace {

// Every motion command's help ends with this.
#define MOTION_WAIT                                                                   \
    "\n\nBlocks until the controller reports the end of the motion (at most 20 s),\n" \
    "with a progress line on a terminal; --no-wait returns once the controller\n"    \
    "has accepted the command. The arm must be enabled (varlo enable).\n"            \
    "Exits 1 when the motion ended in an alarm or was refused, 2 without an end."
#define IN_FRAMES                                                                     \
    "\n\nX Y Z in mm, A B C in degrees, in the active tool and user frames unless\n" \
    "--tool / --user name others (0-9); the arm keeps its configuration."

// The arm must be enabled; a clear word beats the controller's refusal.
bool readyToMove(Invocation &cli)
{
    if (!cli.connect())
        return false;
    cli.freshState();
    if (cli.robot.protocol()->controlMode() == QRobotType::Enable)
        return true;
    const QString alarms = alarmsSummary(cli.robot);
    cli.fail(ExitAlarm, alarms.isEmpty()
                            ? QStringLiteral("the arm is not enabled: run `varlo enable %1` first").arg(cli.address)
                            : QStringLiteral("the arm is not enabled and alarms are active: %1 (varlo clear %2)")
                                  .arg(alarms, cli.address));
    return false;
}

// Sends nothing more: waits for the end of the motion `command` started,
// showing where the arm is, and reports how it ended.
int follow(Invocation &cli, QRobot::MotionCommand command)
{
    if (cli.has(QStringLiteral("--no-wait"))) {
        cli.result(QStringLiteral("motion accepted"), QJsonObject{ { "result", "accepted" } });
        return ExitOk;
    }
    QElapsedTimer clock;
    clock.start();
    const bool progress = !cli.json && isTerminal(2);
    QMetaObject::Connection tick;
    if (progress) {
        tick = QObject::connect(&cli.robot, &QRobot::exChangeClock, &cli.robot, [&]() {
            std::fprintf(stderr, "\r\x1b[2Kmoving  %s  (%.1f s)", qPrintable(poseText(cli.robot.protocol()->cartesianCoordinate())),
                         clock.elapsed() / 1000.0);
            std::fflush(stderr);
        });
    }
    const QRobot::MotionResult result = cli.robot.waitForMotion(command);
    QObject::disconnect(tick);
    if (progress)
        std::fputs("\r\x1b[2K", stderr);
    const double seconds = clock.elapsed() / 1000.0;
    // The mirrored position catches up with the next state exchange.
    cli.freshState();
    const QRobotProtocol *p = cli.robot.protocol();
    switch (result) {
    case QRobot::MotionFinished:
        cli.result(QStringLiteral("arrived after %1 s\njoints  %2\npose    %3")
                       .arg(seconds, 0, 'f', 1)
                       .arg(jointsText(p->jointCoordinate()), poseText(p->cartesianCoordinate())),
                   QJsonObject{ { "result", "arrived" },
                                { "seconds", seconds },
                                { "joints", jsonNumbers(p->jointCoordinate().joint, 6) },
                                { "pose", jsonNumbers(p->cartesianCoordinate().pose, 6) } });
        return ExitOk;
    case QRobot::MotionAlarm: {
        const QString alarms = alarmsSummary(cli.robot);
        return cli.fail(ExitAlarm, alarms.isEmpty()
                                       ? QStringLiteral("the controller refused the motion (out of reach?)")
                                       : QStringLiteral("the motion ended in an alarm: %1").arg(alarms));
    }
    case QRobot::MotionTimedOut:
        break;
    }
    return cli.waitFailed(QStringLiteral("the motion did not end within 20 s"));
}

int commandFailed(Invocation &cli)
{
    return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not answer the motion command").arg(cli.address));
}

// movj / movl: a Cartesian target in the active frames unless given.
int cartesian(Invocation &cli, const char *mode)
{
    QVector<float> pose;
    if (!cli.numbers(cli.arguments, QStringLiteral("a coordinate"), &pose))
        return cli.failed();
    if (!readyToMove(cli))
        return cli.failed();
    const QRobotProtocol *p = cli.robot.protocol();
    const QRobotType::RDNCoordinate rdn = p->rdnCoordinate();
    VarloRunCmd target = { pose[0], pose[1], pose[2], pose[3], pose[4], pose[5],
                           p->toolCoordinate(), p->userCoordinate(),
                           rdn.rdn[0], rdn.rdn[1], rdn.rdn[2], rdn.rdn[3], p->armOrientation() };
    if (!cli.integerOption(QStringLiteral("--tool"), &target.tool, target.tool, 0, 9)
        || !cli.integerOption(QStringLiteral("--user"), &target.user, target.user, 0, 9))
        return cli.failed();
    if (!cli.robot.settings()->go(target, QLatin1String(mode), true))
        return commandFailed(cli);
    return follow(cli, QRobot::GoCommand);
}

int movj(Invocation &cli) { return cartesian(cli, "go"); }
int movl(Invocation &cli) { return cartesian(cli, "move"); }

int jointmovj(Invocation &cli)
{
    QVector<float> joints;
    if (!cli.numbers(cli.arguments, QStringLiteral("a joint position"), &joints))
        return cli.failed();
    if (!readyToMove(cli))
        return cli.failed();
    QRobotType::JointCoordinate target = {};
    for (int i = 0; i < joints.size() && i < 6; ++i)
        target.joint[i] = joints.at(i);
    if (!cli.robot.settings()->moveJ(target, true))
        return commandFailed(cli);
    return follow(cli, QRobot::MoveJCommand);
}

int relative(Invocation &cli, bool linear)
{
    QVector<float> offset;
    if (!cli.numbers(cli.arguments, QStringLiteral("an offset"), &offset))
        return cli.failed();
    if (!readyToMove(cli))
        return cli.failed();
    QRobotSettings *settings = cli.robot.settings();
    const bool sent = linear ? settings->moveR(offset[0], offset[1], offset[2]) : settings->goR(offset[0], offset[1], offset[2]);
    if (!sent)
        return commandFailed(cli);
    return follow(cli, linear ? QRobot::MoveRCommand : QRobot::GoRCommand);
}

int relmovj(Invocation &cli) { return relative(cli, false); }
int relmovl(Invocation &cli) { return relative(cli, true); }

// Holds one jog button of the teach panel for a while, then releases them all.
int jog(Invocation &cli)
{
    int axis = 0;
    double seconds = 0;
    const QString direction = cli.arguments.at(1);
    if (!cli.integer(cli.arguments.at(0), QStringLiteral("the axis"), &axis, 1, 6)
        || !cli.number(cli.arguments.at(2), QStringLiteral("the time in seconds"), &seconds, 0.05, 60))
        return cli.failed();
    if (direction != QLatin1String("+") && direction != QLatin1String("-"))
        return cli.fail(ExitBadArgument, QStringLiteral("the direction must be + or -, not \"%1\"").arg(direction));
    if (!readyToMove(cli))
        return cli.failed();
    const bool cartesianJog = cli.has(QStringLiteral("--cartesian"));
    cli.robot.protocol()->requestCoordinate(cartesianJog ? QRobotType::Cartesian : QRobotType::Joint);
    bool positive[6] = {};
    bool negative[6] = {};
    (direction == QLatin1String("+") ? positive : negative)[axis - 1] = true;
    cli.robot.panel()->switchJogButtons(positive, negative);
    cli.waitUntil([]() { return false; }, int(seconds * 1000));
    bool released[6] = {};
    cli.robot.panel()->switchJogButtons(released, released);
    cli.freshState();
    cli.freshState();
    const QRobotProtocol *p = cli.robot.protocol();
    cli.result(QStringLiteral("jogged %1 %2%3 for %4 s\njoints  %5\npose    %6")
                   .arg(QLatin1String(cartesianJog ? "Cartesian axis" : "joint"))
                   .arg(axis)
                   .arg(direction)
                   .arg(seconds)
                   .arg(jointsText(p->jointCoordinate()), poseText(p->cartesianCoordinate())),
               QJsonObject{ { "joints", jsonNumbers(p->jointCoordinate().joint, 6) },
                            { "pose", jsonNumbers(p->cartesianCoordinate().pose, 6) } });
    return Invocation::interrupted() ? ExitInterrupted : ExitOk;
}

int speed(Invocation &cli)
{
    double percent = 0;
    if (!cli.arguments.isEmpty() && !cli.number(cli.arguments.at(0), QStringLiteral("the speed"), &percent, 1, 100))
        return cli.failed();
    if (!cli.connect())
        return cli.failed();
    QRobotSettings *settings = cli.robot.settings();
    if (!cli.arguments.isEmpty() && (!settings->setCommonRatio(float(percent)) || settings->commonRatio() != float(percent)))
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not take the speed").arg(cli.address));
    const double ratio = double(settings->commonRatio());
    cli.result(QStringLiteral("speed %1 %").arg(ratio), QJsonObject{ { "speed", ratio } });
    return ExitOk;
}

} // namespace

QList<CommandSpec> motionCommands()
{
    return {
        { "movj", "ADDRESS X Y Z A B C [--tool N] [--user N] [--no-wait]", "moves point to point to a pose",
          "Moves the arm to the pose, the joints interpolated." IN_FRAMES MOTION_WAIT,
          7, 7, { "--tool", "--user" }, { "--no-wait" }, movj },
        { "movl", "ADDRESS X Y Z A B C [--tool N] [--user N] [--no-wait]", "moves in a straight line to a pose",
          "Moves the tool in a straight line to the pose." IN_FRAMES MOTION_WAIT,
          7, 7, { "--tool", "--user" }, { "--no-wait" }, movl },
        { "jointmovj", "ADDRESS J1 J2 J3 J4 J5 J6 [--no-wait]", "moves to joint positions",
          "Moves the joints to the positions (degrees; mm for a linear axis)." MOTION_WAIT,
          7, 7, {}, { "--no-wait" }, jointmovj },
        { "relmovj", "ADDRESS DX DY DZ [--no-wait]", "moves point to point by an offset",
          "Moves the tool by the offset (mm), the joints interpolated." MOTION_WAIT,
          4, 4, {}, { "--no-wait" }, relmovj },
        { "relmovl", "ADDRESS DX DY DZ [--no-wait]", "moves in a straight line by an offset",
          "Moves the tool in a straight line by the offset (mm)." MOTION_WAIT,
          4, 4, {}, { "--no-wait" }, relmovl },
        { "jog", "ADDRESS AXIS +|- SECONDS [--cartesian]", "jogs one axis for a while",
          "Holds the jog button of AXIS (1-6) in the direction + or - for SECONDS\n"
          "(at most 60), then releases it. Joints by default; --cartesian jogs\n"
          "along X, Y, Z, A, B, C (1-6) instead. The arm must be enabled.",
          4, 4, {}, { "--cartesian" }, jog },
        { "speed", "ADDRESS [PERCENT]", "shows or sets the speed ratio",
          "Shows the global speed ratio, or sets it to PERCENT (1-100).",
          1, 2, {}, {}, speed },
    };
}
