// Several controllers in one program: two facades of a host and the C
// functions' own facade, each on a controller double of its own. None may
// see another's state, requests or callbacks, and a host's facade is the
// host's to delete.
#include "fixture.h"
#include "Varlo.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"

using namespace VarloTest;

namespace {

// The joint 1 each double reports, so that every state can be told apart.
QJsonObject stateWithJoint1(double joint1)
{
    return QJsonObject{ { "jointCoordinate", numbers({ joint1, 0, 0, 0, 0, 0 }) } };
}

void countCall(bool, void *calls) { ++*static_cast<int *>(calls); }
void countState(VarloExchangeRecord *, void *calls) { ++*static_cast<int *>(calls); }

} // namespace

class tst_MultiFacade : public QObject
{
    Q_OBJECT
    Fixture a{ "127.0.0.100" };
    Fixture b{ "127.0.0.101" };
    Fixture c{ "127.0.0.102" };
    QScopedPointer<QRobot> first;
    QScopedPointer<QRobot> second;
    int cConnectionCalls = 0;
    int cStateCalls = 0;

private Q_SLOTS:
    void initTestCase() {
        START_OR_SKIP(a, a.start(6));
        START_OR_SKIP(b, b.start(4));
        START_OR_SKIP(c, c.start(6));
        a.ctl.on("POST", "/protocol/exchange", stateWithJoint1(11));
        b.ctl.on("POST", "/protocol/exchange", stateWithJoint1(22));
        c.ctl.on("POST", "/protocol/exchange", stateWithJoint1(33));
        QCOMPARE(ConnectStateCallback(&countCall, &cConnectionCalls), VARLO_OK);
        QCOMPARE(ExchangeCallback(&countState, &cStateCalls), VARLO_OK);
        QCOMPARE(ConnectVarlo(qPrintable(c.ctl.address())), VARLO_OK);
        first.reset(new QRobot);
        second.reset(new QRobot);
        QVERIFY(first->connectToController(a.ctl.address()));
        QVERIFY(second->connectToController(b.ctl.address()));
    }

    void eachFacadeHasItsOwnControllerAndState() {
        QCOMPARE(first->knownAxisCount(), 6);
        QCOMPARE(second->knownAxisCount(), 4);
        QCOMPARE(first->transport()->host(), a.ctl.address());
        WAIT_FOR(first->protocol()->jointCoordinate().joint[0] == 11.0f
                 && second->protocol()->jointCoordinate().joint[0] == 22.0f);
        float joints[6] = {};
        WAIT_FOR(GetJointCoordinate(joints) == VARLO_OK && joints[0] == 33.0f);
        for (Fixture *f : { &a, &b, &c })
            QVERIFY(f->ctl.waitFor("POST", "/protocol/exchange", 3));
    }

    // A motion of one facade waits on its own controller while the others'
    // exchanges go on; the outcome is read from the command's own endpoint.
    void waitForMotion_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("status");
        QTest::addColumn<int>("result");
        QTest::newRow("go finished") << int(QRobot::GoCommand) << "/interface/go" << QJsonObject{ { "value", true } } << int(QRobot::MotionFinished);
        QTest::newRow("moveJ alarm") << int(QRobot::MoveJCommand) << "/interface/moveJ" << QJsonObject{ { "isAlarms", true } } << int(QRobot::MotionAlarm);
        QTest::newRow("goR finished") << int(QRobot::GoRCommand) << "/interface/goR" << QJsonObject{ { "value", true } } << int(QRobot::MotionFinished);
        QTest::newRow("moveR no end") << int(QRobot::MoveRCommand) << "/interface/moveR" << QJsonObject{ { "value", false } } << int(QRobot::MotionTimedOut);
    }
    void waitForMotion() {
        QFETCH(int, command);
        QFETCH(QString, path);
        QFETCH(QJsonObject, status);
        QFETCH(int, result);
        a.ctl.on("GET", path, status);
        const int otherExchanges = b.ctl.count("POST", "/protocol/exchange");
        const int cExchanges = c.ctl.count("POST", "/protocol/exchange");
        QCOMPARE(int(first->waitForMotion(QRobot::MotionCommand(command), 300)), result);
        QVERIFY(a.ctl.count("GET", path) >= 1);
        QCOMPARE(b.ctl.count("GET", path) + c.ctl.count("GET", path), 0);
        if (result == QRobot::MotionTimedOut) {
            QVERIFY(b.ctl.count("POST", "/protocol/exchange") > otherExchanges);
            QVERIFY(c.ctl.count("POST", "/protocol/exchange") > cExchanges);
        }
    }

    // The facades of a thread share its network access: a controller that
    // goes silent has its requests aborted and its connections renewed, while
    // the others keep their connections and never see a loss.
    void silentControllerCostsTheOthersNothing() {
        VarloTimings::setForTesting(VarloTimings::RequestAbort, 150);
        QSignalSpy secondConnection(second.data(), &QRobot::connectionChanged);
        const int bConnections = b.ctl.connectionCount();
        const int cConnections = c.ctl.connectionCount();
        a.ctl.on("POST", "/protocol/exchange", Reply::silence());
        const int aConnections = a.ctl.connectionCount();
        a.ctl.clearRequests();
        b.ctl.clearRequests();
        // Each aborted exchange leaves its connection: the next one opens another.
        WAIT_FOR(a.ctl.connectionCount() >= aConnections + 2);
        QVERIFY(b.ctl.count("POST", "/protocol/exchange") > 3);
        QCOMPARE(b.ctl.connectionCount(), bConnections);
        QCOMPARE(c.ctl.connectionCount(), cConnections);
        QCOMPARE(secondConnection.count(), 0);
        a.ctl.on("POST", "/protocol/exchange", stateWithJoint1(55));
        WAIT_FOR(first->protocol()->jointCoordinate().joint[0] == 55.0f);
        VarloTimings::setForTesting(VarloTimings::RequestAbort, 1000);
    }

    void oneFacadeGoneLeavesTheOthers() {
        QSignalSpy secondConnection(second.data(), &QRobot::connectionChanged);
        const int cCalls = cConnectionCalls;
        first->disconnectController();
        first.reset();
        QCOMPARE(cConnectionCalls, cCalls);
        QCOMPARE(secondConnection.count(), 0);
        const int states = cStateCalls;
        b.ctl.clearRequests();
        c.ctl.on("POST", "/protocol/exchange", stateWithJoint1(44));
        // An exchange already answered before the new reply may still be read
        // first: the C facade's state is waited for, not its next exchange.
        float joints[6] = {};
        WAIT_FOR(GetJointCoordinate(joints) == VARLO_OK && joints[0] == 44.0f && cStateCalls > states
                 && b.ctl.count("POST", "/protocol/exchange") > 0);
        QCOMPARE(second->protocol()->jointCoordinate().joint[0], 22.0f);
    }

    // The application's quit deletes the C functions' facade, never a host's.
    void quitLeavesTheHostsFacade() {
        QPointer<QRobot> host = second.data();
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(host);
        float joints[6] = {};
        QCOMPARE(GetJointCoordinate(joints), VARLO_NO_CONNECTION);
    }

    void noControllerWithinTheLimit() {
        QRobot robot;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!robot.connectToController("127.0.0.254", 300));
        QVERIFY(clock.elapsed() < 3000);
    }
};

QTEST_GUILESS_MAIN(tst_MultiFacade)
#include "tst_multifacade.moc"
