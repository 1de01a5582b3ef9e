#ifndef TRAJECTORYTYPES_H
#define TRAJECTORYTYPES_H

#include <QtCore/QtGlobal>

#include <type_traits>

// Records of trajectory replay and of user-frame calibration.

namespace QRobotCoor {

// How a recorded trajectory is replayed: speed multiple, constant speed and
// the number of loops.
struct ReTraceParams {
    float multi;             // the speed multiple
    bool constant;           // "const"
    qint32 loop;             // how many times it runs
};

} // namespace QRobotCoor

enum : int {
    TrajPointLimit = 39999,      // points of a point list, at most
    UserFrameCount = 10,
    CalibrationPointLimit = 50   // points of a master or slave set, at most
};

// One user frame of "/settings/coordinate/user".
struct UserFrameEntry {
    bool enable;             // the frame is defined
    char type[20];           // UTF-8, NUL-terminated
    char alias[20];          // UTF-8, NUL-terminated
    float params[6];         // the frame: x, y, z, a, b, c
};

// "/settings/coordinate/user": the ten user frames, frame 0 first.
struct UserFrameTable {
    UserFrameEntry frame[UserFrameCount]; // frame i is user frame i
};

// Parameters of a calibration between a master and a slave point set.
struct MultiCalibrationParams {
    // The controller's calibration inputs "L", "A", "R", "U0Trans", "T0Trans",
    // six values each, passed through as they are.
    float L[6];
    float A[6];
    float R[6];
    float U0Trans[6];
    float T0Trans[6];
};

static_assert(std::is_trivially_copyable<UserFrameTable>::value, "UserFrameTable is a plain record");
static_assert(std::is_trivially_copyable<MultiCalibrationParams>::value, "MultiCalibrationParams is a plain record");

#endif // TRAJECTORYTYPES_H
