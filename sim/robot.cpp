#include "robot.h"

#include "defaults.h"
#include "documentstore.h"
#include "log.h"

#include <algorithm>
#include <chrono>
#include <cmath>

using nlohmann::json;

namespace varlosim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxQueuedMotions = 16;
constexpr double kTickSeconds = 0.010;

// Quintic time scaling: starts and ends at rest with zero acceleration. Its peak
// speed is 1.875 times the average and its peak acceleration 5.7735 * distance / T^2.
double quintic(double tau)
{
    tau = std::max(0.0, std::min(1.0, tau));
    return tau * tau * tau * (10.0 + tau * (-15.0 + 6.0 * tau));
}

double durationFor(double distance, double velocity, double acceleration)
{
    if (distance <= 1e-9)
        return 0.0;
    return std::max(1.875 * distance / velocity, std::sqrt(5.7735 * distance / acceleration));
}

bool readNumber(const json &o, const char *key, double &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_number())
        return false;
    const double v = it->get<double>();
    if (!std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool readInt(const json &o, const char *key, int &out)
{
    double v = 0;
    if (!readNumber(o, key, v) || v != std::floor(v) || std::abs(v) > 2147483647.0)
        return false;
    out = static_cast<int>(v);
    return true;
}

// Booleans arrive as JSON booleans, as 0/1 or as the texts "true"/"false".
bool readFlag(const json &o, const char *key, bool &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end())
        return false;
    if (it->is_boolean()) {
        out = it->get<bool>();
        return true;
    }
    if (it->is_number_integer() || it->is_number_unsigned()) {
        const auto v = it->get<long long>();
        if (v != 0 && v != 1)
            return false;
        out = v == 1;
        return true;
    }
    if (it->is_string()) {
        const std::string s = it->get<std::string>();
        if (s == "true") { out = true; return true; }
        if (s == "false") { out = false; return true; }
    }
    return false;
}

bool readString(const json &o, const char *key, std::string &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
}

// Up to n finite numbers of an array; false unless at least `needed` are there.
template <std::size_t N>
bool readArray(const json &o, const char *key, std::array<double, N> &out, std::size_t needed)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_array() || it->size() < needed)
        return false;
    std::array<double, N> values = out;
    for (std::size_t i = 0; i < N && i < it->size(); ++i) {
        const json &e = (*it)[i];
        if (!e.is_number() || !std::isfinite(e.get<double>()))
            return false;
        values[i] = e.get<double>();
    }
    out = values;
    return true;
}

double round4(double v)
{
    const double r = std::round(v * 1e4) / 1e4;
    return r == 0.0 ? 0.0 : r;   // no "-0"
}

template <std::size_t N>
json numbers(const std::array<double, N> &values)
{
    json a = json::array();
    for (double v : values)
        a.push_back(round4(v));
    return a;
}

// 64 channels as 8 integers, channel k in bit k mod 8 of integer k / 8.
json packBits(const bool *bits, std::size_t count)
{
    json a = json::array();
    for (std::size_t byte = 0; byte < count / 8; ++byte) {
        int v = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (bits[byte * 8 + bit])
                v |= 1 << bit;
        }
        a.push_back(v);
    }
    return a;
}

// Sets the channels of the integers that are present and valid (0 to 255).
void unpackBits(const json &values, bool *bits, std::size_t count)
{
    if (!values.is_array())
        return;
    for (std::size_t byte = 0; byte < count / 8 && byte < values.size(); ++byte) {
        const json &e = values[byte];
        if (!e.is_number_integer() && !e.is_number_unsigned())
            continue;
        const long long v = e.get<long long>();
        if (v < 0 || v > 255)
            continue;
        for (int bit = 0; bit < 8; ++bit)
            bits[byte * 8 + bit] = (v >> bit) & 1;
    }
}

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
        if (e.is_number() && std::isfinite(e.get<double>()) && e.get<double>() > fallback[i] * 0.01)
            out[i] = e.get<double>();
    }
}

const char *kindName(MotionKind kind)
{
    switch (kind) {
    case MotionKind::Go: return "go";
    case MotionKind::MoveJ: return "moveJ";
    case MotionKind::GoR: return "goR";
    case MotionKind::MoveR: return "moveR";
    case MotionKind::AuxGo: return "auxGo";
    case MotionKind::GoHome: return "goHome";
    case MotionKind::Inch: return "inch";
    case MotionKind::Count: break;
    }
    return "motion";
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
                    const double lo = l[i][0].get<double>(), hi = l[i][1].get<double>();
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
        m_wake.wait_for(lock, std::chrono::milliseconds(10));
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

void Robot::advanceMotion(double dt)
{
    Motion &m = m_queue.front();
    if (!m.started && !startMotionLocked(m)) {
        const Motion failed = m;
        m_queue.pop_front();
        raiseAlarmLocked(0, ControllerAlarm::PathNotReachable);
        finishMotionLocked(failed, true);
        abortAllLocked(true);
        return;
    }
    m.elapsed += dt;
    const double tau = m.duration > 0 ? m.elapsed / m.duration : 1.0;
    const double s = quintic(tau);
    if (!m.linear) {
        for (int i = 0; i < 6; ++i)
            m_joints[i] = m.start[i] + s * (m.target[i] - m.start[i]);
    } else {
        Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
        f.translation() = m.startFlange.translation() + s * (m.targetFlange.translation() - m.startFlange.translation());
        const Eigen::Quaterniond q0(m.startFlange.linear()), q1(m.targetFlange.linear());
        f.linear() = q0.slerp(s, q1).toRotationMatrix();
        const auto q = m_model->inverse(f, m_joints);
        double step = 0.0;
        if (q) {
            for (int i = 0; i < m_model->axes(); ++i)
                step = std::max(step, std::abs((*q)[i] - m_joints[i]));
        }
        // A jump of a joint within one tick means the path crosses a singularity.
        if (!q || step > 15.0) {
            const Motion failed = m;
            m_queue.pop_front();
            raiseAlarmLocked(0, ControllerAlarm::PathNotReachable);
            finishMotionLocked(failed, true);
            abortAllLocked(true);
            return;
        }
        m_joints = *q;
    }
    for (int i = 0; i < 3; ++i)
        m_aux[i] = m.auxStart[i] + s * (m.auxTarget[i] - m.auxStart[i]);
    if (tau >= 1.0) {
        if (!m.linear)
            m_joints = m.target;
        const Motion done = m;
        m_queue.pop_front();
        finishMotionLocked(done, false);
    }
}

bool Robot::startMotionLocked(Motion &m)
{
    m.started = true;
    m.start = m_joints;
    m.startFlange = m_model->forward(m_joints);
    m.auxStart = m_aux;
    const double ratio = m.kind == MotionKind::Inch ? m_manualRatio : m_settings.ratio;
    double duration = 0.0;
    if (!m.linear) {
        const bool teach = m.kind == MotionKind::Inch;
        duration = jointDurationLocked(m.start, m.target, teach ? m_settings.teachJointVel : m_settings.playJointVel,
                                       teach ? m_settings.teachJointAcc : m_settings.playJointAcc, ratio);
    } else {
        const double distance = (m.targetFlange.translation() - m.startFlange.translation()).norm();
        const double angle = Eigen::AngleAxisd(m.startFlange.linear().transpose() * m.targetFlange.linear()).angle()
                           * 180.0 / kPi;
        const double k = ratio / 100.0;
        duration = std::max(durationFor(distance, m_settings.playCoorVel[0] * k, m_settings.playCoorAcc[0] * k),
                            durationFor(angle, m_settings.playCoorVel[1] * k, m_settings.playCoorAcc[1] * k));
    }
    for (int i = 0; i < 3; ++i) {
        const double k = ratio / 100.0;
        duration = std::max(duration, durationFor(std::abs(m.auxTarget[i] - m.auxStart[i]),
                                                  m_settings.auxPlayVel[i] * k, m_settings.auxPlayAcc[i] * k));
    }
    m.duration = duration;
    m.elapsed = 0.0;
    return true;
}

double Robot::jointDurationLocked(const Joints &from, const Joints &to, const std::array<double, 6> &vel,
                                  const std::array<double, 6> &acc, double ratio) const
{
    const double k = ratio / 100.0;
    double duration = 0.0;
    for (int i = 0; i < m_model->axes(); ++i)
        duration = std::max(duration, durationFor(std::abs(to[i] - from[i]), vel[i] * k, acc[i] * k));
    return duration;
}

void Robot::advanceJog(double dt)
{
    const bool anyJog = std::any_of(m_jog.begin(), m_jog.end(), [](int d) { return d != 0; });
    const bool anyAux = std::any_of(m_auxJog.begin(), m_auxJog.end(), [](int d) { return d != 0; });
    if (!anyJog && !anyAux)
        return;
    std::string why;
    if (!canMoveLocked(why)) {
        stopJogLocked();
        return;
    }
    const double k = m_manualRatio / 100.0;
    for (int i = 0; i < 3; ++i) {
        if (m_auxJog[i] != 0)
            m_aux[i] = std::max(-360.0, std::min(360.0, m_aux[i] + m_auxJog[i] * m_settings.auxTeachVel[i] * k * dt));
    }
    // In step mode a press queues one step (panelJog); holding does not move.
    if (!anyJog || m_jogMode == "step")
        return;
    if (m_coordinate == "joint") {
        for (int i = 0; i < m_model->axes(); ++i) {
            if (m_jog[i] == 0)
                continue;
            const auto &l = m_model->limits()[i];
            m_joints[i] = std::max(l.min, std::min(l.max, m_joints[i] + m_jog[i] * m_settings.teachJointVel[i] * k * dt));
        }
        return;
    }
    // Cartesian jog: translate along and turn about the axes of the user frame
    // ("cartesian") or of the tool ("tool").
    Eigen::Vector3d move = Eigen::Vector3d::Zero();
    Eigen::Vector3d turn = Eigen::Vector3d::Zero();
    for (int i = 0; i < 3; ++i) {
        move[i] = m_jog[i] * m_settings.teachCoorVel[i] * k * dt;
        turn[i] = m_jog[3 + i] * m_settings.teachCoorVel[3 + i] * k * dt * kPi / 180.0;
    }
    const Eigen::Isometry3d user = frameLocked(m_settings.users, m_user);
    const Eigen::Isometry3d tool = frameLocked(m_settings.tools, m_tool);
    const Eigen::Isometry3d tcp = m_model->forward(m_joints) * tool;
    Eigen::Isometry3d delta = Eigen::Isometry3d::Identity();
    delta.translate(move);
    if (turn.norm() > 0)
        delta.rotate(Eigen::AngleAxisd(turn.norm(), turn.normalized()));
    Eigen::Isometry3d next;
    if (m_coordinate == "tool") {
        next = tcp * delta;
    } else {
        // About the TCP, along the user frame's axes.
        const Eigen::Matrix3d ru = user.linear();
        next = tcp;
        next.translation() = tcp.translation() + ru * move;
        if (turn.norm() > 0)
            next.linear() = ru * Eigen::AngleAxisd(turn.norm(), turn.normalized()).toRotationMatrix()
                          * ru.transpose() * tcp.linear();
    }
    const auto q = m_model->inverse(next * tool.inverse(), m_joints);
    if (!q)
        return;   // edge of the workspace or a limit: the arm holds
    double step = 0.0;
    for (int i = 0; i < m_model->axes(); ++i)
        step = std::max(step, std::abs((*q)[i] - m_joints[i]));
    if (step < 5.0)
        m_joints = *q;
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

Joints Robot::plannedEndLocked() const
{
    if (m_queue.empty())
        return m_joints;
    const Motion &last = m_queue.back();
    if (!last.linear)
        return last.target;
    const auto q = m_model->inverse(last.targetFlange, m_joints);
    return q ? *q : m_joints;
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

void Robot::finishMotionLocked(const Motion &motion, bool alarmed)
{
    MotionStatus &st = m_status[static_cast<int>(motion.kind)];
    if (st.id == motion.id) {
        st.ended = true;
        st.alarmed = alarmed;
    }
}

void Robot::abortAllLocked(bool alarmed)
{
    while (!m_queue.empty()) {
        const Motion m = m_queue.front();
        m_queue.pop_front();
        finishMotionLocked(m, alarmed);
    }
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

json Robot::stateLocked() const
{
    json s;
    const ArmConfig cfg = m_model->config(m_joints);
    s["controlMode"] = m_controlMode;
    s["dragMode"] = m_controlMode == "drag" ? "enable" : "disable";
    s["coordinate"] = m_coordinate;
    s["JogMode"] = m_jogMode;
    s["toolCoordinate"] = m_tool;
    s["userCoordinate"] = m_user;
    s["autoManual"] = m_auto ? "auto" : "manual";
    s["armOrientation"] = cfg.armOrientation;
    s["rdnCoordinate"] = {cfg.r, cfg.d, cfg.n, cfg.turn};
    s["jointCoordinate"] = numbers(m_joints);
    s["cartesianCoordinate"] = numbers(tcpPoseLocked(m_joints));
    s["auxJoint"] = numbers(m_aux);
    s["isCollision"] = m_collision ? 1 : 0;
    s["skinCollison"] = m_skinCollision ? 1 : 0;
    s["powerState"] = m_power ? "on" : "off";
    s["dragPlayback"] = false;
    s["controlParams"] = numbers(std::array<double, 4>{m_settings.ratio, m_manualRatio, 1.0, m_cabinetTemperature});
    s["jointCurrent"] = numbers(m_current);
    s["jointVoltage"] = numbers(m_voltage);
    s["jointTemp"] = numbers(m_temperature);
    s["endAI"] = numbers(m_endAI);
    s["gpioAI"] = numbers(m_gpioAI);
    s["outputs"] = packBits(m_outputs.data(), 64);
    s["inputs"] = packBits(m_inputs.data(), 64);
    // Beyond the exchange proper: what a person watching wants to see.
    s["emergencyStop"] = m_emergencyStop;
    s["threeSwitch"] = m_threeSwitch ? "pressed" : "released";
    s["moving"] = !m_queue.empty() || std::any_of(m_jog.begin(), m_jog.end(), [](int d) { return d != 0; });
    return s;
}

const std::string &Robot::bigBlocksLocked() const
{
    // Alarm words: group 0 holds the controller's alarms, groups 1 to 6 the
    // drives of joints 1 to 6; alarm number n is bit n % 32 of word n / 32.
    std::array<std::array<std::uint32_t, 64>, 7> words{};
    for (const auto &group : m_alarms) {
        if (group.first < 0 || group.first >= 7)
            continue;
        for (int id : group.second)
            words[group.first][id / 32] |= 1u << (id % 32);
    }
    if (m_blocks.valid && words == m_blocks.alarms && m_extendDO == m_blocks.extendDO && m_extendDI == m_blocks.extendDI)
        return m_blocks.text;

    json alarms = json::array();
    for (const auto &group : words) {
        json g = json::array();
        for (std::uint32_t w : group)
            g.push_back(static_cast<std::int32_t>(w));
        alarms.push_back(g);
    }
    json extendDO = json::array(), extendDI = json::array();
    for (int m = 0; m < 9; ++m) {
        extendDO.push_back(packBits(m_extendDO[m].data(), 96));
        extendDI.push_back(packBits(m_extendDI[m].data(), 96));
    }
    m_blocks.valid = true;
    m_blocks.alarms = words;
    m_blocks.extendDO = m_extendDO;
    m_blocks.extendDI = m_extendDI;
    m_blocks.text = ",\"alarms\":" + alarms.dump() + ",\"extendDO\":" + extendDO.dump() + ",\"extendDI\":"
                  + extendDI.dump();
    return m_blocks.text;
}

// ---------------------------------------------------------------------------
// Requests.

bool Robot::exchange(const json *request, std::string &reply, std::string &error)
{
    if (request && !request->is_object()) {
        error = "exchange body must be a JSON object";
        return false;
    }
    json state;
    std::string blocks;
    std::uint64_t version = 0;
    m_lock.lockQuietly();
    if (request && applyExchangeLocked(*request))
        m_lock.bump();
    version = m_lock.version();
    if (m_reply.valid && m_reply.version == version) {
        reply = m_reply.text;
        m_lock.unlockQuietly();
        return true;
    }
    state = stateLocked();
    blocks = bigBlocksLocked();
    m_lock.unlockQuietly();

    // Serialised outside the lock, so that concurrent clients and the motion
    // ticker do not wait for each other's text.
    reply = state.dump();
    reply.insert(reply.size() - 1, blocks);

    m_lock.lockQuietly();
    if (m_lock.version() == version) {
        m_reply.valid = true;
        m_reply.version = version;
        m_reply.text = reply;
    }
    m_lock.unlockQuietly();
    return true;
}

bool Robot::applyExchangeLocked(const json &r)
{
    const std::string controlMode = m_controlMode, coordinate = m_coordinate, jogMode = m_jogMode;
    const int tool = m_tool, user = m_user;
    bool changed = false;
    std::string text;
    // The client repeats the control mode it last asked for in every body.
    // Only a change of that value is a request; the steady echo must not undo
    // a mode set through /settings/controlMode, the panel or a safety stop.
    if (readString(r, "controlMode", text) && (text == "disable" || text == "enable" || text == "drag")) {
        if (!m_lastExchangeControlMode.empty() && text != m_lastExchangeControlMode && text != m_controlMode) {
            applyControlModeLocked(text, nullptr);
            changed = true;
        }
        m_lastExchangeControlMode = text;
    }
    if (readString(r, "coordinate", text) && (text == "joint" || text == "cartesian" || text == "tool")) {
        if (text != m_coordinate)
            stopJogLocked();
        m_coordinate = text;
    }
    if (readString(r, "jogMode", text) && (text == "jog" || text == "step"))
        m_jogMode = text;
    int index = 0;
    if (readInt(r, "toolCoordinate", index) && index >= 0 && index < 10)
        m_tool = index;
    if (readInt(r, "userCoordinate", index) && index >= 0 && index < 10)
        m_user = index;
    bool clear = false;
    if (readFlag(r, "alarms", clear) && clear) {
        clearAlarmsLocked();
        changed = true;
    }
    const auto outputs = r.find("outputs");
    if (outputs != r.end() && outputs->is_object()) {
        bool enable = false;
        if (readFlag(*outputs, "enable", enable) && enable && outputs->contains("value")) {
            unpackBits((*outputs)["value"], m_outputs.data(), 64);
            changed = true;
        }
    }
    return changed || controlMode != m_controlMode || coordinate != m_coordinate || jogMode != m_jogMode
        || tool != m_tool || user != m_user;
}

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

json Robot::panelAutoManual(const json &body)
{
    std::string value;
    if (!readString(body, "value", value) || (value != "auto" && value != "manual"))
        return json{{"result", false}, {"error", "value must be \"auto\" or \"manual\""}};
    std::lock_guard<StateLock> guard(m_lock);
    const bool wantAuto = value == "auto";
    if (wantAuto != m_auto) {
        // Turning the key stops whatever moves.
        abortAllLocked(true);
        stopJogLocked();
        m_auto = wantAuto;
    }
    return json{{"result", true}, {"value", value}};
}

json Robot::panelThreeSwitch(const json &body)
{
    std::string value;
    bool pressed = false;
    if (readString(body, "value", value) && (value == "pressed" || value == "true"))
        pressed = true;
    else if (readString(body, "value", value) && (value == "released" || value == "false"))
        pressed = false;
    else if (!readFlag(body, "value", pressed))
        return json{{"result", false}, {"error", "value must be \"pressed\" or \"released\""}};
    std::lock_guard<StateLock> guard(m_lock);
    // Letting go of the enabling switch stops a manual motion.
    if (m_threeSwitch && !pressed && !m_auto)
        stopJogLocked();
    m_threeSwitch = pressed;
    return json{{"result", true}, {"value", pressed ? "pressed" : "released"}};
}

json Robot::panelEmergencyStop(const json &body)
{
    bool pressed = false;
    std::string text;
    if (readString(body, "value", text) && (text == "pressed" || text == "released"))
        pressed = text == "pressed";
    else if (!readFlag(body, "value", pressed))
        return json{{"result", false}, {"error", "value must be a boolean"}};
    std::lock_guard<StateLock> guard(m_lock);
    if (pressed) {
        m_emergencyStop = true;
        disableLocked();
        raiseAlarmLocked(0, ControllerAlarm::EmergencyStop);
        logVerbose("emergency stop pressed");
    } else {
        // Releasing allows a reset; the alarm stays until it is cleared.
        m_emergencyStop = false;
    }
    return json{{"result", true}, {"value", m_emergencyStop}};
}

json Robot::panelJog(const json &body, bool auxiliary)
{
    const std::size_t count = auxiliary ? 3 : 6;
    const auto pos = body.is_object() ? body.find("posBtns") : body.end();
    const auto neg = body.is_object() ? body.find("negBtns") : body.end();
    if (pos == body.end() || neg == body.end() || !pos->is_array() || !neg->is_array())
        return json{{"result", false}, {"error", "posBtns and negBtns must be arrays"}};
    std::array<int, 6> dir{};
    for (std::size_t i = 0; i < count; ++i) {
        const bool p = i < pos->size() && (*pos)[i].is_boolean() && (*pos)[i].get<bool>();
        const bool n = i < neg->size() && (*neg)[i].is_boolean() && (*neg)[i].get<bool>();
        dir[i] = (p && !n) ? 1 : ((n && !p) ? -1 : 0);   // both held: no motion
    }
    std::lock_guard<StateLock> guard(m_lock);
    std::string why;
    const bool any = std::any_of(dir.begin(), dir.end(), [](int d) { return d != 0; });
    if (any && (!canMoveLocked(why) || !m_queue.empty())) {
        if (why.empty())
            why = "a motion is running";
        return json{{"result", false}, {"error", why}};
    }
    if (auxiliary) {
        for (int i = 0; i < 3; ++i)
            m_auxJog[i] = dir[i];
        return json{{"result", true}};
    }
    if (m_jogMode == "step") {
        // Step mode: each new press moves one inch step.
        for (int i = 0; i < 6; ++i) {
            if (dir[i] == 0 || m_jog[i] == dir[i] || (i >= m_model->axes() && m_coordinate == "joint"))
                continue;
            Motion m;
            m.id = m_nextMotionId++;
            m.kind = MotionKind::Inch;
            if (m_coordinate == "joint") {
                m.target = m_joints;
                m.target[i] += dir[i] * (m_model->isRotary(i) ? m_settings.inchAngle : m_settings.inchDistance);
                m.target = m_model->clampToLimits(m.target);
            } else {
                const Eigen::Isometry3d tool = frameLocked(m_settings.tools, m_tool);
                const Eigen::Isometry3d user = frameLocked(m_settings.users, m_user);
                Eigen::Isometry3d tcp = m_model->forward(m_joints) * tool;
                Eigen::Vector3d axis = Eigen::Vector3d::Zero();
                axis[i % 3] = dir[i];
                const Eigen::Matrix3d frame = m_coordinate == "tool" ? Eigen::Matrix3d(tcp.linear()) : Eigen::Matrix3d(user.linear());
                if (i < 3) {
                    tcp.translation() += frame * axis * m_settings.inchDistance;
                } else {
                    tcp.linear() = frame * Eigen::AngleAxisd(m_settings.inchAngle * kPi / 180.0, axis).toRotationMatrix()
                                 * frame.transpose() * tcp.linear();
                }
                const auto q = m_model->inverse(tcp * tool.inverse(), m_joints);
                if (!q)
                    continue;
                m.target = *q;
            }
            m.auxTarget = m_aux;
            m_queue.push_back(m);
        }
        m_jog = dir;
        // The step runs from the queue; holding the button does not repeat it.
        return json{{"result", true}};
    }
    m_jog = dir;
    return json{{"result", true}};
}

json Robot::panelState(const std::string &element)
{
    std::lock_guard<StateLock> guard(m_lock);
    if (element == "autoManual")
        return json{{"value", m_auto ? "auto" : "manual"}};
    if (element == "threeSwitch")
        return json{{"value", m_threeSwitch ? "pressed" : "released"}};
    if (element == "emergencyStop")
        return json{{"value", m_emergencyStop}};
    json pos = json::array(), neg = json::array();
    const bool aux = element == "auxJog";
    for (int i = 0; i < (aux ? 3 : 6); ++i) {
        const int d = aux ? m_auxJog[i] : m_jog[i];
        pos.push_back(d > 0);
        neg.push_back(d < 0);
    }
    return json{{"posBtns", pos}, {"negBtns", neg}};
}

json Robot::setControlMode(const json &body)
{
    std::string mode;
    if (!readString(body, "controlMode", mode) || (mode != "disable" && mode != "enable" && mode != "drag"))
        return json{{"result", false}, {"error", "controlMode must be \"disable\", \"enable\" or \"drag\""}};
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
        return json{{"result", false}, {"error", "value must be a boolean"}};
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

json Robot::refuseLocked(MotionKind kind, std::uint64_t id, const std::string &why)
{
    // A refused command counts as a motion that ended in an alarm, so a client
    // waiting for its end learns at once that it failed.
    m_status[static_cast<int>(kind)] = {id, true, true};
    logVerbose(std::string(kindName(kind)) + " refused: " + why);
    return json{{"result", false}, {"error", why}};
}

json Robot::command(MotionKind kind, const json &body)
{
    std::lock_guard<StateLock> guard(m_lock);
    const std::uint64_t id = m_nextMotionId++;
    if (!body.is_object())
        return refuseLocked(kind, id, "body must be a JSON object");

    bool run = true;
    if (readFlag(body, "value", run) && !run && kind != MotionKind::GoHome) {
        // "value": false stops the motions instead of starting one.
        abortAllLocked(false);
        m_status[static_cast<int>(kind)] = {id, true, false};
        return json{{"result", true}};
    }
    std::string why;
    if (!canMoveLocked(why))
        return refuseLocked(kind, id, why);
    if (static_cast<int>(m_queue.size()) >= kMaxQueuedMotions)
        return refuseLocked(kind, id, "motion queue full");
    stopJogLocked();

    Motion m;
    m.id = id;
    m.kind = kind;
    const Joints from = plannedEndLocked();
    m.auxTarget = m_queue.empty() ? m_aux : m_queue.back().auxTarget;
    const int axes = m_model->axes();

    if (kind == MotionKind::GoHome) {
        if (!run) {
            abortAllLocked(false);
            m_status[static_cast<int>(kind)] = {id, true, false};
            return json{{"result", true}};
        }
        m.target = m_model->homePosition();
    } else if (kind == MotionKind::MoveJ) {
        Joints q{};
        if (!readArray(body, "joint", q, static_cast<std::size_t>(axes)))
            return refuseLocked(kind, id, "joint must be an array of " + std::to_string(axes) + " numbers");
        for (int i = axes; i < 6; ++i)
            q[i] = 0.0;
        if (!m_model->withinLimits(q))
            return refuseLocked(kind, id, "joint target outside the joint limits");
        m.target = q;
    } else {
        // Cartesian targets: absolute (go, auxGo) or an offset from where the
        // previous motion ends (goR, moveR).
        Eigen::Isometry3d flangeTarget;
        bool linear = kind == MotionKind::MoveR;
        ConfigRequest request;
        if (kind == MotionKind::Go || kind == MotionKind::AuxGo) {
            Pose p{};
            static const char *const keys[6] = {"x", "y", "z", "a", "b", "c"};
            for (int i = 0; i < 6; ++i) {
                if (!readNumber(body, keys[i], p[i]))
                    return refuseLocked(kind, id, std::string("missing or invalid \"") + keys[i] + "\"");
            }
            int tool = m_tool, user = m_user;
            readInt(body, "tool", tool);
            readInt(body, "user", user);
            if (tool < 0 || tool >= 10 || user < 0 || user >= 10)
                return refuseLocked(kind, id, "tool and user must be 0 to 9");
            std::string mode = "go";
            readString(body, "mode", mode);
            if (mode != "go" && mode != "move")
                return refuseLocked(kind, id, "mode must be \"go\" or \"move\"");
            linear = mode == "move";
            int cfg = 0;
            readInt(body, "cfg", cfg);
            if (cfg != 0) {
                // A configuration is kept only when asked for; otherwise the
                // solution nearest to the present one is taken.
                request.strict = true;
                readInt(body, "r", request.config.r);
                readInt(body, "d", request.config.d);
                readInt(body, "n", request.config.n);
                std::string hand = "right";
                readString(body, "armOrientation", hand);
                request.config.armOrientation = hand == "left" ? 0 : 1;
            }
            flangeTarget = frameLocked(m_settings.users, user) * poseToTransform(p)
                         * frameLocked(m_settings.tools, tool).inverse();
            if (kind == MotionKind::AuxGo) {
                static const char *const auxKeys[3] = {"aux1", "aux2", "aux3"};
                for (int i = 0; i < 3; ++i) {
                    double v = m.auxTarget[i];
                    readNumber(body, auxKeys[i], v);
                    if (v < -360.0 || v > 360.0)
                        return refuseLocked(kind, id, "auxiliary target outside its range");
                    m.auxTarget[i] = v;
                }
            }
        } else {
            double offset[3] = {0, 0, 0};
            static const char *const keys[3] = {"offsetX", "offsetY", "offsetZ"};
            for (int i = 0; i < 3; ++i) {
                if (!readNumber(body, keys[i], offset[i]))
                    return refuseLocked(kind, id, std::string("missing or invalid \"") + keys[i] + "\"");
            }
            const Eigen::Isometry3d user = frameLocked(m_settings.users, m_user);
            flangeTarget = m_model->forward(from);
            flangeTarget.translation() += user.linear() * Eigen::Vector3d(offset[0], offset[1], offset[2]);
        }
        const auto q = m_model->inverse(flangeTarget, from, request);
        if (!q)
            return refuseLocked(kind, id, "target not reachable");
        if (linear) {
            // Check the straight path before moving along it.
            const Eigen::Isometry3d start = m_model->forward(from);
            const Eigen::Quaterniond q0(start.linear()), q1(flangeTarget.linear());
            Joints previous = from;
            for (int i = 1; i <= 50; ++i) {
                const double s = i / 50.0;
                Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
                f.translation() = start.translation() + s * (flangeTarget.translation() - start.translation());
                f.linear() = q0.slerp(s, q1).toRotationMatrix();
                const auto step = m_model->inverse(f, previous);
                if (!step)
                    return refuseLocked(kind, id, "linear path leaves the workspace");
                for (int j = 0; j < axes; ++j) {
                    if (std::abs((*step)[j] - previous[j]) > 30.0)
                        return refuseLocked(kind, id, "linear path passes a singularity");
                }
                previous = *step;
            }
            m.linear = true;
            m.targetFlange = flangeTarget;
        }
        m.target = *q;
    }
    m_queue.push_back(m);
    m_status[static_cast<int>(kind)] = {id, false, false};
    logVerbose(std::string(kindName(kind)) + " queued, motion " + std::to_string(id));
    return json{{"result", true}, {"id", id}};
}

json Robot::motionStatus(MotionKind kind)
{
    std::lock_guard<StateLock> guard(m_lock);
    const MotionStatus &st = m_status[static_cast<int>(kind)];
    // "value" says the motion finished as commanded. A client that is told
    // both "finished" and "alarm" may take the motion for done (the library's
    // motion wait does), so an alarmed motion reports only the alarm.
    return json{{"value", st.ended && !st.alarmed}, {"isAlarms", st.alarmed}};
}

json Robot::positiveSolution(const json &body)
{
    Joints q{};
    const int axes = m_model->axes();
    if (!readArray(body, "joint", q, static_cast<std::size_t>(axes)))
        return json{{"result", false}, {"error", "joint must be an array of " + std::to_string(axes) + " numbers"}};
    for (int i = axes; i < 6; ++i)
        q[i] = 0.0;
    std::lock_guard<StateLock> guard(m_lock);
    int tool = m_tool, user = m_user;
    readInt(body, "tool", tool);
    readInt(body, "user", user);
    if (tool < 0 || tool >= 10 || user < 0 || user >= 10)
        return json{{"result", false}, {"error", "tool and user must be 0 to 9"}};
    const Pose p = transformToPose(frameLocked(m_settings.users, user).inverse() * m_model->forward(q)
                                   * frameLocked(m_settings.tools, tool));
    return json{{"result", true}, {"coordinate", numbers(p)}};
}

json Robot::inverseSolution(const json &body)
{
    Pose p{};
    if (!readArray(body, "coordinate", p, 6))
        return json{{"result", false}, {"error", "coordinate must be an array of 6 numbers"}};
    std::lock_guard<StateLock> guard(m_lock);
    int tool = m_tool, user = m_user;
    readInt(body, "tool", tool);
    readInt(body, "user", user);
    if (tool < 0 || tool >= 10 || user < 0 || user >= 10)
        return json{{"result", false}, {"error", "tool and user must be 0 to 9"}};
    ConfigRequest request;
    int cfg = 0;
    readInt(body, "cfg", cfg);
    if (cfg != 0) {
        request.strict = true;
        readInt(body, "r", request.config.r);
        readInt(body, "d", request.config.d);
        readInt(body, "n", request.config.n);
        request.config.armOrientation = request.config.r == 0 ? 1 : 0;
    }
    const Eigen::Isometry3d flange = frameLocked(m_settings.users, user) * poseToTransform(p)
                                   * frameLocked(m_settings.tools, tool).inverse();
    const auto q = m_model->inverse(flange, m_joints, request);
    if (!q)
        return json{{"result", false}, {"error", "target not reachable"}};
    return json{{"result", true}, {"joint", numbers(*q)}};
}

json Robot::setManualCommon(const json &body)
{
    double ratio = 0;
    if (!readNumber(body, "ratio", ratio) || ratio < 1 || ratio > 100)
        return json{{"result", false}, {"error", "ratio must be 1 to 100"}};
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
        return json{{"result", false}, {"error", "no joint1 ... joint6 key"}};
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
        return json{{"result", false}, {"error", "dynamicBrake must be a boolean"}};
    std::lock_guard<StateLock> guard(m_lock);
    m_dynamicBrake = v;
    return json{{"result", true}, {"dynamicBrake", v}};
}

json Robot::setDIMode(const json &body)
{
    int index = 0, mode = 0;
    if (!readInt(body, "index", index) || !readInt(body, "mode", mode) || index < 0 || index >= 64)
        return json{{"result", false}, {"error", "index (0 to 63) and mode must be integers"}};
    std::lock_guard<StateLock> guard(m_lock);
    m_diModes[index] = mode;
    return json{{"result", true}};
}

json Robot::getDIMode(const json &body)
{
    int index = 0;
    if (!readInt(body, "index", index) || index < 0 || index >= 64)
        return json{{"result", false}, {"error", "index must be 0 to 63"}};
    std::lock_guard<StateLock> guard(m_lock);
    const auto it = m_diModes.find(index);
    return json{{"result", true}, {"index", index}, {"mode", it == m_diModes.end() ? 0 : it->second}};
}

json Robot::setDIValue(const json &body)
{
    int index = 0;
    bool value = false;
    if (!readInt(body, "index", index) || index < 0 || index >= 64 || !readFlag(body, "value", value))
        return json{{"result", false}, {"error", "index must be 0 to 63 and value 0 or 1"}};
    std::lock_guard<StateLock> guard(m_lock);
    m_inputs[index] = value;
    return json{{"result", true}};
}

json Robot::setExtendIO(const json &body)
{
    if (!body.is_object())
        return json{{"result", false}, {"error", "body must be an object"}};
    bool enable = false;
    readFlag(body, "enable", enable);
    const auto it = body.find("extendDO");
    std::lock_guard<StateLock> guard(m_lock);
    if (enable && it != body.end()) {
        const json *modules = &*it;
        if (it->is_object() && it->contains("value"))
            modules = &(*it)["value"];
        if (modules->is_array()) {
            for (std::size_t m = 0; m < 9 && m < modules->size(); ++m)
                unpackBits((*modules)[m], m_extendDO[m].data(), 96);
        }
    }
    return json{{"result", true}};
}

json Robot::simInputs(const json *body)
{
    std::lock_guard<StateLock> guard(m_lock);
    if (body) {
        if (!body->is_object())
            return json{{"result", false}, {"error", "body must be an object"}};
        int index = 0;
        bool value = false;
        if (readInt(*body, "index", index) && readFlag(*body, "value", value)) {
            if (index < 0 || index >= 64)
                return json{{"result", false}, {"error", "index must be 0 to 63"}};
            m_inputs[index] = value;
        }
        if (body->contains("inputs"))
            unpackBits((*body)["inputs"], m_inputs.data(), 64);
        if (body->contains("extendDI") && (*body)["extendDI"].is_array()) {
            const json &modules = (*body)["extendDI"];
            for (std::size_t m = 0; m < 9 && m < modules.size(); ++m)
                unpackBits(modules[m], m_extendDI[m].data(), 96);
        }
        readArray(*body, "endAI", m_endAI, 0);
        readArray(*body, "gpioAI", m_gpioAI, 0);
    }
    json r = {{"result", true}};
    r["inputs"] = packBits(m_inputs.data(), 64);
    r["endAI"] = numbers(m_endAI);
    r["gpioAI"] = numbers(m_gpioAI);
    return r;
}

json Robot::simCollision(const json &body)
{
    bool skin = false;
    readFlag(body, "skin", skin);
    std::lock_guard<StateLock> guard(m_lock);
    abortAllLocked(true);
    stopJogLocked();
    if (skin) {
        m_skinCollision = true;
        raiseAlarmLocked(0, ControllerAlarm::SkinCollision);
    } else {
        m_collision = true;
        raiseAlarmLocked(0, ControllerAlarm::Collision);
    }
    return json{{"result", true}};
}

json Robot::simAlarm(const json &body)
{
    int group = 0, id = 0;
    bool value = true;
    if (!readInt(body, "group", group) || !readInt(body, "id", id) || group < 0 || group >= 7 || id < 0
        || id >= 64 * 32)
        return json{{"result", false}, {"error", "group (0 to 6) and id (0 to 2047) must be integers"}};
    readFlag(body, "value", value);
    std::lock_guard<StateLock> guard(m_lock);
    if (value) {
        raiseAlarmLocked(group, id);
        // A drive alarm stops the arm.
        if (group > 0)
            disableLocked();
    } else {
        m_alarms[group].erase(id);
    }
    return json{{"result", true}};
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
