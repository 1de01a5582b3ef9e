// The state exports against a 6-axis or a 4-axis controller double (ROBOT_AXES,
// ROBOT_ADDRESS come from the build): the callback per notification with a
// freshly filled record, the axis-count rules, the record read back by its
// documented byte offsets, and SetDO/ClearAlarms as the controller sees them.
// One library state per process: the test functions build on each other.
#include "Varlo.h"
#include "api/library.h"
#include "fixture.h"
#include "Varlo/qrobot.h"

#include <algorithm>
#include <cstring>

using namespace VarloTest;

namespace {

const char Exchange[] = "/protocol/exchange";
const int RecordSize = 2003;

struct CallbackLog
{
    QList<QByteArray> records;
    QList<const void *> pointers;
};

void recordState(VarloExchangeRecord *record, void *userData)
{
    auto *log = static_cast<CallbackLog *>(userData);
    log->records.append(QByteArray(reinterpret_cast<const char *>(record), RecordSize));
    log->pointers.append(record);
}

template <typename T> QByteArray bytes(std::initializer_list<T> values)
{
    QByteArray b;
    for (T v : values)
        b.append(reinterpret_cast<const char *>(&v), sizeof v);
    return b;
}

QByteArray io(std::initializer_list<int> channelsOn)
{
    QByteArray b(65, '\0');
    for (int channel : channelsOn)
        b[1 + channel] = '\1';
    return b;
}


// A field of the record: its offset, the reply key it follows (in decoding
// order), its bytes before the first reply and after fullReply().
struct Field
{
    const char *name;
    int offset;
    const char *key;
    QByteArray initial;
    QByteArray changed;
};

QList<Field> fields()
{
    QByteArray alarms; // group g: every word g + 1
    for (int word = 0; word < 7 * 64; ++word)
        alarms += bytes<qint32>({ word / 64 + 1 });
    return {
        { "isEnabled", 0, "controlMode", QByteArray(1, '\0'), "\1" },
        { "isJog", 3, "JogMode", "\1", QByteArray(1, '\0') },
        { "toolCoordinate", 5, "toolCoordinate", bytes<qint32>({ 0 }), bytes<qint32>({ 3 }) },
        { "userCoordinate", 9, "userCoordinate", bytes<qint32>({ 0 }), bytes<qint32>({ 5 }) },
        { "isAuto", 4, "autoManual", QByteArray(1, '\0'), "\1" },
        { "armOrientation", 1869, "armOrientation", bytes<qint32>({ 1 }), bytes<qint32>({ 7 }) },
        { "rdnCoordinate", 1853, "rdnCoordinate", QByteArray(16, '\0'), bytes<qint32>({ 1, -2, 3, 4 }) },
        { "jointCoordinate", 13, "jointCoordinate", QByteArray(24, '\0'), bytes<float>({ 10.5f, -20.25f, 30, 40, 50, -60.125f }) },
        { "cartesianCoordinate", 37, "cartesianCoordinate", QByteArray(24, '\0'), bytes<float>({ 400.5f, -100, 250.75f, 180, 0.5f, -90 }) },
        { "isCollision", 2, "isCollision", QByteArray(1, '\0'), "\1" },
        { "isPower", 1, "powerState", "\1", QByteArray(1, '\0') },
        { "alarms", 61, "alarms", QByteArray(1792, '\0'), alarms },
        { "DO", 1873, "outputs", io({}), io({ 0, 2, 63 }) },
        { "DI", 1938, "inputs", io({}), io({ 8, 9, 10, 11, 12, 13, 14, 15 }) },
    };
}

QJsonObject fullReply()
{
    QJsonArray alarms;
    for (int g = 0; g < 7; ++g)
        alarms.append(many(64, g + 1));
    return QJsonObject{ { "controlMode", "enable" }, { "dragMode", "enable" }, { "JogMode", "step" },
                        { "toolCoordinate", 3 }, { "userCoordinate", 5 }, { "autoManual", "auto" },
                        { "armOrientation", 7 }, { "rdnCoordinate", numbers({ 1, -2, 3, 4 }) },
                        { "jointCoordinate", numbers({ 10.5, -20.25, 30, 40, 50, -60.125 }) },
                        { "cartesianCoordinate", numbers({ 400.5, -100, 250.75, 180, 0.5, -90 }) },
                        { "isCollision", 1 }, { "powerState", "off" }, { "alarms", alarms },
                        { "outputs", numbers({ 5, 0, 0, 0, 0, 0, 0, 128 }) },
                        { "inputs", numbers({ 0, 255, 0, 0, 0, 0, 0, 0 }) } };
}

// The keys whose notification calls the callback, in the order the exchange
// emits them; the RDN coordinate only for a 6-axis and the arm orientation
// only for a 4-axis registration.
QList<QByteArray> calls(int axes)
{
    QList<QByteArray> keys{ "controlMode", "JogMode", "toolCoordinate", "userCoordinate", "autoManual" };
    keys << (axes == 4 ? "armOrientation" : axes == 6 ? "rdnCoordinate" : QByteArray());
    keys << "jointCoordinate" << "cartesianCoordinate" << "isCollision" << "alarms" << "outputs" << "inputs";
    keys.removeAll(QByteArray());
    return keys;
}

int decodeIndex(const QByteArray &key)
{
    const QList<Field> all = fields();
    return int(std::find_if(all.begin(), all.end(), [&key](const Field &f) { return key == f.key; }) - all.begin());
}

} // namespace

class tst_StateExports : public QObject
{
    Q_OBJECT
    Fixture f{ ROBOT_ADDRESS };
    int clocks = 0;
    CallbackLog early, log, second;

    // Serves `reply` to exactly one exchange and waits until that cycle has ended.
    void serveOneCycle(const QJsonObject &reply) {
        const std::shared_ptr<Route> once = f.ctl.on("POST", Exchange, reply, 1);
        WAIT_FOR(once->used == 1);
        const int start = clocks;
        WAIT_FOR(clocks > start);
    }

private Q_SLOTS:
    void initTestCase() {
        START_OR_SKIP(f, f.start(ROBOT_AXES));
        // Registered while the axis count is not known yet.
        QCOMPARE(ExchangeCallback(&recordState, &early), VARLO_OK);
        QCOMPARE(ConnectVarlo(ROBOT_ADDRESS), VARLO_OK);
        QObject::connect(VarloLibrary::components(), &QRobot::exChangeClock, this, [this] { ++clocks; });
        QCOMPARE(ExchangeCallback(&recordState, &log), VARLO_OK);
        QCOMPARE(ExchangeCallback(&recordState, &second), VARLO_OK);
    }

    // Connected, the controller reporting nothing yet: zeros, except power
    // on and arm orientation 1.
    void initialValues() {
        WAIT_FOR(clocks >= 1);
        QByteArray buffer(RecordSize + 8, char(0xEE));
        QCOMPARE(GetExchange(reinterpret_cast<VarloExchangeRecord *>(buffer.data())), VARLO_OK);
        QByteArray expected(RecordSize, '\0');
        for (const Field &field : fields())
            expected.replace(field.offset, field.initial.size(), field.initial);
        expected += QByteArray(8, char(0xEE));
        QCOMPARE(buffer.toHex(), expected.toHex());
    }

    void callbackPerNotification() {
        serveOneCycle(fullReply());
        QCOMPARE(log.records.size(), calls(ROBOT_AXES).size());
        QCOMPARE(second.records, log.records);
        QCOMPARE(early.records.size(), calls(0).size());
        for (const void *pointer : qAsConst(log.pointers))
            QCOMPARE(pointer, early.pointers.first()); // the library's one record
    }

    // At each call the record holds what the exchange had decoded so far; the
    // fields a registration does not follow keep their initial values.
    void freshRecordAtEveryCall_data() {
        QTest::addColumn<int>("call");
        for (int i = 0; i < calls(ROBOT_AXES).size(); ++i)
            QTest::newRow(calls(ROBOT_AXES).at(i).constData()) << i;
    }
    void freshRecordAtEveryCall() {
        QFETCH(int, call);
        const QByteArray record = log.records.value(call);
        const int decodedUpTo = decodeIndex(calls(ROBOT_AXES).at(call));
        for (const Field &field : fields()) {
            const QByteArray name(field.name);
            const bool followed = name == "isPower" || name == "rdnCoordinate" ? ROBOT_AXES == 6
                : name == "armOrientation" ? ROBOT_AXES == 4 : true;
            const bool fresh = followed && decodeIndex(field.key) <= decodedUpTo;
            QVERIFY2(record.mid(field.offset, field.changed.size()) == (fresh ? field.changed : field.initial),
                     field.name);
        }
    }

    // GetExchange fills every field whatever the axis count, and not a byte more.
    void getExchangeLayout() {
        QByteArray buffer(RecordSize + 16, char(0xEE));
        QCOMPARE(GetExchange(reinterpret_cast<VarloExchangeRecord *>(buffer.data())), VARLO_OK);
        for (const Field &field : fields())
            QVERIFY2(buffer.mid(field.offset, field.changed.size()) == field.changed, field.name);
        QCOMPARE(buffer.mid(RecordSize), QByteArray(16, char(0xEE)));

        // The getters copy the same values, and not a byte more.
        char out[80];
        auto read = [&out](int32_t result, int size) {
            const QByteArray copy = result == VARLO_OK ? QByteArray(out, size + 8) : QByteArray();
            std::memset(out, 0xEE, sizeof out);
            return copy;
        };
        auto at = [&buffer](int offset, int size) { return buffer.mid(offset, size) + QByteArray(8, char(0xEE)); };
        std::memset(out, 0xEE, sizeof out);
        QCOMPARE(read(GetJointCoordinate(reinterpret_cast<float *>(out)), 24), at(13, 24));
        QCOMPARE(read(GetCartesianCoordinate(reinterpret_cast<float *>(out)), 24), at(37, 24));
        QCOMPARE(read(GetRdnCoordinate(reinterpret_cast<int32_t *>(out)), 16), at(1853, 16));
        QCOMPARE(read(GetArmOrientation(reinterpret_cast<int32_t *>(out)), 4), at(1869, 4));
        QCOMPARE(read(GetDO(reinterpret_cast<VarloIO *>(out)), 65), at(1873, 65));
        QCOMPARE(read(GetDI(reinterpret_cast<VarloIO *>(out)), 65), at(1938, 65));
        QCOMPARE(read(GetPowerMode(reinterpret_cast<bool *>(out)), 1), at(1, 1));
        QCOMPARE(read(GetControlMode(reinterpret_cast<int32_t *>(out)), 4), bytes<qint32>({ 1 }) + QByteArray(8, char(0xEE)));
        int32_t mode = -1;
        serveOneCycle(QJsonObject{ { "controlMode", "drag" }, { "JogMode", "jog" } });
        QCOMPARE(GetControlMode(&mode), VARLO_OK);
        QCOMPARE(mode, 2);
        VarloExchangeRecord record;
        QCOMPARE(GetExchange(&record), VARLO_OK);
        QVERIFY(record.isEnabled && record.isJog); // drag counts as enabled
    }

    void powerChangeAloneDoesNotCall() {
        log = CallbackLog();
        bool isPower = false;
        serveOneCycle(QJsonObject{ { "powerState", "on" } });
        QCOMPARE(GetPowerMode(&isPower), VARLO_OK);
        QVERIFY(isPower);
        serveOneCycle(QJsonObject{ { "powerState", "off" } });
        QCOMPARE(GetPowerMode(&isPower), VARLO_OK);
        QVERIFY(!isPower);
        QCOMPARE(log.records.size(), 0);
    }

    // The coordinates notify on every cycle: each cycle's value once, none skipped.
    void callbackFollowsEveryCycle() {
        int served = 0;
        const std::shared_ptr<Route> counting = f.ctl.on("POST", Exchange, [&served](const Request &) {
            ++served;
            return Reply::json(QJsonObject{ { "jointCoordinate", numbers({ double(served), 0, 0, 0, 0, 0 }) } });
        });
        log = CallbackLog();
        WAIT_FOR(log.records.size() >= 4);
        f.ctl.on("POST", Exchange, QJsonObject());
        const int start = clocks;
        WAIT_FOR(clocks > start + 1);
        float first = 0, value = 0;
        std::memcpy(&first, log.records.first().constData() + 13, 4);
        for (int i = 0; i < log.records.size(); ++i) {
            std::memcpy(&value, log.records.at(i).constData() + 13, 4);
            QCOMPARE(value, first + i);
        }
    }

    // The host's record travels with the next exchange: any non-zero byte is
    // on, and the controller is asked to apply it once.
    void setDOAndClearAlarmsReachTheControllerOnce() {
        VarloIO io;
        std::memset(&io, 0, sizeof io);
        io.value[0] = io.value[7] = io.value[63] = true;
        std::memset(&io.enable, 0xff, 1);
        std::memset(&io.value[9], 0xff, 1);
        f.ctl.clearRequests();
        QCOMPARE(SetDO(&io), VARLO_OK);
        QCOMPARE(ClearAlarms(), VARLO_OK);
        QCOMPARE(ClearAlarms(), VARLO_OK);
        QVERIFY(f.ctl.waitFor("POST", Exchange, 4));
        // An exchange already on the wire may carry the old body; the next carries the requests, once.
        const QStringList sent = f.ctl.trail("POST", Exchange).filter("[129,2,0,0,0,0,0,128]");
        QVERIFY(sent.size() >= 2);
        QVERIFY(sent.at(0).contains(R"("alarms":true)") && sent.at(0).contains(R"("enable":true)"));
        for (const QString &later : sent.mid(1))
            QVERIFY(later.contains(R"("alarms":false)") && later.contains(R"("enable":false)"));
    }
};

QTEST_GUILESS_MAIN(tst_StateExports)
#include "tst_stateexports.moc"
