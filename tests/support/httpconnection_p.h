#ifndef VARLOTEST_HTTPCONNECTION_P_H
#define VARLOTEST_HTTPCONNECTION_P_H

// Internal to the controller double: the HTTP/1.1 framing of one accepted
// connection. Parses requests (partial and pipelined input), hands each to the
// owner and delivers the owner's replies in request order, with their delays,
// pieces, silence or dropped sockets. Everything runs in the event loop.

#include "httpexchange.h"

#include <QObject>
#include <QSharedPointer>

#include <functional>

class QTcpSocket;

namespace VarloTest {
namespace Internal {

struct WireRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    HeaderList headers;
    QByteArray body;
    bool keepAlive = true;
};

class HttpConnection : public QObject
{
public:
    // Called for every complete request; returns what to do with it. The
    // handler may close or delete the connection (it is guarded).
    using Handler = std::function<Reply(HttpConnection *, const WireRequest &)>;

    HttpConnection(QTcpSocket *socket, int id, Handler handler, QObject *parent = nullptr);
    ~HttpConnection() override;

    int id() const { return m_id; }
    quint16 localPort() const;
    bool isOpen() const;

    // Drops the socket at once; pending answers are discarded.
    void abort();

    // Called once when the socket has gone (by either side); the connection
    // schedules its own deletion afterwards.
    std::function<void(HttpConnection *)> onClosed;

private:
    struct Pending
    {
        Reply reply;
        bool keepAlive = true;
        bool ready = false;
    };

    void readInput();
    bool parseOne();
    void failAndClose(int status);
    void enqueue(const Reply &reply, bool keepAlive);
    void pump();
    void sendPieces(const QList<QByteArray> &pieces, int next, int gapMs, bool keepAlive);
    void finishCurrent(bool keepAlive);
    void socketGone();

    QTcpSocket *m_socket;
    int m_id;
    Handler m_handler;
    QByteArray m_buffer;
    QList<QSharedPointer<Pending>> m_pending;
    bool m_sending = false;
    bool m_continueSent = false;
    bool m_closed = false;   // no more input read, no more answers sent
    bool m_gone = false;     // the socket has disconnected
};

QByteArray reasonPhrase(int status);

} // namespace Internal
} // namespace VarloTest

#endif // VARLOTEST_HTTPCONNECTION_P_H
