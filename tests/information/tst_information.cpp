// Controller information and maintenance of QRobotSettings against the
// controller double: version texts, hardware identification, the alarm
// catalogues, network settings, digital-input modes and reboot.
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>

using VarloTest::LogCapture;

namespace {

const char Address[] = "127.0.0.31";
const char HardwareDoc[] = "/settings/productInfo/hardwareInfo";
const char ControllerAlarms[] = "/properties/alarm_controller";
const char ServoAlarms[] = "/properties/alarm_servo";

const char *const ModuleKeys[13] = { "control", "algs", "system", "unio", "safeio", "servo1", "servo2",
                                     "servo3", "servo4", "servo5", "servo6", "terminal", "feedback" };

// The fourteen texts of a version record, library first.
QStringList texts(const VersionInfo &info)
{
    QStringList list;
    const char *field = reinterpret_cast<const char *>(&info);
    for (int i = 0; i < 14; ++i, field += 25) {
        if (!std::memchr(field, '\0', 25))
            list.append(QStringLiteral("<not terminated>"));
        else
            list.append(QString::fromUtf8(field));
    }
    return list;
}

QStringList texts(const QRobotType::HWVersion &info)
{
    QStringList list;
    for (const char *field : { info.SNcode, info.ControllerVersion, info.ServoVersion, info.PowerVersion }) {
        if (!std::memchr(field, '\0', 40))
            list.append(QStringLiteral("<not terminated>"));
        else
            list.append(QString::fromUtf8(field));
    }
    return list;
}

QStringList repeated(const QString &text, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(text);
    return list;
}

QJsonObject language(const QString &prefix)
{
    return QJsonObject{ { "description", prefix + " description" },
                        { "cause", prefix + " cause" },
                        { "solution", prefix + " solution" } };
}

QJsonObject alarm(int id, int level, const QString &prefix)
{
    return QJsonObject{ { "id", id }, { "level", level }, { "en", language(prefix + " en") },
                        { "zh_CN", language(prefix + " zh") } };
}

AlarmInfo staleAlarm()
{
    AlarmInfo info;
    info.id = -1;
    info.level = -1;
    info.description = "old description";
    info.cause = "old cause";
    info.solution = "old solution";
    return info;
}

} // namespace

class tst_Information : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent();
        // The controller accepts every command unless a test says otherwise.
        ctl->on("POST", "/interface/*").reply(QJsonObject());
    }
    void cleanup() { cleanupComponent(); }

    void versionTexts_data();
    void versionTexts();
    void versionFailedRequest();
    void versionReplyNotAnObject_data();
    void versionReplyNotAnObject();

    void hardwareVersion_data();
    void hardwareVersion();
    void hardwareVersionUnusable_data();
    void hardwareVersionUnusable();
    void writeHardwareVersion();

    void alarmLookup_data();
    void alarmLookup();
    void alarmCatalogueChoice_data();
    void alarmCatalogueChoice();
    void alarmCatalogueUnusable_data();
    void alarmCatalogueUnusable();
    void largeAlarmCatalogue();

    void ethernet();
    void digitalInputs();
    void commandFailuresAreLogged_data();
    void commandFailuresAreLogged();

private:
    QRobotSettings *&settings = component;
};

void tst_Information::versionTexts_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("only control") << QJsonObject{ { "control", "C 3.1" } }
                                  << (QStringList{ "1.2.0_", "C 3.1" } + repeated("NULL", 12));

    QJsonObject all;
    QStringList allTexts{ "1.2.0_" };
    for (const char *key : ModuleKeys) {
        all.insert(key, QString("v-") + key);
        allTexts.append(QString("v-") + key);
    }
    QTest::newRow("every module") << all << allTexts;

    // 24 bytes fit; longer text is cut, never inside a UTF-8 sequence.
    const QString fits = QString(24, 'x');
    const QString e = QString::fromUtf8("\xc3\xa9");      // 2 bytes
    const QString han = QString::fromUtf8("\xe4\xb8\xad"); // 3 bytes
    const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80"); // 4 bytes
    QTest::newRow("long texts") << QJsonObject{ { "control", fits }, { "algs", fits + "yz" },
                                                { "system", "a" + e.repeated(12) },
                                                { "unio", "ab" + han.repeated(8) },
                                                { "safeio", smile.repeated(7) } }
                                << (QStringList{ "1.2.0_", fits, fits, "a" + e.repeated(11),
                                                 "ab" + han.repeated(7), smile.repeated(6) }
                                    + repeated("NULL", 8));
    QTest::newRow("not strings") << QJsonObject{ { "control", 3 }, { "algs", QJsonValue::Null },
                                                 { "system", QJsonArray{ "v1" } } }
                                 << (QStringList{ "1.2.0_", "", "", "" } + repeated("NULL", 10));
}

void tst_Information::versionTexts()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QStringList, expected);
    ctl->on("POST", "/settings/version").reply(reply);
    VersionInfo info;
    std::memset(&info, 'Z', sizeof info);
    QVERIFY(settings->version(info));
    QCOMPARE(texts(info), expected);
    QCOMPARE(ctl->lastRequest("POST", "/settings/version").json(), QJsonObject());
}

void tst_Information::versionFailedRequest()
{
    ctl->on("POST", "/settings/version").status(500).replyRaw(R"({"control": "stale"})");
    VersionInfo info;
    std::memset(&info, 'Z', sizeof info);
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!settings->version(info));
    QCOMPARE(texts(info), QStringList{ "1.2.0_" } + repeated("NULL", 13));
    QVERIFY(!log.contains("QRobotSettings"));
}

void tst_Information::versionReplyNotAnObject_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("array") << QByteArray(R"(["control", "C"])");
    QTest::newRow("text") << QByteArray("control=C");
    QTest::newRow("empty") << QByteArray();
}

void tst_Information::versionReplyNotAnObject()
{
    QFETCH(QByteArray, reply);
    ctl->on("POST", "/settings/version").replyRaw(reply);
    VersionInfo info;
    std::memset(&info, 'Z', sizeof info);
    // The controller answered: the request succeeded, but it reported no module.
    QVERIFY(settings->version(info));
    QCOMPARE(texts(info), QStringList{ "1.2.0_" } + repeated("NULL", 13));
}

void tst_Information::hardwareVersion_data()
{
    QTest::addColumn<QJsonObject>("document");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("all keys") << QJsonObject{ { "SNcode", "SN-1" }, { "ControllerVersion", "CV" },
                                              { "ServoVersion", "SV" }, { "PowerVersion", "PV" } }
                              << QStringList{ "SN-1", "CV", "SV", "PV" };
    QTest::newRow("missing keys") << QJsonObject{ { "SNcode", "SN-2" } }
                                  << QStringList{ "SN-2", "NULL", "NULL", "NULL" };
    const QString han = QString::fromUtf8("\xe4\xb8\xad");
    QTest::newRow("long texts") << QJsonObject{ { "SNcode", QString(39, 's') }, { "ControllerVersion", QString(50, 'c') },
                                                { "ServoVersion", han.repeated(14) }, { "PowerVersion", 12 } }
                                << QStringList{ QString(39, 's'), QString(39, 'c'), han.repeated(13), "" };
}

void tst_Information::hardwareVersion()
{
    QFETCH(QJsonObject, document);
    QFETCH(QStringList, expected);
    ctl->setDocument(HardwareDoc, document);
    QRobotType::HWVersion info;
    std::memset(&info, 'Z', sizeof info);
    QVERIFY(settings->versionHW(info));
    QCOMPARE(texts(info), expected);
}

void tst_Information::hardwareVersionUnusable_data()
{
    QTest::addColumn<QByteArray>("shareBytes"); // empty: no document anywhere
    QTest::addColumn<bool>("logged");
    QTest::newRow("unreadable") << QByteArray() << true;
    QTest::newRow("not JSON") << QByteArray("SNcode=1") << false;
}

void tst_Information::hardwareVersionUnusable()
{
    QFETCH(QByteArray, shareBytes);
    if (!shareBytes.isEmpty())
        putShareFile(HardwareDoc, shareBytes);
    QRobotType::HWVersion info;
    std::memset(&info, 'Z', sizeof info);
    const QRobotType::HWVersion before = info;
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!settings->versionHW(info));
    QVERIFY(std::memcmp(&info, &before, sizeof info) == 0);
    QTEST(log.hasLine("bool QRobotSettings::versionHW(QRobotType::HWVersion&) getParaError"), "logged");
}

void tst_Information::writeHardwareVersion()
{
    QRobotType::HWVersion info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.SNcode, "SN-9");
    std::strcpy(info.ServoVersion, "S 2");
    // A host field without its terminator is read to the field's end, not beyond.
    std::memset(info.ControllerVersion, 'C', sizeof info.ControllerVersion);
    QVERIFY(settings->setVersionHW(info));
    QCOMPARE(ctl->documentObject(HardwareDoc),
             (QJsonObject{ { "SNcode", "SN-9" }, { "ControllerVersion", QString(40, 'C') },
                           { "ServoVersion", "S 2" }, { "PowerVersion", "" } }));

    ctl->onWrite(HardwareDoc).status(500);
    QVERIFY(!settings->setVersionHW(info));
}

void tst_Information::alarmLookup_data()
{
    QTest::addColumn<QJsonArray>("catalogue");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("english");
    QTest::addColumn<int>("expectedId");
    QTest::addColumn<int>("expectedLevel");
    QTest::addColumn<QString>("prefix"); // "old" for the texts as they were

    const QJsonArray plain{ alarm(1, 1, "one"), alarm(12, 3, "twelve"), alarm(20, 2, "twenty") };
    QTest::newRow("english") << plain << 12 << true << 12 << 3 << "twelve en";
    QTest::newRow("chinese") << plain << 20 << false << 20 << 2 << "twenty zh";
    QTest::newRow("missing id") << plain << 13 << true << -1 << -1 << "old";

    // Two entries with the same id, the first only in Chinese.
    const QJsonArray twoLanguages{ QJsonObject{ { "id", 12 }, { "level", 1 }, { "zh_CN", language("first zh") } },
                                   QJsonObject{ { "id", 12 }, { "level", 4 }, { "en", language("second en") } } };
    QTest::newRow("same id, english") << twoLanguages << 12 << true << 12 << 4 << "second en";
    QTest::newRow("same id, chinese") << twoLanguages << 12 << false << 12 << 1 << "first zh";

    // The id without the language: id and level are the entry's, texts as they were.
    QTest::newRow("no such language") << QJsonArray{ QJsonObject{ { "id", 5 }, { "level", 2 }, { "en", language("x") } } }
                                      << 5 << false << 5 << 2 << "old";

    const QJsonArray hostile{ "12", 12, QJsonValue::Null, QJsonArray{ 12 },
                              QJsonObject{ { "id", "12" }, { "en", language("text id") } },
                              QJsonObject{ { "id", 12.5 }, { "en", language("fraction") } },
                              QJsonObject{ { "level", 9 }, { "en", language("no id") } },
                              QJsonObject{ { "id", 12 }, { "level", "high" }, { "en", "not an object" } },
                              QJsonObject{ { "id", 12 }, { "en", language("good") } } };
    QTest::newRow("hostile entries") << hostile << 12 << true << 12 << 0 << "good";
    QTest::newRow("id 0 matches no text or null") << hostile << 0 << true << -1 << -1 << "old";

    // A text of the wrong type reads as empty; a missing one keeps its text.
    const QJsonArray partial{ QJsonObject{ { "id", 7 }, { "en", QJsonObject{ { "description", 7 }, { "cause", "c" } } } } };
    QTest::newRow("partial texts") << partial << 7 << true << 7 << -1 << "partial";
}

void tst_Information::alarmLookup()
{
    QFETCH(QJsonArray, catalogue);
    QFETCH(int, id);
    QFETCH(bool, english);
    QFETCH(QString, prefix);
    ctl->setDocument(ControllerAlarms, catalogue);
    AlarmInfo info = staleAlarm();
    QVERIFY(settings->alarmInfo(id, 0, info, english));
    QTEST(info.id, "expectedId");
    QTEST(info.level, "expectedLevel");
    if (prefix == "partial") {
        QCOMPARE(info.description, QString());
        QCOMPARE(info.cause, QString("c"));
        QCOMPARE(info.solution, QString("old solution"));
    } else {
        QCOMPARE(info.description, prefix + " description");
        QCOMPARE(info.cause, prefix + " cause");
        QCOMPARE(info.solution, prefix + " solution");
    }
}

void tst_Information::alarmCatalogueChoice_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("document");
    QTest::newRow("0: controller") << 0 << ControllerAlarms;
    QTest::newRow("1: servo") << 1 << ServoAlarms;
    QTest::newRow("3: servo") << 3 << ServoAlarms;
    QTest::newRow("-1: servo") << -1 << ServoAlarms;
}

void tst_Information::alarmCatalogueChoice()
{
    QFETCH(int, kind);
    QFETCH(QString, document);
    ctl->setDocument(ControllerAlarms, QJsonArray{ alarm(3, 1, "controller") });
    ctl->setDocument(ServoAlarms, QJsonArray{ alarm(3, 2, "servo") });
    AlarmInfo info;
    QVERIFY(settings->alarmInfo(3, kind, info, true));
    QCOMPARE(info.description, (document == ControllerAlarms ? "controller" : "servo") + QString(" en description"));
    QCOMPARE(ctl->count("GET", "/file/read" + document + ".json"), 1);
}

void tst_Information::alarmCatalogueUnusable_data()
{
    QTest::addColumn<QByteArray>("shareBytes"); // empty: no document anywhere
    QTest::addColumn<bool>("result");
    QTest::newRow("unreadable") << QByteArray() << false;
    QTest::newRow("not JSON") << QByteArray("[{\"id\": 3,") << false;
    QTest::newRow("an object") << QByteArray(R"({"id": 3, "en": {"description": "d"}})") << true;
}

void tst_Information::alarmCatalogueUnusable()
{
    QFETCH(QByteArray, shareBytes);
    if (!shareBytes.isEmpty())
        putShareFile(ServoAlarms, shareBytes);
    AlarmInfo info = staleAlarm();
    LogCapture log(LogCapture::Quiet);
    QTEST(settings->alarmInfo(3, 1, info, true), "result");
    QCOMPARE(info.id, -1);
    QCOMPARE(info.description, QString("old description"));
    QVERIFY(!log.contains("QRobotSettings"));
}

void tst_Information::largeAlarmCatalogue()
{
    QJsonArray catalogue;
    for (int id = 0; id < 5000; ++id)
        catalogue.append(alarm(id, id % 5, QString("alarm %1").arg(id)));
    ctl->setDocument(ControllerAlarms, catalogue);
    AlarmInfo info;
    QVERIFY(settings->alarmInfo(4999, 0, info, false));
    QCOMPARE(info.level, 4);
    QCOMPARE(info.solution, QString("alarm 4999 zh solution"));
    info = staleAlarm();
    QVERIFY(settings->alarmInfo(5000, 0, info, false));
    QCOMPARE(info.description, QString("old description"));
}

void tst_Information::ethernet()
{
    const EthernetInfo written{ true, "192.168.1.20", "255.255.255.0", "192.168.1.1" };
    QVERIFY(settings->setEthernet(written));
    QCOMPARE(ctl->lastRequest("POST", "/interface/ethernet").json(),
             (QJsonObject{ { "dhcp", true }, { "ip", "192.168.1.20" }, { "netmask", "255.255.255.0" },
                           { "gateway", "192.168.1.1" } }));

    ctl->on("GET", "/interface/ethernet").reply(QJsonObject{ { "dhcp", true }, { "ip", "10.0.0.2" } }).once();
    EthernetInfo read = settings->ethernet();
    QCOMPARE(read.dhcp, true);
    QCOMPARE(read.ip, QString("10.0.0.2"));
    QCOMPARE(read.netmask, QString());
    QCOMPARE(read.gateway, QString());

    // Wrong types and a failed request give the empty record.
    ctl->on("GET", "/interface/ethernet").reply(QJsonObject{ { "dhcp", "yes" }, { "ip", 10 } }).once();
    read = settings->ethernet();
    QCOMPARE(read.dhcp, false);
    QCOMPARE(read.ip, QString());
    ctl->on("GET", "/interface/ethernet").status(500).replyRaw(R"({"ip": "stale"})");
    read = settings->ethernet();
    QCOMPARE(read.ip, QString());
}

void tst_Information::digitalInputs()
{
    QVERIFY(settings->setDIMode(4, static_cast<QRobotType::DIMode>(2)));
    QCOMPARE(ctl->lastRequest("POST", "/interface/setDIMode").json(), (QJsonObject{ { "index", 4 }, { "mode", 2 } }));
    QVERIFY(settings->setDIValue(5, 1));
    QCOMPARE(ctl->lastRequest("POST", "/interface/setDIValue").json(), (QJsonObject{ { "index", 5 }, { "value", 1 } }));
    QVERIFY(settings->controllerReboot());
    QCOMPARE(ctl->lastRequest("POST", "/interface/reboot").json(), QJsonObject());

    QRobotType::DIMode mode = static_cast<QRobotType::DIMode>(7);
    ctl->on("POST", "/interface/getDIMode").reply(QJsonObject{ { "mode", 3 } }).once();
    QVERIFY(settings->getDIMode(2, mode));
    QCOMPARE(int(mode), 3);
    QCOMPARE(ctl->lastRequest("POST", "/interface/getDIMode").json(), (QJsonObject{ { "index", 2 } }));

    // No "mode" in the answer reads as 0; a hostile one as 0 too.
    ctl->on("POST", "/interface/getDIMode").reply(QJsonObject{ { "index", 2 } }).once();
    QVERIFY(settings->getDIMode(2, mode));
    QCOMPARE(int(mode), 0);
    mode = static_cast<QRobotType::DIMode>(7);
    ctl->on("POST", "/interface/getDIMode").reply(QJsonObject{ { "mode", 1e20 } }).once();
    QVERIFY(settings->getDIMode(2, mode));
    QCOMPARE(int(mode), 0);

    // A failed request leaves the mode.
    mode = static_cast<QRobotType::DIMode>(7);
    ctl->on("POST", "/interface/getDIMode").status(500);
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!settings->getDIMode(2, mode));
    QCOMPARE(int(mode), 7);
}

void tst_Information::commandFailuresAreLogged_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("setEthernet") << "/interface/ethernet" << "setEthernet_postError";
    QTest::newRow("setDIMode") << "/interface/setDIMode"
                               << "bool QRobotSettings::setDIMode(int, QRobotType::DIMode) postError";
    QTest::newRow("getDIMode") << "/interface/getDIMode"
                               << "bool QRobotSettings::getDIMode(int, QRobotType::DIMode&) postError";
    QTest::newRow("setDIValue") << "/interface/setDIValue" << "bool QRobotSettings::setDIValue(int, int) postError";
    QTest::newRow("controllerReboot") << "/interface/reboot" << "bool QRobotSettings::controllerReboot() postError";
}

void tst_Information::commandFailuresAreLogged()
{
    QFETCH(QString, path);
    QFETCH(QString, logLine);
    ctl->on("POST", path).status(500);
    LogCapture log(LogCapture::Quiet);
    QRobotType::DIMode mode{};
    bool ok = true;
    if (path == "/interface/ethernet")
        ok = settings->setEthernet(EthernetInfo());
    else if (path == "/interface/setDIMode")
        ok = settings->setDIMode(1, mode);
    else if (path == "/interface/getDIMode")
        ok = settings->getDIMode(1, mode);
    else if (path == "/interface/setDIValue")
        ok = settings->setDIValue(1, 0);
    else
        ok = settings->controllerReboot();
    QVERIFY(!ok);
    QVERIFY2(log.hasLine(logLine), qPrintable(log.lines().join('\n')));
}

QTEST_GUILESS_MAIN(tst_Information)
#include "tst_information.moc"
