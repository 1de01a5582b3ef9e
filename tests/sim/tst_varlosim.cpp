// VarloSim as a user meets it: started as its own process on a loopback
// address with a fresh project folder, spoken to with plain HTTP.
#include "simprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const char kAddress[] = "127.0.0.60";
const char kClientAddress[] = "127.0.0.64";   // receives script notifications

// Relative path and content hash of every file under a folder.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(file.fileName()), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

// The first `count` numbers of two arrays agree within `tolerance`.
bool near(const QJsonArray &a, const QJsonArray &b, int count, double tolerance = 1e-3)
{
    for (int i = 0; i < count; ++i) {
        if (i >= a.size() || i >= b.size() || std::abs(a.at(i).toDouble() - b.at(i).toDouble()) > tolerance)
            return false;
    }
    return true;
}

} // namespace

class TestVarloSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { SKIP_IF_ADDRESS_IN_USE(kAddress, "127.0.0.61"); }
    void init();
    void cleanupTestCase() { finish(); }

    void fileService_data();
    void fileService();
    void defaultsWrittenOnceAndKept();
    void whereTheDocumentsLive_data();
    void whereTheDocumentsLive();
    void exchangeAppliesRequestsOnce();
    void emergencyStopAndPowerCycle();
    void motionReachesTarget_data();
    void motionReachesTarget();
    void stoppedMotionsDidNotArrive_data();
    void stoppedMotionsDidNotArrive();
    void answers_data();
    void answers();
    void scriptNotifications();
    void servicesKeepTheirState();
    void otherSitesKeptOut_data();
    void otherSitesKeptOut();
    void labArmsAreSeparate();

private:
    void finish();
    bool start(const QStringList &extra = QStringList());
    HttpReply api(const QByteArray &method, const QByteArray &path, const QJsonObject &body = QJsonObject()) { return m_sim->api(method, path, body); }
    QJsonObject exchange(const QJsonObject &request = QJsonObject()) { return api("POST", "/protocol/exchange", request).json(); }
    QJsonArray alarms(const QJsonObject &request, int group) { return exchange(request).value("alarms").toArray().at(group).toArray(); }
    bool enable() { return api("POST", "/settings/controlMode", {{"controlMode", "enable"}}).json().value("result").toBool(); }
    bool setRatio(int ratio);

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<SimProcess> m_sim;
    QByteArray m_function;
};

// Each test function starts with a fresh folder; the rows of a table share
// their function's simulator.
void TestVarloSim::init()
{
    if (m_function == QTest::currentTestFunction())
        return;
    finish();
    m_function = QTest::currentTestFunction();
    m_root = std::make_unique<QTemporaryDir>();
}

void TestVarloSim::finish()
{
    // Every request of the controller contract must be answered within 1000 ms.
    if (m_sim)
        QVERIFY2(m_sim->slowestMs() < 1000, qPrintable(QString::number(m_sim->slowestMs())));
    if (m_sim)
        QVERIFY2(m_sim->stop(), "VarloSim did not end cleanly on SIGTERM");
    m_sim.reset();
}

bool TestVarloSim::start(const QStringList &extra)
{
    if (m_sim)
        m_sim->stop();
    m_sim = std::make_unique<SimProcess>();
    const bool started = m_sim->start(m_root->path(), kAddress, extra);
    if (!started)
        qWarning() << m_sim->reason();
    return started;
}

bool TestVarloSim::setRatio(int ratio)
{
    // A write, followed by the notification a client sends.
    return m_sim->files("POST", "/file/write/settings/common.json", toJson({{"ratio", ratio}})).status == 200
        && api("POST", "/settings/common").status == 200
        && exchange().value("controlParams").toArray().at(0).toDouble() == ratio;
}

void TestVarloSim::fileService_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QByteArray ok = toJson({{"ratio", 1}});
    const QByteArray table = "[" + QByteArray("{\"enable\":true,\"params\":[1,2.5,-3,0,90,180]},").repeated(9)
                           + "{\"enable\":false,\"params\":[0,0,0,0,0,0]}]";
    auto row = [](const char *name, const char *method, const char *target, const QByteArray &body, int status) {
        QTest::newRow(name) << QByteArray(method) << QByteArray(target) << body << status;
    };
    row("object document", "POST", "/file/write/settings/common.json", toJson({{"ratio", 42.5}}), 200);
    row("array table", "POST", "/file/write/settings/coordinate/tool.json", table, 200);
    row("new nested document", "POST", "/file/write/project/demo/deep/prj.json", "{\"name\":\"演示\"}", 200);
    row("missing reads {}", "GET", "/file/read/settings/nothing/here.json", "{}", 200);
    row("read dot-dot", "GET", "/file/read/../../outside.json", "", 400);
    row("read encoded dot-dot", "GET", "/file/read/%2e%2e/%2E%2E/outside.json", "", 400);
    row("read absolute", "GET", "/file/read//etc/passwd.json", "", 400);
    row("write dot-dot", "POST", "/file/write/settings/../../../outside.json", ok, 400);
    row("write encoded slash", "POST", "/file/write/..%2F..%2Foutside.json", ok, 400);
    row("write absolute", "POST", "/file/write/%2FABSOLUTE%2Fabs.json", ok, 400);
    row("write backslash", "POST", "/file/write/..%5C..%5Coutside.json", ok, 400);
    row("write NUL", "POST", "/file/write/settings/common.json%00.txt", ok, 400);
    row("write colon", "POST", "/file/write/C:outside.json", ok, 400);
    row("write hidden", "POST", "/file/write/settings/.hidden.json", ok, 400);
    row("write empty segment", "POST", "/file/write/settings//common.json", ok, 400);
    row("write without .json", "POST", "/file/write/settings/common", ok, 400);
    row("write not JSON", "POST", "/file/write/settings/common.json", "{\"ratio\": ", 400);
    row("write JSON number", "POST", "/file/write/settings/common.json", "42", 400);
    row("write oversized", "POST", "/file/write/settings/common.json", "{\"x\": \"" + QByteArray(4 << 20, 'a') + "\"}", 413);
    row("object over a table", "POST", "/file/write/settings/coordinate/tool.json", "{}", 409);
}

void TestVarloSim::fileService()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    if (!m_sim)
        QVERIFY(start());
    // The absolute-path case aims at a folder of this test, outside the project.
    target.replace("%2FABSOLUTE", QUrl::toPercentEncoding(m_root->path()));
    const QMap<QString, QByteArray> before = snapshot(m_root->path());
    const HttpReply r = m_sim->files(method, target, method == "POST" ? body : QByteArray());
    // Refusals: 4xx (403 for names that leave the folder), nothing written.
    if (status != 200) {
        QVERIFY2(r.status >= 400 && r.status < 500 && (r.status == status || status == 400), r.body.constData());
        QVERIFY2(!r.json().value("error").toString().isEmpty() || r.status == 404, r.body.constData());
        QCOMPARE(snapshot(m_root->path()), before);
        return;
    }
    const QByteArray name = target.mid(target.indexOf('/', 6) + 1);
    QCOMPARE(m_sim->files("GET", "/file/read/" + name).document(), QJsonDocument::fromJson(body));
    if (method == "POST")
        QCOMPARE(readJsonFile(m_sim->projectFolder() + "/" + name), QJsonDocument::fromJson(body));
    // The temporary file of the atomic write is gone.
    for (const QString &file : snapshot(m_sim->projectFolder()).keys())
        QVERIFY2(!QFileInfo(file).fileName().startsWith('.'), qPrintable(file));
}

void TestVarloSim::defaultsWrittenOnceAndKept()
{
    QVERIFY(start());
    QVERIFY(m_sim->output().contains("(6 axes)"));
    // A second copy on the taken address says so and ends: sharing the address
    // would take half of the first one's requests.
    SimProcess second;
    QVERIFY(!second.start(m_root->path(), kAddress));
    QVERIFY(second.reason().contains("cannot listen"));
    // Changes survive a restart; only what is missing is written again.
    QCOMPARE(m_sim->files("POST", "/file/write/settings/common.json", toJson({{"ratio", 77}})).status, 200);
    QVERIFY(QFile::remove(m_sim->projectFolder() + "/settings/teach/inch.json"));
    const QMap<QString, QByteArray> before = snapshot(m_sim->projectFolder());
    QVERIFY(start());
    QVERIFY(m_sim->files("GET", "/file/read/settings/teach/inch.json").json().contains("distance"));
    QMap<QString, QByteArray> after = snapshot(m_sim->projectFolder());
    after.remove("settings/teach/inch.json");
    QCOMPARE(after, before);
    // Another model on the same folder; without --axes the folder's model stays.
    QVERIFY(start({"--axes", "4"}));
    QVERIFY(start());
    QVERIFY(m_sim->output().contains("(4 axes)"));
    QCOMPARE(m_sim->files("GET", "/file/read/settings/common.json").json().value("ratio").toInt(), 77);
}

// The folder that holds controllerVR, which is also the one the simulator
// works in (the library's probe finds a simulator's documents there). An
// installed VarloSim (its panel page in share/varlo/panel beside it) never
// writes into its program folder.
void TestVarloSim::whereTheDocumentsLive_data()
{
    QTest::addColumn<QString>("program");       // where a copy of VarloSim lies, in the test folder
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("root");          // the folder expected to hold controllerVR
    QTest::newRow("beside the program") << "sim/VarloSim" << QStringList() << "sim";
    QTest::newRow("installed: the user's data folder") << "usr/bin/VarloSim" << QStringList() << "data/varlosim";
    QTest::newRow("--root relative to where it starts") << "sim/VarloSim" << QStringList{"--root", "there"}
                                                        << "start/there";
}

void TestVarloSim::whereTheDocumentsLive()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, root);
    QTemporaryDir folder;
    const QDir test(folder.path());
    QVERIFY(test.mkpath("start") && test.mkpath("sim") && test.mkpath("usr/bin") && test.mkpath("usr/share/varlo/panel"));
    QFile page(test.filePath("usr/share/varlo/panel/index.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.close();
    QVERIFY(QFile::copy(VARLOSIM_PATH, test.filePath(program)));

    QProcess sim;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", test.filePath("data"));
    sim.setProcessEnvironment(environment);
    sim.setWorkingDirectory(test.filePath("start"));
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(test.filePath(program), arguments + QStringList{"--address", kAddress, "--no-panel", "--exit-with-parent"});
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (!output.contains("VarloSim ready") && sim.state() != QProcess::NotRunning && clock.elapsed() < 10000) {
        sim.waitForReadyRead(100);
        output += sim.readAll();
    }
    const QString workingFolder = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(sim.processId())).symLinkTarget();
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(output.contains("VarloSim ready"), output.constData());
    QVERIFY(QFileInfo(test.filePath(root + "/controllerVR/project/settings/common.json")).isFile());
    QCOMPARE(workingFolder, QFileInfo(test.filePath(root)).canonicalFilePath());
    for (const QString &elsewhere : { "sim", "usr/bin", "start", "data/varlosim" })
        QVERIFY2(elsewhere == root || !QFileInfo::exists(test.filePath(elsewhere + "/controllerVR")), qPrintable(elsewhere));
}

void TestVarloSim::exchangeAppliesRequestsOnce()
{
    QVERIFY(start());
    const QJsonArray outputs{5, 0, 0, 0, 0, 0, 0, 128};
    QJsonObject state = exchange({{"outputs", QJsonObject{{"enable", true}, {"value", outputs}}}, {"toolCoordinate", 3}});
    QCOMPARE(state.value("outputs").toArray(), outputs);
    QCOMPARE(state.value("toolCoordinate").toInt(), 3);
    // Outputs without "enable", frame numbers outside 0-9 and values of the
    // wrong type are not applied.
    state = exchange({{"outputs", QJsonObject{{"enable", false}, {"value", QJsonArray{255, 255, 255}}}},
                      {"toolCoordinate", 12}, {"userCoordinate", "3"}});
    QCOMPARE(state.value("outputs").toArray(), outputs);
    QCOMPARE(state.value("toolCoordinate").toInt() + state.value("userCoordinate").toInt(), 3);
    // Inputs come from the surroundings.
    QCOMPARE(api("POST", "/sim/inputs", {{"index", 9}, {"value", true}}).status, 200);
    QCOMPARE(api("POST", "/interface/setDIValue", {{"index", 0}, {"value", 1}}).status, 200);
    QVERIFY(near(exchange().value("inputs").toArray(), QJsonArray{1, 2}, 2, 0));

    // A drive alarm (servo alarm 4 of joint 2: bit 4 of word 0, group 2) and a
    // controller alarm (33: bit 1 of word 1, group 0).
    api("POST", "/sim/alarm", {{"group", 2}, {"id", 4}});
    api("POST", "/sim/alarm", {{"group", 0}, {"id", 33}});
    QCOMPARE(alarms({{"alarms", false}}, 2).at(0).toInt(), 16);
    QCOMPARE(alarms({{"alarms", true}}, 0).at(1).toInt(), 0);
    // The clear applies to the alarms present when it arrived, not to later ones.
    api("POST", "/sim/alarm", {{"group", 1}, {"id", 0}});
    QCOMPARE(alarms({{"alarms", false}}, 1).at(0).toInt(), 1);

    // The control mode a client echoes in every body is applied only when it
    // changes: the echo must not undo a mode set otherwise.
    QCOMPARE(exchange({{"controlMode", "disable"}}).value("controlMode").toString(), QString("disable"));
    QVERIFY(exchange({{"alarms", true}}).value("controlMode") == "disable" && enable());
    QCOMPARE(exchange({{"controlMode", "disable"}}).value("controlMode").toString(), QString("enable"));
    QCOMPARE(exchange({{"controlMode", "drag"}}).value("dragMode").toString(), QString("enable"));
}

void TestVarloSim::emergencyStopAndPowerCycle()
{
    QVERIFY(start());
    QVERIFY(setRatio(5));
    QVERIFY(enable());
    QCOMPARE(api("POST", "/interface/moveJ", {{"joint", QJsonArray{90, 30, 30, 0, 60, 0}}}).status, 200);
    QTest::qWait(300);
    QCOMPARE(api("POST", "/panel/emergencyStop", {{"value", true}}).status, 200);
    QCOMPARE(api("GET", "/interface/moveJ").json(), QJsonObject({{"value", false}, {"isAlarms", true}}));
    QJsonObject state = exchange();
    QCOMPARE(state.value("controlMode").toString(), QString("disable"));
    QCOMPARE(state.value("alarms").toArray().at(0).toArray().at(0).toInt(), 2);   // alarm 1
    // The arm stopped on its way.
    const double stopped = state.value("jointCoordinate").toArray().at(0).toDouble();
    QVERIFY(stopped > 0.0 && stopped < 90.0);

    // While pressed: no enabling, no jogging, and clearing keeps the alarm.
    QVERIFY(!enable());
    QVERIFY(!api("POST", "/panel/jog", {{"posBtns", QJsonArray{true}}, {"negBtns", QJsonArray{}}}).json().value("result").toBool());
    QCOMPARE(alarms({{"alarms", true}}, 0).at(0).toInt(), 2);
    // Released: the alarm stays until it is cleared, then the arm can be enabled.
    QCOMPARE(api("POST", "/panel/emergencyStop", {{"value", false}}).status, 200);
    QVERIFY(!enable());
    QCOMPARE(alarms({{"alarms", true}}, 0).at(0).toInt(), 0);
    QVERIFY(enable());
    // Power off disables and keeps the arm from being enabled.
    QCOMPARE(api("POST", "/interface/powerControl", {{"value", false}}).status, 200);
    QCOMPARE(exchange().value("powerState").toString(), QString("off"));
    QVERIFY(!enable());
    QCOMPARE(api("POST", "/interface/powerControl", {{"value", true}}).status, 200);
    QVERIFY(enable());
}

void TestVarloSim::motionReachesTarget_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<QJsonArray>("joints");
    QTest::addColumn<bool>("zeroSpeeds"); // every playback speed and acceleration written as 0 first
    QTest::newRow("6-axis arm") << 6 << QJsonArray{30, 20, -10, 15, 70, -40} << false;
    QTest::newRow("4-axis SCARA") << 4 << QJsonArray{30, 60, -120, 45, 0, 0} << false;
    // Speeds of zero would keep the arm from ever arriving: the factory values stand in.
    QTest::newRow("playback speeds of zero") << 6 << QJsonArray{30, 20, -10, 15, 70, -40} << true;
}

void TestVarloSim::motionReachesTarget()
{
    QFETCH(int, axes);
    QFETCH(QJsonArray, joints);
    QFETCH(bool, zeroSpeeds);
    QVERIFY(start({"--axes", QString::number(axes)}));
    if (zeroSpeeds) {
        const QJsonArray six{0, 0, 0, 0, 0, 0};
        for (const char *document : {"playback/joint", "playback/coordinate"}) {
            const QByteArray name = QByteArray("/settings/") + document;
            QCOMPARE(m_sim->files("POST", "/file/write" + name + ".json", toJson({{"velocity", six}, {"acceleration", six}})).status, 200);
            QCOMPARE(api("POST", name).status, 200);
        }
    }
    QVERIFY(setRatio(100));
    QVERIFY(enable());

    // Joint motion: takes its time, then reports its end and stands at the target.
    QVERIFY(api("POST", "/interface/moveJ", {{"joint", joints}, {"value", true}}).json().value("result").toBool());
    QCOMPARE(api("GET", "/interface/moveJ").json().value("value").toBool(), false);
    QTRY_VERIFY_WITH_TIMEOUT(api("GET", "/interface/moveJ").json().value("value").toBool(), 15000);
    QJsonObject state = exchange();
    QVERIFY(near(state.value("jointCoordinate").toArray(), joints, 6));
    // The reported pose is the forward solution of the joints.
    const QJsonArray pose = state.value("cartesianCoordinate").toArray();
    QVERIFY(near(api("POST", "/interface/positiveSolution", {{"joint", joints}}).json().value("coordinate").toArray(), pose, 6));

    // Linear motion 20 mm down and 30 mm sideways, keeping the configuration.
    const QJsonArray rdn = state.value("rdnCoordinate").toArray();
    QJsonObject go{{"x", pose[0]}, {"y", pose[1].toDouble() + 30}, {"z", pose[2].toDouble() - 20}, {"a", pose[3]},
                   {"b", pose[4]}, {"c", pose[5]}, {"r", rdn[0]}, {"d", rdn[1]}, {"n", rdn[2]}, {"cfg", 1},
                   {"armOrientation", state.value("armOrientation").toInt() ? "right" : "left"}, {"mode", "move"}};
    QVERIFY(api("POST", "/interface/go", go).json().value("result").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(api("GET", "/interface/go").json().value("value").toBool(), 15000);
    state = exchange();
    QVERIFY(near(state.value("cartesianCoordinate").toArray(), QJsonArray{go["x"], go["y"], go["z"]}, 3, 1e-2));
    // The inverse solution of where the arm stands is where its joints are.
    const QJsonObject inverse = api("POST", "/interface/inverseSolution", {{"coordinate", state.value("cartesianCoordinate")}}).json();
    QVERIFY(near(inverse.value("joint").toArray(), state.value("jointCoordinate").toArray(), axes, 1e-2));
    // A target out of reach ends at once in an alarm of the motion.
    go["x"] = 5000.0;
    QVERIFY(!api("POST", "/interface/go", go).json().value("result").toBool(true));
    QCOMPARE(api("GET", "/interface/go").json(), QJsonObject({{"value", false}, {"isAlarms", true}}));
}

// A stop ("value": false, any motion path) ends the motion and the ones queued
// behind it short of their targets: each reads as ended in an alarm, never as
// arrived, so that nobody waiting for it takes it for an arrival. A motion that
// arrived before the stop keeps its arrival.
void TestVarloSim::stoppedMotionsDidNotArrive_data()
{
    QTest::addColumn<QByteArray>("stop");
    QTest::addColumn<bool>("arrivedFirst");
    QTest::newRow("stopped on the joint motion's path") << QByteArray("/interface/moveJ") << false;
    QTest::newRow("stopped on another path") << QByteArray("/interface/go") << false;
    QTest::newRow("stopped on going home's path") << QByteArray("/interface/goHome") << false;
    QTest::newRow("arrived before the stop") << QByteArray("/interface/moveJ") << true;
}

void TestVarloSim::stoppedMotionsDidNotArrive()
{
    QFETCH(QByteArray, stop);
    QFETCH(bool, arrivedFirst);
    if (!m_sim) {
        QVERIFY(start());
        QVERIFY(setRatio(100));
        QVERIFY(enable());
    }
    // A long joint motion, and a relative one queued behind it.
    const double from = exchange().value("jointCoordinate").toArray().at(0).toDouble();
    const QJsonArray target{from > 0 ? -60 : 60, 10, 20, 0, 60, 0};
    QVERIFY(api("POST", "/interface/moveJ", {{"joint", target}, {"value", true}}).json().value("result").toBool());
    QVERIFY(api("POST", "/interface/goR", {{"offsetX", 0}, {"offsetY", 0}, {"offsetZ", -10}}).json().value("result").toBool());
    if (arrivedFirst)
        QTRY_VERIFY_WITH_TIMEOUT(api("GET", "/interface/goR").json().value("value").toBool(), 15000);
    QVERIFY(api("POST", stop, {{"value", false}}).json().value("result").toBool());
    const QJsonObject ended = arrivedFirst ? QJsonObject{{"value", true}, {"isAlarms", false}}
                                           : QJsonObject{{"value", false}, {"isAlarms", true}};
    for (const char *path : {"/interface/moveJ", "/interface/goR"})
        QCOMPARE(api("GET", path).json(), ended);
    // The arm stands where the stop found it.
    const QJsonValue here = exchange().value("jointCoordinate");
    QTest::qWait(200);
    QCOMPARE(exchange().value("jointCoordinate"), here);
    QCOMPARE(api("GET", "/interface/moveJ").json(), ended);
}

void TestVarloSim::answers_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonArray>("coordinate");   // empty: a refusal

    auto row = [](const char *name, const char *path, const QByteArray &body, int status = 200, const QJsonArray &coordinate = {}) {
        QTest::newRow(name) << QByteArray(path) << body << status << coordinate;
    };
    row("motion while disabled", "/interface/moveJ", "{\"joint\": [10, 0, 0, 0, 90, 0]}");
    row("exchange not JSON", "/protocol/exchange", "{not json", 400);
    row("exchange array", "/protocol/exchange", "[1, 2]", 400);
    row("infinite joint", "/interface/moveJ", "{\"joint\": [1e999]}", 400);
    row("text coordinate", "/interface/go", "{\"x\": \"far\"}");
    row("tool out of range", "/interface/positiveSolution", "{\"joint\": [0,0,0,0,90,0], \"tool\": 10}");
    row("unreachable", "/interface/inverseSolution", "{\"coordinate\": [5000, 0, 0, 0, 0, 0]}");
    row("jog buttons not arrays", "/panel/jog", "{\"posBtns\": 7}");
    row("run before start", "/debugger/run", "{}");
    row("project outside", "/debugger/start", "{\"project\": \"../../etc\"}");
    row("conveyor out of range", "/interface/readCurrentEncoder", "{\"conveyor_index\": 99}");
    // Calibrations from taught flange poses (x, y, z, a, b, c).
    row("points on one line", "/calibrate/coordinate/user", "[[0,0,0,0,0,0],[100,0,0,0,0,0],[200,0,0,0,0,0]]");
    row("two points for three", "/calibrate/coordinate/user", "[[0,0,0,0,0,0],[100,0,0,0,0,0]]");
    row("same orientation thrice", "/calibrate/coordinate/tool/position", "[[0,0,0,180,0,0],[1,0,0,180,0,0],[2,0,0,180,0,0]]");
    row("same turn twice", "/calibrate/coordinate/tool", "[[0,0,0,10],[5,0,0,11]]");
    row("text for a number", "/calibrate/coordinate/tool/pose", "[[0,0,0,0,0,0],[0,\"x\",0,0,0,0],[0,0,1,0,0,0]]");
    row("points in an object", "/calibrate/coordinate/user", "{\"points\": []}");
    // A user frame at (100, 200, 50) turned 30 degrees about z.
    row("user frame", "/calibrate/coordinate/user", "[[100,200,50,180,0,0],[203.923048,260,50,180,0,0],[89.641016,297.942286,50,180,0,0]]",
        200, {100, 200, 50, 0, 0, 30});
    // A tool tip at (10, -20, 150) on the flange, put on (450, 30, 120) from three orientations.
    row("tool position", "/calibrate/coordinate/tool/position",
        "[[440,10,270,180,0,0],[472.513175,66.980356,265.346518,160,15,10],[390.343785,-19.525193,250.339523,200,-10,-25]]",
        200, {10, -20, 150});
    // Flange unturned; the tool's x along the base's y, its z pointing down.
    row("tool orientation", "/calibrate/coordinate/tool/pose", "[[300,0,200,0,0,0],[300,50,200,0,0,0],[300,0,150,0,0,0]]",
        200, {180, 0, 90});
    // Line and dot: the X axis along the base's y, the third point 40 mm along
    // that axis and 60 mm to its left.
    const QByteArray line = "[[200,0,10,0,0,0],[200,100,10,0,0,0],[140,40,10,0,0,0]]";
    row("user line", "/calibrate/coordinate/userLine", line, 200, {200, 40, 10, 0, 0, 90});
    row("user dot", "/calibrate/coordinate/userDot", line, 200, {140, 40, 10, 0, 0, 90});
    // A SCARA tool (30, 40) on the hand, on the point (300, 100) with the hand at 0 and 90 degrees.
    row("SCARA tool", "/calibrate/coordinate/tool", "[[270,60,-80,0],[340,70,-80,90]]", 200, {30, 40, 0, 0});
}

void TestVarloSim::answers()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QJsonArray, coordinate);
    if (!m_sim)
        QVERIFY(start());
    const HttpReply r = rawRequest(kAddress, 22000, "POST", path, body);
    QCOMPARE(r.status, status);
    if (!coordinate.isEmpty()) {
        QVERIFY2(near(r.json().value("coordinate").toArray(), coordinate, coordinate.size()), r.body.constData());
        return;
    }
    QCOMPARE(r.json().value("result").toBool(true), false);
    QVERIFY(!r.json().value("error").toString().isEmpty());
    QVERIFY(!r.json().contains("coordinate") && !r.json().contains("joint"));
    if (status == 200 && path == "/interface/moveJ")
        QCOMPARE(api("GET", path).json(), QJsonObject({{"value", false}, {"isAlarms", true}}));
}

void TestVarloSim::scriptNotifications()
{
    QUdpSocket ports[4];
    for (int i = 0; i < 4; ++i)
        QVERIFY(ports[i].bind(QHostAddress(kClientAddress), 5000 + i));
    // Datagrams that arrive until `wanted` (or for `ms`), as "port text".
    auto collect = [&ports](const QString &wanted, int ms) {
        QSet<QString> seen;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !seen.contains(wanted)) {
            for (QUdpSocket &socket : ports) {
                socket.waitForReadyRead(5);
                while (socket.hasPendingDatagrams())
                    seen << QString::number(socket.localPort()) + ' ' + socket.receiveDatagram().data();
            }
        }
        return seen;
    };
    QVERIFY(QDir().mkpath(m_root->path() + "/controllerVR/project/project/demo"));
    QFile script(m_root->path() + "/controllerVR/project/project/demo/main.lua");
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("-- a test program\nprint(\"hello\")\nJointMovJ({0, 0, 0, 0, 90, 0})\n\npause()\nerror(\"boom\")\nprint(\"never\")\n");
    script.close();
    QVERIFY(start());
    QVERIFY(enable());
    auto post = [](const QByteArray &path, const QByteArray &body) {
        return rawRequest(kAddress, 22000, "POST", path, body, kClientAddress).json().value("result").toBool();
    };
    QVERIFY(post("/debugger/start", "{\"project\": \"demo\"}") && post("/debugger/run", "{}"));
    // Datagrams of one line arrive together on different ports: compare as sets.
    QCOMPARE(collect("5000 command:pause", 5000),
             QSet<QString>({"5000 debugger: the script runs straight, no debug server at 127.0.0.64:8172: connection refused",
                            "5001 src0.lua:2", "5000 hello", "5001 src0.lua:3", "5002 src0.lua:3", "5001 src0.lua:5",
                            "5000 command:pause"}));
    QCOMPARE(api("GET", "/debugger/state").json(), QJsonObject({{"value", "pause"}, {"prjname", "demo"}}));
    QVERIFY(collect("", 600).isEmpty());   // paused: nothing more arrives
    QVERIFY(post("/debugger/run", "{}"));
    QVERIFY(collect("5000 ERROR:src0.lua:6: boom", 3000).contains("5000 ERROR:src0.lua:6: boom"));
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("stop"));
    QVERIFY(!collect("5000 never", 600).contains("5000 never"));
}

void TestVarloSim::servicesKeepTheirState()
{
    QVERIFY(start());
    // Replay parameters become the controller's document.
    const QJsonObject replay{{"multi", 2}, {"sample", 50.0}, {"loop", 3}};
    QVERIFY(api("POST", "/settings/function/setReTraceParam", replay).json().value("result").toBool());
    QCOMPARE(m_sim->files("GET", "/file/read/settings/function/reTraceParams.json").json(), replay);
    // Settings without a model are stored and reported back.
    QCOMPARE(api("POST", "/interface/ethernet", {{"ip", "10.0.0.7"}}).status, 200);
    QCOMPARE(api("GET", "/interface/ethernet").json().value("ip").toString(), QString("10.0.0.7"));
    QCOMPARE(api("GET", "/no/such/endpoint").status, 404);
    // The trajectory check names the first point out of reach.
    const QJsonArray here = exchange().value("cartesianCoordinate").toArray();
    QJsonArray far = here;
    far[0] = 5000.0;
    const QJsonObject points{{"point", QJsonArray{QJsonObject{{"P", here}}, QJsonObject{{"P", far}}}}};
    QCOMPARE(m_sim->files("POST", "/file/write/process/trajectory/trajPoints.json", toJson(points)).status, 200);
    QCOMPARE(api("POST", "/interface/preHandleTrajPoints", {{"tool", 0}, {"user", 0}}).json(),
             QJsonObject({{"result", true}, {"value", false}, {"index", 1}}));
}


void TestVarloSim::otherSitesKeptOut_data()
{
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");
    const QByteArray host = QByteArray("Host: ") + kAddress + ":22000\r\n";
    const QByteArray json = "Content-Type: application/json\r\n";
    // A web page's "simple" cross-site POST, and a page whose name was made to
    // point here (DNS rebinding): refused on every port, the arm stays put.
    QTest::newRow("text/plain motion") << quint16(22000) << QByteArray("/interface/moveJ") << host + "Content-Type: text/plain\r\n" << 415;
    QTest::newRow("form motion") << quint16(22000) << QByteArray("/interface/moveJ") << host + "Content-Type: application/x-www-form-urlencoded\r\n" << 415;
    QTest::newRow("no type") << quint16(22000) << QByteArray("/interface/moveJ") << host << 415;
    QTest::newRow("other site") << quint16(22000) << QByteArray("/interface/moveJ") << "Host: evil.example\r\n" + json << 421;
    QTest::newRow("other site, file") << quint16(22001) << QByteArray("/file/write/settings/common.json") << "Host: evil.example:22001\r\n" + json << 421;
    QTest::newRow("other site, panel") << quint16(22080) << QByteArray("/settings/controlMode") << "Host: evil.example:22080\r\n" + json << 421;
    QTest::newRow("no host") << quint16(22000) << QByteArray("/interface/moveJ") << json << 421;
    QTest::newRow("localhost") << quint16(22000) << QByteArray("/interface/moveJ") << "Host: LocalHost:22000\r\n" + json << 200;
    QTest::newRow("own address") << quint16(22000) << QByteArray("/interface/moveJ") << host + "Content-Type: Application/JSON; charset=utf-8\r\n" << 200;
}

void TestVarloSim::otherSitesKeptOut()
{
    QFETCH(quint16, port);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, headers);
    QFETCH(int, status);
    if (!m_sim) {
        QVERIFY(start());
        QVERIFY(enable());
    }
    const QByteArray body = path.startsWith("/file") ? "{\"ratio\": 5}" : path.startsWith("/settings") ? "{\"controlMode\": \"disable\"}"
                                                      : "{\"joint\": [0, 0, 0, 0, 90, 0], \"value\": true}";
    const QJsonArray before = exchange().value("jointCoordinate").toArray();
    QCOMPARE(rawRequest(kAddress, port, "POST", path, body, QString(), headers).status, status);
    if (status == 200)
        return;
    QTest::qWait(200);
    QCOMPARE(exchange().value("controlMode").toString(), QStringLiteral("enable"));
    QVERIFY(near(exchange().value("jointCoordinate").toArray(), before, 6));
    QCOMPARE(exchange().value("controlParams").toArray().at(0).toDouble(), 50.0);
}

void TestVarloSim::labArmsAreSeparate()
{
    // Two arms in one process: each its own state, documents and panel.
    QVERIFY(start({"--arms", "2"}));
    const QString second = QStringLiteral("127.0.0.61");
    QVERIFY(enable());
    QCOMPARE(rawRequest(second, 22000, "POST", "/protocol/exchange", "{}").json().value("controlMode").toString(), QStringLiteral("disable"));
    QCOMPARE(rawRequest(second, 22001, "POST", "/file/write/settings/common.json", "{\"ratio\": 7}").status, 200);
    QCOMPARE(readJsonFile(m_root->path() + "/127.0.0.61/controllerVR/project/settings/common.json").object().value("ratio").toInt(), 7);
    QCOMPARE(readJsonFile(m_root->path() + "/127.0.0.60/controllerVR/project/settings/common.json").object().value("ratio").toInt(), 50);
    QCOMPARE(rawRequest(second, 22080, "GET", "/state").json().value("controlMode").toString(), QStringLiteral("disable"));
    QCOMPARE(rawRequest(kAddress, 22080, "GET", "/state").json().value("controlMode").toString(), QStringLiteral("enable"));
    // A lab refuses what would leave the addresses, and more arms than it takes.
    SimProcess refused;
    QVERIFY(!refused.start(m_root->path(), QStringLiteral("255.255.255.250"), {"--arms", "9"}));
    QVERIFY(!refused.start(m_root->path(), kAddress, {"--arms", "1001"}));
}

QTEST_GUILESS_MAIN(TestVarloSim)
#include "tst_varlosim.moc"
