#ifndef VARLO_BRIDGE_ARMBRIDGE_H
#define VARLO_BRIDGE_ARMBRIDGE_H

// One arm on the message bus: its controller through a facade of the
// library, its topics through an MQTT connection of its own (whose last will
// marks the arm offline when the bridge dies):
//
//   varlo/v1/ARM/online        retained  {"online", "reason", "time"}
//   varlo/v1/ARM/state         retained  the live state at every exchange, with "seq" and "time"
//   varlo/v1/ARM/event/alarms            the active alarms, when they change
//   varlo/v1/ARM/event/script            the script's start, lines, errors and end
//   varlo/v1/ARM/cmd/NAME                commands in (when allowed)
//   varlo/v1/ARM/answer                  answers to commands without a response topic

#include "armfollower.h"
#include "commands.h"
#include "mqttlink.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QObject>
#include <QtCore/QString>

class ArmBridge : public QObject
{
    Q_OBJECT
public:
    ArmBridge(const QString &name, const QString &address, const BrokerSettings &broker,
              const QSet<QString> &allowed, QObject *parent = nullptr);
    ~ArmBridge() override;

    // Starts following the controller and connecting to the broker.
    bool start(QString *error);
    // The bridge is stopping: ends the library's waits on this arm at once.
    void interrupt() { m_arm.robot().interruptWaits(); }
    // Then stops a motion it commanded and still follows, marks the arm
    // offline and says goodbye to the broker.
    void shutdown();

    QString name() const { return m_name; }
    static QByteArray topicRoot();

private:
    void onControllerOnline(bool online);
    void onBrokerConnected();
    void onExchange();
    void onAlarms(const QRobotType::Alarms &alarms);
    void onMessage(const MqttMessage &message);
    void onAnswer(const ReplyTarget &to, const QString &id, const QString &command, const Answer &answer);
    void publishOnline(const QString &reason);
    void publishState();
    void publishEvent(const char *kind, QJsonObject event);

    QString m_name;
    QByteArray m_prefix;                  // "varlo/v1/ARM/"
    ArmFollower m_arm;
    MqttLink m_link;
    ArmCommands m_commands;
    quint64 m_seq = 0;
    double m_exchangeTime = 0;            // ms since the epoch of the last exchange reply
    QJsonArray m_alarms;
    bool m_stopping = false;              // shutdown() has marked the arm offline
};

#endif // VARLO_BRIDGE_ARMBRIDGE_H
