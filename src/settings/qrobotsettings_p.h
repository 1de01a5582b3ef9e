#ifndef QROBOTSETTINGS_P_H
#define QROBOTSETTINGS_P_H

#include "Varlo/qrobotsettings.h"

class QRobotSettingsPrivate
{
    Q_DECLARE_PUBLIC(QRobotSettings)
public:
    QRobotSettingsPrivate(QRobotSettings *q, QHttpManager *transport) : q_ptr(q), transport(transport) {}

    QRobotSettings *q_ptr;
    QHttpManager *transport;
};

#endif // QROBOTSETTINGS_P_H
