// Calibration services of the controller: a user frame or a tool computed
// from taught points. Points are poses x, y, z, a, b, c (millimetres, degrees,
// R = Rz(c) * Ry(b) * Rx(a)) as the arm reported them with tool 0 and user 0,
// that is flange poses in the base frame.
#pragma once

#include "kinematics.h"

#include <string>
#include <vector>

namespace varlosim {

struct CalibrationResult
{
    bool ok = false;
    std::vector<double> coordinate;   // the values the service answers with
    std::string error;                // why it failed
    double residual = 0.0;            // largest distance between what the points say, mm
};

// User frame from three points: the origin, a point on the frame's +X axis and
// a point in its XY plane on the +Y side. Answers x, y, z, a, b, c.
CalibrationResult calibrateUser(const std::vector<Pose> &points);

// User frame from a line and a point: the first two points lie on the frame's
// X axis (+X from the first to the second), the third on its +Y side; the
// origin is the foot of the perpendicular from the third point to the line.
CalibrationResult calibrateUserLine(const std::vector<Pose> &points);

// User frame on a marked dot: the third point is the origin, the X axis runs
// parallel to the line from the first to the second point, and the XY plane
// holds all three. Answers x, y, z, a, b, c.
CalibrationResult calibrateUserDot(const std::vector<Pose> &points);

// Tool centre point from three flange poses that put the tool tip on one fixed
// point with different orientations. Answers the tip's x, y, z in the flange
// frame.
CalibrationResult calibrateToolPosition(const std::vector<Pose> &points);

// Tool orientation from three points: the tool tip at a reference point (its
// a, b, c give the flange orientation there), moved along the tool's wanted +X
// direction, and moved along its wanted +Z direction. Answers a, b, c of the
// tool relative to the flange.
CalibrationResult calibrateToolPose(const std::vector<Pose> &points);

// SCARA tool from two flange poses x, y, z, a that put the tool tip on one
// fixed point with different turns a of the hand. Answers x, y in the flange
// frame, with z and a 0.
CalibrationResult calibrateScaraTool(const std::vector<Pose> &points);

} // namespace varlosim
