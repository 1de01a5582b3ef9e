#ifndef INFOTYPES_H
#define INFOTYPES_H

#include <QtCore/QMetaType>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <type_traits>

namespace QRobotType {

// Hardware identification ("/settings/productInfo/hardwareInfo"): NUL-terminated
// texts, "NULL" for a key the controller does not report.
struct HWVersion {
    // The controller's serial number, its own, its servo drives' and its
    // power board's hardware versions.
    char SNcode[40];
    char ControllerVersion[40];
    char ServoVersion[40];
    char PowerVersion[40];
};

// Mode of a digital input. The values are the controller's; the library
// passes them through as integers.
enum DIMode : int {};

} // namespace QRobotType

// Software versions of the library and of the controller's modules:
// NUL-terminated texts, "NULL" for a module the controller does not report.
struct VersionInfo {
    char library[25];        // this library's version
    // The controller's modules: motion control, algorithms, system, the
    // universal and safety IO boards, the six servo drives (joint 1 first),
    // the teach terminal and the feedback module.
    char control[25];
    char algs[25];
    char system[25];
    char unio[25];
    char safeio[25];
    char servo1[25];
    char servo2[25];
    char servo3[25];
    char servo4[25];
    char servo5[25];
    char servo6[25];
    char terminal[25];
    char feedback[25];
};

// One entry of an alarm catalogue, in the language asked for.
struct AlarmInfo {
    qint32 id = 0;           // the alarm's number
    qint32 level = 0;        // its severity, in the controller's levels
    // What it says, why it comes and what clears it.
    QString description;
    QString cause;
    QString solution;
};

// The controller's network settings.
struct EthernetInfo {
    bool dhcp = false;       // addresses from DHCP instead of the ones below
    // Its IPv4 address, netmask and gateway, dotted.
    QString ip;
    QString netmask;
    QString gateway;
};

static_assert(sizeof(VersionInfo) == 350, "VersionInfo is fourteen 25-byte texts");
static_assert(sizeof(QRobotType::HWVersion) == 160, "HWVersion is four 40-byte texts");
static_assert(std::is_trivially_copyable<VersionInfo>::value, "VersionInfo is copied byte for byte");

Q_DECLARE_METATYPE(QRobotType::HWVersion)
Q_DECLARE_METATYPE(VersionInfo)
Q_DECLARE_METATYPE(AlarmInfo)
Q_DECLARE_METATYPE(EthernetInfo)

#endif // INFOTYPES_H
