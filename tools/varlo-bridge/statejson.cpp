#include "statejson.h"

#include <Varlo/qrobotprotocol.h>

#include <QtCore/QStringList>

#include <chrono>

namespace {

QString controlModeName(QRobotType::ControlMode mode)
{
    switch (mode) {
    case QRobotType::Enable: return QStringLiteral("enabled");
    case QRobotType::Drag: return QStringLiteral("drag");
    default: return QStringLiteral("disabled");
    }
}

QJsonArray numbers(const float *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(double(values[i]));
    return array;
}

QJsonArray channelsOn(const QRobotType::IO &io)
{
    QJsonArray on;
    for (int i = 0; i < 64; ++i) {
        if (io.value[i])
            on.append(i + 1);
    }
    return on;
}

// Alarm n of a group is bit n % 32 of its word n / 32.
template <typename Visit>
void forEachAlarm(const QRobotType::Alarms &alarms, Visit visit)
{
    for (int group = 0; group < 7; ++group) {
        for (int word = 0; word < 64; ++word) {
            const quint32 bits = quint32(alarms.alarm[group][word]);
            for (int bit = 0; bits && bit < 32; ++bit) {
                if (bits >> bit & 1u)
                    visit(group, word * 32 + bit);
            }
        }
    }
}

} // namespace

QJsonObject stateJson(QRobot &robot)
{
    const QRobotProtocol *p = robot.protocol();
    const QRobotType::RDNCoordinate rdn = p->rdnCoordinate();
    return QJsonObject{
        { "controlMode", controlModeName(p->controlMode()) },
        { "power", p->isPower() },
        { "collision", p->isCollision() },
        { "axes", robot.knownAxisCount() },
        { "joints", numbers(p->jointCoordinate().joint, 6) },
        { "pose", numbers(p->cartesianCoordinate().pose, 6) },
        { "rdn", QJsonArray{ rdn.rdn[0], rdn.rdn[1], rdn.rdn[2], rdn.rdn[3] } },
        { "armOrientation", p->armOrientation() },
        { "tool", p->toolCoordinate() },
        { "user", p->userCoordinate() },
        { "outputs", channelsOn(p->DO()) },
        { "inputs", channelsOn(p->DI()) },
        { "alarms", alarmsJson(p->alarms()) },
    };
}

QJsonArray alarmsJson(const QRobotType::Alarms &alarms)
{
    QJsonArray list;
    forEachAlarm(alarms, [&list](int group, int number) {
        list.append(QJsonObject{ { "group", group }, { "number", number } });
    });
    return list;
}

QString alarmsText(const QRobotType::Alarms &alarms)
{
    QStringList texts;
    forEachAlarm(alarms, [&texts](int group, int number) {
        texts << (group == 0 ? QStringLiteral("controller alarm %1").arg(number)
                             : QStringLiteral("drive %1 alarm %2").arg(group).arg(number));
    });
    return texts.join(QLatin1String(", "));
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

double nowMs()
{
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) / 1000.0;
}
