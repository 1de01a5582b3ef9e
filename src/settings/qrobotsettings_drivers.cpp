// Servo driver gains and the conveyor encoders and sensor.
#include "settings/qrobotsettings.h"
#include "transport/controllerio.h"

#include <algorithm>

using ControllerIO::take;

namespace {

const char BasicDriverSignature[] = "bool QRobotSettings::getBasicDriverParams(QRobotType::DriverParamsGroup&)";
const char UserDriverSignature[] = "bool QRobotSettings::getUserDriverParams(QRobotType::DriverParamsGroup&)";

struct GainKey {
    const char *key;
    float (QRobotType::DriverParams::*field)[6];
};

const GainKey GainKeys[] = {
    {"velocityP", &QRobotType::DriverParams::velocityP},
    {"velocityI", &QRobotType::DriverParams::velocityI},
    {"positionP", &QRobotType::DriverParams::positionP},
    {"speedFeedForward", &QRobotType::DriverParams::speedFeedForward},
    {"loadInertiaRatio", &QRobotType::DriverParams::loadInertiaRatio},
};

bool writeGains(QHttpManager *transport, const QString &name, const QRobotType::DriverParamsGroup &params)
{
    QJsonArray array;
    for (const QRobotType::DriverParams &group : params.group) {
        QJsonObject object;
        for (const GainKey &gain : GainKeys)
            object.insert(QLatin1String(gain.key), ControllerIO::toArray(group.*gain.field, 6));
        array.append(object);
    }
    return ControllerIO::writeArray(transport, name, array);
}

bool readGains(QHttpManager *transport, const QString &name, const char *signature,
               QRobotType::DriverParamsGroup &params)
{
    return ControllerIO::readArray(transport, name, [&](const QJsonArray &array) {
        const int count = std::min(int(array.size()), int(QRobotType::DriverParamsGroupCount));
        for (int i = 0; i < count; ++i) {
            const QJsonObject object = array.at(i).toObject();
            for (const GainKey &gain : GainKeys)
                ControllerIO::takeArray(object, gain.key, params.group[i].*gain.field, 6);
        }
    }, {signature, "getParaError"});
}

bool readEncoder(QHttpManager *transport, const QString &path, int conveyor, float &value)
{
    QJsonObject reply;
    const bool ok = ControllerIO::post(transport, path, QJsonObject{{QStringLiteral("conveyor_index"), conveyor}},
                                       ControllerIO::LogText(), &reply);
    if (ok)
        take(reply, "value", value);
    return ok;
}

} // namespace

bool QRobotSettings::setBasicDriverParams(const QRobotType::DriverParamsGroup &params)
{
    return writeGains(transport(), QStringLiteral("/properties/driverParams"), params);
}

bool QRobotSettings::getBasicDriverParams(QRobotType::DriverParamsGroup &params)
{
    return readGains(transport(), QStringLiteral("/properties/driverParams"), BasicDriverSignature, params);
}

bool QRobotSettings::setUserDriverParams(const QRobotType::DriverParamsGroup &params)
{
    return writeGains(transport(), QStringLiteral("/settings/driver/userParams"), params);
}

bool QRobotSettings::getUserDriverParams(QRobotType::DriverParamsGroup &params)
{
    return readGains(transport(), QStringLiteral("/settings/driver/userParams"), UserDriverSignature, params);
}

bool QRobotSettings::setUserDriverIndex(int index)
{
    return ControllerIO::post(transport(), QStringLiteral("/settings/driver/userParam"),
                              QJsonObject{{QStringLiteral("index"), index}});
}

bool QRobotSettings::getUserDriverIndex(int &index)
{
    return ControllerIO::get(transport(), QStringLiteral("/settings/driver/userParam"),
                             [&](const QJsonObject &reply) {
                                 qint32 value = index;
                                 take(reply, "index", value);
                                 index = value;
                             },
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
