#ifndef QROBOTTYPE_H
#define QROBOTTYPE_H

#include "Varlo.h"

#include <QtCore/QMetaType>
#include <QtCore/QtGlobal>

#include <type_traits>

// State that every robot has, as the state exchange mirrors it. All records are
// plain values without methods: they are copied byte for byte into host records
// and travel by value in signals.
namespace QRobotType {

// String-coded on the wire (see qrobotenumstrings.h), held as an int.
enum ControlMode : int { Disable = 0, Enable = 1, Drag = 2 };
enum Coordinate : int { Joint = 0, Cartesian = 1, Tool = 2 };
enum JogMode : int { Jog = 0, Step = 1 };
enum AutoManual : int { Manual = 0, Auto = 1 };

// The controller's arm orientation code, kept as it arrives.
using ArmOrientation = qint32;

// The joint positions, degrees (joint 3 of a 4-axis arm in mm).
struct JointCoordinate {
    float joint[6];          // joint 1 first
};

// x, y, z, a, b, c in the order of the wire array.
struct CartesianCoordinate {
    float pose[6];           // x, y, z (mm), a, b, c (degrees)
};

// The auxiliary axes' positions.
struct AuxJoint {
    float joint[3];          // one per auxiliary axis
};

// 7 groups of 64 alarm words.
struct Alarms {
    qint32 alarm[7][64];     // each group's words as the controller sends them
};

// Digital IO, channels 1 to 64 in value[0..63]. `enable` is not received
// state: in a record of outputs to set it asks the controller to apply them.
// Hosts hand this record in and out as it is, so it is the public header's
// VarloIO (which Varlo.h also names QRobotType::IO).
typedef ::VarloIO IO;

// Extended IO: 9 modules of 96 channels.
struct ExtendIO {
    bool enable;             // as IO's: in outputs to set, apply them
    bool value[9][96];       // module m, channel k (both from 0)
};

// r, d, n, cfg.
struct RDNCoordinate {
    qint32 rdn[4];           // the arm configuration selectors r, d, n, cfg
};

} // namespace QRobotType

// Host code copies these records byte for byte.
static_assert(sizeof(bool) == 1, "records assume one-byte bools");
static_assert(sizeof(QRobotType::JointCoordinate) == 24, "JointCoordinate layout");
static_assert(sizeof(QRobotType::CartesianCoordinate) == 24, "CartesianCoordinate layout");
static_assert(sizeof(QRobotType::AuxJoint) == 12, "AuxJoint layout");
static_assert(sizeof(QRobotType::Alarms) == 1792, "Alarms must be 1792 bytes");
static_assert(sizeof(QRobotType::IO) == 65, "IO must be 65 bytes");
static_assert(sizeof(QRobotType::ExtendIO) == 865, "ExtendIO must be 865 bytes");
static_assert(sizeof(QRobotType::RDNCoordinate) == 16, "RDNCoordinate layout");
static_assert(sizeof(QRobotType::ArmOrientation) == 4, "ArmOrientation is an int32");
static_assert(std::is_trivially_copyable<QRobotType::IO>::value
                  && std::is_standard_layout<QRobotType::IO>::value,
              "IO is a plain C record");
static_assert(std::is_trivially_copyable<QRobotType::Alarms>::value
                  && std::is_trivially_copyable<QRobotType::ExtendIO>::value,
              "state records are plain values");

Q_DECLARE_METATYPE(QRobotType::ControlMode)
Q_DECLARE_METATYPE(QRobotType::Coordinate)
Q_DECLARE_METATYPE(QRobotType::JogMode)
Q_DECLARE_METATYPE(QRobotType::AutoManual)
Q_DECLARE_METATYPE(QRobotType::JointCoordinate)
Q_DECLARE_METATYPE(QRobotType::CartesianCoordinate)
Q_DECLARE_METATYPE(QRobotType::AuxJoint)
Q_DECLARE_METATYPE(QRobotType::Alarms)
Q_DECLARE_METATYPE(QRobotType::IO)
Q_DECLARE_METATYPE(QRobotType::ExtendIO)
Q_DECLARE_METATYPE(QRobotType::RDNCoordinate)

#endif // QROBOTTYPE_H
