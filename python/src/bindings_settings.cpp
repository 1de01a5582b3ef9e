// Core members for the controller's settings: frame tables, kinematics and
// calibration, payload, force sensor, analog IO, collision detection, the
// alarm catalogue, versions and settings documents read and written whole.
#include "bindings.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotcollaborative.h>
#include <Varlo/qrobotsettings.h>

#include <optional>
#include <tuple>

namespace py = pybind11;

namespace {

// One frame of a table: in use, name, x y z a b c.
using Frame = std::tuple<bool, std::string, Pose>;

std::vector<Frame> framesOf(const CoordinateTable &table)
{
    std::vector<Frame> frames;
    for (const CoordinateEntry &entry : table.entry)
        frames.emplace_back(entry.enable, fieldText(entry.alias, sizeof entry.alias), arrayOf(entry.params));
    return frames;
}

// The calibrations by their Python names.
using Calibration = bool (QRobotSettings::*)(const CalibrationPoints &, CalibrationPoint &);
Calibration calibrationNamed(const std::string &name)
{
    if (name == "user")
        return &QRobotSettings::calibrateCoordinateUser;
    if (name == "tool_position")
        return &QRobotSettings::calibrateCoordinateToolPosition;
    if (name == "tool_pose")
        return &QRobotSettings::calibrateCoordinateToolPose;
    throw py::value_error("no calibration " + name);
}

} // namespace

void bindSettings(Core &core)
{
    // A table read whole: None when it could not be read (a table the
    // controller does not have yet reads as ten unused frames).
    core.def("frames", [](RobotCore &self, bool user) {
        return call(self, [&](QRobot &robot) -> std::optional<std::vector<Frame>> {
            CoordinateTable table;
            const bool read = user ? robot.settings()->userCoordinatesForEdit(table)
                                   : robot.settings()->toolCoordinatesForEdit(table);
            if (!read)
                return std::nullopt;
            return framesOf(table);
        });
    });
    core.def("set_frames", [](RobotCore &self, bool user, const std::vector<Frame> &frames) {
        CoordinateTable table = {};
        for (size_t i = 0; i < frames.size() && i < size_t(CoordinateTable::EntryCount); ++i) {
            CoordinateEntry &entry = table.entry[i];
            entry.enable = std::get<0>(frames[i]);
            setField(entry.alias, sizeof entry.alias, std::get<1>(frames[i]));
            copyTo(std::get<2>(frames[i]), entry.params);
        }
        return call(self, [&](QRobot &robot) {
            return user ? robot.settings()->setUserCoordinates(table) : robot.settings()->setToolCoordinates(table);
        });
    });

    core.def("forward", [](RobotCore &self, const Pose &joints, int tool, int user) {
        return call(self, [&](QRobot &robot) -> std::optional<Pose> {
            QRobotType::JointCoordinate joint;
            copyTo(joints, joint.joint);
            QRobotType::CartesianCoordinate pose = {};
            if (!robot.settings()->positiveSolution(joint, tool, user, pose))
                return std::nullopt;
            return arrayOf(pose.pose);
        });
    });
    core.def("inverse", [](RobotCore &self, const Pose &pose, const std::array<int, 4> &rdn, int tool, int user) {
        return call(self, [&](QRobot &robot) -> std::optional<Pose> {
            QRobotType::CartesianCoordinate target;
            copyTo(pose, target.pose);
            QRobotType::RDNCoordinate configuration;
            std::copy(rdn.begin(), rdn.end(), configuration.rdn);
            QRobotType::JointCoordinate joints = {};
            if (!robot.settings()->inverseSolution(target, configuration, tool, user, joints))
                return std::nullopt;
            return arrayOf(joints.joint);
        });
    });
    core.def("calibrate", [](RobotCore &self, const std::string &name, const std::array<Pose, 3> &points) {
        const Calibration calibrate = calibrationNamed(name);
        CalibrationPoints taught;
        for (int i = 0; i < 3; ++i)
            copyTo(points[size_t(i)], taught.point[i].pose);
        return call(self, [&](QRobot &robot) -> std::optional<Pose> {
            CalibrationPoint result = {};
            if (!(robot.settings()->*calibrate)(taught, result))
                return std::nullopt;
            return arrayOf(result.pose);
        });
    });

    core.def("payload", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<std::array<float, 4>> {
            QRobotCoor::Load load = {};
            if (!robot.collaborative()->getLoadCenter(load))
                return std::nullopt;
            return std::array<float, 4>{ load.x, load.y, load.z, load.loadValue };
        });
    });
    core.def("set_payload", [](RobotCore &self, const std::array<float, 4> &payload) {
        return call(self, [&](QRobot &robot) {
            return robot.collaborative()->setLoadCenter(QRobotCoor::Load{ payload[0], payload[1], payload[2], payload[3] });
        });
    });
    core.def("force_sensor", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<bool> {
            bool on = false;
            if (!robot.collaborative()->getForceSensor(on))
                return std::nullopt;
            return on;
        });
    });
    core.def("set_force_sensor", [](RobotCore &self, bool on) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setForceSensor(on); });
    });
    core.def("force", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<Pose> {
            float values[6] = {};
            if (!robot.collaborative()->getForceData(values))
                return std::nullopt;
            return arrayOf(values);
        });
    });
    core.def("zero_force_sensor", [](RobotCore &self) {
        return call(self, [](QRobot &robot) { return robot.collaborative()->setForceHome(); });
    });
    core.def("torque", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<float> {
            float value = 0;
            if (!robot.collaborative()->getTorqueParams(value))
                return std::nullopt;
            return value;
        });
    });
    core.def("set_torque", [](RobotCore &self, float value) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setTorqueParams(value); });
    });
    core.def("analog_inputs", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<std::array<int, 2>> {
            QRobotCoor::GPIOAI modes = {};
            if (!robot.collaborative()->getGPIOAI(modes))
                return std::nullopt;
            return std::array<int, 2>{ modes.mode1, modes.mode2 };
        });
    });
    core.def("analog_outputs", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<std::array<std::array<int, 2>, 2>> {
            QRobotCoor::GPIOAO outputs = {};
            if (!robot.collaborative()->getGPIOAO(outputs))
                return std::nullopt;
            return std::array<std::array<int, 2>, 2>{ { { outputs.channel[0].mode, outputs.channel[0].value },
                                                        { outputs.channel[1].mode, outputs.channel[1].value } } };
        });
    });
    core.def("set_analog_outputs", [](RobotCore &self, const std::array<std::array<int, 2>, 2> &channels) {
        QRobotCoor::GPIOAO outputs = {};
        for (int i = 0; i < 2; ++i)
            outputs.channel[i] = { channels[size_t(i)][0], channels[size_t(i)][1] };
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setGPIOAO(outputs); });
    });
    core.def("collision_detection", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<std::tuple<bool, int>> {
            bool on = false, mode = false, resume = false;
            int level = 0;
            if (!robot.collaborative()->getCollisionDect(on, mode, resume, level))
                return std::nullopt;
            return std::make_tuple(on, level);
        });
    });
    core.def("set_collision_detection", [](RobotCore &self, bool on, int level) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setCollisionDect(on, false, false, level); });
    });
    core.def("reset_collision", [](RobotCore &self) {
        return call(self, [](QRobot &robot) { return robot.collaborative()->resetCollision(); });
    });
    core.def("teach_trajectory", [](RobotCore &self, bool on) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setThreeSwitch(&on); });
    });

    core.def("alarm_info", [](RobotCore &self, int id, bool servo, bool english) {
        return call(self, [&](QRobot &robot) {
            AlarmInfo info;
            info.id = id;
            robot.settings()->alarmInfo(id, servo ? 1 : 0, info, english);
            return std::make_tuple(info.id, info.level, text(info.description), text(info.cause), text(info.solution));
        });
    });
    core.def("version", [](RobotCore &self) {
        return call(self, [](QRobot &robot) {
            VersionInfo info;
            robot.settings()->version(info);
            return std::make_tuple(fieldText(info.library, 25), fieldText(info.control, 25),
                                   fieldText(info.algs, 25), fieldText(info.system, 25));
        });
    });

    // A settings document: (0 read, 1 missing, 2 failed; its JSON text).
    core.def("read_document", [](RobotCore &self, const std::string &name) {
        auto [status, bytes] = call(self, [&](QRobot &robot) {
            QByteArray reply;
            const QHttpManager::ParaRead read = robot.transport()->readPara(reply, qtext(name));
            return std::make_pair(int(read), reply);
        });
        return std::make_tuple(status, py::bytes(bytes.constData(), size_t(bytes.size())));
    });
    core.def("write_document", [](RobotCore &self, const std::string &name, const std::string &json) {
        const QByteArray data = QByteArray::fromStdString(json);
        return call(self, [&](QRobot &robot) { return robot.transport()->setPara(data, qtext(name)); });
    });
}
