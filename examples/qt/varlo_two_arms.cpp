// varlo-example-two-arms: one Qt program driving two controllers at once.
// Each QRobot is one controller with its own connection and live state; both
// arms move at the same time, and the program follows both.
//
//   varlo-example-two-arms ADDRESS1 ADDRESS2
//
// Exit status 0 when both arms arrived.
#include <Varlo/varloqt.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

#include <cstdio>
#include <memory>

namespace {

// Lets the event loop run until `done` holds or `msecs` pass.
template <typename Done>
bool waitFor(Done done, int msecs)
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

struct Arm
{
    QString address;
    std::unique_ptr<QRobot> robot{ new QRobot };

    bool enable()
    {
        QRobotProtocol *state = robot->protocol();
        robot->collaborative()->setPowerControl(true);
        robot->collaborative()->setControlMode(QRobotType::Enable);
        return waitFor([state]() { return state->controlMode() == QRobotType::Enable; }, 5000);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: varlo-example-two-arms ADDRESS1 ADDRESS2\n");
        return 2;
    }
    Arm arms[2];
    for (int i = 0; i < 2; ++i) {
        Arm &arm = arms[i];
        arm.address = QString::fromLocal8Bit(argv[i + 1]);
        if (!arm.robot->connectToController(arm.address) || !arm.enable()) {
            std::fprintf(stderr, "%s: no controller, or the arm cannot be enabled\n", qPrintable(arm.address));
            return 1;
        }
        // Each facade reports its own arm.
        QObject::connect(arm.robot.get(), &QRobot::jointCoordinateChanged, [i](QRobotType::JointCoordinate j) {
            std::printf("  arm %d: joint 1 at %.1f\n", i + 1, double(j.joint[0]));
        });
        std::printf("arm %d: %s, %d axes, enabled\n", i + 1, qPrintable(arm.address), arm.robot->knownAxisCount());
    }

    // Both commands first (each returns once its controller accepted it), then
    // the waits: the arms move at the same time.
    for (int i = 0; i < 2; ++i) {
        QRobotType::JointCoordinate target = arms[i].robot->protocol()->jointCoordinate();
        target.joint[0] += i == 0 ? 15 : -15;
        if (!arms[i].robot->settings()->moveJ(target, true)) {
            std::fprintf(stderr, "arm %d did not take the motion\n", i + 1);
            return 2;
        }
    }
    bool arrived = true;
    for (int i = 0; i < 2; ++i) {
        const QRobot::MotionResult result = arms[i].robot->waitForMotion(QRobot::MoveJCommand);
        std::printf("arm %d: %s\n", i + 1, result == QRobot::MotionFinished ? "arrived" : "did not arrive");
        arrived = arrived && result == QRobot::MotionFinished;
    }
    for (Arm &arm : arms)
        arm.robot->disconnectController();
    return arrived ? 0 : 1;
}
