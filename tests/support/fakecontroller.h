#ifndef VARLOTEST_FAKECONTROLLER_H
#define VARLOTEST_FAKECONTROLLER_H

// FakeController: a scriptable stand-in for the robot controller, served from
// the test's own event loop.
//
//     VarloTest::FakeController ctl("127.0.0.2");
//     QVERIFY2(ctl.listen(), qPrintable(ctl.errorString()));
//     ctl.playRobot(6);                                   // a healthy 6-axis controller
//     ctl.on("POST", "/interface/go").reply(QJsonObject{{"value", true}});
//     ctl.on("GET", "/interface/go").reply(QJsonObject{{"value", false}}).times(3);
//     ctl.on("GET", "/connection/state").never();         // stops answering from now on
//     ...
//     QVERIFY(ctl.waitForRequest("POST", "/protocol/exchange", 2000));
//     QCOMPARE(ctl.lastRequest("POST", "/interface/go").json().value("mode").toString(), QString("go"));
//
// One HTTP/1.1 server on two ports of one address: the API (22000) and the
// file service (22001). Connections are kept alive, requests may arrive in
// pieces or pipelined, bodies are framed by Content-Length. Answers on one
// connection go out in request order.
//
// Scripts. on(method, path[, port]) adds a script for a route and returns a
// builder. The port defaults to where the path lives: "/file/read/..." and
// "/file/write/..." on the file port, everything else on the API port. A path
// ending in '*' matches every path with that prefix; method "*" matches any.
// When a request arrives, the scripts that match it are looked at in the order
// they were added: the first one with uses left from once()/times(n) answers
// it (and uses one up); when none has, the script added last without a limit
// answers. So a later unlimited script replaces an earlier one, and limited
// scripts overlay the unlimited one until they are used up:
//
//     ctl.on("GET", "/x").reply(A);               // A, A, A ...
//     ctl.on("GET", "/x").status(500).times(2);   // now 500, 500, then A again
//     ctl.on("GET", "/x").reply(B);               // B from now on
//
// A script that sets no body answers with the route's usual body: the stored
// document on "/file/read/...", {} elsewhere (so delay()/chunked() on a file
// read still serve the document). Requests that no script matches get the
// route's usual answer: the document store on the file service, and for every
// other path 404 with an empty body (see setUnscriptedReply()).
//
// Document store. GET /file/read/NAME.json on the file port answers the stored
// text of NAME (e.g. "/properties/axis"), or {} when there is none. POST
// /file/write/NAME.json stores the body as sent and answers {}. A write is
// stored only when its answer is a 2xx answer that is actually sent (a
// scripted failure, never() or closeConnection() leaves the store alone).
//
// Qt's client and dropped connections. When a connection closes before any
// byte of the answer, QNetworkAccessManager sends the same request once more
// on a fresh connection (GET and POST alike) and reports
// RemoteHostClosedError only when that fails too. So closeConnection() is
// seen twice per client request, a delay() before it counts twice, and
// closeConnection().once() fails nothing: the retry takes the next script.
// Use times(2) for one failed client request.
//
// Recording. Every request is recorded (method, path, port, body, headers,
// time, connection) before it is answered; requestReceived() is emitted once
// it has been answered or scheduled. Filters take a method and a path (empty
// or "*" for any, '*' suffix for a prefix) and optionally a port (0 = any).

#include "httpexchange.h"

#include <QObject>
#include <QScopedPointer>
#include <QStringList>

#include <functional>
#include <memory>

namespace VarloTest {

class FakeController;
class FakeControllerPrivate;
struct ScriptData;

// Builder for one script, returned by FakeController::on(). Modifiers are
// chainable and may be changed later through a kept copy.
class Script
{
public:
    using Handler = std::function<Reply(const Request &)>;

    // The answer body (status stays as set, 200 by default).
    Script &reply(const QJsonObject &object);
    Script &reply(std::initializer_list<QPair<QString, QJsonValue>> object) { return reply(QJsonObject(object)); }
    Script &reply(const QJsonArray &array);
    Script &reply(const Reply &reply);          // the whole answer, delivery included
    Script &replyRaw(const QByteArray &body);   // content type stays application/json
    Script &replyEmpty();                       // 200 with no body at all

    Script &status(int code);
    Script &header(const QByteArray &name, const QByteArray &value);
    Script &delay(int ms);                      // answer ms after the request arrived
    Script &never();                            // read the request, never answer it
    Script &closeConnection();                  // drop the socket instead of answering
    Script &chunked(int pieces, int gapMs = 30);// body in pieces with gaps between them

    // Dynamic answer: called for each request this script takes; its Reply is
    // used as it is (the modifiers above do not apply).
    Script &handle(Handler handler);

    Script &once() { return times(1); }
    Script &times(int n);                       // answer n requests, then step aside
    Script &always();                           // no limit (the default)

    int used() const;                           // requests this script has answered
    int remaining() const;                      // uses left, -1 when unlimited
    void remove();                              // stop answering altogether

private:
    friend class FakeController;
    explicit Script(std::shared_ptr<ScriptData> d) : d(std::move(d)) {}
    std::shared_ptr<ScriptData> d;
};

class FakeController : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 ApiPort = 22000;
    static constexpr quint16 FilePort = 22001;

    explicit FakeController(const QString &address, QObject *parent = nullptr);
    FakeController(const QString &address, quint16 apiPort, quint16 filePort, QObject *parent = nullptr);
    ~FakeController() override;

    QString address() const;
    quint16 apiPort() const;
    quint16 filePort() const;
    // "http://ADDRESS:PORT/path" for clients of the double; port 0 = the path's usual port.
    QString url(const QString &path, quint16 port = 0) const;

    // Starts serving both ports; false (see errorString()) when either cannot be bound.
    bool listen();
    bool isListening() const;
    QString errorString() const;
    // Stops listening and drops every connection, answered or not: the
    // controller went away. Scripts, documents and records stay; listen() again restarts.
    void close();

    // --- scripts
    Script on(const QString &method, const QString &path, quint16 port = 0);
    Script onRead(const QString &documentName);   // GET  /file/read/NAME.json
    Script onWrite(const QString &documentName);  // POST /file/write/NAME.json
    void clearScripts();                          // back to unscripted behaviour
    void clearScripts(const QString &method, const QString &path, quint16 port = 0);
    // Answer for requests that neither a script nor the document store takes (default: 404, empty).
    void setUnscriptedReply(const Reply &reply);

    // A healthy controller: GET /connection/state {}, POST /settings/version
    // {"control": version}, POST /interface/updateFile {}, GET /protocol/exchange
    // {"controlMode": "disable"}, POST /protocol/exchange {}, and the document
    // "/properties/axis" {"axis": axes}.
    void playRobot(int axes = 6, const QString &version = QStringLiteral("V1.2.0-double"));

    // --- document store (names as the library uses them, e.g. "/settings/common")
    void setDocument(const QString &name, const QJsonObject &object);
    void setDocument(const QString &name, std::initializer_list<QPair<QString, QJsonValue>> object)
    { setDocument(name, QJsonObject(object)); }
    void setDocument(const QString &name, const QJsonArray &array);
    void setDocument(const QString &name, const QByteArray &text);
    bool hasDocument(const QString &name) const;
    QByteArray documentBytes(const QString &name) const;     // empty when missing
    QJsonDocument document(const QString &name) const;       // null when missing or not JSON
    QJsonObject documentObject(const QString &name) const;   // empty when missing or not an object
    void removeDocument(const QString &name);
    void clearDocuments();
    QStringList documentNames() const;

    // --- recorded requests
    QList<Request> requests() const;
    QList<Request> requests(const QString &method, const QString &path, quint16 port = 0) const;
    Request lastRequest() const;                 // default Request (serial 0) when none
    Request lastRequest(const QString &method, const QString &path, quint16 port = 0) const;
    int count() const;
    int count(const QString &method, const QString &path, quint16 port = 0) const;
    void clearRequests();

    // Spin the event loop until a matching request has been recorded (any
    // since clearRequests(), including earlier ones) / at least n have been /
    // a new one arrives after the call. False on time-out.
    bool waitForRequest(const QString &method, const QString &path, int timeoutMs = 5000);
    bool waitForRequests(const QString &method, const QString &path, int n, int timeoutMs = 5000);
    bool waitForNextRequest(const QString &method, const QString &path, int timeoutMs = 5000);

    qint64 elapsedMs() const;        // the clock of Request::timeMs
    int connectionCount() const;     // connections accepted since creation
    int openConnections() const;     // connections open now

    static QJsonDocument parseJson(const QByteArray &bytes) { return QJsonDocument::fromJson(bytes); }

Q_SIGNALS:
    void requestReceived(const VarloTest::Request &request);
    void documentWritten(const QString &name);

private:
    Q_DECLARE_PRIVATE(FakeController)
    QScopedPointer<FakeControllerPrivate> d_ptr;
};

} // namespace VarloTest

#endif // VARLOTEST_FAKECONTROLLER_H
