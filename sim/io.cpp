// Inputs and outputs, and what a real controller gets from its surroundings:
// digital inputs, analog values, extended IO modules, collisions and drive
// alarms.
#include "robot.h"

#include "defaults.h"
#include "jsonfields.h"

#include <cmath>

namespace varlosim {

namespace {
// Analog inputs are volts or milliamperes; beyond this they are no reading.
constexpr double kMaxAnalogValue = 1e4;
} // namespace

json Robot::setDIMode(const json &body)
{
    int index = 0, mode = 0;
    if (!readInt(body, "index", index) || !readInt(body, "mode", mode) || index < 0 || index >= 64)
        return refusal("index (0 to 63) and mode must be integers");
    std::lock_guard<StateLock> guard(m_lock);
    m_diModes[index] = mode;
    return json{{"result", true}};
}

json Robot::getDIMode(const json &body)
{
    int index = 0;
    if (!readInt(body, "index", index) || index < 0 || index >= 64)
        return refusal("index must be 0 to 63");
    std::lock_guard<StateLock> guard(m_lock);
    const auto it = m_diModes.find(index);
    return json{{"result", true}, {"index", index}, {"mode", it == m_diModes.end() ? 0 : it->second}};
}

json Robot::setDIValue(const json &body)
{
    int index = 0;
    bool value = false;
    if (!readInt(body, "index", index) || index < 0 || index >= 64 || !readFlag(body, "value", value))
        return refusal("index must be 0 to 63 and value 0 or 1");
    std::lock_guard<StateLock> guard(m_lock);
    m_inputs[index] = value;
    return json{{"result", true}};
}

bool Robot::digitalInput(int index)
{
    std::lock_guard<StateLock> guard(m_lock);
    return index >= 0 && index < 64 && m_inputs[index];
}

bool Robot::digitalOutput(int index)
{
    std::lock_guard<StateLock> guard(m_lock);
    return index >= 0 && index < 64 && m_outputs[index];
}

void Robot::setDigitalOutput(int index, bool value)
{
    std::lock_guard<StateLock> guard(m_lock);
    if (index >= 0 && index < 64)
        m_outputs[index] = value;
}

json Robot::setExtendIO(const json &body)
{
    if (!body.is_object())
        return refusal("body must be an object");
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
    // Everything is checked before anything is applied: a request with one
    // bad field changes nothing and says why.
    int index = -1;
    bool value = false;
    std::array<double, 2> endAI{}, gpioAI{};
    if (body) {
        if (!body->is_object())
            return refusal("body must be an object");
        if (body->contains("index") && (!readInt(*body, "index", index) || index < 0 || index >= 64 || !readFlag(*body, "value", value)))
            return refusal("index must be 0 to 63 and value a boolean");
        for (const char *key : {"endAI", "gpioAI"}) {
            std::array<double, 2> &values = key[0] == 'e' ? endAI : gpioAI;
            const bool present = body->contains(key);
            if (present && (!(*body)[key].is_array() || (*body)[key].size() > 2 || !readArray(*body, key, values, (*body)[key].size())
                            || std::abs(values[0]) > kMaxAnalogValue || std::abs(values[1]) > kMaxAnalogValue))
                return refusal(std::string(key) + " must be up to 2 numbers within 10000");
        }
    }
    std::lock_guard<StateLock> guard(m_lock);
    if (body) {
        if (index >= 0)
            m_inputs[index] = value;
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
    r["endAI"] = reportedArray(m_endAI);
    r["gpioAI"] = reportedArray(m_gpioAI);
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
        return refusal("group (0 to 6) and id (0 to 2047) must be integers");
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
} // namespace varlosim
