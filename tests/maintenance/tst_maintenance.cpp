// Maintenance functions against the controller double.
#include "collaborative/qrobotcollaborative.h"
#include "componenttest.h"
#include "logcapture.h"
#include "transport/qhttpmanager.h"

#include <QtTest/QtTest>


namespace {
const QString Address = QStringLiteral("127.0.0.54");
}

class tst_Maintenance : public QObject, public VarloTest::ComponentTest<QRobotCollaborative>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent();
        ctl->on("POST", "*").reply(QJsonObject());
    }
    void cleanup() { cleanupComponent(); }

    void commandBodies();
    void commandFailureTexts_data();
    void commandFailureTexts();
    void autoIdentify();
    void accessPoint();
    void simulatedAxis_data();
    void simulatedAxis();
    void workTime_data();
    void workTime();

private:
    QRobotCollaborative *&collab = component;
};

void tst_Maintenance::commandBodies()
{
    QVERIFY(collab->setAutoIdentify(true, "payload 2"));
    QCOMPARE(ctl->lastRequest("POST", "/settings/autoIdentify").json(), (QJsonObject{{"value", true}, {"name", "payload 2"}}));
    QVERIFY(collab->setAP({"robot-ap", "secret"}));
    QCOMPARE(ctl->lastRequest("POST", "/interface/setAP").json(), (QJsonObject{{"ssid", "robot-ap"}, {"passwd", "secret"}}));
    QVERIFY(collab->setApiUpdate());
    QVERIFY(collab->setApiUpdate());
    for (const auto &request : ctl->requests("POST", "/interface/apiUpdate"))
        QCOMPARE(request.json(), (QJsonObject{{"path", "/varlo/userdata/project/settings/api.lua"}}));
    QVERIFY(collab->setSimulatedAxis(true));
    QCOMPARE(ctl->lastRequest("POST", "/settings/simulatedAxis").json(),
             (QJsonObject{{"joint1Simulated", true}, {"joint2Simulated", true}, {"joint3Simulated", true},
                          {"joint4Simulated", true}, {"joint5Simulated", true}, {"joint6Simulated", true}}));
    QVERIFY(collab->setSimulatedAxis(false));
    for (const QJsonValue &v : ctl->lastRequest("POST", "/settings/simulatedAxis").json())
        QCOMPARE(v.toBool(true), false);
    QVERIFY(collab->setWorkTimeClear());
    QCOMPARE(ctl->lastRequest("POST", "/settings/workTimeRec").json(), QJsonObject());
}

void tst_Maintenance::commandFailureTexts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("line");
    QTest::newRow("autoIdentify") << "/settings/autoIdentify" << "autoIdentify_postError";
    QTest::newRow("setAP") << "/interface/setAP" << "setAP_postError";
    QTest::newRow("apiUpdate") << "/interface/apiUpdate" << "setApiUpdate_postError";
    QTest::newRow("simulatedAxis") << "/settings/simulatedAxis" << "simulatedAxis_postError";
    QTest::newRow("workTime") << "/settings/workTimeRec" << "bool QRobotCollaborative::setWorkTimeClear() postError";
}

void tst_Maintenance::commandFailureTexts()
{
    QFETCH(QString, path);
    QFETCH(QString, line);
    ctl->on("POST", path).status(500);
    VarloTest::LogCapture log;
    bool ok = true;
    if (path == "/settings/autoIdentify")
        ok = collab->setAutoIdentify(false, "x");
    else if (path == "/interface/setAP")
        ok = collab->setAP(ApSettings());
    else if (path == "/interface/apiUpdate")
        ok = collab->setApiUpdate();
    else if (path == "/settings/simulatedAxis")
        ok = collab->setSimulatedAxis(true);
    else
        ok = collab->setWorkTimeClear();
    QVERIFY(!ok);
    QVERIFY2(log.hasLine(line), qPrintable(log.lines().join('\n')));
}

void tst_Maintenance::autoIdentify()
{
    bool value = false;
    ctl->on("GET", "/settings/autoIdentify").reply(QJsonObject{{"value", true}});
    QVERIFY(collab->getAutoIdentify(value));
    QVERIFY(value);
    ctl->on("GET", "/settings/autoIdentify").reply(QJsonObject{{"name", "x"}});
    QVERIFY(!collab->getAutoIdentify(value));
    QVERIFY(value);
    ctl->on("GET", "/settings/autoIdentify").status(500);
    QVERIFY(!collab->getAutoIdentify(value));
    QVERIFY(value);
}

void tst_Maintenance::accessPoint()
{
    ApSettings ap{"old", "oldpw"};
    ctl->on("GET", "/interface/setAP").reply(QJsonObject{{"ssid", "new"}});
    QVERIFY(collab->getAP(ap));
    QCOMPARE(ap.ssid, QString("new"));
    QCOMPARE(ap.passwd, QString("oldpw"));
    ctl->on("GET", "/interface/setAP").status(500);
    QVERIFY(!collab->getAP(ap));
    QCOMPARE(ap.ssid, QString("new"));
}

void tst_Maintenance::simulatedAxis_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<bool>("simulated");
    QTest::newRow("none") << QJsonObject{{"joint1Simulated", false}} << false;
    QTest::newRow("only joint 4") << QJsonObject{{"joint4Simulated", true}} << true;
    QTest::newRow("all") << QJsonObject{{"joint1Simulated", true}, {"joint6Simulated", true}} << true;
    QTest::newRow("wrong type") << QJsonObject{{"joint2Simulated", "true"}, {"joint3Simulated", 1}} << false;
    QTest::newRow("empty") << QJsonObject() << false;
}

void tst_Maintenance::simulatedAxis()
{
    QFETCH(QJsonObject, reply);
    QFETCH(bool, simulated);
    ctl->on("GET", "/settings/simulatedAxis").reply(reply);
    bool got = !simulated;
    QVERIFY(collab->getSimulatedAxis(got));
    QCOMPARE(got, simulated);
    ctl->on("GET", "/settings/simulatedAxis").status(500);
    got = !simulated;
    QVERIFY(!collab->getSimulatedAxis(got));
    QCOMPARE(got, !simulated);
}

void tst_Maintenance::workTime_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QVector<int>>("record");
    const QVector<int> before{9, 9, 9, 9, 8, 8, 8, 8};
    QTest::newRow("whole") << QJsonObject{{"powerOnTime", QJsonObject{{"days", 1}, {"hour", 2}, {"min", 3}, {"sec", 4}}},
                                          {"servoEnableTime", QJsonObject{{"days", 5}, {"hour", 6}, {"min", 7}, {"sec", 8}}}}
                           << QVector<int>{1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("partial power-on") << QJsonObject{{"powerOnTime", QJsonObject{{"days", 3}}}}
                                      << QVector<int>{3, 0, 0, 0, 8, 8, 8, 8};
    QTest::newRow("servo only") << QJsonObject{{"servoEnableTime", QJsonObject{{"sec", 59}}}}
                                << QVector<int>{9, 9, 9, 9, 0, 0, 0, 59};
    QTest::newRow("not objects") << QJsonObject{{"powerOnTime", 12}, {"servoEnableTime", QJsonArray{1, 2}}}
                                 << QVector<int>{0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("empty") << QJsonObject() << before;
}

void tst_Maintenance::workTime()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QVector<int>, record);
    ctl->on("GET", "/settings/workTimeRec").reply(reply);
    WorkTimeRecord r{9, 9, 9, 9, 8, 8, 8, 8};
    QVERIFY(collab->getWorkTime(r));
    QCOMPARE((QVector<int>{r.powerOnDays, r.powerOnHour, r.powerOnMin, r.powerOnSec, r.servoEnableDays,
                           r.servoEnableHour, r.servoEnableMin, r.servoEnableSec}),
             record);
}

QTEST_GUILESS_MAIN(tst_Maintenance)
#include "tst_maintenance.moc"
