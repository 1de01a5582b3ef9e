// The transport and connection supervision against the controller double:
// the request queue, the abort, replies of every shape, the settings documents
// and their fallbacks, reachability and the loss rule, and the poll that finds
// a controller.
#include "fixture.h"
#include "Varlo.h"
#include "Varlo/qrobotconnection.h"
#include "Varlo/qhttpmanager.h"

#include <QtTest/QSignalSpy>

using namespace VarloTest;

class tst_Transport : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.2" };
    FakeController &ctl = f.ctl;
    QHttpManager *http = nullptr;

private Q_SLOTS:
    void initTestCase() { START_OR_SKIP(f, f.start()); }
    void init() {
        f.reset();
        http = new QHttpManager(nullptr);
        http->setHost(ctl.address());
    }
    void cleanup() {
        delete http;
        VarloTimings::resetForTesting();
        useShortIntervals();
    }

    void requestsGoOutOneAtATimeInOrder() {
        ctl.on("GET", "/outer", Reply::json(QJsonObject{ { "who", "outer" } }).after(300));
        ctl.on("POST", "/inner", Reply::raw("raw"));
        // A timer's request issued while the first caller waits queues behind it.
        QByteArray inner;
        bool innerOk = false;
        QTimer::singleShot(60, http, [&] { innerOk = http->postData("/inner", "payload", inner); });
        QJsonObject outer;
        QVERIFY(http->getJson("/outer", outer));
        WAIT_FOR(innerOk);
        QCOMPARE(outer.value("who").toString(), QString("outer"));
        QCOMPARE(inner, QByteArray("raw"));
        const QList<Request> all = ctl.requests();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(1).body, QByteArray("payload"));
        QCOMPARE(all.at(1).port, quint16(22000));
        QVERIFY(all.at(1).timeMs >= all.at(0).timeMs + 300);
    }

    void slowRequestIsAborted() {
        VarloTimings::setForTesting(VarloTimings::RequestAbort, 200);
        ctl.on("GET", "/slow", Reply::silence());
        QElapsedTimer clock;
        clock.start();
        QJsonObject reply{ { "stale", true } };
        QVERIFY(!http->getJson("/slow", reply));
        QVERIFY2(clock.elapsed() > 200 && clock.elapsed() < 800, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(reply.isEmpty());
        // The access cache was cleared: the next request opens a fresh connection.
        const int before = ctl.connectionCount();
        QVERIFY(http->getJson("/connection/state", reply));
        QVERIFY(ctl.connectionCount() > before);
    }

    void replies_data() {
        QTest::addColumn<Reply>("answer");
        QTest::addColumn<bool>("ok");
        QTest::newRow("in pieces") << Reply::json(QJsonObject{ { "long", QString(5000, 'x') } }).inPieces(6) << true;
        QTest::newRow("text") << Reply::raw("this is not json") << true;
        QTest::newRow("empty body") << Reply::raw("") << true;
        QTest::newRow("array") << Reply::raw("[1, 2, 3]") << true;
        QTest::newRow("cut short") << Reply::raw("{\"value\": tr") << true;
        QTest::newRow("404") << Reply::error(404) << false;
        QTest::newRow("500") << Reply::error(500) << false;
        QTest::newRow("dropped") << Reply::drop() << false;
    }
    void replies() {
        QFETCH(Reply, answer);
        QFETCH(bool, ok);
        ctl.on("GET", "/odd", answer);
        QJsonObject reply{ { "stale", true } };
        QCOMPARE(http->getJson("/odd", reply), ok);
        QCOMPARE(reply, ok ? QJsonDocument::fromJson(answer.body).object() : QJsonObject());
    }

    void documentsOnTheFileService() {
        const QJsonArray table{ QJsonObject{ { "x", 1 } }, QJsonObject{ { "x", 2 } } };
        ctl.setDocument("/settings/coordinate/tool", table);
        QByteArray bytes;
        QVERIFY(http->getPara(bytes, "/settings/coordinate/tool"));
        QCOMPARE(QJsonDocument::fromJson(bytes).array(), table);
        QCOMPARE(ctl.last("GET", "/file/read/settings/coordinate/tool.json").port, quint16(22001));

        // A write, then an empty POST to the document's name (or the one given) and updateFile.
        ctl.clearRequests();
        QVERIFY(http->setPara("[1]", "/settings/other"));
        QVERIFY(http->setPara("[2]", "/settings/other", "/settings/notify", "{\"changed\":1}"));
        QCOMPARE(ctl.trail(), (QStringList{ "POST /file/write/settings/other.json:22001 [1]", "POST /settings/other:22000",
                                            "POST /interface/updateFile:22000 {}", "POST /file/write/settings/other.json:22001 [2]",
                                            "POST /settings/notify:22000 {\"changed\":1}", "POST /interface/updateFile:22000 {}" }));
        QCOMPARE(ctl.document("/settings/other").array(), QJsonArray{ 2 });
    }

    void refusedWrites_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("name");
        const QString self = "127.0.0.2";
        QTest::newRow("not json") << self << QByteArray("ratio=30") << "/settings/common";
        QTest::newRow("empty") << self << QByteArray() << "/settings/common";
        QTest::newRow("escaping name") << self << QByteArray("{}") << "/../../etc/passwd";
        QTest::newRow("backslash") << self << QByteArray("{}") << "/settings\\common";
        QTest::newRow("relative name") << self << QByteArray("{}") << "settings/common";
        // No share fallback for a host that is not one folder name.
        QTest::newRow("host ..") << ".." << QByteArray("{}") << "/settings/common";
        QTest::newRow("host ../../etc") << "../../etc" << QByteArray("{}") << "/settings/common";
        QTest::newRow("host a/b") << "a/b" << QByteArray("{}") << "/settings/common";
        QTest::newRow("host a\\b") << "a\\b" << QByteArray("{}") << "/settings/common";
        QTest::newRow("empty host") << "" << QByteArray("{}") << "/settings/common";
    }
    void refusedWrites() {
        QFETCH(QString, host);
        QFETCH(QByteArray, data);
        QFETCH(QString, name);
        http->setHost(host);
        QVERIFY(!http->setPara(data, name));
        QCOMPARE(ctl.count(), 0);
        QVERIFY(QDir(f.share.path()).isEmpty());
    }

    void shareFallbacks() {
        // The file service answers "missing" ({}); the controller's share has the file.
        f.putShareFile("/settings/teach", "{\"speed\": 12}");
        QByteArray bytes;
        QVERIFY(http->getPara(bytes, "/settings/teach"));
        QCOMPARE(QJsonDocument::fromJson(bytes).object().value("speed").toInt(), 12);
        bytes = "untouched";
        QVERIFY(!http->getPara(bytes, "/settings/missing"));
        QCOMPARE(bytes, QByteArray("untouched"));

        // A failed write goes to the share (one folder level created), then the
        // same two notifications.
        ctl.on("POST", "/file/write/*", Reply::error());
        QDir().mkpath(f.share.path() + "/127.0.0.2/project");
        ctl.clearRequests();
        QVERIFY(http->setPara("{\"speed\": 7}", "/settings/teach"));
        QFile file(f.share.path() + "/127.0.0.2/project/settings/teach.json");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), (QJsonObject{ { "speed", 7 } }));
        QCOMPARE(ctl.trail().mid(1), (QStringList{ "POST /settings/teach:22000", "POST /interface/updateFile:22000 {}" }));
    }

    void simulatorFolderForTheLoopbackAddress() {
        // Nothing of ours listens on 127.0.0.1: the file service fails and the
        // simulator's project folder is used, and only when one was found.
        if (!loopbackInUse().isEmpty())
            QSKIP(qPrintable(loopbackInUse() + ": this case needs 127.0.0.1 silent"));
        http->setHost("127.0.0.1");
        QVERIFY(http->fallbackFilePath("/properties/axis").isEmpty());
        QVERIFY(!http->setPara("{\"a\":1}", "/settings/common"));
        QTemporaryDir simulator;
        QVERIFY(writeFile(simulator.path() + "/controllerVR/project/properties/axis.json", "{\"axis\": 4}"));
        http->setSimulatorRoot(simulator.path() + "/");
        QByteArray bytes;
        QVERIFY(http->getPara(bytes, "/properties/axis"));
        QCOMPARE(QJsonDocument::fromJson(bytes).object().value("axis").toInt(), 4);
        QVERIFY(http->isFilesReachable());
    }

    void reachabilityAndLoss() {
        VarloTimings::setForTesting(VarloTimings::ControllerLoss, 300);
        QSignalSpy spy(http, &QHttpManager::connectStateChanged);
        QJsonObject reply;
        QVERIFY(http->getJson("/connection/state", reply));
        QCOMPARE(spy.count(), 0); // plain requests alone report nothing
        QByteArray bytes;
        QVERIFY(http->getPara(bytes, "/properties/axis"));
        QVERIFY(http->getPara(bytes, "/properties/axis"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);

        // A failure soon after a success changes nothing.
        ctl.on("GET", "/connection/state", Reply::error());
        QVERIFY(!http->getJson("/connection/state", reply));
        QCOMPARE(spy.count(), 1);

        // Without an earlier connection nothing is reported lost.
        QHttpManager silent(nullptr);
        silent.setHost("127.0.0.254");
        QSignalSpy silentSpy(&silent, &QHttpManager::connectStateChanged);
        QElapsedTimer sinceStart;
        sinceStart.start();
        while (sinceStart.elapsed() < 500)
            QVERIFY(!silent.getJson("/connection/state", reply));
        QCOMPARE(silentSpy.count(), 0);
    }

    // ConnectVarlo("127.0.0.1") without a simulator: the host's only sign is the log line.
    // (The connect wait is shortened here; tst_limits keeps its real value.)
    void loopbackWithoutASimulator() {
        if (!loopbackInUse().isEmpty())
            QSKIP(qPrintable(loopbackInUse() + ": this case needs no simulator"));
        VarloTimings::setForTesting(VarloTimings::ConnectLimit, 100);
        LogCapture log;
        QCOMPARE(ConnectVarlo("127.0.0.1"), VARLO_NO_CONNECTION);
        QVERIFY(log.hasLine("VarloSim.exe is not detected, please open VarloSim.exe first!!!"));
        QCOMPARE(ConnectVarlo(nullptr), VARLO_NO_CONNECTION); // an empty address
        DisconnectVarlo();
    }

    void waitMsKeepsEventsFlowing() {
        bool fired = false;
        QTimer::singleShot(20, [&] { fired = true; });
        QElapsedTimer clock;
        clock.start();
        QHttpManager::waitMs(100);
        QVERIFY(clock.elapsed() >= 100 && fired);
    }

    // ---- supervision

    void pollReadsVersionThenAxisCountOnce() {
        QRobotConnection connection(http, nullptr);
        QSignalSpy axis(&connection, &QRobotConnection::axisCount);
        QSignalSpy connected(http, &QHttpManager::connectStateChanged);
        connection.startSupervision();
        QVERIFY(axis.wait(2000));
        QCOMPARE(axis.at(0).at(0).toInt(), 6);
        QCOMPARE(http->controllerVersion(), QString("V1.2.0-double"));
        QCOMPARE(connected.count(), 1);
        QCOMPARE(ctl.trail().mid(0, 3), (QStringList{ "GET /connection/state:22000", "POST /settings/version:22000 {}",
                                                      "GET /file/read/properties/axis.json:22001" }));
        // Once known, the axis count is not read again while the poll goes on.
        QVERIFY(ctl.waitFor("GET", "/connection/state", 4));
        QCOMPARE(ctl.count("GET", "/file/read/properties/axis.json"), 1);
        // Stopped and started again: read again.
        connection.stopSupervision();
        connection.startSupervision();
        QVERIFY(axis.wait(2000));
        QCOMPARE(ctl.count("GET", "/file/read/properties/axis.json"), 2);
    }

    void failedPollsRepeatQuietly() {
        QRobotConnection connection(http, nullptr);
        QSignalSpy axis(&connection, &QRobotConnection::axisCount);
        QSignalSpy connected(http, &QHttpManager::connectStateChanged);
        // An unreadable axis document: polled again, and not connected.
        ctl.removeDocument("/properties/axis");
        connection.startSupervision();
        QVERIFY(ctl.waitFor("GET", "/file/read/properties/axis.json", 3));
        QCOMPARE(connected.count(), 0);
        // A failing poll asks for nothing more.
        ctl.on("GET", "/connection/state", Reply::error(503));
        ctl.clearRequests();
        QVERIFY(ctl.waitFor("GET", "/connection/state", 3));
        QCOMPARE(ctl.count("POST", "/settings/version"), 0);
        QCOMPARE(axis.count(), 0);
    }

    void stopDuringAPollDoesNotRearm() {
        ctl.on("GET", "/connection/state", Reply::json(QJsonObject()).after(100));
        QRobotConnection connection(http, nullptr);
        connection.startSupervision();
        QVERIFY(ctl.waitFor("GET", "/connection/state"));
        connection.stopSupervision();
        spin(300);
        QCOMPARE(ctl.count("GET", "/connection/state"), 1);
        QVERIFY(!connection.isSupervising());
    }
};

QTEST_GUILESS_MAIN(tst_Transport)
#include "tst_transport.moc"
