#ifndef VARLOTEST_FAKECONTROLLER_H
#define VARLOTEST_FAKECONTROLLER_H

// FakeController: a scripted stand-in for the robot controller, served from
// the test's own event loop on the controller's two ports of one address (API
// 22000, file service 22001).
//
//     VarloTest::FakeController ctl("127.0.0.2");
//     QVERIFY2(ctl.listen(), qPrintable(ctl.errorString()));
//     ctl.playRobot(6);                                        // a healthy 6-axis controller
//     ctl.on("GET", "/interface/go", {{"value", false}}, 2);   // twice, then the earlier route again
//     ctl.on("POST", "/interface/*", Reply::error(500));
//     ctl.on("POST", "/protocol/exchange", [](const Request &r) { return Reply::json(...); });
//     QVERIFY(ctl.waitFor("POST", "/protocol/exchange", 3));
//
// Routes. A request is answered by the first matching route that has uses
// left from a count; when none has, by the latest matching route without a
// count. A path ending in '*' matches that prefix; the method "*" any method.
// Unmatched requests: the document store on the file service, 404 elsewhere.
//
// Document store. GET /file/read/NAME.json answers the stored text of NAME
// (e.g. "/properties/axis"), or {} when there is none; POST
// /file/write/NAME.json stores the body when its answer is a success.
//
// Qt's client resends a request once when its connection closes before any
// byte of the answer, so Reply::drop() fails a client request only when it
// answers two requests in a row.

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QMetaType>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QElapsedTimer>
#include <QtNetwork/QTcpServer>

#include <functional>
#include <initializer_list>
#include <memory>

class QTcpSocket;

namespace VarloTest {

struct Request
{
    QString method;
    QString path;
    quint16 port = 0;
    QByteArray body;
    qint64 timeMs = -1; // ms since the double was created

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QJsonArray jsonArray() const { return QJsonDocument::fromJson(body).array(); }
};

// The answer to one request and how it is delivered.
struct Reply
{
    Reply(int status = 200, const QByteArray &body = QByteArrayLiteral("{}")) : status(status), body(body) {}
    static Reply json(const QJsonObject &o) { return Reply(200, QJsonDocument(o).toJson(QJsonDocument::Compact)); }
    static Reply json(const QJsonArray &a) { return Reply(200, QJsonDocument(a).toJson(QJsonDocument::Compact)); }
    static Reply raw(const QByteArray &body) { return Reply(200, body); }
    static Reply error(int status = 500) { return Reply(status); }
    static Reply silence() { Reply r; r.silent = true; return r; } // read, never answered
    static Reply drop() { Reply r; r.dropped = true; return r; }    // the socket closed instead
    Reply &after(int ms) { delayMs = ms; return *this; }
    Reply &inPieces(int n) { pieces = n; return *this; }            // 30 ms apart
    bool isSuccess() const { return !silent && !dropped && status >= 200 && status < 300; }

    int status;
    QByteArray body;
    int delayMs = 0;
    int pieces = 1;
    bool silent = false;
    bool dropped = false;
};

using Handler = std::function<Reply(const Request &)>;

struct Route
{
    QString method;
    QString path;
    Handler handler;
    int remaining = -1; // uses left; -1 without a count
    int used = 0;
};

class FakeController : public QObject
{
public:
    explicit FakeController(const QString &address, QObject *parent = nullptr);
    ~FakeController() override;

    bool listen();
    // The controller went away: stops listening and drops every connection.
    void close();
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }

    std::shared_ptr<Route> on(const QString &method, const QString &path, Handler handler, int times = -1);
    std::shared_ptr<Route> on(const QString &method, const QString &path, const Reply &reply, int times = -1);
    std::shared_ptr<Route> on(const QString &method, const QString &path, const QJsonObject &reply, int times = -1)
    { return on(method, path, Reply::json(reply), times); }
    void clearRoutes() { m_routes.clear(); }
    // A healthy controller: connection state, version, updateFile, the
    // exchange (which reports the coordinate it was sent), and the document
    // "/properties/axis".
    void playRobot(int axes = 6);

    void setDocument(const QString &name, const QByteArray &text) { m_documents.insert(name, text); }
    void setDocument(const QString &name, const QJsonObject &o) { setDocument(name, QJsonDocument(o).toJson()); }
    void setDocument(const QString &name, const QJsonArray &a) { setDocument(name, QJsonDocument(a).toJson()); }
    bool hasDocument(const QString &name) const { return m_documents.contains(name); }
    QJsonDocument document(const QString &name) const { return QJsonDocument::fromJson(m_documents.value(name)); }
    void removeDocument(const QString &name) { m_documents.remove(name); }
    void clearDocuments() { m_documents.clear(); }

    QList<Request> requests(const QString &method = QStringLiteral("*"), const QString &path = QStringLiteral("*")) const;
    int count(const QString &method = QStringLiteral("*"), const QString &path = QStringLiteral("*")) const
    { return requests(method, path).size(); }
    Request last(const QString &method, const QString &path) const;
    // "METHOD path:port body" of each request (JSON bodies compact), for comparing a sequence at once.
    QStringList trail(const QString &method = QStringLiteral("*"), const QString &path = QStringLiteral("*")) const;
    void clearRequests() { m_requests.clear(); }
    // Spins the event loop until n matching requests have been recorded.
    bool waitFor(const QString &method, const QString &path, int n = 1, int timeoutMs = 5000);
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    int connectionCount() const { return m_connectionSerial; }

private:
    void accept(QTcpServer *server);
    void readFrom(QTcpSocket *socket);
    Reply answer(const Request &request);
    void send(QPointer<QTcpSocket> socket, const Reply &reply);

    QString m_address;
    QString m_error;
    QTcpServer m_api;
    QTcpServer m_files;
    QList<QPointer<QTcpSocket>> m_sockets;
    QList<std::shared_ptr<Route>> m_routes;
    QMap<QString, QByteArray> m_documents;
    QList<Request> m_requests;
    QElapsedTimer m_clock;
    int m_connectionSerial = 0;
};

// Runs the event loop until `done` holds (looked at every millisecond) or the
// time is up; unlike QTest::qWait() it never sleeps, so requests in flight
// keep moving. spin() runs it for a while.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);
inline void spin(int ms) { waitUntil([] { return false; }, ms); }

inline QJsonArray numbers(std::initializer_list<double> values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

inline QJsonArray many(int count, const QJsonValue &value)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(value);
    return array;
}

inline QJsonArray floats(const float *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(double(values[i]));
    return array;
}

} // namespace VarloTest

Q_DECLARE_METATYPE(VarloTest::Reply)

#endif // VARLOTEST_FAKECONTROLLER_H
