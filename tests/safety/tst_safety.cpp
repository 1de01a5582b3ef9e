// The safety functions of QRobotCollaborative against the controller double:
// what goes on the wire, what is read back, and what hostile documents and
// failed requests leave behind.
#include "collaborative/qrobotcollaborative.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <cstring>
#include <functional>

using VarloTest::LogCapture;
using VarloTest::numbers;

using Operation = std::function<bool(QRobotCollaborative &)>;
Q_DECLARE_METATYPE(Operation)

namespace {

const char Address[] = "127.0.0.30";
const char CollisionDoc[] = "/settings/function/collisionDect";
const char SkinDoc[] = "/settings/function/elecSkin";
const char SkinParamsDoc[] = "/settings/function/elecSkinParams";
const char SkinDefaultDoc[] = "/settings/function/elecSkinDefault";
const char SafeModeDoc[] = "/settings/safemode";

QJsonObject parse(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

// A limit set with every number distinct, so that a value in the wrong place shows.
SafeModeLimits limitsFrom(float base)
{
    SafeModeLimits limits;
    for (int i = 0; i < 6; ++i) {
        limits.diff[i] = base + i;
        limits.velj[i] = base + 10 + i;
        limits.rangeMin[i] = -(base + 20 + i);
        limits.rangeMax[i] = base + 30 + i;
    }
    return limits;
}

bool isAllZero(const SafeModeParams &params)
{
    SafeModeParams zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&zero, &params, sizeof zero) == 0;
}

SafeModeParams filledWithGarbage()
{
    SafeModeParams params;
    std::memset(&params, 0x5A, sizeof params);
    return params;
}

} // namespace

class tst_Safety : public QObject, public VarloTest::ComponentTest<QRobotCollaborative>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init() { initComponent(); }
    void cleanup() { cleanupComponent(); }

    void collisionCreatesTheDocumentWithTheDefaultLevels();
    void collisionKeepsTheStoredLevels();
    void collisionLeavesAnUnusableDocumentAlone_data();
    void collisionLeavesAnUnusableDocumentAlone();
    void collisionWriteFailureIsLogged_data();
    void collisionWriteFailureIsLogged();
    void readCollision_data();
    void readCollision();
    void readCollisionFailures_data();
    void readCollisionFailures();

    void elecSkinSwitch();
    void elecSkinParamsRoundTrip();
    void elecSkinFailuresAreLogged();
    void elecSkinDefaults();

    void safeModeWritesTheRangKeys();
    void safeModeReadsBackWhatItWrote();
    void safeModeReadSpellings();
    void safeModeReadResults_data();
    void safeModeReadResults();

    void commandBodies_data();
    void commandBodies();
    void commandFailures_data();
    void commandFailures();
    void threeSwitchWithoutAFlagSendsNothing();
    void jointBrakeStates();
    void powerControlRead_data();
    void powerControlRead();

private:
    QRobotCollaborative *&collab = component;
};

void tst_Safety::collisionCreatesTheDocumentWithTheDefaultLevels()
{
    LogCapture log(LogCapture::Quiet);
    QVERIFY(collab->setCollisionDect(true, true, false, 3));
    QVERIFY(log.hasLine("collisionDect_getParaError"));

    const QJsonObject expected{
        { "value", true }, { "mode", 1 }, { "resumeType", 0 }, { "level", 3 },
        { "Level1", numbers({ 30, 30, 30, 10, 10, 10 }) },
        { "Level2", numbers({ 25, 25, 25, 8, 8, 8 }) },
        { "Level3", numbers({ 20, 20, 20, 6, 6, 6 }) },
        { "Level4", numbers({ 15, 15, 15, 4, 4, 4 }) },
        { "Level5", numbers({ 10, 10, 10, 3, 3, 3 }) },
    };
    QCOMPARE(ctl->documentObject(CollisionDoc), expected);
}

void tst_Safety::collisionKeepsTheStoredLevels()
{
    QVERIFY(collab->setCollisionDect(true, false, false, 1));
    // The controller (or its user) tuned a level and keeps a key of its own.
    QJsonObject stored = ctl->documentObject(CollisionDoc);
    stored.insert("Level2", numbers({ 1, 2, 3, 4, 5, 6 }));
    stored.insert("sensitivity", "custom");
    ctl->setDocument(CollisionDoc, stored);

    LogCapture log(LogCapture::Quiet);
    QVERIFY(collab->setCollisionDect(false, true, true, 2));
    QVERIFY(!log.contains("collisionDect_"));

    QJsonObject expected = stored;
    expected.insert("value", false);
    expected.insert("mode", 1);
    expected.insert("resumeType", 1);
    expected.insert("level", 2);
    QCOMPARE(ctl->documentObject(CollisionDoc), expected);
}

void tst_Safety::collisionLeavesAnUnusableDocumentAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("not JSON") << QByteArray("{\"value\": tru");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe garbage", 11);
    QTest::newRow("array") << QByteArray("[1, 2, 3]");
}

void tst_Safety::collisionLeavesAnUnusableDocumentAlone()
{
    QFETCH(QByteArray, bytes);
    putShareFile(CollisionDoc, bytes);
    // Nothing was set, and the document may hold what it cannot be rebuilt
    // from: it is neither replaced nor reported as set.
    QVERIFY(!collab->setCollisionDect(true, false, false, 2));
    QCOMPARE(ctl->count("POST", "/file/write*"), 0);
    QVERIFY(!ctl->hasDocument(CollisionDoc));
}

void tst_Safety::collisionWriteFailureIsLogged_data()
{
    QTest::addColumn<bool>("documentExists");
    QTest::newRow("creating") << false;
    QTest::newRow("updating") << true;
}

void tst_Safety::collisionWriteFailureIsLogged()
{
    QFETCH(bool, documentExists);
    if (documentExists)
        ctl->setDocument(CollisionDoc, QJsonObject{ { "value", true }, { "level", 1 } });
    ctl->onWrite(CollisionDoc).status(500);
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!collab->setCollisionDect(true, false, false, 2));
    QVERIFY(log.hasLine("collisionDect_setParaError"));
    QCOMPARE(log.count("collisionDect_getParaError"), documentExists ? 0 : 1);
}

void tst_Safety::readCollision_data()
{
    QTest::addColumn<QJsonObject>("document");
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("mode");
    QTest::addColumn<bool>("resumeType");
    QTest::addColumn<int>("level");

    // The caller's values before the read: true, true, true, 9.
    QTest::newRow("all keys") << QJsonObject{ { "value", false }, { "mode", 1 }, { "resumeType", 0 }, { "level", 4 } }
                              << false << true << false << 4;
    QTest::newRow("mode 2 is not 1") << QJsonObject{ { "mode", 2 }, { "resumeType", 2 } } << true << false << false << 9;
    QTest::newRow("missing keys keep values") << QJsonObject{ { "other", 1 } } << true << true << true << 9;
    QTest::newRow("flags as text") << QJsonObject{ { "mode", "1" }, { "resumeType", true } } << true << false << false
                                   << 9;
    QTest::newRow("value as number") << QJsonObject{ { "value", 1 } } << false << true << true << 9;
    QTest::newRow("level out of range") << QJsonObject{ { "level", 1e12 } } << true << true << true << 0;
    QTest::newRow("level fractional") << QJsonObject{ { "level", 2.5 } } << true << true << true << 0;
}

void tst_Safety::readCollision()
{
    QFETCH(QJsonObject, document);
    ctl->setDocument(CollisionDoc, document);
    bool value = true, mode = true, resumeType = true;
    int level = 9;
    QVERIFY(collab->getCollisionDect(value, mode, resumeType, level));
    QTEST(value, "value");
    QTEST(mode, "mode");
    QTEST(resumeType, "resumeType");
    QTEST(level, "level");
}

void tst_Safety::readCollisionFailures_data()
{
    QTest::addColumn<QByteArray>("shareBytes"); // empty: no document anywhere
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("logged");
    QTest::newRow("unreadable") << QByteArray() << false << true;
    QTest::newRow("not JSON") << QByteArray("level=3") << false << false;
    QTest::newRow("array") << QByteArray("[{\"level\": 3}]") << true << false;
}

void tst_Safety::readCollisionFailures()
{
    QFETCH(QByteArray, shareBytes);
    if (!shareBytes.isEmpty())
        putShareFile(CollisionDoc, shareBytes);
    bool value = true, mode = false, resumeType = true;
    int level = 7;
    LogCapture log(LogCapture::Quiet);
    QTEST(collab->getCollisionDect(value, mode, resumeType, level), "result");
    QTEST(log.hasLine("collisionDect_getParaError"), "logged");
    QCOMPARE(value, true);
    QCOMPARE(mode, false);
    QCOMPARE(resumeType, true);
    QCOMPARE(level, 7);
}

void tst_Safety::elecSkinSwitch()
{
    QVERIFY(collab->setElecSkin(true));
    QCOMPARE(ctl->documentObject(SkinDoc), (QJsonObject{ { "value", true } }));
    bool value = false;
    QVERIFY(collab->getElecSkin(value));
    QCOMPARE(value, true);

    // An array is readable but holds no switch; text that is not JSON is no reading.
    ctl->setDocument(SkinDoc, QJsonArray());
    value = false;
    QVERIFY(collab->getElecSkin(value));
    QCOMPARE(value, false);
    ctl->removeDocument(SkinDoc);
    putShareFile(SkinDoc, "on");
    value = true;
    QVERIFY(!collab->getElecSkin(value));
    QCOMPARE(value, true);
}

void tst_Safety::elecSkinParamsRoundTrip()
{
    const QRobotCoor::ElecSkinPars written{ 0.25f, 1.5f, 2.75f, 0.1f, 3.0f, 2 };
    QVERIFY(collab->setElecSkinParams(written));
    const QJsonObject document = ctl->documentObject(SkinParamsDoc);
    QCOMPARE(document.size(), 6);
    QCOMPARE(document.value("avoidDistance").toDouble(), 0.25);
    QCOMPARE(document.value("resumeVel").toDouble(), double(0.1f));
    QCOMPARE(document.value("mode").toInt(), 2);

    // "mode" is not read back: the caller's value stays.
    QRobotCoor::ElecSkinPars read{ 9, 9, 9, 9, 9, 42 };
    QVERIFY(collab->getElecSkinParams(read));
    QCOMPARE(read.avoidDistance, 0.25f);
    QCOMPARE(read.avoidVel, 1.5f);
    QCOMPARE(read.avoidAcc, 2.75f);
    QCOMPARE(read.resumeVel, 0.1f);
    QCOMPARE(read.resumeAcc, 3.0f);
    QCOMPARE(read.mode, 42);

    // Hostile numbers: text gives 0, a huge number is clamped to the float range.
    ctl->setDocument(SkinParamsDoc, QJsonObject{ { "avoidDistance", "far" }, { "avoidVel", 1e300 } });
    QVERIFY(collab->getElecSkinParams(read));
    QCOMPARE(read.avoidDistance, 0.0f);
    QVERIFY(qIsFinite(read.avoidVel));
    QCOMPARE(read.avoidAcc, 2.75f);
}

void tst_Safety::elecSkinFailuresAreLogged()
{
    LogCapture log(LogCapture::Quiet);
    bool value = true;
    QVERIFY(!collab->getElecSkin(value));
    QVERIFY(log.hasLine("elecSkin_getParaError"));
    QRobotCoor::ElecSkinPars pars{};
    QVERIFY(!collab->getElecSkinParams(pars));
    QVERIFY(log.hasLine("bool QRobotCollaborative::getElecSkinParams(QRobotCoor::ElecSkinPars&) getParaError"));
    QRobotCoor::ElecSkinDefault defaults{};
    QVERIFY(!collab->getElecSkinDefault(defaults));
    QVERIFY(log.hasLine("bool QRobotCollaborative::getElecSkinDefault(QRobotCoor::ElecSkinDefault&) getParaError"));

    ctl->onWrite(SkinDoc).status(500);
    ctl->onWrite(SkinParamsDoc).status(500);
    QVERIFY(!collab->setElecSkin(false));
    QVERIFY(log.hasLine("elecSkin_setParaError"));
    QVERIFY(!collab->setElecSkinParams(pars));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setElecSkinParams(QRobotCoor::ElecSkinPars) setParaError"));
}

void tst_Safety::elecSkinDefaults()
{
    ctl->setDocument(SkinDefaultDoc, parse(R"({
        "avoidDistance": {"max": 200, "min": 10, "def": 50},
        "avoidVel": {"def": 0.5},
        "avoidAcc": 7,
        "resumeAcc": {"max": "fast", "min": null, "def": 4}
    })"));
    QRobotCoor::ElecSkinDefault defaults;
    const QRobotCoor::ElecSkinRange untouched{ -1, -2, -3 };
    defaults.avoidDistance = defaults.avoidVel = defaults.avoidAcc = defaults.resumeVel = defaults.resumeAcc
        = untouched;
    QVERIFY(collab->getElecSkinDefault(defaults));
    QCOMPARE(defaults.avoidDistance.max, 200.0f);
    QCOMPARE(defaults.avoidDistance.min, 10.0f);
    QCOMPARE(defaults.avoidDistance.def, 50.0f);
    // Only what is present is read.
    QCOMPARE(defaults.avoidVel.max, -1.0f);
    QCOMPARE(defaults.avoidVel.def, 0.5f);
    // A parameter that is not an object, or missing, leaves its triple.
    QCOMPARE(defaults.avoidAcc.max, -1.0f);
    QCOMPARE(defaults.resumeVel.def, -3.0f);
    // Present but not numbers: 0.
    QCOMPARE(defaults.resumeAcc.max, 0.0f);
    QCOMPARE(defaults.resumeAcc.min, 0.0f);
    QCOMPARE(defaults.resumeAcc.def, 4.0f);
}

void tst_Safety::safeModeWritesTheRangKeys()
{
    SafeModeParams params;
    params.high = limitsFrom(100);
    params.middle = limitsFrom(200);
    params.low = limitsFrom(300);
    params.valid = limitsFrom(400);
    params.payload = 5;
    params.mode = 2;
    QVERIFY(collab->setSafeMode(params));

    const QJsonObject document = ctl->documentObject(SafeModeDoc);
    QCOMPARE(document.keys(), (QStringList{ "high", "low", "middle", "mode", "payload", "valid" }));
    QCOMPARE(document.value("payload").toInt(), 5);
    QCOMPARE(document.value("mode").toInt(), 2);
    const QJsonObject low = document.value("low").toObject();
    QCOMPARE(low.size(), 24);
    QVERIFY(!low.contains("rangeMin1"));
    for (int n = 1; n <= 6; ++n) {
        QCOMPARE(low.value(QString("diff%1").arg(n)).toDouble(), 300.0 + n - 1);
        QCOMPARE(low.value(QString("velj%1").arg(n)).toDouble(), 310.0 + n - 1);
        QCOMPARE(low.value(QString("rangMin%1").arg(n)).toDouble(), -(320.0 + n - 1));
        QCOMPARE(low.value(QString("rangMax%1").arg(n)).toDouble(), 330.0 + n - 1);
    }
    QCOMPARE(document.value("valid").toObject().value("rangMax6").toDouble(), 435.0);
}

void tst_Safety::safeModeReadsBackWhatItWrote()
{
    SafeModeParams written;
    written.high = limitsFrom(1);
    written.middle = limitsFrom(2.5f);
    written.low = limitsFrom(-7);
    written.valid = limitsFrom(1000);
    written.payload = 3;
    written.mode = 1;
    QVERIFY(collab->setSafeMode(written));

    SafeModeParams read = filledWithGarbage();
    QVERIFY(collab->getSafeMode(read));
    QVERIFY(std::memcmp(&read, &written, sizeof read) == 0);
}

void tst_Safety::safeModeReadSpellings()
{
    // Where both spellings are present the controller's "rangeMin"/"rangeMax" wins.
    ctl->setDocument(SafeModeDoc, parse(R"({
        "high": {"rangeMin1": -1, "rangMin1": -100, "rangMax1": 100, "rangeMax2": 2, "velj6": 66, "diff7": 7},
        "valid": {"rangeMin6": "far"}
    })"));
    SafeModeParams read = filledWithGarbage();
    QVERIFY(collab->getSafeMode(read));
    QCOMPARE(read.high.rangeMin[0], -1.0f);
    QCOMPARE(read.high.rangeMax[0], 100.0f);
    QCOMPARE(read.high.rangeMax[1], 2.0f);
    QCOMPARE(read.high.velj[5], 66.0f);
    QCOMPARE(read.high.diff[5], 0.0f);
    QCOMPARE(read.valid.rangeMin[5], 0.0f);
    QCOMPARE(read.payload, 0);
}

void tst_Safety::safeModeReadResults_data()
{
    QTest::addColumn<QByteArray>("shareBytes"); // empty: no document anywhere
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("payload");
    QTest::newRow("unreadable") << QByteArray() << false << 0;
    QTest::newRow("not JSON") << QByteArray("payload: 3") << false << 0;
    QTest::newRow("array") << QByteArray("[3]") << true << 0;
    QTest::newRow("only payload") << QByteArray(R"({"payload": 3})") << true << 3;
    QTest::newRow("limit sets of the wrong type")
        << QByteArray(R"({"low": 5, "high": [1, 2], "middle": "x", "valid": null, "payload": 4})") << true << 4;
}

void tst_Safety::safeModeReadResults()
{
    QFETCH(QByteArray, shareBytes);
    QFETCH(int, payload);
    if (!shareBytes.isEmpty())
        putShareFile(SafeModeDoc, shareBytes);
    SafeModeParams read = filledWithGarbage();
    LogCapture log(LogCapture::Quiet);
    QTEST(collab->getSafeMode(read), "result");
    QCOMPARE(read.payload, payload);
    read.payload = 0;
    QVERIFY(isAllZero(read));
    QVERIFY(!log.contains("QRobotCollaborative"));
}

void tst_Safety::commandBodies_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonObject>("body");

    const auto threeSwitch = [](bool on) {
        return Operation([on](QRobotCollaborative &c) { return c.setThreeSwitch(&on); });
    };
    QTest::newRow("three switch on") << threeSwitch(true) << "/panel/threeSwitch"
                                     << QJsonObject{ { "value", "true" } };
    QTest::newRow("three switch off") << threeSwitch(false) << "/panel/threeSwitch"
                                      << QJsonObject{ { "value", "false" } };

    const QString controlMode = "/settings/controlMode";
    const auto mode = [](int m) { return Operation([m](QRobotCollaborative &c) { return c.setControlMode(m); }); };
    QTest::newRow("control mode 0") << mode(0) << controlMode << QJsonObject{ { "controlMode", "disable" } };
    QTest::newRow("control mode 1") << mode(1) << controlMode << QJsonObject{ { "controlMode", "enable" } };
    QTest::newRow("control mode 2") << mode(2) << controlMode << QJsonObject{ { "controlMode", "drag" } };
    QTest::newRow("control mode 3") << mode(3) << controlMode << QJsonObject();
    QTest::newRow("control mode -1") << mode(-1) << controlMode << QJsonObject();

    const QString brake = "/interface/6axisJointBrake";
    const auto joint = [](int j, bool v) {
        return Operation([j, v](QRobotCollaborative &c) { return c.setJointBrake(j, v); });
    };
    QTest::newRow("brake joint 0") << joint(0, true) << brake << QJsonObject();
    QTest::newRow("brake joint 1") << joint(1, true) << brake << QJsonObject{ { "joint1", true } };
    QTest::newRow("brake joint 6") << joint(6, false) << brake << QJsonObject{ { "joint6", false } };
    QTest::newRow("brake joint 7") << joint(7, true) << brake << QJsonObject();

    QTest::newRow("go home") << Operation([](QRobotCollaborative &c) { return c.goHome(true); }) << "/interface/goHome"
                             << QJsonObject{ { "value", true } };
    QTest::newRow("power off") << Operation([](QRobotCollaborative &c) { return c.setPowerControl(false); })
                               << "/interface/powerControl" << QJsonObject{ { "value", false } };
    QTest::newRow("reset collision") << Operation([](QRobotCollaborative &c) { return c.resetCollision(); })
                                     << "/interface/resetCollision" << QJsonObject();
    QTest::newRow("reset skin") << Operation([](QRobotCollaborative &c) { return c.resetElecSkin(); })
                                << "/interface/resetElecSkin" << QJsonObject();
}

void tst_Safety::commandBodies()
{
    QFETCH(Operation, operation);
    QFETCH(QString, path);
    QFETCH(QJsonObject, body);
    ctl->on("POST", path).reply(QJsonObject{ { "result", true } });
    QVERIFY(operation(*collab));
    QCOMPARE(ctl->count("POST", path), 1);
    const VarloTest::Request request = ctl->lastRequest("POST", path);
    QVERIFY(request.jsonDocument().isObject());
    QCOMPARE(request.json(), body);
}

void tst_Safety::commandFailures_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("logLine"); // empty: nothing is logged
    QTest::newRow("power") << Operation([](QRobotCollaborative &c) { return c.setPowerControl(true); })
                           << "/interface/powerControl" << "powerControl_postError";
    QTest::newRow("control mode") << Operation([](QRobotCollaborative &c) { return c.setControlMode(1); })
                                  << "/settings/controlMode" << QString();
    QTest::newRow("go home") << Operation([](QRobotCollaborative &c) { return c.goHome(false); })
                             << "/interface/goHome" << QString();
    QTest::newRow("brake") << Operation([](QRobotCollaborative &c) { return c.setJointBrake(2, true); })
                           << "/interface/6axisJointBrake" << QString();
}

void tst_Safety::commandFailures()
{
    QFETCH(Operation, operation);
    QFETCH(QString, path);
    QFETCH(QString, logLine);
    ctl->on("POST", path).status(500);
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!operation(*collab));
    if (logLine.isEmpty())
        QVERIFY2(log.lines("default").filter("Error").isEmpty(), qPrintable(log.lines().join('\n')));
    else
        QVERIFY(log.hasLine(logLine));
}

void tst_Safety::threeSwitchWithoutAFlagSendsNothing()
{
    QVERIFY(!collab->setThreeSwitch(nullptr));
    QTest::qWait(100);
    QCOMPARE(ctl->count("POST", "/panel/threeSwitch"), 0);
}

void tst_Safety::jointBrakeStates()
{
    ctl->on("GET", "/interface/6axisJointBrake")
        .reply(QJsonObject{ { "joint1", true }, { "joint3", "yes" }, { "joint6", true }, { "joint7", true } })
        .once();
    bool states[6] = { false, true, true, true, false, false };
    QVERIFY(collab->getJointBrake(states));
    // Present keys are read (a non-boolean as false); absent ones keep their state.
    const bool expected[6] = { true, true, false, true, false, true };
    for (int i = 0; i < 6; ++i)
        QCOMPARE(states[i], expected[i]);

    ctl->on("GET", "/interface/6axisJointBrake").status(503);
    LogCapture log(LogCapture::Quiet);
    QVERIFY(!collab->getJointBrake(states));
    QVERIFY(log.hasLine("6axisJointBrake_getError"));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(states[i], expected[i]);
    QVERIFY(!collab->getJointBrake(nullptr));
}

void tst_Safety::powerControlRead_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("value"); // before: true
    QTest::newRow("on") << 200 << QByteArray(R"({"value": true})") << true << true;
    QTest::newRow("off") << 200 << QByteArray(R"({"value": false})") << true << false;
    QTest::newRow("no value") << 200 << QByteArray(R"({"power": false})") << false << true;
    QTest::newRow("not JSON") << 200 << QByteArray("off") << false << true;
    QTest::newRow("failed") << 500 << QByteArray(R"({"value": false})") << false << true;
}

void tst_Safety::powerControlRead()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    ctl->on("GET", "/interface/powerControl").replyRaw(reply).status(status);
    bool value = true;
    QTEST(collab->getPowerControl(value), "result");
    QTEST(value, "value");
}

QTEST_GUILESS_MAIN(tst_Safety)
#include "tst_safety.moc"
