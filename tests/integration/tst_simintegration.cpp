// The library against VarloSim: connecting, the state exchange and the
// settings documents with a controller that shares no code with the library,
// so that a mistake made the same way on both sides of a double cannot hide.
// The library state is one per process: the functions run in order.
#include "Varlo.h"
#include "api/library.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"
#include "simprocess.h"
#include "Varlo/qhttpmanager.h"

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
} // namespace

class tst_SimIntegration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void connectToASixAxisSimulator();
    void documentRoundTrip();
    void tableRoundTrip();
    void blockingMotionEndsAsTheControllerSays();
    void restartedSimulatorIsFoundAgain();
    void fourAxisSimulator();

private:
    QRobot *robot() const { return VarloLibrary::components(); }

    QTemporaryDir m_folder;
    QTemporaryDir m_fourFolder;
    QTemporaryDir m_emptyShare;
    SimProcess m_six;
    SimProcess m_four;
};

void tst_SimIntegration::initTestCase()
{
    // Documents must come from VarloSim's file service, not from a share.
    qputenv("VARLO_SHARE_ROOT", m_emptyShare.path().toLocal8Bit());
    QVERIFY2(m_six.start(m_folder.path(), QLatin1String(kSixAxes)), qPrintable(m_six.reason()));
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
    QVERIFY(robot()->transport()->isFilesReachable());
    // The exchange mirrors the arm at its home position, wrist bent down.
    QRobotProtocol *protocol = robot()->protocol();
    QTRY_COMPARE_WITH_TIMEOUT(protocol->jointCoordinate().joint[4], 90.0f, 3000);
    const QJsonArray pose = m_six.get(QStringLiteral("/protocol/exchange")).value(QLatin1String("cartesianCoordinate")).toArray();
    for (int i = 0; i < 6; ++i)
        QVERIFY(std::abs(protocol->cartesianCoordinate().pose[i] - pose.at(i).toDouble()) < 1e-3);
}

void tst_SimIntegration::documentRoundTrip()
{
    QHttpManager *transport = robot()->transport();
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/common")));
    QJsonObject common = QJsonDocument::fromJson(text).object();
    common.insert(QStringLiteral("ratio"), 37);
    QVERIFY(transport->setPara(QJsonDocument(common).toJson(), QStringLiteral("/settings/common")));
    // Stored where the controller keeps it...
    const QString file = m_six.projectFolder() + QStringLiteral("/settings/common.json");
    QCOMPARE(readJsonFile(file).object().value(QLatin1String("ratio")).toDouble(), 37.0);
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
    QJsonObject entry = tools.at(2).toObject();
    entry.insert(QStringLiteral("enable"), true);
    entry.insert(QStringLiteral("alias"), QStringLiteral("gripper"));
    entry.insert(QStringLiteral("params"), QJsonArray{0, 0, 120, 0, 0, 0});
    tools.replace(2, entry);
    QVERIFY(transport->setPara(QJsonDocument(tools).toJson(), QStringLiteral("/settings/coordinate/tool")));

    const QJsonDocument stored = readJsonFile(m_six.projectFolder() + QStringLiteral("/settings/coordinate/tool.json"));
    QCOMPARE(stored.array().at(2).toObject().value(QLatin1String("alias")).toString(), QStringLiteral("gripper"));

    // The controller uses the new tool: with tool 2 selected the tool tip lies
    // 120 mm further along the flange's z axis (pointing down at home).
    const float zFlange = robot()->protocol()->cartesianCoordinate().pose[2];
    robot()->protocol()->requestToolCoordinate(2);
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->toolCoordinate(), 2, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(robot()->protocol()->cartesianCoordinate().pose[2] - zFlange + 120.0f) < 0.01f, 3000);
    robot()->protocol()->requestToolCoordinate(0);
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
    QCOMPARE(MovJ(&far, true), VARLO_ALARM);
}

void tst_SimIntegration::restartedSimulatorIsFoundAgain()
{
    QSignalSpy changes(robot(), &QRobot::connectionChanged);
    m_six.stop();
    // Lost after the transport's loss time of 12 s without an answer.
    QTRY_VERIFY_WITH_TIMEOUT(changes.contains(QVariantList{false}), 20000);
    changes.clear();
    QVERIFY2(m_six.start(m_folder.path(), QLatin1String(kSixAxes)), qPrintable(m_six.reason()));
    QTRY_VERIFY_WITH_TIMEOUT(changes.contains(QVariantList{true}), 5000);
    // The documents written before the restart are still there.
    QByteArray text;
    QVERIFY(robot()->transport()->getPara(text, QStringLiteral("/settings/common")));
    QCOMPARE(QJsonDocument::fromJson(text).object().value(QLatin1String("ratio")).toDouble(), 37.0);
}

void tst_SimIntegration::fourAxisSimulator()
{
    DisconnectVarlo();
    QVERIFY2(m_four.start(m_fourFolder.path(), QLatin1String(kFourAxes), {"--axes", "4"}), qPrintable(m_four.reason()));
    QCOMPARE(ConnectVarlo(kFourAxes), VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 4);
    // The SCARA's home: elbow at 90 degrees, quill 50 mm down.
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->jointCoordinate().joint[1], 90.0f, 3000);
    QCOMPARE(robot()->protocol()->jointCoordinate().joint[2], -50.0f);
}

QTEST_GUILESS_MAIN(tst_SimIntegration)
#include "tst_simintegration.moc"
