#include "httpconnection_p.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace VarloTest {
namespace Internal {

namespace {
// Bounds for what one client may send; anything beyond is answered and dropped.
constexpr int MaxHeadBytes = 64 * 1024;
constexpr qint64 MaxBodyBytes = 16 * 1024 * 1024;
} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

HttpConnection::HttpConnection(QTcpSocket *socket, int id, Handler handler, QObject *parent)
    : QObject(parent), m_socket(socket), m_id(id), m_handler(std::move(handler))
{
    m_socket->setParent(this);
    // Pieces of a reply sent with gaps should leave as separate segments.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readInput);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::socketGone);
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &HttpConnection::readInput);
}

HttpConnection::~HttpConnection() = default;

quint16 HttpConnection::localPort() const
{
    return m_socket->localPort();
}

bool HttpConnection::isOpen() const
{
    return !m_closed;
}

void HttpConnection::abort()
{
    if (m_gone)
        return;
    m_pending.clear();
    m_socket->abort();
    socketGone();
}

void HttpConnection::readInput()
{
    if (m_closed)
        return;
    m_buffer.append(m_socket->readAll());
    QPointer<HttpConnection> self(this);
    while (self && !m_closed && parseOne()) {
    }
}

// Takes one complete request off the front of the buffer, if there is one.
bool HttpConnection::parseOne()
{
    const int headEnd = m_buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (m_buffer.size() > MaxHeadBytes)
            failAndClose(431);
        return false;
    }
    if (headEnd > MaxHeadBytes) {
        failAndClose(431);
        return false;
    }

    const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine.at(0).isEmpty() || !requestLine.at(1).startsWith('/')
        || !requestLine.at(2).startsWith("HTTP/1.")) {
        failAndClose(400);
        return false;
    }

    WireRequest req;
    req.method = requestLine.at(0);
    req.target = requestLine.at(1);
    req.version = requestLine.at(2);
    qint64 contentLength = 0;
    bool haveLength = false;
    bool expectContinue = false;
    QByteArray connectionHeader;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
        const int colon = line.indexOf(':');
        if (colon <= 0) {
            failAndClose(400);
            return false;
        }
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        req.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok || n < 0 || (haveLength && n != contentLength)) {
                failAndClose(400);
                return false;
            }
            contentLength = n;
            haveLength = true;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            // Controllers' clients send Content-Length bodies; chunked uploads are not played.
            failAndClose(501);
            return false;
        } else if (name.compare("Expect", Qt::CaseInsensitive) == 0) {
            expectContinue = value.compare("100-continue", Qt::CaseInsensitive) == 0;
        } else if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
            connectionHeader = value.toLower();
        }
    }
    if (contentLength > MaxBodyBytes) {
        failAndClose(413);
        return false;
    }

    const qint64 total = headEnd + 4 + contentLength;
    if (m_buffer.size() < total) {
        if (expectContinue && !m_continueSent) {
            m_continueSent = true;
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        }
        return false;
    }
    req.body = m_buffer.mid(headEnd + 4, int(contentLength));
    m_buffer.remove(0, int(total));
    m_continueSent = false;

    if (req.version == "HTTP/1.0")
        req.keepAlive = connectionHeader.contains("keep-alive");
    else
        req.keepAlive = !connectionHeader.contains("close");

    QPointer<HttpConnection> self(this);
    const Reply reply = m_handler(this, req);
    if (!self || m_closed)
        return false;
    enqueue(reply, req.keepAlive);
    // After a request that ends the connection, further input is not read.
    return req.keepAlive;
}

void HttpConnection::failAndClose(int status)
{
    const QByteArray phrase = reasonPhrase(status);
    m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + phrase
                    + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    m_buffer.clear();
    m_pending.clear();
    m_closed = true;
    m_socket->disconnectFromHost();
}

void HttpConnection::enqueue(const Reply &reply, bool keepAlive)
{
    auto pending = QSharedPointer<Pending>::create();
    pending->reply = reply;
    pending->keepAlive = keepAlive;
    m_pending.append(pending);
    if (reply.delayMs > 0) {
        QWeakPointer<Pending> weak = pending;
        QTimer::singleShot(reply.delayMs, this, [this, weak] {
            if (auto p = weak.toStrongRef()) {
                p->ready = true;
                pump();
            }
        });
    } else {
        pending->ready = true;
        pump();
    }
}

// Answers are delivered in request order: a slow or silent answer holds up
// the ones behind it, as on a real HTTP/1.1 connection.
void HttpConnection::pump()
{
    if (m_sending || m_closed || m_pending.isEmpty())
        return;
    const QSharedPointer<Pending> head = m_pending.first();
    if (!head->ready || head->reply.neverAnswer)
        return;
    if (head->reply.dropSocket) {
        abort();
        return;
    }

    const Reply &r = head->reply;
    QByteArray text = "HTTP/1.1 " + QByteArray::number(r.statusCode) + ' ' + reasonPhrase(r.statusCode) + "\r\n";
    if (!r.mimeType.isEmpty())
        text += "Content-Type: " + r.mimeType + "\r\n";
    text += "Content-Length: " + QByteArray::number(r.bodyBytes.size()) + "\r\n";
    text += head->keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    for (const auto &h : r.extraHeaders)
        text += h.first + ": " + h.second + "\r\n";
    text += "\r\n";

    QList<QByteArray> pieces;
    const int count = qMax(1, r.pieces);
    const int body = r.bodyBytes.size();
    const int step = count > 1 ? qMax(1, (body + count - 1) / count) : qMax(1, body);
    pieces.append(text + r.bodyBytes.left(step));
    for (int at = step; at < body; at += step)
        pieces.append(r.bodyBytes.mid(at, step));

    m_sending = true;
    sendPieces(pieces, 0, qMax(0, r.pieceGapMs), head->keepAlive);
}

void HttpConnection::sendPieces(const QList<QByteArray> &pieces, int next, int gapMs, bool keepAlive)
{
    if (m_closed)
        return;
    m_socket->write(pieces.at(next));
    m_socket->flush();
    if (next + 1 < pieces.size()) {
        QTimer::singleShot(gapMs, this, [this, pieces, next, gapMs, keepAlive] {
            sendPieces(pieces, next + 1, gapMs, keepAlive);
        });
        return;
    }
    finishCurrent(keepAlive);
}

void HttpConnection::finishCurrent(bool keepAlive)
{
    if (!m_pending.isEmpty())
        m_pending.removeFirst();
    m_sending = false;
    if (!keepAlive) {
        m_pending.clear();
        m_closed = true;
        m_socket->disconnectFromHost();
        return;
    }
    pump();
}

void HttpConnection::socketGone()
{
    if (m_gone)
        return;
    m_gone = true;
    m_closed = true;
    m_pending.clear();
    disconnect(m_socket, nullptr, this, nullptr);
    if (onClosed)
        onClosed(this);
    deleteLater();
}

} // namespace Internal
} // namespace VarloTest
