#include "robot/qrobot.h"
#include "robot/qrobot_p.h"
#include "robot/qrobotconnection.h"
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
    settings = new QRobotSettings(transport, q);
}

void QRobotPrivate::relaySignals()
{
    Q_Q(QRobot);
    QObject::connect(connection, &QRobotConnection::axisCount, q, &QRobot::axisCount);
    QObject::connect(connection, &QRobotConnection::occupiedChanged, q, &QRobot::occupiedChanged);
    QObject::connect(connection, &QRobotConnection::printQRobotConnection, q, &QRobot::printQRobot);
    QObject::connect(settings, &QRobotSettings::printQRobotSettings, q, &QRobot::printQRobot);
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
    : QObject(parent), d_ptr(new QRobotPrivate(this))
{
}

QRobot::~QRobot() = default;

void QRobot::initialize()
{
    Q_D(QRobot);
    if (!d->transport) {
        d->createComponents();
        d->relaySignals();
        d->connection->startSupervision();
        return;
    }
    // Reused components start over: a connect after a disconnect (or a second
    // connect) behaves like the first one and reports the connection again.
    d->transport->setDispatching(true);
    d->transport->resetReachability();
    d->connection->startSupervision();
}

bool QRobot::isInitialized() const
{
    return d_func()->transport != nullptr;
}

void QRobot::onConnectStateChanged(bool isConnected)
{
    Q_D(QRobot);
    if (isConnected) {
        d->connection->stopSupervision();
    } else {
        d->connection->startSupervision();
    }
    Q_EMIT connectionChanged(isConnected);
}

void QRobot::disconnectController()
{
    Q_D(QRobot);
    if (d->transport) {
        d->transport->setDispatching(false);
        d->transport->clearServerReachable();
    }
    if (d->connection)
        d->connection->stopSupervision();
    Q_EMIT connectionChanged(false);
}

QHttpManager *QRobot::transport() const { return d_func()->transport; }
QRobotConnection *QRobot::connection() const { return d_func()->connection; }
QRobotSettings *QRobot::settings() const { return d_func()->settings; }

void QRobot::setHostIP(QString ip)
{
    Q_D(QRobot);
    if (d->transport)
        d->transport->setHost(ip);
    if (d->connection)
        d->connection->setHost(ip);
    d->hostIP = ip;
    d->setFolders(ControllerPaths::shareProjectRoot(ip));
}

void QRobot::setHostPort(quint16 port)
{
    Q_D(QRobot);
    if (d->transport)
        d->transport->setPort(port);
}

void QRobot::setVirtualRoot(const QString &root)
{
    Q_D(QRobot);
    if (d->transport)
        d->transport->setSimulatorRoot(root);
    d->setFolders(ControllerPaths::simulatorProjectRoot(root));
}

bool QRobot::inspectDir()
{
    Q_D(QRobot);
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

QString QRobot::hostIP() const { return d_func()->hostIP; }
QString QRobot::projectPath() const { return d_func()->projectPath; }
QString QRobot::settingsPath() const { return d_func()->settingsPath; }
QString QRobot::processPath() const { return d_func()->processPath; }
QString QRobot::propertiesPath() const { return d_func()->propertiesPath; }
QString QRobot::rootPath() const { return d_func()->rootPath; }

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
