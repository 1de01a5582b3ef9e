#ifndef MAINTENANCETYPES_H
#define MAINTENANCETYPES_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// Records of the commissioning and service functions.

// The controller's wireless access point.
struct ApSettings {
    QString ssid;            // its network name
    QString passwd;          // its password
};

// The controller's operating-time counters.
struct WorkTimeRecord {
    // Time powered on: days, hours, minutes, seconds.
    qint32 powerOnDays;
    qint32 powerOnHour;
    qint32 powerOnMin;
    qint32 powerOnSec;
    // Time with the servos enabled: days, hours, minutes, seconds.
    qint32 servoEnableDays;
    qint32 servoEnableHour;
    qint32 servoEnableMin;
    qint32 servoEnableSec;
};

#endif // MAINTENANCETYPES_H
