// Checks the controller double itself, with Qt's HTTP client as the library
// under test uses it (keep-alive, Content-Type application/json, POST bodies).

#include "fakecontroller.h"
#include "logcapture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using namespace VarloTest;

namespace {

const QString Address = QStringLiteral("127.0.0.6");

struct Result
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    int readyReads = 0;
    qint64 elapsedMs = 0;
};

} // namespace

class tst_ControllerDouble : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keepsConnectionsAlive();
    void answersScriptedShapes_data();
    void answersScriptedShapes();
    void deliversPiecesWhole();
    void delaysAndStaysSilent();
    void dropsConnection();
    void queuesScriptedSequences();
    void storesDocuments();
    void handlesPipelinedAndPartialInput();
    void closesAndRestarts();
    void reportsTakenPort();
    void capturesLogLines();

private:
    Result send(const QByteArray &verb, const QString &url, const QByteArray &body = QByteArray(), int abortAfterMs = 0);
    Result get(const QString &path, int abortAfterMs = 0) { return send("GET", ctl->url(path), QByteArray(), abortAfterMs); }
    Result post(const QString &path, const QByteArray &body) { return send("POST", ctl->url(path), body); }

    FakeController *ctl = nullptr;
    QNetworkAccessManager *nam = nullptr;
};

Result tst_ControllerDouble::send(const QByteArray &verb, const QString &url, const QByteArray &body, int abortAfterMs)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QElapsedTimer clock;
    clock.start();
    QNetworkReply *reply = verb == "POST" ? nam->post(request, body) : nam->get(request);
    Result result;
    QEventLoop loop;
    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        ++result.readyReads;
        result.body += reply->readAll();
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (abortAfterMs > 0)
        QTimer::singleShot(abortAfterMs, reply, &QNetworkReply::abort);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    if (reply->isOpen())
        result.body += reply->readAll();
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.elapsedMs = clock.elapsed();
    reply->deleteLater();
    return result;
}

void tst_ControllerDouble::init()
{
    ctl = new FakeController(Address);
    QVERIFY2(ctl->listen(), qPrintable(ctl->errorString()));
    nam = new QNetworkAccessManager;
    nam->setProxy(QNetworkProxy::NoProxy);
}

void tst_ControllerDouble::cleanup()
{
    delete nam;
    nam = nullptr;
    delete ctl;
    ctl = nullptr;
}

void tst_ControllerDouble::keepsConnectionsAlive()
{
    ctl->on("GET", "/connection/state").reply(QJsonObject{});
    ctl->on("POST", "/settings/version").reply(QJsonObject{{"control", "V1"}});
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(get("/connection/state").status, 200);
        const Result r = post("/settings/version", QJsonDocument(QJsonObject{}).toJson());
        QCOMPARE(r.status, 200);
        QCOMPARE(QJsonDocument::fromJson(r.body).object().value("control").toString(), QString("V1"));
    }
    QCOMPARE(ctl->count(), 6);
    QCOMPARE(ctl->connectionCount(), 1);
    const Request last = ctl->lastRequest("POST", "/settings/version");
    QCOMPARE(last.port, FakeController::ApiPort);
    QCOMPARE(last.header("content-type"), QByteArray("application/json"));
    QVERIFY(last.isJson());
    QVERIFY(last.timeMs >= ctl->requests().first().timeMs);
}

void tst_ControllerDouble::answersScriptedShapes_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("object") << Reply::json(QJsonObject{{"axis", 6}}) << 200 << QByteArray("{\"axis\":6}");
    QTest::newRow("array") << Reply::json(QJsonArray{1, 2}) << 200 << QByteArray("[1,2]");
    QTest::newRow("raw") << Reply::raw("not json") << 200 << QByteArray("not json");
    QTest::newRow("empty") << Reply::empty() << 200 << QByteArray();
    QTest::newRow("status") << Reply::withStatus(500, "{}") << 500 << QByteArray("{}");
}

void tst_ControllerDouble::answersScriptedShapes()
{
    QFETCH(Reply, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    ctl->on("GET", "/x").reply(reply);
    const Result r = get("/x");
    QCOMPARE(r.status, status);
    QCOMPARE(r.body, body);

    // Unscripted paths, and file paths on the API port, are not found.
    const Result missing = get("/nothing/here");
    QCOMPARE(missing.status, 404);
    QCOMPARE(missing.error, QNetworkReply::ContentNotFoundError);
    QVERIFY(missing.body.isEmpty());
    QCOMPARE(send("GET", ctl->url("/file/read/properties/axis.json", FakeController::ApiPort)).status, 404);
}

void tst_ControllerDouble::deliversPiecesWhole()
{
    QJsonObject big;
    for (int i = 0; i < 200; ++i)
        big.insert(QString("key%1").arg(i), i);
    const QByteArray text = QJsonDocument(big).toJson(QJsonDocument::Compact);
    ctl->on("POST", "/protocol/exchange").reply(big).chunked(4, 60);
    const Result r = post("/protocol/exchange", "{}");
    QCOMPARE(r.error, QNetworkReply::NoError);
    QCOMPARE(r.body, text);
    QVERIFY2(r.readyReads >= 2, "the pieces should arrive separately");
    QVERIFY(r.elapsedMs >= 150);
}

void tst_ControllerDouble::delaysAndStaysSilent()
{
    ctl->on("GET", "/slow").delay(300).reply(QJsonObject{{"late", true}});
    const Result slow = get("/slow");
    QCOMPARE(slow.status, 200);
    QVERIFY(slow.elapsedMs >= 290);
    QCOMPARE(slow.body, QByteArray("{\"late\":true}"));

    ctl->on("GET", "/silent").never();
    const Result silent = get("/silent", 300);
    QCOMPARE(silent.error, QNetworkReply::OperationCanceledError);
    QCOMPARE(ctl->count("GET", "/silent"), 1);

    // Other connections are still served while one waits forever.
    QCOMPARE(get("/slow").status, 200);
}

void tst_ControllerDouble::dropsConnection()
{
    ctl->on("GET", "/drop").closeConnection();
    const Result r = get("/drop");
    QCOMPARE(r.error, QNetworkReply::RemoteHostClosedError);
    // Qt's client sends a request once more on a fresh connection when its
    // connection closes before any answer (Qt 5.15: twice in all).
    QVERIFY(ctl->count("GET", "/drop") >= 1 && ctl->count("GET", "/drop") <= 3);
    ctl->on("GET", "/drop").reply(QJsonObject{});
    QCOMPARE(get("/drop").status, 200);
}

void tst_ControllerDouble::queuesScriptedSequences()
{
    ctl->on("GET", "/seq").reply(QJsonObject{{"n", 0}});
    ctl->on("GET", "/seq").reply(QJsonObject{{"n", 1}}).once();
    Script two = ctl->on("GET", "/seq").status(503).times(2);
    ctl->on("GET", "/seq").handle([](const Request &r) {
        return Reply::json(QJsonObject{{"serial", r.serial}});
    }).once();

    QList<int> statuses;
    QList<QByteArray> bodies;
    for (int i = 0; i < 6; ++i) {
        const Result r = get("/seq");
        statuses << r.status;
        bodies << r.body;
    }
    QCOMPARE(statuses, (QList<int>{200, 503, 503, 200, 200, 200}));
    QCOMPARE(bodies.at(0), QByteArray("{\"n\":1}"));
    QCOMPARE(bodies.at(3), QByteArray("{\"serial\":4}"));
    QCOMPARE(bodies.at(5), QByteArray("{\"n\":0}"));
    QCOMPARE(two.used(), 2);
    QCOMPARE(two.remaining(), 0);
}

void tst_ControllerDouble::storesDocuments()
{
    const QJsonArray points{QJsonObject{{"name", "P1"}}, QJsonObject{{"name", "P2"}}};
    const QByteArray sent = QJsonDocument(points).toJson();
    QCOMPARE(post("/file/write/project/points.json", sent).status, 200);
    QVERIFY(ctl->hasDocument("/project/points"));
    QCOMPARE(ctl->documentBytes("/project/points"), sent);
    QCOMPARE(ctl->document("/project/points").array(), points);
    QCOMPARE(get("/file/read/project/points.json").body, sent);
    QCOMPARE(ctl->lastRequest("POST", "/file/write/*").port, FakeController::FilePort);

    ctl->setDocument("/properties/axis", QJsonObject{{"axis", 4}});
    QCOMPARE(QJsonDocument::fromJson(get("/file/read/properties/axis.json").body).object().value("axis").toInt(), 4);
    ctl->removeDocument("/properties/axis");
    QCOMPARE(get("/file/read/properties/axis.json").body, QByteArray("{}"));

    // A failing write leaves the store alone; a slow read still serves the document.
    ctl->onWrite("/settings/common").status(500);
    QCOMPARE(post("/file/write/settings/common.json", "{\"a\":1}").status, 500);
    QVERIFY(!ctl->hasDocument("/settings/common"));
    ctl->onRead("/project/points").delay(100);
    QCOMPARE(get("/file/read/project/points.json").body, sent);
}

void tst_ControllerDouble::handlesPipelinedAndPartialInput()
{
    ctl->on("GET", "/a").reply(QJsonObject{{"r", "a"}}).delay(100);
    ctl->on("POST", "/b").handle([](const Request &r) { return Reply::raw(r.body); });

    QTcpSocket socket;
    socket.connectToHost(Address, FakeController::ApiPort);
    QVERIFY(socket.waitForConnected(2000));
    socket.write("GET /a HTTP/1.1\r\nHost: x\r\n\r\nPOST /b HTTP/1.1\r\nContent-Le");
    socket.flush();
    QTest::qWait(50);
    socket.write("ngth: 5\r\n\r\nhel");
    socket.flush();
    QTest::qWait(50);
    socket.write("lo");
    QByteArray in;
    QTRY_VERIFY_WITH_TIMEOUT((in += socket.readAll()).endsWith("hello"), 3000);
    // The slow first answer still comes first.
    QVERIFY(in.indexOf("{\"r\":\"a\"}") < in.indexOf("hello"));
    QCOMPARE(in.count("HTTP/1.1 200 OK"), 2);
    QCOMPARE(ctl->lastRequest("POST", "/b").body, QByteArray("hello"));
}

void tst_ControllerDouble::closesAndRestarts()
{
    ctl->playRobot(6);
    ctl->on("GET", "/hang").never();
    const Result hanging = get("/hang", 200);
    QCOMPARE(hanging.error, QNetworkReply::OperationCanceledError);
    QCOMPARE(get("/connection/state").status, 200);
    QVERIFY(ctl->openConnections() >= 1);

    ctl->close();
    QVERIFY(!ctl->isListening());
    QCOMPARE(ctl->openConnections(), 0);
    QVERIFY(get("/connection/state").error != QNetworkReply::NoError);

    QVERIFY(ctl->listen());
    QCOMPARE(get("/connection/state").status, 200);
    QCOMPARE(QJsonDocument::fromJson(get("/file/read/properties/axis.json").body).object().value("axis").toInt(), 6);
}

void tst_ControllerDouble::reportsTakenPort()
{
    FakeController second(Address);
    QVERIFY(!second.listen());
    QVERIFY(second.errorString().contains("22000"));
    QVERIFY(!second.isListening());

    // waitForRequest spins the event loop until the request shows up, or gives up.
    ctl->on("GET", "/later").reply(QJsonObject{});
    QTimer::singleShot(50, this, [this] { get("/later"); });
    QVERIFY(ctl->waitForNextRequest("GET", "/later", 2000));
    QVERIFY(!ctl->waitForNextRequest("GET", "/later", 100));
    QVERIFY(ctl->waitForRequest("GET", "/later", 0));
}

void tst_ControllerDouble::capturesLogLines()
{
    LogCapture log(LogCapture::Quiet);
    qDebug() << "bool QHttpManager::getPara(QByteArray&, const QString&)" << QString("//x/project/a.json")
             << " is not exist!";
    {
        LogCapture inner(LogCapture::Quiet);
        qDebug() << "inner";
        QCOMPARE(inner.lines(), QStringList{"inner"});
    }
    qDebug() << "after";
    QCOMPARE(log.lines().size(), 2);
    QCOMPARE(log.entries().first().category, QString("default"));
    QVERIFY(log.hasLine("bool QHttpManager::getPara(QByteArray&, const QString&) \"//x/project/a.json\"  is not exist!"));
    QCOMPARE(log.count("after"), 1);
    QVERIFY(!log.contains("inner"));
}

QTEST_GUILESS_MAIN(tst_ControllerDouble)
#include "tst_controllerdouble.moc"
