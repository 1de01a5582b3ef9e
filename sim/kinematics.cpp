#include "kinematics.h"

#include <cmath>
#include <limits>

namespace varlosim {

namespace {

constexpr double kDeg = kPi / 180.0;
constexpr double kEpsilon = 1e-9;

double toRad(double deg) { return deg * kDeg; }
double toDeg(double rad) { return rad / kDeg; }

// Angle in (-180, 180].
double wrapDeg(double deg)
{
    double w = std::fmod(deg, 360.0);
    if (w <= -180.0)
        w += 360.0;
    else if (w > 180.0)
        w -= 360.0;
    return w;
}

Eigen::Matrix3d rotX(double rad) { return Eigen::AngleAxisd(rad, Eigen::Vector3d::UnitX()).toRotationMatrix(); }
Eigen::Matrix3d rotY(double rad) { return Eigen::AngleAxisd(rad, Eigen::Vector3d::UnitY()).toRotationMatrix(); }
Eigen::Matrix3d rotZ(double rad) { return Eigen::AngleAxisd(rad, Eigen::Vector3d::UnitZ()).toRotationMatrix(); }

// ---------------------------------------------------------------------------
// Six axes: base rotation, shoulder and elbow about horizontal axes, spherical
// wrist (roll, bend, roll). At zero the upper arm stands upright, the forearm
// points forward along +x and so does the flange; home bends the wrist down.
class SixAxisArm : public Kinematics
{
public:
    SixAxisArm()
    {
        m_limits = {{{-170, 170}, {-120, 120}, {-150, 150}, {-180, 180}, {-125, 125}, {-360, 360}}};
    }

    int axes() const override { return 6; }
    std::string modelName() const override { return "VR6-900"; }
    Joints homePosition() const override { return {0, 0, 0, 0, 90, 0}; }

    std::array<double, 18> structureValues() const override
    {
        return {kD1, kA2, kA3, kD4, 0, kD6,    // L1..L6
                kA1, 0, 0, 0, 0, 0,            // a1..a6
                -90, 0, -90, 90, -90, 0};      // alpha1..alpha6
    }

    Eigen::Isometry3d forward(const Joints &q) const override
    {
        Eigen::Isometry3d t = Eigen::Isometry3d::Identity();
        t.rotate(rotZ(toRad(q[0])));
        t.translate(Eigen::Vector3d(kA1, 0, kD1));
        t.rotate(rotY(toRad(q[1])));
        t.translate(Eigen::Vector3d(0, 0, kA2));
        t.rotate(rotY(toRad(q[2])));
        t.translate(Eigen::Vector3d(kD4, 0, kA3));
        t.rotate(rotX(toRad(q[3])));
        t.rotate(rotY(toRad(q[4])));
        t.rotate(rotX(toRad(q[5])));
        t.translate(Eigen::Vector3d(kD6, 0, 0));
        // The flange's z axis is the approach direction.
        t.rotate(rotY(kPi / 2));
        return t;
    }

    std::vector<Joints> solutions(const Eigen::Isometry3d &flange, const Joints &current) const override
    {
        std::vector<Joints> result;
        // Frame after joint 6 (approach along its x axis) and the wrist centre.
        const Eigen::Matrix3d r6 = flange.linear() * rotY(-kPi / 2);
        const Eigen::Vector3d w = flange.translation() - kD6 * r6.col(0);

        const double radial = std::hypot(w.x(), w.y());
        const double base = radial < 1e-6 ? toRad(current[0]) : std::atan2(w.y(), w.x());
        const double l = std::hypot(kD4, kA3);
        const double beta = std::atan2(kD4, kA3);

        for (int back = 0; back < 2; ++back) {
            const double q1 = base + (back ? kPi : 0.0);
            const double u = std::cos(q1) * w.x() + std::sin(q1) * w.y() - kA1;
            const double v = w.z() - kD1;
            const double k = (u * u + v * v - kA2 * kA2 - l * l) / (2.0 * kA2);
            const double ratio = k / l;
            if (ratio > 1.0 + 1e-9 || ratio < -1.0 - 1e-9)
                continue;
            const double gamma = std::acos(std::max(-1.0, std::min(1.0, ratio)));
            for (int down = 0; down < 2; ++down) {
                const double q3 = (down ? -gamma : gamma) - beta;
                // Vector from the shoulder to the wrist centre in the arm's plane
                // before the shoulder turns.
                const double gx = kD4 * std::cos(q3) + kA3 * std::sin(q3);
                const double gy = kA2 - kD4 * std::sin(q3) + kA3 * std::cos(q3);
                const double q2 = std::atan2(gy, gx) - std::atan2(v, u);

                const Eigen::Matrix3d r3 = rotZ(q1) * rotY(q2 + q3);
                const Eigen::Matrix3d m = r3.transpose() * r6;   // = Rx(q4) Ry(q5) Rx(q6)
                const double c5 = std::max(-1.0, std::min(1.0, m(0, 0)));
                const double q5a = std::acos(c5);
                for (int flip = 0; flip < 2; ++flip) {
                    double q4, q5, q6;
                    if (std::sin(q5a) < 1e-6) {
                        // Wrist stretched: only q4 + q6 (or q4 - q6) is fixed; keep q4.
                        q4 = toRad(current[3]);
                        q5 = (c5 > 0) ? 0.0 : kPi;
                        const double sum = std::atan2(m(2, 1), m(1, 1));
                        // q5 = 0: M = Rx(q4 + q6); q5 = 180: M = Rx(q4 - q6) Ry(180).
                        q6 = (c5 > 0) ? sum - q4 : q4 - sum;
                        if (flip)
                            continue;
                    } else {
                        q5 = flip ? -q5a : q5a;
                        const double s5 = std::sin(q5);
                        q4 = std::atan2(m(1, 0) / s5, -m(2, 0) / s5);
                        q6 = std::atan2(m(0, 1) / s5, m(0, 2) / s5);
                    }
                    result.push_back({wrapDeg(toDeg(q1)), wrapDeg(toDeg(q2)), wrapDeg(toDeg(q3)),
                                      wrapDeg(toDeg(q4)), wrapDeg(toDeg(q5)), wrapDeg(toDeg(q6))});
                }
            }
        }
        return result;
    }

    ArmConfig config(const Joints &q) const override
    {
        ArmConfig c;
        const Eigen::Isometry3d f = forward(q);
        const Eigen::Matrix3d r6 = f.linear() * rotY(-kPi / 2);
        const Eigen::Vector3d w = f.translation() - kD6 * r6.col(0);
        const double q1 = toRad(q[0]);
        c.r = (std::cos(q1) * w.x() + std::sin(q1) * w.y()) >= 0 ? 0 : 1;
        const double beta = toDeg(std::atan2(kD4, kA3));
        c.d = wrapDeg(q[2] + beta) >= 0 ? 0 : 1;
        c.n = wrapDeg(q[4]) >= 0 ? 0 : 1;
        c.turn = q[5] > 180.0 ? 1 : (q[5] <= -180.0 ? -1 : 0);
        c.armOrientation = c.r == 0 ? 1 : 0;
        return c;
    }

private:
    static constexpr double kD1 = 340.0;   // shoulder height
    static constexpr double kA1 = 50.0;    // shoulder offset
    static constexpr double kA2 = 400.0;   // upper arm
    static constexpr double kA3 = 40.0;    // elbow offset
    static constexpr double kD4 = 380.0;   // forearm
    static constexpr double kD6 = 100.0;   // wrist centre to flange
};

// ---------------------------------------------------------------------------
// Four-axis SCARA: two arms turning about vertical axes, a vertical linear
// axis (joint 3, millimetres, 0 at the top) and the tool roll (joint 4).
class ScaraArm : public Kinematics
{
public:
    ScaraArm()
    {
        m_limits = {{{-132, 132}, {-150, 150}, {-210, 0}, {-360, 360}, {0, 0}, {0, 0}}};
    }

    int axes() const override { return 4; }
    std::string modelName() const override { return "VS4-600"; }
    bool isRotary(int joint) const override { return joint != 2; }
    Joints homePosition() const override { return {0, 90, -50, 0, 0, 0}; }

    std::array<double, 18> structureValues() const override
    {
        return {kL1, kL2, 0, 0, 0, 0,
                0, 0, 0, 0, 0, 0,
                0, 0, 0, 0, 0, 0};
    }

    Eigen::Isometry3d forward(const Joints &q) const override
    {
        const double q1 = toRad(q[0]);
        const double q12 = toRad(q[0] + q[1]);
        Eigen::Isometry3d t = Eigen::Isometry3d::Identity();
        t.translation() = Eigen::Vector3d(kL1 * std::cos(q1) + kL2 * std::cos(q12),
                                          kL1 * std::sin(q1) + kL2 * std::sin(q12), q[2]);
        t.linear() = rotZ(toRad(q[0] + q[1] + q[3]));
        return t;
    }

    std::vector<Joints> solutions(const Eigen::Isometry3d &flange, const Joints &current) const override
    {
        (void)current;
        std::vector<Joints> result;
        // The tool can only turn about the vertical axis.
        const Eigen::Vector3d zAxis = flange.linear().col(2);
        if (zAxis.z() < std::cos(toRad(0.5)))
            return result;
        const Eigen::Vector3d p = flange.translation();
        const double d = (p.x() * p.x() + p.y() * p.y() - kL1 * kL1 - kL2 * kL2) / (2.0 * kL1 * kL2);
        if (d > 1.0 + 1e-9 || d < -1.0 - 1e-9)
            return result;
        const double a = std::acos(std::max(-1.0, std::min(1.0, d)));
        const double roll = std::atan2(flange.linear()(1, 0), flange.linear()(0, 0));
        for (int left = 0; left < 2; ++left) {
            const double q2 = left ? -a : a;
            const double q1 = std::atan2(p.y(), p.x()) - std::atan2(kL2 * std::sin(q2), kL1 + kL2 * std::cos(q2));
            const double q4 = roll - q1 - q2;
            result.push_back({wrapDeg(toDeg(q1)), wrapDeg(toDeg(q2)), p.z(), wrapDeg(toDeg(q4)), 0, 0});
        }
        return result;
    }

    ArmConfig config(const Joints &q) const override
    {
        ArmConfig c;
        c.armOrientation = q[1] >= 0 ? 1 : 0;
        c.r = c.armOrientation == 1 ? 0 : 1;
        c.turn = q[3] > 180.0 ? 1 : (q[3] <= -180.0 ? -1 : 0);
        return c;
    }

private:
    static constexpr double kL1 = 325.0;
    static constexpr double kL2 = 275.0;
};

} // namespace

Eigen::Isometry3d poseToTransform(const Pose &pose)
{
    Eigen::Isometry3d t = Eigen::Isometry3d::Identity();
    t.translation() = Eigen::Vector3d(pose[0], pose[1], pose[2]);
    t.linear() = rotZ(toRad(pose[5])) * rotY(toRad(pose[4])) * rotX(toRad(pose[3]));
    return t;
}

Pose transformToPose(const Eigen::Isometry3d &t)
{
    const Eigen::Matrix3d r = t.linear();
    double a, b, c;
    const double cb = std::hypot(r(0, 0), r(1, 0));
    b = std::atan2(-r(2, 0), cb);
    if (cb > 1e-9) {
        a = std::atan2(r(2, 1), r(2, 2));
        c = std::atan2(r(1, 0), r(0, 0));
    } else {
        a = 0.0;
        c = std::atan2(-r(0, 1), r(1, 1));
    }
    const Eigen::Vector3d p = t.translation();
    auto clean = [](double v) { return std::abs(v) < 1e-9 ? 0.0 : v; };
    return {clean(p.x()), clean(p.y()), clean(p.z()), clean(toDeg(a)), clean(toDeg(b)), clean(toDeg(c))};
}

bool Kinematics::withinLimits(const Joints &q) const
{
    for (int i = 0; i < axes(); ++i) {
        if (q[i] < m_limits[i].min - 1e-6 || q[i] > m_limits[i].max + 1e-6)
            return false;
    }
    return true;
}

Joints Kinematics::clampToLimits(const Joints &q) const
{
    Joints out = q;
    for (int i = 0; i < 6; ++i) {
        if (i >= axes()) {
            out[i] = 0.0;
            continue;
        }
        out[i] = std::max(m_limits[i].min, std::min(m_limits[i].max, q[i]));
    }
    return out;
}

std::optional<Joints> Kinematics::inverse(const Eigen::Isometry3d &flange, const Joints &current,
                                          const ConfigRequest &request) const
{
    std::optional<Joints> best;
    double bestCost = std::numeric_limits<double>::infinity();
    for (Joints q : solutions(flange, current)) {
        if (request.strict) {
            const ArmConfig c = config(q);
            if (axes() == 6 && (c.r != request.config.r || c.d != request.config.d || c.n != request.config.n))
                continue;
            if (axes() == 4 && c.armOrientation != (request.config.armOrientation != 0 ? 1 : 0))
                continue;
        }
        // Joints with more than one turn of range take the equivalent angle
        // nearest to where they stand.
        for (int i = 0; i < axes(); ++i) {
            if (!isRotary(i))
                continue;
            while (q[i] - current[i] > 180.0 && q[i] - 360.0 >= m_limits[i].min - 1e-6)
                q[i] -= 360.0;
            while (current[i] - q[i] > 180.0 && q[i] + 360.0 <= m_limits[i].max + 1e-6)
                q[i] += 360.0;
        }
        if (!withinLimits(q))
            continue;
        double cost = 0.0;
        for (int i = 0; i < axes(); ++i)
            cost = std::max(cost, std::abs(q[i] - current[i]) * (isRotary(i) ? 1.0 : 0.5));
        if (cost < bestCost) {
            bestCost = cost;
            best = q;
        }
    }
    // Make sure the chosen solution really reaches the target.
    if (best) {
        const Eigen::Isometry3d reached = forward(*best);
        const double positionError = (reached.translation() - flange.translation()).norm();
        const double angleError = Eigen::AngleAxisd(reached.linear().transpose() * flange.linear()).angle();
        if (positionError > 1e-3 || (axes() == 6 && angleError > 1e-5))
            return std::nullopt;
    }
    return best;
}

std::unique_ptr<Kinematics> makeKinematics(int axes)
{
    if (axes == 4)
        return std::make_unique<ScaraArm>();
    return std::make_unique<SixAxisArm>();
}

} // namespace varlosim
