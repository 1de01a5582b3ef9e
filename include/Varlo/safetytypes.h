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
    float avoidDistance;     // how near an obstacle may come before the arm avoids it
    // Speed and acceleration of the avoiding motion, then of the resumed one.
    float avoidVel;
    float avoidAcc;
    float resumeVel;
    float resumeAcc;
    qint32 mode;             // the avoidance mode, written only (a read keeps it)
};

// The controller's allowed range and default of one skin parameter.
struct ElecSkinRange {
    // The largest and smallest allowed value, and the default.
    float max;
    float min;
    float def;
};

// The ranges and defaults of every skin parameter
// ("/settings/function/elecSkinDefault", read only).
struct ElecSkinDefault {
    // The ranges of the ElecSkinPars fields of the same names.
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
    float diff[6];           // allowed deviation
    float velj[6];           // joint speed
    // The joint's range: lower and upper end.
    float rangeMin[6];
    float rangeMax[6];
};

// The safe-mode document "/settings/safemode": four limit sets and two integers.
struct SafeModeParams {
    // The limit sets of the high, middle and low levels, and the valid set.
    SafeModeLimits high;
    SafeModeLimits middle;
    SafeModeLimits low;
    SafeModeLimits valid;
    // The payload and the mode the controller keeps with them (its codes).
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
