#include "fakecontroller.h"

#include <algorithm>
#include <iterator>

#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtNetwork/QTcpSocket>
#include <QtCore/QEventLoop>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace VarloTest {

namespace {

const quint16 ApiPort = 22000;
const quint16 FilePort = 22001;

bool matches(const QString &pattern, const QString &text)
{
    if (pattern == QLatin1String("*"))
        return true;
    if (pattern.endsWith(QLatin1Char('*')))
        return text.startsWith(pattern.chopped(1));
    return text == pattern;
}

// "/file/read/settings/common.json" -> "/settings/common"
QString documentName(const QString &path, const QString &prefix)
{
    if (!path.startsWith(prefix) || !path.endsWith(QLatin1String(".json")))
        return QString();
    return path.mid(prefix.size(), path.size() - prefix.size() - 5);
}

} // namespace

FakeController::FakeController(const QString &address, QObject *parent) : QObject(parent), m_address(address)
{
    m_clock.start();
    connect(&m_api, &QTcpServer::newConnection, this, [this] { accept(&m_api); });
    connect(&m_files, &QTcpServer::newConnection, this, [this] { accept(&m_files); });
}

FakeController::~FakeController() { close(); }

bool FakeController::listen()
{
    const QHostAddress host(m_address);
    if (m_api.listen(host, ApiPort) && m_files.listen(host, FilePort))
        return true;
    m_error = m_address + QLatin1String(": ") + m_api.errorString() + m_files.errorString();
    m_api.close();
    return false;
}

void FakeController::close()
{
    m_api.close();
    m_files.close();
    for (const QPointer<QTcpSocket> &socket : qAsConst(m_sockets)) {
        if (socket)
            socket->abort();
    }
    m_sockets.clear();
}

void FakeController::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        ++m_connectionSerial;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_sockets.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

// Takes every complete request (head, then a body of Content-Length bytes)
// off the socket's input.
void FakeController::readFrom(QTcpSocket *socket)
{
#ifdef TCP_QUICKACK
    // Qt's client sends a POST's head and body in two segments and waits for
    // the first to be acknowledged (Nagle): acknowledge at once instead of
    // after the 40 ms of a delayed ACK.
    const int one = 1;
    setsockopt(int(socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
    QByteArray buffer = socket->property("input").toByteArray() + socket->readAll();
    for (;;) {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            break;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        int length = 0;
        for (const QByteArray &line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toInt();
        }
        if (buffer.size() < headEnd + 4 + length)
            break;
        const QList<QByteArray> start = lines.first().trimmed().split(' ');
        Request request;
        request.method = QString::fromLatin1(start.value(0));
        request.path = QUrl::fromPercentEncoding(start.value(1).split('?').first());
        request.port = socket->localPort();
        request.body = buffer.mid(headEnd + 4, length);
        request.timeMs = m_clock.elapsed();
        buffer.remove(0, headEnd + 4 + length);
        m_requests.append(request);
        send(socket, answer(request));
    }
    socket->setProperty("input", buffer);
}

Reply FakeController::answer(const Request &request)
{
    std::shared_ptr<Route> chosen;
    for (const std::shared_ptr<Route> &route : qAsConst(m_routes)) {
        if (route->remaining == 0 || !matches(route->method, request.method) || !matches(route->path, request.path))
            continue;
        if (route->remaining > 0) {
            chosen = route;
            break;
        }
        chosen = route;
    }
    const QString read = request.port == FilePort ? documentName(request.path, QStringLiteral("/file/read")) : QString();
    const QString write = request.port == FilePort ? documentName(request.path, QStringLiteral("/file/write")) : QString();
    Reply reply = read.isEmpty() && write.isEmpty() ? Reply::error(404) : Reply();
    if (!read.isEmpty())
        reply.body = m_documents.value(read, QByteArrayLiteral("{}"));
    if (chosen) {
        ++chosen->used;
        if (chosen->remaining > 0)
            --chosen->remaining;
        const Handler handler = chosen->handler; // it may replace the routes
        reply = handler(request);
    }
    if (!write.isEmpty() && reply.isSuccess())
        m_documents.insert(write, request.body);
    return reply;
}

void FakeController::send(QPointer<QTcpSocket> socket, const Reply &reply)
{
    if (reply.silent)
        return;
    QTimer::singleShot(reply.delayMs, this, [socket, reply] {
        if (!socket)
            return;
        if (reply.dropped)
            return socket->abort();
        const QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status)
            + " Status\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(reply.body.size())
            + "\r\nConnection: keep-alive\r\n\r\n";
        const int step = qMax(1, (reply.body.size() + reply.pieces - 1) / qMax(1, reply.pieces));
        socket->write(head + reply.body.left(step));
        socket->flush();
        for (int at = step, gap = 30; at < reply.body.size(); at += step, gap += 30) {
            const QByteArray piece = reply.body.mid(at, step);
            QTimer::singleShot(gap, socket, [socket, piece] { socket->write(piece); socket->flush(); });
        }
    });
}

std::shared_ptr<Route> FakeController::on(const QString &method, const QString &path, Handler handler, int times)
{
    m_routes.append(std::make_shared<Route>(Route{ method, path, std::move(handler), times, 0 }));
    return m_routes.last();
}

std::shared_ptr<Route> FakeController::on(const QString &method, const QString &path, const Reply &reply, int times)
{
    return on(method, path, [reply](const Request &) { return reply; }, times);
}

void FakeController::playRobot(int axes)
{
    on("GET", "/connection/state", QJsonObject());
    on("POST", "/settings/version", QJsonObject{ { "control", "V1.2.0-double" } });
    on("POST", "/interface/updateFile", QJsonObject());
    on("GET", "/protocol/exchange", QJsonObject{ { "controlMode", "disable" } });
    // The coordinate asked for is the one reported: jogs wait for it.
    on("POST", "/protocol/exchange", [](const Request &r) {
        const QJsonValue coordinate = r.json().value(QStringLiteral("coordinate"));
        return Reply::json(coordinate.isString() ? QJsonObject{ { QStringLiteral("coordinate"), coordinate } } : QJsonObject());
    });
    setDocument("/properties/axis", QJsonObject{ { "axis", axes } });
}

QList<Request> FakeController::requests(const QString &method, const QString &path) const
{
    QList<Request> found;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(found),
                 [&](const Request &r) { return matches(method, r.method) && matches(path, r.path); });
    return found;
}

Request FakeController::last(const QString &method, const QString &path) const
{
    const QList<Request> found = requests(method, path);
    return found.isEmpty() ? Request() : found.last();
}

QStringList FakeController::trail(const QString &method, const QString &path) const
{
    QStringList list;
    for (const Request &r : requests(method, path)) {
        const QJsonDocument json = QJsonDocument::fromJson(r.body);
        const QByteArray body = json.isNull() ? r.body : json.toJson(QJsonDocument::Compact);
        list << QString("%1 %2:%3 %4").arg(r.method, r.path).arg(r.port).arg(QString::fromUtf8(body)).trimmed();
    }
    return list;
}

bool FakeController::waitFor(const QString &method, const QString &path, int n, int timeoutMs)
{
    return waitUntil([&] { return count(method, path) >= n; }, timeoutMs);
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start(1);
    if (!done())
        loop.exec();
    return done();
}

} // namespace VarloTest
