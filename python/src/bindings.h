#ifndef VARLO_PYTHON_BINDINGS_H
#define VARLO_PYTHON_BINDINGS_H

// The compiled core of the Python package: the class Core, one per Robot, in
// the module varlo._varlo. Its members are thin: the package's Python layer
// (varlo/robot.py) checks the arguments, names the errors and documents the
// API; here every call runs as a Session call (GIL released, Ctrl-C watched).

#include "robotcore.h"
#include "session.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <QtCore/QString>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using Core = pybind11::class_<RobotCore>;
using Pose = std::array<float, 6>;

// Runs `body(robot)` as one Session call; RuntimeError when the facade has no
// components yet (the Python layer connects first).
template <typename Body>
auto call(RobotCore &core, Body body, Session::Signals signals = Session::Signals::Default)
    -> decltype(body(core.robot()))
{
    if (!core.robot().isInitialized())
        throw std::runtime_error("varlo: not connected");
    return Session::run([&]() { return body(core.robot()); }, signals);
}

inline std::string text(const QString &value) { return value.toStdString(); }
inline QString qtext(const std::string &value) { return QString::fromStdString(value); }

// Fixed-size arrays of the records to and from std::array.
template <typename T, size_t N>
std::array<T, N> arrayOf(const T (&from)[N])
{
    std::array<T, N> to;
    std::copy(from, from + N, to.begin());
    return to;
}

template <typename T, typename U, size_t N>
void copyTo(const std::array<U, N> &from, T (&to)[N])
{
    for (size_t i = 0; i < N; ++i)
        to[i] = T(from[i]);
}

// A NUL-terminated UTF-8 field of a record, as text; and back, cut to fit.
std::string fieldText(const char *field, size_t size);
void setField(char *field, size_t size, const std::string &value);

void bindMotion(Core &core);
void bindSettings(Core &core);
void bindProject(Core &core);
void bindScript(Core &core);

#endif // VARLO_PYTHON_BINDINGS_H
