#ifndef MAINTENANCETYPES_H
#define MAINTENANCETYPES_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Records of the commissioning and service functions.

// The controller's wireless access point.
struct ApSettings {
    QString ssid;
    QString passwd;
};

// The controller's operating-time counters.
struct WorkTimeRecord {
    qint32 powerOnDays;
    qint32 powerOnHour;
    qint32 powerOnMin;
    qint32 powerOnSec;
    qint32 servoEnableDays;
    qint32 servoEnableHour;
    qint32 servoEnableMin;
    qint32 servoEnableSec;
};

#endif // MAINTENANCETYPES_H
