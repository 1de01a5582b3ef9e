// The specified time limits at their real values, once each: the request
// abort (1 s), the loss rule (12 s) and the connect wait (5 s). The logic
// around them is tested with shortened limits elsewhere.
#include "Varlo.h"
#include "fixture.h"
#include "Varlo/qhttpmanager.h"

#include <QtTest/QSignalSpy>

using namespace VarloTest;

class tst_Limits : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.9" };

    static qint64 timed(const std::function<void()> &call) {
        QElapsedTimer clock;
        clock.start();
        call();
        return clock.elapsed();
    }

private Q_SLOTS:
    void initTestCase() {
        START_OR_SKIP(f, f.start());
        VarloTimings::resetForTesting(); // the real values, the pacing included
    }

    void requestAbortAndLossRule() {
        QHttpManager http(nullptr);
        http.setHost(f.ctl.address());
        QSignalSpy spy(&http, &QHttpManager::connectStateChanged);
        QByteArray bytes;
        QVERIFY(http.getPara(bytes, "/properties/axis"));
        QCOMPARE(spy.count(), 1);
        QElapsedTimer sinceSuccess;
        sinceSuccess.start();

        f.ctl.on("GET", "/connection/state", Reply::silence());
        QJsonObject reply;
        const qint64 aborted = timed([&] { QVERIFY(!http.getJson("/connection/state", reply)); });
        QVERIFY2(aborted > 1000 && aborted < 1500, qPrintable(QString::number(aborted)));
        qint64 lostAt = -1;
        while (sinceSuccess.elapsed() < 13600) {
            QVERIFY(!http.getJson("/connection/state", reply));
            if (lostAt < 0 && spy.count() == 2)
                lostAt = sinceSuccess.elapsed();
        }
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        // Declared by the first failure that ended more than 12 s after the success.
        QVERIFY2(lostAt > 12000 && lostAt < 13500, qPrintable(QString::number(lostAt)));
    }

    // Nothing answers: given up after more than five seconds, checked once a second.
    void connectWait() {
        int32_t result = -1;
        const qint64 elapsed = timed([&] { result = ConnectVarlo("127.0.0.254"); });
        QCOMPARE(result, VARLO_NO_CONNECTION);
        QVERIFY2(elapsed > 5000 && elapsed < 7000, qPrintable(QString::number(elapsed)));
    }
};

QTEST_GUILESS_MAIN(tst_Limits)
#include "tst_limits.moc"
