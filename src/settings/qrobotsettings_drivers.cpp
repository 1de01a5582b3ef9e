// Servo driver gains and the conveyor encoders and sensor.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

using ControllerIO::take;
using QRobotType::DriverParams;

namespace {

// Ten groups of servo gains, six values (one per joint) per gain.
const ControllerIO::Fields<DriverParams> GainFields{
    { "velocityP", &DriverParams::velocityP },
    { "velocityI", &DriverParams::velocityI },
    { "positionP", &DriverParams::positionP },
    { "speedFeedForward", &DriverParams::speedFeedForward },
    { "loadInertiaRatio", &DriverParams::loadInertiaRatio },
};
const ControllerIO::ArrayDocument<DriverParams> BasicGains{
    "/properties/driverParams", GainFields,
    { { "bool QRobotSettings::getBasicDriverParams(QRobotType::DriverParamsGroup&)", "getParaError" }, {} },
    ControllerIO::OtherKind::Fails
};
const ControllerIO::ArrayDocument<DriverParams> UserGains{
    "/settings/driver/userParams", GainFields,
    { { "bool QRobotSettings::getUserDriverParams(QRobotType::DriverParamsGroup&)", "getParaError" }, {} },
    ControllerIO::OtherKind::Fails
};

bool readEncoder(QHttpManager *transport, const QString &path, int conveyor, float &value)
{
    return ControllerIO::post(transport, path, QJsonObject{{QStringLiteral("conveyor_index"), conveyor}},
                              [&](const QJsonObject &reply) { take(reply, "value", value); });
}

} // namespace

bool QRobotSettings::setBasicDriverParams(const QRobotType::DriverParamsGroup &params)
{
    return BasicGains.write(transport(), params.group, QRobotType::DriverParamsGroupCount);
}

bool QRobotSettings::getBasicDriverParams(QRobotType::DriverParamsGroup &params)
{
    return BasicGains.read(transport(), params.group, QRobotType::DriverParamsGroupCount);
}

bool QRobotSettings::setUserDriverParams(const QRobotType::DriverParamsGroup &params)
{
    return UserGains.write(transport(), params.group, QRobotType::DriverParamsGroupCount);
}

bool QRobotSettings::getUserDriverParams(QRobotType::DriverParamsGroup &params)
{
    return UserGains.read(transport(), params.group, QRobotType::DriverParamsGroupCount);
}

bool QRobotSettings::setUserDriverIndex(int index)
{
    return ControllerIO::post(transport(), QStringLiteral("/settings/driver/userParam"),
                              QJsonObject{{QStringLiteral("index"), index}});
}

bool QRobotSettings::getUserDriverIndex(int &index)
{
    return ControllerIO::get(transport(), QStringLiteral("/settings/driver/userParam"),
                             [&](const QJsonObject &reply) { take(reply, "index", index); },
                             {"bool QRobotSettings::getUserDriverIndex(int&)", "getError"});
}

bool QRobotSettings::readCurrentEncoder(int conveyor, float &value)
{
    return readEncoder(transport(), QStringLiteral("/interface/readCurrentEncoder"), conveyor, value);
}

bool QRobotSettings::readSensorEncoder(int conveyor, float &value)
{
    return readEncoder(transport(), QStringLiteral("/interface/readSensorEncoder"), conveyor, value);
}

bool QRobotSettings::listenSensor(int conveyor, bool start)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/listenSensor"),
                              QJsonObject{{QStringLiteral("conveyor_index"), conveyor},
                                          {QStringLiteral("cmd"), start ? QStringLiteral("start")
                                                                        : QStringLiteral("stop")}});
}
