#include "services.h"

#include "documentstore.h"
#include "jsonfields.h"
#include "robot.h"

#include <algorithm>
#include <cmath>

namespace varlosim {

namespace {

constexpr double kGravity = 9.81;
constexpr double kEncoderCountsPerSecond = 200.0;   // conveyor speed
constexpr double kPartEverySeconds = 5.0;           // a part passes the sensor
constexpr double kReplayLoopSeconds = 2.0;
constexpr std::size_t kMaxTrajectoryPoints = 40000;
constexpr int kMaxConveyors = 8;

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool readConveyor(const json &body, int &index)
{
    return readInt(body, "conveyor_index", index) && index >= 0 && index < kMaxConveyors;
}

} // namespace

Services::Services(Robot &robot, DocumentStore &store) : m_robot(robot), m_store(store) {}

// The sensor's raw reading: the payload's weight and its moment about the
// sensor, with a little noise.
std::array<double, 6> Services::rawForceLocked()
{
    double mass = 0.0, cx = 0.0, cy = 0.0;
    if (const auto load = m_store.read("/settings/function/loadParams")) {
        readNumber(*load, "loadValue", mass);
        readNumber(*load, "centerX", cx);
        readNumber(*load, "centerY", cy);
    }
    if (mass < 0 || mass > 1000)
        mass = 0.0;
    std::normal_distribution<double> n(0.0, 0.05);
    const double fz = -mass * kGravity;
    return {n(m_noise), n(m_noise), fz + n(m_noise), fz * cy / 1000.0 + 0.01 * n(m_noise),
            -fz * cx / 1000.0 + 0.01 * n(m_noise), 0.01 * n(m_noise)};
}

// Force sensor: readings relative to the zero set by "home".
json Services::forceData()
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto raw = rawForceLocked();
    std::array<double, 6> value{};
    for (int i = 0; i < 6; ++i)
        value[i] = raw[i] - m_forceOffset[i];
    return json{{"value", reportedArray(value)}};
}

json Services::forceHome()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_forceOffset = rawForceLocked();
    return json{{"result", true}};
}

// Conveyor tracking: an encoder that counts while listened to, and the count
// latched when the last part passed the sensor.
json Services::listenSensor(const json &body)
{
    int index = 0;
    std::string cmd;
    readString(body, "cmd", cmd);
    if (!readConveyor(body, index) || (cmd != "start" && cmd != "stop"))
        return refusal("conveyor_index 0 to 7 and cmd \"start\" or \"stop\"");
    std::lock_guard<std::mutex> guard(m_lock);
    Conveyor &c = m_conveyors[index];
    c.listening = cmd == "start";
    c.since = Clock::now();
    return json{{"result", true}};
}

json Services::readEncoder(const json &body, bool latched)
{
    int index = 0;
    if (!readConveyor(body, index))
        return refusal("conveyor_index must be 0 to 7");
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_conveyors.find(index);
    double seconds = 0.0;
    if (it != m_conveyors.end() && it->second.listening)
        seconds = secondsSince(it->second.since);
    if (latched)
        seconds = std::floor(seconds / kPartEverySeconds) * kPartEverySeconds;
    return json{{"result", true}, {"value", std::round(seconds * kEncoderCountsPerSecond)}};
}

// Trajectory replay in debug mode: one loop every two seconds.
json Services::startReplay(const json &body)
{
    std::string cmd;
    readString(body, "cmd", cmd);
    int loops = 1;
    readInt(body, "loopTimes", loops);
    std::lock_guard<std::mutex> guard(m_lock);
    if (cmd == "stop") {
        m_replayRunning = false;
    } else {
        m_replayRunning = true;
        m_replayLoops = std::max(1, std::min(loops, 100000));
        m_replayStart = Clock::now();
    }
    return json{{"result", true}};
}

json Services::replayState()
{
    std::lock_guard<std::mutex> guard(m_lock);
    int done = 0;
    if (m_replayRunning)
        done = std::min(m_replayLoops, static_cast<int>(secondsSince(m_replayStart) / kReplayLoopSeconds));
    const bool finished = !m_replayRunning || done >= m_replayLoops;
    return json{{"currentTimes", done}, {"isDone", finished}};
}

// Replay parameters: the controller keeps them as its document.
json Services::setReplayParams(const json &body)
{
    if (!body.is_object())
        return refusal("body must be an object");
    const auto status = m_store.write("/settings/function/reTraceParams", body);
    return json{{"result", status == DocumentStore::Status::Ok}};
}

// Multi-robot calibration: accepted when both point sets hold the same number
// of points, at least three.
json Services::multiCalibration(const json &body)
{
    const bool ok = body.is_object() && body.contains("master") && body.contains("slave")
                 && body["master"].is_array() && body["slave"].is_array()
                 && body["master"].size() == body["slave"].size() && body["master"].size() >= 3;
    std::lock_guard<std::mutex> guard(m_lock);
    m_multiCalibrationState = ok ? 1 : -1;
    return json{{"result", ok}};
}

json Services::multiCalibrationState()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return json{{"state", m_multiCalibrationState}};
}

// Mounting posture from the base's orientation (a, b, c of the pose): the tilt
// of its z axis from the vertical, and the direction of the tilt.
json Services::calcInstall(const json &body)
{
    Pose p{};
    if (!readArray(body, "cartesianCoord", p, 6) || body["cartesianCoord"].size() != 6)
        return refusal("cartesianCoord must be an array of 6 numbers");
    const Eigen::Vector3d z = poseToTransform(p).linear().col(2);
    const double slope = std::acos(std::max(-1.0, std::min(1.0, z.z()))) * 180.0 / kPi;
    const double rotation = std::hypot(z.x(), z.y()) < 1e-9 ? 0.0 : std::atan2(z.y(), z.x()) * 180.0 / kPi;
    return json{{"result", true}, {"SlopeAngle", reported(slope)}, {"RotationAngle", reported(rotation)}};
}

// Trajectory check: every point of the stored point list must be reachable
// with the given tool and user frame; "index" names the first that is not.
json Services::checkTrajectory(const json &body)
{
    int tool = 0, user = 0;
    readInt(body, "tool", tool);
    readInt(body, "user", user);
    const auto doc = m_store.read("/process/trajectory/trajPoints");
    if (!doc || !doc->is_object() || !doc->contains("point") || !(*doc)["point"].is_array())
        return json{{"result", true}, {"value", false}, {"index", 0}};
    const json &points = (*doc)["point"];
    for (std::size_t i = 0; i < points.size() && i < kMaxTrajectoryPoints; ++i) {
        const json &p = points[i];
        const json coordinate = p.is_object() && p.contains("P") ? p["P"] : json();
        const json answer = m_robot.inverseSolution(json{{"coordinate", coordinate}, {"tool", tool}, {"user", user}});
        if (!answer.value("result", false))
            return json{{"result", true}, {"value", false}, {"index", static_cast<int>(i)}};
    }
    return json{{"result", true}, {"value", true}, {"index", 0}};
}

// Vision system: the camera of each index sees one part, 10 mm apart.
json Services::visionCoordinate(const json &body)
{
    int index = 0;
    if (!readInt(body, "index", index) || index < 0 || index > 99)
        return refusal("index must be 0 to 99");
    return json{{"result", true}, {"x", 350.0 + 10.0 * index}, {"y", -20.0}};
}

} // namespace varlosim
