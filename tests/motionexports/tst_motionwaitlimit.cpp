// The time limit of the blocking motion exports: a motion whose end is never
// reported, and a status query that keeps failing, both give 2 after 20 s.
#include "Varlo.h"
#include "motionhost.h"

#include "componenttest.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>


namespace {
const char Address[] = "127.0.0.24";
}

class tst_MotionWaitLimit : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void limit_data();
    void limit();

private:
};

void tst_MotionWaitLimit::initTestCase()
{
    startController(Address, 6);
    ctl->on("POST", "/interface/*").reply(QJsonObject{});
    const QByteArray address(Address);
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
}

void tst_MotionWaitLimit::limit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("queryFails");
    QTest::newRow("MovJ, never finished") << "MovJ" << false;
    QTest::newRow("JointMovJ, query keeps failing") << "JointMovJ" << true;
    // Every blocking export waits through the same code, and which status
    // route each one polls is tst_motionexports' (waitOutcome): one export per
    // way of running out of time is enough here, each row costing 20 s.
}

void tst_MotionWaitLimit::limit()
{
    QFETCH(QString, name);
    QFETCH(bool, queryFails);
    const QString route = MotionHost::routeOf(name);
    ctl->clearScripts("GET", route);
    if (queryFails)
        ctl->on("GET", route).status(500).reply(QJsonObject{ { "value", true } });
    else
        ctl->on("GET", route).reply(QJsonObject{ { "value", false }, { "isAlarms", false } });
    ctl->clearRequests();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(MotionHost::call(name, true), VARLO_MOTION_TIMEOUT);
    QVERIFY2(clock.elapsed() >= 20000, qPrintable(QString::number(clock.elapsed())));
    // It kept asking until the limit.
    QVERIFY(ctl->count("GET", route) > 50);
}

QTEST_GUILESS_MAIN(tst_MotionWaitLimit)
#include "tst_motionwaitlimit.moc"
