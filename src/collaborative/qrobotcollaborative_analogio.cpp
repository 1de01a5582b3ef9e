// Analog IO, extended IO and grippers: the analog inputs at the arm's end and
// in the cabinet, the cabinet's analog outputs, the extended digital outputs
// on Modbus/TCP modules with their device list, and two grippers.
#include "collaborative/qrobotcollaborative.h"
#include "collaborative/qrobotcollaborative_p.h"
#include "transport/controllerio.h"
#include "types/qiobits.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

using ControllerIO::LogText;
using ControllerIO::take;

namespace {

const char SetExtendIOSignature[] = "bool QRobotCollaborative::setExtendIO(QRobotType::ExtendIO)";

// A two-channel document: an array of two {"mode", "value"}, channel 1 first.
QJsonArray channelsArray(const VarloAnalogChannel (&channels)[2])
{
    QJsonArray array;
    for (const VarloAnalogChannel &channel : channels) {
        array.append(QJsonObject{
            { QStringLiteral("mode"), int(channel.mode) },
            { QStringLiteral("value"), int(channel.value) },
        });
    }
    return array;
}

// A missing element reads as an empty object: its channel keeps its values.
void takeChannels(const QJsonArray &array, VarloAnalogChannel (&channels)[2])
{
    for (int c = 0; c < 2; ++c) {
        const QJsonObject object = array.at(c).toObject();
        take(object, "mode", channels[c].mode);
        take(object, "value", channels[c].value);
    }
}

QJsonObject blockObject(const QRobotCoor::ExtendIOBlock &block)
{
    return QJsonObject{
        { QStringLiteral("addr"), int(block.addr) },
        { QStringLiteral("number"), int(block.number) },
        { QStringLiteral("index"), int(block.index) },
    };
}

// Every key of a block is read, present or not: a missing one gives 0.
void readBlock(const QJsonValue &value, QRobotCoor::ExtendIOBlock &block)
{
    const QJsonObject object = value.toObject();
    block.index = QRobotJson::toInt32(object.value(QLatin1String("index")));
    block.number = QRobotJson::toInt32(object.value(QLatin1String("number")));
    block.addr = QRobotJson::toInt32(object.value(QLatin1String("addr")));
}

} // namespace

bool QRobotCollaborative::setEndAI(QRobotCoor::EndAI endAI)
{
    return ControllerIO::writeArray(d_func()->transport, QStringLiteral("/settings/function/endAI"),
                                    channelsArray(endAI.channel),
                                    LogText("bool QRobotCollaborative::setEndAI(QRobotCoor::EndAI)", "setParaError"));
}

bool QRobotCollaborative::getEndAI(QRobotCoor::EndAI &endAI)
{
    return ControllerIO::readArray(d_func()->transport, QStringLiteral("/settings/function/endAI"),
                                   [&](const QJsonArray &array) { takeChannels(array, endAI.channel); },
                                   LogText("bool QRobotCollaborative::getEndAI(QRobotCoor::EndAI&)", "getParaError"));
}

bool QRobotCollaborative::setGPIOAI(QRobotCoor::GPIOAI gpioAI)
{
    const QJsonObject object{
        { QStringLiteral("mode1"), int(gpioAI.mode1) },
        { QStringLiteral("mode2"), int(gpioAI.mode2) },
    };
    return ControllerIO::writeObject(d_func()->transport, QStringLiteral("/settings/function/gpioAI"), object,
                                     LogText("bool QRobotCollaborative::setGPIOAI(QRobotCoor::GPIOAI)",
                                             "setParaError"));
}

bool QRobotCollaborative::getGPIOAI(QRobotCoor::GPIOAI &gpioAI)
{
    return ControllerIO::readObject(
        d_func()->transport, QStringLiteral("/settings/function/gpioAI"),
        [&](const QJsonObject &object) {
            take(object, "mode1", gpioAI.mode1);
            take(object, "mode2", gpioAI.mode2);
        },
        LogText("bool QRobotCollaborative::getGPIOAI(QRobotCoor::GPIOAI&)", "getParaError"));
}

bool QRobotCollaborative::setGPIOAO(QRobotCoor::GPIOAO gpioAO)
{
    return ControllerIO::writeArray(d_func()->transport, QStringLiteral("/settings/function/gpioAO"),
                                    channelsArray(gpioAO.channel),
                                    LogText("bool QRobotCollaborative::setGPIOAO(QRobotCoor::GPIOAO)",
                                            "setParaError"));
}

bool QRobotCollaborative::getGPIOAO(QRobotCoor::GPIOAO &gpioAO)
{
    return ControllerIO::readArray(d_func()->transport, QStringLiteral("/settings/function/gpioAO"),
                                   [&](const QJsonArray &array) { takeChannels(array, gpioAO.channel); },
                                   LogText("bool QRobotCollaborative::getGPIOAO(QRobotCoor::GPIOAO&)",
                                           "getParaError"));
}

bool QRobotCollaborative::setIQGripperEnable(bool enable)
{
    return ControllerIO::writeObject(d_func()->transport, QStringLiteral("/settings/function/robotiqGripperEnable"),
                                     QJsonObject{ { QStringLiteral("enable"), enable } },
                                     LogText("bool QRobotCollaborative::setIQGripperEnable(bool)", "setParaError"));
}

bool QRobotCollaborative::getIQGripperEnable(bool &enable)
{
    return ControllerIO::readObject(d_func()->transport, QStringLiteral("/settings/function/robotiqGripperEnable"),
                                    [&](const QJsonObject &object) { take(object, "enable", enable); },
                                    LogText("bool QRobotCollaborative::getIQGripperEnable(bool&)", "getParaError"));
}

bool QRobotCollaborative::setIQGripper(bool value)
{
    return ControllerIO::post(d_func()->transport, QStringLiteral("/interface/robotiqGripper"),
                              QJsonObject{ { QStringLiteral("value"), value } });
}

bool QRobotCollaborative::setHitbotGripperEnable(bool enable)
{
    return ControllerIO::writeObject(d_func()->transport, QStringLiteral("/settings/function/hitbotGripperEnable"),
                                     QJsonObject{ { QStringLiteral("enable"), enable } },
                                     LogText("bool QRobotCollaborative::setHitbotGripperEnable(bool)",
                                             "setParaError"));
}

bool QRobotCollaborative::getHitbotGripperEnable(bool &enable)
{
    return ControllerIO::readObject(d_func()->transport, QStringLiteral("/settings/function/hitbotGripperEnable"),
                                    [&](const QJsonObject &object) { take(object, "enable", enable); },
                                    LogText("bool QRobotCollaborative::getHitbotGripperEnable(bool&)",
                                            "getParaError"));
}

bool QRobotCollaborative::setHitbotGripper(bool value)
{
    return ControllerIO::post(d_func()->transport, QStringLiteral("/interface/hitbotGripper"),
                              QJsonObject{ { QStringLiteral("value"), value } });
}

bool QRobotCollaborative::setExtendIO(QRobotType::ExtendIO extendIO)
{
    // Each module's 96 channels as 12 bytes 0 to 255, channel 0 in bit 0 of byte 0.
    QJsonArray modules;
    for (const auto &module : extendIO.value)
        modules.append(QIOBits::pack(module, 96));
    const QJsonObject body{
        // The request always switches extended IO on; the record's flag says
        // whether the outputs are to be applied.
        { QStringLiteral("enable"), true },
        { QStringLiteral("extendDO"),
          QJsonObject{ { QStringLiteral("enable"), *reinterpret_cast<const unsigned char *>(&extendIO.enable) != 0 },
                       { QStringLiteral("value"), modules } } },
    };
    qDebug() << SetExtendIOSignature << body;
    return ControllerIO::post(d_func()->transport, QStringLiteral("/interface/extendIO"), body,
                              LogText(SetExtendIOSignature, "postError"));
}

bool QRobotCollaborative::setExtendIOParams(QRobotCoor::ExtendIOParams params)
{
    QJsonArray devices;
    for (const QRobotCoor::ExtendIODevice &device : params.device) {
        if (device.name.isEmpty())
            break; // an unnamed slot ends the list
        devices.append(QJsonObject{
            { QStringLiteral("DI"), blockObject(device.DI) },
            { QStringLiteral("DO"), blockObject(device.DO) },
            { QStringLiteral("id"), int(device.id) },
            { QStringLiteral("ip"), device.ip },
            { QStringLiteral("name"), device.name },
            { QStringLiteral("period"), int(device.period) },
            { QStringLiteral("port"), int(device.port) },
        });
    }
    return ControllerIO::writeObject(
        d_func()->transport, QStringLiteral("/settings/function/modbus_io_config"),
        QJsonObject{ { QStringLiteral("modbusTCPDev"), devices } },
        LogText("bool QRobotCollaborative::setExtendIOParams(QRobotCoor::ExtendIOParams)", "setParaError"));
}

bool QRobotCollaborative::getExtendIOParams(QRobotCoor::ExtendIOParams &params)
{
    return ControllerIO::readObject(
        d_func()->transport, QStringLiteral("/settings/function/modbus_io_config"),
        [&](const QJsonObject &object) {
            const auto list = object.constFind(QLatin1String("modbusTCPDev"));
            if (list == object.constEnd())
                return;
            const QJsonArray devices = list.value().toArray();
            // There are nine slots; further devices have nowhere to go.
            const int count = qMin(int(devices.size()), int(QRobotCoor::ExtendIOParams::DeviceCount));
            for (int k = 0; k < count; ++k) {
                const QJsonObject element = devices.at(k).toObject();
                QRobotCoor::ExtendIODevice &device = params.device[k];
                readBlock(element.value(QLatin1String("DI")), device.DI);
                readBlock(element.value(QLatin1String("DO")), device.DO);
                device.ip = element.value(QLatin1String("ip")).toString();
                device.name = element.value(QLatin1String("name")).toString();
                device.port = QRobotJson::toInt32(element.value(QLatin1String("port")));
                device.id = QRobotJson::toInt32(element.value(QLatin1String("id")));
                device.period = QRobotJson::toInt32(element.value(QLatin1String("period")));
            }
        },
        LogText("bool QRobotCollaborative::getExtendIOParams(QRobotCoor::ExtendIOParams&)", "getParaError"));
}
