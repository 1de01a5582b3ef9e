#ifndef VARLO_TOOLS_ARMSTATE_H
#define VARLO_TOOLS_ARMSTATE_H

// The arm's live state, as a facade mirrors it, in the words and JSON keys
// the host programs show and publish.

#include <Varlo/qrobot.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QString>

// "disabled", "enabled" or "drag".
QString controlModeName(QRobotType::ControlMode mode);
// "running", "paused", "debugging" or "stopped".
QString scriptStateName(QRobotType::DebugState state);

// The channels (1 to 64) that are on, and the same as a JSON array.
QList<int> channelsOn(const QRobotType::IO &io);
QJsonArray jsonChannels(const QList<int> &channels);

// An active alarm, decoded from the alarm words.
struct ActiveAlarm
{
    int group;  // 0 the controller, 1 to 6 the drive of that joint
    int number; // the alarm's id in its catalogue
};
QList<ActiveAlarm> activeAlarms(const QRobotType::Alarms &alarms);
// "controller alarm 12", "drive 2 alarm 5".
QString alarmSource(const ActiveAlarm &alarm);
// [{"group": 0, "number": 1}, ...]
QJsonArray alarmsJson(const QList<ActiveAlarm> &alarms);

// Numbers as JSON carries them: to 3 decimals (0.001 degree, mm, second, %),
// the precision the text output shows, so that a float's binary tail
// (45.29999923706055) never reaches a reader.
double jsonNumber(double value);
QJsonArray jsonNumbers(const float *values, int count);

// The mirrored state as one object: "controlMode", "power", "collision",
// "axes", "joints" (the first `joints` of them), "pose", "rdn",
// "armOrientation", "tool", "user", "outputs", "inputs", "alarms".
QJsonObject armStateJson(QRobot &robot, int joints);

#endif // VARLO_TOOLS_ARMSTATE_H
