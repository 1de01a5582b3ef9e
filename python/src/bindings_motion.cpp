// Core members that move the arm or change its state: motions, jogs, the
// stop, control mode and power, outputs, the panel's keys, alarms, speed and
// the active frames.
#include "bindings.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotcollaborative.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

namespace py = pybind11;

namespace {

using Outcome = RobotCore::MotionOutcome;

// Sends a motion command; then, when blocking, waits for its end.
template <typename Send>
int motion(RobotCore &core, Send send, QRobot::MotionCommand command, bool block, int msecs)
{
    return call(core, [&](QRobot &robot) {
        if (!send(robot))
            return int(RobotCore::NotAnswered);
        core.setMoving(true);
        return block ? int(core.finishMotion(command, msecs)) : int(RobotCore::Arrived);
    }, Session::Signals::TermToo);
}

// Presses a jog button once the controller has taken the coordinate.
bool pressJog(RobotCore &core, int axis, bool positive, bool cartesian)
{
    const QRobotType::Coordinate coordinate = cartesian ? QRobotType::Cartesian : QRobotType::Joint;
    core.setMoving(true);
    return core.libraryWait([&]() { return core.robot().startJog(coordinate, axis, positive); }, false);
}

} // namespace

void bindMotion(Core &core)
{
    core.def("go", [](RobotCore &self, bool linear, const Pose &pose, int tool, int user,
                      const std::array<int, 5> &configuration, bool block, int msecs) {
        MotionTarget target = { pose[0], pose[1], pose[2], pose[3], pose[4], pose[5], tool, user,
                                configuration[0], configuration[1], configuration[2], configuration[3],
                                configuration[4] };
        return motion(self, [&](QRobot &robot) {
            return robot.settings()->go(target, QLatin1String(linear ? "move" : "go"), true);
        }, QRobot::GoCommand, block, msecs);
    });
    core.def("move_joints", [](RobotCore &self, const Pose &joints, bool block, int msecs) {
        QRobotType::JointCoordinate target;
        std::copy(joints.begin(), joints.end(), target.joint);
        return motion(self, [&](QRobot &robot) { return robot.settings()->moveJ(target, true); },
                      QRobot::MoveJCommand, block, msecs);
    });
    core.def("move_relative", [](RobotCore &self, bool linear, float dx, float dy, float dz, bool block, int msecs) {
        return motion(self, [&](QRobot &robot) {
            return linear ? robot.settings()->moveR(dx, dy, dz) : robot.settings()->goR(dx, dy, dz);
        }, linear ? QRobot::MoveRCommand : QRobot::GoRCommand, block, msecs);
    });
    core.def("jog_start", [](RobotCore &self, int axis, bool positive, bool cartesian) {
        return call(self, [&](QRobot &) { return pressJog(self, axis, positive, cartesian); },
                    Session::Signals::TermToo);
    });
    core.def("is_jog_axis", [](RobotCore &self, int axis, bool cartesian) {
        return self.robot().isJogAxis(cartesian ? QRobotType::Cartesian : QRobotType::Joint, axis);
    });
    core.def("jog_stop", [](RobotCore &self) { return call(self, [](QRobot &robot) { return robot.stopJog(); }); });
    // Holds a jog button for `msecs`, then releases every button (an
    // interruption releases them too, and waits for the arm to stand).
    core.def("jog", [](RobotCore &self, int axis, bool positive, bool cartesian, int msecs) {
        return call(self, [&](QRobot &robot) {
            if (!pressJog(self, axis, positive, cartesian))
                return false;
            Session::runUntil([]() { return false; }, msecs);
            if (Session::interrupted())
                return false; // the interruption stops the arm
            robot.stopJog();
            self.setMoving(false);
            return true;
        }, Session::Signals::TermToo);
    });
    core.def("stop", [](RobotCore &self) {
        return call(self, [&](QRobot &) {
            self.setMoving(false);
            return self.stopArm();
        }, Session::Signals::TermToo);
    });

    core.def("set_control_mode", [](RobotCore &self, int mode) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setControlMode(mode); });
    });
    core.def("set_power", [](RobotCore &self, bool on) {
        return call(self, [&](QRobot &robot) { return robot.collaborative()->setPowerControl(on); });
    });
    // Switches exactly the channels (1 to 64) in `on`, the others off.
    core.def("set_outputs", [](RobotCore &self, const std::vector<int> &on) {
        call(self, [&](QRobot &robot) {
            QRobotType::IO io = {};
            io.enable = true;
            for (int channel : on)
                io.value[channel - 1] = true;
            robot.protocol()->setDO(io);
        });
    });
    // One output (1 to 64), the others as the controller has them; true once
    // the controller reports it.
    core.def("set_output", [](RobotCore &self, int channel, bool on, int msecs) {
        return call(self, [&](QRobot &robot) {
            return self.libraryWait([&]() { return robot.setDigitalOutput(channel - 1, on, msecs); }, false);
        }, Session::Signals::TermToo);
    });
    core.def("clear_alarms", [](RobotCore &self) {
        call(self, [](QRobot &robot) { robot.protocol()->clearAlarms(); });
    });
    core.def("emergency_stop", [](RobotCore &self, bool pressed) {
        call(self, [&](QRobot &robot) {
            if (pressed)
                self.setMoving(false); // the controller stops the arm itself
            robot.panel()->switchEmergencyStop(pressed);
        });
    });
    core.def("auto_manual", [](RobotCore &self, bool automatic) {
        call(self, [&](QRobot &robot) { robot.panel()->switchAutoManual(automatic); });
    });
    core.def("enabling_switch", [](RobotCore &self, bool pressed) {
        call(self, [&](QRobot &robot) { robot.panel()->switchThreeSwitch(pressed); });
    });
    core.def("speed", [](RobotCore &self) {
        return call(self, [](QRobot &robot) { return robot.settings()->commonRatio(); });
    });
    core.def("set_speed", [](RobotCore &self, float ratio) {
        return call(self, [&](QRobot &robot) { return robot.settings()->setCommonRatio(ratio); });
    });
    core.def("set_frame_index", [](RobotCore &self, bool user, int index) {
        call(self, [&](QRobot &robot) {
            if (user)
                robot.protocol()->requestUserCoordinate(index);
            else
                robot.protocol()->requestToolCoordinate(index);
        });
    });
}
