#ifndef QROBOTSTATEREADERS_H
#define QROBOTSTATEREADERS_H

#include "Varlo/qrobotcoor.h"
#include "Varlo/qrobottype.h"

class QJsonValue;

// Reads the wire form of each state record from one reply value. Every reader
// rewrites the whole record (missing or unusable elements give 0, excess
// elements are ignored, a value of the wrong JSON type gives zeros), except
// that the IO readers leave the `enable` flag alone: it is not received state.
namespace QRobotStateReaders {

void read(const QJsonValue &value, QRobotType::JointCoordinate &record);
void read(const QJsonValue &value, QRobotType::CartesianCoordinate &record);
void read(const QJsonValue &value, QRobotType::AuxJoint &record);
void read(const QJsonValue &value, QRobotType::RDNCoordinate &record);
// Up to 7 groups of up to 64 words.
void read(const QJsonValue &value, QRobotType::Alarms &record);
// 8 integers of 8 channels.
void read(const QJsonValue &value, QRobotType::IO &record);
// Up to 9 modules, each 12 integers of 8 channels.
void read(const QJsonValue &value, QRobotType::ExtendIO &record);

void read(const QJsonValue &value, QRobotCoor::ControllerParams &record);
void read(const QJsonValue &value, QRobotCoor::JointCurrent &record);
void read(const QJsonValue &value, QRobotCoor::JointVoltage &record);
void read(const QJsonValue &value, QRobotCoor::JointTemp &record);
void read(const QJsonValue &value, QRobotCoor::ExEndAI &record);
void read(const QJsonValue &value, QRobotCoor::ExGPIOAI &record);

} // namespace QRobotStateReaders

#endif // QROBOTSTATEREADERS_H
