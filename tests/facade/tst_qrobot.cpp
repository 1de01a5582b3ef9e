// The facade: its reaction to connection changes, its components reused on a
// new setup, the host and folder paths, the simulator probe, and the panel
// simulator it drives.
#include "fixture.h"
#include "Varlo/qpanelsimulator.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotconnection.h"
#include "robot/simulatorprobe.h"
#include "Varlo/qhttpmanager.h"

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
    void init() {
        f.reset();
        f.ctl.on("POST", "/panel/*", QJsonObject());
        qputenv("VARLO_SHARE_ROOT", f.share.path().toLocal8Bit());
    }

    void connectionSwitchesBetweenPollAndExchange() {
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
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!transport->getJson("/connection/state", reply) && clock.elapsed() < 100); // at once
        spin(50);
        QCOMPARE(f.ctl.count(), 0);
        robot.initialize();
        QCOMPARE(robot.transport(), transport);
        QCOMPARE(robot.findChildren<QRobotConnection *>().size(), 1);
        QVERIFY(changed.wait(2000));
        QCOMPARE(changed.last().at(0).toBool(), true);
        robot.disconnectController();
    }

    // The controller's folders: its share, a mounted share, or the simulator's project folder.
    void paths_data() {
        QTest::addColumn<QStringList>("c"); // address, simulator folder, share root, root
        QTest::newRow("controller") << QStringList{ "192.168.1.6", "", "", "//192.168.1.6/project" };
        QTest::newRow("empty") << QStringList{ "", "", "", "///project" };
        QTest::newRow("mounted share") << QStringList{ "192.168.1.6", "", "/mnt/robots/", "/mnt/robots/192.168.1.6/project" };
        QTest::newRow("simulator") << QStringList{ "127.0.0.1", "C:\\Sim\\", "", "C:\\Sim\\/controllerVR/project" };
    }
    void paths() {
        QFETCH(QStringList, c);
        qputenv("VARLO_SHARE_ROOT", c[2].toLocal8Bit());
        QRobot robot;
        robot.initialize();
        robot.setHostIP(c[0]);
        if (!c[1].isEmpty())
            robot.setVirtualRoot(c[1]);
        QVERIFY(robot.transport()->host() == c[0] && robot.connection()->host() == c[0]);
        QCOMPARE(QStringList({ robot.rootPath(), robot.projectPath(), robot.propertiesPath() }),
                 QStringList({ c[3], c[3] + "/project", c[3] + "/properties" }));
        robot.disconnectController();
    }

    void filePathSplitting_data() {
        QTest::addColumn<QStringList>("c"); // path, project name, relative path, parameter path
        QTest::newRow("project file") << QStringList{ "//192.168.1.6/project/project/demo/prj.json", "demo", "demo/prj.json", "" };
        QTest::newRow("parameter file") << QStringList{ "//h/project/project/demo/parameter/points.json", "",
                                                        "demo/parameter/points.json", "/parameter/points.json" };
        QTest::newRow("no marker") << QStringList{ "/tmp/demo/prj.json", "", "", "" };
        QTest::newRow("first marker counts") << QStringList{ "//h/project/project/a/project/project/b/prj.json",
                                                             "a/project/project/b", "a/project/project/b/prj.json", "" };
    }
    void filePathSplitting() {
        QFETCH(QStringList, c);
        QCOMPARE(QStringList({ c[0], QRobot::projectNameOf(c[0]), QRobot::projectRelativePath(c[0]), QRobot::parameterPath(c[0]) }), c);
    }

    void inspectDirCompletesAnExistingShare() {
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

    void probe() {
        QCOMPARE(SimulatorProbe::rootFromListing("C:\\Sim\\VarloSim.exe    VarloSim.exe    \r\n", "VarloSim.exe"), QString("C:\\Sim\\"));
        QCOMPARE(SimulatorProbe::rootFromListing("D:\\A\\VarloSim.exe VarloSim.exe\r\nE:\\B\\VarloSim.exe VarloSim.exe\r\n",
                                                 "VarloSim.exe"), QString("D:\\A\\"));
        QString root = "unchanged";
        QVERIFY(!SimulatorProbe::detectVirtualController(&root));
        QCOMPARE(root, QString("unchanged"));
        // Harmless programs under the simulator's name stand in for it: a shell
        // that says it serves another address (some other client's simulator,
        // never ours), then one on the default address.
        QTemporaryDir decoyFolder, folder;
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("bash"), decoyFolder.path() + "/VarloSim"));
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), folder.path() + "/VarloSim"));
        QProcess decoy, process;
        decoy.start(decoyFolder.path() + "/VarloSim", { "-c", "sleep 30; :", "VarloSim", "--address", "127.0.0.4" });
        QVERIFY(decoy.waitForStarted());
        const bool foundDecoy = SimulatorProbe::detectVirtualController(&root);
        process.start(folder.path() + "/VarloSim", { "30" });
        QVERIFY(process.waitForStarted());
        const bool found = SimulatorProbe::detectVirtualController(&root);
        for (QProcess *p : { &decoy, &process }) {
            p->kill();
            p->waitForFinished();
        }
        QVERIFY(!foundDecoy);
        QVERIFY(found);
        QCOMPARE(root, QFileInfo(folder.path()).canonicalFilePath() + "/");
    }

    // The panel's switches and buttons as the controller receives them, in the
    // order the facade's signals came.
    void facadeSignalsDriveThePanel() {
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
