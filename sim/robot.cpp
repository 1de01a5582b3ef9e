#include "robot.h"

#include "defaults.h"
#include "documentstore.h"
#include "jsonfields.h"
#include "log.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace varlosim {

namespace {

constexpr double kMaxJointTurn = 720.0;        // degrees
constexpr double kMaxLinearTravel = 5000.0;    // millimetres
constexpr double kMaxFrameValue = 1e6;         // millimetres or degrees

template <std::size_t N>
void loadArray(const std::optional<json> &doc, const char *key, std::array<double, N> &out,
               const std::array<double, N> &fallback, std::size_t used)
{
    out = fallback;
    if (!doc || !doc->is_object())
        return;
    const auto it = doc->find(key);
    if (it == doc->end() || !it->is_array())
        return;
    for (std::size_t i = 0; i < used && i < it->size() && i < N; ++i) {
        const json &e = (*it)[i];
        // A speed that is missing, zero or negative would make motions take
        // forever or divide by zero; such entries keep the factory value.
        // Speeds beyond a hundred times the factory value are clamped to it:
        // no arm moves faster.
        if (e.is_number() && std::isfinite(e.get<double>()) && e.get<double>() > fallback[i] * 0.01)
            out[i] = std::min(e.get<double>(), fallback[i] * 100.0);
    }
}

} // namespace

Robot::Robot(DocumentStore &store, std::unique_ptr<Kinematics> model, std::string address)
    : m_store(store), m_model(std::move(model)), m_address(std::move(address))
{
    m_joints = m_model->homePosition();
    m_temperature.fill(28.0);
    m_voltage.fill(48.0);
}

Robot::~Robot()
{
    stop();
}

void Robot::start()
{
    std::lock_guard<StateLock> guard(m_lock);
    if (m_running)
        return;
    m_running = true;
    m_ticker = std::thread(&Robot::tickLoop, this);
}

void Robot::stop()
{
    {
        std::lock_guard<StateLock> guard(m_lock);
        if (!m_running)
            return;
        m_running = false;
    }
    m_wake.notify_all();
    if (m_ticker.joinable())
        m_ticker.join();
}

void Robot::reloadSettings()
{
    const bool scara = m_model->axes() == 4;
    Settings s;
    const auto common = m_store.read("/settings/common");
    double ratio = 50.0;
    if (common && readNumber(*common, "ratio", ratio))
        s.ratio = std::max(1.0, std::min(100.0, ratio));

    const std::array<double, 6> teachJointVel = scara ? std::array<double, 6>{40, 40, 100, 60, 1, 1}
                                                      : std::array<double, 6>{40, 40, 40, 60, 60, 60};
    const std::array<double, 6> teachJointAcc = scara ? std::array<double, 6>{120, 120, 400, 180, 1, 1}
                                                      : std::array<double, 6>{120, 120, 120, 180, 180, 180};
    const std::array<double, 6> playJointVel = scara ? std::array<double, 6>{240, 360, 800, 1200, 1, 1}
                                                     : std::array<double, 6>{180, 180, 180, 225, 225, 225};
    const std::array<double, 6> playJointAcc = scara ? std::array<double, 6>{720, 1080, 3000, 3600, 1, 1}
                                                     : std::array<double, 6>{360, 360, 360, 450, 450, 450};
    const std::size_t used = static_cast<std::size_t>(m_model->axes());
    const auto teachJoint = m_store.read("/settings/teach/joint");
    loadArray(teachJoint, "velocity", s.teachJointVel, teachJointVel, used);
    loadArray(teachJoint, "acceleration", s.teachJointAcc, teachJointAcc, used);
    const auto teachCoor = m_store.read("/settings/teach/coordinate");
    loadArray(teachCoor, "velocity", s.teachCoorVel, {250, 250, 250, 60, 60, 60}, 6);
    loadArray(teachCoor, "acceleration", s.teachCoorAcc, {500, 500, 500, 120, 120, 120}, 6);
    const auto playJoint = m_store.read("/settings/playback/joint");
    loadArray(playJoint, "velocity", s.playJointVel, playJointVel, used);
    loadArray(playJoint, "acceleration", s.playJointAcc, playJointAcc, used);
    const auto playCoor = m_store.read("/settings/playback/coordinate");
    loadArray(playCoor, "velocity", s.playCoorVel, {1000, 180}, 2);
    loadArray(playCoor, "acceleration", s.playCoorAcc, {2000, 360}, 2);
    loadArray(m_store.read("/settings/teach/auxJoint"), "velocity", s.auxTeachVel, {30, 30, 30}, 3);
    const auto playAux = m_store.read("/settings/playback/auxJoint");
    loadArray(playAux, "velocity", s.auxPlayVel, {90, 90, 90}, 3);
    loadArray(playAux, "acceleration", s.auxPlayAcc, {180, 180, 180}, 3);

    const auto inch = m_store.read("/settings/teach/inch");
    double v = 0;
    if (inch && readNumber(*inch, "distance", v) && v > 0 && v <= 100)
        s.inchDistance = v;
    if (inch && readNumber(*inch, "angle", v) && v > 0 && v <= 90)
        s.inchAngle = v;

    auto loadFrames = [](const std::optional<json> &doc, std::array<Frame, 10> &frames) {
        if (!doc || !doc->is_array())
            return;
        for (std::size_t i = 0; i < 10 && i < doc->size(); ++i) {
            const json &e = (*doc)[i];
            Frame f;
            readFlag(e, "enable", f.enable);
            Pose p{};
            if (readArray(e, "params", p, 6))
                f.params = p;
            // A frame more than a kilometre away (or turned by thousands of
            // turns) is no frame of this arm: it is ignored, as if disabled.
            if (std::any_of(p.begin(), p.end(), [](double v) { return std::abs(v) > kMaxFrameValue; })) {
                logVerbose("frame " + std::to_string(i) + " ignored: values beyond " + std::to_string(kMaxFrameValue));
                f = Frame{};
            }
            frames[i] = f;
        }
    };
    loadFrames(m_store.read("/settings/coordinate/tool"), s.tools);
    loadFrames(m_store.read("/settings/coordinate/user"), s.users);

    // Joint limits of the structure document, where they make sense.
    std::array<Kinematics::Limit, 6> limits = m_model->limits();
    const auto structure = m_store.read("/properties/structure");
    if (structure && structure->is_object() && structure->contains("structure")) {
        const json &st = (*structure)["structure"];
        if (st.is_object() && st.contains("limits") && st["limits"].is_array()) {
            const json &l = st["limits"];
            for (std::size_t i = 0; i < used && i < l.size(); ++i) {
                if (l[i].is_array() && l[i].size() == 2 && l[i][0].is_number() && l[i][1].is_number()) {
                    // Clamped to what a joint can have: two turns either way,
                    // or the length of a linear axis.
                    const double reach = m_model->isRotary(static_cast<int>(i)) ? kMaxJointTurn : kMaxLinearTravel;
                    const double lo = std::max(-reach, l[i][0].get<double>());
                    const double hi = std::min(reach, l[i][1].get<double>());
                    if (std::isfinite(lo) && std::isfinite(hi) && lo < hi)
                        limits[i] = {lo, hi};
                }
            }
        }
    }

    std::lock_guard<StateLock> guard(m_lock);
    m_settings = s;
    m_model->setLimits(limits);
}

// ---------------------------------------------------------------------------
// Simulation.

void Robot::tickLoop()
{
    using clock = std::chrono::steady_clock;
    auto last = clock::now();
    std::unique_lock<StateLock> lock(m_lock);
    while (m_running) {
        const bool quiet = m_queue.empty() && std::all_of(m_jog.begin(), m_jog.end(), [](int d) { return d == 0; })
                        && std::all_of(m_auxJog.begin(), m_auxJog.end(), [](int d) { return d == 0; });
        m_wake.wait_for(lock, std::chrono::milliseconds(quiet ? m_quietTickMs : 10));
        if (!m_running)
            break;
        const auto now = clock::now();
        const double dt = std::min(0.1, std::chrono::duration<double>(now - last).count());
        last = now;
        if (dt > 0)
            advance(dt);
    }
}

void Robot::advance(double dt)
{
    const Joints before = m_joints;
    if (!m_queue.empty())
        advanceMotion(dt);
    else
        advanceJog(dt);
    for (int i = 0; i < 6; ++i)
        m_velocity[i] = (m_joints[i] - before[i]) / dt;
    advanceSignals(dt);
}

void Robot::advanceSignals(double dt)
{
    std::normal_distribution<double> noise(0.0, 1.0);
    const bool servoOn = m_power && m_controlMode != "disable";
    if (m_power)
        m_powerOnSeconds += dt;
    if (servoOn)
        m_servoOnSeconds += dt;
    double total = 0.0;
    for (int i = 0; i < 6; ++i) {
        double amps = 0.0;
        if (servoOn && i < m_model->axes()) {
            // Holding torque against gravity on the shoulder and elbow, plus a
            // part that follows the speed.
            double hold = 0.15;
            if (m_model->axes() == 6 && (i == 1 || i == 2))
                hold = 0.6 + 0.9 * std::abs(std::sin((m_joints[1] + (i == 2 ? m_joints[2] : 0)) * kPi / 180.0));
            amps = hold + 0.004 * std::abs(m_velocity[i]) + 0.01 * noise(m_noise);
        } else {
            amps = 0.002 * noise(m_noise);
        }
        m_current[i] = amps;
        total += std::abs(amps);
        // Windings warm up with the square of the current and cool towards the
        // cabinet's air.
        const double ambient = 26.0;
        const double target = ambient + 9.0 * amps * amps + (servoOn ? 2.0 : 0.0);
        m_temperature[i] += (target - m_temperature[i]) * std::min(1.0, dt / 90.0) + 0.01 * noise(m_noise);
        m_voltage[i] = m_power ? 48.0 - 0.15 * std::abs(amps) + 0.05 * noise(m_noise) : 0.0;
    }
    m_current[6] = total;
    m_cabinetTemperature += ((servoOn ? 36.0 : 31.0) - m_cabinetTemperature) * std::min(1.0, dt / 120.0);
}
// ---------------------------------------------------------------------------
// Helpers under the lock.

Eigen::Isometry3d Robot::frameLocked(const std::array<Frame, 10> &table, int index) const
{
    if (index < 0 || index >= 10 || !table[index].enable)
        return Eigen::Isometry3d::Identity();
    return poseToTransform(table[index].params);
}

Pose Robot::tcpPoseLocked(const Joints &q) const
{
    const Eigen::Isometry3d user = frameLocked(m_settings.users, m_user);
    const Eigen::Isometry3d tool = frameLocked(m_settings.tools, m_tool);
    return transformToPose(user.inverse() * m_model->forward(q) * tool);
}

bool Robot::anyAlarmLocked() const
{
    for (const auto &group : m_alarms) {
        if (!group.second.empty())
            return true;
    }
    return false;
}

bool Robot::canMoveLocked(std::string &why) const
{
    if (m_emergencyStop) { why = "emergency stop pressed"; return false; }
    if (!m_power) { why = "arm power is off"; return false; }
    if (m_controlMode != "enable") { why = "arm not enabled (control mode " + m_controlMode + ")"; return false; }
    if (anyAlarmLocked()) { why = "alarms active; clear them first"; return false; }
    return true;
}

void Robot::stopJogLocked()
{
    m_jog.fill(0);
    m_auxJog.fill(0);
}

void Robot::disableLocked()
{
    abortAllLocked(true);
    stopJogLocked();
    m_controlMode = "disable";
}

void Robot::raiseAlarmLocked(int group, int id)
{
    if (group < 0 || group >= 7 || id < 0 || id >= 64 * 32)
        return;
    if (m_alarms[group].insert(id).second)
        logVerbose("alarm raised: group " + std::to_string(group) + " id " + std::to_string(id));
}

void Robot::clearAlarmsLocked()
{
    m_alarms.clear();
    m_collision = false;
    m_skinCollision = false;
    // An alarm whose cause is still there comes straight back.
    if (m_emergencyStop)
        raiseAlarmLocked(0, ControllerAlarm::EmergencyStop);
}

void Robot::applyControlModeLocked(const std::string &mode, std::string *why)
{
    if (mode == "disable") {
        disableLocked();
        return;
    }
    std::string reason;
    if (m_emergencyStop)
        reason = "emergency stop pressed";
    else if (!m_power)
        reason = "arm power is off";
    else if (anyAlarmLocked())
        reason = "alarms active; clear them first";
    if (!reason.empty()) {
        if (why)
            *why = reason;
        return;
    }
    if (mode != m_controlMode) {
        abortAllLocked(true);
        stopJogLocked();
    }
    m_controlMode = mode;
}
// ---------------------------------------------------------------------------
// Requests about the controller as a whole.

json Robot::connectionState()
{
    std::lock_guard<StateLock> guard(m_lock);
    return json{{"state", "connected"}, {"axis", m_model->axes()}, {"address", m_address}};
}

json Robot::version()
{
    json v = {{"control", "VC-3.2.1-sim"}, {"algs", "ALG-2.8.0"}, {"system", "SYS-5.10.4"},
              {"unio", "UNIO-1.4.2"}, {"safeio", "SAFEIO-1.2.0"}, {"terminal", "TP-1.6.3"},
              {"feedback", "FB-1.1.0"}};
    for (int i = 1; i <= 6; ++i)
        v["servo" + std::to_string(i)] = i <= m_model->axes() ? "SV-2.4.0" : "none";
    return v;
}

json Robot::setControlMode(const json &body)
{
    std::string mode;
    if (!readString(body, "controlMode", mode) || (mode != "disable" && mode != "enable" && mode != "drag"))
        return refusal("controlMode must be \"disable\", \"enable\" or \"drag\"");
    std::lock_guard<StateLock> guard(m_lock);
    std::string why;
    applyControlModeLocked(mode, &why);
    if (!why.empty())
        return json{{"result", false}, {"error", why}, {"controlMode", m_controlMode}};
    return json{{"result", true}, {"controlMode", m_controlMode}};
}

json Robot::controlMode()
{
    std::lock_guard<StateLock> guard(m_lock);
    return json{{"controlMode", m_controlMode}};
}

json Robot::setPower(const json &body)
{
    bool on = false;
    if (!readFlag(body, "value", on))
        return refusal("value must be a boolean");
    std::lock_guard<StateLock> guard(m_lock);
    if (!on && m_power)
        disableLocked();
    m_power = on;
    return json{{"result", true}, {"value", m_power}};
}

json Robot::power()
{
    std::lock_guard<StateLock> guard(m_lock);
    return json{{"value", m_power}};
}

json Robot::setManualCommon(const json &body)
{
    double ratio = 0;
    if (!readNumber(body, "ratio", ratio) || ratio < 1 || ratio > 100)
        return refusal("ratio must be 1 to 100");
    std::lock_guard<StateLock> guard(m_lock);
    m_manualRatio = ratio;
    return json{{"result", true}, {"ratio", ratio}};
}

json Robot::manualCommon()
{
    std::lock_guard<StateLock> guard(m_lock);
    return json{{"ratio", m_manualRatio}};
}

json Robot::resetCollision()
{
    std::lock_guard<StateLock> guard(m_lock);
    m_collision = false;
    m_alarms[0].erase(ControllerAlarm::Collision);
    return json{{"result", true}};
}

json Robot::resetElecSkin()
{
    std::lock_guard<StateLock> guard(m_lock);
    m_skinCollision = false;
    m_alarms[0].erase(ControllerAlarm::SkinCollision);
    return json{{"result", true}};
}

json Robot::setJointBrakes(const json &body)
{
    std::lock_guard<StateLock> guard(m_lock);
    int changed = 0;
    for (int j = 0; j < 6; ++j) {
        bool v = false;
        const std::string key = "joint" + std::to_string(j + 1);
        if (readFlag(body, key.c_str(), v)) {
            m_brakes[j] = v;
            ++changed;
        }
    }
    if (changed == 0)
        return refusal("no joint1 ... joint6 key");
    return json{{"result", true}};
}

json Robot::jointBrakes()
{
    std::lock_guard<StateLock> guard(m_lock);
    json r = json::object();
    for (int j = 0; j < 6; ++j)
        r["joint" + std::to_string(j + 1)] = m_brakes[j];
    return r;
}

json Robot::setDynamicBrake(const json &body)
{
    bool v = false;
    if (!readFlag(body, "dynamicBrake", v))
        return refusal("dynamicBrake must be a boolean");
    std::lock_guard<StateLock> guard(m_lock);
    m_dynamicBrake = v;
    return json{{"result", true}, {"dynamicBrake", v}};
}

json Robot::workTime()
{
    auto split = [](double seconds) {
        const long long total = static_cast<long long>(seconds);
        return json{{"days", total / 86400}, {"hour", total / 3600 % 24}, {"min", total / 60 % 60}, {"sec", total % 60}};
    };
    std::lock_guard<StateLock> guard(m_lock);
    return json{{"powerOnTime", split(m_powerOnSeconds)}, {"servoEnableTime", split(m_servoOnSeconds)}};
}

json Robot::clearWorkTime()
{
    std::lock_guard<StateLock> guard(m_lock);
    m_powerOnSeconds = 0.0;
    m_servoOnSeconds = 0.0;
    return json{{"result", true}};
}

Pose Robot::flangePose()
{
    std::lock_guard<StateLock> guard(m_lock);
    return transformToPose(m_model->forward(m_joints));
}
} // namespace varlosim
