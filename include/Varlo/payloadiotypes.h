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
    float x;
    float y;
    float z;
    float loadValue;
};

// Mounting posture of the arm's base.
struct InstallPosture {
    float SlopeAngle;
    float RotationAngle;
};

// Drag sensitivity per joint, joint 1 first.
struct DragSensivity {
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
    VarloAnalogChannel channel[2];
};

// The input or output block of a Modbus/TCP IO module.
struct ExtendIOBlock {
    int32_t addr;
    int32_t number;
    int32_t index;
};

// One Modbus/TCP IO module. A slot whose `name` is empty ends the list.
struct ExtendIODevice {
    ExtendIOBlock DI;
    ExtendIOBlock DO;
    int32_t id;
    int32_t period;
    int32_t port;
    QString ip;
    QString name;
};

struct ExtendIOParams {
    enum : int { DeviceCount = 9 };

    ExtendIODevice device[DeviceCount];
};

} // namespace QRobotCoor

static_assert(sizeof(QRobotCoor::Load) == 16, "Load layout");
static_assert(sizeof(QRobotCoor::InstallPosture) == 8, "InstallPosture layout");
static_assert(sizeof(QRobotCoor::DragSensivity) == 24, "DragSensivity layout");
static_assert(sizeof(QRobotCoor::EndAI) == 16, "EndAI layout");

#endif // PAYLOADIOTYPES_H
