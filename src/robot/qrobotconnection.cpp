#include "Varlo/qrobotconnection.h"
#include "robot/qrobotconnection_p.h"
#include "transport/axiscount.h"
#include "Varlo/qhttpmanager.h"
#include "transport/timings.h"

#include <QtCore/QDebug>
#include <QtCore/QJsonObject>
#include <QtCore/QPointer>

QRobotConnectionPrivate::QRobotConnectionPrivate(QRobotConnection *q, QHttpManager *transport)
    : q_ptr(q), transport(transport)
{
}

void QRobotConnectionPrivate::rearm()
{
    if (!stopped)
        pollTimer.start(VarloTimings::ms(VarloTimings::ConnectionPoll));
}

void QRobotConnectionPrivate::poll()
{
    Q_Q(QRobotConnection);
    // The facade may stop (or the application delete) this component while the
    // poll waits for a reply.
    QPointer<QRobotConnection> guard(q);
    // The first question waits for nothing (a controller that does not
    // answer holds no other controller's work up in a host that follows
    // several); the rest follows once it answered.
    const quint64 asked = round;
    transport->getJsonLater(QStringLiteral("/connection/state"), [this, guard, asked](bool answered, const QJsonObject &) {
        if (!guard || asked != round)
            return;
        if (!answered || stopped) {
            rearm();
            return;
        }
        pollAnswered(asked);
    });
}

void QRobotConnectionPrivate::pollAnswered(quint64 asked)
{
    Q_Q(QRobotConnection);
    QPointer<QRobotConnection> guard(q);

    QJsonObject version;
    transport->postJson(QStringLiteral("/settings/version"), QJsonObject(), version);
    if (!guard || asked != round)
        return;
    if (version.contains(QLatin1String("control")))
        transport->setControllerVersion(version.value(QLatin1String("control")).toVariant().toString());

    // The files must be read again whenever they are not known reachable:
    // only a document read brings them back, and with them "connected". A
    // read that made the library connected may be followed, inside that very
    // notification, by a host's read that failed (the link dropped again):
    // the library is disconnected once more, and a poll that went by the axis
    // count alone would never read a document again.
    if (!axisKnown || !transport->isFilesReachable()) {
        int count = 0;
        const bool found = AxisCount::read(transport, &count);
        if (!guard)
            return;
        if (found && !axisKnown) {
            axisCount = count;
            qDebug() << "QRobotConnectionPrivate::QRobotConnectionPrivate(QRobotConnection*)::<lambda()>"
                     << "s_axisCount:" << axisCount;
            axisKnown = true;
            Q_EMIT q->axisCount(axisCount);
            if (!guard)
                return;
        }
    }
    rearm();
}

QRobotConnection::QRobotConnection(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QRobotConnectionPrivate(this, transport))
{
    d->pollTimer.setSingleShot(true);
    connect(&d->pollTimer, &QTimer::timeout, this, [this]() { d->poll(); });
}

QRobotConnection::~QRobotConnection() = default;

void QRobotConnection::startSupervision()
{
    d->axisKnown = false;
    d->stopped = false;
    ++d->round;
    d->started = true;
    d->pollTimer.start(VarloTimings::ms(VarloTimings::ConnectionPoll));
}

void QRobotConnection::stopSupervision()
{
    d->stopped = true;
    d->pollTimer.stop();
}

bool QRobotConnection::isSupervising() const
{
    return d->started && !d->stopped;
}

void QRobotConnection::setHost(const QString &host) { d->host = host; }
QString QRobotConnection::host() const { return d->host; }
int QRobotConnection::lastAxisCount() const { return d->axisCount; }
