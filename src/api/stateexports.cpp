// State and IO exports: the live state that the state exchange mirrors, the
// state callback, and the two one-shot requests the exchange carries.
#include "Varlo.h"
#include "api/exchangerecord.h"
#include "api/library.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"

#include <cstring>

using VarloExchangeRecords::Fields;

namespace {

// Refills the library's state record and hands it to the host.
void runExchangeCallback(QRobot *robot, VarloExchangeFunction callback, void *userData)
{
    QRobotProtocol *protocol = robot->protocol();
    if (!protocol)
        return;
    VarloExchangeRecord &record = VarloExchangeRecords::stateRecord();
    VarloExchangeRecords::fill(*protocol, record, Fields::ForAxisCount, VarloLibrary::axisCount());
    callback(&record, userData);
}

template <typename Signal>
void attach(QRobot *robot, Signal signal, VarloExchangeFunction callback, void *userData)
{
    // The notification's own argument is not needed: the record is refilled
    // from the mirrored state as a whole.
    QObject::connect(robot, signal, robot,
                     [robot, callback, userData] { runExchangeCallback(robot, callback, userData); });
}

// Copies one mirrored value out to the host.
template <typename Value>
int32_t copyOut(void *out, Value (QRobotProtocol::*getter)() const)
{
    if (!out)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        const Value value = (robot->protocol()->*getter)();
        std::memcpy(out, &value, sizeof value);
    });
}

} // namespace

VARLO_FUNCTION(int32_t) ExchangeCallback(VarloExchangeFunction callback, void *userData)
{
    if (!callback)
        return VARLO_INVALID_ARGUMENT;
    // Registered on the facade alone, so a host may do it before connecting;
    // the axis count decides now which of the two robot-specific
    // notifications are wanted.
    QRobot *robot = VarloLibrary::facade();
    const int32_t axisCount = VarloLibrary::axisCount();

    attach(robot, &QRobot::controlModeChanged, callback, userData);
    attach(robot, &QRobot::isCollisionChanged, callback, userData);
    attach(robot, &QRobot::jogModeChanged, callback, userData);
    attach(robot, &QRobot::autoManualChanged, callback, userData);
    attach(robot, &QRobot::toolCoordinateChanged, callback, userData);
    attach(robot, &QRobot::userCoordinateChanged, callback, userData);
    attach(robot, &QRobot::jointCoordinateChanged, callback, userData);
    attach(robot, &QRobot::cartesianCoordinateChanged, callback, userData);
    attach(robot, &QRobot::alarmsChanged, callback, userData);
    if (axisCount == 6)
        attach(robot, &QRobot::rdnCoordinateChanged, callback, userData);
    if (axisCount == 4)
        attach(robot, &QRobot::armOrientationChanged, callback, userData);
    attach(robot, &QRobot::DOChanged, callback, userData);
    attach(robot, &QRobot::DIChanged, callback, userData);
    return VARLO_OK;
}

VARLO_FUNCTION(int32_t) GetExchange(VarloExchangeRecord *record)
{
    if (!record)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([record](QRobot *robot) {
        VarloExchangeRecord filled = VarloExchangeRecords::stateRecord();
        VarloExchangeRecords::fill(*robot->protocol(), filled, Fields::All, VarloLibrary::axisCount());
        std::memcpy(record, &filled, sizeof filled);
    });
}

VARLO_FUNCTION(int32_t) GetCartesianCoordinate(float *coordinate)
{
    return copyOut(coordinate, &QRobotProtocol::cartesianCoordinate);
}

VARLO_FUNCTION(int32_t) GetJointCoordinate(float *coordinate)
{
    return copyOut(coordinate, &QRobotProtocol::jointCoordinate);
}

VARLO_FUNCTION(int32_t) GetRdnCoordinate(int32_t *coordinate)
{
    return copyOut(coordinate, &QRobotProtocol::rdnCoordinate);
}

VARLO_FUNCTION(int32_t) GetArmOrientation(int32_t *orientation)
{
    return copyOut(orientation, &QRobotProtocol::armOrientation);
}

VARLO_FUNCTION(int32_t) GetDI(VarloIO *io)
{
    return copyOut(io, &QRobotProtocol::DI);
}

VARLO_FUNCTION(int32_t) GetDO(VarloIO *io)
{
    return copyOut(io, &QRobotProtocol::DO);
}

VARLO_FUNCTION(int32_t) GetControlMode(int32_t *mode)
{
    if (!mode)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([mode](QRobot *robot) { *mode = int32_t(robot->protocol()->controlMode()); });
}

VARLO_FUNCTION(int32_t) GetPowerMode(bool *isPower)
{
    if (!isPower)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([isPower](QRobot *robot) { *isPower = robot->protocol()->isPower(); });
}

VARLO_FUNCTION(int32_t) SetDO(const VarloIO *io)
{
    if (!io)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([io](QRobot *robot) {
        // Copied byte for byte: the host's bool bytes may hold any value.
        VarloIO outputs;
        std::memcpy(&outputs, io, sizeof outputs);
        robot->protocol()->setDO(outputs);
    });
}

VARLO_FUNCTION(int32_t) ClearAlarms(void)
{
    return withComponentsOk([](QRobot *robot) { robot->protocol()->clearAlarms(); });
}
