#include "robotcore.h"
#include "session.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QCoreApplication>

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
    QObject::connect(robot, &QRobot::scriptLineChanged, context,
                     [this](int line) { addScriptEvent(ScriptEvent::Line, line, QString()); });
    QObject::connect(robot, &QRobot::moveLineChanged, context,
                     [this](int line) { addScriptEvent(ScriptEvent::Move, line, QString()); });
    // An error comes as its text, then its line; the script then stops.
    auto errorText = std::make_shared<QString>();
    QObject::connect(robot, &QRobot::errorMsg, context, [errorText](const QString &text) { *errorText = text; });
    QObject::connect(robot, &QRobot::errorLine, context, [this, errorText](int line) {
        addScriptEvent(ScriptEvent::Error, line, errorText->trimmed());
    });
    QObject::connect(robot, &QRobot::mobDebugInfo, context, [this](const QString &text) {
        if (text.contains(QLatin1String("ERROR:")))
            return; // reported as the error
        if (text.contains(QLatin1String("run script finished!")))
            addScriptEvent(ScriptEvent::Finished, 0, text.trimmed());
        else if (text.contains(QLatin1String("command:pause")))
            addScriptEvent(ScriptEvent::Paused, 0, QString());
        else
            addScriptEvent(ScriptEvent::Print, 0, text.trimmed());
    });
    QObject::connect(robot, &QRobot::debugStateChanged, context, [this](QRobotType::DebugState state) {
        if (state == QRobotType::ScriptStopped && m_scriptStarted)
            addScriptEvent(ScriptEvent::Stopped, 0, QString());
    });
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
    if (!m_scriptStarted)
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
    // A fresh facade for the next connection, so that what this one holds
    // (the script notification ports among it) is free for other Robots at
    // once. Not from inside a wait, which may still run on the old one.
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
