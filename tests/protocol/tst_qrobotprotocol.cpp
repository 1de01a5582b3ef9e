#include "robot/qrobotprotocol.h"
#include "robot/qrobotprotocol_p.h"
#include "transport/qhttpmanager.h"
#include "types/qrobotmetatypes.h"

#include "fakecontroller.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <cstring>
#include <functional>
#include <limits>

using VarloTest::FakeController;
using VarloTest::LogCapture;
using VarloTest::Reply;
using VarloTest::Request;

namespace {

const char Address[] = "127.0.0.10";
const char ExchangePath[] = "/protocol/exchange";
const char Tag[] = "QRobotProtocolPrivate::initTimers()::<lambda()>";

QJsonObject object(const QByteArray &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    if (!doc.isObject())
        qFatal("bad test JSON: %s", text.constData());
    return doc.object();
}

QJsonArray repeated(const QJsonValue &value, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(value);
    return array;
}

// The scalar state by name, as an int.
int scalarState(const QRobotProtocol &p, const QByteArray &name)
{
    static const QHash<QByteArray, std::function<int(const QRobotProtocol &)>> getters = {
        { "controlMode", [](const QRobotProtocol &p) { return int(p.controlMode()); } },
        { "dragMode", [](const QRobotProtocol &p) { return int(p.dragMode()); } },
        { "coordinate", [](const QRobotProtocol &p) { return int(p.coordinate()); } },
        { "jogMode", [](const QRobotProtocol &p) { return int(p.jogMode()); } },
        { "toolCoordinate", [](const QRobotProtocol &p) { return p.toolCoordinate(); } },
        { "userCoordinate", [](const QRobotProtocol &p) { return p.userCoordinate(); } },
        { "autoManual", [](const QRobotProtocol &p) { return int(p.autoManual()); } },
        { "armOrientation", [](const QRobotProtocol &p) { return int(p.armOrientation()); } },
        { "isCollision", [](const QRobotProtocol &p) { return int(p.isCollision()); } },
        { "isSkinCollision", [](const QRobotProtocol &p) { return int(p.isSkinCollision()); } },
        { "isPower", [](const QRobotProtocol &p) { return int(p.isPower()); } },
        { "isDrag", [](const QRobotProtocol &p) { return int(p.isDrag()); } },
        { "isPlayback", [](const QRobotProtocol &p) { return int(p.isPlayback()); } },
    };
    return getters.value(name)(p);
}

// A recorded signal argument of an int-sized enum, an int or a bool, as an int.
int argumentAsInt(const QVariant &argument)
{
    if (argument.userType() == QMetaType::Bool)
        return argument.toBool();
    int value = 0;
    std::memcpy(&value, argument.constData(), sizeof value);
    return value;
}

void decode(QRobotProtocol &protocol, const QJsonObject &reply)
{
    QRobotProtocolPrivate::get(&protocol)->decodeReply(reply);
}

// Every notification of the exchange by name, in the order they are emitted.
class EmissionLog
{
public:
    explicit EmissionLog(QRobotProtocol *p)
    {
        auto track = [this, p](auto signal, const char *name) {
            QObject::connect(p, signal, p, [this, name] { names.append(QString::fromLatin1(name)); });
        };
        track(&QRobotProtocol::controlModeChanged, "controlModeChanged");
        track(&QRobotProtocol::dragModeChanged, "dragModeChanged");
        track(&QRobotProtocol::coordinateChanged, "coordinateChanged");
        track(&QRobotProtocol::jogModeChanged, "jogModeChanged");
        track(&QRobotProtocol::toolCoordinateChanged, "toolCoordinateChanged");
        track(&QRobotProtocol::userCoordinateChanged, "userCoordinateChanged");
        track(&QRobotProtocol::autoManualChanged, "autoManualChanged");
        track(&QRobotProtocol::jointCoordinateChanged, "jointCoordinateChanged");
        track(&QRobotProtocol::cartesianCoordinateChanged, "cartesianCoordinateChanged");
        track(&QRobotProtocol::isSkinCollisionChanged, "isSkinCollisionChanged");
        track(&QRobotProtocol::isCollisionChanged, "isCollisionChanged");
        track(&QRobotProtocol::isPowerChanged, "isPowerChanged");
        track(&QRobotProtocol::isDragChanged, "isDragChanged");
        track(&QRobotProtocol::isPlaybackChanged, "isPlaybackChanged");
        track(&QRobotProtocol::auxJointChanged, "auxJointChanged");
        track(&QRobotProtocol::controllerParamsChanged, "controllerParamsChanged");
        track(&QRobotProtocol::jointCurrentChanged, "jointCurrentChanged");
        track(&QRobotProtocol::jointVoltageChanged, "jointVoltageChanged");
        track(&QRobotProtocol::jointTempChanged, "jointTempChanged");
        track(&QRobotProtocol::endAIChanged, "endAIChanged");
        track(&QRobotProtocol::gpioAIChanged, "gpioAIChanged");
        track(&QRobotProtocol::alarmsChanged, "alarmsChanged");
        track(&QRobotProtocol::DOChanged, "DOChanged");
        track(&QRobotProtocol::DIChanged, "DIChanged");
        track(&QRobotProtocol::extendDOChanged, "extendDOChanged");
        track(&QRobotProtocol::extendDIChanged, "extendDIChanged");
        track(&QRobotProtocol::exChangeClock, "exChangeClock");
        track(&QRobotProtocol::armOrientationChanged, "armOrientationChanged");
        track(&QRobotProtocol::rdnCoordinateChanged, "rdnCoordinateChanged");
    }
    QStringList names;
};

// A reply with every key, every value different from the initial state.
QJsonObject fullReply()
{
    QJsonArray alarms;
    for (int g = 0; g < 7; ++g)
        alarms.append(repeated(g + 1, 64));
    QJsonArray extend;
    for (int m = 0; m < 9; ++m)
        extend.append(repeated(m == 0 ? 1 : 0, 12));
    QJsonObject reply = object(R"({
        "controlMode": "enable", "dragMode": "enable", "coordinate": "cartesian",
        "JogMode": "step", "toolCoordinate": 2, "userCoordinate": 3, "autoManual": "auto",
        "armOrientation": -1, "rdnCoordinate": [1, 2, 3, 4],
        "jointCoordinate": [1, 2, 3, 4, 5, 6], "cartesianCoordinate": [10, 20, 30, 40, 50, 60],
        "auxJoint": [7, 8, 9], "isCollision": 1, "skinCollison": 1, "powerState": "off",
        "dragPlayback": true, "controlParams": [0.5, 1.5, 2.5, 3.5],
        "jointCurrent": [1, 2, 3, 4, 5, 6, 7], "jointVoltage": [48, 48, 48, 48, 48, 48],
        "jointTemp": [30, 31, 32, 33, 34, 35], "endAI": [0.25, 0.75], "gpioAI": [1.25, 1.75],
        "outputs": [5, 0, 0, 0, 0, 0, 0, 128], "inputs": [0, 1, 0, 0, 0, 0, 0, 0]
    })");
    reply.insert(QLatin1String("alarms"), alarms);
    reply.insert(QLatin1String("extendDO"), extend);
    reply.insert(QLatin1String("extendDI"), extend);
    return reply;
}

} // namespace

class tst_QRobotProtocol : public QObject
{
    Q_OBJECT
public:
    tst_QRobotProtocol() : controller(QLatin1String(Address)) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Runs first: the process's first exchange asks for the control mode.
    void firstExchangeAdoptsControlMode();

    void initialState();
    void decodeScalars_data();
    void decodeScalars();
    void decodeRecords();
    void absentKeysKeepValues();
    void notificationOrder();
    void hostileReplies();
    void alarmsNotifyOnChangeOnly();
    void ioKeepsEnableClear();

    void requestBody();
    void valuesToSendInEveryBody();
    void clearAlarmsSentOnce();
    void setDOSentOnce();
    void oneShotsKeptOnFailedExchange();
    void oneShotsSetDuringExchangeKept();
    void failedExchangeChangesNothing();
    void nonObjectReplyStillClocks();
    void stopDuringTickDoesNotRearm();
    void restartDuringTickRunsOneExchange();

    // Runs last: no later exchange repeats the GET.
    void firstGetNotRepeated();

private:
    QList<Request> exchangePosts() const { return controller.requests("POST", ExchangePath); }
    bool waitForPosts(int n, int timeoutMs = 5000)
    {
        return controller.waitForRequests("POST", ExchangePath, n, timeoutMs);
    }

    FakeController controller;
    int exchangeGets = 0;
    QHttpManager *transport = nullptr;
    QRobotProtocol *protocol = nullptr;
};

void tst_QRobotProtocol::initTestCase()
{
    registerRobotStateMetaTypes();
    QVERIFY2(controller.listen(), qPrintable(controller.errorString()));
    connect(&controller, &FakeController::requestReceived, this, [this](const Request &r) {
        if (r.method == QLatin1String("GET") && r.path == QLatin1String(ExchangePath))
            ++exchangeGets;
    });
}

void tst_QRobotProtocol::init()
{
    controller.clearScripts();
    controller.playRobot(6);
    controller.on("GET", ExchangePath).reply(QJsonObject{ { "controlMode", "enable" } });
    controller.clearRequests();
    transport = new QHttpManager(nullptr);
    transport->setHost(QLatin1String(Address));
    protocol = new QRobotProtocol(transport, nullptr);
}

void tst_QRobotProtocol::cleanup()
{
    protocol->stopExchange();
    delete protocol;
    protocol = nullptr;
    delete transport;
    transport = nullptr;
}

void tst_QRobotProtocol::firstExchangeAdoptsControlMode()
{
    LogCapture log;
    QSignalSpy modeSpy(protocol, &QRobotProtocol::controlModeChanged);
    protocol->startExchange();
    QVERIFY(waitForPosts(1));

    QCOMPARE(exchangeGets, 1);
    const QList<Request> all = controller.requests();
    QCOMPARE(all.first().method, QString("GET"));
    QCOMPARE(all.first().path, QString(ExchangePath));
    // The controller's mode becomes the mode to send.
    QCOMPARE(exchangePosts().first().json().value("controlMode").toString(), QString("enable"));
    QCOMPARE(protocol->controlMode(), QRobotType::Enable);
    QCOMPARE(modeSpy.count(), 1);
    QCOMPARE(argumentAsInt(modeSpy.first().first()), int(QRobotType::Enable));
    QVERIFY(log.hasLine("void QRobotProtocol::startExchange()"));
    QVERIFY(log.hasLine(QStringLiteral("%1 getExchange  controlModeChanged:  1").arg(Tag)));
}

void tst_QRobotProtocol::initialState()
{
    QCOMPARE(protocol->isPower(), true);
    QCOMPARE(protocol->armOrientation(), 1);
    QCOMPARE(protocol->controlMode(), QRobotType::Disable);
    const QRobotType::Alarms alarms = protocol->alarms();
    const QRobotType::Alarms zero {};
    QCOMPARE(std::memcmp(&alarms, &zero, sizeof zero), 0);
    QCOMPARE(protocol->DO().enable, false);
    QCOMPARE(protocol->exchangeRequest().trimmed(), QString("{\n}"));
}

void tst_QRobotProtocol::decodeScalars_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("notifies");

    const QByteArray controlMode = SIGNAL(controlModeChanged(QRobotType::ControlMode));
    const QByteArray dragMode = SIGNAL(dragModeChanged(QRobotCoor::DragMode));
    const QByteArray coordinate = SIGNAL(coordinateChanged(QRobotType::Coordinate));
    const QByteArray jogMode = SIGNAL(jogModeChanged(QRobotType::JogMode));
    const QByteArray tool = SIGNAL(toolCoordinateChanged(int));
    const QByteArray user = SIGNAL(userCoordinateChanged(int));
    const QByteArray autoManual = SIGNAL(autoManualChanged(QRobotType::AutoManual));
    const QByteArray arm = SIGNAL(armOrientationChanged(QRobotType::ArmOrientation));
    const QByteArray collision = SIGNAL(isCollisionChanged(bool));
    const QByteArray skin = SIGNAL(isSkinCollisionChanged(bool));
    const QByteArray power = SIGNAL(isPowerChanged(bool));
    const QByteArray drag = SIGNAL(isDragChanged(bool));
    const QByteArray playback = SIGNAL(isPlaybackChanged(bool));

    QTest::newRow("control drag") << QByteArray(R"({"controlMode":"drag"})") << controlMode << QByteArray("controlMode") << 2 << true;
    QTest::newRow("control unchanged") << QByteArray(R"({"controlMode":"disable"})") << controlMode << QByteArray("controlMode") << 0 << false;
    QTest::newRow("control number") << QByteArray(R"({"controlMode":1})") << controlMode << QByteArray("controlMode") << 0 << false;
    QTest::newRow("drag mode drag") << QByteArray(R"({"dragMode":"drag"})") << dragMode << QByteArray("dragMode") << 0 << false;
    QTest::newRow("drag mode enable") << QByteArray(R"({"dragMode":"enable"})") << dragMode << QByteArray("dragMode") << 1 << true;
    QTest::newRow("coordinate tool") << QByteArray(R"({"coordinate":"tool"})") << coordinate << QByteArray("coordinate") << 2 << true;
    QTest::newRow("coordinate user") << QByteArray(R"({"coordinate":"user"})") << coordinate << QByteArray("coordinate") << 0 << false;
    QTest::newRow("JogMode step") << QByteArray(R"({"JogMode":"step"})") << jogMode << QByteArray("jogMode") << 1 << true;
    QTest::newRow("jogMode ignored") << QByteArray(R"({"jogMode":"step"})") << jogMode << QByteArray("jogMode") << 0 << false;
    QTest::newRow("tool 3") << QByteArray(R"({"toolCoordinate":3})") << tool << QByteArray("toolCoordinate") << 3 << true;
    QTest::newRow("tool string") << QByteArray(R"({"toolCoordinate":"3"})") << tool << QByteArray("toolCoordinate") << 0 << false;
    QTest::newRow("tool fraction") << QByteArray(R"({"toolCoordinate":2.5})") << tool << QByteArray("toolCoordinate") << 0 << false;
    QTest::newRow("user 9") << QByteArray(R"({"userCoordinate":9})") << user << QByteArray("userCoordinate") << 9 << true;
    QTest::newRow("auto") << QByteArray(R"({"autoManual":"auto"})") << autoManual << QByteArray("autoManual") << 1 << true;
    QTest::newRow("arm orientation -1") << QByteArray(R"({"armOrientation":-1})") << arm << QByteArray("armOrientation") << -1 << true;
    QTest::newRow("arm orientation 1") << QByteArray(R"({"armOrientation":1})") << arm << QByteArray("armOrientation") << 1 << false;
    QTest::newRow("collision 1") << QByteArray(R"({"isCollision":1})") << collision << QByteArray("isCollision") << 1 << true;
    QTest::newRow("collision 2") << QByteArray(R"({"isCollision":2})") << collision << QByteArray("isCollision") << 0 << false;
    QTest::newRow("collision true") << QByteArray(R"({"isCollision":true})") << collision << QByteArray("isCollision") << 0 << false;
    QTest::newRow("skinCollison") << QByteArray(R"({"skinCollison":1})") << skin << QByteArray("isSkinCollision") << 1 << true;
    QTest::newRow("skinCollision ignored") << QByteArray(R"({"skinCollision":1})") << skin << QByteArray("isSkinCollision") << 0 << false;
    QTest::newRow("power off") << QByteArray(R"({"powerState":"off"})") << power << QByteArray("isPower") << 0 << true;
    QTest::newRow("power on") << QByteArray(R"({"powerState":"on"})") << power << QByteArray("isPower") << 1 << false;
    QTest::newRow("drag active") << QByteArray(R"({"dragMode":"enable"})") << drag << QByteArray("isDrag") << 1 << true;
    QTest::newRow("drag not active") << QByteArray(R"({"dragMode":"drag"})") << drag << QByteArray("isDrag") << 0 << false;
    QTest::newRow("playback") << QByteArray(R"({"dragPlayback":true})") << playback << QByteArray("isPlayback") << 1 << true;
    QTest::newRow("playback int") << QByteArray(R"({"dragPlayback":1})") << playback << QByteArray("isPlayback") << 0 << false;
}

void tst_QRobotProtocol::decodeScalars()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, state);
    QFETCH(int, expected);
    QFETCH(bool, notifies);

    QSignalSpy spy(protocol, signal.constData());
    QVERIFY(spy.isValid());
    decode(*protocol, object(reply));
    QCOMPARE(scalarState(*protocol, state), expected);
    QCOMPARE(spy.count(), notifies ? 1 : 0);
    if (notifies)
        QCOMPARE(argumentAsInt(spy.first().first()), expected);

    // The same reply again is no change.
    decode(*protocol, object(reply));
    QCOMPARE(spy.count(), notifies ? 1 : 0);
}

void tst_QRobotProtocol::decodeRecords()
{
    QSignalSpy jointSpy(protocol, &QRobotProtocol::jointCoordinateChanged);
    QSignalSpy alarmsSpy(protocol, &QRobotProtocol::alarmsChanged);
    QSignalSpy doSpy(protocol, &QRobotProtocol::DOChanged);
    QSignalSpy extendDiSpy(protocol, &QRobotProtocol::extendDIChanged);

    decode(*protocol, fullReply());

    QCOMPARE(protocol->rdnCoordinate().rdn[3], 4);
    QCOMPARE(protocol->jointCoordinate().joint[5], 6.0f);
    QCOMPARE(protocol->cartesianCoordinate().pose[0], 10.0f);
    QCOMPARE(protocol->auxJoint().joint[2], 9.0f);
    QCOMPARE(protocol->controllerParams().params[1], 1.5f);
    QCOMPARE(protocol->jointCurrent().current[6], 7.0f);
    QCOMPARE(protocol->jointVoltage().voltage[0], 48.0f);
    QCOMPARE(protocol->jointTemp().temperature[5], 35.0f);
    QCOMPARE(protocol->endAI().ai[1], 0.75f);
    QCOMPARE(protocol->gpioAI().ai[0], 1.25f);
    QCOMPARE(protocol->alarms().alarm[6][63], 7);
    QVERIFY(protocol->DO().value[0] && !protocol->DO().value[1] && protocol->DO().value[2]);
    QVERIFY(protocol->DO().value[63]);
    QVERIFY(protocol->DI().value[8] && !protocol->DI().value[0]);
    QVERIFY(protocol->extendDI().value[0][0] && protocol->extendDI().value[0][8]);
    QVERIFY(!protocol->extendDO().value[1][0]);

    // Records travel with their values.
    QCOMPARE(jointSpy.count(), 1);
    QCOMPARE(qvariant_cast<QRobotType::JointCoordinate>(jointSpy.first().first()).joint[0], 1.0f);
    QCOMPARE(alarmsSpy.count(), 1);
    QCOMPARE(qvariant_cast<QRobotType::Alarms>(alarmsSpy.first().first()).alarm[3][10], 4);
    QCOMPARE(doSpy.count(), 1);
    QVERIFY(qvariant_cast<QRobotType::IO>(doSpy.first().first()).value[63]);
    QCOMPARE(extendDiSpy.count(), 1);

    // Positions, IO and the other records notify on every reply that has them.
    decode(*protocol, fullReply());
    QCOMPARE(jointSpy.count(), 2);
    QCOMPARE(doSpy.count(), 2);
    QCOMPARE(extendDiSpy.count(), 2);
    QCOMPARE(alarmsSpy.count(), 1);
}

void tst_QRobotProtocol::absentKeysKeepValues()
{
    decode(*protocol, fullReply());
    EmissionLog emissions(protocol);
    decode(*protocol, QJsonObject{ { "unknown", 1 }, { "jogMode", "jog" } });
    QVERIFY2(emissions.names.isEmpty(), qPrintable(emissions.names.join(' ')));
    QCOMPARE(protocol->controlMode(), QRobotType::Enable);
    QCOMPARE(protocol->jogMode(), QRobotType::Step);
    QCOMPARE(protocol->toolCoordinate(), 2);
    QCOMPARE(protocol->isPower(), false);
    QCOMPARE(protocol->armOrientation(), -1);
    QCOMPARE(protocol->jointCoordinate().joint[1], 2.0f);
    QCOMPARE(protocol->alarms().alarm[0][0], 1);
    QVERIFY(protocol->DO().value[2]);
}

void tst_QRobotProtocol::notificationOrder()
{
    EmissionLog emissions(protocol);
    decode(*protocol, fullReply());
    const QStringList expected = {
        "controlModeChanged", "dragModeChanged", "coordinateChanged", "jogModeChanged",
        "toolCoordinateChanged", "userCoordinateChanged", "autoManualChanged",
        "armOrientationChanged", "rdnCoordinateChanged", "jointCoordinateChanged",
        "cartesianCoordinateChanged", "auxJointChanged", "isCollisionChanged",
        "isSkinCollisionChanged", "isPowerChanged", "isDragChanged", "isPlaybackChanged",
        "controllerParamsChanged", "jointCurrentChanged", "jointVoltageChanged",
        "jointTempChanged", "endAIChanged", "gpioAIChanged", "alarmsChanged",
        "DOChanged", "DIChanged", "extendDOChanged", "extendDIChanged",
    };
    QCOMPARE(emissions.names, expected);
}

void tst_QRobotProtocol::hostileReplies()
{
    // Huge arrays are cut to their records.
    QJsonObject huge;
    huge.insert("jointCoordinate", repeated(1.5, 100000));
    huge.insert("rdnCoordinate", repeated(7, 100000));
    QJsonArray manyGroups;
    for (int g = 0; g < 100; ++g)
        manyGroups.append(repeated(g + 1, 1000));
    huge.insert("alarms", manyGroups);
    huge.insert("outputs", repeated(255, 10000));
    QJsonArray manyModules;
    for (int m = 0; m < 100; ++m)
        manyModules.append(repeated(255, 100));
    huge.insert("extendDI", manyModules);
    decode(*protocol, huge);
    QCOMPARE(protocol->jointCoordinate().joint[5], 1.5f);
    QCOMPARE(protocol->rdnCoordinate().rdn[3], 7);
    QCOMPARE(protocol->alarms().alarm[6][63], 7);
    QVERIFY(protocol->DO().value[63]);
    QCOMPARE(protocol->DO().enable, false);
    QVERIFY(protocol->extendDI().value[8][95]);
    QCOMPARE(protocol->extendDI().enable, false);

    // Nested garbage and wrong types read as zeros, and never crash.
    decode(*protocol, object(R"({
        "jointCoordinate": [[1], {"a": 2}, "3", null, true],
        "cartesianCoordinate": {"x": 1},
        "rdnCoordinate": "1,2,3,4",
        "alarms": [[[1, 2]], {"g": [3]}, "4", [null, "5", 6.5, 7]],
        "outputs": {"value": [255]},
        "inputs": [[255], "255", null],
        "extendDI": [[[255]], 255, {"m": 1}],
        "controlParams": [1e300, -1e300, "1"],
        "controlMode": ["enable"], "autoManual": {"auto": true}, "powerState": null,
        "toolCoordinate": 1e300, "userCoordinate": -1e300
    })"));
    QCOMPARE(protocol->jointCoordinate().joint[0], 0.0f);
    QCOMPARE(protocol->jointCoordinate().joint[5], 0.0f);
    QCOMPARE(protocol->cartesianCoordinate().pose[0], 0.0f);
    QCOMPARE(protocol->rdnCoordinate().rdn[0], 0);
    QCOMPARE(protocol->alarms().alarm[0][0], 0);
    QCOMPARE(protocol->alarms().alarm[3][3], 7);
    QCOMPARE(protocol->alarms().alarm[6][63], 0);
    QVERIFY(!protocol->DO().value[0] && !protocol->DI().value[0]);
    QVERIFY(!protocol->extendDI().value[0][0] && !protocol->extendDI().value[8][95]);
    QCOMPARE(protocol->controlMode(), QRobotType::Disable);
    QCOMPARE(protocol->autoManual(), QRobotType::Manual);
    QCOMPARE(protocol->isPower(), false);
    QCOMPARE(protocol->toolCoordinate(), 0);
    QCOMPARE(protocol->userCoordinate(), 0);
    QCOMPARE(protocol->controllerParams().params[0], std::numeric_limits<float>::max());
    QCOMPARE(protocol->controllerParams().params[1], -std::numeric_limits<float>::max());
    QCOMPARE(protocol->controllerParams().params[2], 0.0f);
}

void tst_QRobotProtocol::alarmsNotifyOnChangeOnly()
{
    LogCapture log;
    QSignalSpy spy(protocol, &QRobotProtocol::alarmsChanged);
    const QJsonObject zeros = object(R"({"alarms": [[0, 0], [0]]})");
    decode(*protocol, zeros);
    QCOMPARE(spy.count(), 0); // equal to the zeroed start

    const QJsonObject some = object(R"({"alarms": [[0, 0], [0, 0, 0, 12]]})");
    decode(*protocol, some);
    decode(*protocol, some);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(protocol->alarms().alarm[1][3], 12);
    QCOMPARE(log.count(QStringLiteral("alarmsChanged: ")), 1);
    QVERIFY(log.hasLine(QStringLiteral("%1 alarmsChanged: ").arg(Tag)));

    // The same words written differently (trailing zeros) are no change either.
    decode(*protocol, object(R"({"alarms": [[0, 0, 0], [0, 0, 0, 12, 0], [], []]})"));
    QCOMPARE(spy.count(), 1);

    decode(*protocol, zeros);
    QCOMPARE(spy.count(), 2);
}

void tst_QRobotProtocol::ioKeepsEnableClear()
{
    QRobotType::IO out {};
    out.enable = true;
    protocol->setDO(out);
    decode(*protocol, object(R"({"outputs": [5], "inputs": [255]})"));
    QCOMPARE(protocol->DO().enable, false);
    QCOMPARE(protocol->DI().enable, false);
    QVERIFY(protocol->DO().value[0] && !protocol->DO().value[1] && protocol->DO().value[2]);
    for (int k = 3; k < 64; ++k)
        QVERIFY(!protocol->DO().value[k]);
}

void tst_QRobotProtocol::requestBody()
{
    LogCapture log;
    protocol->startExchange();
    QVERIFY(waitForPosts(2));
    protocol->stopExchange();
    QVERIFY(log.hasLine("void QRobotProtocol::stopExchange()"));

    const QList<Request> posts = exchangePosts();
    const QJsonObject body = posts.first().json();
    const QJsonObject expected = object(R"({
        "controlMode": "disable", "dragMode": "disable", "coordinate": "joint", "jogMode": "jog",
        "toolCoordinate": 0, "userCoordinate": 0, "alarms": false, "hardware": true,
        "outputs": {"enable": false, "value": [0, 0, 0, 0, 0, 0, 0, 0]}
    })");
    QCOMPARE(body, expected);
    QCOMPARE(posts.first().port, quint16(22000));
    // The next exchange starts 300 ms after the end of the previous one (less
    // the few per cent a coarse timer may fire early).
    QVERIFY(posts.at(1).timeMs - posts.at(0).timeMs >= 280);
    QCOMPARE(QJsonDocument::fromJson(protocol->exchangeRequest().toUtf8()).object(), expected);
}

void tst_QRobotProtocol::valuesToSendInEveryBody()
{
    // The controller keeps reporting its own values; the body keeps what the library asked for.
    controller.on("POST", ExchangePath).reply(object(R"({"toolCoordinate": 0, "controlMode": "disable"})"));
    protocol->requestToolCoordinate(3);
    protocol->requestUserCoordinate(4);
    protocol->requestCoordinate(QRobotType::Cartesian);
    protocol->requestJogMode(QRobotType::Step);
    protocol->requestControlMode(QRobotType::Drag);
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    for (const Request &post : exchangePosts()) {
        const QJsonObject body = post.json();
        QCOMPARE(body.value("toolCoordinate").toInt(), 3);
        QCOMPARE(body.value("userCoordinate").toInt(), 4);
        QCOMPARE(body.value("coordinate").toString(), QString("cartesian"));
        QCOMPARE(body.value("jogMode").toString(), QString("step"));
        QCOMPARE(body.value("controlMode").toString(), QString("drag"));
    }
    QCOMPARE(protocol->toolCoordinate(), 0);
}

void tst_QRobotProtocol::clearAlarmsSentOnce()
{
    protocol->clearAlarms();
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    const QList<Request> posts = exchangePosts();
    QCOMPARE(posts.at(0).json().value("alarms"), QJsonValue(true));
    QCOMPARE(posts.at(1).json().value("alarms"), QJsonValue(false));
    QCOMPARE(posts.at(2).json().value("alarms"), QJsonValue(false));
}

void tst_QRobotProtocol::setDOSentOnce()
{
    QRobotType::IO io {};
    io.enable = true;
    io.value[0] = io.value[2] = true;
    io.value[63] = true;
    protocol->setDO(io);
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    const QList<Request> posts = exchangePosts();
    const QJsonArray value { 5, 0, 0, 0, 0, 0, 0, 128 };
    QCOMPARE(posts.at(0).json().value("outputs").toObject(), (QJsonObject{ { "enable", true }, { "value", value } }));
    QCOMPARE(posts.at(1).json().value("outputs").toObject(), (QJsonObject{ { "enable", false }, { "value", value } }));
    QCOMPARE(posts.at(2).json().value("outputs").toObject(), (QJsonObject{ { "enable", false }, { "value", value } }));

    // Outputs without enable are sent as they are, never with enable.
    io.enable = false;
    io.value[1] = true;
    protocol->setDO(io);
    controller.clearRequests();
    QVERIFY(waitForPosts(1));
    QCOMPARE(exchangePosts().first().json().value("outputs").toObject(),
             (QJsonObject{ { "enable", false }, { "value", QJsonArray{ 7, 0, 0, 0, 0, 0, 0, 128 } } }));
}

void tst_QRobotProtocol::oneShotsKeptOnFailedExchange()
{
    controller.on("POST", ExchangePath).status(500).once();
    QRobotType::IO io {};
    io.enable = true;
    io.value[1] = true;
    protocol->setDO(io);
    protocol->clearAlarms();
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    const QList<Request> posts = exchangePosts();
    // The failed exchange does not count: the next one carries the requests again.
    for (int i = 0; i < 3; ++i) {
        const bool pending = i < 2;
        const QJsonObject body = posts.at(i).json();
        QCOMPARE(body.value("alarms").toBool(), pending);
        QCOMPARE(body.value("outputs").toObject().value("enable").toBool(), pending);
        QCOMPARE(body.value("outputs").toObject().value("value").toArray().first().toInt(), 2);
    }
}

void tst_QRobotProtocol::oneShotsSetDuringExchangeKept()
{
    QRobotType::IO first {};
    first.enable = true;
    first.value[0] = true;
    protocol->setDO(first);

    // While the first exchange is on the wire, the host asks again.
    bool askedAgain = false;
    controller.on("POST", ExchangePath).handle([&](const Request &) {
        if (!askedAgain) {
            askedAgain = true;
            QRobotType::IO second {};
            second.enable = true;
            second.value[3] = true;
            protocol->setDO(second);
            protocol->clearAlarms();
        }
        return Reply::json(QJsonObject()).delay(200);
    });
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    const QList<Request> posts = exchangePosts();
    auto outputs = [&](int i) { return posts.at(i).json().value("outputs").toObject(); };
    QCOMPARE(outputs(0), (QJsonObject{ { "enable", true }, { "value", QJsonArray{ 1, 0, 0, 0, 0, 0, 0, 0 } } }));
    QCOMPARE(posts.at(0).json().value("alarms").toBool(), false);
    QCOMPARE(outputs(1), (QJsonObject{ { "enable", true }, { "value", QJsonArray{ 8, 0, 0, 0, 0, 0, 0, 0 } } }));
    QCOMPARE(posts.at(1).json().value("alarms").toBool(), true);
    QCOMPARE(outputs(2).value("enable").toBool(), false);
    QCOMPARE(posts.at(2).json().value("alarms").toBool(), false);
}

void tst_QRobotProtocol::failedExchangeChangesNothing()
{
    controller.on("POST", ExchangePath).reply(Reply::withStatus(500, R"({"powerState":"off","jointCoordinate":[1,2,3,4,5,6]})"));
    EmissionLog emissions(protocol);
    protocol->startExchange();
    QVERIFY(waitForPosts(2));
    QVERIFY(waitForPosts(3)); // the second has certainly been handled by now
    QVERIFY2(emissions.names.isEmpty(), qPrintable(emissions.names.join(' ')));
    QCOMPARE(protocol->isPower(), true);
}

void tst_QRobotProtocol::nonObjectReplyStillClocks()
{
    decode(*protocol, fullReply());
    controller.on("POST", ExchangePath).replyRaw("[1, 2, 3]").once();
    controller.on("POST", ExchangePath).replyRaw("not json at all").once();
    controller.on("POST", ExchangePath).replyRaw(R"({"powerState":"on")").once(); // cut short
    EmissionLog emissions(protocol);
    protocol->startExchange();
    QTRY_COMPARE(emissions.names.count(), 3);
    QCOMPARE(emissions.names, (QStringList{ "exChangeClock", "exChangeClock", "exChangeClock" }));
    QCOMPARE(protocol->isPower(), false);
    QCOMPARE(protocol->jointCoordinate().joint[0], 1.0f);
}

void tst_QRobotProtocol::stopDuringTickDoesNotRearm()
{
    connect(&controller, &FakeController::requestReceived, protocol, [this](const Request &r) {
        if (r.method == QLatin1String("POST") && r.path == QLatin1String(ExchangePath))
            protocol->stopExchange();
    });
    QSignalSpy clock(protocol, &QRobotProtocol::exChangeClock);
    protocol->startExchange();
    QVERIFY(clock.wait(3000)); // the exchange in progress still ends normally
    QTest::qWait(1000);
    QCOMPARE(controller.count("POST", ExchangePath), 1);
    QCOMPARE(clock.count(), 1);

    // Started again, it runs again.
    disconnect(&controller, nullptr, protocol, nullptr);
    protocol->startExchange();
    QVERIFY(clock.wait(3000));
}

void tst_QRobotProtocol::restartDuringTickRunsOneExchange()
{
    // A stop and a start while an exchange is on the wire (connection lost and
    // found again inside a wait) must not overlap a second exchange with it.
    bool restarted = false;
    controller.on("POST", ExchangePath).handle([&](const Request &) {
        if (!restarted) {
            restarted = true;
            protocol->stopExchange();
            protocol->startExchange();
        }
        return Reply::json(QJsonObject()).delay(600);
    });
    QSignalSpy clock(protocol, &QRobotProtocol::exChangeClock);
    protocol->startExchange();
    QVERIFY(waitForPosts(3));
    const QList<Request> posts = exchangePosts();
    // Each exchange starts 300 ms after the previous one ended, and each takes
    // 600 ms (less what coarse timers may fire early); an overlapping second
    // exchange would follow within about 650 ms.
    QVERIFY(posts.at(1).timeMs - posts.at(0).timeMs >= 800);
    QVERIFY(posts.at(2).timeMs - posts.at(1).timeMs >= 800);
}

void tst_QRobotProtocol::firstGetNotRepeated()
{
    controller.on("GET", ExchangePath).reply(QJsonObject{ { "controlMode", "drag" } });
    QSignalSpy modeSpy(protocol, &QRobotProtocol::controlModeChanged);
    protocol->startExchange();
    QVERIFY(waitForPosts(2));
    QCOMPARE(controller.count("GET", ExchangePath), 0);
    QCOMPARE(exchangeGets, 1);
    QCOMPARE(modeSpy.count(), 0);
    QCOMPARE(exchangePosts().first().json().value("controlMode").toString(), QString("disable"));
}

QTEST_GUILESS_MAIN(tst_QRobotProtocol)
#include "tst_qrobotprotocol.moc"
