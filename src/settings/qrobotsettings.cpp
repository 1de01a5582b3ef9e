#include "settings/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

QRobotSettings::QRobotSettings(QHttpManager *transport, QObject *parent)
    : QObject(parent), d_ptr(new QRobotSettingsPrivate(this, transport))
{
}

QRobotSettings::~QRobotSettings() = default;

QHttpManager *QRobotSettings::transport() const
{
    return d_func()->transport;
}

int QRobotSettings::readAxisCount()
{
    Q_D(QRobotSettings);
    QByteArray bytes;
    if (!d->transport->getPara(bytes, QStringLiteral("/properties/axis")))
        return 0;
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return 0;
    return document.object().value(QLatin1String("axis")).toInt(0);
}
