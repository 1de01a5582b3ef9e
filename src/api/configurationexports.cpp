// Configuration exports: active frames, the tool and user tables, calibration,
// kinematics, payload, force sensor, torque parameter, analog IO and the
// enabling switch for trajectory teaching.
#include "Varlo.h"
#include "api/library.h"
#include "Varlo/payloadiotypes.h"
#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/coordinatetypes.h"
#include "Varlo/qrobotsettings.h"
#include "Varlo/qrobottype.h"

#include <cstring>
#include <functional>

namespace {

const int FrameSize = int(sizeof(float) * 6);

// A frame index names one of the ten entries of a table.
bool isTableIndex(int32_t index)
{
    return index >= 0 && index < CoordinateTable::EntryCount;
}

enum class Table { Tool, User };

CoordinateTable readTable(QRobotSettings *settings, Table table)
{
    return table == Table::Tool ? settings->toolCoordinates() : settings->userCoordinates();
}

bool writeTable(QRobotSettings *settings, Table table, const CoordinateTable &coordinates)
{
    return table == Table::Tool ? settings->setToolCoordinates(coordinates) : settings->setUserCoordinates(coordinates);
}

// Changes entry `index` of a table and writes the table back whole. A table
// that could not be read is not written (the other nine entries would be
// lost): 2.
int32_t editEntry(QRobotSettings *settings, Table table, int32_t index, const std::function<void(CoordinateEntry &)> &change)
{
    CoordinateTable coordinates;
    const bool read = table == Table::Tool ? settings->toolCoordinatesForEdit(coordinates)
                                           : settings->userCoordinatesForEdit(coordinates);
    if (!read)
        return VARLO_REQUEST_FAILED;
    CoordinateEntry &entry = coordinates.entry[index];
    change(entry);
    entry.enable = true;
    writeTable(settings, table, coordinates);
    return VARLO_OK;
}


int32_t setIndex(int32_t index, void (QRobotProtocol::*request)(int))
{
    if (!isTableIndex(index))
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) { (robot->protocol()->*request)(index); });
}

int32_t getIndex(int32_t *index, int (QRobotProtocol::*reported)() const)
{
    if (!index)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) { *index = (robot->protocol()->*reported)(); });
}

// Whole-table read-modify-write: the other entries and the alias stay as read.
int32_t setFrame(Table table, const float *frame, int32_t index)
{
    if (!frame || !isTableIndex(index))
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) {
        return editEntry(robot->settings(), table, index,
                         [&](CoordinateEntry &entry) { std::memcpy(entry.params, frame, FrameSize); });
    });
}

int32_t getFrame(Table table, float *frame, int32_t index)
{
    if (!frame || !isTableIndex(index))
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        const CoordinateTable coordinates = readTable(robot->settings(), table);
        std::memcpy(frame, coordinates.entry[index].params, FrameSize);
    });
}

// One of the three calibrations that the exports offer: the operation, the
// table its frame goes to, and the components of the entry it replaces.
struct Calibration
{
    bool (QRobotSettings::*calibrate)(const CalibrationPoints &, CalibrationPoint &);
    Table table;
    int first;
    int count;
};

const Calibration UserCalibration = { &QRobotSettings::calibrateCoordinateUser, Table::User, 0, 6 };
const Calibration ToolPositionCalibration = { &QRobotSettings::calibrateCoordinateToolPosition, Table::Tool, 0, 3 };
const Calibration ToolPoseCalibration = { &QRobotSettings::calibrateCoordinateToolPose, Table::Tool, 3, 3 };

int32_t calibrate(const Calibration &calibration, const CalibrationPoints &points, float *frame, int32_t index)
{
    return withComponents([&](QRobot *robot) {
        QRobotSettings *settings = robot->settings();
        CalibrationPoint result = {};
        // A failed calibration leaves the host's frame and both tables alone.
        if (!(settings->*calibration.calibrate)(points, result))
            return VARLO_REQUEST_FAILED;
        std::memcpy(frame, result.pose, FrameSize);
        // The frame is the host's even when its table cannot take it.
        return editEntry(settings, calibration.table, index, [&](CoordinateEntry &entry) {
            for (int c = calibration.first; c < calibration.first + calibration.count; ++c)
                entry.params[c] = result.pose[c];
        });
    });
}

int32_t calibratePacked(const Calibration &calibration, const float *points, float *frame, int32_t index)
{
    if (!points || !frame || !isTableIndex(index))
        return VARLO_INVALID_ARGUMENT;
    CalibrationPoints set;
    std::memcpy(&set, points, sizeof set);
    return calibrate(calibration, set, frame, index);
}

int32_t calibrateSeparate(const Calibration &calibration, const float *point1, const float *point2,
                          const float *point3, float *frame, int32_t index)
{
    if (!point1 || !point2 || !point3 || !frame || !isTableIndex(index))
        return VARLO_INVALID_ARGUMENT;
    CalibrationPoints set;
    std::memcpy(set.point[0].pose, point1, FrameSize);
    std::memcpy(set.point[1].pose, point2, FrameSize);
    std::memcpy(set.point[2].pose, point3, FrameSize);
    return calibrate(calibration, set, frame, index);
}

} // namespace

// ---- active frames ---------------------------------------------------------

VARLO_FUNCTION(int32_t) SetCoordinateUserIndex(int32_t index)
{
    return setIndex(index, &QRobotProtocol::requestUserCoordinate);
}

VARLO_FUNCTION(int32_t) GetCoordinateUserIndex(int32_t *index)
{
    return getIndex(index, &QRobotProtocol::userCoordinate);
}

VARLO_FUNCTION(int32_t) SetCoordinateToolIndex(int32_t index)
{
    return setIndex(index, &QRobotProtocol::requestToolCoordinate);
}

VARLO_FUNCTION(int32_t) GetCoordinateToolIndex(int32_t *index)
{
    return getIndex(index, &QRobotProtocol::toolCoordinate);
}

// ---- frames of the tables --------------------------------------------------

VARLO_FUNCTION(int32_t) SetCoordinateUserParams(const float frame[6], int32_t index)
{
    return setFrame(Table::User, frame, index);
}

VARLO_FUNCTION(int32_t) GetCoordinateUserParams(float frame[6], int32_t index)
{
    return getFrame(Table::User, frame, index);
}

VARLO_FUNCTION(int32_t) SetCoordinateToolParams(const float frame[6], int32_t index)
{
    return setFrame(Table::Tool, frame, index);
}

VARLO_FUNCTION(int32_t) GetCoordinateToolParams(float frame[6], int32_t index)
{
    return getFrame(Table::Tool, frame, index);
}

// ---- calibration -----------------------------------------------------------

VARLO_FUNCTION(int32_t) CalibrateCoordinateUser(const float points[18], float frame[6], int32_t index)
{
    return calibratePacked(UserCalibration, points, frame, index);
}

VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPosition(const float points[18], float frame[6], int32_t index)
{
    return calibratePacked(ToolPositionCalibration, points, frame, index);
}

VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPose(const float points[18], float frame[6], int32_t index)
{
    return calibratePacked(ToolPoseCalibration, points, frame, index);
}

VARLO_FUNCTION(int32_t) CalibrateCoordinateUserToPy(const float point1[6], const float point2[6],
                                                    const float point3[6], float frame[6], int32_t index)
{
    return calibrateSeparate(UserCalibration, point1, point2, point3, frame, index);
}

VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPositionToPy(const float point1[6], const float point2[6],
                                                            const float point3[6], float frame[6], int32_t index)
{
    return calibrateSeparate(ToolPositionCalibration, point1, point2, point3, frame, index);
}

VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPoseToPy(const float point1[6], const float point2[6],
                                                        const float point3[6], float frame[6], int32_t index)
{
    return calibrateSeparate(ToolPoseCalibration, point1, point2, point3, frame, index);
}

// ---- kinematics --------------------------------------------------------------

VARLO_FUNCTION(int32_t) PositiveSolution(const float joints[6], int32_t tool, int32_t user, float frame[6])
{
    if (!joints || !frame)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) {
        QRobotType::JointCoordinate joint;
        std::memcpy(joint.joint, joints, FrameSize);
        QRobotType::CartesianCoordinate result = {};
        // No answer, no numbers: the host's frame stays as it was.
        if (!robot->settings()->positiveSolution(joint, tool, user, result))
            return VARLO_REQUEST_FAILED;
        std::memcpy(frame, result.pose, FrameSize);
        return VARLO_OK;
    });
}

VARLO_FUNCTION(int32_t) InverseSolution(const float frame[6], const int32_t configuration[4], int32_t tool,
                                        int32_t user, float joints[6])
{
    if (!frame || !configuration || !joints)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) {
        QRobotType::CartesianCoordinate coordinate;
        std::memcpy(coordinate.pose, frame, FrameSize);
        QRobotType::RDNCoordinate rdn;
        std::memcpy(rdn.rdn, configuration, sizeof rdn.rdn);
        QRobotType::JointCoordinate result = {};
        if (!robot->settings()->inverseSolution(coordinate, rdn, tool, user, result))
            return VARLO_REQUEST_FAILED;
        std::memcpy(joints, result.joint, FrameSize);
        return VARLO_OK;
    });
}

// ---- payload, force sensor, torque -----------------------------------------

VARLO_FUNCTION(int32_t) SetPayLoad(const VarloPayloadRecord *payload)
{
    if (!payload)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        const QRobotCoor::Load load{ payload->x, payload->y, payload->z, payload->loadValue };
        robot->collaborative()->setLoadCenter(load);
    });
}

VARLO_FUNCTION(int32_t) GetPayLoad(VarloPayloadRecord *payload)
{
    if (!payload)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        // Keys the document lacks keep the host's values.
        QRobotCoor::Load load{ payload->x, payload->y, payload->z, payload->loadValue };
        if (robot->collaborative()->getLoadCenter(load)) {
            payload->x = load.x;
            payload->y = load.y;
            payload->z = load.z;
            payload->loadValue = load.loadValue;
            std::memset(payload->reserved, 0, sizeof payload->reserved);
        }
    });
}

VARLO_FUNCTION(int32_t) SetForceSensor(bool on)
{
    return withComponentsOk([&](QRobot *robot) { robot->collaborative()->setForceSensor(on); });
}

VARLO_FUNCTION(int32_t) GetForceSensor(bool *on)
{
    if (!on)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        // A document without the key keeps the host's value; any non-zero byte is true.
        bool value = *reinterpret_cast<const unsigned char *>(on) != 0;
        if (robot->collaborative()->getForceSensor(value))
            *on = value;
    });
}

VARLO_FUNCTION(int32_t) GetForceOrgParams(float values[6])
{
    if (!values)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        float readings[6];
        std::memcpy(readings, values, sizeof readings);
        if (robot->collaborative()->getForceData(readings))
            std::memcpy(values, readings, sizeof readings);
    });
}

VARLO_FUNCTION(int32_t) SetForceHome(void)
{
    return withComponentsOk([&](QRobot *robot) { robot->collaborative()->setForceHome(); });
}

VARLO_FUNCTION(int32_t) SetTorqueParams(float value)
{
    return withComponentsOk([&](QRobot *robot) { robot->collaborative()->setTorqueParams(value); });
}

VARLO_FUNCTION(int32_t) GetTorqueParams(float *value)
{
    if (!value)
        return VARLO_INVALID_ARGUMENT;
    return withComponents([&](QRobot *robot) {
        float torque = *value;
        if (!robot->collaborative()->getTorqueParams(torque))
            return VARLO_REQUEST_FAILED;
        *value = torque;
        return VARLO_OK;
    });
}

// ---- analog IO -------------------------------------------------------------

VARLO_FUNCTION(int32_t) GetAI(VarloGPIOAI *ai)
{
    if (!ai)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        QRobotCoor::GPIOAI modes = *ai;
        if (robot->collaborative()->getGPIOAI(modes))
            *ai = modes;
    });
}

VARLO_FUNCTION(int32_t) GetAO(VarloGPIOAO *ao)
{
    if (!ao)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) {
        QRobotCoor::GPIOAO outputs = *ao;
        if (robot->collaborative()->getGPIOAO(outputs))
            *ao = outputs;
    });
}

VARLO_FUNCTION(int32_t) SetAO(const VarloGPIOAO *ao)
{
    if (!ao)
        return VARLO_INVALID_ARGUMENT;
    return withComponentsOk([&](QRobot *robot) { robot->collaborative()->setGPIOAO(*ao); });
}

// ---- teaching ----------------------------------------------------------------

VARLO_FUNCTION(int32_t) SetTeachTrajectory(bool on)
{
    return withComponentsOk([&](QRobot *robot) { robot->collaborative()->setThreeSwitch(&on); });
}
