#ifndef QROBOTCOOR_H
#define QROBOTCOOR_H

#include <QtCore/QMetaType>
#include <QtCore/QtGlobal>

// State that only collaborative robots report. Plain value records.
namespace QRobotCoor {

// String-coded on the wire (see qrobotenumstrings.h), held as an int.
enum DragMode : int { Disable = 0, Enable = 1 };

// The controller parameters of the live state ("controlParams"); the first
// is the speed ratio, percent.
struct ControllerParams {
    float params[4];         // as the controller sends them
};

// The motor currents of the live state ("jointCurrent").
struct JointCurrent {
    float current[7];        // joint 1 first, as the controller sends them
};

// The motor voltages of the live state ("jointVoltage").
struct JointVoltage {
    float voltage[6];        // joint 1 first
};

// The motor temperatures of the live state ("jointTemp").
struct JointTemp {
    float temperature[6];    // joint 1 first
};

// Analog inputs of the tool end.
struct ExEndAI {
    float ai[2];             // channel 1, channel 2
};

// Analog inputs of the general-purpose IO.
struct ExGPIOAI {
    float ai[2];             // channel 1, channel 2
};

} // namespace QRobotCoor

static_assert(sizeof(QRobotCoor::ControllerParams) == 16, "ControllerParams layout");
static_assert(sizeof(QRobotCoor::JointCurrent) == 28, "JointCurrent layout");
static_assert(sizeof(QRobotCoor::JointVoltage) == 24, "JointVoltage layout");
static_assert(sizeof(QRobotCoor::JointTemp) == 24, "JointTemp layout");
static_assert(sizeof(QRobotCoor::ExEndAI) == 8, "ExEndAI layout");
static_assert(sizeof(QRobotCoor::ExGPIOAI) == 8, "ExGPIOAI layout");

Q_DECLARE_METATYPE(QRobotCoor::DragMode)
Q_DECLARE_METATYPE(QRobotCoor::ControllerParams)
Q_DECLARE_METATYPE(QRobotCoor::JointCurrent)
Q_DECLARE_METATYPE(QRobotCoor::JointVoltage)
Q_DECLARE_METATYPE(QRobotCoor::JointTemp)
Q_DECLARE_METATYPE(QRobotCoor::ExEndAI)
Q_DECLARE_METATYPE(QRobotCoor::ExGPIOAI)

#endif // QROBOTCOOR_H
