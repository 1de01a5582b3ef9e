// The transport against the controller double: the request queue, time-outs,
// reply handling, the settings documents and their fallbacks.
#include "componenttest.h"
#include "logcapture.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

using VarloTest::Reply;

namespace {
const QString Address = QStringLiteral("127.0.0.2");

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}
} // namespace

class tst_QHttpManager : public QObject, public VarloTest::ComponentTest<QHttpManager>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init() { initComponent(); }
    void cleanup() { cleanupComponent(); }

    void getAndPost();
    void nestedRequestsAreServedInOrder();
    void slowRequestIsAbortedAfterOneSecond();
    void repliesThatAreNotObjects_data();
    void repliesThatAreNotObjects();
    void multiChunkReplyArrivesWhole();
    void httpErrorsFail_data();
    void httpErrorsFail();
    void requestsFailAtOnceWhileDispatchingIsStopped();

    void getParaReadsTheFileService();
    void getParaReadsArrayDocuments();
    void setParaWritesAndNotifies();
    void setParaWritesArrayDocuments();
    void setParaRefusesWhatIsNotADocument_data();
    void setParaRefusesWhatIsNotADocument();
    void reachabilityIsReportedOnceBothAreReachable();

    void getParaFallsBackToTheShare();
    void getParaLogsAMissingFile();
    void setParaFallsBackToTheShare();
    void simulatorRootIsUsedForTheLoopbackAddress();
    void noLocalFallbackWithoutSimulatorRoot();
    void noShareFallbackForAddressesThatAreNotOneFolder_data();
    void noShareFallbackForAddressesThatAreNotOneFolder();

    void waitMsKeepsEventsFlowing();
};

void tst_QHttpManager::getAndPost()
{
    ctl->on("GET", "/connection/state").reply(QJsonObject{{"state", "ok"}});
    ctl->on("POST", "/settings/version").reply(QJsonObject{{"control", "1.0"}});
    ctl->on("POST", "/raw").replyRaw("raw bytes");

    QJsonObject reply{{"stale", true}};
    QVERIFY(http->getJson("/connection/state", reply));
    QCOMPARE(reply, (QJsonObject{{"state", "ok"}}));

    QVERIFY(http->postJson("/settings/version", QJsonObject{{"ask", 1}}, reply));
    QCOMPARE(reply.value("control").toString(), QString("1.0"));
    const auto post = ctl->lastRequest("POST", "/settings/version");
    QCOMPARE(post.port, quint16(22000));
    QCOMPARE(post.json(), (QJsonObject{{"ask", 1}}));
    QCOMPARE(post.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(ctl->lastRequest("GET", "/connection/state").header("Content-Type"), QByteArray("application/json"));

    QByteArray raw;
    QVERIFY(http->postData("/raw", "payload", raw));
    QCOMPARE(raw, QByteArray("raw bytes"));
    QCOMPARE(ctl->lastRequest("POST", "/raw").body, QByteArray("payload"));
}

void tst_QHttpManager::nestedRequestsAreServedInOrder()
{
    ctl->on("GET", "/outer").reply(Reply::json(QJsonObject{{"who", "outer"}}).delay(300));
    ctl->on("GET", "/inner").reply(QJsonObject{{"who", "inner"}});

    // A timer's request issued while the first caller waits: it queues behind.
    QJsonObject innerReply;
    bool innerOk = false;
    QTimer::singleShot(60, http, [&]() { innerOk = http->getJson("/inner", innerReply); });

    QJsonObject outerReply;
    QVERIFY(http->getJson("/outer", outerReply));
    QTRY_VERIFY(innerOk);

    QCOMPARE(outerReply.value("who").toString(), QString("outer"));
    QCOMPARE(innerReply.value("who").toString(), QString("inner"));
    const auto all = ctl->requests();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.at(0).path, QString("/outer"));
    QCOMPARE(all.at(1).path, QString("/inner"));
    // One request on the wire at a time: the inner one went out after the outer answer.
    QVERIFY(all.at(1).timeMs >= all.at(0).timeMs + 300);
}

void tst_QHttpManager::slowRequestIsAbortedAfterOneSecond()
{
    ctl->on("GET", "/slow").never();
    ctl->on("GET", "/fast").reply(QJsonObject{{"ok", true}});

    QElapsedTimer clock;
    clock.start();
    QJsonObject reply{{"stale", true}};
    QVERIFY(!http->getJson("/slow", reply));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed > 1000 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    QVERIFY(reply.isEmpty());

    // The access cache was cleared: the next request opens a fresh connection.
    const int connectionsBefore = ctl->connectionCount();
    QVERIFY(http->getJson("/fast", reply));
    QVERIFY(ctl->connectionCount() > connectionsBefore);
}

void tst_QHttpManager::repliesThatAreNotObjects_data()
{
    QTest::addColumn<Reply>("answer");
    QTest::newRow("text") << Reply::raw("this is not json");
    QTest::newRow("empty body") << Reply::empty();
    QTest::newRow("array") << Reply::json(QJsonArray{1, 2, 3});
    QTest::newRow("truncated json") << Reply::raw("{\"value\": tr");
    QTest::newRow("number") << Reply::raw("42");
}

void tst_QHttpManager::repliesThatAreNotObjects()
{
    QFETCH(Reply, answer);
    ctl->on("GET", "/odd").reply(answer);
    QJsonObject reply{{"stale", true}};
    QVERIFY(http->getJson("/odd", reply));
    QVERIFY(reply.isEmpty());
}

void tst_QHttpManager::multiChunkReplyArrivesWhole()
{
    QJsonObject big;
    for (int i = 0; i < 200; ++i)
        big.insert(QStringLiteral("key%1").arg(i), QStringLiteral("value number %1").arg(i));
    ctl->on("GET", "/big").reply(Reply::json(big).chunked(6, 40));
    QJsonObject reply;
    QVERIFY(http->getJson("/big", reply));
    QCOMPARE(reply, big);
}

void tst_QHttpManager::httpErrorsFail_data()
{
    QTest::addColumn<Reply>("answer");
    QTest::newRow("404") << Reply::notFound();
    QTest::newRow("500") << Reply::withStatus(500, "{}");
    QTest::newRow("connection dropped") << Reply::dropConnection();
}

void tst_QHttpManager::httpErrorsFail()
{
    QFETCH(Reply, answer);
    ctl->on("GET", "/broken").reply(answer);
    QJsonObject reply;
    QVERIFY(!http->getJson("/broken", reply));
}

void tst_QHttpManager::requestsFailAtOnceWhileDispatchingIsStopped()
{
    ctl->on("GET", "/connection/state").reply(QJsonObject());
    http->setDispatching(false);
    QElapsedTimer clock;
    clock.start();
    QJsonObject reply;
    QVERIFY(!http->getJson("/connection/state", reply));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(ctl->count(), 0);

    http->setDispatching(true);
    QVERIFY(http->getJson("/connection/state", reply));
}

void tst_QHttpManager::getParaReadsTheFileService()
{
    ctl->setDocument("/settings/common", QJsonObject{{"ratio", 50}});
    QByteArray bytes;
    QVERIFY(http->getPara(bytes, "/settings/common"));
    QCOMPARE(QJsonDocument::fromJson(bytes).object(), (QJsonObject{{"ratio", 50}}));
    const auto read = ctl->lastRequest("GET", "/file/read/settings/common.json");
    QCOMPARE(read.port, quint16(22001));
}

void tst_QHttpManager::getParaReadsArrayDocuments()
{
    const QJsonArray table{QJsonObject{{"x", 1}}, QJsonObject{{"x", 2}}};
    ctl->setDocument("/settings/coordinate/tool", table);
    QByteArray bytes;
    QVERIFY(http->getPara(bytes, "/settings/coordinate/tool"));
    QCOMPARE(QJsonDocument::fromJson(bytes).array(), table);
}

void tst_QHttpManager::setParaWritesAndNotifies()
{
    const QByteArray data = QJsonDocument(QJsonObject{{"ratio", 30}}).toJson();
    QVERIFY(http->setPara(data, "/settings/common"));

    const auto all = ctl->requests();
    QCOMPARE(all.size(), 3);
    QCOMPARE(all.at(0).method, QString("POST"));
    QCOMPARE(all.at(0).path, QString("/file/write/settings/common.json"));
    QCOMPARE(all.at(0).port, quint16(22001));
    QCOMPARE(all.at(0).json(), (QJsonObject{{"ratio", 30}}));
    // Empty notify path: an empty POST to the document's own name.
    QCOMPARE(all.at(1).path, QString("/settings/common"));
    QCOMPARE(all.at(1).port, quint16(22000));
    QVERIFY(all.at(1).body.isEmpty());
    QCOMPARE(all.at(2).path, QString("/interface/updateFile"));
    QCOMPARE(all.at(2).port, quint16(22000));
    QCOMPARE(all.at(2).json(), QJsonObject());
    QCOMPARE(ctl->documentObject("/settings/common"), (QJsonObject{{"ratio", 30}}));

    ctl->clearRequests();
    QVERIFY(http->setPara(data, "/settings/common", "/settings/notify", "{\"changed\":1}"));
    QCOMPARE(ctl->requests().at(1).path, QString("/settings/notify"));
    QCOMPARE(ctl->requests().at(1).json(), (QJsonObject{{"changed", 1}}));
}

void tst_QHttpManager::setParaWritesArrayDocuments()
{
    const QJsonArray table{QJsonObject{{"name", "tool1"}}, QJsonObject{{"name", "tool2"}}};
    QVERIFY(http->setPara(QJsonDocument(table).toJson(), "/settings/coordinate/tool"));
    QCOMPARE(ctl->lastRequest("POST", "/file/write/settings/coordinate/tool.json").jsonArray(), table);
    QCOMPARE(ctl->document("/settings/coordinate/tool").array(), table);
}

void tst_QHttpManager::setParaRefusesWhatIsNotADocument_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("name");
    QTest::newRow("not json") << QByteArray("ratio=30") << QString("/settings/common");
    QTest::newRow("empty") << QByteArray() << QString("/settings/common");
    QTest::newRow("escaping name") << QByteArray("{}") << QString("/../../etc/passwd");
    QTest::newRow("backslash") << QByteArray("{}") << QString("/settings\\common");
    QTest::newRow("relative name") << QByteArray("{}") << QString("settings/common");
}

void tst_QHttpManager::setParaRefusesWhatIsNotADocument()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, name);
    QVERIFY(!http->setPara(data, name));
    QCOMPARE(ctl->count(), 0);
    QVERIFY(QDir(share.path()).isEmpty());
}

void tst_QHttpManager::reachabilityIsReportedOnceBothAreReachable()
{
    ctl->playRobot(6);
    QSignalSpy spy(http, &QHttpManager::connectStateChanged);

    // Plain requests alone report nothing.
    QJsonObject reply;
    QVERIFY(http->getJson("/connection/state", reply));
    QCOMPARE(spy.count(), 0);

    QByteArray bytes;
    QVERIFY(http->getPara(bytes, "/properties/axis"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);

    // Further successes change nothing.
    QVERIFY(http->getPara(bytes, "/properties/axis"));
    QVERIFY(http->getJson("/connection/state", reply));
    QCOMPARE(spy.count(), 1);
    // A failure within 12 s of the last success changes nothing either.
    ctl->on("GET", "/connection/state").status(500);
    QVERIFY(!http->getJson("/connection/state", reply));
    QCOMPARE(spy.count(), 1);
    QVERIFY(http->isServerReachable());
}

void tst_QHttpManager::getParaFallsBackToTheShare()
{
    // The file service answers "missing"; the controller's share has the file.
    ctl->playRobot(6);
    const QString file = share.path() + "/" + Address + "/project/settings/teach.json";
    writeFile(file, "{\"speed\": 12}");
    QByteArray bytes;
    QVERIFY(http->getPara(bytes, "/settings/teach"));
    QCOMPARE(QJsonDocument::fromJson(bytes).object().value("speed").toInt(), 12);
    QCOMPARE(ctl->count("GET", "/file/read/settings/teach.json"), 1);
}

void tst_QHttpManager::getParaLogsAMissingFile()
{
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QByteArray bytes("untouched");
    QVERIFY(!http->getPara(bytes, "/settings/missing"));
    QCOMPARE(bytes, QByteArray("untouched"));
    const QString path = share.path() + "/" + Address + "/project/settings/missing.json";
    QVERIFY2(log.hasLine(QStringLiteral("bool QHttpManager::getPara(QByteArray&, const QString&) \"%1\"  is not exist!")
                             .arg(path)),
             qPrintable(log.lines().join('\n')));
}

void tst_QHttpManager::setParaFallsBackToTheShare()
{
    ctl->playRobot(6);
    ctl->onWrite("/settings/teach").status(500);
    QDir().mkpath(share.path() + "/" + Address + "/project");
    const QByteArray data = "{\"speed\": 7}";
    QVERIFY(http->setPara(data, "/settings/teach"));

    // The folder "settings" was created (one level) and the document written as given.
    QFile file(share.path() + "/" + Address + "/project/settings/teach.json");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), data);
    // Then the same two notifications as after a write through the file service.
    const auto all = ctl->requests();
    QCOMPARE(all.size(), 3);
    QCOMPARE(all.at(1).path, QString("/settings/teach"));
    QCOMPARE(all.at(2).path, QString("/interface/updateFile"));
}

void tst_QHttpManager::simulatorRootIsUsedForTheLoopbackAddress()
{
    // Nothing of ours listens on 127.0.0.1 here, so the file service fails and
    // the simulator's local project folder is read.
    QTemporaryDir simulator;
    writeFile(simulator.path() + "/controllerVR/project/properties/axis.json", "{\"axis\": 4}");
    http->setHost("127.0.0.1");
    http->setSimulatorRoot(simulator.path() + "/");
    QCOMPARE(http->fallbackFilePath("/properties/axis"),
             simulator.path() + "//controllerVR/project/properties/axis.json");
    QByteArray bytes;
    QVERIFY(http->getPara(bytes, "/properties/axis"));
    QCOMPARE(QJsonDocument::fromJson(bytes).object().value("axis").toInt(), 4);
    QVERIFY(http->isFilesReachable());
}

void tst_QHttpManager::noLocalFallbackWithoutSimulatorRoot()
{
    http->setHost("127.0.0.1");
    QVERIFY(http->fallbackFilePath("/properties/axis").isEmpty());
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QVERIFY(!http->setPara("{\"a\":1}", "/settings/common"));
    QVERIFY(!http->isFilesReachable());
}

void tst_QHttpManager::noShareFallbackForAddressesThatAreNotOneFolder_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("parent folder") << "..";
    QTest::newRow("climbing") << "../../etc";
    QTest::newRow("separator") << "a/b";
    QTest::newRow("backslash") << "a\\b";
    QTest::newRow("empty") << "";
}

void tst_QHttpManager::noShareFallbackForAddressesThatAreNotOneFolder()
{
    QFETCH(QString, host);
    http->setHost(host);
    QVERIFY(http->fallbackFilePath("/settings/common").isEmpty());
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QVERIFY(!http->setPara("{\"a\":1}", "/settings/common"));
    QVERIFY(QDir(share.path()).isEmpty());
}

void tst_QHttpManager::waitMsKeepsEventsFlowing()
{
    bool fired = false;
    QTimer::singleShot(20, [&]() { fired = true; });
    QElapsedTimer clock;
    clock.start();
    QHttpManager::waitMs(100);
    QVERIFY(clock.elapsed() >= 100);
    QVERIFY(fired);
}

QTEST_GUILESS_MAIN(tst_QHttpManager)
#include "tst_qhttpmanager.moc"
