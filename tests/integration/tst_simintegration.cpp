// The library against VarloSim: connecting, the state exchange and the
// settings documents with a controller that shares no code with the library,
// so that a mistake made the same way on both sides of a double cannot hide.
// The library state is one per process: the functions run in order.
#include "Varlo.h"
#include "api/library.h"
#include "robot/qrobot.h"
#include "robot/qrobotprotocol.h"
#include "collaborative/qrobotcollaborative.h"
#include "settings/qrobotsettings.h"
#include "simprocess.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cmath>

namespace {

const char kSixAxes[] = "127.0.0.62";
const char kFourAxes[] = "127.0.0.63";

QJsonDocument readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonDocument();
    return QJsonDocument::fromJson(file.readAll());
}

QJsonArray exchangeArray(const SimProcess &sim, const char *key)
{
    return sim.get(QStringLiteral("/protocol/exchange")).value(QLatin1String(key)).toArray();
}

bool alarmWordsClear(const QRobotType::Alarms &alarms)
{
    for (const auto &group : alarms.alarm) {
        for (qint32 word : group) {
            if (word != 0)
                return false;
        }
    }
    return true;
}

} // namespace

class tst_SimIntegration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void connectToASixAxisSimulator();
    void exchangeMirrorsTheSimulator();
    void documentRoundTrip();
    void tableRoundTrip();
    void outputsAreAppliedOnce();
    void inputsReachTheLibrary();
    void alarmsClearedThroughTheExchange();
    void controlModeEchoDoesNotOverride();
    void blockingMotionEndsAsTheControllerSays();
    void lineCalibrationComputedByTheController();
    void restartedSimulatorIsFoundAgain();
    void fourAxisSimulator();

private:
    QRobot *robot() const { return VarloLibrary::components(); }

    QTemporaryDir m_folder;
    QTemporaryDir m_emptyShare;
    SimProcess m_six;
    SimProcess m_four;
};

void tst_SimIntegration::initTestCase()
{
    QVERIFY(m_folder.isValid());
    // Documents must come from VarloSim's file service, not from a share.
    qputenv("VARLO_SHARE_ROOT", m_emptyShare.path().toLocal8Bit());
    QDir(m_folder.path()).mkpath(QStringLiteral("six"));
    QVERIFY2(m_six.start(m_folder.filePath(QStringLiteral("six")), QLatin1String(kSixAxes)),
             qPrintable(m_six.reason()));
}

// The functions build on the connection made by the first one; run alone,
// the others have nothing to talk to.
void tst_SimIntegration::init()
{
    if (!VarloLibrary::components() && qstrcmp(QTest::currentTestFunction(), "connectToASixAxisSimulator") != 0)
        QSKIP("needs the connection made by connectToASixAxisSimulator()");
}

void tst_SimIntegration::cleanupTestCase()
{
    DisconnectVarlo();
    m_six.stop();
    m_four.stop();
}

void tst_SimIntegration::connectToASixAxisSimulator()
{
    QCOMPARE(ConnectVarlo(kSixAxes), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 6);
    QVERIFY(robot());
    QVERIFY(robot()->transport()->isFilesReachable());
}

void tst_SimIntegration::exchangeMirrorsTheSimulator()
{
    QRobotProtocol *protocol = robot()->protocol();
    // The arm stands at its home position, wrist bent down.
    QTRY_COMPARE_WITH_TIMEOUT(protocol->jointCoordinate().joint[4], 90.0f, 3000);
    for (int i : {0, 1, 2, 3, 5})
        QCOMPARE(protocol->jointCoordinate().joint[i], 0.0f);
    const QJsonArray pose = exchangeArray(m_six, "cartesianCoordinate");
    QCOMPARE(pose.size(), 6);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::abs(protocol->cartesianCoordinate().pose[i] - pose.at(i).toDouble()) < 1e-3,
                 qPrintable(QStringLiteral("pose element %1").arg(i)));
    QCOMPARE(protocol->controlMode(), QRobotType::Disable);
    QVERIFY(protocol->isPower());
    QVERIFY(!protocol->isCollision());
    // The joints' currents and temperatures look alive.
    QTRY_VERIFY_WITH_TIMEOUT(protocol->jointTemp().temperature[0] > 10.0f, 2000);
}

void tst_SimIntegration::documentRoundTrip()
{
    QHttpManager *transport = robot()->transport();
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/common")));
    QJsonObject common = QJsonDocument::fromJson(text).object();
    QVERIFY2(common.value(QLatin1String("ratio")).isDouble(), text.constData());

    common.insert(QStringLiteral("ratio"), 37);
    QVERIFY(transport->setPara(QJsonDocument(common).toJson(), QStringLiteral("/settings/common")));
    // Stored where the controller keeps it...
    const QString file = m_six.projectFolder() + QStringLiteral("/settings/common.json");
    QCOMPARE(readFile(file).object().value(QLatin1String("ratio")).toDouble(), 37.0);
    // ...read back the same way...
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/common")));
    QCOMPARE(QJsonDocument::fromJson(text).object().value(QLatin1String("ratio")).toDouble(), 37.0);
    // ...and applied: the notification made the controller reload it.
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->controllerParams().params[0], 37.0f, 3000);
}

void tst_SimIntegration::tableRoundTrip()
{
    // The coordinate tables are JSON arrays, not objects.
    QHttpManager *transport = robot()->transport();
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/coordinate/tool")));
    QJsonArray tools = QJsonDocument::fromJson(text).array();
    QCOMPARE(tools.size(), 10);

    QJsonObject entry = tools.at(2).toObject();
    entry.insert(QStringLiteral("enable"), true);
    entry.insert(QStringLiteral("alias"), QStringLiteral("gripper"));
    entry.insert(QStringLiteral("params"), QJsonArray{0, 0, 120, 0, 0, 0});
    tools.replace(2, entry);
    QVERIFY(transport->setPara(QJsonDocument(tools).toJson(), QStringLiteral("/settings/coordinate/tool")));

    const QJsonDocument stored = readFile(m_six.projectFolder() + QStringLiteral("/settings/coordinate/tool.json"));
    QVERIFY(stored.isArray());
    QCOMPARE(stored.array().size(), 10);
    QCOMPARE(stored.array().at(2).toObject().value(QLatin1String("alias")).toString(), QStringLiteral("gripper"));

    // The controller uses the new tool: with tool 2 selected the tool tip lies
    // 120 mm further along the flange's z axis (pointing down at home).
    const float zFlange = robot()->protocol()->cartesianCoordinate().pose[2];
    robot()->protocol()->requestToolCoordinate(2);
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->toolCoordinate(), 2, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(robot()->protocol()->cartesianCoordinate().pose[2] - (zFlange - 120.0f)) < 0.01f,
                             3000);
    robot()->protocol()->requestToolCoordinate(0);
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->toolCoordinate(), 0, 3000);
}

void tst_SimIntegration::outputsAreAppliedOnce()
{
    QRobotProtocol *protocol = robot()->protocol();
    QRobotType::IO outputs = {};
    outputs.enable = true;
    outputs.value[2] = true;    // output 3
    outputs.value[9] = true;    // output 10
    protocol->setDO(outputs);
    QTRY_VERIFY_WITH_TIMEOUT(protocol->DO().value[2] && protocol->DO().value[9], 3000);
    QCOMPARE(exchangeArray(m_six, "outputs").at(0).toInt(), 4);
    QCOMPARE(exchangeArray(m_six, "outputs").at(1).toInt(), 2);

    // Values sent without "enable" are not applied.
    QRobotType::IO ignored = {};
    ignored.value[0] = true;
    protocol->setDO(ignored);
    QTest::qWait(1000);
    QVERIFY(!protocol->DO().value[0]);
    QVERIFY(protocol->DO().value[2]);

    QRobotType::IO off = {};
    off.enable = true;
    protocol->setDO(off);
    QTRY_VERIFY_WITH_TIMEOUT(!protocol->DO().value[2] && !protocol->DO().value[9], 3000);
}

void tst_SimIntegration::inputsReachTheLibrary()
{
    QCOMPARE(m_six.post(QStringLiteral("/sim/inputs"), QJsonObject{{"index", 5}, {"value", true}})
                 .value(QLatin1String("result")).toBool(),
             true);
    QTRY_VERIFY_WITH_TIMEOUT(robot()->protocol()->DI().value[5], 3000);
    m_six.post(QStringLiteral("/sim/inputs"), QJsonObject{{"index", 5}, {"value", false}});
    QTRY_VERIFY_WITH_TIMEOUT(!robot()->protocol()->DI().value[5], 3000);
}

void tst_SimIntegration::alarmsClearedThroughTheExchange()
{
    QRobotProtocol *protocol = robot()->protocol();
    // Controller alarm 40: bit 8 of word 1 of group 0.
    m_six.post(QStringLiteral("/sim/alarm"), QJsonObject{{"group", 0}, {"id", 40}, {"value", true}});
    QTRY_COMPARE_WITH_TIMEOUT(protocol->alarms().alarm[0][1], qint32(1 << 8), 3000);
    protocol->clearAlarms();
    QTRY_VERIFY_WITH_TIMEOUT(alarmWordsClear(protocol->alarms()), 3000);
    // The request went out once: an alarm raised afterwards stays.
    m_six.post(QStringLiteral("/sim/alarm"), QJsonObject{{"group", 2}, {"id", 3}, {"value", true}});
    QTRY_COMPARE_WITH_TIMEOUT(protocol->alarms().alarm[2][0], qint32(1 << 3), 3000);
    QTest::qWait(1000);
    QCOMPARE(protocol->alarms().alarm[2][0], qint32(1 << 3));
    protocol->clearAlarms();
    QTRY_VERIFY_WITH_TIMEOUT(alarmWordsClear(protocol->alarms()), 3000);
}

void tst_SimIntegration::controlModeEchoDoesNotOverride()
{
    QRobotProtocol *protocol = robot()->protocol();
    protocol->requestControlMode(QRobotType::Enable);
    QTRY_COMPARE_WITH_TIMEOUT(protocol->controlMode(), QRobotType::Enable, 3000);
    // Disabled by another way: the exchange keeps sending "enable", which must
    // not switch the arm back on.
    m_six.post(QStringLiteral("/settings/controlMode"), QJsonObject{{"controlMode", "disable"}});
    QTRY_COMPARE_WITH_TIMEOUT(protocol->controlMode(), QRobotType::Disable, 3000);
    QTest::qWait(1000);
    QCOMPARE(protocol->controlMode(), QRobotType::Disable);
    // Back to a steady "disable" echo before the next test asks for anything.
    protocol->requestControlMode(QRobotType::Disable);
    QTest::qWait(1000);
}

void tst_SimIntegration::blockingMotionEndsAsTheControllerSays()
{
    QRobotProtocol *protocol = robot()->protocol();
    float target[6] = {10, -10, 5, 0, 90, 0};
    // Disabled, the controller refuses the motion: it ends "in an alarm".
    QCOMPARE(protocol->controlMode(), QRobotType::Disable);
    QCOMPARE(JointMovJ(target, true), VARLO_ALARM);

    protocol->requestControlMode(QRobotType::Enable);
    QTRY_COMPARE_WITH_TIMEOUT(protocol->controlMode(), QRobotType::Enable, 3000);
    QCOMPARE(JointMovJ(target, true), VARLO_OK);
    // Ended means there: the controller stands at the target.
    const QJsonArray joints = m_six.get(QStringLiteral("/protocol/exchange")).value(QLatin1String("jointCoordinate")).toArray();
    for (int i = 0; i < 6; ++i)
        QCOMPARE(joints.at(i).toDouble(), double(target[i]));

    // A Cartesian target out of reach is refused the same way.
    VarloRunCmd far = {};
    far.x = 5000;
    far.z = 500;
    far.a = 180;
    far.armOrientation = 1;
    QCOMPARE(MovJ(&far, true), VARLO_ALARM);

    float home[6] = {0, 0, 0, 0, 90, 0};
    QCOMPARE(JointMovJ(home, true), VARLO_OK);
    protocol->requestControlMode(QRobotType::Disable);
    QTRY_COMPARE_WITH_TIMEOUT(protocol->controlMode(), QRobotType::Disable, 3000);
}

void tst_SimIntegration::lineCalibrationComputedByTheController()
{
    // Two points on the X axis (along the base's y), the third to its left.
    const float points[3][6] = {{200, 0, 10, 0, 0, 0}, {200, 100, 10, 0, 0, 0}, {140, 40, 10, 0, 0, 0}};
    float result[6] = {0, 0, 0, 0, 0, 0};
    QVERIFY(robot()->collaborative()->calibrateCoordinateUserLine(points, result));
    const float expected[6] = {200, 40, 10, 0, 0, 90};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::abs(result[i] - expected[i]) < 1e-3f, qPrintable(QString::number(i)));
    // Three points on one line do not make a frame.
    const float line[3][6] = {{0, 0, 0, 0, 0, 0}, {100, 0, 0, 0, 0, 0}, {200, 0, 0, 0, 0, 0}};
    QVERIFY(!robot()->collaborative()->calibrateCoordinateUserLine(line, result));
}

void tst_SimIntegration::restartedSimulatorIsFoundAgain()
{
    QSignalSpy changes(robot(), &QRobot::connectionChanged);
    m_six.stop();
    // Lost after the transport's loss time of 12 s without an answer.
    QTRY_VERIFY_WITH_TIMEOUT(changes.contains(QVariantList{false}), 20000);
    changes.clear();
    QVERIFY2(m_six.start(m_folder.filePath(QStringLiteral("six")), QLatin1String(kSixAxes)), qPrintable(m_six.reason()));
    QTRY_VERIFY_WITH_TIMEOUT(changes.contains(QVariantList{true}), 5000);
    // The documents written before the restart are still there.
    QByteArray text;
    QVERIFY(robot()->transport()->getPara(text, QStringLiteral("/settings/common")));
    QCOMPARE(QJsonDocument::fromJson(text).object().value(QLatin1String("ratio")).toDouble(), 37.0);
}

void tst_SimIntegration::fourAxisSimulator()
{
    DisconnectVarlo();
    QDir(m_folder.path()).mkpath(QStringLiteral("four"));
    QVERIFY2(m_four.start(m_folder.filePath(QStringLiteral("four")), QLatin1String(kFourAxes), {"--axes", "4"}),
             qPrintable(m_four.reason()));
    QCOMPARE(ConnectVarlo(kFourAxes), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 4);
    // The SCARA's home: elbow at 90 degrees, quill 50 mm down.
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->jointCoordinate().joint[1], 90.0f, 3000);
    QCOMPARE(robot()->protocol()->jointCoordinate().joint[2], -50.0f);
}

QTEST_GUILESS_MAIN(tst_SimIntegration)
#include "tst_simintegration.moc"
