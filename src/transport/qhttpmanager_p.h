#ifndef QHTTPMANAGER_P_H
#define QHTTPMANAGER_P_H

#include "Varlo/qhttpmanager.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QList>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtCore/QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// One request of one caller. It lives on the caller's stack while the caller
// waits in `loop`; the queue holds only a pointer and drops it before the
// loop returns. A request nobody waits for (`whenDone` set) lives on the heap
// until it ended and `whenDone` ran.
struct PendingRequest
{
    std::function<void(bool ok, const QByteArray &reply)> whenDone;
    std::function<bool(QByteArray &body)> bodyAtSend; // made when it goes on the wire; false: withdrawn
    QByteArray replyBytes;
    int isPost = 0;
    QEventLoop loop;
    QUrl url;
    QByteArray body;
    QByteArray *reply = nullptr;
    bool failed = false;
    bool done = false;
    bool cancelled = false; // ended because dispatching stopped, not by the controller
};

class QHttpManagerPrivate
{
    Q_DECLARE_PUBLIC(QHttpManager)
public:
    explicit QHttpManagerPrivate(QHttpManager *q);
    ~QHttpManagerPrivate();

    // Queues one request and waits for its end; updates the connection state.
    bool request(int isPost, const QString &path, const QByteArray &body, QByteArray *reply, quint16 port);
    // Queues one request without waiting; `done` runs at its end.
    void requestLater(int isPost, const QString &path, std::function<bool(QByteArray &body)> body, quint16 port,
                      std::function<void(bool ok, const QByteArray &reply)> done);
    // The end of a request nobody waits for.
    void settleLater(PendingRequest *entry);
    void dispatch();
    void finish(PendingRequest *entry, QNetworkReply *reply);
    void cancelAll();
    void updateAfterRequest(bool failed);
    void report(bool state);
    void probeFiles();
    QUrl urlFor(const QString &path, quint16 port) const;

    QHttpManager *q_ptr;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = QHttpManager::ApiPort;
    QString controllerVersion;
    QString simulatorRoot;
    QTimer dispatchTimer;
    QNetworkAccessManager *network = nullptr; // this thread's, shared with its other transports
    QString connectionPool;                   // names this transport's connections in it
    QList<PendingRequest *> queue;
    bool busy = false;
    bool dispatching = true;
    QPointer<QNetworkReply> currentReply;
    QElapsedTimer requestClock;
    QElapsedTimer connectionClock;
    bool serverReachable = false;
    bool filesReachable = false;
    bool reportedConnected = false;
};

#endif // QHTTPMANAGER_P_H
