// The facade: its reaction to connection changes, relays, the host and folder
// paths, and the simulator probe.
#include "fakecontroller.h"
#include "logcapture.h"
#include "robot/qrobot.h"
#include "robot/qrobotconnection.h"
#include "robot/simulatorprobe.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

using VarloTest::FakeController;

class tst_QRobot : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void connectionReactionSwitchesActivities();
    void disconnectEmitsFalseWithoutAConnection();
    void repeatedInitializeReusesComponents();
    void printSignalsAreRelayed();

    void sharePaths_data();
    void sharePaths();
    void simulatorPaths();
    void shareRootVariableMovesTheShare();
    void filePathSplitting_data();
    void filePathSplitting();
    void inspectDirWithoutShare();
    void inspectDirCompletesTheTree();

    void probeListing_data();
    void probeListing();
    void probeFindsARunningSimulator();
    void probeFailsWithoutSimulator();

private:
    FakeController *ctl = nullptr;
};

void tst_QRobot::initTestCase()
{
    ctl = new FakeController(QStringLiteral("127.0.0.4"), this);
    QVERIFY2(ctl->listen(), qPrintable(ctl->errorString()));
}

void tst_QRobot::init()
{
    qunsetenv("VARLO_SHARE_ROOT");
    ctl->clearScripts();
    ctl->clearDocuments();
    ctl->clearRequests();
}

void tst_QRobot::connectionReactionSwitchesActivities()
{
    ctl->playRobot(6);
    QRobot robot;
    robot.initialize();
    robot.setHostIP(ctl->address());
    QVERIFY(robot.connection()->isSupervising());

    QSignalSpy changed(&robot, &QRobot::connectionChanged);
    QSignalSpy axis(&robot, &QRobot::axisCount);
    QVERIFY(changed.wait(3000));
    QCOMPARE(changed.at(0).at(0).toBool(), true);
    QVERIFY(!robot.connection()->isSupervising());
    QTRY_COMPARE(axis.count(), 1);
    QCOMPARE(axis.at(0).at(0).toInt(), 6);

    // The transport reports the controller lost: supervision runs again.
    Q_EMIT robot.transport()->connectStateChanged(false);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QVERIFY(robot.connection()->isSupervising());
}

void tst_QRobot::disconnectEmitsFalseWithoutAConnection()
{
    QRobot robot;
    QSignalSpy changed(&robot, &QRobot::connectionChanged);
    robot.disconnectController(); // no components yet
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), false);

    robot.initialize();
    robot.setHostIP(ctl->address());
    robot.disconnectController();
    QCOMPARE(changed.count(), 2);
    QVERIFY(!robot.connection()->isSupervising());
    QVERIFY(!robot.transport()->isDispatching());
    // Nothing is sent any more, and a request fails at once instead of waiting.
    QJsonObject reply;
    QVERIFY(!robot.transport()->getJson("/connection/state", reply));
    QTest::qWait(400);
    QCOMPARE(ctl->count(), 0);
}

void tst_QRobot::repeatedInitializeReusesComponents()
{
    ctl->playRobot(6);
    QRobot robot;
    robot.initialize();
    robot.setHostIP(ctl->address());
    QSignalSpy changed(&robot, &QRobot::connectionChanged);
    QVERIFY(changed.wait(3000));
    QHttpManager *transport = robot.transport();
    QRobotConnection *connection = robot.connection();

    robot.disconnectController();
    robot.initialize();
    QCOMPARE(robot.transport(), transport);
    QCOMPARE(robot.connection(), connection);
    QCOMPARE(robot.findChildren<QHttpManager *>().size(), 1);
    // Starts over: dispatching again, and the connection is reported again.
    QVERIFY(changed.wait(3000));
    QCOMPARE(changed.last().at(0).toBool(), true);
    QVERIFY(!robot.connection()->isSupervising());
}

void tst_QRobot::printSignalsAreRelayed()
{
    QRobot robot;
    robot.initialize();
    robot.setHostIP(ctl->address());
    QSignalSpy printed(&robot, &QRobot::printQRobot);
    Q_EMIT robot.transport()->printQHttpManager("transport");
    Q_EMIT robot.connection()->printQRobotConnection("connection");
    Q_EMIT robot.settings()->printQRobotSettings("settings");
    QCOMPARE(printed.count(), 3);
    QCOMPARE(printed.at(0).at(0).toString(), QString("transport"));
    QCOMPARE(printed.at(2).at(0).toString(), QString("settings"));
    robot.disconnectController();
}

void tst_QRobot::sharePaths_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("root");
    QTest::newRow("controller") << "192.168.1.6" << "//192.168.1.6/project";
    QTest::newRow("loopback") << "127.0.0.1" << "//127.0.0.1/project";
    QTest::newRow("empty") << "" << "///project";
}

void tst_QRobot::sharePaths()
{
    QFETCH(QString, ip);
    QFETCH(QString, root);
    QRobot robot;
    QVERIFY(robot.rootPath().isEmpty());
    robot.initialize();
    robot.setHostIP(ip);
    QCOMPARE(robot.hostIP(), ip);
    QCOMPARE(robot.transport()->host(), ip);
    QCOMPARE(robot.connection()->host(), ip);
    QCOMPARE(robot.rootPath(), root);
    QCOMPARE(robot.projectPath(), root + "/project");
    QCOMPARE(robot.settingsPath(), root + "/settings");
    QCOMPARE(robot.processPath(), root + "/process");
    QCOMPARE(robot.propertiesPath(), root + "/properties");
    robot.setHostPort(22000);
    QCOMPARE(robot.transport()->port(), quint16(22000));
    robot.disconnectController();
}

void tst_QRobot::simulatorPaths()
{
    QRobot robot;
    robot.initialize();
    robot.setHostIP("127.0.0.1");
    robot.setVirtualRoot("C:\\Sim\\");
    QCOMPARE(robot.projectPath(), QString("C:\\Sim\\/controllerVR/project/project"));
    QCOMPARE(robot.rootPath(), QString("C:\\Sim\\/controllerVR/project"));
    QCOMPARE(robot.propertiesPath(), QString("C:\\Sim\\/controllerVR/project/properties"));
    QCOMPARE(robot.hostIP(), QString("127.0.0.1"));
    QCOMPARE(robot.transport()->host(), QString("127.0.0.1"));
    QCOMPARE(robot.transport()->simulatorRoot(), QString("C:\\Sim\\"));
    robot.disconnectController();
}

void tst_QRobot::shareRootVariableMovesTheShare()
{
    qputenv("VARLO_SHARE_ROOT", "/mnt/robots/");
    QRobot robot;
    robot.setHostIP("192.168.1.6");
    QCOMPARE(robot.rootPath(), QString("/mnt/robots/192.168.1.6/project"));
}

void tst_QRobot::filePathSplitting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("parameter");
    QTest::newRow("project file") << "//192.168.1.6/project/project/demo/prj.json" << "demo" << "demo/prj.json" << "";
    QTest::newRow("parameter file") << "//h/project/project/demo/parameter/points.json" << ""
                                    << "demo/parameter/points.json" << "/parameter/points.json";
    QTest::newRow("no marker") << "/tmp/demo/prj.json" << "" << "" << "";
    QTest::newRow("first marker counts") << "//h/project/project/a/project/project/b/prj.json" << "a/project/project/b"
                                         << "a/project/project/b/prj.json" << "";
}

void tst_QRobot::filePathSplitting()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, relative);
    QFETCH(QString, parameter);
    QCOMPARE(QRobot::projectNameOf(path), name);
    QCOMPARE(QRobot::projectRelativePath(path), relative);
    QCOMPARE(QRobot::parameterPath(path), parameter);
}

void tst_QRobot::inspectDirWithoutShare()
{
    QTemporaryDir mount;
    qputenv("VARLO_SHARE_ROOT", mount.path().toLocal8Bit());
    QRobot robot;
    robot.setHostIP("192.168.1.6");
    QVERIFY(!robot.inspectDir());
    QVERIFY(QDir(mount.path()).isEmpty());
}

void tst_QRobot::inspectDirCompletesTheTree()
{
    QTemporaryDir mount;
    qputenv("VARLO_SHARE_ROOT", mount.path().toLocal8Bit());
    const QString root = mount.path() + "/192.168.1.6/project";
    QVERIFY(QDir().mkpath(root + "/settings"));
    QRobot robot;
    robot.setHostIP("192.168.1.6");
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QVERIFY(robot.inspectDir());
    const QStringList folders{"/project", "/project/test", "/project/move", "/settings", "/settings/playback",
                              "/settings/coordinate", "/settings/teach", "/properties", "/properties/alarm"};
    QStringList expectedLog;
    for (const QString &folder : folders) {
        QVERIFY2(QFileInfo(root + folder).isDir(), qPrintable(folder));
        expectedLog << QStringLiteral("\"%1\"").arg(root + folder);
    }
    QCOMPARE(log.lines(), expectedLog);
}

void tst_QRobot::probeListing_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QString>("root");
    QTest::newRow("windows line") << "C:\\Sim\\VarloSim.exe    VarloSim.exe    \r\n" << "C:\\Sim\\";
    QTest::newRow("two simulators") << "D:\\A\\VarloSim.exe VarloSim.exe\r\nE:\\B\\VarloSim.exe VarloSim.exe\r\n"
                                    << "D:\\A\\";
    QTest::newRow("empty") << "" << "";
}

void tst_QRobot::probeListing()
{
    QFETCH(QString, listing);
    QFETCH(QString, root);
    QCOMPARE(SimulatorProbe::rootFromListing(listing, "VarloSim.exe"), root);
}

void tst_QRobot::probeFindsARunningSimulator()
{
#ifdef Q_OS_LINUX
    // A harmless program under the simulator's name stands in for it.
    QTemporaryDir folder;
    const QString sleep = QStandardPaths::findExecutable("sleep");
    QVERIFY(!sleep.isEmpty());
    const QString fake = folder.path() + "/VarloSim";
    QVERIFY(QFile::copy(sleep, fake));
    QProcess process;
    process.start(fake, {"30"});
    QVERIFY(process.waitForStarted());

    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QString root = "unchanged";
    const bool found = SimulatorProbe::detectVirtualController(&root);
    process.kill();
    process.waitForFinished();
    QVERIFY(found);
    QCOMPARE(root, QFileInfo(fake).canonicalPath() + "/");
    QVERIFY(log.hasLine(QStringLiteral("virtual robot root path: \"%1\"").arg(root)));
#else
    QSKIP("the process-listing layer of this platform is not exercised here");
#endif
}

void tst_QRobot::probeFailsWithoutSimulator()
{
#ifdef Q_OS_LINUX
    QString root = "unchanged";
    QVERIFY(!SimulatorProbe::detectVirtualController(&root));
    QCOMPARE(root, QString("unchanged"));
#endif
}

QTEST_GUILESS_MAIN(tst_QRobot)
#include "tst_qrobot.moc"
