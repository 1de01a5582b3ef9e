#include "Varlo/qrobot.h"
#include "robot/qrobot_p.h"
#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobotdebugger.h"
#include "Varlo/qpanelsimulator.h"
#include "Varlo/qrobotconnection.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"
#include "transport/controllerpaths.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

void QRobotPrivate::createComponents()
{
    Q_Q(QRobot);
    transport = new QHttpManager(q);
    connection = new QRobotConnection(transport, q);
    protocol = new QRobotProtocol(transport, q);
    panel = new QPanelSimulator(transport, q);
    settings = new QRobotSettings(transport, q);
    collaborative = new QRobotCollaborative(transport, q);
    serial.reset(new QSerialManager());
}

void QRobotPrivate::relaySignals()
{
    Q_Q(QRobot);
    QObject::connect(connection, &QRobotConnection::axisCount, q, &QRobot::axisCount);
    QObject::connect(connection, &QRobotConnection::occupiedChanged, q, &QRobot::occupiedChanged);
    QObject::connect(connection, &QRobotConnection::printQRobotConnection, q, &QRobot::printQRobot);

    QObject::connect(protocol, &QRobotProtocol::controlModeChanged, q, &QRobot::controlModeChanged);
    QObject::connect(protocol, &QRobotProtocol::coordinateChanged, q, &QRobot::coordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::jogModeChanged, q, &QRobot::jogModeChanged);
    QObject::connect(protocol, &QRobotProtocol::toolCoordinateChanged, q, &QRobot::toolCoordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::userCoordinateChanged, q, &QRobot::userCoordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::autoManualChanged, q, &QRobot::autoManualChanged);
    QObject::connect(protocol, &QRobotProtocol::jointCoordinateChanged, q, &QRobot::jointCoordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::cartesianCoordinateChanged, q, &QRobot::cartesianCoordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::auxJointChanged, q, &QRobot::auxJointChanged);
    QObject::connect(protocol, &QRobotProtocol::isCollisionChanged, q, &QRobot::isCollisionChanged);
    QObject::connect(protocol, &QRobotProtocol::isSkinCollisionChanged, q, &QRobot::isSkinCollisionChanged);
    QObject::connect(protocol, &QRobotProtocol::isPowerChanged, q, &QRobot::isPowerChanged);
    QObject::connect(protocol, &QRobotProtocol::isDragChanged, q, &QRobot::isDragChanged);
    QObject::connect(protocol, &QRobotProtocol::isPlaybackChanged, q, &QRobot::isPlaybackChanged);
    QObject::connect(protocol, &QRobotProtocol::alarmsChanged, q, &QRobot::alarmsChanged);
    QObject::connect(protocol, &QRobotProtocol::DOChanged, q, &QRobot::DOChanged);
    QObject::connect(protocol, &QRobotProtocol::DIChanged, q, &QRobot::DIChanged);
    QObject::connect(protocol, &QRobotProtocol::extendDOChanged, q, &QRobot::extendDOChanged);
    QObject::connect(protocol, &QRobotProtocol::extendDIChanged, q, &QRobot::extendDIChanged);
    QObject::connect(protocol, &QRobotProtocol::armOrientationChanged, q, &QRobot::armOrientationChanged);
    QObject::connect(protocol, &QRobotProtocol::rdnCoordinateChanged, q, &QRobot::rdnCoordinateChanged);
    QObject::connect(protocol, &QRobotProtocol::exChangeClock, q, &QRobot::exChangeClock);
    QObject::connect(protocol, &QRobotProtocol::printQRobotProtocol, q, &QRobot::printQRobot);
    QObject::connect(protocol, &QRobotProtocol::dragModeChanged, q, &QRobot::dragModeChanged);
    QObject::connect(protocol, &QRobotProtocol::controllerParamsChanged, q, &QRobot::controllerParamsChanged);
    QObject::connect(protocol, &QRobotProtocol::jointCurrentChanged, q, &QRobot::jointCurrentChanged);
    QObject::connect(protocol, &QRobotProtocol::jointVoltageChanged, q, &QRobot::jointVoltageChanged);
    QObject::connect(protocol, &QRobotProtocol::jointTempChanged, q, &QRobot::jointTempChanged);
    QObject::connect(protocol, &QRobotProtocol::endAIChanged, q, &QRobot::endAIChanged);
    QObject::connect(protocol, &QRobotProtocol::gpioAIChanged, q, &QRobot::gpioAIChanged);
    QObject::connect(protocol, &QRobotProtocol::staleChanged, q, &QRobot::stateStaleChanged);

    QObject::connect(q, &QRobot::switchAutoManual, panel, &QPanelSimulator::switchAutoManual);
    QObject::connect(q, &QRobot::switchThreeSwitch, panel, &QPanelSimulator::switchThreeSwitch);
    QObject::connect(q, &QRobot::switchEmergencyStop, panel, &QPanelSimulator::switchEmergencyStop);
    QObject::connect(q, &QRobot::switchJogButtons, panel, &QPanelSimulator::switchJogButtons);
    QObject::connect(panel, &QPanelSimulator::printQPanelSimulator, q, &QRobot::printQRobot);
    QObject::connect(serial.data(), &QSerialManager::printQSerialManager, q, &QRobot::printQRobot);
    QObject::connect(serial.data(), &QSerialManager::sgnSwitchJogButtons, panel, &QPanelSimulator::switchJogButtons);

    QObject::connect(settings, &QRobotSettings::printQRobotSettings, q, &QRobot::printQRobot);
    QObject::connect(collaborative, &QRobotCollaborative::printQRobotCollaborative, q, &QRobot::printQRobot);
    QObject::connect(transport, &QHttpManager::printQHttpManager, q, &QRobot::printQRobot);

    QObject::connect(transport, &QHttpManager::connectStateChanged, q,
                     [q](bool isConnected) { q->onConnectStateChanged(isConnected); }, Qt::DirectConnection);

    if (QCoreApplication *app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, q, [this, q]() {
            qDebug() << "About to quit...";
            if (deleteOnQuit)
                q->deleteLater();
        });
    }
}

void QRobotPrivate::createDebugger()
{
    Q_Q(QRobot);
    debugger = new QRobotDebugger(transport, q);
    QObject::connect(debugger, &QRobotDebugger::runningLineChanged, q, &QRobot::runningLineChanged);
    QObject::connect(debugger, &QRobotDebugger::errorLine, q, &QRobot::errorLine);
    QObject::connect(debugger, &QRobotDebugger::scriptLineChanged, q, &QRobot::scriptLineChanged);
    QObject::connect(debugger, &QRobotDebugger::moveLineChanged, q, &QRobot::moveLineChanged);
    QObject::connect(debugger, &QRobotDebugger::errorMsg, q, &QRobot::errorMsg);
    QObject::connect(debugger, &QRobotDebugger::debugStateChanged, q, &QRobot::debugStateChanged);
    QObject::connect(debugger, &QRobotDebugger::debugStateEnabled, q, &QRobot::debugStateEnabled);
    QObject::connect(debugger, &QRobotDebugger::stopStateEnabled, q, &QRobot::stopStateEnabled);
    QObject::connect(debugger, &QRobotDebugger::stepInChanged, q, &QRobot::stepInChanged);
    QObject::connect(debugger, &QRobotDebugger::mobDebugInfo, q, &QRobot::mobDebugInfo);
    QObject::connect(debugger, &QRobotDebugger::printQRobotDebugger, q, &QRobot::printQRobot);
}

void QRobotPrivate::setFolders(const QString &root)
{
    projectPath = root + QLatin1String("/project");
    settingsPath = root + QLatin1String("/settings");
    processPath = root + QLatin1String("/process");
    propertiesPath = root + QLatin1String("/properties");
    rootPath = root;
}

QRobot::QRobot(QObject *parent)
    : QObject(parent), d(new QRobotPrivate(this))
{
}

QRobot::~QRobot() = default;

void QRobot::initialize()
{
    if (!d->transport) {
        d->createComponents();
        d->relaySignals();
        d->connection->startSupervision();
        return;
    }
    // Reused components start over: a connect after a disconnect (or a second
    // connect) behaves like the first one and reports the connection again.
    d->protocol->stopExchange();
    d->transport->setDispatching(true);
    d->transport->resetReachability();
    d->connection->startSupervision();
}

bool QRobot::isInitialized() const
{
    return d->transport != nullptr;
}

void QRobot::onConnectStateChanged(bool isConnected)
{
    if (isConnected) {
        d->connection->stopSupervision();
        d->protocol->startExchange();
    } else {
        d->protocol->stopExchange();
        d->connection->startSupervision();
    }
    Q_EMIT connectionChanged(isConnected);
}

void QRobot::disconnectController()
{
    if (d->transport) {
        d->transport->setDispatching(false);
        d->transport->clearServerReachable();
    }
    if (d->connection)
        d->connection->stopSupervision();
    if (d->protocol)
        d->protocol->stopExchange();
    Q_EMIT connectionChanged(false);
}

int QRobot::knownAxisCount() const
{
    return d->axisCount;
}

bool QRobot::refreshAxisCount()
{
    if (!d->settings)
        return false;
    const int count = d->settings->readAxisCount();
    if (count != 4 && count != 6)
        return false;
    d->axisCount = count;
    return true;
}

QHttpManager *QRobot::transport() const { return d->transport; }
QRobotConnection *QRobot::connection() const { return d->connection; }
QRobotProtocol *QRobot::protocol() const { return d->protocol; }
QPanelSimulator *QRobot::panel() const { return d->panel; }
QSerialManager *QRobot::serial() const { return d->serial.data(); }
QRobotSettings *QRobot::settings() const { return d->settings; }
QRobotCollaborative *QRobot::collaborative() const { return d->collaborative; }

QRobotDebugger *QRobot::debugger()
{
    Q_D(QRobot);
    if (!d->debugger && d->transport)
        d->createDebugger();
    return d->debugger;
}

namespace {

// A debugger slot of the facade: the debugger's operation, or nothing (a
// default result) before the facade has its components.
template <typename Result, typename Method, typename... Args>
Result onDebugger(QRobotDebugger *debugger, Method method, Args &&...args)
{
    if (!debugger)
        return Result();
    return (debugger->*method)(std::forward<Args>(args)...);
}

} // namespace

bool QRobot::state(QRobotType::ScriptState &scriptState)
{
    return onDebugger<bool>(debugger(), &QRobotDebugger::state, scriptState);
}
void QRobot::straightRun(QString fileName) { onDebugger<void>(debugger(), &QRobotDebugger::straightRun, fileName); }
void QRobot::straightSuspend() { onDebugger<void>(debugger(), &QRobotDebugger::straightSuspend); }
void QRobot::straightContinue() { onDebugger<void>(debugger(), &QRobotDebugger::straightContinue); }
void QRobot::start(QString fileName) { onDebugger<void>(debugger(), &QRobotDebugger::start, fileName); }
void QRobot::stop() { onDebugger<void>(debugger(), &QRobotDebugger::stop); }
void QRobot::run() { onDebugger<void>(debugger(), &QRobotDebugger::runScript); }
void QRobot::pause() { onDebugger<void>(debugger(), &QRobotDebugger::suspend); }
void QRobot::step() { onDebugger<void>(debugger(), &QRobotDebugger::stepIn); }
void QRobot::over() { onDebugger<void>(debugger(), &QRobotDebugger::stepOver); }
void QRobot::setb(QString fileName, int lineNumber)
{
    onDebugger<void>(debugger(), &QRobotDebugger::setBreakpoint, fileName, lineNumber);
}
void QRobot::delb(QString fileName, int lineNumber)
{
    onDebugger<void>(debugger(), &QRobotDebugger::removeBreakpoint, fileName, lineNumber);
}
void QRobot::delallb() { onDebugger<void>(debugger(), &QRobotDebugger::removeAllBreakpoints); }
bool QRobot::getStep() { return onDebugger<bool>(debugger(), &QRobotDebugger::getStepIn); }
QString QRobot::getGlobalVal(QString var) { return onDebugger<QString>(debugger(), &QRobotDebugger::getGlobalVal, var); }
QString QRobot::changeGlobalVal(QString variable, QString value)
{
    return onDebugger<QString>(debugger(), &QRobotDebugger::changeGlobalVal, variable, value);
}
QHash<QString, QString> QRobot::getStack()
{
    return onDebugger<QHash<QString, QString>>(debugger(), &QRobotDebugger::getStack);
}
void QRobot::mobDebugManualDebug(QString cmd)
{
    onDebugger<void>(debugger(), &QRobotDebugger::mobDebugManualDebug, cmd);
}

void QRobot::setHostIP(QString ip)
{
    if (d->transport)
        d->transport->setHost(ip);
    if (d->connection)
        d->connection->setHost(ip);
    d->hostIP = ip;
    d->setFolders(ControllerPaths::shareProjectRoot(ip));
}

void QRobot::setHostPort(quint16 port)
{
    if (d->transport)
        d->transport->setPort(port);
}

void QRobot::setVirtualRoot(const QString &root)
{
    if (d->transport)
        d->transport->setSimulatorRoot(root);
    d->setFolders(ControllerPaths::simulatorProjectRoot(root));
}

bool QRobot::inspectDir()
{
    const QString root = ControllerPaths::shareProjectRoot(d->hostIP);
    if (!QFileInfo(root).isDir())
        return false;
    static const char *const folders[] = {
        "/project",  "/project/test",       "/project/move",     "/settings",          "/settings/playback",
        "/settings/coordinate", "/settings/teach", "/properties", "/properties/alarm",
    };
    QDir dir;
    for (const char *folder : folders) {
        const QString path = root + QLatin1String(folder);
        if (!dir.exists(path))
            dir.mkdir(path);
        qDebug() << path;
    }
    return true;
}

QString QRobot::hostIP() const { return d->hostIP; }
QString QRobot::projectPath() const { return d->projectPath; }
QString QRobot::settingsPath() const { return d->settingsPath; }
QString QRobot::processPath() const { return d->processPath; }
QString QRobot::propertiesPath() const { return d->propertiesPath; }
QString QRobot::rootPath() const { return d->rootPath; }

namespace {
const QLatin1String ProjectMarker("/project/project/");
}

QString QRobot::projectNameOf(const QString &path)
{
    const int start = path.indexOf(ProjectMarker);
    if (start < 0)
        return QString();
    const int from = start + ProjectMarker.size();
    const int end = path.indexOf(QLatin1String("/prj.json"), from);
    if (end < 0)
        return QString();
    return path.mid(from, end - from);
}

QString QRobot::projectRelativePath(const QString &path)
{
    const int start = path.indexOf(ProjectMarker);
    if (start < 0)
        return QString();
    return path.mid(start + ProjectMarker.size());
}

QString QRobot::parameterPath(const QString &path)
{
    const int start = path.indexOf(QLatin1String("/parameter"));
    if (start < 0)
        return QString();
    return path.mid(start);
}
