#ifndef VARLO_BRIDGE_MQTTLINK_H
#define VARLO_BRIDGE_MQTTLINK_H

// One MQTT connection through libmosquitto, driven by Qt's event loop: the
// socket is watched with QSocketNotifier (mosquitto_loop_read/_write) and a
// timer runs mosquitto_loop_misc (keep-alive); libmosquitto starts no thread.
// The connection comes back by itself after a loss, and subscriptions are
// renewed with it.

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPair>
#include <QtCore/QQueue>
#include <QtCore/QString>
#include <QtCore/QTimer>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;
class QSocketNotifier;

struct BrokerSettings
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString clientIdPrefix;      // the arm's name is appended
    int keepAliveSeconds = 30;
    QString username;
    QString password;
    // TLS, as libmosquitto takes it (mosquitto_tls_set); off without a CA.
    QString caFile, caPath, certFile, keyFile, tlsVersion;
    bool tlsInsecure = false;    // no check of the broker's host name
};

// A message as it arrived, with the MQTT 5 request properties.
struct MqttMessage
{
    QByteArray topic;
    QByteArray payload;
    QByteArray responseTopic;
    QByteArray correlationData;
};

class MqttLink : public QObject
{
    Q_OBJECT
public:
    MqttLink(const BrokerSettings &settings, const QString &clientId, QObject *parent = nullptr);
    ~MqttLink() override;

    // Before start(): the message the broker publishes when the connection
    // ends without a goodbye, retained.
    void setWill(const QByteArray &topic, const QByteArray &payload);
    // Subscribed now (when connected) and on every connection.
    void subscribe(const QByteArray &filter, int qos);

    // Configures the client and starts connecting; false (with `error`) when
    // the settings are unusable (a TLS file that cannot be read...).
    bool start(QString *error);
    bool isConnected() const { return m_connected; }
    // Data of earlier publishes still waits for the socket.
    bool isBacklogged() const;

    // False when not connected or libmosquitto refused (the message is lost:
    // state is published again with the next exchange).
    bool publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                 const QByteArray &correlationData = QByteArray());
    // A clean goodbye (the broker drops the will), waiting up to `msecs` for
    // what is queued to leave first.
    void finish(int msecs);

Q_SIGNALS:
    void connected();
    void disconnected();
    void messageArrived(const MqttMessage &message);
    // Diagnostics: refused connections and the like.
    void problem(const QString &text);

private:
    static void onConnect(mosquitto *, void *self, int rc, int flags, const mqtt5__property *);
    static void onDisconnect(mosquitto *, void *self, int rc, const mqtt5__property *);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message, const mqtt5__property *props);

    void connectSoon();
    void tryConnect();
    void watchSocket();
    void dropSocket();
    void readable();
    void writable();
    void updateWriteWatch();
    void handleLoopResult(int rc);
    // libmosquitto's callbacks only note what happened; the signals go out
    // once libmosquitto has returned, because a slot may run an event loop
    // (a wait of the library) and libmosquitto must not be entered again
    // from inside itself.
    void deliver();

    struct Event
    {
        enum Kind { Connected, Disconnected, Message, Problem } kind;
        MqttMessage message;
        QString text;
    };

    BrokerSettings m_settings;
    QString m_clientId;
    mosquitto *m_mosq = nullptr;
    QSocketNotifier *m_read = nullptr;
    QSocketNotifier *m_write = nullptr;
    QTimer m_misc;
    QTimer m_retry;
    int m_retryMs = 0;
    bool m_connected = false;
    bool m_finishing = false;
    QByteArray m_willTopic, m_willPayload;
    QList<QPair<QByteArray, int>> m_subscriptions;
    QQueue<Event> m_events;
};

#endif // VARLO_BRIDGE_MQTTLINK_H
