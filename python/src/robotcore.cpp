#include "robotcore.h"
#include "session.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include <cstring>

namespace py = pybind11;

namespace {

// How long an interrupted call waits for the arm to stand.
const int StandstillLimitMs = 2000;
// How long a blocking motion that arrived waits for the state exchange to show it.
const int FreshStateLimitMs = 1500;

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
    m_connected = m_robot->connectToController(address, msecs);
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

bool RobotCore::awaitExchanges(int count, int msecs)
{
    const quint64 target = m_exchanges + quint64(count);
    return Session::runUntil([&]() { return m_exchanges >= target; }, msecs);
}

void RobotCore::interruptWaits()
{
}

bool RobotCore::stopArm()
{
    if (!m_robot->isInitialized())
        return false;
    bool released[6] = {};
    m_robot->panel()->switchJogButtons(released, released);
    // A motion command whose "value" is false stops the motions; the target
    // is where the arm is, for a controller that would ignore "value".
    m_robot->settings()->moveJ(m_robot->protocol()->jointCoordinate(), false);
    // Standing: an exchange reply reports the joints of the one before.
    QRobotType::JointCoordinate last = m_robot->protocol()->jointCoordinate();
    quint64 seen = m_exchanges;
    bool standing = false;
    return Session::runUntil([&]() {
        if (m_exchanges != seen) {
            seen = m_exchanges;
            const QRobotType::JointCoordinate now = m_robot->protocol()->jointCoordinate();
            standing = std::memcmp(now.joint, last.joint, sizeof now.joint) == 0;
            last = now;
        }
        return standing;
    }, StandstillLimitMs);
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
    using Status = bool (QRobotSettings::*)(bool &, bool &);
    const Status status = command == QRobot::GoCommand     ? &QRobotSettings::goState
                        : command == QRobot::MoveJCommand  ? &QRobotSettings::moveJState
                        : command == QRobot::GoRCommand    ? &QRobotSettings::goRState
                                                           : &QRobotSettings::moveRState;
    // The controller's status of the motion, asked every 100 ms; an
    // unanswered query is "not yet".
    MotionOutcome outcome = TimedOut;
    QElapsedTimer sinceQuery;
    bool asked = false;
    Session::runUntil([&]() {
        if (asked && sinceQuery.elapsed() < 100)
            return false;
        asked = true;
        sinceQuery.start();
        bool finished = false;
        bool alarm = false;
        if (!(m_robot->settings()->*status)(finished, alarm))
            return false;
        outcome = alarm ? Alarm : finished ? Arrived : TimedOut;
        return outcome != TimedOut;
    }, msecs < 0 ? 20000 : msecs);
    if (Session::interrupted())
        return Interrupted;
    if (outcome != Arrived)
        return outcome;
    m_moving = false;
    // An exchange reply already on its way holds where the arm was before it
    // arrived; the state read next should show the arrival.
    awaitExchanges(2, FreshStateLimitMs);
    return Arrived;
}
