#include "api/library.h"
#include "Varlo/qrobot.h"
#include "robot/qrobot_p.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>

namespace {

QPointer<QRobot> s_facade;
QString s_simulatorRoot;
// The application object keeps a reference to its argument count.
int s_argc = 0;

} // namespace

namespace VarloLibrary {

void ensureApplication()
{
    if (!QCoreApplication::instance())
        new QCoreApplication(s_argc, nullptr);
}

QRobot *facade()
{
    if (!s_facade) {
        s_facade = new QRobot();
        QRobotPrivate::get(s_facade)->deleteOnQuit = true;
    }
    return s_facade;
}

QRobot *components()
{
    if (!s_facade || !s_facade->isInitialized())
        return nullptr;
    return s_facade;
}

int32_t axisCount() { return s_facade ? s_facade->knownAxisCount() : 0; }
QString simulatorRoot() { return s_simulatorRoot; }
void setSimulatorRoot(const QString &root) { s_simulatorRoot = root; }

} // namespace VarloLibrary
