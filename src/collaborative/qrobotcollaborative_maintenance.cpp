// Commissioning and service: automatic identification, the access point, the
// script interface update, simulated joints and the operating-time counters.
#include "Varlo/qrobotcollaborative.h"
#include "transport/documentbinding.h"

using ControllerIO::take;

namespace {

// The access point: set by a POST, read back by a GET of the same path.
const ControllerIO::Command<ApSettings> AccessPoint{
    "/interface/setAP", { { "ssid", &ApSettings::ssid }, { "passwd", &ApSettings::passwd } }, "setAP_postError"
};

const char *const SimulatedKeys[] = {"joint1Simulated", "joint2Simulated", "joint3Simulated",
                                     "joint4Simulated", "joint5Simulated", "joint6Simulated"};

// A counter of the reply: when present, read whole, missing parts as 0.
void takeCounter(const QJsonObject &reply, const char *key, qint32 &days, qint32 &hour, qint32 &min, qint32 &sec)
{
    const auto it = reply.constFind(QLatin1String(key));
    if (it == reply.constEnd())
        return;
    const QJsonObject counter = it.value().toObject();
    days = hour = min = sec = 0;
    take(counter, "days", days);
    take(counter, "hour", hour);
    take(counter, "min", min);
    take(counter, "sec", sec);
}

} // namespace

bool QRobotCollaborative::setAutoIdentify(bool value, const QString &name)
{
    return ControllerIO::post(transport(), QStringLiteral("/settings/autoIdentify"),
                              QJsonObject{{QStringLiteral("value"), value}, {QStringLiteral("name"), name}},
                              "autoIdentify_postError");
}

bool QRobotCollaborative::getAutoIdentify(bool &value)
{
    return ControllerIO::getPresent(transport(), QStringLiteral("/settings/autoIdentify"), "value", value);
}

bool QRobotCollaborative::setAP(const ApSettings &settings) { return AccessPoint.post(transport(), settings); }
bool QRobotCollaborative::getAP(ApSettings &settings) { return AccessPoint.get(transport(), settings); }

bool QRobotCollaborative::setApiUpdate()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/apiUpdate"),
                              QJsonObject{{QStringLiteral("path"),
                                           QStringLiteral("/varlo/userdata/project/settings/api.lua")}},
                              "setApiUpdate_postError");
}

bool QRobotCollaborative::setSimulatedAxis(bool value)
{
    QJsonObject body;
    for (const char *key : SimulatedKeys)
        body.insert(QLatin1String(key), value);
    return ControllerIO::post(transport(), QStringLiteral("/settings/simulatedAxis"), body, "simulatedAxis_postError");
}

bool QRobotCollaborative::getSimulatedAxis(bool &simulated)
{
    return ControllerIO::get(transport(), QStringLiteral("/settings/simulatedAxis"), [&](const QJsonObject &reply) {
        simulated = false;
        for (const char *key : SimulatedKeys) {
            if (reply.value(QLatin1String(key)).toBool(false)) {
                simulated = true;
                break;
            }
        }
    });
}

bool QRobotCollaborative::setWorkTimeClear()
{
    return ControllerIO::post(transport(), QStringLiteral("/settings/workTimeRec"), QJsonObject(),
                              {"bool QRobotCollaborative::setWorkTimeClear()", "postError"});
}

bool QRobotCollaborative::getWorkTime(WorkTimeRecord &r)
{
    return ControllerIO::get(transport(), QStringLiteral("/settings/workTimeRec"), [&](const QJsonObject &reply) {
        takeCounter(reply, "powerOnTime", r.powerOnDays, r.powerOnHour, r.powerOnMin, r.powerOnSec);
        takeCounter(reply, "servoEnableTime", r.servoEnableDays, r.servoEnableHour, r.servoEnableMin,
                    r.servoEnableSec);
    });
}
