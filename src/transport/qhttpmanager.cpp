#include "Varlo/qhttpmanager.h"
#include "transport/qhttpmanager_p.h"
#include "transport/timings.h"
#include "transport/controllerpaths.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QSaveFile>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkProxy>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QNetworkRequest>

#include <limits>

namespace {

const char GetParaSignature[] = "bool QHttpManager::getPara(QByteArray&, const QString&)";
const char SetParaSignature[] =
    "bool QHttpManager::setPara(const QByteArray&, const QString&, const QString&, const QByteArray&)";

// What a reply of the file service holds: a document (a JSON object with at
// least one key, or a JSON array), the service's own word for "no such
// document" (an empty object), or neither: a reply cut short or garbled is no
// evidence that the document is missing.
enum class ServiceReply { Document, NoDocument, Unusable };

ServiceReply readServiceReply(const QByteArray &bytes, QJsonDocument *document)
{
    const QJsonDocument parsed = QRobotJson::parse(bytes);
    if (parsed.isObject() && parsed.object().isEmpty())
        return ServiceReply::NoDocument;
    if (!parsed.isArray() && !parsed.isObject())
        return ServiceReply::Unusable;
    *document = parsed;
    return ServiceReply::Document;
}

// The network access manager of this thread, shared by the transports created
// in it. Qt runs the HTTP traffic of each manager in a thread of its own, so a
// manager per transport would give a host that follows a hundred controllers
// a hundred threads, and every request two hops between threads that each
// wake for it. A shared manager only carries the requests: each transport
// keeps its own queue, time-outs, reachability and connections (see
// connectionPool), and a controller that stops answering costs the others
// nothing (its aborted request drops only its own
// connections; nothing clears the shared manager's cache).
struct SharedNetwork
{
    QNetworkAccessManager *manager = nullptr;
    int users = 0;
};
thread_local SharedNetwork t_network;

QNetworkAccessManager *acquireNetwork()
{
    if (!t_network.manager) {
        t_network.manager = new QNetworkAccessManager;
        // The controller is on the local network: a proxy from the environment
        // would only get in the way.
        t_network.manager->setProxy(QNetworkProxy::NoProxy);
    }
    ++t_network.users;
    return t_network.manager;
}

// The name of a fresh pool of connections. The manager keeps its open
// connections by host, port and the request's peer verification name (which
// plain HTTP does not otherwise use): each transport names its own pool, and
// an aborted request moves it to a fresh one, so that its next requests, to
// either port, open new connections, as if its cache had been cleared.
QString freshPoolName()
{
    thread_local quint64 pools = 0; // unique within the thread's manager
    return QStringLiteral("varlo-pool-%1").arg(++pools);
}

void releaseNetwork()
{
    if (--t_network.users > 0)
        return;
    delete t_network.manager;
    t_network.manager = nullptr;
}

} // namespace

QHttpManagerPrivate::QHttpManagerPrivate(QHttpManager *q)
    : q_ptr(q), network(acquireNetwork()), connectionPool(freshPoolName())
{
}

QHttpManagerPrivate::~QHttpManagerPrivate()
{
    // Callers still waiting (only possible if the manager is deleted from inside
    // a wait) get their loops back with a failure instead of hanging.
    cancelAll();
    releaseNetwork();
}

QUrl QHttpManagerPrivate::urlFor(const QString &path, quint16 port) const
{
    return QUrl(QStringLiteral("http://%1:%2%3").arg(host, QString::number(port), path), QUrl::TolerantMode);
}

bool QHttpManagerPrivate::request(int isPost, const QString &path, const QByteArray &body, QByteArray *reply,
                                  quint16 port)
{
    Q_Q(QHttpManager);
    if (!dispatching) {
        // Nothing would ever send it: fail at once instead of waiting forever.
        return false;
    }

    PendingRequest entry;
    entry.isPost = isPost;
    entry.url = urlFor(path, port);
    entry.body = body;
    entry.reply = reply;
    queue.append(&entry);

    QPointer<QHttpManager> guard(q);
    if (!entry.done)
        entry.loop.exec();
    if (!guard)
        return false;

    if (!entry.cancelled)
        updateAfterRequest(entry.failed);
    return !entry.failed;
}

void QHttpManagerPrivate::requestLater(int isPost, const QString &path, std::function<bool(QByteArray &body)> body, quint16 port,
                                       std::function<void(bool ok, const QByteArray &reply)> done)
{
    if (!dispatching) {
        // Nothing would ever send it: a failure, from the event loop as always.
        QTimer::singleShot(0, q_ptr, [done]() { done(false, QByteArray()); });
        return;
    }
    auto *entry = new PendingRequest;
    entry->isPost = isPost;
    entry->url = urlFor(path, port);
    entry->bodyAtSend = std::move(body);
    entry->reply = &entry->replyBytes;
    entry->whenDone = std::move(done);
    queue.append(entry);
}

void QHttpManagerPrivate::settleLater(PendingRequest *entry)
{
    if (!entry->cancelled)
        updateAfterRequest(entry->failed);
    // The caller's callback guards itself: after the notification above the
    // caller may be gone.
    const auto done = std::move(entry->whenDone);
    const bool ok = !entry->failed;
    const QByteArray reply = entry->replyBytes;
    delete entry;
    done(ok, reply);
}

void QHttpManagerPrivate::dispatch()
{
    if (!busy && !queue.isEmpty()) {
        PendingRequest *entry = queue.first();
        if (entry->bodyAtSend && !entry->bodyAtSend(entry->body)) {
            // Withdrawn by its caller: it ends unsent, and the next one goes.
            queue.removeFirst();
            entry->failed = entry->cancelled = entry->done = true;
            QPointer<QHttpManager> guard(q_ptr);
            settleLater(entry);
            if (guard)
                dispatch();
            return;
        }
        QNetworkRequest networkRequest(entry->url);
        networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        networkRequest.setPeerVerifyName(connectionPool);
        QNetworkReply *reply = entry->isPost == 1 ? network->post(networkRequest, entry->body)
                                                  : network->get(networkRequest);
        currentReply = reply;
        busy = true;
        requestClock.start();
        QObject::connect(reply, &QNetworkReply::readyRead, q_ptr, [entry, reply]() {
            entry->reply->append(reply->readAll());
        }, Qt::DirectConnection);
        QObject::connect(reply, &QNetworkReply::finished, q_ptr, [this, entry, reply]() {
            finish(entry, reply);
        }, Qt::DirectConnection);
    } else if (busy && requestClock.isValid() && requestClock.elapsed() > VarloTimings::ms(VarloTimings::RequestAbort)) {
        // Aborting finishes the reply, which runs finish() for its entry; the
        // next request opens a fresh connection.
        connectionPool = freshPoolName();
        if (currentReply)
            currentReply->abort();
    }
}

void QHttpManagerPrivate::finish(PendingRequest *entry, QNetworkReply *reply)
{
    QObject::disconnect(reply, nullptr, q_ptr, nullptr);
    if (reply->isOpen())
        entry->reply->append(reply->readAll());
    if (requestClock.elapsed() <= VarloTimings::ms(VarloTimings::RequestAbort))
        entry->failed = reply->error() != QNetworkReply::NoError;
    else
        entry->failed = true;
    entry->done = true;
    entry->loop.quit();

    queue.removeOne(entry);
    busy = false;
    currentReply = nullptr;
    reply->deleteLater();
    if (entry->whenDone)
        settleLater(entry);
}

void QHttpManagerPrivate::cancelAll()
{
    if (currentReply) {
        QNetworkReply *reply = currentReply;
        QObject::disconnect(reply, nullptr, q_ptr, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    currentReply = nullptr;
    busy = false;
    const QList<PendingRequest *> waiting = queue;
    queue.clear();
    for (PendingRequest *entry : waiting) {
        entry->failed = true;
        entry->cancelled = true;
        entry->done = true;
        entry->loop.quit();
    }
    for (PendingRequest *entry : waiting) {
        if (entry->whenDone)
            settleLater(entry);
    }
}

void QHttpManagerPrivate::updateAfterRequest(bool failed)
{
    if (!failed) {
        connectionClock.start();
        serverReachable = true;
        report(filesReachable);
        return;
    }
    if (connectionClock.elapsed() > VarloTimings::ms(VarloTimings::ControllerLoss)) {
        connectionClock.start();
        serverReachable = false;
        if (reportedConnected)
            report(false);
    }
}

void QHttpManagerPrivate::report(bool state)
{
    Q_Q(QHttpManager);
    if (state == reportedConnected)
        return;
    reportedConnected = state;
    Q_EMIT q->connectStateChanged(state);
}

void QHttpManagerPrivate::probeFiles()
{
    Q_Q(QHttpManager);
    const QString axisFile = q->fallbackFilePath(QStringLiteral("/properties/axis"));
    filesReachable = !axisFile.isEmpty() && QFileInfo::exists(axisFile);
    report(serverReachable && filesReachable);
}

QHttpManager::QHttpManager(QObject *parent)
    : QObject(parent), d(new QHttpManagerPrivate(this))
{
    d->dispatchTimer.setSingleShot(true);
    connect(&d->dispatchTimer, &QTimer::timeout, this, &QHttpManager::onTimer);
    d->dispatchTimer.start(VarloTimings::ms(VarloTimings::DispatchTick));
    d->connectionClock.start();
}

QHttpManager::~QHttpManager() = default;

void QHttpManager::onTimer()
{
    d->dispatch();
    if (d->dispatching)
        d->dispatchTimer.start(VarloTimings::ms(VarloTimings::DispatchTick));
}

bool QHttpManager::getJson(const QString &path, QJsonObject &reply, quint16 port)
{
    QByteArray bytes;
    const bool ok = d->request(0, path, QByteArray(), &bytes, port);
    reply = QRobotJson::parse(bytes).object();
    return ok;
}

bool QHttpManager::postJson(const QString &path, const QJsonObject &body, QJsonObject &reply, quint16 port)
{
    QByteArray bytes;
    const bool ok = d->request(1, path, QJsonDocument(body).toJson(), &bytes, port);
    reply = QRobotJson::parse(bytes).object();
    return ok;
}

void QHttpManager::getJsonLater(const QString &path, std::function<void(bool, const QJsonObject &)> done, quint16 port)
{
    d->requestLater(0, path, nullptr, port, [done](bool ok, const QByteArray &bytes) {
        done(ok, QRobotJson::parse(bytes).object());
    });
}

void QHttpManager::postJsonLater(const QString &path, std::function<bool(QJsonObject &)> body,
                                 std::function<void(bool, const QJsonObject &)> done, quint16 port)
{
    auto bytes = [body](QByteArray &out) {
        QJsonObject object;
        if (!body(object))
            return false;
        // Compact: the periodic exchange is the library's most frequent body.
        out = QJsonDocument(object).toJson(QJsonDocument::Compact);
        return true;
    };
    d->requestLater(1, path, bytes, port, [done](bool ok, const QByteArray &bytes) {
        done(ok, QRobotJson::parse(bytes).object());
    });
}

bool QHttpManager::postData(const QString &path, const QByteArray &body, QByteArray &reply, quint16 port)
{
    QByteArray bytes;
    const bool ok = d->request(1, path, body, &bytes, port);
    reply = bytes;
    return ok;
}

bool QHttpManager::getPara(QByteArray &reply, const QString &name)
{
    return readPara(reply, name) == ParaRead::Read;
}

QHttpManager::ParaRead QHttpManager::readPara(QByteArray &reply, const QString &name)
{
    if (!ControllerPaths::isSafeDocumentName(name)) {
        qDebug() << GetParaSignature << name << "invalid document name";
        return ParaRead::Failed;
    }

    QByteArray bytes;
    bool reportedMissing = false;
    if (d->request(0, QStringLiteral("/file/read%1.json").arg(name), QByteArray(), &bytes, FilePort)) {
        QJsonDocument document;
        const ServiceReply answer = readServiceReply(bytes, &document);
        if (answer == ServiceReply::Document) {
            reply = document.toJson();
            d->filesReachable = true;
            d->report(d->serverReachable);
            return ParaRead::Read;
        }
        reportedMissing = answer == ServiceReply::NoDocument;
        waitMs(20);
    }

    const QString path = fallbackFilePath(name);
    QFile file(path);
    if (!path.isEmpty() && file.exists()) {
        if (file.open(QIODevice::ReadOnly)) {
            reply = file.readAll();
            file.close();
            d->filesReachable = true;
            d->report(d->serverReachable);
            return ParaRead::Read;
        }
        reportedMissing = false;
    } else {
        qDebug() << GetParaSignature << path << " is not exist!";
    }
    d->probeFiles();
    return reportedMissing ? ParaRead::Missing : ParaRead::Failed;
}

bool QHttpManager::setPara(const QByteArray &data, const QString &name, const QString &notifyPath,
                           const QByteArray &notifyBody)
{
    if (!ControllerPaths::isSafeDocumentName(name)) {
        qDebug() << SetParaSignature << name << "invalid document name";
        return false;
    }
    // Only a JSON document is written: anything else would replace the
    // controller's document with garbage or with an empty one.
    const QJsonDocument document = QRobotJson::parse(data);
    if (document.isNull()) {
        qDebug() << SetParaSignature << name << "jsonError";
        return false;
    }

    const auto notify = [&]() {
        QByteArray ignored;
        postData(notifyPath.isEmpty() ? name : notifyPath, notifyBody, ignored, ApiPort);
        QJsonObject ignoredObject;
        postJson(QStringLiteral("/interface/updateFile"), QJsonObject(), ignoredObject, ApiPort);
        d->filesReachable = true;
        d->report(d->serverReachable);
    };

    QByteArray ignored;
    if (d->request(1, QStringLiteral("/file/write%1.json").arg(name), document.toJson(), &ignored, FilePort)) {
        notify();
        return true;
    }

    const QString path = fallbackFilePath(name);
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (!info.dir().exists())
            QDir().mkdir(info.absolutePath());
        // Written to a temporary file and renamed, so an interrupted write never
        // leaves half a document behind.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit()) {
            notify();
            return true;
        }
    }
    d->probeFiles();
    return false;
}

void QHttpManager::setDispatching(bool on)
{
    d->dispatching = on;
    if (on) {
        d->dispatchTimer.start(VarloTimings::ms(VarloTimings::DispatchTick));
    } else {
        d->dispatchTimer.stop();
        d->cancelAll();
    }
}

bool QHttpManager::isDispatching() const
{
    return d->dispatching;
}

void QHttpManager::clearServerReachable()
{
    d->serverReachable = false;
    // The host was told "disconnected" by whoever cleared the flag: a later
    // failure must not tell it a second time.
    d->reportedConnected = false;
}

void QHttpManager::resetReachability()
{
    d->serverReachable = false;
    d->filesReachable = false;
    d->reportedConnected = false;
    d->connectionClock.start();
}

bool QHttpManager::isServerReachable() const { return d->serverReachable; }
bool QHttpManager::isFilesReachable() const { return d->filesReachable; }
bool QHttpManager::isReportedConnected() const { return d->reportedConnected; }

void QHttpManager::setHost(const QString &host) { d->host = host; }
QString QHttpManager::host() const { return d->host; }
void QHttpManager::setPort(quint16 port) { d->port = port; }
quint16 QHttpManager::port() const { return d->port; }
void QHttpManager::setSimulatorRoot(const QString &root) { d->simulatorRoot = root; }
QString QHttpManager::simulatorRoot() const { return d->simulatorRoot; }
void QHttpManager::setControllerVersion(const QString &version) { d->controllerVersion = version; }
QString QHttpManager::controllerVersion() const { return d->controllerVersion; }

QString QHttpManager::fallbackFilePath(const QString &name) const
{
    if (d->host != QLatin1String("127.0.0.1")) {
        if (!ControllerPaths::isSafeHost(d->host))
            return QString();
        return QStringLiteral("%1%2.json").arg(ControllerPaths::shareProjectRoot(d->host), name);
    }
    // Without a simulator there is no local project folder: never fall back to
    // a folder at the file system's root.
    if (d->simulatorRoot.isEmpty())
        return QString();
    return QStringLiteral("%1%2.json").arg(ControllerPaths::simulatorProjectRoot(d->simulatorRoot), name);
}

void QHttpManager::waitMs(uint ms)
{
    // A local loop with a precise timer: events keep flowing, the CPU is not
    // spun, and the interval is measured on a monotonic clock.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(int(qMin<uint>(ms, uint(std::numeric_limits<int>::max()))));
    loop.exec();
}
