// Motions: the queue of commanded motions and its time scaling, jogging, and
// the forward and inverse solutions that clients ask for.
#include "robot.h"

#include "defaults.h"
#include "jsonfields.h"
#include "log.h"

#include <algorithm>
#include <cmath>

namespace varlosim {

namespace {

constexpr int kMaxQueuedMotions = 16;

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

void Robot::advanceMotion(double dt)
{
    Motion &m = m_queue.front();
    // A path that cannot be followed ends this motion and every queued one
    // in the "not reachable" alarm.
    const auto unreachable = [this] {
        const Motion failed = m_queue.front();
        m_queue.pop_front();
        raiseAlarmLocked(0, ControllerAlarm::PathNotReachable);
        finishMotionLocked(failed, true);
        abortAllLocked(true);
    };
    if (!m.started && !startMotionLocked(m)) {
        unreachable();
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
            unreachable();
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

json Robot::stopMotionsLocked()
{
    // A motion stopped before its end did not arrive: it reads as ended in an
    // alarm, so that no client waiting for it (another program, or the one
    // that stopped it) takes it for an arrival. The stop starts no motion of
    // its own: each kind's status goes on describing its last motion.
    abortAllLocked(true);
    logVerbose("motions stopped");
    return json{{"result", true}};
}

json Robot::refuseLocked(MotionKind kind, std::uint64_t id, const std::string &why)
{
    // A refused command counts as a motion that ended in an alarm, so a client
    // waiting for its end learns at once that it failed.
    m_status[static_cast<int>(kind)] = {id, true, true};
    logVerbose(std::string(kindName(kind)) + " refused: " + why);
    return refusal(why);
}

json Robot::command(MotionKind kind, const json &body)
{
    std::lock_guard<StateLock> guard(m_lock);
    const std::uint64_t id = m_nextMotionId++;
    if (!body.is_object())
        return refuseLocked(kind, id, "body must be a JSON object");

    bool run = true;
    if (readFlag(body, "value", run) && !run && kind != MotionKind::GoHome)
        return stopMotionsLocked();
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
        if (!run)
            return stopMotionsLocked();
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
            TargetFrames frames;
            std::string why;
            if (!readFramesLocked(body, frames, why))
                return refuseLocked(kind, id, why);
            request = frames.config;
            std::string mode = "go";
            readString(body, "mode", mode);
            if (mode != "go" && mode != "move")
                return refuseLocked(kind, id, "mode must be \"go\" or \"move\"");
            linear = mode == "move";
            flangeTarget = targetFlangeLocked(p, frames);
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

bool Robot::readFramesLocked(const json &body, TargetFrames &frames, std::string &error) const
{
    frames.tool = m_tool;
    frames.user = m_user;
    return readTargetFrames(body, frames, error);
}

Eigen::Isometry3d Robot::targetFlangeLocked(const Pose &target, const TargetFrames &frames) const
{
    return frameLocked(m_settings.users, frames.user) * poseToTransform(target)
         * frameLocked(m_settings.tools, frames.tool).inverse();
}

json Robot::positiveSolution(const json &body)
{
    Joints q{};
    const int axes = m_model->axes();
    if (!readArray(body, "joint", q, static_cast<std::size_t>(axes)))
        return refusal("joint must be an array of " + std::to_string(axes) + " numbers");
    for (int i = axes; i < 6; ++i)
        q[i] = 0.0;
    std::lock_guard<StateLock> guard(m_lock);
    TargetFrames frames;
    std::string why;
    if (!readFramesLocked(body, frames, why))
        return refusal(why);
    const Pose p = transformToPose(frameLocked(m_settings.users, frames.user).inverse() * m_model->forward(q)
                                   * frameLocked(m_settings.tools, frames.tool));
    if (!allFinite(p))
        return refusal("the pose of these joints is not a finite number");
    return json{{"result", true}, {"coordinate", reportedArray(p)}};
}

json Robot::inverseSolution(const json &body)
{
    Pose p{};
    if (!readArray(body, "coordinate", p, 6))
        return refusal("coordinate must be an array of 6 numbers");
    std::lock_guard<StateLock> guard(m_lock);
    TargetFrames frames;
    std::string why;
    if (!readFramesLocked(body, frames, why))
        return refusal(why);
    const Eigen::Isometry3d flange = targetFlangeLocked(p, frames);
    const auto q = m_model->inverse(flange, m_joints, frames.config);
    if (!q)
        return refusal("target not reachable");
    return json{{"result", true}, {"joint", reportedArray(*q)}};
}
} // namespace varlosim
