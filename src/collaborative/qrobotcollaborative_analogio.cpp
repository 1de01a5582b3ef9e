// Analog IO, extended IO and grippers: the analog inputs at the arm's end and
// in the cabinet, the cabinet's analog outputs, the extended digital outputs
// on Modbus/TCP modules with their device list, and two grippers.
#include "Varlo/qrobotcollaborative.h"
#include "transport/documentbinding.h"
#include "types/qiobits.h"

#include <QtCore/QDebug>

using ControllerIO::Fields;
using ControllerIO::Logs;
using QRobotCoor::ExtendIOBlock;
using QRobotCoor::ExtendIODevice;
using QRobotCoor::GPIOAI;

namespace {

const char Collaborative[] = "QRobotCollaborative";
const char SetExtendIOSignature[] = "bool QRobotCollaborative::setExtendIO(QRobotType::ExtendIO)";

// A two-channel document: an array of two {"mode", "value"}, channel 1 first.
// A missing element leaves its channel as it was.
const Fields<VarloAnalogChannel> ChannelFields{ { "mode", &VarloAnalogChannel::mode },
                                                { "value", &VarloAnalogChannel::value } };
const ControllerIO::ArrayDocument<VarloAnalogChannel> EndAI{
    "/settings/function/endAI", ChannelFields, Logs::signatures(Collaborative, "EndAI", "QRobotCoor::EndAI")
};
const ControllerIO::ArrayDocument<VarloAnalogChannel> GPIOAO{
    "/settings/function/gpioAO", ChannelFields, Logs::signatures(Collaborative, "GPIOAO", "QRobotCoor::GPIOAO")
};

const ControllerIO::Document<GPIOAI> GPIOAIModes{ "/settings/function/gpioAI",
                                                  { { "mode1", &GPIOAI::mode1 }, { "mode2", &GPIOAI::mode2 } },
                                                  Logs::signatures(Collaborative, "GPIOAI", "QRobotCoor::GPIOAI") };

const ControllerIO::ValueDocument<bool> IQGripperEnable{
    "/settings/function/robotiqGripperEnable", "enable", Logs::signatures(Collaborative, "IQGripperEnable", "bool")
};
const ControllerIO::ValueDocument<bool> HitbotGripperEnable{
    "/settings/function/hitbotGripperEnable", "enable", Logs::signatures(Collaborative, "HitbotGripperEnable", "bool")
};

// The Modbus/TCP module list.
const Fields<ExtendIOBlock> BlockFields{ { "addr", &ExtendIOBlock::addr },
                                         { "number", &ExtendIOBlock::number },
                                         { "index", &ExtendIOBlock::index } };
const Fields<ExtendIODevice> DeviceFields{
    { "DI", &ExtendIODevice::DI, BlockFields }, { "DO", &ExtendIODevice::DO, BlockFields },
    { "id", &ExtendIODevice::id },             { "ip", &ExtendIODevice::ip },
    { "name", &ExtendIODevice::name },         { "period", &ExtendIODevice::period },
    { "port", &ExtendIODevice::port },
};
const QString ModbusConfigDocument = QStringLiteral("/settings/function/modbus_io_config");
const Logs ModbusConfigLogs = Logs::signatures(Collaborative, "ExtendIOParams", "QRobotCoor::ExtendIOParams");

} // namespace

bool QRobotCollaborative::setEndAI(QRobotCoor::EndAI endAI) { return EndAI.write(transport(), endAI.channel, 2); }
bool QRobotCollaborative::getEndAI(QRobotCoor::EndAI &endAI) { return EndAI.read(transport(), endAI.channel, 2); }
bool QRobotCollaborative::setGPIOAI(QRobotCoor::GPIOAI gpioAI) { return GPIOAIModes.write(transport(), gpioAI); }
bool QRobotCollaborative::getGPIOAI(QRobotCoor::GPIOAI &gpioAI) { return GPIOAIModes.read(transport(), gpioAI); }
bool QRobotCollaborative::setGPIOAO(QRobotCoor::GPIOAO gpioAO) { return GPIOAO.write(transport(), gpioAO.channel, 2); }
bool QRobotCollaborative::getGPIOAO(QRobotCoor::GPIOAO &gpioAO) { return GPIOAO.read(transport(), gpioAO.channel, 2); }

bool QRobotCollaborative::setIQGripperEnable(bool enable) { return IQGripperEnable.write(transport(), enable); }
bool QRobotCollaborative::getIQGripperEnable(bool &enable) { return IQGripperEnable.read(transport(), enable); }

bool QRobotCollaborative::setIQGripper(bool value)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/robotiqGripper"),
                              QJsonObject{ { QStringLiteral("value"), value } });
}

bool QRobotCollaborative::setHitbotGripperEnable(bool enable) { return HitbotGripperEnable.write(transport(), enable); }
bool QRobotCollaborative::getHitbotGripperEnable(bool &enable) { return HitbotGripperEnable.read(transport(), enable); }

bool QRobotCollaborative::setHitbotGripper(bool value)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/hitbotGripper"),
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
    return ControllerIO::post(transport(), QStringLiteral("/interface/extendIO"), body,
                              ControllerIO::LogText(SetExtendIOSignature, "postError"));
}

bool QRobotCollaborative::setExtendIOParams(QRobotCoor::ExtendIOParams params)
{
    QJsonArray devices;
    for (const ExtendIODevice &device : params.device) {
        if (device.name.isEmpty())
            break; // an unnamed slot ends the list
        devices.append(DeviceFields.toJson(device));
    }
    return ControllerIO::writeObject(transport(), ModbusConfigDocument,
                                     QJsonObject{ { QStringLiteral("modbusTCPDev"), devices } }, ModbusConfigLogs.write);
}

bool QRobotCollaborative::getExtendIOParams(QRobotCoor::ExtendIOParams &params)
{
    return ControllerIO::readObject(transport(), ModbusConfigDocument, [&](const QJsonObject &object) {
        const auto list = object.constFind(QLatin1String("modbusTCPDev"));
        if (list == object.constEnd())
            return;
        // There are nine slots; further devices have nowhere to go. A device
        // the list holds is read whole: what it lacks reads as 0 or empty.
        const QJsonArray devices = list.value().toArray();
        const int count = qMin(int(devices.size()), int(QRobotCoor::ExtendIOParams::DeviceCount));
        for (int k = 0; k < count; ++k) {
            params.device[k] = ExtendIODevice{};
            DeviceFields.read(devices.at(k).toObject(), params.device[k]);
        }
    }, ModbusConfigLogs.read);
}
