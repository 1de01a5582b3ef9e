// The teach pendant's elements: the auto/manual key, the enabling switch, the
// emergency stop and the jog buttons, acting as a real pendant would.
#include "robot.h"

#include "defaults.h"
#include "jsonfields.h"
#include "log.h"

#include <algorithm>

namespace varlosim {

json Robot::panelAutoManual(const json &body)
{
    std::string value;
    if (!readString(body, "value", value) || (value != "auto" && value != "manual"))
        return refusal("value must be \"auto\" or \"manual\"");
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
        return refusal("value must be \"pressed\" or \"released\"");
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
        return refusal("value must be a boolean");
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
        return refusal("posBtns and negBtns must be arrays");
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
        return refusal(why);
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
} // namespace varlosim
