#ifndef COORDINATETYPES_H
#define COORDINATETYPES_H

#include <cstdint>
#include <type_traits>

// The controller's tables of tool and user frames and of point loads, and the
// taught points of a calibration. Plain value records, copied byte for byte.

// One tool or user frame.
struct CoordinateEntry {
    enum : int { AliasSize = 23, ParamCount = 6 };

    bool enable;               // the frame is in use
    char alias[AliasSize];     // display name, UTF-8, NUL-terminated, at most 22 bytes of text
    float params[ParamCount];  // x, y, z, a, b, c
};

// Frames 0 to 9; entry 0 is frame 0.
struct CoordinateTable {
    enum : int { EntryCount = 10 };

    CoordinateEntry entry[EntryCount]; // frame N in entry[N]
};

// One point load. `enable` sits in a 32-bit slot.
struct PointLoadEntry {
    enum : int { ParamCount = 2 };

    alignas(4) bool enable;     // whether the load is used
    float params[ParamCount];   // the load's two values, as "/settings/function/pointLoad" holds them
};

// The ten point loads of "/settings/function/pointLoad", entry 0 first.
struct PointLoadTable {
    enum : int { EntryCount = 10 };

    PointLoadEntry entry[EntryCount]; // load N in entry[N]
};

// A taught point or the frame a calibration computes: x, y, z, a, b, c.
struct CalibrationPoint {
    float pose[6]; // x, y, z in mm, a, b, c in degrees
};

// The three taught points of a calibration, point 1 first: 18 floats, the
// layout in which a host hands them over.
struct CalibrationPoints {
    enum : int { PointCount = 3 };

    CalibrationPoint point[PointCount]; // point 1 in point[0]
};

static_assert(sizeof(CoordinateEntry) == 48, "CoordinateEntry layout");
static_assert(sizeof(CoordinateTable) == 480, "CoordinateTable layout");
static_assert(sizeof(PointLoadEntry) == 12, "PointLoadEntry layout");
static_assert(sizeof(CalibrationPoint) == 24, "CalibrationPoint layout");
static_assert(sizeof(CalibrationPoints) == 72, "CalibrationPoints layout");
static_assert(std::is_trivially_copyable<CoordinateTable>::value
                  && std::is_trivially_copyable<PointLoadTable>::value
                  && std::is_trivially_copyable<CalibrationPoints>::value,
              "coordinate records are plain values");

#endif // COORDINATETYPES_H
