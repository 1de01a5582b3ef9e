// Motion, jog and speed exports.
#include "Varlo.h"
#include "api/library.h"
#include "robot/motionwait.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotsettings.h"
#include "transport/controllerio.h"

#include <cmath>
#include <cstring>
#include <limits>


namespace {

// Result of the last wait of each blocking motion export.
int32_t s_movJResult = VARLO_OK;
int32_t s_movLResult = VARLO_OK;
int32_t s_jointMovJResult = VARLO_OK;
int32_t s_relMovJResult = VARLO_OK;
int32_t s_relMovLResult = VARLO_OK;

using MotionWait::StatusMember;

// The wait after a command that was answered, or 0 at once when the host does
// not block.
int32_t finishMotion(QRobot *robot, bool isBlock, int32_t *result, StatusMember status)
{
    if (!isBlock)
        return VARLO_OK;
    *result = MotionWait::codeForC(MotionWait::run(robot, status));
    return *result;
}

int32_t cartesianMotion(const VarloRunCmd *cmd, bool isBlock, const char *mode, const char *signature,
                        int32_t *result)
{
    if (!cmd)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) -> int32_t {
        const MotionTarget target = *cmd;
        if (!robot->settings()->go(target, QLatin1String(mode), true)) {
            ControllerIO::log(ControllerIO::LogText(signature, "failed!"));
            return VARLO_REQUEST_FAILED;
        }
        return finishMotion(robot, isBlock, result, &QRobotSettings::goState);
    });
}

using OffsetCommand = bool (QRobotSettings::*)(float, float, float);

int32_t relativeMotion(const float *offset, bool isBlock, OffsetCommand command, StatusMember status,
                       int32_t *result)
{
    if (!offset)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) -> int32_t {
        const float x = offset[0];
        const float y = offset[1];
        const float z = offset[2];
        if (!(robot->settings()->*command)(x, y, z))
            return VARLO_REQUEST_FAILED;
        return finishMotion(robot, isBlock, result, status);
    });
}

// Holds the button of one axis and direction, every other button released,
// once the coordinate has reached the controller (QRobot::startJog): 3 for an
// axis the arm lacks, 2 when the coordinate or the press went unanswered.
int32_t startJog(int32_t axis, bool direction, QRobotType::Coordinate coordinate)
{
    if (axis < 0 || axis > 5)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) -> int32_t {
        if (!robot->isJogAxis(coordinate, axis))
            return VARLO_INVALID_ARGUMENT;
        return robot->startJog(coordinate, axis, direction) ? VARLO_OK : VARLO_REQUEST_FAILED;
    });
}

// Truncation toward zero that stays defined for any float the controller sends.
int32_t truncatedRatio(float ratio)
{
    if (std::isnan(ratio))
        return 0;
    const double value = std::trunc(double(ratio));
    if (value >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

} // namespace

VARLO_FUNCTION(int32_t) MovJ(const VarloRunCmd *cmd, bool isBlock)
{
    return cartesianMotion(cmd, isBlock, "go", "int MovJ(VarloType::RunCmd*, bool)", &s_movJResult);
}

VARLO_FUNCTION(int32_t) MovL(const VarloRunCmd *cmd, bool isBlock)
{
    return cartesianMotion(cmd, isBlock, "move", "int MovL(VarloType::RunCmd*, bool)", &s_movLResult);
}

VARLO_FUNCTION(int32_t) JointMovJ(const float *joint, bool isBlock)
{
    if (!joint)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) -> int32_t {
        QRobotType::JointCoordinate target;
        std::memcpy(target.joint, joint, sizeof target.joint);
        if (!robot->settings()->moveJ(target, true))
            return VARLO_REQUEST_FAILED;
        return finishMotion(robot, isBlock, &s_jointMovJResult, &QRobotSettings::moveJState);
    });
}

VARLO_FUNCTION(int32_t) RelMovJ(const float *offset, bool isBlock)
{
    return relativeMotion(offset, isBlock, &QRobotSettings::goR, &QRobotSettings::goRState, &s_relMovJResult);
}

VARLO_FUNCTION(int32_t) RelMovL(const float *offset, bool isBlock)
{
    return relativeMotion(offset, isBlock, &QRobotSettings::moveR, &QRobotSettings::moveRState, &s_relMovLResult);
}

VARLO_FUNCTION(int32_t) JointTeachStart(int32_t axis, bool direction)
{
    return startJog(axis, direction, QRobotType::Joint);
}

VARLO_FUNCTION(int32_t) CoorTeachStart(int32_t axis, bool direction)
{
    return startJog(axis, direction, QRobotType::Cartesian);
}

VARLO_FUNCTION(int32_t) TeachStop(void)
{
    return withComponents([](QRobot *robot) -> int32_t { return robot->stopJog() ? VARLO_OK : VARLO_REQUEST_FAILED; });
}

VARLO_FUNCTION(int32_t) SetRapidRate(int32_t rate)
{
    return withComponents([&](QRobot *robot) -> int32_t {
        robot->settings()->setCommonRatio(float(rate));
        return VARLO_OK;
    });
}

VARLO_FUNCTION(int32_t) GetRapidRate(int32_t *rate)
{
    if (!rate)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) -> int32_t {
        *rate = truncatedRatio(robot->settings()->commonRatio());
        return VARLO_OK;
    });
}
