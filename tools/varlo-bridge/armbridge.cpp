#include "armbridge.h"
#include "statejson.h"

#include <Varlo/qhttpmanager.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QDebug>
#include <QtCore/QJsonDocument>
#include <QtCore/QTimer>

namespace {

// The script's state is asked for at every so many exchanges: about once a
// second while one runs, every three seconds otherwise.
const int ScriptPollRunning = 3;
const int ScriptPollIdle = 10;
// How long a goodbye may take.
const int GoodbyeMs = 1000;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray ArmBridge::topicRoot()
{
    return QByteArrayLiteral("varlo/v1/");
}

ArmBridge::ArmBridge(const QString &name, const QString &address, const BrokerSettings &broker,
                     const QSet<QString> &allowed, QObject *parent)
    : QObject(parent),
      m_name(name),
      m_address(address),
      m_prefix(topicRoot() + name.toUtf8() + '/'),
      m_link(broker, broker.clientIdPrefix + name),
      m_commands(m_robot, allowed)
{
    // A bridge that dies leaves its arms marked offline.
    m_link.setWill(m_prefix + "online", compact(QJsonObject{ { "online", false }, { "reason", "bridge lost" } }));
    if (!allowed.isEmpty())
        m_link.subscribe(m_prefix + "cmd/#", 1);
    connect(&m_link, &MqttLink::connected, this, &ArmBridge::onBrokerConnected);
    connect(&m_link, &MqttLink::messageArrived, this, &ArmBridge::onMessage);
    connect(&m_link, &MqttLink::problem, this, [this](const QString &text) {
        qWarning("varlo-bridge: %s: %s", qPrintable(m_name), qPrintable(text));
    });
    connect(&m_commands, &ArmCommands::answered, this, &ArmBridge::onAnswer);
}

ArmBridge::~ArmBridge() = default;

bool ArmBridge::start(QString *error)
{
    if (!m_link.start(error))
        return false;
    // Connects without waiting: supervision polls until the controller
    // answers, and the exchange runs from then on.
    m_robot.initialize();
    m_robot.setHostIP(m_address);
    m_robot.setHostPort(QHttpManager::ApiPort);
    connect(&m_robot, &QRobot::connectionChanged, this, &ArmBridge::onControllerConnection);
    connect(&m_robot, &QRobot::exChangeClock, this, &ArmBridge::onExchange);
    connect(&m_robot, &QRobot::alarmsChanged, this, &ArmBridge::onAlarms);
    connect(&m_robot, &QRobot::scriptLineChanged, this, [this](int line) {
        publishEvent("script", QJsonObject{ { "event", "line" }, { "line", line } });
    });
    connect(&m_robot, &QRobot::errorMsg, this, [this](const QString &text) {
        publishEvent("script", QJsonObject{ { "event", "error" }, { "message", text.trimmed() } });
    });
    return true;
}

void ArmBridge::shutdown()
{
    if (m_online && m_commands.stopStarted(QStringLiteral("the bridge is stopping"))) {
        const bool stands = m_robot.waitForStandstill() == QRobot::MotionFinished;
        qInfo("varlo-bridge: %s: stopped the motion the bridge commanded%s", qPrintable(m_name),
              stands ? "" : "; the controller did not report the arm standing");
    }
    m_online = false;
    publishOnline(QStringLiteral("bridge stopped"));
    m_link.finish(GoodbyeMs);
    m_robot.disconnectController();
}

void ArmBridge::onControllerConnection(bool connected)
{
    if (connected && !m_robot.refreshAxisCount()) {
        qWarning("varlo-bridge: %s: the controller at %s reports no 4- or 6-axis robot", qPrintable(m_name),
                 qPrintable(m_address));
        connected = false;
    }
    if (connected == m_online)
        return;
    m_online = connected;
    m_commands.setControllerOnline(connected);
    publishOnline(connected ? QString() : QStringLiteral("controller lost"));
}

void ArmBridge::onBrokerConnected()
{
    // A broker that comes back (perhaps without its retained messages) gets
    // the arm's picture anew.
    publishOnline(m_online ? QString() : QStringLiteral("controller not connected"));
    if (m_seq > 0)
        publishState();
}

void ArmBridge::publishOnline(const QString &reason)
{
    QJsonObject online{ { "online", m_online }, { "time", nowMs() } };
    if (!reason.isEmpty())
        online.insert(QStringLiteral("reason"), reason);
    m_link.publish(m_prefix + "online", compact(online), 1, true);
}

void ArmBridge::onExchange()
{
    m_exchangeTime = nowMs();
    ++m_seq;
    const bool running = m_script.state != QRobotType::ScriptStopped;
    if (++m_exchanges % (running ? ScriptPollRunning : ScriptPollIdle) == 0)
        QTimer::singleShot(0, this, &ArmBridge::pollScript);
    publishState();
}

void ArmBridge::publishState()
{
    // The state is the latest word: while the broker still has earlier data
    // to take, this one is skipped rather than queued behind it.
    if (!m_link.isConnected() || m_link.isBacklogged())
        return;
    QJsonObject state = stateJson(m_robot);
    state.insert(QStringLiteral("arm"), m_name);
    state.insert(QStringLiteral("seq"), double(m_seq));
    state.insert(QStringLiteral("time"), m_exchangeTime);
    state.insert(QStringLiteral("online"), m_online);
    state.insert(QStringLiteral("stale"), m_robot.isStateStale());
    state.insert(QStringLiteral("script"), QJsonObject{ { "state", scriptStateName(m_script.state) },
                                                         { "project", m_script.projectName } });
    m_link.publish(m_prefix + "state", compact(state), 0, true);
}

void ArmBridge::pollScript()
{
    QRobotType::ScriptState now;
    if (!m_robot.settings()->getProjState(now))
        return;
    const bool wasRunning = m_script.state == QRobotType::ScriptRunning || m_script.state == QRobotType::ScriptPaused;
    const bool running = now.state == QRobotType::ScriptRunning || now.state == QRobotType::ScriptPaused;
    if (running && !wasRunning)
        publishEvent("script", QJsonObject{ { "event", "started" }, { "project", now.projectName } });
    else if (!running && wasRunning)
        publishEvent("script", QJsonObject{ { "event", "finished" }, { "project", m_script.projectName } });
    m_script = now;
}

void ArmBridge::onAlarms(const QRobotType::Alarms &alarms)
{
    const QJsonArray active = alarmsJson(activeAlarms(alarms));
    if (active == m_alarms)
        return;
    m_alarms = active;
    publishEvent("alarms", QJsonObject{ { "alarms", active }, { "text", alarmsText(alarms) } });
}

void ArmBridge::publishEvent(const char *kind, QJsonObject event)
{
    event.insert(QStringLiteral("arm"), m_name);
    event.insert(QStringLiteral("time"), nowMs());
    m_link.publish(m_prefix + "event/" + kind, compact(event), 1, false);
}

void ArmBridge::onMessage(const MqttMessage &message)
{
    const QByteArray commandRoot = m_prefix + "cmd/";
    if (!message.topic.startsWith(commandRoot))
        return;
    const QString name = QString::fromUtf8(message.topic.mid(commandRoot.size()));
    // An answer never lands where commands are read, nor on a pattern.
    const bool badTopic = message.responseTopic.contains('+') || message.responseTopic.contains('#')
        || (message.responseTopic.startsWith(topicRoot()) && message.responseTopic.contains("/cmd/"));
    if (badTopic) {
        onAnswer(ReplyTarget{ QByteArray(), message.correlationData }, QString(), name,
                 Answer{ AnswerMalformed, QStringLiteral("the response topic may not be a pattern or a command topic") });
        return;
    }
    m_commands.receive(name, message.payload, ReplyTarget{ message.responseTopic, message.correlationData });
}

void ArmBridge::onAnswer(const ReplyTarget &to, const QString &id, const QString &command, const Answer &answer)
{
    QJsonObject object{ { "ok", answer.ok() }, { "code", answer.code }, { "message", answer.message },
                        { "command", command }, { "arm", m_name } };
    if (!id.isEmpty())
        object.insert(QStringLiteral("id"), id);
    const QByteArray topic = to.topic.isEmpty() ? m_prefix + "answer" : to.topic;
    m_link.publish(topic, compact(object), 1, false, to.correlationData);
}
