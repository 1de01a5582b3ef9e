// Arm models of VarloSim: a 6-axis arm with a spherical wrist and a 4-axis
// SCARA, each with closed-form forward and inverse kinematics.
//
// Units: millimetres and degrees at the interface (Cartesian poses x, y, z, a,
// b, c with the orientation R = Rz(c) * Ry(b) * Rx(a)); the SCARA's third joint
// is a linear axis in millimetres. Joint vectors always hold six values; the
// SCARA uses the first four.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Geometry>

namespace varlosim {

constexpr double kPi = 3.14159265358979323846;

using Joints = std::array<double, 6>;
using Pose = std::array<double, 6>;   // x, y, z, a, b, c

Eigen::Isometry3d poseToTransform(const Pose &pose);
Pose transformToPose(const Eigen::Isometry3d &transform);

// Arm configuration of a joint vector: shoulder (r: 0 front, 1 back), elbow
// (d: 0 up, 1 down), wrist (n: 0 q5 >= 0, 1 flipped), turn of the last joint;
// for the SCARA only the hand counts (orientation 1 right, 0 left).
struct ArmConfig
{
    int r = 0;
    int d = 0;
    int n = 0;
    int turn = 0;
    int armOrientation = 1;
};

// What a target asks of the solution: nothing (nearest to the current joints)
// or one configuration.
struct ConfigRequest
{
    bool strict = false;
    ArmConfig config;
};

class Kinematics
{
public:
    struct Limit { double min; double max; };

    virtual ~Kinematics() = default;

    virtual int axes() const = 0;
    virtual std::string modelName() const = 0;
    // Flange frame in the base frame.
    virtual Eigen::Isometry3d forward(const Joints &q) const = 0;
    // Every solution for the flange frame, before limits.
    virtual std::vector<Joints> solutions(const Eigen::Isometry3d &flange, const Joints &current) const = 0;
    virtual ArmConfig config(const Joints &q) const = 0;
    // Link lengths for the structure document: L1..L6, a1..a6, alpha1..alpha6.
    virtual std::array<double, 18> structureValues() const = 0;
    virtual Joints homePosition() const = 0;

    // The solution within the limits that the request allows and that lies
    // nearest to the current joints (the last joint and the wrist roll may take
    // the equivalent angle a turn away).
    std::optional<Joints> inverse(const Eigen::Isometry3d &flange, const Joints &current,
                                  const ConfigRequest &request = {}) const;

    bool withinLimits(const Joints &q) const;
    Joints clampToLimits(const Joints &q) const;
    const std::array<Limit, 6> &limits() const { return m_limits; }
    void setLimits(const std::array<Limit, 6> &limits) { m_limits = limits; }
    // Which joints turn (degrees) rather than slide (millimetres).
    virtual bool isRotary(int joint) const { (void)joint; return true; }

protected:
    std::array<Limit, 6> m_limits{};
};

std::unique_ptr<Kinematics> makeKinematics(int axes);

} // namespace varlosim
