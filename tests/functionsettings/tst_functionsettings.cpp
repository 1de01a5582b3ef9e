// Function settings against the controller double: the document pairs and
// their error texts, the commands, tracking and the robot structure.
#include "componenttest.h"
#include "logcapture.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#include <functional>


namespace {
const QString Address = QStringLiteral("127.0.0.51");
using SettingsOp = std::function<bool(QRobotSettings *)>;
}
Q_DECLARE_METATYPE(SettingsOp)

class tst_FunctionSettings : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent(6);
        ctl->on("POST", "/settings/*").reply(QJsonObject());
        ctl->on("POST", "/process/*").reply(QJsonObject());
        ctl->on("POST", "/properties/*").reply(QJsonObject());
    }
    void cleanup() { cleanupComponent(); }

    void stopModeWireForm();
    void stopModeWithOnlyEnable();
    void documentErrorTexts_data();
    void documentErrorTexts();
    void remoteModbusRunTo();
    void controlMaps();
    void offlineRoundTripAndCutName();
    void brakes();
    void latchAndVisionCalibration();
    void visionCalibrationIsBounded();
    void visionCoordinate();
    void driverParams();
    void driverParamsAreBounded();
    void userDriverIndex();
    void conveyorCommands();
    void trackingRoundTrip();
    void trackingKeepsTwoTrackers();
    void structureReads();
    void structureWithoutAlpha6();
    void structureShort();
    void setStructureKeepsUnknownKeys();
    void setStructureWritesNothingWhenUnreadable();

private:
    QRobotSettings *&settings = component;
};

void tst_FunctionSettings::stopModeWireForm()
{
    StopModeSettings s;
    s.enable = true;
    s.x = 1.5f; s.y = 2; s.z = 3; s.a = 4; s.b = 5; s.c = 6;
    s.tool = 1; s.user = 2; s.r = -1; s.d = 1; s.n = 0; s.cfg = 7;
    s.mode = "movj";
    s.arch = 3;
    s.speed = 50;
    QVERIFY(settings->setStopMode(s));
    const QJsonObject written = ctl->documentObject("/settings/function/stopMode");
    QCOMPARE(written, (QJsonObject{{"enable", true}, {"x", 1.5}, {"y", 2}, {"z", 3}, {"a", 4}, {"b", 5}, {"c", 6},
                                   {"tool", 1}, {"user", 2}, {"r", -1}, {"d", 1}, {"n", 0}, {"cfg", 7},
                                   {"mode", "movj"}, {"arch", 3}, {"speed", 50}}));
    StopModeSettings read;
    QVERIFY(settings->stopMode(read));
    QCOMPARE(read.x, 1.5f);
    QCOMPARE(read.cfg, 7);
    QCOMPARE(read.mode, QString("movj"));
    QCOMPARE(read.speed, 50);
}

void tst_FunctionSettings::stopModeWithOnlyEnable()
{
    ctl->setDocument("/settings/function/stopMode", QJsonObject{{"enable", true}});
    StopModeSettings s;
    s.x = 9; s.mode = "keep"; s.arch = 4; s.speed = 8;
    QVERIFY(settings->stopMode(s));
    QVERIFY(s.enable);
    QCOMPARE(s.x, 9.0f);
    QCOMPARE(s.mode, QString("keep"));
    QCOMPARE(s.arch, 4);
    QCOMPARE(s.speed, 8);
}

void tst_FunctionSettings::documentErrorTexts_data()
{
    using Op = SettingsOp;
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<QString>("line");
    QTest::newRow("stopMode read") << Op([](QRobotSettings *s) { StopModeSettings v; return s->stopMode(v); })
                                   << "/settings/function/stopMode" << false << "stopMode_getParaError";
    QTest::newRow("stopMode write") << Op([](QRobotSettings *s) { return s->setStopMode(StopModeSettings()); })
                                    << "/settings/function/stopMode" << true << "stopMode_setParaError";
    QTest::newRow("remote read") << Op([](QRobotSettings *s) { RemoteControl v; return s->remoteControl(v); })
                                 << "/settings/function/remoteControl" << false << "remoteControl_getParaError";
    QTest::newRow("remote write") << Op([](QRobotSettings *s) { return s->setRemoteControl(RemoteControl()); })
                                  << "/settings/function/remoteControl" << true << "remoteControl_setParaError";
    QTest::newRow("modbus read") << Op([](QRobotSettings *s) { ModbusConf v; return s->modbusConf(v); })
                                 << "/settings/function/modbusConf" << false << "modbusConf_getParaError";
    QTest::newRow("modbus write") << Op([](QRobotSettings *s) { return s->setModbusConf(ModbusConf()); })
                                  << "/settings/function/modbusConf" << true << "modbusConf_setParaError";
    QTest::newRow("runTo read") << Op([](QRobotSettings *s) { QString v; return s->runToMode(v); })
                                << "/settings/function/runToMode" << false << "runToMode_getParaError";
    QTest::newRow("runTo write") << Op([](QRobotSettings *s) { return s->setRunToMode("x"); })
                                 << "/settings/function/runToMode" << true
                                 << "bool QRobotSettings::setRunToMode(const QString&) setParaError";
    QTest::newRow("ioctrl") << Op([](QRobotSettings *s) { ControlMap v; return s->ioCtrl(v); })
                            << "/settings/function/ioctrl" << false << "ioctrl_getParaError";
    QTest::newRow("modbusctrl") << Op([](QRobotSettings *s) { ControlMap v; return s->modbusCtrl(v); })
                                << "/settings/function/modbusctrl" << false << "modbusctrl_getParaError";
    QTest::newRow("jointBrake") << Op([](QRobotSettings *s) { bool v; return s->jointBrakeState(v); })
                                << "/interface/jointBrake" << false << "jointBrake_getParaError";
    QTest::newRow("basic driver")
        << Op([](QRobotSettings *s) { QRobotType::DriverParamsGroup v; return s->getBasicDriverParams(v); })
        << "/properties/driverParams" << false
        << "bool QRobotSettings::getBasicDriverParams(QRobotType::DriverParamsGroup&) getParaError";
    QTest::newRow("user driver")
        << Op([](QRobotSettings *s) { QRobotType::DriverParamsGroup v; return s->getUserDriverParams(v); })
        << "/settings/driver/userParams" << false
        << "bool QRobotSettings::getUserDriverParams(QRobotType::DriverParamsGroup&) getParaError";
    QTest::newRow("structure read") << Op([](QRobotSettings *s) { RobotStructure v; return s->structure(v); })
                                    << "/properties/structure" << false << "structure_getParaError";
    QTest::newRow("structure short") << Op([](QRobotSettings *s) { RobotStructure v; return s->structureShort(v); })
                                     << "/properties/structure" << false << "structure_getParaError";
    QTest::newRow("structure write") << Op([](QRobotSettings *s) { RobotStructure v{}; return s->setStructure(v); })
                                     << "/properties/structure" << true << "structure_setParaError";
}

void tst_FunctionSettings::documentErrorTexts()
{
    QFETCH(SettingsOp, op);
    QFETCH(QString, document);
    QFETCH(bool, isWrite);
    QFETCH(QString, line);
    if (isWrite) {
        ctl->setDocument(document, QJsonObject{{"present", 1}});
        ctl->onWrite(document).status(500);
    }
    VarloTest::LogCapture log;
    QVERIFY(!op(settings));
    QVERIFY2(log.hasLine(line), qPrintable(log.lines().join('\n')));
}

void tst_FunctionSettings::remoteModbusRunTo()
{
    QVERIFY(settings->setRemoteControl({"panel", "io"}));
    QCOMPARE(ctl->documentObject("/settings/function/remoteControl"), (QJsonObject{{"name", "panel"}, {"mode", "io"}}));
    RemoteControl remote{"old", "old"};
    ctl->setDocument("/settings/function/remoteControl", QJsonObject{{"mode", "modbus"}});
    QVERIFY(settings->remoteControl(remote));
    QCOMPARE(remote.name, QString("old"));
    QCOMPARE(remote.mode, QString("modbus"));

    ModbusConf conf;
    conf.id = 3;
    conf.mode = "rtu";
    QVERIFY(settings->setModbusConf(conf));
    QCOMPARE(ctl->documentObject("/settings/function/modbusConf"), (QJsonObject{{"id", 3}, {"mode", "rtu"}}));
    ctl->setDocument("/settings/function/modbusConf", QJsonObject{{"id", "seven"}, {"mode", 5}});
    QVERIFY(settings->modbusConf(conf));
    QCOMPARE(conf.id, 0);
    QCOMPARE(conf.mode, QString());

    QVERIFY(settings->setRunToMode("joint"));
    QString mode;
    QVERIFY(settings->runToMode(mode));
    QCOMPARE(mode, QString("joint"));
    // An array where an object belongs: true, nothing taken.
    ctl->setDocument("/settings/function/runToMode", QJsonArray{1});
    QVERIFY(settings->runToMode(mode));
    QCOMPARE(mode, QString("joint"));
}

void tst_FunctionSettings::controlMaps()
{
    ctl->setDocument("/settings/function/ioctrl",
                     QJsonObject{{"in", QJsonObject{{"clear_alarm", 1}, {"continue", 2}, {"pause_pin", 3},
                                                    {"stop_pin", 4}, {"start_pin", 5}, {"emergencystop", 6}}},
                                 {"out", QJsonObject{{"readystatus", 7}, {"pausestatus", 8}, {"alarmstatus", 9},
                                                     {"runstatus", 10}}}});
    ControlMap map;
    memset(&map, 0, sizeof map);
    QVERIFY(settings->ioCtrl(map));
    const qint32 expected[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QVERIFY(memcmp(&map, expected, sizeof expected) == 0);

    ctl->setDocument("/settings/function/modbusctrl",
                     QJsonObject{{"coils", QJsonObject{{"continue", 20}}}, {"inBits", QJsonObject{{"runstatus", 30}}},
                                 {"in", QJsonObject{{"clear_alarm", 99}}}});
    QVERIFY(settings->modbusCtrl(map));
    QCOMPARE(map.continue_, 20);
    QCOMPARE(map.runstatus, 30);
    QCOMPARE(map.clear_alarm, 1);
}

void tst_FunctionSettings::offlineRoundTripAndCutName()
{
    OfflineSettings s;
    memset(&s, 0, sizeof s);
    strcpy(s.name, "line 1");
    s.start = {1, 1};
    s.force_stop = {5, 0};
    s.running = {12, 1};
    QVERIFY(settings->setOffline(s));
    const QJsonObject doc = ctl->documentObject("/settings/offline");
    QCOMPARE(doc.value("name").toString(), QString("line 1"));
    QCOMPARE(doc.value("in").toObject().keys(), (QStringList{"force_stop", "pause", "resume", "start", "stop"}));
    QCOMPARE(doc.value("out").toObject().value("running").toObject(), (QJsonObject{{"io", 12}, {"level", 1}}));

    OfflineSettings read;
    memset(&read, 0, sizeof read);
    QVERIFY(settings->offline(read));
    QVERIFY(memcmp(&read, &s, sizeof s) == 0);

    ctl->setDocument("/settings/offline", QJsonObject{{"name", QString::fromUtf8("\xc3\xa9").repeated(15)},
                                                      {"in", "nonsense"}});
    QVERIFY(settings->offline(read));
    QCOMPARE(QByteArray(read.name), QString::fromUtf8("\xc3\xa9").repeated(9).toUtf8());
    QCOMPARE(read.start.io, 1);
}

void tst_FunctionSettings::brakes()
{
    ctl->on("POST", "/interface/jointBrake").reply(QJsonObject());
    ctl->on("POST", "/interface/dynamicBrake").reply(QJsonObject());
    QVERIFY(settings->setJointBrakeState(true));
    QCOMPARE(ctl->lastRequest("POST", "/interface/jointBrake").json(), (QJsonObject{{"jointBrake", true}}));
    QVERIFY(settings->setDynamicBrake(false));
    QCOMPARE(ctl->lastRequest("POST", "/interface/dynamicBrake").json(), (QJsonObject{{"dynamicBrake", false}}));
    ctl->setDocument("/interface/jointBrake", QJsonObject{{"jointBrake", true}});
    bool on = false;
    QVERIFY(settings->jointBrakeState(on));
    QVERIFY(on);
    ctl->on("POST", "/interface/jointBrake").status(500);
    QVERIFY(!settings->setJointBrakeState(true));
}

void tst_FunctionSettings::latchAndVisionCalibration()
{
    LatchPos pos{1, 2, 3, {4, 5, 6, 7, 8, 9}};
    QVERIFY(settings->setLatchPos(pos));
    QCOMPARE(ctl->documentObject("/process/flyPhoto/latchPos"),
             (QJsonObject{{"x", 1}, {"y", 2}, {"r", 3}, {"jointAngle", QJsonArray{4, 5, 6, 7, 8, 9}}}));
    LatchPos read{};
    QVERIFY(settings->latchPos(read));
    QVERIFY(memcmp(&read, &pos, sizeof pos) == 0);

    VisionCalibration table[VisionCalibrationCount];
    table[0].name = "cam";
    table[0].method = "nine";
    table[0].fixed = 1;
    table[0].matrix[8] = 1;
    table[0].error[1] = 0.25f;
    table[7].angle = 90;
    QVERIFY(settings->setVisionCalibration(table));
    const QJsonArray written = ctl->document("/process/vision_calibrate").array();
    QCOMPARE(written.size(), 8);
    QCOMPARE(written.at(0).toObject().value("matrix").toArray().size(), 9);
    QCOMPARE(written.at(0).toObject().value("method").toString(), QString("nine"));
    VisionCalibration back[VisionCalibrationCount];
    QVERIFY(settings->visionCalibration(back));
    QCOMPARE(back[0].name, QString("cam"));
    QCOMPARE(back[0].error[1], 0.25f);
    QCOMPARE(back[7].angle, 90.0f);
}

void tst_FunctionSettings::visionCalibrationIsBounded()
{
    QJsonArray array;
    for (int i = 0; i < 12; ++i)
        array.append(QJsonObject{{"name", QString::number(i)}, {"matrix", QJsonArray{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
                                 {"coordinate", "x"}});
    ctl->setDocument("/process/vision_calibrate", array);
    struct Guarded { VisionCalibration table[VisionCalibrationCount]; int guard = 77; } g;
    QVERIFY(settings->visionCalibration(g.table));
    QCOMPARE(g.table[7].name, QString("7"));
    QCOMPARE(g.table[7].matrix[8], 9.0f);
    QCOMPARE(g.table[7].coordinate[0], 0.0f);
    QCOMPARE(g.guard, 77);
}

void tst_FunctionSettings::visionCoordinate()
{
    ctl->on("POST", "/interface/visionCoordinate").reply(QJsonObject{{"x", 12.5}});
    VisionTarget target;
    target.index = 2;
    target.ip = "10.0.0.9";
    target.port = "5000";
    float x = 0, y = -1;
    QVERIFY(settings->visionCoordinate(target, x, y));
    QCOMPARE(ctl->lastRequest("POST", "/interface/visionCoordinate").json(),
             (QJsonObject{{"index", 2}, {"ip", "10.0.0.9"}, {"port", "5000"}}));
    QCOMPARE(x, 12.5f);
    QCOMPARE(y, -1.0f);
    ctl->on("POST", "/interface/visionCoordinate").status(500);
    QVERIFY(!settings->visionCoordinate(target, x, y));
}

void tst_FunctionSettings::driverParams()
{
    QRobotType::DriverParamsGroup params;
    memset(&params, 0, sizeof params);
    for (int g = 0; g < 10; ++g)
        for (int j = 0; j < 6; ++j) {
            params.group[g].velocityP[j] = float(g * 10 + j);
            params.group[g].loadInertiaRatio[j] = 0.5f * j;
        }
    QVERIFY(settings->setUserDriverParams(params));
    const QJsonArray written = ctl->document("/settings/driver/userParams").array();
    QCOMPARE(written.size(), 10);
    QCOMPARE(written.at(3).toObject().keys(),
             (QStringList{"loadInertiaRatio", "positionP", "speedFeedForward", "velocityI", "velocityP"}));
    QCOMPARE(written.at(3).toObject().value("velocityP").toArray().at(5).toDouble(), 35.0);
    QRobotType::DriverParamsGroup read;
    memset(&read, 0, sizeof read);
    QVERIFY(settings->getUserDriverParams(read));
    QVERIFY(memcmp(&read, &params, sizeof params) == 0);

    QVERIFY(settings->setBasicDriverParams(params));
    QVERIFY(ctl->hasDocument("/properties/driverParams"));
    memset(&read, 0, sizeof read);
    QVERIFY(settings->getBasicDriverParams(read));
    QCOMPARE(read.group[9].velocityP[5], 95.0f);
}

void tst_FunctionSettings::driverParamsAreBounded()
{
    QJsonArray array;
    for (int g = 0; g < 14; ++g)
        array.append(QJsonObject{{"velocityP", QJsonArray{1, 2, 3, 4, 5, 6, 7, 8}}, {"velocityI", "x"}});
    ctl->setDocument("/properties/driverParams", array);
    struct Guarded { QRobotType::DriverParamsGroup params; float guard; } g;
    memset(&g, 0, sizeof g);
    g.guard = 3.5f;
    QVERIFY(settings->getBasicDriverParams(g.params));
    QCOMPARE(g.params.group[9].velocityP[5], 6.0f);
    QCOMPARE(g.guard, 3.5f);
}

void tst_FunctionSettings::userDriverIndex()
{
    ctl->on("POST", "/settings/driver/userParam").reply(QJsonObject());
    QVERIFY(settings->setUserDriverIndex(4));
    QCOMPARE(ctl->lastRequest("POST", "/settings/driver/userParam").json(), (QJsonObject{{"index", 4}}));
    ctl->on("GET", "/settings/driver/userParam").reply(QJsonObject{{"index", 6}});
    int index = 0;
    QVERIFY(settings->getUserDriverIndex(index));
    QCOMPARE(index, 6);
    ctl->on("GET", "/settings/driver/userParam").reply(QJsonObject{{"other", 1}});
    QVERIFY(settings->getUserDriverIndex(index));
    QCOMPARE(index, 6);
    ctl->on("GET", "/settings/driver/userParam").status(500);
    VarloTest::LogCapture log;
    QVERIFY(!settings->getUserDriverIndex(index));
    QVERIFY(log.hasLine("bool QRobotSettings::getUserDriverIndex(int&) getError"));
}

void tst_FunctionSettings::conveyorCommands()
{
    ctl->on("POST", "/interface/readCurrentEncoder").reply(QJsonObject{{"value", 1234.5}});
    ctl->on("POST", "/interface/readSensorEncoder").reply(QJsonObject());
    ctl->on("POST", "/interface/listenSensor").reply(QJsonObject());
    float value = -1;
    QVERIFY(settings->readCurrentEncoder(1, value));
    QCOMPARE(value, 1234.5f);
    QCOMPARE(ctl->lastRequest("POST", "/interface/readCurrentEncoder").json(), (QJsonObject{{"conveyor_index", 1}}));
    QVERIFY(settings->readSensorEncoder(2, value));
    QCOMPARE(value, 1234.5f); // no "value": unchanged
    QVERIFY(settings->listenSensor(0, true));
    QCOMPARE(ctl->lastRequest("POST", "/interface/listenSensor").json(),
             (QJsonObject{{"conveyor_index", 0}, {"cmd", "start"}}));
    QVERIFY(settings->listenSensor(1, false));
    QCOMPARE(ctl->lastRequest("POST", "/interface/listenSensor").json().value("cmd").toString(), QString("stop"));
}

namespace {
Tracker makeTracker(int base)
{
    Tracker t;
    memset(&t, 0, sizeof t);
    t.conveyor_index = quint8(base);
    t.conveyor_type = base + 1;
    t.encoder_channel = 2;
    t.direction = -1;
    t.resolution = 0.125f;
    t.user_coord = 3;
    t.data_source = 1;
    t.communication_DI = 9;
    t.sensor_trigger_type = 2;
    t.sensor_repeat_threshold = 1.5f;
    t.sensor_coord[5] = 6;
    t.trigger_DO = 4;
    t.camera_trigger_type = 3;
    t.camera_repeat_threshold = 2.5f;
    t.shot_interval = 100;
    t.data_uint_type = 1;
    t.camera_coord[0] = 11;
    for (int i = 0; i < 9; ++i)
        t.camera_mat[i] = 0.1 * i;
    t.width = 640;
    t.height = 480;
    t.work_min = -100;
    t.pick_max = 50;
    t.work_max = 300;
    t.stop_distance = 400;
    return t;
}
} // namespace

void tst_FunctionSettings::trackingRoundTrip()
{
    TrackingSettings s;
    memset(&s, 0, sizeof s);
    s.tracker[0] = makeTracker(1);
    s.tracker[1] = makeTracker(2);
    s.count = 1;
    QVERIFY(settings->setTracking(s));
    const QJsonArray written = ctl->document("/process/tracking").array();
    QCOMPARE(written.size(), 1);
    const QJsonObject t = written.at(0).toObject();
    QCOMPARE(t.value("sensor").toObject().value("communication_DI").toInt(), 9);
    QCOMPARE(t.value("camera").toObject().value("camera_mat").toArray().size(), 9);
    QCOMPARE(t.value("camera").toObject().value("trigger_type").toInt(), 3);
    QCOMPARE(t.value("sensor").toObject().value("trigger_type").toInt(), 2);

    s.count = 5; // more than there is room for: two are written
    QVERIFY(settings->setTracking(s));
    QCOMPARE(ctl->document("/process/tracking").array().size(), 2);
    TrackingSettings read;
    memset(&read, 0, sizeof read);
    QVERIFY(settings->tracking(read));
    QCOMPARE(int(read.count), 2);
    QVERIFY(memcmp(&read.tracker[0], &s.tracker[0], sizeof(Tracker)) == 0);
    QVERIFY(memcmp(&read.tracker[1], &s.tracker[1], sizeof(Tracker)) == 0);

    s.count = 0;
    QVERIFY(settings->setTracking(s));
    QCOMPARE(ctl->document("/process/tracking").array(), QJsonArray());
}

void tst_FunctionSettings::trackingKeepsTwoTrackers()
{
    ctl->setDocument("/process/tracking",
                     QJsonArray{QJsonObject{{"conveyor_index", 1}}, QJsonObject{{"conveyor_index", 2},
                                {"camera", QJsonObject{{"camera_mat", QJsonArray{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}}}},
                                QJsonObject{{"conveyor_index", 3}}});
    struct Guarded { TrackingSettings s; int guard; } g;
    memset(&g, 0, sizeof g);
    g.guard = 5;
    QVERIFY(settings->tracking(g.s));
    QCOMPARE(int(g.s.count), 2);
    QCOMPARE(int(g.s.tracker[0].conveyor_index), 1);
    QCOMPARE(int(g.s.tracker[1].conveyor_index), 2);
    QCOMPARE(g.s.tracker[1].camera_mat[8], 9.0);
    QCOMPARE(g.guard, 5);
}

namespace {
QJsonObject structureDocument(bool withAlpha6)
{
    QJsonObject structure{{"L1", 1}, {"L2", 2}, {"L3", 3}, {"L4", 4}, {"L5", 5}, {"L6", 6},
                          {"a1", 11}, {"a6", 16}, {"alpha1", 21}, {"alpha2", 22}, {"alpha3", 23},
                          {"alpha4", 24}, {"alpha5", 25}, {"A1", 31}, {"A6", 36},
                          {"limits", QJsonArray{QJsonArray{-170, 170}, QJsonArray{-90, 90, 99}, "bad",
                                                QJsonArray{}, QJsonArray{1, 2}, QJsonArray{3, 4}, QJsonArray{5, 6},
                                                QJsonArray{7, 8}}}};
    if (withAlpha6)
        structure.insert("alpha6", 26);
    QJsonArray motors;
    for (int i = 0; i < 7; ++i)
        motors.append(QJsonObject{{"simulated", i == 1},
                                  {"motor", QJsonObject{{"inverted", i == 2}, {"rated", 3000 + i}, {"limit", 1.5}}},
                                  {"encoder", QJsonObject{{"bitNum", 17}}},
                                  {"gearBox", QJsonObject{{"num", 1}, {"den", 100 + i}}}});
    return QJsonObject{{"structure", structure}, {"motors", motors}};
}
} // namespace

void tst_FunctionSettings::structureReads()
{
    ctl->setDocument("/properties/structure", structureDocument(true));
    struct Guarded { RobotStructure s; float guard; } g;
    memset(&g, 0, sizeof g);
    g.guard = 8;
    g.s.a[1] = 99;
    QVERIFY(settings->structure(g.s));
    QCOMPARE(g.s.L[5], 6.0f);
    QCOMPARE(g.s.a[0], 11.0f);
    QCOMPARE(g.s.a[1], 99.0f); // "a2" missing
    QCOMPARE(g.s.alpha[5], 26.0f);
    QCOMPARE(g.s.limits[0][0], -170.0f);
    QCOMPARE(g.s.limits[1][1], 90.0f);
    QCOMPARE(g.s.limits[5][1], 4.0f); // elements past the sixth are not read
    QVERIFY(g.s.simulated[1]);
    QVERIFY(g.s.inverted[2]);
    QCOMPARE(g.s.rated[5], 3005.0f);
    QCOMPARE(g.s.bitNum[0], 17.0f);
    QCOMPARE(g.s.den[5], 105.0f);
    QCOMPARE(g.guard, 8.0f);
}

void tst_FunctionSettings::structureWithoutAlpha6()
{
    ctl->setDocument("/properties/structure", structureDocument(false));
    RobotStructure s;
    memset(&s, 0, sizeof s);
    for (float &v : s.alpha)
        v = -7;
    QVERIFY(settings->structure(s));
    for (float v : s.alpha)
        QCOMPARE(v, -7.0f);
    QCOMPARE(s.L[0], 1.0f);
}

void tst_FunctionSettings::structureShort()
{
    ctl->setDocument("/properties/structure", structureDocument(true));
    RobotStructure s;
    memset(&s, 0, sizeof s);
    QVERIFY(settings->structureShort(s));
    QCOMPARE(s.L[2], 3.0f);
    QCOMPARE(s.a[0], 31.0f);
    QCOMPARE(s.a[5], 36.0f);
    QCOMPARE(s.alpha[0], 0.0f);
    QCOMPARE(s.den[3], 103.0f);
    QCOMPARE(s.num[3], 0.0f);
    QCOMPARE(s.rated[3], 0.0f);
}

void tst_FunctionSettings::setStructureKeepsUnknownKeys()
{
    QJsonObject stored = structureDocument(true);
    stored.insert("vendor", "keep me");
    QJsonObject inner = stored.value("structure").toObject();
    inner.insert("d7", 42);
    stored.insert("structure", inner);
    QJsonArray motors = stored.value("motors").toArray();
    QJsonObject m0 = motors.at(0).toObject();
    m0.insert("brake", true);
    QJsonObject gear = m0.value("gearBox").toObject();
    gear.insert("ratio", "odd");
    m0.insert("gearBox", gear);
    motors.replace(0, m0);
    stored.insert("motors", motors);
    ctl->setDocument("/properties/structure", stored);

    RobotStructure s;
    memset(&s, 0, sizeof s);
    QVERIFY(settings->structure(s));
    s.L[0] = 500;
    s.den[0] = 121;
    s.inverted[0] = true;
    QVERIFY(settings->setStructure(s));

    const QJsonObject written = ctl->documentObject("/properties/structure");
    QCOMPARE(written.value("vendor").toString(), QString("keep me"));
    QCOMPARE(written.value("structure").toObject().value("d7").toInt(), 42);
    QCOMPARE(written.value("structure").toObject().value("L1").toDouble(), 500.0);
    QCOMPARE(written.value("structure").toObject().value("A1").toDouble(), 31.0);
    const QJsonArray writtenMotors = written.value("motors").toArray();
    QCOMPARE(writtenMotors.size(), 7);
    const QJsonObject w0 = writtenMotors.at(0).toObject();
    QVERIFY(w0.value("brake").toBool());
    QCOMPARE(w0.value("gearBox").toObject().value("ratio").toString(), QString("odd"));
    QCOMPARE(w0.value("gearBox").toObject().value("den").toDouble(), 121.0);
    QVERIFY(w0.value("motor").toObject().value("inverted").toBool());

    RobotStructure back;
    memset(&back, 0, sizeof back);
    QVERIFY(settings->structure(back));
    QVERIFY(memcmp(&back, &s, sizeof s) == 0);
}

void tst_FunctionSettings::setStructureWritesNothingWhenUnreadable()
{
    RobotStructure s;
    memset(&s, 0, sizeof s);
    VarloTest::LogCapture log;
    QVERIFY(!settings->setStructure(s));
    QCOMPARE(ctl->count("POST", "/file/write/properties/structure.json"), 0);
    QVERIFY(log.hasLine("structure_getParaError"));
}

QTEST_GUILESS_MAIN(tst_FunctionSettings)
#include "tst_functionsettings.moc"
