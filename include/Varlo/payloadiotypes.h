#ifndef PAYLOADIOTYPES_H
#define PAYLOADIOTYPES_H

#include "Varlo.h" // QRobotCoor::GPIOAI and QRobotCoor::GPIOAO are host records

#include <QtCore/QString>

#include <cstdint>

// Records of the payload, force sensing and mounting functions and of the
// analog IO, extended IO and grippers.
namespace QRobotCoor {

// The payload: either its centre of mass (x, y, z as "centerX" ...) or its
// inertia (x, y, z as "inertiaX" ...), with the mass in `loadValue`.
struct Load {
    // The centre of mass or the inertia, by axis.
    float x;
    float y;
    float z;
    float loadValue;         // the payload's mass
};

// Mounting posture of the arm's base.
struct InstallPosture {
    // The base's slope angle and its rotation angle.
    float SlopeAngle;
    float RotationAngle;
};

// Drag sensitivity per joint, joint 1 first.
struct DragSensivity {
    // Joints 1 to 6; the controller's scale.
    int32_t j1;
    int32_t j2;
    int32_t j3;
    int32_t j4;
    int32_t j5;
    int32_t j6;
};

// The two analog inputs at the arm's end, channel 1 first; the same shape as
// the cabinet's analog outputs (GPIOAO).
struct EndAI {
    VarloAnalogChannel channel[2]; // channel 1, channel 2
};

// The input or output block of a Modbus/TCP IO module.
struct ExtendIOBlock {
    int32_t addr;            // the block's Modbus address
    int32_t number;          // its channel count
    int32_t index;           // its index, as the controller numbers blocks
};

// One Modbus/TCP IO module. A slot whose `name` is empty ends the list.
struct ExtendIODevice {
    // Its inputs and its outputs.
    ExtendIOBlock DI;
    ExtendIOBlock DO;
    int32_t id;              // its Modbus unit id
    int32_t period;          // its polling period, in the controller's unit
    int32_t port;            // its TCP port
    QString ip;              // its address
    QString name;            // its name; empty: no module in this slot
};

// "/settings/function/modbus_io_config": the Modbus/TCP IO modules.
struct ExtendIOParams {
    enum : int { DeviceCount = 9 }; ///< module slots

    ExtendIODevice device[DeviceCount]; // the slots, up to the first without a name
};

} // namespace QRobotCoor

static_assert(sizeof(QRobotCoor::Load) == 16, "Load layout");
static_assert(sizeof(QRobotCoor::InstallPosture) == 8, "InstallPosture layout");
static_assert(sizeof(QRobotCoor::DragSensivity) == 24, "DragSensivity layout");
static_assert(sizeof(QRobotCoor::EndAI) == 16, "EndAI layout");

#endif // PAYLOADIOTYPES_H
