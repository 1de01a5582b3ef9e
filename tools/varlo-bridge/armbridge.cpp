#include "armbridge.h"
#include "statejson.h"

#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <QtCore/QDebug>
#include <QtCore/QJsonDocument>

namespace {

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
      m_prefix(topicRoot() + name.toUtf8() + '/'),
      m_arm(name, address),
      m_link(broker, broker.clientIdPrefix + name),
      m_commands(m_arm.robot(), allowed)
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
    connect(&m_commands, &ArmCommands::scriptStarting, &m_arm, &ArmFollower::scriptStarting);
}

ArmBridge::~ArmBridge() = default;

bool ArmBridge::start(QString *error)
{
    if (!m_link.start(error))
        return false;
    QRobot &robot = m_arm.robot();
    connect(&m_arm, &ArmFollower::onlineChanged, this, &ArmBridge::onControllerOnline);
    connect(&m_arm, &ArmFollower::exchanged, this, &ArmBridge::onExchange);
    connect(&m_arm, &ArmFollower::scriptStarted, this, [this](const QString &project) {
        publishEvent("script", QJsonObject{ { "event", "started" }, { "project", project } });
    });
    connect(&m_arm, &ArmFollower::scriptFinished, this, [this](const QString &project) {
        publishEvent("script", QJsonObject{ { "event", "finished" }, { "project", project } });
    });
    connect(&robot, &QRobot::alarmsChanged, this, &ArmBridge::onAlarms);
    connect(&robot, &QRobot::scriptLineChanged, this, [this](int line) {
        publishEvent("script", QJsonObject{ { "event", "line" }, { "line", line } });
    });
    connect(&robot, &QRobot::errorMsg, this, [this](const QString &text) {
        publishEvent("script", QJsonObject{ { "event", "error" }, { "message", text.trimmed() } });
    });
    m_arm.start();
    return true;
}

void ArmBridge::shutdown()
{
    QRobot &robot = m_arm.robot();
    const bool online = m_arm.isOnline();
    if (online && m_commands.stopStarted(QStringLiteral("the bridge is stopping"))) {
        const bool stands = robot.waitForStandstill() == QRobot::MotionFinished;
        qInfo("varlo-bridge: %s: stopped the motion the bridge commanded%s", qPrintable(m_name),
              stands ? "" : "; the controller did not report the arm standing");
    }
    m_stopping = true;
    publishOnline(QStringLiteral("bridge stopped"));
    m_link.finish(GoodbyeMs);
    robot.disconnectController();
}

void ArmBridge::onControllerOnline(bool online)
{
    m_commands.setControllerOnline(online);
    publishOnline(online ? QString() : QStringLiteral("controller lost"));
}

void ArmBridge::onBrokerConnected()
{
    // A broker that comes back (perhaps without its retained messages) gets
    // the arm's picture anew.
    publishOnline(m_arm.isOnline() ? QString() : QStringLiteral("controller not connected"));
    if (m_seq > 0)
        publishState();
}

void ArmBridge::publishOnline(const QString &reason)
{
    QJsonObject online{ { "online", m_arm.isOnline() && !m_stopping }, { "time", nowMs() } };
    if (!reason.isEmpty())
        online.insert(QStringLiteral("reason"), reason);
    m_link.publish(m_prefix + "online", compact(online), 1, true);
}

void ArmBridge::onExchange()
{
    m_exchangeTime = nowMs();
    ++m_seq;
    publishState();
}

void ArmBridge::publishState()
{
    // The state is the latest word: while the broker still has earlier data
    // to take, this one is skipped rather than queued behind it.
    if (!m_link.isConnected() || m_link.isBacklogged())
        return;
    QJsonObject state = m_arm.stateJson();
    state.insert(QStringLiteral("seq"), double(m_seq));
    state.insert(QStringLiteral("time"), m_exchangeTime);
    m_link.publish(m_prefix + "state", compact(state), 0, true);
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
