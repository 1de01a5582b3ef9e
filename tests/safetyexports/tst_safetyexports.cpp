// The safety, alarm and version exports as a host calls them. The library
// state is one per process, so the test functions run in order: first before
// ConnectVarlo, then connected, last with the controller gone.
#include "Varlo.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#include <functional>


namespace {

const char Address[] = "127.0.0.32";
const char CollisionDoc[] = "/settings/function/collisionDect";
const char ControllerAlarms[] = "/properties/alarm_controller";
const char ServoAlarms[] = "/properties/alarm_servo";

QString text16(const uint16_t *field, int size = 256)
{
    int length = 0;
    while (length < size && field[length])
        ++length;
    if (length == size)
        return QStringLiteral("<not terminated>");
    return QString::fromUtf16(field, length);
}

QStringList fields(const VarloVersionRecord &record)
{
    QStringList list;
    for (const char *field : { record.library, record.control, record.algs, record.system }) {
        if (!std::memchr(field, '\0', 25))
            list.append(QStringLiteral("<not terminated>"));
        else
            list.append(QString::fromUtf8(field));
    }
    return list;
}

QJsonObject texts(const QString &description, const QString &cause, const QString &solution)
{
    return QJsonObject{ { "description", description }, { "cause", cause }, { "solution", solution } };
}

VarloAlarmRecord staleAlarm()
{
    VarloAlarmRecord record;
    std::memset(&record, 0x41, sizeof record);
    return record;
}

} // namespace

using HostCommand = std::function<int32_t()>;
Q_DECLARE_METATYPE(HostCommand)

class tst_SafetyExports : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void beforeConnectNothingIsTouched();
    void connect();
    void nullPointersAreRefused();

    void versionRecord();
    void versionRecordWhenTheRequestFails();
    void commands_data();
    void commands();

    void alarmTexts_data();
    void alarmTexts();
    void alarmTextsAreCutToTheField_data();
    void alarmTextsAreCutToTheField();
    void alarmWithoutAMatchLeavesNothingStale_data();
    void alarmWithoutAMatchLeavesNothingStale();

    void collisionMode();
    void collisionModeReadFailureKeepsTheHostValues();

    void controllerUnreachable();

private:
};

void tst_SafetyExports::initTestCase()
{
    startController(Address, 6);
    ctl->on("POST", "/interface/*").reply(QJsonObject());
    ctl->on("POST", "/settings/controlMode").reply(QJsonObject());
}

void tst_SafetyExports::beforeConnectNothingIsTouched()
{
    VarloVersionRecord version;
    std::memset(&version, 'Z', sizeof version);
    QCOMPARE(GetVarloVersion(&version), VARLO_NO_CONNECTION);
    QCOMPARE(version.library[0], 'Z');

    VarloAlarmRecord alarm = staleAlarm();
    QCOMPARE(GetAlarmsParameter(1, 0, &alarm, true), VARLO_NO_CONNECTION);
    QCOMPARE(alarm.id, 0x41414141u);

    bool on = true;
    int32_t level = 9;
    QCOMPARE(GetCollisionMode(&on, &level), VARLO_NO_CONNECTION);
    QCOMPARE(on, true);
    QCOMPARE(level, 9);

    const int32_t mode = 1;
    QCOMPARE(SetControlMode(&mode), VARLO_NO_CONNECTION);
    QCOMPARE(SetPowerMode(true), VARLO_NO_CONNECTION);
    QCOMPARE(SetCollisionMode(true, 1), VARLO_NO_CONNECTION);
    QCOMPARE(ResetCollision(), VARLO_NO_CONNECTION);
    QCOMPARE(EmergencyStop(), VARLO_NO_CONNECTION);
    QCOMPARE(ctl->count(), 0);
}

void tst_SafetyExports::connect()
{
    QCOMPARE(ConnectVarlo(Address), VARLO_OK);
}

void tst_SafetyExports::nullPointersAreRefused()
{
    ctl->clearRequests();
    QCOMPARE(GetVarloVersion(nullptr), VARLO_INVALID_ARGUMENT);
    QCOMPARE(SetControlMode(nullptr), VARLO_INVALID_ARGUMENT);
    QCOMPARE(GetAlarmsParameter(1, 0, nullptr, true), VARLO_INVALID_ARGUMENT);
    bool on = true;
    int32_t level = 9;
    QCOMPARE(GetCollisionMode(nullptr, &level), VARLO_INVALID_ARGUMENT);
    QCOMPARE(GetCollisionMode(&on, nullptr), VARLO_INVALID_ARGUMENT);
    QCOMPARE(on, true);
    QCOMPARE(level, 9);
    QCOMPARE(ctl->count("POST", "/settings/*"), 0);
    QCOMPARE(ctl->count("GET", "/file/read*"), 0);
}

void tst_SafetyExports::versionRecord()
{
    ctl->on("POST", "/settings/version")
        .reply(QJsonObject{ { "control", "C-2.4.1" }, { "algs", QString(30, 'a') }, { "unio", "U" } })
        .once();
    VarloVersionRecord record;
    std::memset(&record, 'Z', sizeof record);
    QCOMPARE(GetVarloVersion(&record), VARLO_OK);
    QCOMPARE(fields(record), (QStringList{ "1.2.0_", "C-2.4.1", QString(24, 'a'), "NULL" }));
}

void tst_SafetyExports::versionRecordWhenTheRequestFails()
{
    ctl->on("POST", "/settings/version").status(500).once();
    VarloVersionRecord record;
    std::memset(&record, 'Z', sizeof record);
    QCOMPARE(GetVarloVersion(&record), VARLO_OK);
    QCOMPARE(fields(record), (QStringList{ "1.2.0_", "NULL", "NULL", "NULL" }));
}

// Each command goes out once with its body; a refused command still returns 0
// (the component logs it).
void tst_SafetyExports::commands_data()
{
    QTest::addColumn<HostCommand>("call");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonObject>("body");
    QTest::newRow("control mode") << HostCommand([] { const int32_t m = 2; return SetControlMode(&m); })
                                  << "/settings/controlMode" << QJsonObject{ { "controlMode", "drag" } };
    QTest::newRow("power") << HostCommand([] { return SetPowerMode(true); }) << "/interface/powerControl"
                           << QJsonObject{ { "value", true } };
    QTest::newRow("reset collision") << HostCommand(&ResetCollision) << "/interface/resetCollision" << QJsonObject();
    QTest::newRow("emergency stop") << HostCommand(&EmergencyStop) << "/panel/emergencyStop"
                                    << QJsonObject{ { "value", true } };
}

void tst_SafetyExports::commands()
{
    QFETCH(HostCommand, call);
    QFETCH(QString, path);
    QFETCH(QJsonObject, body);
    ctl->on("POST", path).reply(QJsonObject());
    ctl->clearRequests();
    QCOMPARE(call(), VARLO_OK);
    QCOMPARE(ctl->count("POST", path), 1);
    QCOMPARE(ctl->lastRequest("POST", path).json(), body);
    ctl->on("POST", path).status(500).once();
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QCOMPARE(call(), VARLO_OK);
    QCOMPARE(ctl->count("POST", path), 2);
}

void tst_SafetyExports::alarmTexts_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<int>("catalogue");
    QTest::addColumn<bool>("english");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("description");

    const QString han = QString::fromUtf8("\xe7\xa2\xb0\xe6\x92\x9e"); // "collision" in Chinese
    QTest::newRow("controller, english") << 12u << 0 << true << 3 << "Collision";
    QTest::newRow("controller, chinese") << 12u << 0 << false << 3 << han;
    QTest::newRow("servo") << 12u << 1 << true << 4 << "Servo fault";
    QTest::newRow("catalogue 3 is servo") << 12u << 3 << true << 4 << "Servo fault";
    QTest::newRow("large id") << 4000000000u << 0 << true << 1 << "Large";
}

void tst_SafetyExports::alarmTexts()
{
    QFETCH(uint, id);
    QFETCH(int, catalogue);
    QFETCH(bool, english);
    QFETCH(QString, description);
    const QString han = QString::fromUtf8("\xe7\xa2\xb0\xe6\x92\x9e");
    ctl->setDocument(ControllerAlarms,
                     QJsonArray{ QJsonObject{ { "id", 12 }, { "level", 3 },
                                              { "en", texts("Collision", "Contact", "Reset") },
                                              { "zh_CN", texts(han, han, han) } },
                                 QJsonObject{ { "id", 4000000000.0 }, { "level", 1 },
                                              { "en", texts("Large", "", "") } } });
    ctl->setDocument(ServoAlarms, QJsonArray{ QJsonObject{ { "id", 12 }, { "level", 4 },
                                                           { "en", texts("Servo fault", "Drive", "Power cycle") } } });
    VarloAlarmRecord record = staleAlarm();
    QCOMPARE(GetAlarmsParameter(id, catalogue, &record, english), VARLO_OK);
    QCOMPARE(record.id, uint32_t(id));
    QTEST(int(record.level), "level");
    QCOMPARE(text16(record.description), description);
}

void tst_SafetyExports::alarmTextsAreCutToTheField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80"); // two UTF-16 units
    QTest::newRow("255 units fit") << QString(255, 'a') << QString(255, 'a');
    QTest::newRow("longer is cut") << QString(400, 'b') << QString(255, 'b');
    QTest::newRow("pair across the end") << QString(254, 'c') + smile << QString(254, 'c');
    QTest::newRow("pair at the end") << QString(253, 'd') + smile + "d" << QString(253, 'd') + smile;
    QTest::newRow("pairs only") << smile.repeated(200) << smile.repeated(127);
}

void tst_SafetyExports::alarmTextsAreCutToTheField()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    ctl->setDocument(ControllerAlarms,
                     QJsonArray{ QJsonObject{ { "id", 7 }, { "level", 2 }, { "en", texts(text, "c", text) } } });
    VarloAlarmRecord record = staleAlarm();
    QCOMPARE(GetAlarmsParameter(7, 0, &record, true), VARLO_OK);
    QCOMPARE(text16(record.description), stored);
    QCOMPARE(text16(record.solution), stored);
    QCOMPARE(text16(record.cause), QString("c"));
    // Nothing of the earlier contents survives behind the terminator.
    for (int i = 1; i < 256; ++i)
        QCOMPARE(record.cause[i], uint16_t(0));
}

void tst_SafetyExports::alarmWithoutAMatchLeavesNothingStale_data()
{
    QTest::addColumn<QJsonArray>("catalogue"); // empty: no catalogue at all
    QTest::addColumn<int>("level");
    QTest::newRow("id missing") << QJsonArray{ QJsonObject{ { "id", 1 }, { "level", 5 }, { "en", texts("a", "b", "c") } } }
                                << 0;
    QTest::newRow("entries of the wrong type") << QJsonArray{ 5, "5", QJsonArray{ 5 }, QJsonValue::Null } << 0;
    QTest::newRow("no english texts") << QJsonArray{ QJsonObject{ { "id", 5 }, { "level", 2 },
                                                                  { "zh_CN", texts("a", "b", "c") } } }
                                      << 2;
    QTest::newRow("no catalogue") << QJsonArray() << 0;
}

void tst_SafetyExports::alarmWithoutAMatchLeavesNothingStale()
{
    QFETCH(QJsonArray, catalogue);
    if (catalogue.isEmpty())
        ctl->removeDocument(ServoAlarms);
    else
        ctl->setDocument(ServoAlarms, catalogue);
    VarloAlarmRecord record = staleAlarm();
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QCOMPARE(GetAlarmsParameter(5, 1, &record, true), VARLO_OK);
    QCOMPARE(record.id, 5u);
    QTEST(int(record.level), "level");
    for (const uint16_t *field : { record.description, record.cause, record.solution }) {
        for (int i = 0; i < 256; ++i)
            QCOMPARE(field[i], uint16_t(0));
    }
}

void tst_SafetyExports::collisionMode()
{
    ctl->removeDocument(CollisionDoc);
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QCOMPARE(SetCollisionMode(true, 4), VARLO_OK);
    QJsonObject document = ctl->documentObject(CollisionDoc);
    QCOMPARE(document.value("value"), QJsonValue(true));
    QCOMPARE(document.value("mode"), QJsonValue(0));
    QCOMPARE(document.value("resumeType"), QJsonValue(0));
    QCOMPARE(document.value("level"), QJsonValue(4));
    QCOMPARE(document.value("Level5").toArray(), (QJsonArray{ 10, 10, 10, 3, 3, 3 }));

    bool on = false;
    int32_t level = 0;
    QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
    QCOMPARE(on, true);
    QCOMPARE(level, 4);

    // The second call keeps what the controller stores besides the four keys.
    document.insert("mode", 1);
    document.insert("Level1", QJsonArray{ 1, 1, 1, 1, 1, 1 });
    ctl->setDocument(CollisionDoc, document);
    QCOMPARE(SetCollisionMode(false, 1), VARLO_OK);
    const QJsonObject updated = ctl->documentObject(CollisionDoc);
    QCOMPARE(updated.value("value"), QJsonValue(false));
    QCOMPARE(updated.value("mode"), QJsonValue(0));
    QCOMPARE(updated.value("level"), QJsonValue(1));
    QCOMPARE(updated.value("Level1").toArray(), (QJsonArray{ 1, 1, 1, 1, 1, 1 }));
    QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
    QCOMPARE(on, false);
    QCOMPARE(level, 1);
}

void tst_SafetyExports::collisionModeReadFailureKeepsTheHostValues()
{
    ctl->removeDocument(CollisionDoc);
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    bool on = true;
    int32_t level = 3;
    QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
    QVERIFY(log.hasLine("collisionDect_getParaError"));
    QCOMPARE(on, true);
    QCOMPARE(level, 3);

    // A key the document lacks keeps the host's value too.
    ctl->setDocument(CollisionDoc, QJsonObject{ { "level", 2 } });
    QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
    QCOMPARE(on, true);
    QCOMPARE(level, 2);
}

void tst_SafetyExports::controllerUnreachable()
{
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QCOMPARE(DisconnectVarlo(), VARLO_OK);
    ctl->close();

    VarloVersionRecord record;
    std::memset(&record, 'Z', sizeof record);
    QCOMPARE(GetVarloVersion(&record), VARLO_OK);
    QCOMPARE(fields(record), (QStringList{ "1.2.0_", "NULL", "NULL", "NULL" }));

    VarloAlarmRecord alarm = staleAlarm();
    QCOMPARE(GetAlarmsParameter(9, 0, &alarm, false), VARLO_OK);
    QCOMPARE(alarm.id, 9u);
    QCOMPARE(text16(alarm.description), QString());

    const int32_t mode = 1;
    QCOMPARE(SetControlMode(&mode), VARLO_OK);
    QCOMPARE(SetPowerMode(false), VARLO_OK);
    QCOMPARE(SetCollisionMode(true, 2), VARLO_OK);
    QCOMPARE(ResetCollision(), VARLO_OK);
    QCOMPARE(EmergencyStop(), VARLO_OK);
}

QTEST_GUILESS_MAIN(tst_SafetyExports)
#include "tst_safetyexports.moc"
