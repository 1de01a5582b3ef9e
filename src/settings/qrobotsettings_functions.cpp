// Function settings of outside control: stop mode, remote control, Modbus,
// run-to mode, the IO and Modbus control maps, offline IO and the brakes.
#include "settings/qrobotsettings.h"
#include "transport/controllerio.h"

#include <algorithm>

using ControllerIO::take;

namespace {

const char *const ControlInputs[] = {"clear_alarm", "continue", "pause_pin", "stop_pin", "start_pin", "emergencystop"};
const char *const ControlOutputs[] = {"readystatus", "pausestatus", "alarmstatus", "runstatus"};

// The fields of a ControlMap in the order of the two key lists above.
qint32 *controlFields(ControlMap &map, int i)
{
    qint32 *fields[] = {&map.clear_alarm, &map.continue_,  &map.pause_pin,   &map.stop_pin,    &map.start_pin,
                        &map.emergencystop, &map.readystatus, &map.pausestatus, &map.alarmstatus, &map.runstatus};
    return fields[i];
}

void readControlMap(const QJsonObject &object, const char *inputs, const char *outputs, ControlMap &map)
{
    const QJsonObject in = object.value(QLatin1String(inputs)).toObject();
    for (int i = 0; i < 6; ++i)
        take(in, ControlInputs[i], *controlFields(map, i));
    const QJsonObject out = object.value(QLatin1String(outputs)).toObject();
    for (int i = 0; i < 4; ++i)
        take(out, ControlOutputs[i], *controlFields(map, 6 + i));
}

struct OfflineKey {
    const char *group;
    const char *key;
    OfflineSignal OfflineSettings::*field;
};

const OfflineKey OfflineKeys[] = {
    {"in", "start", &OfflineSettings::start},   {"in", "pause", &OfflineSettings::pause},
    {"in", "resume", &OfflineSettings::resume}, {"in", "stop", &OfflineSettings::stop},
    {"in", "force_stop", &OfflineSettings::force_stop}, {"out", "alarm", &OfflineSettings::alarm},
    {"out", "running", &OfflineSettings::running},
};

} // namespace

bool QRobotSettings::setStopMode(const StopModeSettings &s)
{
    const QJsonObject object{{QStringLiteral("enable"), s.enable},
                             {QStringLiteral("x"), double(s.x)}, {QStringLiteral("y"), double(s.y)},
                             {QStringLiteral("z"), double(s.z)}, {QStringLiteral("a"), double(s.a)},
                             {QStringLiteral("b"), double(s.b)}, {QStringLiteral("c"), double(s.c)},
                             {QStringLiteral("tool"), int(s.tool)}, {QStringLiteral("user"), int(s.user)},
                             {QStringLiteral("r"), int(s.r)},       {QStringLiteral("d"), int(s.d)},
                             {QStringLiteral("n"), int(s.n)},       {QStringLiteral("cfg"), int(s.cfg)},
                             {QStringLiteral("mode"), s.mode},      {QStringLiteral("arch"), int(s.arch)},
                             {QStringLiteral("speed"), int(s.speed)}};
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/function/stopMode"), object,
                                     "stopMode_setParaError");
}

bool QRobotSettings::stopMode(StopModeSettings &s)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/stopMode"),
                                    [&](const QJsonObject &o) {
        take(o, "enable", s.enable);
        take(o, "x", s.x); take(o, "y", s.y); take(o, "z", s.z);
        take(o, "a", s.a); take(o, "b", s.b); take(o, "c", s.c);
        take(o, "tool", s.tool); take(o, "user", s.user);
        take(o, "r", s.r); take(o, "d", s.d); take(o, "n", s.n); take(o, "cfg", s.cfg);
        take(o, "mode", s.mode);
        take(o, "arch", s.arch);
        take(o, "speed", s.speed);
    }, "stopMode_getParaError");
}

bool QRobotSettings::setRemoteControl(const RemoteControl &s)
{
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/function/remoteControl"),
                                     QJsonObject{{QStringLiteral("name"), s.name}, {QStringLiteral("mode"), s.mode}},
                                     "remoteControl_setParaError");
}

bool QRobotSettings::remoteControl(RemoteControl &s)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/remoteControl"),
                                    [&](const QJsonObject &o) {
        take(o, "name", s.name);
        take(o, "mode", s.mode);
    }, "remoteControl_getParaError");
}

bool QRobotSettings::setModbusConf(const ModbusConf &s)
{
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/function/modbusConf"),
                                     QJsonObject{{QStringLiteral("id"), int(s.id)}, {QStringLiteral("mode"), s.mode}},
                                     "modbusConf_setParaError");
}

bool QRobotSettings::modbusConf(ModbusConf &s)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/modbusConf"),
                                    [&](const QJsonObject &o) {
        take(o, "id", s.id);
        take(o, "mode", s.mode);
    }, "modbusConf_getParaError");
}

bool QRobotSettings::setRunToMode(const QString &mode)
{
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/function/runToMode"),
                                     QJsonObject{{QStringLiteral("mode"), mode}},
                                     {"bool QRobotSettings::setRunToMode(const QString&)", "setParaError"});
}

bool QRobotSettings::runToMode(QString &mode)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/runToMode"),
                                    [&](const QJsonObject &o) { take(o, "mode", mode); }, "runToMode_getParaError");
}

bool QRobotSettings::ioCtrl(ControlMap &map)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/ioctrl"),
                                    [&](const QJsonObject &o) { readControlMap(o, "in", "out", map); },
                                    "ioctrl_getParaError");
}

bool QRobotSettings::modbusCtrl(ControlMap &map)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/function/modbusctrl"),
                                    [&](const QJsonObject &o) { readControlMap(o, "coils", "inBits", map); },
                                    "modbusctrl_getParaError");
}

bool QRobotSettings::setOffline(const OfflineSettings &s)
{
    QJsonObject in;
    QJsonObject out;
    for (const OfflineKey &key : OfflineKeys) {
        const OfflineSignal &signal = s.*key.field;
        QJsonObject &group = qstrcmp(key.group, "in") == 0 ? in : out;
        group.insert(QLatin1String(key.key), QJsonObject{{QStringLiteral("io"), int(signal.io)},
                                                         {QStringLiteral("level"), int(signal.level)}});
    }
    const int length = int(std::find(s.name, s.name + sizeof s.name, '\0') - s.name);
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/offline"),
                                     QJsonObject{{QStringLiteral("name"), QString::fromUtf8(s.name, length)},
                                                 {QStringLiteral("in"), in},
                                                 {QStringLiteral("out"), out}});
}

bool QRobotSettings::offline(OfflineSettings &s)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/settings/offline"), [&](const QJsonObject &o) {
        const auto name = o.constFind(QLatin1String("name"));
        if (name != o.constEnd())
            ControllerIO::copyText(name.value().toString(), s.name, int(sizeof s.name));
        for (const OfflineKey &key : OfflineKeys) {
            const QJsonObject group = o.value(QLatin1String(key.group)).toObject();
            const auto entry = group.constFind(QLatin1String(key.key));
            if (entry == group.constEnd())
                continue;
            const QJsonObject pair = entry.value().toObject();
            take(pair, "io", (s.*key.field).io);
            take(pair, "level", (s.*key.field).level);
        }
    });
}

bool QRobotSettings::setJointBrakeState(bool on)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/jointBrake"),
                              QJsonObject{{QStringLiteral("jointBrake"), on}});
}

bool QRobotSettings::jointBrakeState(bool &on)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/interface/jointBrake"),
                                    [&](const QJsonObject &o) { take(o, "jointBrake", on); },
                                    "jointBrake_getParaError");
}

bool QRobotSettings::setDynamicBrake(bool on)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/dynamicBrake"),
                              QJsonObject{{QStringLiteral("dynamicBrake"), on}});
}
