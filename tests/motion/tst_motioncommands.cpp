// What the motion commands, status queries, solvers and live commands of the
// settings component send and how they read the controller's replies.
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <functional>

using VarloTest::LogCapture;
using VarloTest::Request;

namespace {

const char Address[] = "127.0.0.20";

MotionTarget sampleTarget(qint32 armOrientation)
{
    return MotionTarget{ 1.5f, -2.25f, 300.0f, 180.0f, -0.5f, 90.125f, 2, 3, 1, 0, 1, 7, armOrientation };
}

// The keys of `body` and the JSON type of each.
QMap<QString, QJsonValue::Type> keyTypes(const QJsonObject &body)
{
    QMap<QString, QJsonValue::Type> types;
    for (auto it = body.begin(); it != body.end(); ++it)
        types.insert(it.key(), it.value().type());
    return types;
}

bool isIntegral(const QJsonValue &value)
{
    return value.isDouble() && value.toDouble() == double(value.toInt(-12345));
}

QJsonArray floats(std::initializer_list<double> values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

} // namespace

Q_DECLARE_METATYPE(QRobotType::DebugState)

class tst_MotionCommands : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init() { initComponent(6); }
    void cleanup() { cleanupComponent(); }

    void goBody_data();
    void goBody();
    void moveJBody();
    void relativeBodies_data();
    void relativeBodies();
    void auxGoBody();
    void commandsReportTransportFailure();

    void statusQueries_data();
    void statusQueries();
    void failedStatusQueryReadsNothing();

    void positiveSolution_data();
    void positiveSolution();
    void inverseSolutionBody();
    void solverFailures_data();
    void solverFailures();

    void manualCommon();
    void manualCommonFailures();
    void emergencyStopBody_data();
    void emergencyStopBody();
    void projState_data();
    void projState();
    void projStateFailure();

private:
    QRobotSettings *&settings = component;
};

void tst_MotionCommands::goBody_data()
{
    QTest::addColumn<qint32>("armOrientation");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("orientationText");
    QTest::newRow("left, go") << 0 << "go" << "left";
    QTest::newRow("7 is right, move") << 7 << "move" << "right";
    QTest::newRow("negative is right") << -1 << "go" << "right";
}

void tst_MotionCommands::goBody()
{
    QFETCH(qint32, armOrientation);
    QFETCH(QString, mode);
    QFETCH(QString, orientationText);
    ctl->on("POST", "/interface/go").reply(QJsonObject{ { "result", "whatever" } });

    QVERIFY(settings->go(sampleTarget(armOrientation), mode, true));

    const QJsonObject body = ctl->lastRequest("POST", "/interface/go").json();
    const QMap<QString, QJsonValue::Type> expected{
        { "x", QJsonValue::Double },   { "y", QJsonValue::Double },    { "z", QJsonValue::Double },
        { "a", QJsonValue::Double },   { "b", QJsonValue::Double },    { "c", QJsonValue::Double },
        { "tool", QJsonValue::Double }, { "user", QJsonValue::Double }, { "r", QJsonValue::Double },
        { "d", QJsonValue::Double },   { "n", QJsonValue::Double },    { "cfg", QJsonValue::Double },
        { "armOrientation", QJsonValue::String }, { "mode", QJsonValue::String }, { "value", QJsonValue::Bool },
    };
    QCOMPARE(keyTypes(body), expected);
    QCOMPARE(body.value("x").toDouble(), 1.5);
    QCOMPARE(body.value("y").toDouble(), -2.25);
    QCOMPARE(body.value("c").toDouble(), 90.125);
    for (const char *key : { "tool", "user", "r", "d", "n", "cfg" })
        QVERIFY2(isIntegral(body.value(key)), key);
    QCOMPARE(body.value("tool").toInt(), 2);
    QCOMPARE(body.value("user").toInt(), 3);
    QCOMPARE(body.value("cfg").toInt(), 7);
    QCOMPARE(body.value("armOrientation").toString(), orientationText);
    QCOMPARE(body.value("mode").toString(), mode);
    QCOMPARE(body.value("value").toBool(), true);
}

void tst_MotionCommands::moveJBody()
{
    ctl->on("POST", "/interface/moveJ").reply(QJsonObject{});
    const QRobotType::JointCoordinate joint{ { 10.f, -20.f, 30.5f, 0.f, 45.f, -179.75f } };
    QVERIFY(settings->moveJ(joint, true));
    const QJsonObject body = ctl->lastRequest("POST", "/interface/moveJ").json();
    QCOMPARE(body.keys(), (QStringList{ "joint", "value" }));
    QCOMPARE(body.value("joint").toArray(), floats({ 10, -20, 30.5, 0, 45, -179.75 }));
    QCOMPARE(body.value("value"), QJsonValue(true));
}

void tst_MotionCommands::relativeBodies_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("goR") << "/interface/goR";
    QTest::newRow("moveR") << "/interface/moveR";
}

void tst_MotionCommands::relativeBodies()
{
    QFETCH(QString, path);
    ctl->on("POST", path).reply(QJsonObject{});
    const bool ok = path.endsWith("goR") ? settings->goR(1.25f, -2.5f, 0.f) : settings->moveR(1.25f, -2.5f, 0.f);
    QVERIFY(ok);
    const QJsonObject body = ctl->lastRequest("POST", path).json();
    QCOMPARE(body, (QJsonObject{ { "offsetX", 1.25 }, { "offsetY", -2.5 }, { "offsetZ", 0.0 } }));
}

void tst_MotionCommands::auxGoBody()
{
    ctl->on("POST", "/interface/auxGo").reply(QJsonObject{});
    AuxMotionTarget target;
    target.x = 1;
    target.c = 6;
    target.aux1 = 7.5f;
    target.aux3 = -9;
    target.tool = 4;
    target.cfg = 2;
    target.armOrientation = QStringLiteral("right");
    QVERIFY(settings->auxGo(target, QStringLiteral("move"), false));
    const QJsonObject body = ctl->lastRequest("POST", "/interface/auxGo").json();
    QCOMPARE(body.size(), 18);
    QCOMPARE(body.value("aux1").toDouble(), 7.5);
    QCOMPARE(body.value("aux2").toDouble(), 0.0);
    QCOMPARE(body.value("aux3").toDouble(), -9.0);
    QCOMPARE(body.value("c").toDouble(), 6.0);
    QVERIFY(isIntegral(body.value("tool")) && body.value("tool").toInt() == 4);
    QCOMPARE(body.value("armOrientation"), QJsonValue("right"));
    QCOMPARE(body.value("mode"), QJsonValue("move"));
    QCOMPARE(body.value("value"), QJsonValue(false));
}

void tst_MotionCommands::commandsReportTransportFailure()
{
    ctl->on("POST", "/interface/*").status(500);
    LogCapture log;
    QVERIFY(!settings->go(sampleTarget(0), QStringLiteral("go"), true));
    QVERIFY(!settings->moveJ(QRobotType::JointCoordinate{}, true));
    QVERIFY(!settings->goR(1, 2, 3));
    QVERIFY(!settings->moveR(1, 2, 3));
    QVERIFY(!settings->auxGo(AuxMotionTarget(), QStringLiteral("go"), true));
    QVERIFY(!log.contains("QRobotSettings"));
}

void tst_MotionCommands::statusQueries_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valueBefore");
    QTest::addColumn<bool>("alarmsBefore");
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("isAlarms");

    const QStringList paths{ "/interface/go", "/interface/moveJ", "/interface/goR", "/interface/moveR" };
    for (const QString &path : paths) {
        const QByteArray p = path.toLatin1();
        QTest::addRow("%s finished", p.constData()) << path << QByteArray(R"({"value": true})") << false << false
                                                   << true << false;
        QTest::addRow("%s alarm only", p.constData()) << path << QByteArray(R"({"isAlarms": true})") << false
                                                     << false << false << true;
        QTest::addRow("%s both", p.constData()) << path << QByteArray(R"({"value": true, "isAlarms": true})")
                                               << false << false << true << true;
        QTest::addRow("%s neither key keeps the caller's", p.constData())
            << path << QByteArray(R"({"other": 1})") << true << true << true << true;
        QTest::addRow("%s false clears", p.constData())
            << path << QByteArray(R"({"value": false, "isAlarms": false})") << true << true << false << false;
        QTest::addRow("%s wrong types read as false", p.constData())
            << path << QByteArray(R"({"value": "true", "isAlarms": 1})") << true << true << false << false;
        QTest::addRow("%s not an object", p.constData()) << path << QByteArray("[true, true]") << true << false
                                                        << true << false;
    }
}

void tst_MotionCommands::statusQueries()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, reply);
    QFETCH(bool, valueBefore);
    QFETCH(bool, alarmsBefore);
    QFETCH(bool, value);
    QFETCH(bool, isAlarms);
    ctl->on("GET", path).replyRaw(reply);

    using Query = bool (QRobotSettings::*)(bool &, bool &);
    const QHash<QString, Query> queries{ { "/interface/go", &QRobotSettings::goState },
                                         { "/interface/moveJ", &QRobotSettings::moveJState },
                                         { "/interface/goR", &QRobotSettings::goRState },
                                         { "/interface/moveR", &QRobotSettings::moveRState } };
    bool gotValue = valueBefore;
    bool gotAlarms = alarmsBefore;
    QVERIFY((settings->*queries.value(path))(gotValue, gotAlarms));
    QCOMPARE(gotValue, value);
    QCOMPARE(gotAlarms, isAlarms);
    QCOMPARE(ctl->count("GET", path), 1);
}

void tst_MotionCommands::failedStatusQueryReadsNothing()
{
    ctl->on("GET", "/interface/moveJ").status(500).reply(QJsonObject{ { "value", true }, { "isAlarms", true } });
    bool value = false;
    bool isAlarms = false;
    QVERIFY(!settings->moveJState(value, isAlarms));
    QVERIFY(!value);
    QVERIFY(!isAlarms);
}

void tst_MotionCommands::positiveSolution_data()
{
    QTest::addColumn<QJsonValue>("coordinate");
    QTest::addColumn<QList<float>>("expected");
    QTest::newRow("six") << QJsonValue(floats({ 1, 2, 3, 4, 5, 6 })) << QList<float>{ 1, 2, 3, 4, 5, 6 };
    QTest::newRow("three, the rest 0") << QJsonValue(floats({ 1, 2, 3 })) << QList<float>{ 1, 2, 3, 0, 0, 0 };
    QTest::newRow("eight, excess ignored") << QJsonValue(floats({ 1, 2, 3, 4, 5, 6, 7, 8 }))
                                           << QList<float>{ 1, 2, 3, 4, 5, 6 };
    QTest::newRow("non-numbers read as 0")
        << QJsonValue(QJsonArray{ "1", QJsonValue(), 3.5, QJsonArray{}, true, 6 }) << QList<float>{ 0, 0, 3.5f, 0, 0, 6 };
    QTest::newRow("not an array") << QJsonValue("1,2,3") << QList<float>{ 0, 0, 0, 0, 0, 0 };
}

void tst_MotionCommands::positiveSolution()
{
    QFETCH(QJsonValue, coordinate);
    QFETCH(QList<float>, expected);
    ctl->on("POST", "/interface/positiveSolution").reply(QJsonObject{ { "coordinate", coordinate } });

    const QRobotType::JointCoordinate joint{ { 0.5f, 1, 2, 3, 4, 5 } };
    QRobotType::CartesianCoordinate result{ { 9, 9, 9, 9, 9, 9 } };
    QVERIFY(settings->positiveSolution(joint, 3, 4, result));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(result.pose[i], expected.at(i));

    const QJsonObject body = ctl->lastRequest("POST", "/interface/positiveSolution").json();
    QCOMPARE(body, (QJsonObject{ { "joint", floats({ 0.5, 1, 2, 3, 4, 5 }) }, { "user", 4 }, { "tool", 3 } }));
}

void tst_MotionCommands::inverseSolutionBody()
{
    ctl->on("POST", "/interface/inverseSolution").reply(QJsonObject{ { "joint", floats({ 6, 5, 4, 3, 2, 1 }) } });
    const QRobotType::CartesianCoordinate pose{ { 100, 200, 300, 10, 20, 30 } };
    const QRobotType::RDNCoordinate rdn{ { 1, 0, 1, 5 } };
    QRobotType::JointCoordinate joint{};
    QVERIFY(settings->inverseSolution(pose, rdn, 2, 1, joint));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(joint.joint[i], float(6 - i));

    const QJsonObject body = ctl->lastRequest("POST", "/interface/inverseSolution").json();
    QCOMPARE(body, (QJsonObject{ { "coordinate", floats({ 100, 200, 300, 10, 20, 30 }) },
                                 { "r", 1 }, { "d", 0 }, { "n", 1 }, { "cfg", 5 }, { "user", 1 }, { "tool", 2 } }));
}

void tst_MotionCommands::solverFailures_data()
{
    QTest::addColumn<bool>("inverse");
    QTest::addColumn<bool>("transportFails");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("positive, POST fails") << false << true << "positiveSolution_postError";
    QTest::newRow("inverse, POST fails") << true << true << "inverseSolution_postError";
    QTest::newRow("positive, no result key") << false << false << "";
    QTest::newRow("inverse, no result key") << true << false << "";
}

void tst_MotionCommands::solverFailures()
{
    QFETCH(bool, inverse);
    QFETCH(bool, transportFails);
    QFETCH(QString, logLine);
    const QString path = inverse ? "/interface/inverseSolution" : "/interface/positiveSolution";
    // The reply carries the other solver's key: not a result of this one.
    VarloTest::Script script = ctl->on("POST", path).reply(
        QJsonObject{ { inverse ? "coordinate" : "joint", floats({ 1, 2, 3, 4, 5, 6 }) } });
    if (transportFails)
        script.status(500);

    LogCapture log;
    QRobotType::JointCoordinate joint{ { 7, 7, 7, 7, 7, 7 } };
    QRobotType::CartesianCoordinate pose{ { 8, 8, 8, 8, 8, 8 } };
    const bool ok = inverse ? settings->inverseSolution(pose, QRobotType::RDNCoordinate{}, 0, 0, joint)
                            : settings->positiveSolution(joint, 0, 0, pose);
    QVERIFY(!ok);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(joint.joint[i], 7.f);
        QCOMPARE(pose.pose[i], 8.f);
    }
    if (logLine.isEmpty()) {
        QVERIFY(!log.contains("Solution_postError"));
    } else {
        QVERIFY(log.hasLine(logLine));
    }
}

void tst_MotionCommands::manualCommon()
{
    ctl->on("POST", "/interface/manualCommon").reply(QJsonObject{});
    QVERIFY(settings->setManualCommon(QRobotType::Common{ 37.5f }));
    QCOMPARE(ctl->lastRequest("POST", "/interface/manualCommon").json(), (QJsonObject{ { "ratio", 37.5 } }));

    LogCapture log;
    ctl->on("GET", "/interface/manualCommon").reply(QJsonObject{ { "ratio", 12.25 } });
    QRobotType::Common common{ 99 };
    QVERIFY(settings->getManualCommon(common));
    QCOMPARE(common.ratio, 12.25f);
    QCOMPARE(log.lines(), QStringList{ "bool QRobotSettings::getManualCommon(QRobotType::Common&)" });

    ctl->on("GET", "/interface/manualCommon").reply(QJsonObject{ { "rate", 1 } });
    QVERIFY(settings->getManualCommon(common));
    QCOMPARE(common.ratio, 12.25f);
}

void tst_MotionCommands::manualCommonFailures()
{
    ctl->on("*", "/interface/manualCommon").status(500);
    LogCapture log;
    QVERIFY(!settings->setManualCommon(QRobotType::Common{ 1 }));
    QVERIFY(log.hasLine("bool QRobotSettings::setManualCommon(QRobotType::Common) postError"));

    log.clear();
    QRobotType::Common common{ 5 };
    QVERIFY(!settings->getManualCommon(common));
    QCOMPARE(common.ratio, 5.f);
    QVERIFY(log.hasLine("bool QRobotSettings::getManualCommon(QRobotType::Common&)"));
    QVERIFY(log.hasLine("bool QRobotSettings::getManualCommon(QRobotType::Common&) getError"));
}

void tst_MotionCommands::emergencyStopBody_data()
{
    QTest::addColumn<bool>("value");
    QTest::newRow("pressed") << true;
    QTest::newRow("released") << false;
}

void tst_MotionCommands::emergencyStopBody()
{
    QFETCH(bool, value);
    ctl->on("POST", "/panel/emergencyStop").reply(QJsonObject{});
    settings->emergencyStop(value);
    QCOMPARE(ctl->count("POST", "/panel/emergencyStop"), 1);
    QCOMPARE(ctl->lastRequest("POST", "/panel/emergencyStop").json(), (QJsonObject{ { "value", value } }));
}

void tst_MotionCommands::projState_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QRobotType::DebugState>("expected");
    QTest::addColumn<QString>("project");
    const QRobotType::DebugState before = QRobotType::DebugConnected;
    QTest::newRow("stop") << QJsonObject{ { "value", "stop" }, { "prjname", "a" } } << QRobotType::ScriptStopped << "a";
    QTest::newRow("stopped") << QJsonObject{ { "value", "stopped" } } << QRobotType::ScriptStopped << "";
    QTest::newRow("empty text") << QJsonObject{ { "value", "" }, { "prjname", "b" } } << QRobotType::ScriptStopped
                                << "b";
    QTest::newRow("pause") << QJsonObject{ { "value", "pause" }, { "prjname", "weld" } } << QRobotType::ScriptPaused
                           << "weld";
    QTest::newRow("run") << QJsonObject{ { "value", "run" } } << QRobotType::ScriptRunning << "";
    QTest::newRow("running") << QJsonObject{ { "value", "running" } } << QRobotType::ScriptRunning << "";
    QTest::newRow("suspend is not known") << QJsonObject{ { "value", "suspend" }, { "prjname", "p" } } << before
                                          << "p";
    QTest::newRow("case matters") << QJsonObject{ { "value", "Run" } } << before << "";
    QTest::newRow("other word, no name") << QJsonObject{ { "value", "busy" } } << before << "";
}

void tst_MotionCommands::projState()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QRobotType::DebugState, expected);
    QFETCH(QString, project);
    ctl->on("GET", "/debugger/state").reply(reply);
    QRobotType::ScriptState state;
    state.state = QRobotType::DebugConnected;
    state.projectName = QStringLiteral("previous");
    QVERIFY(settings->getProjState(state));
    QCOMPARE(state.state, expected);
    QCOMPARE(state.projectName, project);
}

void tst_MotionCommands::projStateFailure()
{
    ctl->on("GET", "/debugger/state").status(500).reply(QJsonObject{ { "value", "run" } });
    LogCapture log;
    QRobotType::ScriptState state;
    state.state = QRobotType::ScriptPaused;
    state.projectName = QStringLiteral("kept");
    QVERIFY(!settings->getProjState(state));
    QCOMPARE(state.state, QRobotType::ScriptPaused);
    QCOMPARE(state.projectName, QStringLiteral("kept"));
    QVERIFY(log.hasLine("bool QRobotSettings::getProjState(QRobotType::ScriptState&) getError"));
}

QTEST_GUILESS_MAIN(tst_MotionCommands)
#include "tst_motioncommands.moc"
