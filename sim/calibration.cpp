#include "calibration.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

namespace varlosim {

namespace {

// Points closer than this cannot define a direction.
constexpr double kMinimumSpan = 1.0;

CalibrationResult failure(const std::string &why)
{
    CalibrationResult r;
    r.error = why;
    return r;
}

Eigen::Vector3d position(const Pose &p)
{
    return Eigen::Vector3d(p[0], p[1], p[2]);
}

// The rotation whose x axis points along `xAxis` and whose XY plane holds
// `inPlane` on its +Y side. Empty when the two are (nearly) parallel.
std::optional<Eigen::Matrix3d> frameFrom(const Eigen::Vector3d &xAxis, const Eigen::Vector3d &inPlane)
{
    if (xAxis.norm() < kMinimumSpan || inPlane.norm() < kMinimumSpan)
        return std::nullopt;
    const Eigen::Vector3d x = xAxis.normalized();
    const Eigen::Vector3d zRaw = x.cross(inPlane);
    // sin of the angle between the two directions: under about 1 degree the
    // plane is not defined well enough.
    if (zRaw.norm() / inPlane.norm() < 0.02)
        return std::nullopt;
    const Eigen::Vector3d z = zRaw.normalized();
    Eigen::Matrix3d r;
    r.col(0) = x;
    r.col(1) = z.cross(x);
    r.col(2) = z;
    return r;
}

std::vector<double> poseValues(const Eigen::Isometry3d &t)
{
    const Pose p = transformToPose(t);
    return std::vector<double>(p.begin(), p.end());
}

} // namespace

CalibrationResult calibrateUser(const std::vector<Pose> &points)
{
    if (points.size() != 3)
        return failure("user frame calibration needs 3 points");
    const Eigen::Vector3d origin = position(points[0]);
    const auto r = frameFrom(position(points[1]) - origin, position(points[2]) - origin);
    if (!r)
        return failure("the points lie too close together or on one line");
    Eigen::Isometry3d frame = Eigen::Isometry3d::Identity();
    frame.linear() = *r;
    frame.translation() = origin;
    CalibrationResult result;
    result.ok = true;
    result.coordinate = poseValues(frame);
    return result;
}

CalibrationResult calibrateUserLine(const std::vector<Pose> &points)
{
    if (points.size() != 3)
        return failure("line calibration needs 3 points");
    const Eigen::Vector3d a = position(points[0]), b = position(points[1]), c = position(points[2]);
    const auto r = frameFrom(b - a, c - a);
    if (!r)
        return failure("the points lie too close together or on one line");
    const Eigen::Vector3d x = r->col(0);
    Eigen::Isometry3d frame = Eigen::Isometry3d::Identity();
    frame.linear() = *r;
    frame.translation() = a + x * x.dot(c - a);
    CalibrationResult result;
    result.ok = true;
    result.coordinate = poseValues(frame);
    return result;
}

CalibrationResult calibrateUserDot(const std::vector<Pose> &points)
{
    if (points.size() != 3)
        return failure("dot calibration needs 3 points");
    const Eigen::Vector3d a = position(points[0]), b = position(points[1]), c = position(points[2]);
    // The plane's +Y side is where the dot lies seen from the line.
    const auto r = frameFrom(b - a, c - a);
    if (!r)
        return failure("the points lie too close together or on one line");
    Eigen::Isometry3d frame = Eigen::Isometry3d::Identity();
    frame.linear() = *r;
    frame.translation() = c;
    CalibrationResult result;
    result.ok = true;
    result.coordinate = poseValues(frame);
    return result;
}

CalibrationResult calibrateToolPosition(const std::vector<Pose> &points)
{
    if (points.size() != 3)
        return failure("tool position calibration needs 3 points");
    // For every pose i: R_i * t + p_i = P, with the tool tip t (flange frame)
    // and the fixed point P (base frame) unknown. Taking the first equation
    // from the others leaves (R_i - R_1) t = p_1 - p_i: six equations for t.
    std::vector<Eigen::Isometry3d> flanges;
    for (int i = 0; i < 3; ++i)
        flanges.push_back(poseToTransform(points[i]));
    Eigen::MatrixXd a(6, 3);
    Eigen::VectorXd b(6);
    for (int i = 1; i < 3; ++i) {
        a.block<3, 3>(3 * (i - 1), 0) = flanges[i].linear() - flanges[0].linear();
        b.segment<3>(3 * (i - 1)) = flanges[0].translation() - flanges[i].translation();
    }
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    // A turn by an angle w about one axis gives singular values 2 sin(w / 2)
    // across that axis and 0 along it: the orientations must differ by about
    // 5 degrees or more about two different axes, or the tip is not determined.
    if (svd.singularValues()(2) < 2.0 * std::sin(2.5 * kPi / 180.0))
        return failure("the orientations of the points differ too little");
    const Eigen::Vector3d tip = svd.solve(b);
    Eigen::Vector3d fixed = Eigen::Vector3d::Zero();
    for (const auto &f : flanges)
        fixed += (f * tip) / 3.0;
    CalibrationResult result;
    for (const auto &f : flanges)
        result.residual = std::max(result.residual, (f * tip - fixed).norm());
    result.ok = true;
    result.coordinate = {tip.x(), tip.y(), tip.z()};
    for (double &v : result.coordinate)
        v = std::abs(v) < 1e-9 ? 0.0 : v;
    return result;
}

CalibrationResult calibrateToolPose(const std::vector<Pose> &points)
{
    if (points.size() != 3)
        return failure("tool orientation calibration needs 3 points");
    const Eigen::Vector3d origin = position(points[0]);
    // x along the second point; z towards the third, made square to x.
    const Eigen::Vector3d x = position(points[1]) - origin;
    const Eigen::Vector3d towardsZ = position(points[2]) - origin;
    if (x.norm() < kMinimumSpan || towardsZ.norm() < kMinimumSpan)
        return failure("the points lie too close together");
    const Eigen::Vector3d yRaw = towardsZ.cross(x);
    if (yRaw.norm() / towardsZ.norm() / x.norm() < 0.02)
        return failure("the points lie on one line");
    Eigen::Matrix3d wanted;
    wanted.col(0) = x.normalized();
    wanted.col(1) = yRaw.normalized();
    wanted.col(2) = wanted.col(0).cross(wanted.col(1));
    const Eigen::Matrix3d flange = poseToTransform(points[0]).linear();
    Eigen::Isometry3d tool = Eigen::Isometry3d::Identity();
    tool.linear() = flange.transpose() * wanted;
    const std::vector<double> all = poseValues(tool);
    CalibrationResult result;
    result.ok = true;
    result.coordinate = {all[3], all[4], all[5]};
    return result;
}

CalibrationResult calibrateScaraTool(const std::vector<Pose> &points)
{
    if (points.size() != 2)
        return failure("SCARA tool calibration needs 2 points");
    // p1 + Rz(a1) t = p2 + Rz(a2) t in the plane: (Rz(a1) - Rz(a2)) t = p2 - p1.
    const double a1 = points[0][3] * kPi / 180.0, a2 = points[1][3] * kPi / 180.0;
    Eigen::Matrix2d m;
    m << std::cos(a1) - std::cos(a2), -(std::sin(a1) - std::sin(a2)),
         std::sin(a1) - std::sin(a2), std::cos(a1) - std::cos(a2);
    // |det| = 2 - 2 cos(a1 - a2): the two turns must differ by a few degrees.
    if (std::abs(m.determinant()) < 2.0 - 2.0 * std::cos(5.0 * kPi / 180.0))
        return failure("the two turns of the hand differ by less than 5 degrees");
    const Eigen::Vector2d d(points[1][0] - points[0][0], points[1][1] - points[0][1]);
    const Eigen::Vector2d t = m.inverse() * d;
    CalibrationResult result;
    result.ok = true;
    result.coordinate = {t.x(), t.y(), 0.0, 0.0};
    result.residual = std::abs(points[1][2] - points[0][2]);
    return result;
}

} // namespace varlosim
