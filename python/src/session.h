#ifndef VARLO_PYTHON_SESSION_H
#define VARLO_PYTHON_SESSION_H

// What every call from Python into the library shares.
//
// The library works in one thread and only while Qt's event loop runs, which
// it does inside the calls (as inside the C functions). While a call runs, the
// GIL is released, so the program's other threads go on, and a timer takes it
// back every 50 ms to let Python run its signal handlers. An exception raised
// there (KeyboardInterrupt for Ctrl-C) or by a handler of a Robot's
// notifications ends the waits of every controller at once; before it reaches
// Python, the arms this program set moving are stopped and stand.

#include <pybind11/pybind11.h>

#include <functional>
#include <type_traits>

class RobotCore;

namespace Session {

// At the start of every call, GIL held: creates the Qt application when the
// program has none; raises RuntimeError when called from another thread than
// the one that made the first Robot.
void enter();

// The controllers of the program, for the interruption.
void add(RobotCore *core);
void remove(RobotCore *core);

// True inside a call made from a handler that runs during another call.
bool nested();

// True while an exception waits to be raised: waits end at once.
bool interrupted();
// Takes Python's current error as the one to raise (the first one counts;
// later ones are dropped). GIL held.
void takeError();
// Ends the waits of every controller (their own and the library's).
void interruptAll();

// Runs the event loop until `done()` holds (checked every 10 ms), `msecs`
// passed (< 0: no limit) or an interruption. True when `done()` held.
bool runUntil(const std::function<bool()> &done, int msecs);

// Whether the current call is a wait that should turn SIGTERM into
// KeyboardInterrupt (the program keeps its own SIGTERM handler if it has one).
enum class Signals { Default, TermToo };

// One call from Python: the GIL released, the signal watch running.
class Scope
{
public:
    explicit Scope(Signals signals);
    ~Scope();
    // GIL held: when an exception is pending, stops the arms (outermost call
    // only) and raises it.
    void finish();

private:
    bool m_outermost;
    bool m_termHandler = false;
};

// Runs `body` (which must not touch Python objects) as one call.
template <typename Body>
auto run(Body body, Signals signals = Signals::Default) -> decltype(body())
{
    Scope scope(signals);
    if constexpr (std::is_void<decltype(body())>::value) {
        {
            pybind11::gil_scoped_release release;
            body();
        }
        scope.finish();
    } else {
        auto result = [&]() {
            pybind11::gil_scoped_release release;
            return body();
        }();
        scope.finish();
        return result;
    }
}

} // namespace Session

#endif // VARLO_PYTHON_SESSION_H
