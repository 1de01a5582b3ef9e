// varlo movj, movl, jointmovj, relmovj, relmovl, jog, speed: moving the arm.
#include "cli.h"

#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QElapsedTimer>

#include <cstdio>

namespace {

// Every motion command's help ends with this.
#define MOTION_WAIT                                                                       \
    "\n\nBlocks until the controller reports the end of the motion (20 s unless\n"        \
    "--timeout gives more), with a progress line on a terminal; --no-wait returns\n"     \
    "once the controller has accepted the command. The arm must be enabled\n"            \
    "(varlo enable). Ctrl-C or SIGTERM stops the arm, which stands enabled."
#define IN_FRAMES                                                                     \
    "\n\nX Y Z in mm, A B C in degrees, in the active tool and user frames unless\n" \
    "--tool / --user name others (0-9); the arm keeps its configuration."

// The library's own wait, unless --timeout asks for a longer one.
const double DefaultTimeoutSeconds = 20;

// Why the arm cannot move, with what to do about it.
QString notReadyText(Invocation &cli)
{
    const QRobotProtocol *p = cli.robot.protocol();
    const QString alarms = alarmsSummary(cli.robot);
    if (emergencyStopPressed(cli.robot))
        return QStringLiteral("the arm is not enabled: %1").arg(emergencyStopHint(cli));
    if (!alarms.isEmpty())
        return QStringLiteral("the arm is not enabled and alarms are active: %1 (varlo clear %2, then varlo enable %2)")
            .arg(alarms, cli.address);
    if (!p->isPower())
        return QStringLiteral("the arm is not enabled and its power is off: run `varlo enable %1` first").arg(cli.address);
    return QStringLiteral("the arm is not enabled: run `varlo enable %1` first").arg(cli.address);
}

// The arm must be enabled; a clear word beats the controller's refusal.
bool readyToMove(Invocation &cli)
{
    if (!cli.connect())
        return false;
    cli.freshState();
    if (cli.robot.protocol()->controlMode() == QRobotType::Enable)
        return true;
    cli.fail(ExitAlarm, notReadyText(cli));
    return false;
}

// Where the arm is, for the reports below.
QString whereText(Invocation &cli)
{
    const QRobotProtocol *p = cli.robot.protocol();
    const int axes = cli.robot.knownAxisCount();
    return QStringLiteral("joints  %1\npose    %2").arg(jointsText(p->jointCoordinate(), axes), poseText(p->cartesianCoordinate()));
}

QJsonObject whereObject(Invocation &cli)
{
    const QRobotProtocol *p = cli.robot.protocol();
    return QJsonObject{ { "joints", jsonNumbers(p->jointCoordinate().joint, jointCount(cli.robot.knownAxisCount())) },
                        { "pose", jsonNumbers(p->cartesianCoordinate().pose, 6) } };
}

// Ctrl-C or SIGTERM came while the arm moved (or jogged): the arm is stopped,
// and the user learns how it was left and how to go on.
int stopAfterInterruption(Invocation &cli, const QString &what)
{
    if (!cli.robot.stopMotion())
        return cli.fail(ExitRequestFailed,
                        QStringLiteral("interrupted, but the controller at %1 did not answer the stop: the arm may still "
                                       "be moving. Press the emergency stop (varlo estop %1).").arg(cli.address));
    const QRobot::MotionResult standing = cli.robot.waitForStandstill();
    if (standing == QRobot::MotionInterrupted)
        return cli.fail(Invocation::interruptedExit(),
                        QStringLiteral("interrupted: %1 was stopped (not waiting to see the arm stand)").arg(what));
    if (standing != QRobot::MotionFinished)
        return cli.fail(ExitTimedOut,
                        QStringLiteral("interrupted: %1 was stopped, but the controller at %2 did not report the arm "
                                       "standing; look before going on (varlo status %2)").arg(what, cli.address));
    const QString enabled = cli.robot.protocol()->controlMode() == QRobotType::Enable ? QStringLiteral("still enabled")
                                                                                          : QStringLiteral("not enabled");
    QJsonObject where = whereObject(cli);
    where.insert(QStringLiteral("result"), QStringLiteral("stopped"));
    cli.result(whereText(cli), where);
    return cli.fail(Invocation::interruptedExit(),
                    QStringLiteral("interrupted: %1 was stopped; the arm stands where shown, %2. Run the command again "
                                   "to go on.").arg(what, enabled));
}

// Sends nothing more: waits for the end of the motion `command` started,
// showing where the arm is, and reports how it ended.
int follow(Invocation &cli, QRobot::MotionCommand command, double timeoutSeconds)
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
    const QRobot::MotionResult result = cli.robot.waitForMotion(command, int(timeoutSeconds * 1000));
    QObject::disconnect(tick);
    if (progress)
        std::fputs("\r\x1b[2K", stderr);
    if (result == QRobot::MotionInterrupted || Invocation::interrupted())
        return stopAfterInterruption(cli, QStringLiteral("the motion"));
    const double seconds = clock.elapsed() / 1000.0;
    switch (result) {
    case QRobot::MotionFinished: {
        // The mirrored position catches up with the next state exchange.
        cli.freshState();
        QJsonObject where = whereObject(cli);
        where.insert(QStringLiteral("result"), QStringLiteral("arrived"));
        where.insert(QStringLiteral("seconds"), jsonNumber(seconds));
        cli.result(QStringLiteral("arrived after %1 s\n%2").arg(seconds, 0, 'f', 1).arg(whereText(cli)), where);
        return ExitOk;
    }
    case QRobot::MotionAlarm: {
        cli.freshState();
        const QString alarms = alarmsSummary(cli.robot);
        if (emergencyStopPressed(cli.robot))
            return cli.fail(ExitAlarm, QStringLiteral("the motion was stopped: %1").arg(emergencyStopHint(cli)));
        return cli.fail(ExitAlarm, alarms.isEmpty()
                                       ? QStringLiteral("the controller refused the motion, or it was stopped short of its "
                                                        "target (out of reach? stopped by another program?)")
                                       : QStringLiteral("the motion ended in an alarm: %1").arg(alarms));
    }
    case QRobot::MotionConnectionLost:
        return cli.fail(ExitRequestFailed,
                        QStringLiteral("the connection to the controller at %1 was lost during the motion: the arm may "
                                       "still be moving, and how the motion ends is unknown").arg(cli.address));
    default:
        break;
    }
    return cli.fail(ExitTimedOut, QStringLiteral("the motion did not end within %1 s (a longer move needs --timeout)")
                                      .arg(timeoutSeconds));
}

int commandFailed(Invocation &cli)
{
    return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not answer the motion command").arg(cli.address));
}

// --timeout SECONDS of the blocking motions.
bool readTimeout(Invocation &cli, double *seconds)
{
    *seconds = DefaultTimeoutSeconds;
    const QString name = QStringLiteral("--timeout");
    return !cli.hasOption(name) || cli.number(cli.option(name), name, seconds, 0.1, 86400);
}

// movj / movl: a Cartesian target in the active frames unless given.
int cartesian(Invocation &cli, const char *mode)
{
    QVector<float> pose;
    double timeout = 0;
    if (!cli.numbers(cli.arguments, QStringLiteral("a coordinate"), &pose) || !readTimeout(cli, &timeout))
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
    return follow(cli, QRobot::GoCommand, timeout);
}

int movj(Invocation &cli) { return cartesian(cli, "go"); }
int movl(Invocation &cli) { return cartesian(cli, "move"); }

int jointmovj(Invocation &cli)
{
    QVector<float> joints;
    double timeout = 0;
    if (!cli.numbers(cli.arguments, QStringLiteral("a joint position"), &joints) || !readTimeout(cli, &timeout))
        return cli.failed();
    if (!cli.connect())
        return cli.failed();
    const int axes = jointCount(cli.robot.knownAxisCount());
    if (joints.size() != axes)
        return cli.fail(ExitBadArgument, QStringLiteral("the arm at %1 has %2 axes: give %2 joint positions, not %3")
                                             .arg(cli.address).arg(axes).arg(joints.size()));
    if (!readyToMove(cli))
        return cli.failed();
    QRobotType::JointCoordinate target = {};
    for (int i = 0; i < joints.size(); ++i)
        target.joint[i] = joints.at(i);
    if (!cli.robot.settings()->moveJ(target, true))
        return commandFailed(cli);
    return follow(cli, QRobot::MoveJCommand, timeout);
}

int relative(Invocation &cli, bool linear)
{
    QVector<float> offset;
    double timeout = 0;
    if (!cli.numbers(cli.arguments, QStringLiteral("an offset"), &offset) || !readTimeout(cli, &timeout))
        return cli.failed();
    if (!readyToMove(cli))
        return cli.failed();
    QRobotSettings *settings = cli.robot.settings();
    const bool sent = linear ? settings->moveR(offset[0], offset[1], offset[2]) : settings->goR(offset[0], offset[1], offset[2]);
    if (!sent)
        return commandFailed(cli);
    return follow(cli, linear ? QRobot::MoveRCommand : QRobot::GoRCommand, timeout);
}

int relmovj(Invocation &cli) { return relative(cli, false); }
int relmovl(Invocation &cli) { return relative(cli, true); }

// The name of a jog axis (1-based) in the coordinate chosen.
QString jogAxisName(bool cartesian, int axis)
{
    static const char *const names[] = { "X", "Y", "Z", "A", "B", "C" };
    return cartesian ? QLatin1String(names[axis - 1]) : QStringLiteral("joint %1").arg(axis);
}

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
    const bool cartesianJog = cli.has(QStringLiteral("--cartesian"));
    const QRobotType::Coordinate coordinate = cartesianJog ? QRobotType::Cartesian : QRobotType::Joint;
    if (!cli.connect())
        return cli.failed();
    if (!cli.robot.isJogAxis(coordinate, axis - 1))
        return cli.fail(ExitBadArgument, QStringLiteral("the arm at %1 has %2 axes and cannot jog %3 (it jogs %4)")
                                             .arg(cli.address).arg(cli.robot.knownAxisCount())
                                             .arg(jogAxisName(cartesianJog, axis),
                                                  QLatin1String(cartesianJog ? "X, Y, Z and C" : "joints 1 to 4")));
    if (!readyToMove(cli))
        return cli.failed();
    const QString what = QStringLiteral("the jog of %1%2").arg(jogAxisName(cartesianJog, axis), direction);
    if (!cli.robot.startJog(coordinate, axis - 1, direction == QLatin1String("+"))) {
        if (Invocation::interrupted())
            return stopAfterInterruption(cli, what);
        // Nothing may be held: release all the same.
        cli.robot.stopJog();
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not take the jog (%2 coordinates)")
                                               .arg(cli.address, QLatin1String(cartesianJog ? "Cartesian" : "joint")));
    }
    cli.waitUntil([]() { return false; }, int(seconds * 1000));
    if (Invocation::interrupted())
        return stopAfterInterruption(cli, what);
    if (!cli.robot.stopJog())
        return cli.fail(ExitRequestFailed,
                        QStringLiteral("the controller at %1 did not answer the release of the jog button: the arm may "
                                       "still be moving. Press the emergency stop (varlo estop %1).").arg(cli.address));
    cli.robot.waitForStandstill();
    if (Invocation::interrupted())
        return stopAfterInterruption(cli, what);
    cli.result(QStringLiteral("jogged %1%2 for %3 s\n%4").arg(jogAxisName(cartesianJog, axis), direction).arg(seconds).arg(whereText(cli)),
               whereObject(cli));
    return ExitOk;
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
    const double ratio = jsonNumber(settings->commonRatio());
    cli.result(QStringLiteral("speed %1 %").arg(ratio), QJsonObject{ { "speed", ratio } });
    return ExitOk;
}

} // namespace

QList<CommandSpec> motionCommands()
{
    return {
        { "movj", "ADDRESS X Y Z A B C [--tool N] [--user N] [--timeout S] [--no-wait]", "moves point to point to a pose",
          "Moves the arm to the pose, the joints interpolated." IN_FRAMES MOTION_WAIT,
          7, 7, { "--tool", "--user", "--timeout" }, { "--no-wait" }, movj },
        { "movl", "ADDRESS X Y Z A B C [--tool N] [--user N] [--timeout S] [--no-wait]", "moves in a straight line to a pose",
          "Moves the tool in a straight line to the pose." IN_FRAMES MOTION_WAIT,
          7, 7, { "--tool", "--user", "--timeout" }, { "--no-wait" }, movl },
        { "jointmovj", "ADDRESS J1 J2 J3 J4 [J5 J6] [--timeout S] [--no-wait]", "moves to joint positions",
          "Moves the joints to the positions: one per axis of the arm (degrees; joint 3\n"
          "of a 4-axis arm in mm)." MOTION_WAIT,
          5, 7, { "--timeout" }, { "--no-wait" }, jointmovj },
        { "relmovj", "ADDRESS DX DY DZ [--timeout S] [--no-wait]", "moves point to point by an offset",
          "Moves the tool by the offset (mm), the joints interpolated." MOTION_WAIT,
          4, 4, { "--timeout" }, { "--no-wait" }, relmovj },
        { "relmovl", "ADDRESS DX DY DZ [--timeout S] [--no-wait]", "moves in a straight line by an offset",
          "Moves the tool in a straight line by the offset (mm)." MOTION_WAIT,
          4, 4, { "--timeout" }, { "--no-wait" }, relmovl },
        { "jog", "ADDRESS AXIS +|- SECONDS [--cartesian]", "jogs one axis for a while",
          "Holds the jog button of AXIS in the direction + or - for SECONDS (at most\n"
          "60), then releases it and waits until the arm stands. Joints by default\n"
          "(1-6; 1-4 on a 4-axis arm); --cartesian jogs along X, Y, Z and about A, B,\n"
          "C (1-6; 1, 2, 3, 6 on a 4-axis arm) of the active user frame. The arm must\n"
          "be enabled. Ctrl-C or SIGTERM releases the button at once.",
          4, 4, {}, { "--cartesian" }, jog },
        { "speed", "ADDRESS [PERCENT]", "shows or sets the speed ratio",
          "Shows the global speed ratio, or sets it to PERCENT (1-100).",
          1, 2, {}, {}, speed },
    };
}
