// The facade: its reaction to connection changes (and the supervision that
// must find the controller again after a read failed inside one), its
// components reused on a new setup, the host and folder paths, the simulator
// probe, the panel simulator it drives, and the safety members every host
// uses: interrupted waits, the stop, the standstill, jogs and outputs.
#include "fixture.h"
#include "Varlo/qpanelsimulator.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotconnection.h"
#include "robot/simulatorprobe.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"
#include "Varlo.h"
#include "api/library.h"

#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>
#include <QtTest/QSignalSpy>

using namespace VarloTest;

namespace {

// The arm of the double: joint 1 grows with every exchange while it moves, a
// joint motion with "value": false stops it; the exchange reports the
// coordinate asked for (unless `keptCoordinate` names one it keeps) and the
// outputs written with "enable" (unless `ignoresOutputs`; `failsWrites`
// leaves such an exchange unanswered).
struct DoubleArm
{
    bool moving = false;
    double joint1 = 0;
    QJsonArray outputs = many(8, 0);
    bool ignoresOutputs = false;
    bool failsWrites = false;
    QString keptCoordinate;
    QString coordinate = QStringLiteral("joint");

    void install(FakeController &ctl) {
        ctl.on("POST", "/protocol/exchange", [this](const Request &r) {
            const QJsonObject body = r.json();
            const QJsonObject written = body.value("outputs").toObject();
            if (written.value("enable").toBool() && failsWrites)
                return Reply::error(503);
            if (written.value("enable").toBool() && !ignoresOutputs)
                outputs = written.value("value").toArray();
            coordinate = keptCoordinate.isEmpty() ? body.value("coordinate").toString() : keptCoordinate;
            if (moving)
                joint1 += 1;
            return Reply::json(QJsonObject{ { "jointCoordinate", numbers({ joint1, 2, 3, 4, 5, 6 }) },
                                            { "coordinate", coordinate }, { "outputs", outputs } });
        });
        ctl.on("POST", "/interface/moveJ", [this](const Request &r) {
            if (!r.json().value("value").toBool(true))
                moving = false;
            return Reply();
        });
    }
};

} // namespace

class tst_QRobot : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.4" };

private Q_SLOTS:
    void initTestCase() { START_OR_SKIP(f, f.start()); }
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

    // The link drops again inside the notification that reported the
    // controller found: a read of a document there fails, the library is
    // disconnected once more, and the poll must read the documents again
    // until they come back (it used to go by the axis count it had read and
    // never connect again). The failing read: the connect wait's own, a
    // host's in its "connected" handler, and ConnectVarlo's.
    void supervisionReadsTheFilesAgain_data() {
        QTest::addColumn<QString>("reader");
        QTest::newRow("connect wait") << "facade";
        QTest::newRow("host handler") << "handler";
        QTest::newRow("ConnectVarlo") << "C";
    }
    void supervisionReadsTheFilesAgain() {
        QFETCH(QString, reader);
        int reads = 0;
        f.ctl.on("GET", "/file/read/properties/axis.json", [&](const Request &) {
            return ++reads == 2 ? Reply::error(503) : Reply::json(QJsonObject{ { "axis", 6 } });
        });
        QRobot robot;
        QRobot *watched = reader == "C" ? VarloLibrary::facade() : &robot;
        QList<bool> changes;
        const QMetaObject::Connection watch = connect(watched, &QRobot::connectionChanged, this, [&](bool on) {
            changes << on;
            if (on && reader == "handler" && changes.size() == 1)
                watched->settings()->readAxisCount();
        });
        if (reader == "C") {
            QCOMPARE(ConnectVarlo(qPrintable(f.ctl.address())), VARLO_NO_CONNECTION);
        } else if (reader == "facade") {
            QVERIFY(!robot.connectToController(f.ctl.address()));
        } else {
            robot.initialize();
            robot.setHostIP(f.ctl.address());
        }
        WAIT_FOR(changes.size() >= 3);
        QCOMPARE(changes.mid(0, 3), (QList<bool>{ true, false, true }));
        disconnect(watch);
        QVERIFY(watched->transport()->isReportedConnected());
        QVERIFY(reads >= 3); // ConnectVarlo's handler reads the count again on the reconnection
        if (reader == "C")
            DisconnectVarlo();
    }

    // interruptWaits() ends each wait at once; one that comes between waits
    // ends the next wait at its start, and only that one.
    void interruptedWaits_data() {
        QTest::addColumn<QString>("wait");
        QTest::addColumn<bool>("beforeTheWait");
        for (const char *wait : { "motion", "standstill", "output", "connect" }) {
            QTest::newRow(qPrintable(QString("%1, during").arg(wait))) << wait << false;
            QTest::newRow(qPrintable(QString("%1, before").arg(wait))) << wait << true;
        }
    }
    void interruptedWaits() {
        QFETCH(QString, wait);
        QFETCH(bool, beforeTheWait);
        DoubleArm arm;
        arm.moving = true;
        arm.ignoresOutputs = true;
        arm.install(f.ctl);
        f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", false } });
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        if (beforeTheWait)
            robot.interruptWaits();
        else
            QTimer::singleShot(100, &robot, [&] { robot.interruptWaits(); });
        QElapsedTimer clock;
        clock.start();
        if (wait == "motion")
            QCOMPARE(robot.waitForMotion(QRobot::GoCommand), QRobot::MotionInterrupted);
        else if (wait == "standstill")
            QCOMPARE(robot.waitForStandstill(), QRobot::MotionInterrupted);
        else if (wait == "output")
            QVERIFY(!robot.setDigitalOutput(3, true));
        else
            QVERIFY(!robot.connectToController("127.0.0.254"));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        // Taken by that wait: the next one runs.
        f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", true } });
        if (wait != "connect")
            QCOMPARE(robot.waitForMotion(QRobot::GoCommand), QRobot::MotionFinished);
        robot.disconnectController();
    }

    // A motion wait that loses the controller says so: when the loss is
    // declared, or when at its limit no status query was answered for a while.
    void lostDuringAMotion_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("loss declared") << "loss" << int(QRobot::MotionConnectionLost);
        QTest::newRow("silent at the limit") << "silent" << int(QRobot::MotionConnectionLost);
        QTest::newRow("answered, no end") << "answered" << int(QRobot::MotionTimedOut);
    }
    void lostDuringAMotion() {
        QFETCH(QString, how);
        QFETCH(int, result);
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        VarloTimings::setForTesting(VarloTimings::StateStale, 100);
        VarloTimings::setForTesting(VarloTimings::ControllerLoss, how == "loss" ? 200 : 60000);
        f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", false } });
        if (how != "answered")
            f.ctl.on("*", "/*", Reply::error(503));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(int(robot.waitForMotion(QRobot::GoCommand, how == "loss" ? 5000 : 400)), result);
        QVERIFY(clock.elapsed() < 3000);
        VarloTimings::setForTesting(VarloTimings::StateStale, 0);
        VarloTimings::setForTesting(VarloTimings::ControllerLoss, 0);
        robot.disconnectController();
    }

    // The stop: a joint motion to where the arm is with "value": false, then
    // every button released, each sent once more when unanswered; then the
    // arm stands. An interruption no wait took is answered by the stop.
    void stopMotion_data() {
        QTest::addColumn<int>("unanswered");
        QTest::addColumn<bool>("answered");
        QTest::newRow("answered") << 0 << true;
        QTest::newRow("answered the second time") << 1 << true;
        QTest::newRow("not answered") << 4 << false;
    }
    void stopMotion() {
        QFETCH(int, unanswered);
        QFETCH(bool, answered);
        DoubleArm arm;
        arm.moving = true;
        arm.install(f.ctl);
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        WAIT_FOR(robot.protocol()->jointCoordinate().joint[0] > 2);
        robot.interruptWaits();
        f.ctl.on("POST", "/interface/moveJ", Reply::error(503), unanswered);
        f.ctl.on("POST", "/panel/jog", Reply::error(503), qMax(0, unanswered - 2));
        f.ctl.clearRequests();
        const double here = robot.protocol()->jointCoordinate().joint[0];
        QCOMPARE(robot.stopMotion(), answered);
        const QList<Request> stops = f.ctl.requests("POST", "/interface/moveJ");
        QCOMPARE(stops.size(), qMin(unanswered + 1, 2));
        QCOMPARE(stops.first().json().value("value"), QJsonValue(false));
        QCOMPARE(stops.first().json().value("joint").toArray().at(0).toDouble(), here);
        QVERIFY(stops.last().timeMs < f.ctl.requests("POST", "/panel/jog").first().timeMs);
        QCOMPARE(f.ctl.last("POST", "/panel/jog").json(), (QJsonObject{ { "posBtns", many(6, false) }, { "negBtns", many(6, false) } }));
        if (answered)
            QCOMPARE(robot.waitForStandstill(), QRobot::MotionFinished);
        else
            QCOMPARE(robot.waitForStandstill(300), QRobot::MotionTimedOut);
        robot.disconnectController();
        QCOMPARE(robot.waitForStandstill(), QRobot::MotionConnectionLost);
    }

    // A motion that ends short of its target (ended, "isAlarms") after this
    // facade stopped the arm was stopped on purpose; without a stop of its
    // own it ended in an alarm or was stopped by another program.
    void motionEndedShort_data() {
        QTest::addColumn<bool>("stoppedHere");
        QTest::addColumn<int>("result");
        QTest::newRow("stopped by this facade") << true << int(QRobot::MotionInterrupted);
        QTest::newRow("no stop of its own") << false << int(QRobot::MotionAlarm);
    }
    void motionEndedShort() {
        QFETCH(bool, stoppedHere);
        QFETCH(int, result);
        DoubleArm arm;
        arm.moving = true;
        arm.install(f.ctl);
        f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", false } });
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        QTimer::singleShot(100, &robot, [&] {
            if (stoppedHere)
                QVERIFY(robot.stopMotion());
            f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", false }, { "isAlarms", true } });
        });
        QCOMPARE(int(robot.waitForMotion(QRobot::GoCommand)), result);
        robot.disconnectController();
    }

    // A jog's coordinate reaches the controller, and the controller reports
    // it, before its button is pressed; axes the arm lacks send nothing.
    void jogs_data() {
        QTest::addColumn<int>("axes");
        QTest::addColumn<int>("coordinate");
        QTest::addColumn<int>("axis");
        QTest::addColumn<QString>("kept");   // a coordinate the controller keeps
        QTest::addColumn<int>("pressed");    // the element of posBtns pressed, -1: no press
        QTest::newRow("Cartesian Z") << 6 << int(QRobotType::Cartesian) << 2 << "" << 2;
        QTest::newRow("joint 6") << 6 << int(QRobotType::Joint) << 5 << "" << 5;
        QTest::newRow("controller keeps joint") << 6 << int(QRobotType::Cartesian) << 2 << "joint" << -1;
        QTest::newRow("4 axes, joint 4") << 4 << int(QRobotType::Joint) << 3 << "" << 3;
        QTest::newRow("4 axes, joint 5") << 4 << int(QRobotType::Joint) << 4 << "" << -1;
        QTest::newRow("4 axes, C") << 4 << int(QRobotType::Cartesian) << 5 << "" << 5;
        QTest::newRow("4 axes, A") << 4 << int(QRobotType::Cartesian) << 3 << "" << -1;
        QTest::newRow("axis 6") << 6 << int(QRobotType::Joint) << 6 << "" << -1;
    }
    void jogs() {
        QFETCH(int, axes);
        QFETCH(int, coordinate);
        QFETCH(int, axis);
        QFETCH(QString, kept);
        QFETCH(int, pressed);
        f.reset(axes);
        f.ctl.on("POST", "/panel/*", QJsonObject());
        DoubleArm arm;
        arm.keptCoordinate = kept;
        arm.install(f.ctl);
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        f.ctl.clearRequests();
        QCOMPARE(robot.startJog(QRobotType::Coordinate(coordinate), axis, true), pressed >= 0);
        const QList<Request> presses = f.ctl.requests("POST", "/panel/jog");
        QCOMPARE(presses.size(), pressed >= 0 ? 1 : 0);
        if (pressed >= 0) {
            QJsonArray held = many(6, false);
            held[pressed] = true;
            QCOMPARE(presses.first().json(), (QJsonObject{ { "posBtns", held }, { "negBtns", many(6, false) } }));
            // The exchange that carried the coordinate was answered before the press.
            const QString wanted = coordinate == QRobotType::Joint ? "joint" : "cartesian";
            QCOMPARE(f.ctl.requests("POST", "/protocol/exchange").first().json().value("coordinate").toString(), wanted);
            QVERIFY(f.ctl.requests("POST", "/protocol/exchange").first().timeMs <= presses.first().timeMs);
            QCOMPARE(robot.protocol()->coordinate(), QRobotType::Coordinate(coordinate));
        } else if (!robot.isJogAxis(QRobotType::Coordinate(coordinate), axis)) {
            QCOMPARE(f.ctl.count() - f.ctl.count("POST", "/protocol/exchange"), 0);
        }
        QVERIFY(robot.stopJog());
        robot.disconnectController();
        f.reset();
        f.ctl.on("POST", "/panel/*", QJsonObject());
    }

    // An output switched alone, from the controller's outputs as they are,
    // and "done" only once the controller reports it; a write that was not
    // answered is withdrawn, never left for a later exchange.
    void digitalOutputs_data() {
        QTest::addColumn<bool>("ignored");
        QTest::addColumn<bool>("writeFails");
        QTest::addColumn<bool>("done");
        QTest::newRow("reported") << false << false << true;
        QTest::newRow("never reported") << true << false << false;
        QTest::newRow("write not answered") << false << true << false;
    }
    void digitalOutputs() {
        QFETCH(bool, ignored);
        QFETCH(bool, writeFails);
        QFETCH(bool, done);
        DoubleArm arm;
        arm.outputs = QJsonArray{ 5, 0, 0, 0, 0, 0, 0, 128 }; // 1, 3 and 64 on
        arm.ignoresOutputs = ignored;
        arm.failsWrites = writeFails;
        arm.install(f.ctl);
        QRobot robot;
        QVERIFY(robot.connectToController(f.ctl.address()));
        QCOMPARE(robot.setDigitalOutput(1, true, 300), done);
        QCOMPARE(arm.outputs, (QJsonArray{ done ? 7 : 5, 0, 0, 0, 0, 0, 0, 128 }));
        const int before = f.ctl.count("POST", "/protocol/exchange");
        QVERIFY(f.ctl.waitFor("POST", "/protocol/exchange", before + 2));
        QCOMPARE(f.ctl.last("POST", "/protocol/exchange").json().value("outputs").toObject().value("enable"), QJsonValue(false));
        QCOMPARE(robot.setDigitalOutput(64, true), false); // channels 0 to 63
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
        if (SimulatorProbe::detectVirtualController(&root))
            QSKIP(qPrintable("a VarloSim of this machine serves 127.0.0.1 (from " + root + "): the probe would find it "
                             "instead of the test's stand-ins"));
        QCOMPARE(root, QString("unchanged"));
        // Harmless programs under the simulator's name stand in for it: a shell
        // that says it serves another address (some other client's simulator,
        // never ours), then one on the default address, whose folder is the
        // one it works in (as VarloSim works in its --root).
        QTemporaryDir decoyFolder, folder, workingFolder;
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("bash"), decoyFolder.path() + "/VarloSim"));
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), folder.path() + "/VarloSim"));
        QProcess decoy, process;
        decoy.start(decoyFolder.path() + "/VarloSim", { "-c", "sleep 30; :", "VarloSim", "--address", "127.0.0.4" });
        QVERIFY(decoy.waitForStarted());
        const bool foundDecoy = SimulatorProbe::detectVirtualController(&root);
        process.setWorkingDirectory(workingFolder.path());
        process.start(folder.path() + "/VarloSim", { "30" });
        QVERIFY(process.waitForStarted());
        const bool found = SimulatorProbe::detectVirtualController(&root);
        for (QProcess *p : { &decoy, &process }) {
            p->kill();
            p->waitForFinished();
        }
        QVERIFY(!foundDecoy);
        QVERIFY(found);
        QCOMPARE(root, QFileInfo(workingFolder.path()).canonicalFilePath() + "/");
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
