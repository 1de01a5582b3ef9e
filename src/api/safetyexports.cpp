// Safety, alarm and version exports: control mode, power, collision
// detection, the alarm catalogues and the version texts.
#include "Varlo.h"
#include "api/library.h"
#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotsettings.h"

#include <QtCore/QString>

#include <cstddef>
#include <cstring>

namespace {

// Copies `text` into a NUL-terminated UTF-16 field of `size` units, cut so
// that no surrogate pair is split; the rest of the field is zero.
void copyUtf16(const QString &text, uint16_t *field, int size)
{
    int length = qMin(int(text.size()), size - 1);
    if (length > 0 && length < text.size() && text.at(length - 1).isHighSurrogate())
        --length;
    std::memset(field, 0, sizeof(uint16_t) * size_t(size));
    std::memcpy(field, text.utf16(), sizeof(uint16_t) * size_t(length));
}

// A host's one-byte bool: 0 is false, any other value true.
bool hostBool(const bool *value)
{
    unsigned char raw;
    std::memcpy(&raw, value, 1);
    return raw != 0;
}

} // namespace

static_assert(sizeof(VersionInfo) >= sizeof(VarloVersionRecord)
                  && offsetof(VersionInfo, control) == offsetof(VarloVersionRecord, control)
                  && offsetof(VersionInfo, system) == offsetof(VarloVersionRecord, system),
              "the host's version record is the head of the library's");

VARLO_FUNCTION(int32_t) GetVarloVersion(VarloVersionRecord *out)
{
    if (!out)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([out](QRobot *robot) {
        VersionInfo info;
        robot->settings()->version(info);
        std::memcpy(out, &info, sizeof *out);
    });
}

VARLO_FUNCTION(int32_t) SetControlMode(const int32_t *mode)
{
    if (!mode)
        return VARLO_INVALID_ARGUMENT;
    const int32_t value = *mode;
    return withComponentsOk([value](QRobot *robot) { robot->collaborative()->setControlMode(value); });
}

VARLO_FUNCTION(int32_t) SetPowerMode(bool on)
{
    return withComponentsOk([on](QRobot *robot) { robot->collaborative()->setPowerControl(on); });
}

VARLO_FUNCTION(int32_t) GetAlarmsParameter(uint32_t id, int32_t catalogue, VarloAlarmRecord *out, bool english)
{
    if (!out)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([=](QRobot *robot) {
        // Every field is written: nothing of an earlier lookup survives in the
        // host's record when this one finds nothing.
        AlarmInfo info;
        info.id = int32_t(id);
        robot->settings()->alarmInfo(int32_t(id), catalogue, info, english);
        out->id = id;
        out->level = info.level;
        copyUtf16(info.description, out->description, 256);
        copyUtf16(info.cause, out->cause, 256);
        copyUtf16(info.solution, out->solution, 256);
    });
}

VARLO_FUNCTION(int32_t) SetCollisionMode(bool on, int32_t level)
{
    return withComponentsOk([on, level](QRobot *robot) {
        robot->collaborative()->setCollisionDect(on, false, false, level);
    });
}

VARLO_FUNCTION(int32_t) GetCollisionMode(bool *on, int32_t *level)
{
    if (!on || !level)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([on, level](QRobot *robot) {
        // What the read does not find keeps the host's values.
        bool value = hostBool(on);
        int stored = *level;
        bool mode = false;
        bool resumeType = false;
        robot->collaborative()->getCollisionDect(value, mode, resumeType, stored);
        *on = value;
        *level = stored;
    });
}

VARLO_FUNCTION(int32_t) ResetCollision(void)
{
    return withComponentsOk([](QRobot *robot) { robot->collaborative()->resetCollision(); });
}

VARLO_FUNCTION(int32_t) EmergencyStop(void)
{
    return withComponentsOk([](QRobot *robot) { robot->settings()->emergencyStop(true); });
}
