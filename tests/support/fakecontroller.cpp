#include "fakecontroller.h"

#include "httpconnection_p.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace VarloTest {

using Internal::HttpConnection;
using Internal::WireRequest;

struct ScriptData
{
    QString method;
    QString path;
    quint16 port = 0;
    Reply reply;
    bool hasBody = false;
    Script::Handler handler;
    int remaining = -1;
    int used = 0;
    bool removed = false;
};

namespace {

const QString ReadPrefix = QStringLiteral("/file/read");
const QString WritePrefix = QStringLiteral("/file/write");
const QString DocumentSuffix = QStringLiteral(".json");

bool matchesText(const QString &pattern, const QString &text, Qt::CaseSensitivity cs)
{
    if (pattern.isEmpty() || pattern == QLatin1String("*"))
        return true;
    if (pattern.endsWith(QLatin1Char('*')))
        return text.startsWith(pattern.chopped(1), cs);
    return text.compare(pattern, cs) == 0;
}

bool matches(const Request &r, const QString &method, const QString &path, quint16 port)
{
    return (port == 0 || r.port == port) && matchesText(method, r.method, Qt::CaseInsensitive)
        && matchesText(path, r.path, Qt::CaseSensitive);
}

QString normalizedName(const QString &name)
{
    return name.startsWith(QLatin1Char('/')) ? name : QLatin1Char('/') + name;
}

// "/file/read/settings/common.json" -> "/settings/common" for prefix "/file/read".
bool documentNameOf(const QString &path, const QString &prefix, QString *name)
{
    if (!path.startsWith(prefix + QLatin1Char('/')) || !path.endsWith(DocumentSuffix))
        return false;
    const int length = path.size() - prefix.size() - DocumentSuffix.size();
    if (length <= 1)
        return false;
    *name = path.mid(prefix.size(), length);
    return true;
}

} // namespace

class FakeControllerPrivate
{
    Q_DECLARE_PUBLIC(FakeController)
public:
    FakeControllerPrivate(FakeController *q, const QString &address, quint16 apiPort, quint16 filePort)
        : q_ptr(q), address(address), apiPort(apiPort), filePort(filePort)
    {
        clock.start();
    }

    void accept(QTcpServer *server);
    Reply answer(HttpConnection *connection, const WireRequest &wire);
    std::shared_ptr<ScriptData> pick(const Request &r) const;
    quint16 usualPort(const QString &path) const;
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    FakeController *q_ptr;
    QString address;
    quint16 apiPort;
    quint16 filePort;
    QElapsedTimer clock;
    QTcpServer apiServer;
    QTcpServer fileServer;
    QString errorString;
    QList<HttpConnection *> connections;
    int connectionSerial = 0;
    int requestSerial = 0;
    QList<std::shared_ptr<ScriptData>> scripts;
    Reply unscripted = Reply::notFound();
    QMap<QString, QByteArray> documents;
    QList<Request> requests;
};

void FakeControllerPrivate::accept(QTcpServer *server)
{
    Q_Q(FakeController);
    while (server->hasPendingConnections()) {
        QTcpSocket *socket = server->nextPendingConnection();
        auto *connection = new HttpConnection(socket, ++connectionSerial,
            [this](HttpConnection *c, const WireRequest &w) { return answer(c, w); }, q);
        connection->onClosed = [this](HttpConnection *c) { connections.removeAll(c); };
        connections.append(connection);
    }
}

std::shared_ptr<ScriptData> FakeControllerPrivate::pick(const Request &r) const
{
    std::shared_ptr<ScriptData> unlimited;
    for (const auto &s : scripts) {
        if (s->removed || s->remaining == 0 || !matches(r, s->method, s->path, s->port))
            continue;
        if (s->remaining > 0)
            return s;
        unlimited = s;
    }
    return unlimited;
}

Reply FakeControllerPrivate::answer(HttpConnection *connection, const WireRequest &wire)
{
    Q_Q(FakeController);
    Request r;
    r.method = QString::fromLatin1(wire.method);
    const int question = wire.target.indexOf('?');
    r.path = QUrl::fromPercentEncoding(question < 0 ? wire.target : wire.target.left(question));
    if (question >= 0)
        r.query = QUrl::fromPercentEncoding(wire.target.mid(question + 1));
    r.port = connection->localPort();
    r.body = wire.body;
    r.headers = wire.headers;
    r.timeMs = clock.elapsed();
    r.connection = connection->id();
    r.serial = ++requestSerial;
    requests.append(r);

    QString name;
    const bool onFiles = r.port == filePort;
    const bool isRead = onFiles && r.method == QLatin1String("GET") && documentNameOf(r.path, ReadPrefix, &name);
    const bool isWrite = onFiles && r.method == QLatin1String("POST") && documentNameOf(r.path, WritePrefix, &name);
    const QByteArray usualBody = isRead ? documents.value(name, QByteArrayLiteral("{}")) : QByteArrayLiteral("{}");

    Reply reply;
    if (const std::shared_ptr<ScriptData> s = pick(r)) {
        ++s->used;
        if (s->remaining > 0)
            --s->remaining;
        if (s->handler) {
            const Script::Handler handler = s->handler;
            reply = handler(r);
        } else {
            reply = s->reply;
            if (!s->hasBody)
                reply.bodyBytes = usualBody;
        }
    } else if (isRead || isWrite) {
        reply = Reply::raw(usualBody);
    } else {
        reply = unscripted;
    }

    QPointer<FakeController> guard(q);
    if (isWrite && reply.isSuccess()) {
        documents.insert(name, r.body);
        emit q->documentWritten(name);
    }
    if (guard)
        emit q->requestReceived(r);
    return reply;
}

quint16 FakeControllerPrivate::usualPort(const QString &path) const
{
    const bool files = path.startsWith(ReadPrefix) || path.startsWith(WritePrefix)
        || path == QLatin1String("/file*") || path == QLatin1String("/file/*");
    return files ? filePort : apiPort;
}

bool FakeControllerPrivate::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    Q_Q(FakeController);
    if (done())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(q, &FakeController::requestReceived, &loop, [&] {
        if (done())
            loop.quit();
    });
    timer.start(qMax(0, timeoutMs));
    loop.exec();
    return done();
}

// --- Script

Script &Script::reply(const QJsonObject &object)
{
    return replyRaw(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Script &Script::reply(const QJsonArray &array)
{
    return replyRaw(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

Script &Script::reply(const Reply &reply)
{
    d->reply = reply;
    d->hasBody = true;
    return *this;
}

Script &Script::replyRaw(const QByteArray &body)
{
    d->reply.bodyBytes = body;
    d->hasBody = true;
    return *this;
}

Script &Script::replyEmpty()
{
    return replyRaw(QByteArray());
}

Script &Script::status(int code)
{
    d->reply.statusCode = code;
    return *this;
}

Script &Script::header(const QByteArray &name, const QByteArray &value)
{
    d->reply.header(name, value);
    return *this;
}

Script &Script::delay(int ms)
{
    d->reply.delay(ms);
    return *this;
}

Script &Script::never()
{
    d->reply.never();
    return *this;
}

Script &Script::closeConnection()
{
    d->reply.closeConnection();
    return *this;
}

Script &Script::chunked(int pieces, int gapMs)
{
    d->reply.chunked(pieces, gapMs);
    return *this;
}

Script &Script::handle(Handler handler)
{
    d->handler = std::move(handler);
    return *this;
}

Script &Script::times(int n)
{
    d->remaining = qMax(0, n);
    return *this;
}

Script &Script::always()
{
    d->remaining = -1;
    return *this;
}

int Script::used() const
{
    return d->used;
}

int Script::remaining() const
{
    return d->remaining;
}

void Script::remove()
{
    d->removed = true;
}

// --- FakeController

FakeController::FakeController(const QString &address, QObject *parent)
    : FakeController(address, ApiPort, FilePort, parent)
{
}

FakeController::FakeController(const QString &address, quint16 apiPort, quint16 filePort, QObject *parent)
    : QObject(parent), d_ptr(new FakeControllerPrivate(this, address, apiPort, filePort))
{
    Q_D(FakeController);
    qRegisterMetaType<VarloTest::Request>("VarloTest::Request");
    connect(&d->apiServer, &QTcpServer::newConnection, this, [d] { d->accept(&d->apiServer); });
    connect(&d->fileServer, &QTcpServer::newConnection, this, [d] { d->accept(&d->fileServer); });
}

FakeController::~FakeController()
{
    close();
}

QString FakeController::address() const
{
    return d_func()->address;
}

quint16 FakeController::apiPort() const
{
    return d_func()->apiPort;
}

quint16 FakeController::filePort() const
{
    return d_func()->filePort;
}

QString FakeController::url(const QString &path, quint16 port) const
{
    Q_D(const FakeController);
    return QStringLiteral("http://%1:%2%3").arg(d->address).arg(port ? port : d->usualPort(path)).arg(path);
}

bool FakeController::listen()
{
    Q_D(FakeController);
    if (isListening())
        return true;
    const QHostAddress host(d->address);
    if (host.isNull()) {
        d->errorString = QStringLiteral("not an address: %1").arg(d->address);
        return false;
    }
    d->errorString.clear();
    if (!d->apiServer.listen(host, d->apiPort)) {
        d->errorString = QStringLiteral("%1:%2: %3").arg(d->address).arg(d->apiPort).arg(d->apiServer.errorString());
        return false;
    }
    if (!d->fileServer.listen(host, d->filePort)) {
        d->errorString = QStringLiteral("%1:%2: %3").arg(d->address).arg(d->filePort).arg(d->fileServer.errorString());
        d->apiServer.close();
        return false;
    }
    return true;
}

bool FakeController::isListening() const
{
    Q_D(const FakeController);
    return d->apiServer.isListening() && d->fileServer.isListening();
}

QString FakeController::errorString() const
{
    return d_func()->errorString;
}

void FakeController::close()
{
    Q_D(FakeController);
    d->apiServer.close();
    d->fileServer.close();
    const QList<HttpConnection *> open = d->connections;
    for (HttpConnection *c : open)
        c->abort();
    d->connections.clear();
}

Script FakeController::on(const QString &method, const QString &path, quint16 port)
{
    Q_D(FakeController);
    auto s = std::make_shared<ScriptData>();
    s->method = method.toUpper();
    s->path = path;
    s->port = port ? port : d->usualPort(path);
    d->scripts.append(s);
    return Script(s);
}

Script FakeController::onRead(const QString &documentName)
{
    return on(QStringLiteral("GET"), ReadPrefix + normalizedName(documentName) + DocumentSuffix, filePort());
}

Script FakeController::onWrite(const QString &documentName)
{
    return on(QStringLiteral("POST"), WritePrefix + normalizedName(documentName) + DocumentSuffix, filePort());
}

void FakeController::clearScripts()
{
    Q_D(FakeController);
    for (const auto &s : qAsConst(d->scripts))
        s->removed = true;
    d->scripts.clear();
}

void FakeController::clearScripts(const QString &method, const QString &path, quint16 port)
{
    Q_D(FakeController);
    const quint16 p = port ? port : d->usualPort(path);
    for (int i = d->scripts.size() - 1; i >= 0; --i) {
        const auto &s = d->scripts.at(i);
        if (s->method.compare(method, Qt::CaseInsensitive) == 0 && s->path == path && s->port == p) {
            s->removed = true;
            d->scripts.removeAt(i);
        }
    }
}

void FakeController::setUnscriptedReply(const Reply &reply)
{
    d_func()->unscripted = reply;
}

void FakeController::playRobot(int axes, const QString &version)
{
    on(QStringLiteral("GET"), QStringLiteral("/connection/state")).reply(QJsonObject{});
    on(QStringLiteral("POST"), QStringLiteral("/settings/version")).reply(QJsonObject{{QStringLiteral("control"), version}});
    on(QStringLiteral("POST"), QStringLiteral("/interface/updateFile")).reply(QJsonObject{});
    on(QStringLiteral("GET"), QStringLiteral("/protocol/exchange"))
        .reply(QJsonObject{{QStringLiteral("controlMode"), QStringLiteral("disable")}});
    on(QStringLiteral("POST"), QStringLiteral("/protocol/exchange")).reply(QJsonObject{});
    setDocument(QStringLiteral("/properties/axis"), QJsonObject{{QStringLiteral("axis"), axes}});
}

void FakeController::setDocument(const QString &name, const QJsonObject &object)
{
    setDocument(name, QJsonDocument(object).toJson());
}

void FakeController::setDocument(const QString &name, const QJsonArray &array)
{
    setDocument(name, QJsonDocument(array).toJson());
}

void FakeController::setDocument(const QString &name, const QByteArray &text)
{
    d_func()->documents.insert(normalizedName(name), text);
}

bool FakeController::hasDocument(const QString &name) const
{
    return d_func()->documents.contains(normalizedName(name));
}

QByteArray FakeController::documentBytes(const QString &name) const
{
    return d_func()->documents.value(normalizedName(name));
}

QJsonDocument FakeController::document(const QString &name) const
{
    return QJsonDocument::fromJson(documentBytes(name));
}

QJsonObject FakeController::documentObject(const QString &name) const
{
    return document(name).object();
}

void FakeController::removeDocument(const QString &name)
{
    d_func()->documents.remove(normalizedName(name));
}

void FakeController::clearDocuments()
{
    d_func()->documents.clear();
}

QStringList FakeController::documentNames() const
{
    return d_func()->documents.keys();
}

QList<Request> FakeController::requests() const
{
    return d_func()->requests;
}

QList<Request> FakeController::requests(const QString &method, const QString &path, quint16 port) const
{
    QList<Request> found;
    for (const Request &r : d_func()->requests) {
        if (matches(r, method, path, port))
            found.append(r);
    }
    return found;
}

Request FakeController::lastRequest() const
{
    Q_D(const FakeController);
    return d->requests.isEmpty() ? Request() : d->requests.last();
}

Request FakeController::lastRequest(const QString &method, const QString &path, quint16 port) const
{
    Q_D(const FakeController);
    for (int i = d->requests.size() - 1; i >= 0; --i) {
        if (matches(d->requests.at(i), method, path, port))
            return d->requests.at(i);
    }
    return Request();
}

int FakeController::count() const
{
    return d_func()->requests.size();
}

int FakeController::count(const QString &method, const QString &path, quint16 port) const
{
    int n = 0;
    for (const Request &r : d_func()->requests)
        n += matches(r, method, path, port) ? 1 : 0;
    return n;
}

void FakeController::clearRequests()
{
    d_func()->requests.clear();
}

bool FakeController::waitForRequest(const QString &method, const QString &path, int timeoutMs)
{
    return waitForRequests(method, path, 1, timeoutMs);
}

bool FakeController::waitForRequests(const QString &method, const QString &path, int n, int timeoutMs)
{
    return d_func()->waitUntil([=] { return count(method, path) >= n; }, timeoutMs);
}

bool FakeController::waitForNextRequest(const QString &method, const QString &path, int timeoutMs)
{
    Q_D(FakeController);
    const int after = d->requestSerial;
    return d->waitUntil([=] {
        const Request last = lastRequest(method, path);
        return last.serial > after;
    }, timeoutMs);
}

qint64 FakeController::elapsedMs() const
{
    return d_func()->clock.elapsed();
}

int FakeController::connectionCount() const
{
    return d_func()->connectionSerial;
}

int FakeController::openConnections() const
{
    return d_func()->connections.size();
}

} // namespace VarloTest
