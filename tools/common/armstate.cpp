#include "armstate.h"

#include <Varlo/qrobotprotocol.h>

#include <cmath>

QString controlModeName(QRobotType::ControlMode mode)
{
    switch (mode) {
    case QRobotType::Enable: return QStringLiteral("enabled");
    case QRobotType::Drag: return QStringLiteral("drag");
    default: return QStringLiteral("disabled");
    }
}

QString scriptStateName(QRobotType::DebugState state)
{
    switch (state) {
    case QRobotType::ScriptRunning: return QStringLiteral("running");
    case QRobotType::ScriptPaused: return QStringLiteral("paused");
    case QRobotType::DebugStarting:
    case QRobotType::DebugConnected: return QStringLiteral("debugging");
    default: return QStringLiteral("stopped");
    }
}

QList<int> channelsOn(const QRobotType::IO &io)
{
    QList<int> on;
    for (int i = 0; i < 64; ++i) {
        if (io.value[i])
            on << i + 1;
    }
    return on;
}

QList<ActiveAlarm> activeAlarms(const QRobotType::Alarms &alarms)
{
    // Alarm n of a group is bit n % 32 of its word n / 32.
    QList<ActiveAlarm> found;
    for (int group = 0; group < 7; ++group) {
        for (int word = 0; word < 64; ++word) {
            const quint32 bits = quint32(alarms.alarm[group][word]);
            for (int bit = 0; bits && bit < 32; ++bit) {
                if (bits >> bit & 1u)
                    found.append(ActiveAlarm{ group, word * 32 + bit });
            }
        }
    }
    return found;
}

QString alarmSource(const ActiveAlarm &alarm)
{
    return alarm.group == 0 ? QStringLiteral("controller alarm %1").arg(alarm.number)
                            : QStringLiteral("drive %1 alarm %2").arg(alarm.group).arg(alarm.number);
}

QJsonArray alarmsJson(const QList<ActiveAlarm> &alarms)
{
    QJsonArray list;
    for (const ActiveAlarm &alarm : alarms)
        list.append(QJsonObject{ { "group", alarm.group }, { "number", alarm.number } });
    return list;
}

double jsonNumber(double value)
{
    const double rounded = std::round(value * 1000) / 1000;
    return rounded == 0 ? 0 : rounded; // never -0
}

QJsonArray jsonNumbers(const float *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(jsonNumber(double(values[i])));
    return array;
}

QJsonArray jsonChannels(const QList<int> &channels)
{
    QJsonArray array;
    for (int channel : channels)
        array.append(channel);
    return array;
}

QJsonObject armStateJson(QRobot &robot, int joints)
{
    const QRobotProtocol *p = robot.protocol();
    const QRobotType::RDNCoordinate rdn = p->rdnCoordinate();
    return QJsonObject{
        { "controlMode", controlModeName(p->controlMode()) },
        { "power", p->isPower() },
        { "collision", p->isCollision() },
        { "axes", robot.knownAxisCount() },
        { "joints", jsonNumbers(p->jointCoordinate().joint, joints) },
        { "pose", jsonNumbers(p->cartesianCoordinate().pose, 6) },
        { "rdn", QJsonArray{ rdn.rdn[0], rdn.rdn[1], rdn.rdn[2], rdn.rdn[3] } },
        { "armOrientation", p->armOrientation() },
        { "tool", p->toolCoordinate() },
        { "user", p->userCoordinate() },
        { "outputs", jsonChannels(channelsOn(p->DO())) },
        { "inputs", jsonChannels(channelsOn(p->DI())) },
        { "alarms", alarmsJson(activeAlarms(p->alarms())) },
    };
}
