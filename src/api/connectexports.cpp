#include "Varlo.h"
#include "api/library.h"
#include "robot/syncwait.h"
#include "transport/timings.h"
#include "Varlo/qrobot.h"
#include "robot/simulatorprobe.h"

#include <QtCore/QDebug>
#include <QtCore/QPointer>

namespace {


int32_t s_connectResult = VARLO_NO_CONNECTION;
// The wait of the ConnectVarlo call in progress, if any.
SyncWait *s_connectWait = nullptr;
// The facade the connect handler is attached to: attached once per facade.
QPointer<QRobot> s_handlerFacade;

// Runs on every connection change of the facade, also after ConnectVarlo
// returned: a reconnection refreshes the axis count.
void onConnectionChanged(QRobot *robot, bool isConnected)
{
    const int32_t result = isConnected && robot->refreshAxisCount() ? VARLO_OK : VARLO_NO_CONNECTION;
    s_connectResult = result;
    if (s_connectWait)
        s_connectWait->finish(result);
}

void attachConnectHandler(QRobot *robot)
{
    if (s_handlerFacade == robot)
        return;
    s_handlerFacade = robot;
    QObject::connect(robot, &QRobot::connectionChanged, robot,
                     [robot](bool isConnected) { onConnectionChanged(robot, isConnected); });
}

} // namespace

VARLO_FUNCTION(int32_t) ConnectVarlo(const char *ip)
{
    VarloLibrary::ensureApplication();
    QPointer<QRobot> robot = VarloLibrary::facade();
    robot->initialize();

    const QString address = ip ? QString::fromLatin1(ip) : QString();
    robot->setHostIP(address);
    robot->setHostPort(22000);

    if (address == QLatin1String("127.0.0.1")) {
        QString root = VarloLibrary::simulatorRoot();
        if (SimulatorProbe::useRunningSimulator(robot, &root))
            VarloLibrary::setSimulatorRoot(root);
    }

    attachConnectHandler(robot);
    SyncWait wait(VarloTimings::ms(VarloTimings::ConnectCheck), VarloTimings::ms(VarloTimings::ConnectLimit), VARLO_NO_CONNECTION, &s_connectResult);
    // A host callback may call ConnectVarlo again while this one waits; the
    // outer wait gets its handler back when the inner one returns.
    SyncWait *outerWait = s_connectWait;
    s_connectWait = &wait;
    const int32_t result = wait.exec();
    s_connectWait = outerWait;
    return result;
}

VARLO_FUNCTION(int32_t) DisconnectVarlo(void)
{
    VarloLibrary::facade()->disconnectController();
    return VARLO_OK;
}

VARLO_FUNCTION(int32_t) ConnectStateCallback(VarloConnectStateFunction callback, void *userData)
{
    if (!callback)
        return VARLO_INVALID_ARGUMENT;
    QRobot *robot = VarloLibrary::facade();
    QObject::connect(robot, &QRobot::connectionChanged, robot,
                     [callback, userData](bool isConnected) { callback(isConnected, userData); });
    return VARLO_OK;
}
