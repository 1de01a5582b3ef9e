// The state exports before and right after the first ConnectVarlo: what a host
// gets before there is anything to read, null pointers, and a state callback
// registered before the robot's axis count is known. One library state per
// process, so the test functions run in order and build on each other.
#include "Varlo.h"
#include "api/library.h"
#include "robot/qrobot.h"
#include "stateexportstest.h"

#include "componenttest.h"

#include <QtCore/QJsonArray>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <functional>

using namespace StateExportsTest;

namespace {

// Calls one export with an out-buffer (or none); returns its result.
using Call = std::function<int32_t(void *)>;

const unsigned char Untouched = 0xA5;

struct Getter
{
    const char *name;
    int size;
    Call call;
};

QList<Getter> getters()
{
    return {
        { "GetExchange", RecordSize, [](void *p) { return GetExchange(static_cast<VarloExchangeRecord *>(p)); } },
        { "GetCartesianCoordinate", 24, [](void *p) { return GetCartesianCoordinate(static_cast<float *>(p)); } },
        { "GetJointCoordinate", 24, [](void *p) { return GetJointCoordinate(static_cast<float *>(p)); } },
        { "GetRdnCoordinate", 16, [](void *p) { return GetRdnCoordinate(static_cast<int32_t *>(p)); } },
        { "GetArmOrientation", 4, [](void *p) { return GetArmOrientation(static_cast<int32_t *>(p)); } },
        { "GetDI", 65, [](void *p) { return GetDI(static_cast<VarloIO *>(p)); } },
        { "GetDO", 65, [](void *p) { return GetDO(static_cast<VarloIO *>(p)); } },
        { "GetControlMode", 4, [](void *p) { return GetControlMode(static_cast<int32_t *>(p)); } },
        { "GetPowerMode", 1, [](void *p) { return GetPowerMode(static_cast<bool *>(p)); } },
    };
}

// The bytes a getter writes, after a call on a buffer filled with a marker,
// plus the marker bytes just past it; empty when it did not return 0.
QByteArray readGetter(const Getter &getter, int32_t *result)
{
    QByteArray buffer(getter.size + 8, char(Untouched));
    *result = getter.call(buffer.data());
    return buffer;
}

} // namespace

class tst_StateBeforeConnect : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void gettersBeforeConnect_data();
    void gettersBeforeConnect();
    void settersBeforeConnect();
    void nullPointers_data();
    void nullPointers();
    void callbackRegisteredBeforeConnect();
    void initialValuesAfterConnect_data();
    void initialValuesAfterConnect();
    void noRobotSpecificCallsForAnEarlyRegistration();
    void nullPointersWhileConnected_data();
    void nullPointersWhileConnected();
    void refusedSetDOSendsNothing();

private:
    int clocks = 0;
    CallbackLog early;
};

void tst_StateBeforeConnect::initTestCase()
{
    startController(QStringLiteral("127.0.0.11"), 6);
}

void tst_StateBeforeConnect::gettersBeforeConnect_data()
{
    QTest::addColumn<int>("index");
    const QList<Getter> all = getters();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all.at(i).name) << i;
}

void tst_StateBeforeConnect::gettersBeforeConnect()
{
    QFETCH(int, index);
    const Getter getter = getters().at(index);
    int32_t result = -1;
    const QByteArray buffer = readGetter(getter, &result);
    QCOMPARE(result, VARLO_NO_CONNECTION);
    QCOMPARE(buffer, QByteArray(buffer.size(), char(Untouched)));
}

void tst_StateBeforeConnect::settersBeforeConnect()
{
    VarloIO io;
    std::memset(&io, 1, sizeof io);
    QCOMPARE(SetDO(&io), VARLO_NO_CONNECTION);
    QCOMPARE(ClearAlarms(), VARLO_NO_CONNECTION);
    QVERIFY(!VarloLibrary::components());
}

void tst_StateBeforeConnect::nullPointers_data()
{
    QTest::addColumn<int>("index");
    const QList<Getter> all = getters();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all.at(i).name) << i;
    QTest::newRow("SetDO") << -1;
    QTest::newRow("ExchangeCallback") << -2;
}

void tst_StateBeforeConnect::nullPointers()
{
    QFETCH(int, index);
    if (index >= 0)
        QCOMPARE(getters().at(index).call(nullptr), VARLO_INVALID_ARGUMENT);
    else if (index == -1)
        QCOMPARE(SetDO(nullptr), VARLO_INVALID_ARGUMENT);
    else
        QCOMPARE(ExchangeCallback(nullptr, &early), VARLO_INVALID_ARGUMENT);
}

void tst_StateBeforeConnect::callbackRegisteredBeforeConnect()
{
    QCOMPARE(VarloLibrary::axisCount(), 0);
    QCOMPARE(ExchangeCallback(&recordState, &early), VARLO_OK);

    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 6);
    QObject::connect(VarloLibrary::components(), &QRobot::exChangeClock, this, [this] { ++clocks; });
}

void tst_StateBeforeConnect::initialValuesAfterConnect_data()
{
    gettersBeforeConnect_data();
}

// Connected, but the controller reports nothing yet (its exchange replies are
// empty): zeros, except power on and arm orientation 1.
void tst_StateBeforeConnect::initialValuesAfterConnect()
{
    QFETCH(int, index);
    QTRY_VERIFY(clocks >= 1);
    const Getter getter = getters().at(index);
    int32_t result = -1;
    const QByteArray buffer = readGetter(getter, &result);
    QCOMPARE(result, VARLO_OK);
    QCOMPARE(buffer.mid(getter.size), QByteArray(8, char(Untouched)));

    QByteArray expected(getter.size, '\0');
    const QByteArray name(getter.name);
    if (name == "GetExchange") {
        for (const Field &field : recordFields())
            expected.replace(field.offset, field.size, field.initial);
    } else if (name == "GetArmOrientation") {
        expected = int32s({ 1 });
    } else if (name == "GetPowerMode") {
        expected = flag(true);
    }
    QCOMPARE(buffer.left(getter.size).toHex(), expected.toHex());
}

// Registered while the axis count was 0: the RDN coordinate and the arm
// orientation never call it, whatever the robot turned out to be.
void tst_StateBeforeConnect::noRobotSpecificCallsForAnEarlyRegistration()
{
    QCOMPARE(early.records.size(), 0);
    int rdn = 0;
    ctl->on("POST", ExchangePath).handle([&rdn](const VarloTest::Request &) {
        ++rdn;
        return VarloTest::Reply::json(QJsonObject{
            { "rdnCoordinate", toArray({ double(rdn), 2, 3, 4 }) },
            { "armOrientation", rdn },
        });
    });
    const int start = clocks;
    QTRY_VERIFY(clocks >= start + 3);
    QCOMPARE(early.records.size(), 0);
    int32_t orientation = 0;
    QCOMPARE(GetArmOrientation(&orientation), VARLO_OK);
    QVERIFY(orientation >= 2); // the changes did arrive

    // The other notifications do call it, with the one library-wide record.
    ctl->on("POST", ExchangePath).reply(QJsonObject{ { "jointCoordinate", toArray({ 1, 2, 3, 4, 5, 6 }) } });
    QTRY_VERIFY(early.records.size() >= 2);
    QCOMPARE(early.pointers.first(), early.pointers.last());
    QCOMPARE(valueAt<float>(early.records.last(), 13 + 5 * 4), 6.0f);
    ctl->on("POST", ExchangePath).reply(QJsonObject());
}

void tst_StateBeforeConnect::nullPointersWhileConnected_data()
{
    nullPointers_data();
}

void tst_StateBeforeConnect::nullPointersWhileConnected()
{
    nullPointers();
}

// A refused SetDO asks nothing of the controller.
void tst_StateBeforeConnect::refusedSetDOSendsNothing()
{
    ctl->clearRequests();
    QCOMPARE(SetDO(nullptr), VARLO_INVALID_ARGUMENT);
    QVERIFY(ctl->waitForRequests("POST", ExchangePath, 2, 3000));
    for (const VarloTest::Request &request : ctl->requests("POST", ExchangePath))
        QCOMPARE(request.json().value("outputs").toObject().value("enable").toBool(true), false);
}

QTEST_GUILESS_MAIN(tst_StateBeforeConnect)
#include "tst_statebeforeconnect.moc"
