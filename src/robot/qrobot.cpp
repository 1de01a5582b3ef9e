#include "robot/qrobot.h"
#include "robot/qrobot_p.h"
#include "collaborative/qrobotcollaborative.h"
#include "robot/qpanelsimulator.h"
#include "robot/qrobotconnection.h"
#include "robot/qrobotprotocol.h"
#include "settings/qrobotsettings.h"
#include "transport/controllerpaths.h"
#include "transport/qhttpmanager.h"

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
        QObject::connect(app, &QCoreApplication::aboutToQuit, q, [q]() {
            qDebug() << "About to quit...";
            q->deleteLater();
        });
    }
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
