#ifndef MOTIONTYPES_H
#define MOTIONTYPES_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <cstddef>
#include <type_traits>

// Targets of the motion commands. MotionTarget is the host's Cartesian
// target record as it is: the motion exports hand it over byte for byte, so
// its field order and widths are fixed.
struct MotionTarget
{
    float x;
    float y;
    float z;
    float a;
    float b;
    float c;
    qint32 tool;
    qint32 user;
    qint32 r;
    qint32 d;
    qint32 n;
    qint32 cfg;
    // 0 left arm, any other value right arm.
    qint32 armOrientation;
};

// A Cartesian target with the three auxiliary axes. The arm orientation is
// sent as it is held ("left" or "right").
struct AuxMotionTarget
{
    float x = 0;
    float y = 0;
    float z = 0;
    float a = 0;
    float b = 0;
    float c = 0;
    float aux1 = 0;
    float aux2 = 0;
    float aux3 = 0;
    qint32 tool = 0;
    qint32 user = 0;
    qint32 r = 0;
    qint32 d = 0;
    qint32 n = 0;
    qint32 cfg = 0;
    QString armOrientation;
};

static_assert(sizeof(MotionTarget) == 52, "MotionTarget is the 52-byte host record");
static_assert(offsetof(MotionTarget, tool) == 24 && offsetof(MotionTarget, r) == 32
                  && offsetof(MotionTarget, armOrientation) == 48,
              "MotionTarget field offsets");
static_assert(std::is_trivially_copyable<MotionTarget>::value && std::is_standard_layout<MotionTarget>::value,
              "MotionTarget is a plain record");

#endif // MOTIONTYPES_H
