// The state exchange: what a client asks for in "/protocol/exchange" and the
// live state it gets back, built as little as possible; and the same state as
// the panel page draws it.
#include "robot.h"

#include "jsonfields.h"

#include <algorithm>

namespace varlosim {

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
    s["jointCoordinate"] = reportedArray(m_joints);
    s["cartesianCoordinate"] = reportedArray(tcpPoseLocked(m_joints));
    s["auxJoint"] = reportedArray(m_aux);
    s["isCollision"] = m_collision ? 1 : 0;
    s["skinCollison"] = m_skinCollision ? 1 : 0;
    s["powerState"] = m_power ? "on" : "off";
    s["dragPlayback"] = false;
    s["controlParams"] = reportedArray(std::array<double, 4>{m_settings.ratio, m_manualRatio, 1.0, m_cabinetTemperature});
    s["jointCurrent"] = reportedArray(m_current);
    s["jointVoltage"] = reportedArray(m_voltage);
    s["jointTemp"] = reportedArray(m_temperature);
    s["endAI"] = reportedArray(m_endAI);
    s["gpioAI"] = reportedArray(m_gpioAI);
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

bool Robot::exchange(const json *request, std::string &reply, std::string &error, const std::string &connection)
{
    if (request && !request->is_object()) {
        error = "exchange body must be a JSON object";
        return false;
    }
    json state;
    std::string blocks;
    std::uint64_t version = 0;
    m_lock.lockQuietly();
    if (request && applyExchangeLocked(*request, connection))
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

bool Robot::applyExchangeLocked(const json &r, const std::string &connection)
{
    const std::string controlMode = m_controlMode, coordinate = m_coordinate, jogMode = m_jogMode;
    const int tool = m_tool, user = m_user;
    bool changed = false;
    std::string text;
    // The client repeats the control mode it last asked for in every body.
    // Only a change of that value is a request; the steady echo must not undo
    // a mode set through /settings/controlMode, the panel or a safety stop.
    // A client that keeps its connection has an echo of its own: a second
    // program that only watches repeats an older mode, which is no request
    // either. A body on a new connection is compared with the last body of any.
    if (readString(r, "controlMode", text) && (text == "disable" || text == "enable" || text == "drag")) {
        if (m_connectionControlModes.size() >= 256 && !m_connectionControlModes.count(connection))
            m_connectionControlModes.clear();
        const auto known = m_connectionControlModes.find(connection);
        const std::string &last = known != m_connectionControlModes.end() ? known->second : m_lastExchangeControlMode;
        if (!last.empty() && text != last && text != m_controlMode) {
            applyControlModeLocked(text, nullptr);
            changed = true;
        }
        m_lastExchangeControlMode = text;
        if (!connection.empty())
            m_connectionControlModes[connection] = text;
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
namespace {

// A frame as the panel draws it: origin (mm) and rotation matrix, row by row.
json frameOf(const Eigen::Isometry3d &t)
{
    json r = json::array();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r.push_back(reported(t.linear()(i, j)));
    }
    const Eigen::Vector3d p = t.translation();
    return json{{"p", {reported(p.x()), reported(p.y()), reported(p.z())}}, {"r", r}};
}

} // namespace

json Robot::panelSnapshot()
{
    // Reads only: the exchange's reply cache stays good.
    StateLock::Quiet guard(m_lock);
    json s = stateLocked();
    json alarms = json::array();
    for (const auto &group : m_alarms) {
        for (int id : group.second)
            alarms.push_back({group.first, id});
    }
    s["alarmList"] = alarms;
    s["axes"] = m_model->axes();
    s["model"] = m_model->modelName();
    json links = json::array();
    for (const Eigen::Vector3d &p : m_model->linkPoints(m_joints))
        links.push_back({reported(p.x()), reported(p.y()), reported(p.z())});
    s["links"] = links;
    const Eigen::Isometry3d user = frameLocked(m_settings.users, m_user);
    s["tcpFrame"] = frameOf(m_model->forward(m_joints) * frameLocked(m_settings.tools, m_tool));
    s["userFrame"] = frameOf(user);
    s["jog"] = m_jog;
    return s;
}

json Robot::clearAlarms()
{
    std::lock_guard<StateLock> guard(m_lock);
    clearAlarmsLocked();
    return json{{"result", true}};
}

} // namespace varlosim
