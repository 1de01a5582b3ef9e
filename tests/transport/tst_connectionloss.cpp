// The transport's loss rule: the controller counts as lost only after more
// than 12 s without a successful request, and that is reported once.
#include "fakecontroller.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QElapsedTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

using VarloTest::FakeController;

class tst_ConnectionLoss : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lossIsReportedOnceAfterTwelveSeconds();
    void noLossWithoutAnEarlierConnection();
};

void tst_ConnectionLoss::lossIsReportedOnceAfterTwelveSeconds()
{
    FakeController ctl(QStringLiteral("127.0.0.9"));
    QVERIFY2(ctl.listen(), qPrintable(ctl.errorString()));
    ctl.playRobot(6);
    QHttpManager http(nullptr);
    http.setHost(ctl.address());
    QSignalSpy spy(&http, &QHttpManager::connectStateChanged);

    QByteArray bytes;
    QVERIFY(http.getPara(bytes, "/properties/axis"));
    QCOMPARE(spy.count(), 1);
    QElapsedTimer sinceSuccess;
    sinceSuccess.start();

    ctl.on("GET", "/connection/state").never();
    QJsonObject reply;
    qint64 lostAt = -1;
    while (sinceSuccess.elapsed() < 15500) {
        QVERIFY(!http.getJson("/connection/state", reply));
        if (lostAt < 0 && spy.count() == 2)
            lostAt = sinceSuccess.elapsed();
    }
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    // Declared by the first failure that ended more than 12 s after the success.
    QVERIFY2(lostAt > 12000 && lostAt < 13500, qPrintable(QString::number(lostAt)));
    QVERIFY(!http.isServerReachable());
}

void tst_ConnectionLoss::noLossWithoutAnEarlierConnection()
{
    // Nothing listens on this address: requests fail but nothing was reported
    // connected, so nothing is reported lost.
    QHttpManager http(nullptr);
    http.setHost(QStringLiteral("127.0.0.9"));
    QSignalSpy spy(&http, &QHttpManager::connectStateChanged);
    QElapsedTimer clock;
    clock.start();
    QJsonObject reply;
    while (clock.elapsed() < 12600)
        QVERIFY(!http.getJson("/connection/state", reply));
    QCOMPARE(spy.count(), 0);
}

QTEST_GUILESS_MAIN(tst_ConnectionLoss)
#include "tst_connectionloss.moc"
