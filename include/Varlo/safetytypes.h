#ifndef SAFETYTYPES_H
#define SAFETYTYPES_H

#include <QtCore/QMetaType>
#include <QtCore/QtGlobal>

#include <type_traits>

// Records of the safety functions of a collaborative arm. Plain values, as the
// controller's documents hold them; units and ranges are the controller's.
namespace QRobotCoor {

// Avoidance parameters of the electronic skin ("/settings/function/elecSkinParams").
struct ElecSkinPars {
    float avoidDistance;
    float avoidVel;
    float avoidAcc;
    float resumeVel;
    float resumeAcc;
    qint32 mode;
};

// The controller's allowed range and default of one skin parameter.
struct ElecSkinRange {
    float max;
    float min;
    float def;
};

// The ranges and defaults of every skin parameter
// ("/settings/function/elecSkinDefault", read only).
struct ElecSkinDefault {
    ElecSkinRange avoidDistance;
    ElecSkinRange avoidVel;
    ElecSkinRange avoidAcc;
    ElecSkinRange resumeVel;
    ElecSkinRange resumeAcc;
};

} // namespace QRobotCoor

// One limit set of the safe mode: per joint (joint 1 first) the allowed
// deviation, joint speed and the joint's range.
struct SafeModeLimits {
    float diff[6];
    float velj[6];
    float rangeMin[6];
    float rangeMax[6];
};

// The safe-mode document "/settings/safemode": four limit sets and two integers.
struct SafeModeParams {
    SafeModeLimits high;
    SafeModeLimits middle;
    SafeModeLimits low;
    SafeModeLimits valid;
    qint32 payload;
    qint32 mode;
};

static_assert(sizeof(QRobotCoor::ElecSkinPars) == 24, "ElecSkinPars layout");
static_assert(sizeof(QRobotCoor::ElecSkinDefault) == 60, "ElecSkinDefault is fifteen floats");
static_assert(sizeof(SafeModeLimits) == 96, "SafeModeLimits is 24 floats");
static_assert(sizeof(SafeModeParams) == 392, "SafeModeParams layout");
static_assert(std::is_trivially_copyable<SafeModeParams>::value
                  && std::is_trivially_copyable<QRobotCoor::ElecSkinDefault>::value,
              "safety records are plain values");

Q_DECLARE_METATYPE(QRobotCoor::ElecSkinPars)
Q_DECLARE_METATYPE(QRobotCoor::ElecSkinDefault)
Q_DECLARE_METATYPE(SafeModeParams)

#endif // SAFETYTYPES_H
