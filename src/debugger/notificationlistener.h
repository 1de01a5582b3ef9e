#ifndef NOTIFICATIONLISTENER_H
#define NOTIFICATIONLISTENER_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QVector>
#include <QtNetwork/QHostAddress>

class QRobotDebuggerPrivate;
class QUdpSocket;

// The program's one listener on the controllers' notification ports (UDP 5000
// to 5003). The ports are fixed, so a computer has room for one listener; it
// serves every debugger of the program, and so every facade: each datagram
// goes to the debuggers whose controller sent it.
//
// Datagrams are handed on in the order they arrived, across the four ports
// (by the time the system received each, where it tells), so that a line and
// what the script printed on it come in the order the controller sent them,
// not in the order in which the four sockets happen to be read.
//
// The ports are bound without sharing them: a second program cannot take the
// notifications over, its bind fails and it can say who holds the ports.
class NotificationListener : public QObject
{
public:
    // The listener, created with the program's first debugger and deleted
    // with its last (which frees the ports).
    static NotificationListener *attach(QRobotDebuggerPrivate *debugger);
    static void detach(QRobotDebuggerPrivate *debugger);

    // Binds the ports not bound yet. True when all four are bound; otherwise
    // none is held and problem() names the first port that is taken and, when
    // the system tells, by whom.
    bool listen();
    bool isListening() const;
    QString problem() const { return m_problem; }

    // The debugger whose debug session holds the debug server's TCP port (one
    // at a time per computer), or null.
    QRobotDebuggerPrivate *debugSession = nullptr;

private:
    struct Datagram
    {
        quint16 port;
        QHostAddress sender;
        QByteArray data;
        qint64 receivedNs; // the system's receive time
        bool held;         // kept back once to wait for datagrams received before it
    };

    NotificationListener() = default;
    ~NotificationListener() override;
    void release();
    void readPending();
    void handOn(qint64 readStartNs);

    QVector<QUdpSocket *> m_sockets;
    QList<QRobotDebuggerPrivate *> m_debuggers;
    QList<Datagram> m_queue;
    bool m_handingOn = false;
    bool m_readScheduled = false;
    QString m_problem;

    static NotificationListener *s_listener;
};

#endif // NOTIFICATIONLISTENER_H
