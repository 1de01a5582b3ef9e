// The connection exports as a host uses them. The library state is one per
// process, so the test functions run in order and build on each other.
#include "Varlo.h"
#include "api/library.h"
#include "componenttest.h"
#include "logcapture.h"
#include "robot/qrobot.h"
#include "robot/qrobotconnection.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>


namespace {

struct CallbackLog
{
    QList<bool> calls;
};

void recordConnection(bool isConnected, void *userData)
{
    static_cast<CallbackLog *>(userData)->calls.append(isConnected);
}

} // namespace

class tst_ConnectExports : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void callbacksBeforeTheFirstConnect();
    void nullCallbackIsRefused();
    void connectToASixAxisRobot();
    void repeatedConnectReusesTheComponents();
    void disconnectCallsEveryCallbackWithFalse();
    void requestsFailPromptlyAfterDisconnect();
    void connectAfterDisconnect();
    void robotWithoutAxisCount_data();
    void robotWithoutAxisCount();
    void reconnectionRefreshesTheAxisCount();
    void facadeGoneAfterQuit();

private:
    CallbackLog first;
    CallbackLog second;
};

void tst_ConnectExports::initTestCase()
{
    startController(QStringLiteral("127.0.0.5"), 6);
}

void tst_ConnectExports::callbacksBeforeTheFirstConnect()
{
    // A host registers its callbacks first; the same function twice runs twice.
    QCOMPARE(ConnectStateCallback(&recordConnection, &first), VARLO_OK);
    QCOMPARE(ConnectStateCallback(&recordConnection, &second), VARLO_OK);
    QVERIFY(!VarloLibrary::components());

    QCOMPARE(DisconnectVarlo(), VARLO_OK);
    QCOMPARE(first.calls, QList<bool>{false});
    QCOMPARE(second.calls, QList<bool>{false});
    first.calls.clear();
    second.calls.clear();
}

void tst_ConnectExports::nullCallbackIsRefused()
{
    QCOMPARE(ConnectStateCallback(nullptr, &first), VARLO_INVALID_ARGUMENT);
}

void tst_ConnectExports::connectToASixAxisRobot()
{
    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 6);
    QCOMPARE(first.calls, QList<bool>{true});
    QCOMPARE(second.calls, QList<bool>{true});
    QVERIFY(VarloLibrary::components());
    QCOMPARE(VarloLibrary::components()->transport()->host(), ctl->address());
}

void tst_ConnectExports::repeatedConnectReusesTheComponents()
{
    QRobot *robot = VarloLibrary::components();
    QHttpManager *transport = robot->transport();
    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(VarloLibrary::components(), robot);
    QCOMPARE(robot->transport(), transport);
    QCOMPARE(robot->findChildren<QRobotConnection *>().size(), 1);

    // Connected: one poll at most ran to find the controller again, and no second
    // supervision keeps polling.
    ctl->clearRequests();
    QTest::qWait(1000);
    QCOMPARE(ctl->count("GET", "/connection/state"), 0);
}

void tst_ConnectExports::disconnectCallsEveryCallbackWithFalse()
{
    first.calls.clear();
    second.calls.clear();
    QCOMPARE(DisconnectVarlo(), VARLO_OK);
    QCOMPARE(DisconnectVarlo(), VARLO_OK);
    QCOMPARE(first.calls, (QList<bool>{false, false}));
    QCOMPARE(second.calls, (QList<bool>{false, false}));
}

void tst_ConnectExports::requestsFailPromptlyAfterDisconnect()
{
    ctl->clearRequests();
    QElapsedTimer clock;
    clock.start();
    QJsonObject reply;
    QVERIFY(!VarloLibrary::components()->transport()->getJson("/connection/state", reply));
    QVERIFY(clock.elapsed() < 500);
    QTest::qWait(500);
    QCOMPARE(ctl->count(), 0);
}

void tst_ConnectExports::connectAfterDisconnect()
{
    first.calls.clear();
    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(first.calls, QList<bool>{true});
    QVERIFY(VarloLibrary::components()->transport()->isDispatching());
}

void tst_ConnectExports::robotWithoutAxisCount_data()
{
    QTest::addColumn<QJsonObject>("document");
    QTest::newRow("no axis key") << QJsonObject{{"joints", 6}};
    QTest::newRow("five axes") << QJsonObject{{"axis", 5}};
    QTest::newRow("axis as text") << QJsonObject{{"axis", "6"}};
}

void tst_ConnectExports::robotWithoutAxisCount()
{
    QFETCH(QJsonObject, document);
    ctl->setDocument("/properties/axis", document);
    const QByteArray address = ctl->address().toLatin1();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_NO_CONNECTION);
    // The transport connected; the answer came with the connection, not at the limit.
    QVERIFY(clock.elapsed() < 4000);
    // The axis count keeps its previous value.
    QCOMPARE(VarloLibrary::axisCount(), 6);
    ctl->setDocument("/properties/axis", QJsonObject{{"axis", 6}});
}

void tst_ConnectExports::reconnectionRefreshesTheAxisCount()
{
    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 6);

    // The controller comes back as a 4-axis robot: the handler that stays
    // attached after ConnectVarlo updates the count on the reconnection.
    ctl->setDocument("/properties/axis", QJsonObject{{"axis", 4}});
    QHttpManager *transport = VarloLibrary::components()->transport();
    Q_EMIT transport->connectStateChanged(false);
    transport->resetReachability();
    QTRY_COMPARE_WITH_TIMEOUT(VarloLibrary::axisCount(), 4, 5000);
}

void tst_ConnectExports::facadeGoneAfterQuit()
{
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    // The signal is private to the application; invoke it as its event loop would.
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    QTRY_VERIFY(!VarloLibrary::components());
    QVERIFY(log.hasLine("About to quit..."));
    // The exports that need no components keep working.
    first.calls.clear();
    QCOMPARE(ConnectStateCallback(&recordConnection, &first), VARLO_OK);
    QCOMPARE(DisconnectVarlo(), VARLO_OK);
    QCOMPARE(first.calls, QList<bool>{false});
}

QTEST_GUILESS_MAIN(tst_ConnectExports)
#include "tst_connectexports.moc"
