// Controller information and maintenance: what the library is connected to,
// the alarm catalogues, the network address, digital-input modes and reboot.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

#include <cstring>

using ControllerIO::LogText;

namespace {

const char LibraryVersion[] = "1.2.0_";
const char Missing[] = "NULL";
const QString HardwareDocument = QStringLiteral("/settings/productInfo/hardwareInfo");

// The network settings: set by a POST, read by a GET of the same path.
const ControllerIO::Command<EthernetInfo> Ethernet{
    "/interface/ethernet",
    { { "dhcp", &EthernetInfo::dhcp }, { "ip", &EthernetInfo::ip }, { "netmask", &EthernetInfo::netmask },
      { "gateway", &EthernetInfo::gateway } },
    "setEthernet_postError"
};

// The texts of the controller's modules and of its hardware; a key the
// controller does not report reads "NULL".
const ControllerIO::Fields<VersionInfo> ModuleTexts{
    { "control", &VersionInfo::control }, { "algs", &VersionInfo::algs },       { "system", &VersionInfo::system },
    { "unio", &VersionInfo::unio },       { "safeio", &VersionInfo::safeio },   { "servo1", &VersionInfo::servo1 },
    { "servo2", &VersionInfo::servo2 },   { "servo3", &VersionInfo::servo3 },   { "servo4", &VersionInfo::servo4 },
    { "servo5", &VersionInfo::servo5 },   { "servo6", &VersionInfo::servo6 },   { "terminal", &VersionInfo::terminal },
    { "feedback", &VersionInfo::feedback },
};
using QRobotType::HWVersion;
const ControllerIO::Fields<HWVersion> HardwareTexts{
    { "SNcode", &HWVersion::SNcode },
    { "ControllerVersion", &HWVersion::ControllerVersion },
    { "ServoVersion", &HWVersion::ServoVersion },
    { "PowerVersion", &HWVersion::PowerVersion },
};

// A host's text field, which need not be NUL-terminated.
template <int N>
QString localFieldText(const char (&field)[N])
{
    const void *end = std::memchr(field, '\0', N);
    const int length = end ? int(static_cast<const char *>(end) - field) : N;
    return QString::fromLocal8Bit(field, length);
}

// True when `value` is a number equal to `id`: an alarm id of the catalogue.
// Hosts number alarms as unsigned 32-bit values, which arrive here with the
// same bits, so a negative id also matches its unsigned reading.
bool isId(const QJsonValue &value, int id)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    return number == double(id) || (id < 0 && number == double(id) + 4294967296.0);
}

} // namespace

bool QRobotSettings::version(VersionInfo &info)
{
    VersionInfo filled{}; // zeroed: the bytes after each text reach the host too
    ControllerIO::copyText(QLatin1String(LibraryVersion), filled.library, sizeof filled.library);
    // The body of a failed request is no answer of the controller: the reply
    // stays empty then.
    QJsonObject reply;
    const bool ok = ControllerIO::post(transport(), QStringLiteral("/settings/version"), QJsonObject(),
                                       [&](const QJsonObject &answer) { reply = answer; });
    ModuleTexts.read(reply, filled, QLatin1String(Missing));
    info = filled;
    return ok;
}

bool QRobotSettings::versionHW(QRobotType::HWVersion &info)
{
    QJsonObject object;
    switch (ControllerIO::readObjectDocument(transport(), HardwareDocument, &object,
                                             LogText("bool QRobotSettings::versionHW(QRobotType::HWVersion&)",
                                                     "getParaError"))) {
    case ControllerIO::ReadStatus::Failed:
    case ControllerIO::ReadStatus::Missing:
    case ControllerIO::ReadStatus::NotJson:
        return false;
    case ControllerIO::ReadStatus::OtherKind: // holds none of the keys: every field "NULL"
    case ControllerIO::ReadStatus::Ok:
        break;
    }
    QRobotType::HWVersion filled{};
    HardwareTexts.read(object, filled, QLatin1String(Missing));
    info = filled;
    return true;
}

bool QRobotSettings::setVersionHW(const QRobotType::HWVersion &info)
{
    const QJsonObject document{
        { QStringLiteral("SNcode"), localFieldText(info.SNcode) },
        { QStringLiteral("ControllerVersion"), localFieldText(info.ControllerVersion) },
        { QStringLiteral("ServoVersion"), localFieldText(info.ServoVersion) },
        { QStringLiteral("PowerVersion"), localFieldText(info.PowerVersion) },
    };
    return ControllerIO::writeObject(transport(), HardwareDocument, document);
}

bool QRobotSettings::alarmInfo(int id, int kind, AlarmInfo &info, bool english)
{
    const QString name = kind == 0 ? QStringLiteral("/properties/alarm_controller")
                                   : QStringLiteral("/properties/alarm_servo");
    return ControllerIO::readArray(transport(), name, [&](const QJsonArray &catalogue) {
        const QLatin1String language = english ? QLatin1String("en") : QLatin1String("zh_CN");
        for (const QJsonValue &element : catalogue) {
            // Entries that are not objects have no id and are skipped like those.
            const QJsonObject entry = element.toObject();
            if (!isId(entry.value(QLatin1String("id")), id))
                continue;
            info.id = id;
            ControllerIO::take(entry, "level", info.level);
            const QJsonValue texts = entry.value(language);
            if (!texts.isObject())
                continue;
            const QJsonObject object = texts.toObject();
            ControllerIO::take(object, "description", info.description);
            ControllerIO::take(object, "cause", info.cause);
            ControllerIO::take(object, "solution", info.solution);
            return;
        }
    });
}

bool QRobotSettings::setEthernet(const EthernetInfo &info) { return Ethernet.post(transport(), info); }

EthernetInfo QRobotSettings::ethernet()
{
    EthernetInfo info;
    Ethernet.get(transport(), info);
    return info;
}

bool QRobotSettings::setDIMode(int index, QRobotType::DIMode mode)
{
    const QJsonObject body{ { QStringLiteral("index"), index }, { QStringLiteral("mode"), int(mode) } };
    return ControllerIO::post(transport(), QStringLiteral("/interface/setDIMode"), body,
                              LogText("bool QRobotSettings::setDIMode(int, QRobotType::DIMode)", "postError"));
}

bool QRobotSettings::getDIMode(int index, QRobotType::DIMode &mode)
{
    return ControllerIO::post(
        transport(), QStringLiteral("/interface/getDIMode"), QJsonObject{ { QStringLiteral("index"), index } },
        [&](const QJsonObject &reply) {
            mode = static_cast<QRobotType::DIMode>(QRobotJson::toInt32(reply.value(QLatin1String("mode"))));
        },
        LogText("bool QRobotSettings::getDIMode(int, QRobotType::DIMode&)", "postError"));
}

bool QRobotSettings::setDIValue(int index, int value)
{
    const QJsonObject body{ { QStringLiteral("index"), index }, { QStringLiteral("value"), value } };
    return ControllerIO::post(transport(), QStringLiteral("/interface/setDIValue"), body,
                              LogText("bool QRobotSettings::setDIValue(int, int)", "postError"));
}

bool QRobotSettings::controllerReboot()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/reboot"), QJsonObject(),
                              LogText("bool QRobotSettings::controllerReboot()", "postError"));
}
