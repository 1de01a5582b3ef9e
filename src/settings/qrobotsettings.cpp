#include "Varlo/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/axiscount.h"

QRobotSettings::QRobotSettings(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QRobotSettingsPrivate(this, transport))
{
}

QRobotSettings::~QRobotSettings() = default;

QHttpManager *QRobotSettings::transport() const
{
    return d->transport;
}

int QRobotSettings::readAxisCount()
{
    int count = 0;
    AxisCount::read(transport(), &count);
    return count;
}
