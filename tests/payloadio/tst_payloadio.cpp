// Payload, force sensing, mounting, analog and extended IO and grippers of
// QRobotCollaborative against the controller double.
#include "collaborative/payloadiotypes.h"
#include "collaborative/qrobotcollaborative.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <cstring>

using VarloTest::LogCapture;
using VarloTest::Request;
using VarloTest::numbers;
using VarloTest::floats;
using VarloTest::indexOf;

namespace {

const char Address[] = "127.0.0.41";
const char LoadDocument[] = "/settings/function/loadParams";
const char ModbusDocument[] = "/settings/function/modbus_io_config";

QJsonArray loadArray(const QRobotCoor::Load &load)
{
    return QJsonArray{ double(load.x), double(load.y), double(load.z), double(load.loadValue) };
}

QJsonArray channels(const VarloAnalogChannel (&c)[2])
{
    return QJsonArray{ c[0].mode, c[0].value, c[1].mode, c[1].value };
}

QRobotCoor::ExtendIODevice device(const QString &name, int base)
{
    QRobotCoor::ExtendIODevice d;
    d.DI = { base + 1, base + 2, base + 3 };
    d.DO = { base + 4, base + 5, base + 6 };
    d.id = base + 7;
    d.period = base + 8;
    d.port = 502;
    d.ip = QStringLiteral("192.168.1.%1").arg(base);
    d.name = name;
    return d;
}

} // namespace

class tst_PayloadIO : public QObject, public VarloTest::ComponentTest<QRobotCollaborative>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init() { initComponent(); }
    void cleanup() { cleanupComponent(); }

    // payload, force sensing, mounting
    void setLoadCenterWritesThenApplies();
    void failedLoadWriteSendsNoApply();
    void setLoadInertiaSendsItsOwnKeys();
    void readLoad_data();
    void readLoad();
    void controllerLoad_data();
    void controllerLoad();
    void forceData_data();
    void forceData();
    void forceSwitchAndHome();
    void torqueParams_data();
    void torqueParams();
    void mounting();
    void dragSensivity();

    // analog IO, extended IO, grippers
    void twoChannelWrites();
    void twoChannelReads_data();
    void twoChannelReads();
    void gpioAI();
    void grippers();
    void extendIOPacking_data();
    void extendIOPacking();
    void extendIOSendsOuterEnableAlwaysTrue();
    void deviceListStopsAtFirstUnnamedSlot();
    void readDeviceList();
    void deviceListBeyondNineSlots();

private:
    QRobotCollaborative *&robot = component;
};

void tst_PayloadIO::setLoadCenterWritesThenApplies()
{
    ctl->on("POST", "/settings/function/setLoad").reply(QJsonObject{});
    QVERIFY(robot->setLoadCenter({ 1.5f, -2.0f, 30.25f, 4.0f }));

    QCOMPARE(ctl->documentObject(LoadDocument),
             (QJsonObject{ { "centerX", 1.5 }, { "centerY", -2.0 }, { "centerZ", 30.25 }, { "loadValue", 4.0 } }));
    const QList<Request> requests = ctl->requests();
    const int write = indexOf(requests, "POST", "/file/write/settings/function/loadParams.json");
    const int apply = indexOf(requests, "POST", "/settings/function/setLoad");
    QVERIFY(write >= 0);
    QVERIFY(apply > write);
    QCOMPARE(requests.at(apply).jsonDocument(), QJsonDocument(QJsonObject()));
    QCOMPARE(ctl->count("POST", "/settings/function/setLoad"), 1);
}

void tst_PayloadIO::failedLoadWriteSendsNoApply()
{
    ctl->onWrite(LoadDocument).status(500);
    // The apply request failing does not matter once the document is written.
    LogCapture log;
    QVERIFY(!robot->setLoadCenter({ 1, 2, 3, 4 }));
    QVERIFY(log.hasLine("loadParams_setParaError"));
    QCOMPARE(ctl->count("POST", "/settings/function/setLoad"), 0);

    ctl->clearScripts();
    ctl->on("POST", "/settings/function/setLoad").status(500);
    QVERIFY(robot->setLoadCenter({ 1, 2, 3, 4 }));
    QCOMPARE(ctl->count("POST", "/settings/function/setLoad"), 1);
}

void tst_PayloadIO::setLoadInertiaSendsItsOwnKeys()
{
    QVERIFY(robot->setLoadInertia({ 0.5f, 0.25f, 0.125f, 3.0f }));
    QCOMPARE(ctl->documentObject(LoadDocument),
             (QJsonObject{ { "inertiaX", 0.5 }, { "inertiaY", 0.25 }, { "inertiaZ", 0.125 }, { "loadValue", 3.0 } }));
    QCOMPARE(ctl->count("POST", "/settings/function/setLoad"), 0);
}

void tst_PayloadIO::readLoad_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: none
    QTest::addColumn<bool>("inertia");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QJsonArray>("load");     // starts as 7, 7, 7, 7

    const QByteArray both = R"({"centerX": 1, "centerY": 2, "centerZ": 3,
                                "inertiaX": 4, "inertiaY": 5, "inertiaZ": 6, "loadValue": 8})";
    QTest::newRow("centre") << both << false << true << numbers({ 1, 2, 3, 8 });
    QTest::newRow("inertia") << both << true << true << numbers({ 4, 5, 6, 8 });
    QTest::newRow("missing keys keep their values") << QByteArray(R"({"centerY": 2})") << false << true
                                                    << numbers({ 7, 2, 7, 7 });
    QTest::newRow("values of the wrong type") << QByteArray(R"({"centerX": "1", "loadValue": [2]})") << false
                                              << true << numbers({ 0, 7, 7, 0 });
    QTest::newRow("an array") << QByteArray("[1, 2, 3, 4]") << false << true << numbers({ 7, 7, 7, 7 });
    QTest::newRow("not JSON") << QByteArray("{centerX: 1}") << false << false << numbers({ 7, 7, 7, 7 });
    QTest::newRow("no document") << QByteArray() << true << false << numbers({ 7, 7, 7, 7 });
}

void tst_PayloadIO::readLoad()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, inertia);
    QFETCH(bool, ok);
    QFETCH(QJsonArray, load);
    if (!document.isEmpty())
        ctl->setDocument(LoadDocument, document);

    LogCapture log;
    QRobotCoor::Load record{ 7, 7, 7, 7 };
    QCOMPARE(inertia ? robot->getLoadInertia(record) : robot->getLoadCenter(record), ok);
    QCOMPARE(loadArray(record), load);
    // A document the file service cannot serve as JSON counts as unreadable.
    QCOMPARE(log.hasLine("loadParams_getParaError"), !ok);
}

void tst_PayloadIO::controllerLoad_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QJsonArray>("load");

    QTest::newRow("centre wins over inertia")
        << 200
        << QJsonObject{ { "inertiaX", 4 }, { "inertiaY", 5 }, { "inertiaZ", 6 }, { "centerX", 1 },
                        { "centerY", 2 }, { "centerZ", 3 }, { "loadValue", 8 } }
        << true << numbers({ 1, 2, 3, 8 });
    QTest::newRow("inertia only") << 200 << QJsonObject{ { "inertiaX", 4 }, { "inertiaZ", 6 } } << true
                                  << numbers({ 4, 0, 6, 0 });
    QTest::newRow("empty reply clears") << 200 << QJsonObject{} << true << numbers({ 0, 0, 0, 0 });
    QTest::newRow("request failed clears") << 500 << QJsonObject{} << false << numbers({ 0, 0, 0, 0 });
}

void tst_PayloadIO::controllerLoad()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, reply);
    QFETCH(bool, ok);
    QFETCH(QJsonArray, load);
    ctl->on("GET", LoadDocument).reply(reply).status(status);

    LogCapture log;
    QRobotCoor::Load record{ 7, 7, 7, 7 };
    QCOMPARE(robot->getControllerLoad(record), ok);
    QCOMPARE(loadArray(record), load);
    QCOMPARE(log.hasLine("bool QRobotCollaborative::getControllerLoad(QRobotCoor::Load&) getError"), !ok);
}

void tst_PayloadIO::forceData_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QJsonArray>("values"); // start as six nines

    QTest::newRow("six") << 200 << QJsonObject{ { "value", numbers({ 1, 2, 3, 4, 5, 6 }) } } << true
                         << numbers({ 1, 2, 3, 4, 5, 6 });
    QTest::newRow("short array") << 200 << QJsonObject{ { "value", numbers({ 1.5, -2, 3 }) } } << true
                                 << numbers({ 1.5, -2, 3, 0, 0, 0 });
    QTest::newRow("long array") << 200 << QJsonObject{ { "value", numbers({ 1, 2, 3, 4, 5, 6, 7, 8 }) } } << true
                                << numbers({ 1, 2, 3, 4, 5, 6 });
    QTest::newRow("not an array") << 200 << QJsonObject{ { "value", 5 } } << true << numbers({ 0, 0, 0, 0, 0, 0 });
    QTest::newRow("no value") << 200 << QJsonObject{ { "values", numbers({ 1 }) } } << true
                              << numbers({ 9, 9, 9, 9, 9, 9 });
    QTest::newRow("request failed") << 500 << QJsonObject{} << false << numbers({ 9, 9, 9, 9, 9, 9 });
}

void tst_PayloadIO::forceData()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, reply);
    QFETCH(bool, ok);
    QFETCH(QJsonArray, values);
    ctl->on("GET", "/process/sixForce/data").reply(reply).status(status);

    float readings[6] = { 9, 9, 9, 9, 9, 9 };
    QCOMPARE(robot->getForceData(readings), ok);
    QCOMPARE(floats(readings, 6), values);
}

void tst_PayloadIO::forceSwitchAndHome()
{
    QVERIFY(robot->setForceSensor(true));
    QCOMPARE(ctl->documentObject("/process/sixForce/switch"), (QJsonObject{ { "value", true } }));
    bool on = false;
    QVERIFY(robot->getForceSensor(on));
    QVERIFY(on);

    ctl->onWrite("/process/sixForce/switch").status(500);
    LogCapture log;
    QVERIFY(!robot->setForceSensor(false));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setForceSensor(bool) setParaError"));

    ctl->on("POST", "/process/sixForce/home").reply(QJsonObject{});
    QVERIFY(robot->setForceHome());
    QCOMPARE(ctl->lastRequest("POST", "/process/sixForce/home").jsonDocument(), QJsonDocument(QJsonObject()));
    ctl->on("POST", "/process/sixForce/home").status(500);
    QVERIFY(!robot->setForceHome());
    QVERIFY(log.hasLine("sixForceHome_postError"));
}

void tst_PayloadIO::torqueParams_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("value"); // starts as 7
    QTest::newRow("read") << QByteArray(R"({"value": 2.5})") << true << 2.5f;
    QTest::newRow("an array reads nothing") << QByteArray("[2.5]") << true << 7.0f;
    QTest::newRow("not JSON") << QByteArray("value=2.5") << false << 7.0f;
    QTest::newRow("no document") << QByteArray() << false << 7.0f;
}

void tst_PayloadIO::torqueParams()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, ok);
    QFETCH(float, value);
    if (!document.isEmpty())
        ctl->setDocument("/settings/torqueParams", document);
    LogCapture log;
    float torque = 7.0f;
    QCOMPARE(robot->getTorqueParams(torque), ok);
    QCOMPARE(torque, value);
    QCOMPARE(log.hasLine("torqueParams_getParaError"), !ok);
}

void tst_PayloadIO::mounting()
{
    QVERIFY(robot->setInstallPosture({ 15.5f, -90.0f }));
    QCOMPARE(ctl->documentObject("/settings/function/install"),
             (QJsonObject{ { "SlopeAngle", 15.5 }, { "RotationAngle", -90.0 } }));
    QRobotCoor::InstallPosture posture{ 0, 0 };
    QVERIFY(robot->getInstallPosture(posture));
    QCOMPARE(posture.SlopeAngle, 15.5f);
    QCOMPARE(posture.RotationAngle, -90.0f);

    ctl->on("POST", "/settings/calcInstall").reply(QJsonObject{ { "SlopeAngle", 30 } });
    const float pose[6] = { 100, 200, 300, 1.5f, 2.5f, 3.5f };
    QRobotCoor::InstallPosture computed{ 7, 7 };
    QVERIFY(robot->calcInstall(pose, computed));
    QCOMPARE(ctl->lastRequest("POST", "/settings/calcInstall").json(),
             (QJsonObject{ { "cartesianCoord", numbers({ 100, 200, 300, 1.5, 2.5, 3.5 }) } }));
    QCOMPARE(computed.SlopeAngle, 30.0f);
    QCOMPARE(computed.RotationAngle, 7.0f); // absent from the reply

    ctl->on("POST", "/settings/calcInstall").status(500);
    LogCapture log;
    QVERIFY(!robot->calcInstall(pose, computed));
    QVERIFY(log.hasLine("calcInstall_postError"));
}

void tst_PayloadIO::dragSensivity()
{
    QVERIFY(robot->setDragSensivity({ 1, 2, 3, 4, 5, 6 }));
    QCOMPARE(ctl->documentObject("/settings/function/dragSensivity"),
             (QJsonObject{ { "j1", 1 }, { "j2", 2 }, { "j3", 3 }, { "j4", 4 }, { "j5", 5 }, { "j6", 6 } }));
    ctl->setDocument("/settings/function/dragSensivity",
                     QJsonObject{ { "j1", 10 }, { "j3", 2.5 }, { "j6", "60" }, { "j5", 50 } });
    QRobotCoor::DragSensivity read{ 7, 7, 7, 7, 7, 7 };
    QVERIFY(robot->getDragSensivity(read));
    QCOMPARE(QJsonArray({ read.j1, read.j2, read.j3, read.j4, read.j5, read.j6 }),
             QJsonArray({ 10, 7, 0, 7, 50, 0 }));
}

void tst_PayloadIO::twoChannelWrites()
{
    QRobotCoor::GPIOAO ao = { { { 1, 2500 }, { 0, -3 } } };
    QVERIFY(robot->setGPIOAO(ao));
    const QJsonArray expected{ QJsonObject{ { "mode", 1 }, { "value", 2500 } },
                               QJsonObject{ { "mode", 0 }, { "value", -3 } } };
    QCOMPARE(ctl->document("/settings/function/gpioAO").array(), expected);

    QRobotCoor::EndAI end = { { { 1, 2500 }, { 0, -3 } } };
    QVERIFY(robot->setEndAI(end));
    QCOMPARE(ctl->document("/settings/function/endAI").array(), expected);

    ctl->onWrite("/settings/function/gpioAO").status(500);
    LogCapture log;
    QVERIFY(!robot->setGPIOAO(ao));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setGPIOAO(QRobotCoor::GPIOAO) setParaError"));
}

void tst_PayloadIO::twoChannelReads_data()
{
    QTest::addColumn<bool>("endAI");
    QTest::addColumn<QByteArray>("document"); // empty: none
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QJsonArray>("channels"); // start as 7, 7, 7, 7

    const QByteArray two = R"([{"mode": 1, "value": 10}, {"mode": 2, "value": 20}])";
    QTest::newRow("AO, two channels") << false << two << true << QJsonArray{ 1, 10, 2, 20 };
    QTest::newRow("end AI, two channels") << true << two << true << QJsonArray{ 1, 10, 2, 20 };
    QTest::newRow("AO, one element fills channel 1") << false << QByteArray(R"([{"mode": 1, "value": 10}])") << true
                                                      << QJsonArray{ 1, 10, 7, 7 };
    QTest::newRow("AO, three elements") << false << QByteArray(R"([{"mode": 1}, {"value": 2}, {"mode": 3}])")
                                        << true << QJsonArray{ 1, 7, 7, 2 };
    QTest::newRow("AO, elements not objects") << false << QByteArray(R"([5, "x"])") << true
                                              << QJsonArray{ 7, 7, 7, 7 };
    QTest::newRow("AO, wrong value types") << false << QByteArray(R"([{"mode": "1", "value": 1.5}])") << true
                                           << QJsonArray{ 0, 0, 7, 7 };
    QTest::newRow("end AI, an object") << true << QByteArray(R"({"mode": 1, "value": 2})") << true
                                       << QJsonArray{ 7, 7, 7, 7 };
    QTest::newRow("end AI, empty array") << true << QByteArray("[]") << true << QJsonArray{ 7, 7, 7, 7 };
    QTest::newRow("AO, not JSON") << false << QByteArray("[{") << false << QJsonArray{ 7, 7, 7, 7 };
    QTest::newRow("AO, no document") << false << QByteArray() << false << QJsonArray{ 7, 7, 7, 7 };
}

void tst_PayloadIO::twoChannelReads()
{
    QFETCH(bool, endAI);
    QFETCH(QByteArray, document);
    QFETCH(bool, ok);
    QFETCH(QJsonArray, channels);
    const QString name = endAI ? "/settings/function/endAI" : "/settings/function/gpioAO";
    if (!document.isEmpty())
        ctl->setDocument(name, document);

    LogCapture log;
    if (endAI) {
        QRobotCoor::EndAI record = { { { 7, 7 }, { 7, 7 } } };
        QCOMPARE(robot->getEndAI(record), ok);
        QCOMPARE(::channels(record.channel), channels);
    } else {
        QRobotCoor::GPIOAO record = { { { 7, 7 }, { 7, 7 } } };
        QCOMPARE(robot->getGPIOAO(record), ok);
        QCOMPARE(::channels(record.channel), channels);
        QCOMPARE(log.hasLine("bool QRobotCollaborative::getGPIOAO(QRobotCoor::GPIOAO&) getParaError"), !ok);
    }
}

void tst_PayloadIO::gpioAI()
{
    QVERIFY(robot->setGPIOAI({ 1, 0 }));
    QCOMPARE(ctl->documentObject("/settings/function/gpioAI"), (QJsonObject{ { "mode1", 1 }, { "mode2", 0 } }));
    ctl->setDocument("/settings/function/gpioAI", QJsonObject{ { "mode2", 3 } });
    QRobotCoor::GPIOAI ai = { 7, 7 };
    QVERIFY(robot->getGPIOAI(ai));
    QCOMPARE(ai.mode1, 7);
    QCOMPARE(ai.mode2, 3);
}

void tst_PayloadIO::grippers()
{
    QVERIFY(robot->setIQGripperEnable(true));
    QCOMPARE(ctl->documentObject("/settings/function/robotiqGripperEnable"), (QJsonObject{ { "enable", true } }));
    QVERIFY(robot->setHitbotGripperEnable(false));
    QCOMPARE(ctl->documentObject("/settings/function/hitbotGripperEnable"), (QJsonObject{ { "enable", false } }));
    bool enabled = false;
    QVERIFY(robot->getIQGripperEnable(enabled));
    QVERIFY(enabled);
    QVERIFY(robot->getHitbotGripperEnable(enabled));
    QVERIFY(!enabled);

    ctl->on("POST", "/interface/robotiqGripper").reply(QJsonObject{});
    ctl->on("POST", "/interface/hitbotGripper").reply(QJsonObject{});
    QVERIFY(robot->setIQGripper(true));
    QCOMPARE(ctl->lastRequest("POST", "/interface/robotiqGripper").json(), (QJsonObject{ { "value", true } }));
    QVERIFY(robot->setHitbotGripper(false));
    QCOMPARE(ctl->lastRequest("POST", "/interface/hitbotGripper").json(), (QJsonObject{ { "value", false } }));
}

void tst_PayloadIO::extendIOPacking_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("value");
    QTest::newRow("channel 0") << 0 << 0 << 0 << 1;
    QTest::newRow("channel 7") << 0 << 7 << 0 << 128;
    QTest::newRow("channel 8") << 0 << 8 << 1 << 1;
    QTest::newRow("last channel of the last module") << 8 << 95 << 11 << 128;
    QTest::newRow("module 5 channel 42") << 4 << 42 << 5 << 4;
}

void tst_PayloadIO::extendIOPacking()
{
    QFETCH(int, module);
    QFETCH(int, channel);
    QFETCH(int, byte);
    QFETCH(int, value);
    ctl->on("POST", "/interface/extendIO").reply(QJsonObject{});

    QRobotType::ExtendIO io;
    std::memset(&io, 0, sizeof io);
    io.enable = true;
    io.value[module][channel] = true;
    QVERIFY(robot->setExtendIO(io));

    const QJsonArray modules = ctl->lastRequest("POST", "/interface/extendIO").json().value("extendDO").toObject()
                                   .value("value").toArray();
    QCOMPARE(modules.size(), 9);
    for (int m = 0; m < 9; ++m) {
        const QJsonArray bytes = modules.at(m).toArray();
        QCOMPARE(bytes.size(), 12);
        for (int b = 0; b < 12; ++b) {
            const int expected = (m == module && b == byte) ? value : 0;
            QCOMPARE(bytes.at(b), QJsonValue(expected));
        }
    }

    // All channels set: every byte 255, never negative.
    std::memset(io.value, 1, sizeof io.value);
    QVERIFY(robot->setExtendIO(io));
    for (const QJsonValue &m : ctl->lastRequest("POST", "/interface/extendIO").json().value("extendDO").toObject()
                                   .value("value").toArray()) {
        for (const QJsonValue &b : m.toArray())
            QCOMPARE(b, QJsonValue(255));
    }
}

void tst_PayloadIO::extendIOSendsOuterEnableAlwaysTrue()
{
    ctl->on("POST", "/interface/extendIO").reply(QJsonObject{});
    QRobotType::ExtendIO io;
    std::memset(&io, 0, sizeof io);
    LogCapture log;
    QVERIFY(robot->setExtendIO(io));
    const QJsonObject body = ctl->lastRequest("POST", "/interface/extendIO").json();
    QCOMPARE(body.value("enable"), QJsonValue(true));
    QCOMPARE(body.value("extendDO").toObject().value("enable"), QJsonValue(false));
    QVERIFY(log.contains("bool QRobotCollaborative::setExtendIO(QRobotType::ExtendIO) QJsonObject("));

    ctl->on("POST", "/interface/extendIO").status(500);
    QVERIFY(!robot->setExtendIO(io));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setExtendIO(QRobotType::ExtendIO) postError"));
}

void tst_PayloadIO::deviceListStopsAtFirstUnnamedSlot()
{
    QRobotCoor::ExtendIOParams params;
    for (int k = 0; k < 9; ++k)
        params.device[k] = device(QStringLiteral("module %1").arg(k), 10 * k);
    params.device[2].name.clear();
    QVERIFY(robot->setExtendIOParams(params));

    const QJsonArray devices = ctl->documentObject(ModbusDocument).value("modbusTCPDev").toArray();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices.at(1).toObject(),
             (QJsonObject{ { "DI", QJsonObject{ { "addr", 11 }, { "number", 12 }, { "index", 13 } } },
                           { "DO", QJsonObject{ { "addr", 14 }, { "number", 15 }, { "index", 16 } } },
                           { "id", 17 }, { "ip", "192.168.1.10" }, { "name", "module 1" }, { "period", 18 },
                           { "port", 502 } }));

    params.device[0].name.clear();
    QVERIFY(robot->setExtendIOParams(params));
    QCOMPARE(ctl->documentObject(ModbusDocument), (QJsonObject{ { "modbusTCPDev", QJsonArray() } }));
}

void tst_PayloadIO::readDeviceList()
{
    QRobotCoor::ExtendIOParams params;
    for (int k = 0; k < 9; ++k)
        params.device[k] = device(QStringLiteral("kept %1").arg(k), 10 * k);

    ctl->setDocument(ModbusDocument, QJsonObject{ { "modbusTCPDev", QJsonArray{
        QJsonObject{ { "DI", QJsonObject{ { "addr", 1 }, { "number", 2 }, { "index", 3 } } },
                     { "DO", QJsonObject{ { "addr", 4 } } },
                     { "id", 5 }, { "ip", "10.0.0.5" }, { "name", "first" }, { "period", 6 }, { "port", 502 } },
        // Every key is read: missing or mistyped ones give 0 or empty.
        QJsonObject{ { "DI", "not an object" }, { "name", 42 }, { "port", "502" } },
        QJsonValue(17),
    } } });
    QVERIFY(robot->getExtendIOParams(params));
    const QRobotCoor::ExtendIODevice &first = params.device[0];
    QCOMPARE(QJsonArray({ first.DI.addr, first.DI.number, first.DI.index, first.DO.addr, first.DO.number,
                          first.DO.index, first.id, first.period, first.port }),
             QJsonArray({ 1, 2, 3, 4, 0, 0, 5, 6, 502 }));
    QCOMPARE(first.ip, QString("10.0.0.5"));
    QCOMPARE(first.name, QString("first"));
    for (int k = 1; k <= 2; ++k) {
        const QRobotCoor::ExtendIODevice &empty = params.device[k];
        QCOMPARE(QJsonArray({ empty.DI.addr, empty.DI.number, empty.DI.index, empty.DO.addr, empty.id,
                              empty.period, empty.port }),
                 QJsonArray({ 0, 0, 0, 0, 0, 0, 0 }));
        QVERIFY(empty.ip.isEmpty());
        QVERIFY(empty.name.isEmpty());
    }
    // Slots past the list keep what they held.
    QCOMPARE(params.device[3].name, QString("kept 3"));
    QCOMPARE(params.device[8].id, 87);

    // A list that is an array, or lacks the key, changes nothing.
    ctl->setDocument(ModbusDocument, QJsonArray{ QJsonObject{ { "name", "x" } } });
    QVERIFY(robot->getExtendIOParams(params));
    QCOMPARE(params.device[0].name, QString("first"));
    ctl->setDocument(ModbusDocument, QJsonObject{ { "devices", QJsonArray{} } });
    QVERIFY(robot->getExtendIOParams(params));
    QCOMPARE(params.device[0].name, QString("first"));
}

void tst_PayloadIO::deviceListBeyondNineSlots()
{
    QJsonArray many;
    for (int k = 0; k < 50; ++k)
        many.append(QJsonObject{ { "name", QStringLiteral("d%1").arg(k) }, { "id", k } });
    ctl->setDocument(ModbusDocument, QJsonObject{ { "modbusTCPDev", many } });
    QRobotCoor::ExtendIOParams params;
    QVERIFY(robot->getExtendIOParams(params));
    for (int k = 0; k < 9; ++k) {
        QCOMPARE(params.device[k].name, QStringLiteral("d%1").arg(k));
        QCOMPARE(params.device[k].id, k);
    }
}

QTEST_GUILESS_MAIN(tst_PayloadIO)
#include "tst_payloadio.moc"
