// Connection supervision: the 200 ms poll, what it fetches, and when it stops.
#include "componenttest.h"
#include "logcapture.h"
#include "robot/qrobotconnection.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

using VarloTest::Reply;

class tst_QRobotConnection : public QObject, public VarloTest::ComponentTest<QRobotConnection>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController("127.0.0.3"); }
    void init()
    {
        initComponent();
        ctl->playRobot(6, QStringLiteral("V9.9.9"));
    }
    void cleanup() { cleanupComponent(); }

    void pollReadsVersionAndAxisCount();
    void axisValues_data();
    void axisValues();
    void unreadableAxisFileKeepsPolling();
    void failedPollsAreSilentAndRepeat();
    void stopDuringAPollDoesNotRearm();
    void restartReadsTheAxisCountAgain();

private:
    QRobotConnection *&connection = component;
};

void tst_QRobotConnection::pollReadsVersionAndAxisCount()
{
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QSignalSpy axis(connection, &QRobotConnection::axisCount);
    QSignalSpy connected(http, &QHttpManager::connectStateChanged);
    connection->startSupervision();
    QVERIFY(axis.wait(3000));
    QCOMPARE(axis.at(0).at(0).toInt(), 6);
    QCOMPARE(connection->lastAxisCount(), 6);
    QCOMPARE(http->controllerVersion(), QString("V9.9.9"));
    QVERIFY(log.hasLine("QRobotConnectionPrivate::QRobotConnectionPrivate(QRobotConnection*)::<lambda()> s_axisCount: 6"));
    QCOMPARE(connected.count(), 1);

    // The version is fetched with an empty object; the order is state, version, axis.
    const auto all = ctl->requests();
    QVERIFY(all.size() >= 3);
    QCOMPARE(all.at(0).path, QString("/connection/state"));
    QCOMPARE(all.at(1).path, QString("/settings/version"));
    QCOMPARE(all.at(1).json(), QJsonObject());
    QCOMPARE(all.at(2).path, QString("/file/read/properties/axis.json"));

    // Once known, the axis count is not read again while supervision goes on.
    QVERIFY(ctl->waitForRequests("GET", "/connection/state", 3, 3000));
    QCOMPARE(ctl->count("GET", "/file/read/properties/axis.json"), 1);
    QCOMPARE(axis.count(), 1);
}

void tst_QRobotConnection::axisValues_data()
{
    QTest::addColumn<QJsonObject>("document");
    QTest::addColumn<int>("expected");
    QTest::newRow("four") << QJsonObject{{"axis", 4}} << 4;
    QTest::newRow("seven is still reported") << QJsonObject{{"axis", 7}} << 7;
    QTest::newRow("not a number") << QJsonObject{{"axis", "six"}} << 0;
    QTest::newRow("null") << QJsonObject{{"axis", QJsonValue::Null}} << 0;
}

void tst_QRobotConnection::axisValues()
{
    QFETCH(QJsonObject, document);
    QFETCH(int, expected);
    ctl->setDocument("/properties/axis", document);
    QSignalSpy axis(connection, &QRobotConnection::axisCount);
    connection->startSupervision();
    QVERIFY(axis.wait(3000));
    QCOMPARE(axis.at(0).at(0).toInt(), expected);
}

void tst_QRobotConnection::unreadableAxisFileKeepsPolling()
{
    ctl->removeDocument("/properties/axis");
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QSignalSpy axis(connection, &QRobotConnection::axisCount);
    QSignalSpy connected(http, &QHttpManager::connectStateChanged);
    connection->startSupervision();
    QVERIFY(ctl->waitForRequests("POST", "/settings/version", 3, 5000));
    QVERIFY(ctl->waitForRequests("GET", "/file/read/properties/axis.json", 3, 5000));
    QCOMPARE(axis.count(), 0);
    QCOMPARE(connected.count(), 0);
}

void tst_QRobotConnection::failedPollsAreSilentAndRepeat()
{
    ctl->on("GET", "/connection/state").status(503);
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QSignalSpy axis(connection, &QRobotConnection::axisCount);
    connection->startSupervision();
    QVERIFY(ctl->waitForRequests("GET", "/connection/state", 3, 5000));
    QCOMPARE(ctl->count("POST", "/settings/version"), 0);
    QCOMPARE(axis.count(), 0);
    QVERIFY(log.isEmpty());
    // Polls come about 200 ms apart (Qt's coarse timers may fire a little early).
    const auto polls = ctl->requests("GET", "/connection/state");
    QVERIFY(polls.at(1).timeMs - polls.at(0).timeMs >= 180);
}

void tst_QRobotConnection::stopDuringAPollDoesNotRearm()
{
    ctl->on("GET", "/connection/state").reply(Reply::json(QJsonObject()).delay(300));
    connection->startSupervision();
    QVERIFY(ctl->waitForRequest("GET", "/connection/state", 3000));
    connection->stopSupervision();
    QTest::qWait(1200);
    QCOMPARE(ctl->count("GET", "/connection/state"), 1);
    QVERIFY(!connection->isSupervising());
}

void tst_QRobotConnection::restartReadsTheAxisCountAgain()
{
    QSignalSpy axis(connection, &QRobotConnection::axisCount);
    connection->startSupervision();
    QVERIFY(axis.wait(3000));
    connection->stopSupervision();
    connection->startSupervision();
    QVERIFY(axis.wait(3000));
    QCOMPARE(axis.count(), 2);
}

QTEST_GUILESS_MAIN(tst_QRobotConnection)
#include "tst_qrobotconnection.moc"
