#include "api/exchangerecord.h"

#include "Varlo/qrobotprotocol.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace {

// The record is packed: its 32-bit fields are unaligned, so they are written
// as bytes at their offsets rather than through pointers to the fields.
template <typename T>
void put(VarloExchangeRecord &record, std::size_t offset, const T &value)
{
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    std::memcpy(reinterpret_cast<unsigned char *>(&record) + offset, &value, sizeof value);
}

#define PUT(record, field, value)                                                          \
    do {                                                                                   \
        static_assert(sizeof(value) == sizeof(VarloExchangeRecord::field), #field " size"); \
        put(record, offsetof(VarloExchangeRecord, field), value);                          \
    } while (false)

VarloExchangeRecord initialRecord()
{
    VarloExchangeRecord record;
    std::memset(&record, 0, sizeof record);
    // What the exchange mirrors before its first reply.
    record.isPower = true;
    PUT(record, armOrientation, QRobotType::ArmOrientation(1));
    return record;
}

// Allocated with the library image, like the host expects of it.
VarloExchangeRecord s_stateRecord = initialRecord();

} // namespace

namespace VarloExchangeRecords {

void fill(const QRobotProtocol &protocol, VarloExchangeRecord &record, Fields fields, int axisCount)
{
    const bool all = fields == Fields::All;

    const bool isEnabled = protocol.controlMode() != QRobotType::Disable;
    PUT(record, isEnabled, isEnabled);
    if (all || axisCount == 6) {
        const bool isPower = protocol.isPower();
        PUT(record, isPower, isPower);
    }

    const bool isJog = protocol.jogMode() != QRobotType::Step;
    const bool isCollision = protocol.isCollision();
    const bool isAuto = protocol.autoManual() != QRobotType::Manual;
    const qint32 tool = protocol.toolCoordinate();
    const qint32 user = protocol.userCoordinate();
    PUT(record, isJog, isJog);
    PUT(record, isCollision, isCollision);
    PUT(record, isAuto, isAuto);
    PUT(record, toolCoordinate, tool);
    PUT(record, userCoordinate, user);
    PUT(record, jointCoordinate, protocol.jointCoordinate().joint);
    PUT(record, cartesianCoordinate, protocol.cartesianCoordinate().pose);

    if (all || axisCount == 6)
        PUT(record, rdnCoordinate, protocol.rdnCoordinate().rdn);
    if (all || axisCount == 4)
        PUT(record, armOrientation, protocol.armOrientation());

    PUT(record, DO, protocol.DO());
    PUT(record, DI, protocol.DI());
    PUT(record, alarms, protocol.alarms().alarm);
}

VarloExchangeRecord &stateRecord()
{
    return s_stateRecord;
}

} // namespace VarloExchangeRecords
