#include "mqttlink.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cstdlib>

namespace {

// Reconnection: soon after a loss, then less and less often.
const int FirstRetryMs = 500;
const int LongestRetryMs = 10000;
const int MiscPeriodMs = 1000;

QByteArray bytes(const QString &text)
{
    return text.toUtf8();
}

const char *orNull(const QByteArray &text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

MqttLink::MqttLink(const BrokerSettings &settings, const QString &clientId, QObject *parent)
    : QObject(parent), m_settings(settings), m_clientId(clientId)
{
    m_misc.setInterval(MiscPeriodMs);
    connect(&m_misc, &QTimer::timeout, this, [this]() {
        if (m_mosq)
            handleLoopResult(mosquitto_loop_misc(m_mosq));
        deliver();
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttLink::tryConnect);
}

MqttLink::~MqttLink()
{
    dropSocket();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttLink::setWill(const QByteArray &topic, const QByteArray &payload)
{
    m_willTopic = topic;
    m_willPayload = payload;
}

void MqttLink::subscribe(const QByteArray &filter, int qos)
{
    m_subscriptions.append(qMakePair(filter, qos));
    if (m_connected)
        mosquitto_subscribe_v5(m_mosq, nullptr, filter.constData(), qos, 0, nullptr);
}

bool MqttLink::start(QString *error)
{
    m_mosq = mosquitto_new(bytes(m_clientId).constData(), true, this);
    if (!m_mosq) {
        *error = QStringLiteral("libmosquitto could not create a client");
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(m_mosq, &MqttLink::onConnect);
    mosquitto_disconnect_v5_callback_set(m_mosq, &MqttLink::onDisconnect);
    mosquitto_message_v5_callback_set(m_mosq, &MqttLink::onMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.username.isEmpty())
        rc = mosquitto_username_pw_set(m_mosq, bytes(m_settings.username).constData(),
                                       orNull(bytes(m_settings.password)));
    if (rc == MOSQ_ERR_SUCCESS && (!m_settings.caFile.isEmpty() || !m_settings.caPath.isEmpty())) {
        rc = mosquitto_tls_set(m_mosq, orNull(bytes(m_settings.caFile)), orNull(bytes(m_settings.caPath)),
                               orNull(bytes(m_settings.certFile)), orNull(bytes(m_settings.keyFile)), nullptr);
        if (rc == MOSQ_ERR_SUCCESS && !m_settings.tlsVersion.isEmpty())
            rc = mosquitto_tls_opts_set(m_mosq, 1, bytes(m_settings.tlsVersion).constData(), nullptr);
        if (rc == MOSQ_ERR_SUCCESS && m_settings.tlsInsecure)
            rc = mosquitto_tls_insecure_set(m_mosq, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && !m_willTopic.isEmpty())
        rc = mosquitto_will_set_v5(m_mosq, m_willTopic.constData(), m_willPayload.size(), m_willPayload.constData(),
                                   1, true, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("libmosquitto refused the settings: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
        return false;
    }
    m_misc.start();
    tryConnect();
    return true;
}

bool MqttLink::isBacklogged() const
{
    return m_mosq && mosquitto_want_write(m_mosq);
}

bool MqttLink::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                       const QByteArray &correlationData)
{
    if (!m_connected)
        return false;
    mosquitto_property *properties = nullptr;
    if (!correlationData.isEmpty())
        mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, correlationData.constData(),
                                      uint16_t(correlationData.size()));
    const int rc = mosquitto_publish_v5(m_mosq, nullptr, topic.constData(), payload.size(), payload.constData(), qos,
                                        retain, properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_SUCCESS) {
        handleLoopResult(rc);
        return false;
    }
    updateWriteWatch();
    return true;
}

void MqttLink::finish(int msecs)
{
    m_finishing = true;
    m_retry.stop();
    if (!m_mosq || !m_connected)
        return;
    QElapsedTimer clock;
    clock.start();
    // What is queued (an offline notice) leaves before the goodbye.
    while (mosquitto_want_write(m_mosq) && clock.elapsed() < msecs) {
        if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS)
            break;
        QEventLoop().processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }
    mosquitto_disconnect_v5(m_mosq, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
    while (mosquitto_want_write(m_mosq) && clock.elapsed() < msecs) {
        if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
    m_connected = false;
    dropSocket();
}

// ---- connecting ----------------------------------------------------------------

void MqttLink::connectSoon()
{
    if (m_finishing || m_retry.isActive())
        return;
    m_retryMs = m_retryMs == 0 ? FirstRetryMs : qMin(m_retryMs * 2, LongestRetryMs);
    m_retry.start(m_retryMs);
}

void MqttLink::tryConnect()
{
    dropSocket();
    // Non-blocking: the socket connects while the event loop runs, and the
    // CONNECT packet leaves once it is writable.
    const int rc = mosquitto_connect_bind_async(m_mosq, bytes(m_settings.host).constData(), m_settings.port,
                                                m_settings.keepAliveSeconds, nullptr);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq) < 0) {
        connectSoon();
        return;
    }
    watchSocket();
}

void MqttLink::watchSocket()
{
    const int fd = mosquitto_socket(m_mosq);
    m_read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_read, &QSocketNotifier::activated, this, &MqttLink::readable);
    m_write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_write, &QSocketNotifier::activated, this, &MqttLink::writable);
    updateWriteWatch();
}

void MqttLink::dropSocket()
{
    // Notifiers may be dropped from their own signal: deleted later, silent now.
    for (QSocketNotifier *notifier : { m_read, m_write }) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_read = nullptr;
    m_write = nullptr;
}

void MqttLink::readable()
{
    if (m_mosq)
        handleLoopResult(mosquitto_loop_read(m_mosq, 1));
    updateWriteWatch();
    deliver();
}

void MqttLink::writable()
{
    if (m_mosq)
        handleLoopResult(mosquitto_loop_write(m_mosq, 1));
    updateWriteWatch();
    deliver();
}

void MqttLink::deliver()
{
    // One at a time: a slot that runs an event loop may come back here.
    while (!m_events.isEmpty()) {
        const Event event = m_events.dequeue();
        switch (event.kind) {
        case Event::Connected: Q_EMIT connected(); break;
        case Event::Disconnected: Q_EMIT disconnected(); break;
        case Event::Message: Q_EMIT messageArrived(event.message); break;
        case Event::Problem: Q_EMIT problem(event.text); break;
        }
    }
}

void MqttLink::updateWriteWatch()
{
    if (m_write)
        m_write->setEnabled(m_mosq && mosquitto_want_write(m_mosq));
}

void MqttLink::handleLoopResult(int rc)
{
    if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN || m_finishing)
        return;
    // The connection broke (libmosquitto has closed the socket and, when it
    // was up, reported it through onDisconnect).
    const bool wasConnected = m_connected;
    m_connected = false;
    dropSocket();
    if (wasConnected)
        m_events.enqueue(Event{ Event::Disconnected, {}, {} });
    connectSoon();
}

// ---- libmosquitto's callbacks (run inside loop_read/_write/_misc) --------------

void MqttLink::onConnect(mosquitto *, void *self, int rc, int, const mqtt5__property *)
{
    MqttLink *link = static_cast<MqttLink *>(self);
    if (rc != 0) {
        link->m_events.enqueue(Event{ Event::Problem, {}, QStringLiteral("the broker refused the connection: %1")
                                                              .arg(QString::fromUtf8(mosquitto_reason_string(rc))) });
        // libmosquitto closes the connection; it is tried again later.
        return;
    }
    link->m_connected = true;
    link->m_retryMs = 0;
    for (const auto &subscription : link->m_subscriptions)
        mosquitto_subscribe_v5(link->m_mosq, nullptr, subscription.first.constData(), subscription.second, 0, nullptr);
    link->m_events.enqueue(Event{ Event::Connected, {}, {} });
}

void MqttLink::onDisconnect(mosquitto *, void *self, int, const mqtt5__property *)
{
    MqttLink *link = static_cast<MqttLink *>(self);
    const bool wasConnected = link->m_connected;
    link->m_connected = false;
    link->dropSocket();
    if (wasConnected)
        link->m_events.enqueue(Event{ Event::Disconnected, {}, {} });
    link->connectSoon();
}

void MqttLink::onMessage(mosquitto *, void *self, const mosquitto_message *message, const mqtt5__property *props)
{
    MqttLink *link = static_cast<MqttLink *>(self);
    MqttMessage m;
    m.topic = QByteArray(message->topic);
    m.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    char *responseTopic = nullptr;
    if (mosquitto_property_read_string(props, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false)) {
        m.responseTopic = QByteArray(responseTopic);
        std::free(responseTopic);
    }
    void *correlation = nullptr;
    uint16_t length = 0;
    if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &correlation, &length, false)) {
        m.correlationData = QByteArray(static_cast<const char *>(correlation), length);
        std::free(correlation);
    }
    link->m_events.enqueue(Event{ Event::Message, m, {} });
}
