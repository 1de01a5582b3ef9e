// Function settings of outside control: stop mode, remote control, Modbus,
// run-to mode, the IO and Modbus control maps, offline IO and the brakes.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

using ControllerIO::Document;
using ControllerIO::Fields;
using ControllerIO::Logs;
using ControllerIO::OtherKind;

// Every reader here fails on a document of the wrong kind (an array where its
// object belongs): reading nothing would be a failure reported as success.
namespace {

const Document<StopModeSettings> StopMode{
    "/settings/function/stopMode",
    { { "enable", &StopModeSettings::enable }, { "x", &StopModeSettings::x },       { "y", &StopModeSettings::y },
      { "z", &StopModeSettings::z },           { "a", &StopModeSettings::a },       { "b", &StopModeSettings::b },
      { "c", &StopModeSettings::c },           { "tool", &StopModeSettings::tool }, { "user", &StopModeSettings::user },
      { "r", &StopModeSettings::r },           { "d", &StopModeSettings::d },       { "n", &StopModeSettings::n },
      { "cfg", &StopModeSettings::cfg },       { "mode", &StopModeSettings::mode }, { "arch", &StopModeSettings::arch },
      { "speed", &StopModeSettings::speed } },
    Logs::words("stopMode"), OtherKind::Fails
};

const Document<RemoteControl> Remote{ "/settings/function/remoteControl",
                                      { { "name", &RemoteControl::name }, { "mode", &RemoteControl::mode } },
                                      Logs::words("remoteControl"), OtherKind::Fails };

const Document<ModbusConf> Modbus{ "/settings/function/modbusConf",
                                   { { "id", &ModbusConf::id }, { "mode", &ModbusConf::mode } },
                                   Logs::words("modbusConf"), OtherKind::Fails };

const ControllerIO::ValueDocument<QString> RunToMode{
    "/settings/function/runToMode", "mode",
    Logs{ "runToMode_getParaError", { "bool QRobotSettings::setRunToMode(const QString&)", "setParaError" } },
    OtherKind::Fails
};

// The pins of outside control: six inputs and four outputs, in a group each.
const Fields<ControlMap> ControlInputs{
    { "clear_alarm", &ControlMap::clear_alarm }, { "continue", &ControlMap::continue_ },
    { "pause_pin", &ControlMap::pause_pin },     { "stop_pin", &ControlMap::stop_pin },
    { "start_pin", &ControlMap::start_pin },     { "emergencystop", &ControlMap::emergencystop },
};
const Fields<ControlMap> ControlOutputs{
    { "readystatus", &ControlMap::readystatus }, { "pausestatus", &ControlMap::pausestatus },
    { "alarmstatus", &ControlMap::alarmstatus }, { "runstatus", &ControlMap::runstatus },
};
const Document<ControlMap> IoCtrl{ "/settings/function/ioctrl",
                                   { { "in", ControlInputs }, { "out", ControlOutputs } },
                                   Logs::words("ioctrl"), OtherKind::Fails };
const Document<ControlMap> ModbusCtrl{ "/settings/function/modbusctrl",
                                       { { "coils", ControlInputs }, { "inBits", ControlOutputs } },
                                       Logs::words("modbusctrl"), OtherKind::Fails };

const Fields<OfflineSignal> SignalFields{ { "io", &OfflineSignal::io }, { "level", &OfflineSignal::level } };
const Document<OfflineSettings> Offline{
    "/settings/offline",
    { { "name", &OfflineSettings::name },
      { "in",
        Fields<OfflineSettings>{ { "start", &OfflineSettings::start, SignalFields },
                                 { "pause", &OfflineSettings::pause, SignalFields },
                                 { "resume", &OfflineSettings::resume, SignalFields },
                                 { "stop", &OfflineSettings::stop, SignalFields },
                                 { "force_stop", &OfflineSettings::force_stop, SignalFields } } },
      { "out",
        Fields<OfflineSettings>{ { "alarm", &OfflineSettings::alarm, SignalFields },
                                 { "running", &OfflineSettings::running, SignalFields } } } },
    Logs(), OtherKind::Fails
};

// The joint brakes are set by a command and read from their document.
const ControllerIO::ValueDocument<bool> JointBrake{ "/interface/jointBrake", "jointBrake", Logs::words("jointBrake"),
                                                    OtherKind::Fails };

} // namespace

bool QRobotSettings::setStopMode(const StopModeSettings &s) { return StopMode.write(transport(), s); }
bool QRobotSettings::stopMode(StopModeSettings &s) { return StopMode.read(transport(), s); }
bool QRobotSettings::setRemoteControl(const RemoteControl &s) { return Remote.write(transport(), s); }
bool QRobotSettings::remoteControl(RemoteControl &s) { return Remote.read(transport(), s); }
bool QRobotSettings::setModbusConf(const ModbusConf &s) { return Modbus.write(transport(), s); }
bool QRobotSettings::modbusConf(ModbusConf &s) { return Modbus.read(transport(), s); }
bool QRobotSettings::setRunToMode(const QString &mode) { return RunToMode.write(transport(), mode); }
bool QRobotSettings::runToMode(QString &mode) { return RunToMode.read(transport(), mode); }
bool QRobotSettings::ioCtrl(ControlMap &map) { return IoCtrl.read(transport(), map); }
bool QRobotSettings::modbusCtrl(ControlMap &map) { return ModbusCtrl.read(transport(), map); }
bool QRobotSettings::setOffline(const OfflineSettings &s) { return Offline.write(transport(), s); }
bool QRobotSettings::offline(OfflineSettings &s) { return Offline.read(transport(), s); }

bool QRobotSettings::setJointBrakeState(bool on)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/jointBrake"),
                              QJsonObject{{QStringLiteral("jointBrake"), on}});
}

bool QRobotSettings::jointBrakeState(bool &on) { return JointBrake.read(transport(), on); }

bool QRobotSettings::setDynamicBrake(bool on)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/dynamicBrake"),
                              QJsonObject{{QStringLiteral("dynamicBrake"), on}});
}
