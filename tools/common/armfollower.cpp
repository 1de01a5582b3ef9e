#include "armfollower.h"
#include "armstate.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>

namespace {

// The script's state is asked for at every so many exchanges.
const int ScriptPollRunning = 3;
const int ScriptPollIdle = 10;

bool isRunning(QRobotType::DebugState state)
{
    return state == QRobotType::ScriptRunning || state == QRobotType::ScriptPaused;
}

} // namespace

ArmFollower::ArmFollower(const QString &name, const QString &address, QObject *parent)
    : QObject(parent), m_name(name), m_address(address)
{
}

void ArmFollower::start()
{
    m_robot.initialize();
    m_robot.setHostIP(m_address);
    m_robot.setHostPort(QHttpManager::ApiPort);
    connect(&m_robot, &QRobot::connectionChanged, this, &ArmFollower::onConnection);
    connect(&m_robot, &QRobot::exChangeClock, this, &ArmFollower::onExchange);
    connect(&m_robot, &QRobot::debugStateChanged, this, &ArmFollower::onDebugState);
}

void ArmFollower::onConnection(bool connected)
{
    if (connected && !m_robot.refreshAxisCount()) {
        qWarning("%s: %s: the controller at %s reports no 4- or 6-axis robot",
                 qPrintable(QCoreApplication::applicationName()), qPrintable(m_name), qPrintable(m_address));
        connected = false;
    }
    if (connected == m_online)
        return;
    m_online = connected;
    Q_EMIT onlineChanged(connected);
}

void ArmFollower::onExchange()
{
    const int every = m_script.state != QRobotType::ScriptStopped ? ScriptPollRunning : ScriptPollIdle;
    // Asked after the exchange's notification rather than inside it: the
    // question waits for its answer.
    if (++m_exchanges % every == 0)
        QTimer::singleShot(0, this, &ArmFollower::pollScript);
    Q_EMIT exchanged();
}

void ArmFollower::pollScript()
{
    QRobotType::ScriptState now;
    const quint64 changes = m_scriptChanges;
    if (!m_online || !m_robot.settings()->getProjState(now) || changes != m_scriptChanges)
        return;
    setScript(now);
}

void ArmFollower::onDebugState(QRobotType::DebugState state)
{
    QRobotType::ScriptState now = m_script;
    now.state = state;
    if (isRunning(state) && !isRunning(m_script.state))
        now.projectName = m_startingProject;
    setScript(now);
}

void ArmFollower::setScript(const QRobotType::ScriptState &now)
{
    const QRobotType::ScriptState before = m_script;
    m_script = now;
    ++m_scriptChanges;
    if (isRunning(now.state) && !isRunning(before.state))
        Q_EMIT scriptStarted(now.projectName);
    else if (!isRunning(now.state) && isRunning(before.state))
        Q_EMIT scriptFinished(before.projectName);
}

QJsonObject ArmFollower::stateJson(int jointCount)
{
    QJsonObject state = armStateJson(m_robot, jointCount);
    state.insert(QStringLiteral("arm"), m_name);
    state.insert(QStringLiteral("online"), m_online);
    state.insert(QStringLiteral("stale"), m_robot.isStateStale());
    state.insert(QStringLiteral("script"), QJsonObject{ { "state", scriptStateName(m_script.state) },
                                                         { "project", m_script.projectName } });
    return state;
}
