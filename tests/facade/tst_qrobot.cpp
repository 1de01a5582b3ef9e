// The facade: its reaction to connection changes, its components reused on a
// new setup, the host and folder paths, the simulator probe, and the panel
// simulator it drives.
#include "fixture.h"
#include "robot/qpanelsimulator.h"
#include "robot/qrobot.h"
#include "robot/qrobotconnection.h"
#include "robot/simulatorprobe.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtTest/QSignalSpy>

using namespace VarloTest;

class tst_QRobot : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.4" };

private Q_SLOTS:
    void initTestCase() { QVERIFY(f.start()); }
    void init()
    {
        f.reset();
        f.ctl.on("POST", "/panel/*", QJsonObject());
        qputenv("VARLO_SHARE_ROOT", f.share.path().toLocal8Bit());
    }

    void connectionSwitchesBetweenPollAndExchange()
    {
        QRobot robot;
        QSignalSpy changed(&robot, &QRobot::connectionChanged);
        robot.disconnectController(); // no components yet
        QCOMPARE(changed.count(), 1);
        robot.initialize();
        robot.setHostIP(f.ctl.address());
        QVERIFY(robot.connection()->isSupervising());
        QVERIFY(changed.wait(2000));
        QCOMPARE(changed.last().at(0).toBool(), true);
        QVERIFY(!robot.connection()->isSupervising());
        QVERIFY(f.ctl.waitFor("POST", "/protocol/exchange"));
        // Lost: the poll runs again, the exchange stops.
        Q_EMIT robot.transport()->connectStateChanged(false);
        QCOMPARE(changed.last().at(0).toBool(), false);
        QVERIFY(robot.connection()->isSupervising());
        // A new setup reuses the components and starts over.
        QHttpManager *transport = robot.transport();
        robot.disconnectController();
        QVERIFY(!robot.connection()->isSupervising() && !transport->isDispatching());
        f.ctl.clearRequests();
        QJsonObject reply;
        QVERIFY(!transport->getJson("/connection/state", reply));
        spin(50);
        QCOMPARE(f.ctl.count(), 0);
        robot.initialize();
        QCOMPARE(robot.transport(), transport);
        QCOMPARE(robot.findChildren<QRobotConnection *>().size(), 1);
        QVERIFY(changed.wait(2000));
        QCOMPARE(changed.last().at(0).toBool(), true);
        robot.disconnectController();
    }

    void paths_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("simulator");
        QTest::addColumn<QString>("shareRoot");
        QTest::addColumn<QString>("root");
        QTest::newRow("controller") << "192.168.1.6" << "" << "" << "//192.168.1.6/project";
        QTest::newRow("empty") << "" << "" << "" << "///project";
        QTest::newRow("mounted share") << "192.168.1.6" << "" << "/mnt/robots/" << "/mnt/robots/192.168.1.6/project";
        QTest::newRow("simulator") << "127.0.0.1" << "C:\\Sim\\" << "" << "C:\\Sim\\/controllerVR/project";
    }
    void paths()
    {
        QFETCH(QString, ip);
        QFETCH(QString, simulator);
        QFETCH(QString, shareRoot);
        QFETCH(QString, root);
        qputenv("VARLO_SHARE_ROOT", shareRoot.toLocal8Bit());
        QRobot robot;
        robot.initialize();
        robot.setHostIP(ip);
        if (!simulator.isEmpty())
            robot.setVirtualRoot(simulator);
        QCOMPARE(robot.transport()->host(), ip);
        QCOMPARE(robot.connection()->host(), ip);
        QCOMPARE(robot.rootPath(), root);
        QCOMPARE(robot.projectPath(), root + "/project");
        QCOMPARE(robot.settingsPath(), root + "/settings");
        QCOMPARE(robot.propertiesPath(), root + "/properties");
        robot.disconnectController();
    }

    void filePathSplitting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("parameter");
        QTest::newRow("project file") << "//192.168.1.6/project/project/demo/prj.json" << "demo" << "demo/prj.json" << "";
        QTest::newRow("parameter file") << "//h/project/project/demo/parameter/points.json" << ""
                                        << "demo/parameter/points.json" << "/parameter/points.json";
        QTest::newRow("no marker") << "/tmp/demo/prj.json" << "" << "" << "";
        QTest::newRow("first marker counts") << "//h/project/project/a/project/project/b/prj.json"
                                             << "a/project/project/b" << "a/project/project/b/prj.json" << "";
    }
    void filePathSplitting()
    {
        QFETCH(QString, path);
        QTEST(QRobot::projectNameOf(path), "name");
        QTEST(QRobot::projectRelativePath(path), "relative");
        QTEST(QRobot::parameterPath(path), "parameter");
    }

    void inspectDirCompletesAnExistingShare()
    {
        QRobot robot;
        robot.setHostIP("192.168.1.6");
        QVERIFY(!robot.inspectDir());
        QVERIFY(QDir(f.share.path()).isEmpty()); // no share: nothing created
        const QString root = f.share.path() + "/192.168.1.6/project";
        QVERIFY(QDir().mkpath(root + "/settings"));
        QVERIFY(robot.inspectDir());
        for (const char *folder : { "/project/test", "/project/move", "/settings/playback", "/settings/coordinate",
                                    "/settings/teach", "/properties/alarm" })
            QVERIFY2(QFileInfo(root + folder).isDir(), folder);
    }

    void probe()
    {
        QCOMPARE(SimulatorProbe::rootFromListing("C:\\Sim\\VarloSim.exe    VarloSim.exe    \r\n", "VarloSim.exe"), QString("C:\\Sim\\"));
        QCOMPARE(SimulatorProbe::rootFromListing("D:\\A\\VarloSim.exe VarloSim.exe\r\nE:\\B\\VarloSim.exe VarloSim.exe\r\n",
                                                 "VarloSim.exe"), QString("D:\\A\\"));
        QString root = "unchanged";
        QVERIFY(!SimulatorProbe::detectVirtualController(&root));
        QCOMPARE(root, QString("unchanged"));
        // A harmless program under the simulator's name stands in for it.
        QTemporaryDir folder;
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), folder.path() + "/VarloSim"));
        QProcess process;
        process.start(folder.path() + "/VarloSim", { "30" });
        QVERIFY(process.waitForStarted());
        const bool found = SimulatorProbe::detectVirtualController(&root);
        process.kill();
        process.waitForFinished();
        QVERIFY(found);
        QCOMPARE(root, QFileInfo(folder.path()).canonicalFilePath() + "/");
    }

    // The panel's switches and buttons as the controller receives them, in the
    // order the facade's signals came.
    void facadeSignalsDriveThePanel()
    {
        QRobot robot;
        robot.initialize();
        robot.setHostIP(f.ctl.address());
        bool positive[8] = { false, true, false, false, false, true, true, true }; // past entry 6: never read
        bool negative[8] = { true, false, false, true, false, false, true, true };
        Q_EMIT robot.switchAutoManual(true);
        Q_EMIT robot.switchAutoManual(false);
        Q_EMIT robot.switchThreeSwitch(true);
        Q_EMIT robot.switchThreeSwitch(false);
        Q_EMIT robot.switchEmergencyStop(false);
        Q_EMIT robot.switchJogButtons(positive, negative);
        robot.panel()->switchAuxJogButtons(positive, negative);
        robot.panel()->switchJogButtons(positive, nullptr); // null: released
        QCOMPARE(f.ctl.trail("POST", "/panel/*"), (QStringList{
            R"(POST /panel/autoManual:22000 {"value":"auto"})", R"(POST /panel/autoManual:22000 {"value":"manual"})",
            R"(POST /panel/threeSwitch:22000 {"value":"pressed"})", R"(POST /panel/threeSwitch:22000 {"value":"released"})",
            R"(POST /panel/emergencyStop:22000 {"value":false})",
            R"(POST /panel/jog:22000 {"negBtns":[true,false,false,true,false,false],"posBtns":[false,true,false,false,false,true]})",
            R"(POST /panel/auxJog:22000 {"negBtns":[true,false,false],"posBtns":[false,true,false]})",
            R"(POST /panel/jog:22000 {"negBtns":[false,false,false,false,false,false],"posBtns":[false,true,false,false,false,true]})" }));
        robot.disconnectController();
    }
};

QTEST_GUILESS_MAIN(tst_QRobot)
#include "tst_qrobot.moc"
