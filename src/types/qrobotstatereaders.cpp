#include "types/qrobotstatereaders.h"

#include "types/qiobits.h"
#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonValue>

namespace QRobotStateReaders {

using QRobotJson::readFloats;
using QRobotJson::readInts;

void read(const QJsonValue &value, QRobotType::JointCoordinate &record) { readFloats(value, record.joint); }
void read(const QJsonValue &value, QRobotType::CartesianCoordinate &record) { readFloats(value, record.pose); }
void read(const QJsonValue &value, QRobotType::AuxJoint &record) { readFloats(value, record.joint); }
void read(const QJsonValue &value, QRobotType::RDNCoordinate &record) { readInts(value, record.rdn); }

void read(const QJsonValue &value, QRobotType::Alarms &record)
{
    constexpr int groups = int(sizeof(record.alarm) / sizeof(record.alarm[0]));
    const QJsonArray array = value.toArray();
    for (int g = 0; g < groups; ++g)
        readInts(g < array.size() ? array.at(g) : QJsonValue(), record.alarm[g]);
}

void read(const QJsonValue &value, QRobotType::IO &record)
{
    QIOBits::unpack(value, record.value, int(sizeof(record.value)));
}

void read(const QJsonValue &value, QRobotType::ExtendIO &record)
{
    constexpr int modules = int(sizeof(record.value) / sizeof(record.value[0]));
    constexpr int channels = int(sizeof(record.value[0]));
    const QJsonArray array = value.toArray();
    for (int m = 0; m < modules; ++m)
        QIOBits::unpack(m < array.size() ? array.at(m) : QJsonValue(), record.value[m], channels);
}

void read(const QJsonValue &value, QRobotCoor::ControllerParams &record) { readFloats(value, record.params); }
void read(const QJsonValue &value, QRobotCoor::JointCurrent &record) { readFloats(value, record.current); }
void read(const QJsonValue &value, QRobotCoor::JointVoltage &record) { readFloats(value, record.voltage); }
void read(const QJsonValue &value, QRobotCoor::JointTemp &record) { readFloats(value, record.temperature); }
void read(const QJsonValue &value, QRobotCoor::ExEndAI &record) { readFloats(value, record.ai); }
void read(const QJsonValue &value, QRobotCoor::ExGPIOAI &record) { readFloats(value, record.ai); }

} // namespace QRobotStateReaders
