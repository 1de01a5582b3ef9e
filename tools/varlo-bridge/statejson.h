#ifndef VARLO_BRIDGE_STATEJSON_H
#define VARLO_BRIDGE_STATEJSON_H

// The arm's live state as the bridge publishes it.

#include <Varlo/qrobot.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

// The facade's mirrored state: control mode, power, joints, pose, IO, alarms...
QJsonObject stateJson(QRobot &robot);
// The active alarms: [{"group": 0, "number": 1}, ...]; group 0 is the
// controller, 1 to 6 the drives of those joints.
QJsonArray alarmsJson(const QRobotType::Alarms &alarms);
// The same in words: "controller alarm 1, drive 2 alarm 5".
QString alarmsText(const QRobotType::Alarms &alarms);
QString scriptStateName(QRobotType::DebugState state);
// Milliseconds since the epoch, to the microsecond.
double nowMs();

#endif // VARLO_BRIDGE_STATEJSON_H
