#ifndef VARLO_BRIDGE_STATEJSON_H
#define VARLO_BRIDGE_STATEJSON_H

// The arm's live state as the bridge publishes it.

#include "armstate.h"

#include <QtCore/QString>

// The active alarms in words: "controller alarm 1, drive 2 alarm 5".
QString alarmsText(const QRobotType::Alarms &alarms);
// Milliseconds since the epoch, to the microsecond.
double nowMs();

#endif // VARLO_BRIDGE_STATEJSON_H
