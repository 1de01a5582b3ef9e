// Core members for the controller's script: run, pause, continue, stop, its
// state, and the notifications it sent (lines, prints, errors, the end).
#include "bindings.h"

#include <Varlo/qrobotdebugger.h>

namespace py = pybind11;

void bindScript(Core &core)
{
    // Start and continue return why the debugger could not do it (the
    // controller's refusal, the notification ports held by another
    // program), empty when it did.
    core.def("script_run", [](RobotCore &self, const std::string &project) {
        return call(self, [&](QRobot &) {
            self.scriptEvents().clear();
            return text(self.startScript([&](QRobotDebugger &debugger) { debugger.straightRun(qtext(project)); }));
        }, Session::Signals::TermToo);
    });
    core.def("script_pause", [](RobotCore &self) { call(self, [](QRobot &robot) { robot.straightSuspend(); }); });
    core.def("script_continue", [](RobotCore &self) {
        return call(self, [&](QRobot &) {
            return text(self.startScript([](QRobotDebugger &debugger) { debugger.straightContinue(); }));
        });
    });
    core.def("script_stop", [](RobotCore &self) {
        call(self, [&](QRobot &robot) {
            robot.stop();
            self.scriptStopped();
        });
    });
    // (state, project): 2 running, 3 paused, 5 stopped (0 and 1: a debug
    // session); None when the controller did not answer.
    core.def("script_state", [](RobotCore &self) {
        return call(self, [](QRobot &robot) -> std::optional<std::tuple<int, std::string>> {
            QRobotType::ScriptState state;
            if (!robot.state(state))
                return std::nullopt;
            return std::make_tuple(int(state.state), text(state.projectName));
        });
    });
    core.def_property_readonly("script_running", &RobotCore::scriptStarted);
    // The notifications not yet taken, oldest first: (kind, line, text) with
    // the kinds of RobotCore::ScriptEvent.
    core.def("take_script_events", [](RobotCore &self) {
        std::vector<std::tuple<int, int, std::string>> taken;
        for (const RobotCore::ScriptEvent &event : self.scriptEvents())
            taken.emplace_back(int(event.kind), event.line, text(event.text));
        self.scriptEvents().clear();
        return taken;
    });
}
