// The module varlo._varlo: the class Core with the connection, the live
// state, the waits and the events; the other members in bindings_*.cpp.
#include "bindings.h"

#include <Varlo/qrobotprotocol.h>

#include <QtCore/QCoreApplication>

#include <cstdlib>
#include <cstring>

namespace py = pybind11;

namespace {

py::list channels(const QRobotType::IO &io)
{
    py::list on;
    for (int i = 0; i < 64; ++i) {
        if (io.value[i])
            on.append(i + 1);
    }
    return on;
}

// The active alarms as (group, number): number n is bit n % 32 of word n / 32.
py::list activeAlarms(const QRobotType::Alarms &alarms)
{
    py::list found;
    for (int group = 0; group < 7; ++group) {
        for (int word = 0; word < 64; ++word) {
            const quint32 bits = quint32(alarms.alarm[group][word]);
            for (int bit = 0; bits && bit < 32; ++bit) {
                if (bits >> bit & 1u)
                    found.append(py::make_tuple(group, word * 32 + bit));
            }
        }
    }
    return found;
}

// The mirrored live state, in the order of varlo.State's fields (after the
// control mode, which the Python layer turns into `enabled`).
py::tuple stateOf(const QRobotProtocol &p)
{
    return py::make_tuple(int(p.controlMode()), p.isPower(), p.isCollision(), p.jogMode() != QRobotType::Step,
                          p.autoManual() != QRobotType::Manual, p.toolCoordinate(), p.userCoordinate(),
                          arrayOf(p.jointCoordinate().joint), arrayOf(p.cartesianCoordinate().pose),
                          activeAlarms(p.alarms()), arrayOf(p.rdnCoordinate().rdn), p.armOrientation(),
                          channels(p.DO()), channels(p.DI()), p.isStale());
}

} // namespace

std::string fieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

void setField(char *field, size_t size, const std::string &value)
{
    std::memset(field, 0, size);
    // Cut on a character boundary, the NUL kept.
    size_t length = std::min(value.size(), size - 1);
    while (length > 0 && length < value.size() && (static_cast<unsigned char>(value[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(field, value.data(), length);
}

PYBIND11_MODULE(_varlo, m)
{
    m.doc() = "The compiled core of the varlo package: one Core per Robot, on libVarlo's C++ interface.";
    // The library's diagnostics stay quiet unless the user asked for them.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "default.debug=false");

    py::enum_<RobotCore::Wake>(m, "Wake", py::arithmetic())
        .value("STATE", RobotCore::WakeState)
        .value("CONNECTION", RobotCore::WakeConnection)
        .value("SCRIPT", RobotCore::WakeScript);

    Core core(m, "Core");
    core.def(py::init([]() {
        Session::enter();
        return new RobotCore();
    }));
    core.def("set_sink", &RobotCore::setSink);
    core.def("connect", [](RobotCore &self, const std::string &address, int msecs) {
        return Session::run([&]() { return self.connect(qtext(address), msecs); }, Session::Signals::TermToo);
    });
    core.def("disconnect", [](RobotCore &self) { Session::run([&]() { self.disconnect(); }); });
    core.def_property_readonly("connected", &RobotCore::isConnected);
    core.def_property_readonly("exchanges", &RobotCore::exchanges);
    core.def_property_readonly("axis_count", [](RobotCore &self) { return self.robot().knownAxisCount(); });
    core.def("state", [](RobotCore &self) {
        if (!self.robot().isInitialized())
            throw std::runtime_error("varlo: not connected");
        return stateOf(*self.robot().protocol());
    });
    // Runs the library for `msecs`, or until an event of a kind in `wake`;
    // msecs 0 handles what is pending and returns.
    core.def("wait", [](RobotCore &self, int msecs, int wake) {
        Session::run([&]() {
            if (msecs <= 0) {
                QCoreApplication::processEvents();
                return;
            }
            const quint64 seen = self.eventCount(wake);
            Session::runUntil([&]() { return wake && self.eventCount(wake) != seen; }, msecs);
        }, Session::Signals::TermToo);
    }, py::arg("msecs"), py::arg("wake") = 0);

    bindMotion(core);
    bindSettings(core);
    bindProject(core);
    bindScript(core);
}
