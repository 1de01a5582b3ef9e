#ifndef PARAMETERTYPES_H
#define PARAMETERTYPES_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <type_traits>

// Records of the controller's motion parameter documents. Each array is as
// long as the record says; a document with longer arrays gives only these.
// Readers start from a record of zeros, so value-initialise (`TeachParams p{};`)
// when building one by hand.

namespace QRobotType {

// Live speed ratio of manual motion ("/interface/manualCommon").
struct Common
{
    float ratio;
};

// Inching steps ("/settings/teach/inch").
struct TeachInch
{
    float distance;
    float angle;
};

} // namespace QRobotType

// "/settings/teach/joint" and "/settings/teach/coordinate".
struct TeachParams
{
    float velocity[6];
    float acceleration[6];
};

// "/settings/playback/joint".
struct PlaybackJointParams
{
    float velocity[6];
    float acceleration[6];
    float jerk[6];
};

// "/settings/playback/coordinate".
struct PlaybackCoordinateParams
{
    float velocity[2];
    float acceleration[2];
    float jerk[2];
};

// "/settings/teach/auxJoint".
struct AuxTeachParams
{
    float velocity[3];
    float acceleration[3];
};

// "/settings/playback/auxJoint".
struct AuxPlaybackParams
{
    float velocity[3];
    float acceleration[3];
    float jerk[3];
};

// One arch-motion profile; `enable` takes a 32-bit slot.
struct ArchEntry
{
    bool enable;
    float startHeight;
    float endHeight;
    float zLimit;
};

// "/settings/playback/arch": always ten profiles.
struct ArchTable
{
    enum { Size = 10 };
    ArchEntry entry[Size];
};

// "/properties/controllerType" (read only).
struct ControllerType
{
    qint32 version = 0;
    QString name;
};

// Allowed range and default of one parameter.
struct LimitTriple
{
    float max;
    float min;
    float def;
};

// "/properties/default" (the controller's own document): the limits of every
// motion parameter, 70 triples in this order.
struct DefaultLimits
{
    LimitTriple commonRatio;
    LimitTriple teachJointVelocity[6];
    LimitTriple teachJointAcceleration[6];
    LimitTriple teachCoordinateVelocity[6];
    LimitTriple teachCoordinateAcceleration[6];
    LimitTriple playbackJointVelocity[6];
    LimitTriple playbackJointAcceleration[6];
    LimitTriple playbackJointJerk[6];
    LimitTriple playbackCoordinateVelocity[6];
    LimitTriple playbackCoordinateAcceleration[6];
    LimitTriple playbackCoordinateJerk[6];
    LimitTriple archStartHeight;
    LimitTriple archEndHeight;
    LimitTriple archZLimit;
    LimitTriple dragSensitivity[6];
};

static_assert(sizeof(ArchEntry) == 16, "ArchEntry: bool in a 32-bit slot and three floats");
static_assert(sizeof(LimitTriple) == 12, "LimitTriple layout");
static_assert(sizeof(DefaultLimits) == 70 * sizeof(LimitTriple), "DefaultLimits holds 70 triples");
static_assert(std::is_trivially_copyable<DefaultLimits>::value && std::is_trivially_copyable<ArchTable>::value,
              "parameter records are plain values");

#endif // PARAMETERTYPES_H
