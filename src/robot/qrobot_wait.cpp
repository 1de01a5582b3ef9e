// The facade's waits for hosts that call the library from plain functions:
// the connect wait and the motion wait of the C functions, on this facade.
#include "Varlo/qrobot.h"
#include "robot/motionwait.h"
#include "robot/qrobot_p.h"
#include "robot/simulatorprobe.h"
#include "robot/syncwait.h"
#include "transport/timings.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qrobotsettings.h"

bool QRobot::connectToController(const QString &address, int msecs)
{
    initialize();
    setHostIP(address);
    setHostPort(QHttpManager::ApiPort);
    if (address == QLatin1String("127.0.0.1"))
        SimulatorProbe::useRunningSimulator(this, &d->simulatorRoot);

    int32_t result = VARLO_NO_CONNECTION;
    const qint64 limit = msecs < 0 ? VarloTimings::ms(VarloTimings::ConnectLimit) : msecs;
    SyncWait wait(VarloTimings::ms(VarloTimings::ConnectCheck), limit, VARLO_NO_CONNECTION, &result);
    wait.setInterruptible(&d->waits, VARLO_NO_CONNECTION);
    const QMetaObject::Connection handler = connect(this, &QRobot::connectionChanged, this, [&](bool isConnected) {
        wait.finish(isConnected && refreshAxisCount() ? VARLO_OK : VARLO_NO_CONNECTION);
    });
    wait.exec();
    disconnect(handler);
    return result == VARLO_OK;
}

QRobot::MotionResult QRobot::waitForMotion(MotionCommand command, int msecs)
{
    if (!d->settings)
        return MotionTimedOut;
    MotionWait::StatusMember status = &QRobotSettings::goState;
    switch (command) {
    case GoCommand: status = &QRobotSettings::goState; break;
    case MoveJCommand: status = &QRobotSettings::moveJState; break;
    case GoRCommand: status = &QRobotSettings::goRState; break;
    case MoveRCommand: status = &QRobotSettings::moveRState; break;
    }
    return MotionWait::run(this, status, msecs);
}
