#include "debugger/notificationlistener.h"
#include "debugger/portholder.h"
#include "debugger/qrobotdebugger_p.h"

#include <QtCore/QTimer>
#include <QtNetwork/QNetworkDatagram>
#include <QtNetwork/QUdpSocket>

#include <algorithm>

#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <time.h>
#endif

NotificationListener *NotificationListener::s_listener = nullptr;

namespace {

// The receive times come from the system's real-time clock (Linux keeps one
// per socket for the datagram read last); elsewhere nothing is known and the
// datagrams go on in the order they are read.
qint64 nowNs()
{
#if defined(Q_OS_LINUX)
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
#else
    return 0;
#endif
}

// Asks the system to note receive times from now on.
void noteReceiveTimes(QUdpSocket *socket)
{
#if defined(Q_OS_LINUX)
    timespec stamp{};
    ::ioctl(int(socket->socketDescriptor()), SIOCGSTAMPNS, &stamp);
#else
    Q_UNUSED(socket);
#endif
}

// The receive time of the datagram just read from `socket`, or `fallback`.
qint64 receiveTime(QUdpSocket *socket, qint64 fallback)
{
#if defined(Q_OS_LINUX)
    timespec stamp{};
    if (::ioctl(int(socket->socketDescriptor()), SIOCGSTAMPNS, &stamp) == 0)
        return qint64(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
#else
    Q_UNUSED(socket);
#endif
    return fallback;
}

} // namespace

NotificationListener *NotificationListener::attach(QRobotDebuggerPrivate *debugger)
{
    if (!s_listener)
        s_listener = new NotificationListener;
    s_listener->m_debuggers.append(debugger);
    return s_listener;
}

void NotificationListener::detach(QRobotDebuggerPrivate *debugger)
{
    NotificationListener *listener = s_listener;
    if (!listener)
        return;
    listener->m_debuggers.removeAll(debugger);
    if (listener->debugSession == debugger)
        listener->debugSession = nullptr;
    if (!listener->m_debuggers.isEmpty())
        return;
    // The last debugger is gone: the ports are free at once.
    listener->release();
    s_listener = nullptr;
    if (listener->m_handingOn)
        listener->deleteLater(); // a datagram's handler deleted its facade
    else
        delete listener;
}

NotificationListener::~NotificationListener()
{
    release();
}

void NotificationListener::release()
{
    for (QUdpSocket *socket : qAsConst(m_sockets)) {
        socket->disconnect(this);
        socket->close();
        socket->deleteLater();
    }
    m_sockets.clear();
}

bool NotificationListener::isListening() const
{
    return m_sockets.size() == 4;
}

bool NotificationListener::listen()
{
    if (isListening())
        return true;
    release();
    for (quint16 port = QRobotDebugger::MessagePort; port <= QRobotDebugger::SpecialPort; ++port) {
        auto *socket = new QUdpSocket(this);
        // Not shared: a port that another program holds is refused here, rather
        // than half of the notifications going to each program.
        if (!socket->bind(QHostAddress::Any, port, QAbstractSocket::DontShareAddress)) {
            m_problem = socket->error() == QAbstractSocket::AddressInUseError
                          ? PortHolder::takenText(port, PortHolder::Udp)
                          : QStringLiteral("UDP port %1 cannot be bound: %2").arg(port).arg(socket->errorString());
            delete socket;
            release();
            return false;
        }
        noteReceiveTimes(socket);
        QObject::connect(socket, &QUdpSocket::readyRead, this, &NotificationListener::readPending);
        m_sockets.append(socket);
    }
    m_problem.clear();
    return true;
}

void NotificationListener::readPending()
{
    m_readScheduled = false;
    // Every datagram received before this moment is read now, whichever
    // socket it is on.
    const qint64 readStart = nowNs();
    for (QUdpSocket *socket : qAsConst(m_sockets)) {
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket->receiveDatagram(socket->pendingDatagramSize());
            const Datagram received{ socket->localPort(), datagram.senderAddress(), datagram.data(),
                                     receiveTime(socket, readStart), false };
            const auto later = std::upper_bound(m_queue.begin(), m_queue.end(), received.receivedNs,
                                                [](qint64 ns, const Datagram &queued) { return ns < queued.receivedNs; });
            m_queue.insert(later, received);
        }
    }
    handOn(readStart);
}

void NotificationListener::handOn(qint64 readStartNs)
{
    // A handler may wait with events, and datagrams read meanwhile join the
    // queue: the outer call hands them on, in order.
    if (m_handingOn)
        return;
    m_handingOn = true;
    // A datagram received after the read began may have been read before an
    // earlier one on another socket: it waits for the next read (once).
    while (!m_queue.isEmpty() && (m_queue.first().receivedNs <= readStartNs || m_queue.first().held)) {
        const Datagram datagram = m_queue.takeFirst();
        const QList<QRobotDebuggerPrivate *> debuggers = m_debuggers;
        for (QRobotDebuggerPrivate *debugger : debuggers) {
            if (m_debuggers.contains(debugger)) // not deleted by an earlier handler
                debugger->takeNotification(datagram.port, datagram.sender, datagram.data);
        }
    }
    for (Datagram &datagram : m_queue)
        datagram.held = true;
    m_handingOn = false;
    if (!m_queue.isEmpty() && !m_readScheduled && s_listener == this) {
        m_readScheduled = true;
        QTimer::singleShot(0, this, &NotificationListener::readPending);
    }
}
