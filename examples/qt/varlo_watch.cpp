// varlo-example-watch: a Qt host of libVarlo. It connects, watches the live
// state through the facade's signals, enables the arm, moves it, shows how a
// refused motion and a missing controller are reported, and disconnects.
//
//   varlo-example-watch [ADDRESS]     (default 127.0.0.1: VarloSim on this computer)
//
// It moves the arm: a small joint move and a linear move from where it stands.
// Exit status 0 when every step worked.
#include <Varlo/varloqt.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

#include <cstdio>
#include <functional>

namespace {

// Lets the event loop run (and the library with it) until `done` holds or
// `msecs` pass. A Qt host with its own running event loop needs no such
// helper: it reacts to the signals as they come.
bool waitFor(const std::function<bool()> &done, int msecs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (done())
            loop.quit();
    });
    poll.start(50);
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

const char *motionResult(QRobot::MotionResult result)
{
    switch (result) {
    case QRobot::MotionFinished: return "arrived";
    case QRobot::MotionAlarm: return "ended in an alarm or was refused";
    case QRobot::MotionTimedOut: return "no end within 20 s";
    case QRobot::MotionInterrupted: return "interrupted (the arm was not stopped by it)";
    case QRobot::MotionConnectionLost: return "the connection was lost: the arm may still move";
    }
    return "unknown";
}

bool enable(QRobot &robot)
{
    QRobotProtocol *state = robot.protocol();
    if (!state->isPower()) {
        robot.collaborative()->setPowerControl(true);
        waitFor([state]() { return state->isPower(); }, 5000);
    }
    robot.collaborative()->setControlMode(QRobotType::Enable);
    return waitFor([state]() { return state->controlMode() == QRobotType::Enable; }, 5000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString address = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("127.0.0.1");

    // A controller that does not answer is reported, not waited for forever.
    {
        QRobot nobody;
        std::printf("connect to 127.0.0.254 (nobody there)  -> %s\n",
                    nobody.connectToController(QStringLiteral("127.0.0.254"), 1000) ? "connected?!" : "no controller");
    }

    QRobot robot;
    QObject::connect(&robot, &QRobot::connectionChanged, [](bool on) { std::printf("[connection %s]\n", on ? "up" : "down"); });
    if (!robot.connectToController(address)) {
        std::fprintf(stderr, "no controller answered at %s within 5 s\n", qPrintable(address));
        return 1;
    }
    std::printf("connected to %s: %d axes\n", qPrintable(address), robot.knownAxisCount());

    // The live state arrives about three times a second while the event loop runs.
    int updates = 0;
    QObject::connect(&robot, &QRobot::cartesianCoordinateChanged, [&updates](QRobotType::CartesianCoordinate c) {
        if (updates++ % 5 == 0)
            std::printf("  [pose x %.1f y %.1f z %.1f]\n", double(c.pose[0]), double(c.pose[1]), double(c.pose[2]));
    });
    QObject::connect(&robot, &QRobot::alarmsChanged, [](QRobotType::Alarms) { std::printf("  [alarms changed]\n"); });
    waitFor([] { return false; }, 1000);

    bool ok = enable(robot);
    std::printf("enable                                  -> %s\n", ok ? "enabled" : "failed");

    // A joint move from where the arm stands, then a linear move down.
    QRobotType::JointCoordinate target = robot.protocol()->jointCoordinate();
    target.joint[0] += 10;
    QRobotSettings *settings = robot.settings();
    QRobot::MotionResult result = QRobot::MotionTimedOut;
    if (settings->moveJ(target, true))
        result = robot.waitForMotion(QRobot::MoveJCommand);
    std::printf("joint 1 by +10 degrees                  -> %s\n", motionResult(result));
    ok = ok && result == QRobot::MotionFinished;

    result = settings->moveR(0, 0, -20) ? robot.waitForMotion(QRobot::MoveRCommand) : QRobot::MotionTimedOut;
    std::printf("20 mm down in a straight line           -> %s\n", motionResult(result));
    ok = ok && result == QRobot::MotionFinished;

    // A target far out of reach: the controller refuses it.
    MotionTarget far = {};
    far.x = 5000;
    far.z = 400;
    far.a = 180;
    result = settings->go(far, QStringLiteral("go"), true) ? robot.waitForMotion(QRobot::GoCommand) : QRobot::MotionTimedOut;
    std::printf("a pose 5 m away                         -> %s\n", motionResult(result));
    ok = ok && result == QRobot::MotionAlarm;

    robot.collaborative()->setControlMode(QRobotType::Disable);
    waitFor([&robot]() { return robot.protocol()->controlMode() == QRobotType::Disable; }, 5000);
    robot.disconnectController();
    std::printf("%s\n", ok ? "every step worked" : "a step failed");
    return ok ? 0 : 1;
}
