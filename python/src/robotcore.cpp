#include "robotcore.h"
#include "session.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QRegularExpression>

#include <cstring>

namespace py = pybind11;

namespace {

// How long an interrupted call waits for the arm to stand.
const int StandstillLimitMs = 2000;

} // namespace

RobotCore::RobotCore()
{
    makeFacade();
    Session::add(this);
}

void RobotCore::makeFacade()
{
    m_robot.reset(new QRobot());
    m_context.reset(new QObject());
    m_followed = nullptr;
    m_scriptState = QRobotType::ScriptStopped;
    QRobot *robot = m_robot.get();
    QObject *context = m_context.get();
    QObject::connect(robot, &QRobot::exChangeClock, context, [this]() {
        ++m_exchanges;
        deliver("state", []() { return py::none(); });
    });
    QObject::connect(robot, &QRobot::connectionChanged, context, [this](bool connected) {
        m_connected = connected;
        ++m_connectionEvents;
        deliver("connection", [connected]() { return py::bool_(connected); });
    });
}

QRobotDebugger &RobotCore::followScript()
{
    QRobotDebugger *debugger = m_robot->debugger();
    if (debugger == m_followed)
        return *debugger;
    m_followed = debugger;
    QObject *context = m_context.get();
    QObject::connect(debugger, &QRobotDebugger::scriptLineChanged, context,
                     [this](int line) { addScriptEvent(ScriptEvent::Line, line, QString()); });
    QObject::connect(debugger, &QRobotDebugger::moveLineChanged, context,
                     [this](int line) { addScriptEvent(ScriptEvent::Move, line, QString()); });
    QObject::connect(debugger, &QRobotDebugger::scriptPrinted, context,
                     [this](const QString &text) { addScriptEvent(ScriptEvent::Print, 0, text); });
    QObject::connect(debugger, &QRobotDebugger::scriptFinished, context,
                     [this]() { addScriptEvent(ScriptEvent::Finished, 0, QString()); });
    // An error comes as its text ("ERROR:src0.lua:N: text"), then its line;
    // the script then stops. The event's text is the controller's message.
    auto errorText = std::make_shared<QString>();
    QObject::connect(debugger, &QRobotDebugger::errorMsg, context, [errorText](const QString &text) {
        static const QRegularExpression where(QStringLiteral("^\\s*ERROR:\\S*src0\\.lua:\\d+:\\s*"));
        *errorText = text.trimmed().remove(where);
    });
    QObject::connect(debugger, &QRobotDebugger::errorLine, context,
                     [this, errorText](int line) { addScriptEvent(ScriptEvent::Error, line, *errorText); });
    QObject::connect(debugger, &QRobotDebugger::failed, context, [this](const QString &reason) {
        if (m_starting)
            m_failure = reason;
    });
    // A pause (the script's own, or pause_script()) once; the end of a run
    // that the controller did not report (a stop).
    QObject::connect(debugger, &QRobotDebugger::debugStateChanged, context, [this](QRobotType::DebugState state) {
        const QRobotType::DebugState before = m_scriptState;
        m_scriptState = state;
        if (state == QRobotType::ScriptPaused && before != QRobotType::ScriptPaused)
            addScriptEvent(ScriptEvent::Paused, 0, QString());
        else if (state == QRobotType::ScriptStopped)
            addScriptEvent(ScriptEvent::Stopped, 0, QString());
    });
    return *debugger;
}

QString RobotCore::startScript(const std::function<void(QRobotDebugger &)> &operation)
{
    QRobotDebugger &debugger = followScript();
    m_failure.clear();
    m_scriptStarted = true;
    m_starting = true;
    operation(debugger);
    m_starting = false;
    if (!m_failure.isEmpty())
        m_scriptStarted = debugger.debugState() != QRobotType::ScriptStopped;
    return m_failure;
}

RobotCore::~RobotCore()
{
    Session::remove(this);
    m_context.reset();
    m_robot.reset();
}

void RobotCore::setSink(py::object sink)
{
    m_sink = std::move(sink);
}

void RobotCore::deliver(const char *kind, const std::function<py::object()> &value)
{
    if (!m_sink)
        return;
    {
        py::gil_scoped_acquire gil;
        try {
            m_sink(kind, value());
        } catch (py::error_already_set &error) {
            error.restore();
            Session::takeError();
        }
    }
    if (Session::interrupted())
        Session::interruptAll();
}

void RobotCore::addScriptEvent(ScriptEvent::Kind kind, int line, const QString &text)
{
    // Nothing of a start or continuation that the debugger refused.
    if (!m_scriptStarted || (m_starting && !m_failure.isEmpty()))
        return;
    const bool ends = kind == ScriptEvent::Error || kind == ScriptEvent::Finished || kind == ScriptEvent::Stopped;
    if (ends) {
        if (m_scriptEnding)
            return;
        // Each kind of notification has its own port: what the script sent
        // before its end may still wait in another one's socket.
        m_scriptEnding = true;
        QCoreApplication::processEvents();
        m_scriptEnding = false;
        m_scriptStarted = false; // the script no longer runs: nothing to stop
    }
    m_scriptEvents.push_back(ScriptEvent{ kind, line, text });
    ++m_scriptEventTotal;
    deliver("script", []() { return py::none(); });
}

quint64 RobotCore::eventCount(int mask) const
{
    return ((mask & WakeState) ? m_exchanges : 0) + ((mask & WakeConnection) ? m_connectionEvents : 0)
        + ((mask & WakeScript) ? m_scriptEventTotal : 0);
}

bool RobotCore::connect(const QString &address, int msecs)
{
    m_connected = libraryWait([&]() { return m_robot->connectToController(address, msecs); }, false);
    return m_connected;
}

void RobotCore::disconnect()
{
    if (m_robot->isInitialized())
        m_robot->disconnectController();
    m_connected = false;
    m_moving = false;
    m_scriptStarted = false;
    // A fresh facade for the next connection, so that nothing of this one
    // (its script notifications among it) reaches the next. Not from inside
    // a wait, which may still run on the old one.
    if (!Session::nested()) {
        m_context.reset();
        makeFacade();
    }
}

void RobotCore::interruptWaits()
{
    // Only a wait in progress: an interruption would otherwise wait for this
    // facade's next wait, which may come long after, in another call.
    if (m_waits > 0)
        m_robot->interruptWaits();
}

bool RobotCore::stopArm()
{
    if (!m_robot->isInitialized())
        return false;
    m_robot->stopMotion();
    return libraryWait([&]() { return m_robot->waitForStandstill(StandstillLimitMs); }, QRobot::MotionInterrupted)
        == QRobot::MotionFinished;
}

void RobotCore::stopIfMoving()
{
    if (m_scriptStarted) {
        m_scriptStarted = false;
        m_robot->stop();
        m_moving = true;
    }
    if (m_moving) {
        stopArm();
        m_moving = false;
    }
}

RobotCore::MotionOutcome RobotCore::finishMotion(QRobot::MotionCommand command, int msecs)
{
    const QRobot::MotionResult result =
        libraryWait([&]() { return m_robot->waitForMotion(command, msecs); }, QRobot::MotionInterrupted);
    if (result != QRobot::MotionFinished)
        return MotionOutcome(int(result));
    m_moving = false;
    // The state read next shows the arrival, not a reply already on its way.
    m_robot->protocol()->exchangeNow();
    return Arrived;
}
