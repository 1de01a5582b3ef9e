#ifndef VARLO_PYTHON_ROBOTCORE_H
#define VARLO_PYTHON_ROBOTCORE_H

// One controller of a Python program: its own facade (QRobot), what the
// facade reports turned into events for the Python Robot, and what this
// program set the arm doing, so that an interrupted call can stop it.

#include "session.h"

#include <Varlo/qrobot.h>
#include <Varlo/qrobotdebugger.h>

#include <pybind11/pybind11.h>

#include <QtCore/QObject>
#include <QtCore/QString>

#include <deque>
#include <functional>
#include <memory>

class RobotCore
{
public:
    // What the controller's script reported, in order.
    struct ScriptEvent
    {
        enum Kind { Line, Move, Print, Error, Paused, Finished, Stopped };
        Kind kind;
        int line;
        QString text;
    };

    // How a blocking motion ended; 0 to 4 are QRobot::MotionResult's.
    enum MotionOutcome { Arrived = 0, Alarm = 1, TimedOut = 2, Interrupted = 3, ConnectionLost = 4, NotAnswered = 5 };

    RobotCore();
    ~RobotCore();

    QRobot &robot() { return *m_robot; }

    // `sink(kind, value)` receives the events ("state", "connection",
    // "script"), in the caller's thread while a call runs. GIL held.
    void setSink(pybind11::object sink);

    bool connect(const QString &address, int msecs);
    void disconnect();
    bool isConnected() const { return m_connected; }
    // State exchange replies so far.
    quint64 exchanges() const { return m_exchanges; }
    // The events of the kinds in `mask` so far (WakeState, ...).
    enum Wake { WakeState = 1, WakeConnection = 2, WakeScript = 4 };
    quint64 eventCount(int mask) const;

    // A motion command was sent, a jog button pressed: an interruption stops
    // the arm.
    void setMoving(bool moving) { m_moving = moving; }
    // True from a script's start (or continuation) until its end was
    // notified: an interruption stops the script, and its notifications are
    // kept.
    bool scriptStarted() const { return m_scriptStarted; }
    void scriptStopped() { m_scriptStarted = false; }
    // Runs `operation` (a start or a continuation) on this controller's script
    // debugger, whose notifications this core follows from then on. Returns
    // why the debugger could not do it (its failed(): the controller refused,
    // another program holds the notification ports), empty when it did. A
    // refused operation leaves no notification; the script then counts as
    // started only while the controller still has it going.
    QString startScript(const std::function<void(QRobotDebugger &)> &operation);
    // Stops the arm and the script when this program set them going, and
    // waits (at most about 2 s) until the arm stands.
    void stopIfMoving();
    // Stops the arm: jog buttons released, motions stopped. True when the
    // controller reports the arm standing.
    bool stopArm();
    // Ends every wait running on this facade.
    void interruptWaits();

    // The wait after a motion command that `command` started: its end, an
    // alarm, `msecs` without either (< 0: the library's 20 s), an
    // interruption or the lost controller. Arrived also waits for the state
    // exchange to show the arrival.
    MotionOutcome finishMotion(QRobot::MotionCommand command, int msecs);

    // Runs one of the library's waits on this facade: `interrupted` at once
    // when an interruption is pending, and interruptible while it runs.
    template <typename Wait>
    auto libraryWait(Wait wait, decltype(wait()) interrupted) -> decltype(wait())
    {
        if (Session::interrupted())
            return interrupted;
        ++m_waits;
        const auto result = wait();
        --m_waits;
        return result;
    }

    // The script's notifications not yet taken.
    std::deque<ScriptEvent> &scriptEvents() { return m_scriptEvents; }

private:
    void makeFacade();
    // The facade's debugger, its notifications connected to this core.
    QRobotDebugger &followScript();
    void deliver(const char *kind, const std::function<pybind11::object()> &value);
    void addScriptEvent(ScriptEvent::Kind kind, int line, const QString &text);

    std::unique_ptr<QRobot> m_robot;
    // Owns the connections to the facade's signals.
    std::unique_ptr<QObject> m_context;
    pybind11::object m_sink;
    bool m_connected = false;
    int m_waits = 0;
    bool m_moving = false;
    bool m_scriptStarted = false;
    bool m_scriptEnding = false;
    QRobotDebugger *m_followed = nullptr; // the debugger whose notifications are connected
    bool m_starting = false;              // startScript() runs its operation
    QString m_failure;                    // why the operation in progress failed
    QRobotType::DebugState m_scriptState = QRobotType::ScriptStopped;
    quint64 m_exchanges = 0;
    quint64 m_connectionEvents = 0;
    quint64 m_scriptEventTotal = 0;
    std::deque<ScriptEvent> m_scriptEvents;
};

#endif // VARLO_PYTHON_ROBOTCORE_H
