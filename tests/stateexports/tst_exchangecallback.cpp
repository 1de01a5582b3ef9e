// The state callback and GetExchange against a 6-axis or a 4-axis controller
// double (ROBOT_AXES, ROBOT_ADDRESS come from the build). One library state
// per process, so the test functions run in order and build on each other.
#include "Varlo.h"
#include "api/library.h"
#include "robot/qrobot.h"
#include "stateexportstest.h"

#include "componenttest.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

using namespace StateExportsTest;

namespace {

// The notifications that call the callback, in the order in which the
// exchange emits them for fullReply(), each with the first reply key whose
// value it follows.
QList<QByteArray> expectedCalls(int axes)
{
    QList<QByteArray> calls{ "controlMode", "JogMode", "toolCoordinate", "userCoordinate", "autoManual" };
    if (axes == 4)
        calls << "armOrientation";
    if (axes == 6)
        calls << "rdnCoordinate";
    calls << "jointCoordinate" << "cartesianCoordinate" << "isCollision" << "alarms" << "outputs" << "inputs";
    return calls;
}

// The reply key that brings each record field, in decoding order.
const QList<QPair<QByteArray, QByteArray>> FieldSources{
    { "isEnabled", "controlMode" },
    { "isJog", "JogMode" },
    { "toolCoordinate", "toolCoordinate" },
    { "userCoordinate", "userCoordinate" },
    { "isAuto", "autoManual" },
    { "armOrientation", "armOrientation" },
    { "rdnCoordinate", "rdnCoordinate" },
    { "jointCoordinate", "jointCoordinate" },
    { "cartesianCoordinate", "cartesianCoordinate" },
    { "isCollision", "isCollision" },
    { "isPower", "powerState" },
    { "alarms", "alarms" },
    { "DO", "outputs" },
    { "DI", "inputs" },
};

int decodeIndex(const QByteArray &key)
{
    static const QList<QByteArray> order{ "controlMode", "JogMode", "toolCoordinate", "userCoordinate",
                                          "autoManual", "armOrientation", "rdnCoordinate",
                                          "jointCoordinate", "cartesianCoordinate", "isCollision",
                                          "powerState", "alarms", "outputs", "inputs" };
    return order.indexOf(key);
}

// Whether the callback's record follows a field on this robot.
bool refreshedInCallback(const QByteArray &field, int axes)
{
    if (field == "isPower" || field == "rdnCoordinate")
        return axes == 6;
    if (field == "armOrientation")
        return axes == 4;
    return true;
}

QByteArray sourceOf(const QByteArray &field)
{
    for (const auto &pair : FieldSources) {
        if (pair.first == field)
            return pair.second;
    }
    return QByteArray();
}

} // namespace

class tst_ExchangeCallback : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void callbackPerNotification();
    void freshRecordAtEveryCall_data();
    void freshRecordAtEveryCall();
    void everyRegistrationIsCalled();
    void powerChangeAloneDoesNotCall();
    void getExchangeLayout_data();
    void getExchangeLayout();
    void getExchangeFlags_data();
    void getExchangeFlags();
    void gettersCopyMirroredValues();
    void callbackFollowsEveryCycle();

private:
    // Serves `reply` to exactly one exchange and waits until that cycle has
    // ended, so that every call it caused has happened.
    void serveOneCycle(const QJsonObject &reply);

    int clocks = 0;
    CallbackLog log;
    CallbackLog secondLog;
};

void tst_ExchangeCallback::initTestCase()
{
    startController(QStringLiteral(ROBOT_ADDRESS), ROBOT_AXES);

    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), ROBOT_AXES);
    QObject::connect(VarloLibrary::components(), &QRobot::exChangeClock, this, [this] { ++clocks; });
    QCOMPARE(ExchangeCallback(&recordState, &log), VARLO_OK);
    QCOMPARE(ExchangeCallback(&recordState, &secondLog), VARLO_OK);
}

void tst_ExchangeCallback::serveOneCycle(const QJsonObject &reply)
{
    VarloTest::Script once = ctl->on("POST", ExchangePath).reply(reply).once();
    QTRY_COMPARE(once.used(), 1);
    // The reply is decoded at the latest in the cycle that ends next.
    const int start = clocks;
    QTRY_VERIFY(clocks >= start + 1);
}

void tst_ExchangeCallback::callbackPerNotification()
{
    serveOneCycle(fullReply());
    const QList<QByteArray> calls = expectedCalls(ROBOT_AXES);
    QCOMPARE(log.records.size(), calls.size());
    // Always the library's one record.
    for (const void *pointer : qAsConst(log.pointers))
        QCOMPARE(pointer, log.pointers.first());
}

// At each call the record holds what the exchange had decoded so far: the
// fields of the keys before the notification's key and of the key itself are
// new, the later ones still old; the fields this robot's callback does not
// follow keep their initial values throughout.
void tst_ExchangeCallback::freshRecordAtEveryCall_data()
{
    QTest::addColumn<int>("call");
    const QList<QByteArray> calls = expectedCalls(ROBOT_AXES);
    for (int i = 0; i < calls.size(); ++i)
        QTest::newRow(calls.at(i).constData()) << i;
}

void tst_ExchangeCallback::freshRecordAtEveryCall()
{
    QFETCH(int, call);
    QVERIFY(call < log.records.size());
    const QByteArray record = log.records.at(call);
    const int decodedUpTo = decodeIndex(expectedCalls(ROBOT_AXES).at(call));
    for (const Field &field : recordFields()) {
        const bool refreshed = refreshedInCallback(field.name, ROBOT_AXES)
            && decodeIndex(sourceOf(field.name)) <= decodedUpTo;
        const QByteArray expected = refreshed ? field.changed : field.initial;
        QVERIFY2(record.mid(field.offset, field.size) == expected,
                 qPrintable(QStringLiteral("%1 is %2").arg(QLatin1String(field.name),
                                                           refreshed ? "not refreshed" : "refreshed")));
    }
}

void tst_ExchangeCallback::everyRegistrationIsCalled()
{
    QCOMPARE(secondLog.records, log.records);
}

void tst_ExchangeCallback::powerChangeAloneDoesNotCall()
{
    log = CallbackLog();
    serveOneCycle(QJsonObject{ { "powerState", "on" } });
    QCOMPARE(log.records.size(), 0);
    bool isPower = false;
    QCOMPARE(GetPowerMode(&isPower), VARLO_OK);
    QVERIFY(isPower);
    serveOneCycle(QJsonObject{ { "powerState", "off" } });
    QCOMPARE(GetPowerMode(&isPower), VARLO_OK);
    QVERIFY(!isPower);
    QCOMPARE(log.records.size(), 0);
}

// A host reads the packed record by the documented offsets; GetExchange fills
// every field whatever the axis count, and not a byte more.
void tst_ExchangeCallback::getExchangeLayout_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");
    for (const Field &field : recordFields())
        QTest::newRow(field.name) << field.offset << field.changed;
}

void tst_ExchangeCallback::getExchangeLayout()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    QByteArray buffer(RecordSize + 16, char(0xEE));
    QCOMPARE(GetExchange(reinterpret_cast<VarloExchangeRecord *>(buffer.data())), VARLO_OK);
    QCOMPARE(buffer.mid(offset, expected.size()).toHex(), expected.toHex());
    QCOMPARE(buffer.mid(RecordSize), QByteArray(16, char(0xEE)));
}

void tst_ExchangeCallback::getExchangeFlags_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("expected");
    QTest::newRow("jog") << QJsonObject{ { "JogMode", "jog" } } << 3 << true;
    QTest::newRow("step") << QJsonObject{ { "JogMode", "step" } } << 3 << false;
    QTest::newRow("manual") << QJsonObject{ { "autoManual", "manual" } } << 4 << false;
    QTest::newRow("auto") << QJsonObject{ { "autoManual", "auto" } } << 4 << true;
    QTest::newRow("disable") << QJsonObject{ { "controlMode", "disable" } } << 0 << false;
    QTest::newRow("drag") << QJsonObject{ { "controlMode", "drag" } } << 0 << true;
    QTest::newRow("enable") << QJsonObject{ { "controlMode", "enable" } } << 0 << true;
    QTest::newRow("no collision") << QJsonObject{ { "isCollision", 0 } } << 2 << false;
}

void tst_ExchangeCallback::getExchangeFlags()
{
    QFETCH(QJsonObject, reply);
    QFETCH(int, offset);
    QFETCH(bool, expected);
    serveOneCycle(reply);
    VarloExchangeRecord record;
    QCOMPARE(GetExchange(&record), VARLO_OK);
    const QByteArray bytes = bytesOf(record);
    QCOMPARE(int(bytes.at(offset)), expected ? 1 : 0);
}

void tst_ExchangeCallback::gettersCopyMirroredValues()
{
    serveOneCycle(fullReply());
    auto fieldBytes = [](const char *name) {
        for (const Field &field : recordFields()) {
            if (qstrcmp(field.name, name) == 0)
                return field.changed;
        }
        return QByteArray();
    };

    float pose[6];
    QCOMPARE(GetCartesianCoordinate(pose), VARLO_OK);
    QCOMPARE(bytesOf(pose), fieldBytes("cartesianCoordinate"));
    float joints[6];
    QCOMPARE(GetJointCoordinate(joints), VARLO_OK);
    QCOMPARE(bytesOf(joints), fieldBytes("jointCoordinate"));
    int32_t rdn[4];
    QCOMPARE(GetRdnCoordinate(rdn), VARLO_OK);
    QCOMPARE(bytesOf(rdn), fieldBytes("rdnCoordinate"));
    int32_t orientation = 0;
    QCOMPARE(GetArmOrientation(&orientation), VARLO_OK);
    QCOMPARE(orientation, 7);
    VarloIO outputs;
    QCOMPARE(GetDO(&outputs), VARLO_OK);
    QCOMPARE(bytesOf(outputs), fieldBytes("DO"));
    VarloIO inputs;
    QCOMPARE(GetDI(&inputs), VARLO_OK);
    QCOMPARE(bytesOf(inputs), fieldBytes("DI"));
    int32_t mode = -1;
    QCOMPARE(GetControlMode(&mode), VARLO_OK);
    QCOMPARE(mode, 1);
    ctl->on("POST", ExchangePath).reply(QJsonObject{ { "controlMode", "drag" } }).once();
    auto controlMode = [&mode] {
        GetControlMode(&mode);
        return mode;
    };
    QTRY_COMPARE(controlMode(), 2);
}

// The coordinates notify on every cycle: the callback sees each cycle's
// value once, none skipped, none twice.
void tst_ExchangeCallback::callbackFollowsEveryCycle()
{
    int served = 0;
    VarloTest::Script counting = ctl->on("POST", ExchangePath).handle([&served](const VarloTest::Request &) {
        ++served;
        return VarloTest::Reply::json(QJsonObject{ { "jointCoordinate", toArray({ double(served), 0, 0, 0, 0, 0 }) } });
    });
    log = CallbackLog();
    QTRY_VERIFY_WITH_TIMEOUT(log.records.size() >= 4, 5000);
    counting.remove();
    const int start = clocks;
    QTRY_VERIFY(clocks >= start + 1);

    QVERIFY(served >= log.records.size());
    const float first = valueAt<float>(log.records.first(), 13);
    for (int i = 0; i < log.records.size(); ++i)
        QCOMPARE(valueAt<float>(log.records.at(i), 13), first + i);
}

QTEST_GUILESS_MAIN(tst_ExchangeCallback)
#include "tst_exchangecallback.moc"
