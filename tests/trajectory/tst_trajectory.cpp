// Trajectory replay and user-frame calibration against the controller double.
#include "collaborative/qrobotcollaborative.h"
#include "componenttest.h"
#include "logcapture.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#include <vector>


namespace {
const QString Address = QStringLiteral("127.0.0.53");
const QString TrajDocument = QStringLiteral("/process/trajectory/trajPoints");

QRobotType::CartesianCoordinate pose(float base)
{
    QRobotType::CartesianCoordinate p;
    for (int i = 0; i < 6; ++i)
        p.pose[i] = base + i;
    return p;
}
} // namespace

class tst_Trajectory : public QObject, public VarloTest::ComponentTest<QRobotCollaborative>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent(6);
        ctl->on("POST", "/process/*").reply(QJsonObject());
        ctl->on("POST", "/settings/*").reply(QJsonObject());
    }
    void cleanup() { cleanupComponent(); }

    void recordingSwitch();
    void debugReplay();
    void nullPointersSendNothing();
    void replayParametersAndTheShareCopy();
    void replayParametersPostFailure();
    void replayParametersRead();
    void pointListEndsAtTheFirstZeroPoint();
    void pointListIsBounded();
    void pointListWriteFailure();
    void trajParamsKeepThePoints();
    void trajParamsOnOtherDocuments_data();
    void trajParamsOnOtherDocuments();
    void preHandle_data();
    void preHandle();
    void userFramesRoundTrip();
    void userFramesFromHostileDocuments_data();
    void userFramesFromHostileDocuments();
    void userFramesAreBounded();
    void lineAndDotCalibration_data();
    void lineAndDotCalibration();
    void multiCalibration();

private:
    QRobotCollaborative *&collab = component;
};

void tst_Trajectory::recordingSwitch()
{
    ctl->on("POST", "/interface/recurrentTrack").reply(QJsonObject());
    const bool on = true;
    QVERIFY(collab->setRecurrentTrack(&on));
    QCOMPARE(ctl->lastRequest("POST", "/interface/recurrentTrack").json(), (QJsonObject{{"getpos", true}}));

    bool getpos = false;
    ctl->on("GET", "/interface/recurrentTrack").reply(QJsonObject{{"getpos", true}});
    QVERIFY(collab->getRecurrentTrack(getpos));
    QVERIFY(getpos);
    ctl->on("GET", "/interface/recurrentTrack").reply(QJsonObject{{"other", false}});
    QVERIFY(!collab->getRecurrentTrack(getpos));
    QVERIFY(getpos);
    ctl->on("GET", "/interface/recurrentTrack").status(500);
    QVERIFY(!collab->getRecurrentTrack(getpos));
    QVERIFY(getpos);
}

void tst_Trajectory::debugReplay()
{
    ctl->on("POST", "/interface/debugReTrace").reply(QJsonObject());
    const int loops = 3;
    QVERIFY(collab->debugReTrace("start", "/traj/a", "loop", &loops));
    QCOMPARE(ctl->lastRequest("POST", "/interface/debugReTrace").json(),
             (QJsonObject{{"cmd", "start"}, {"addr", "/traj/a"}, {"mode", "loop"}, {"loopTimes", 3}}));

    int current = -1;
    bool done = true;
    ctl->on("GET", "/interface/debugReTrace").reply(QJsonObject{{"currentTimes", 2}});
    QVERIFY(collab->debugReTraceState(current, done));
    QCOMPARE(current, 2);
    QVERIFY(done);
    ctl->on("GET", "/interface/debugReTrace").reply(QJsonObject{{"isDone", false}, {"currentTimes", 1.5}});
    QVERIFY(collab->debugReTraceState(current, done));
    QCOMPARE(current, 0); // not an integer
    QVERIFY(!done);
}

void tst_Trajectory::nullPointersSendNothing()
{
    QVERIFY(!collab->setRecurrentTrack(nullptr));
    QVERIFY(!collab->debugReTrace("start", "a", "b", nullptr));
    QVERIFY(!collab->setTrajPoints(nullptr, 5));
    bool value = false;
    int index = 0;
    QVERIFY(!collab->preHandleTrajPoints("a", 0, 0, QRobotType::RDNCoordinate{}, nullptr, &index));
    QVERIFY(!collab->preHandleTrajPoints("a", 0, 0, QRobotType::RDNCoordinate{}, &value, nullptr));
    QCOMPARE(ctl->count(), 0);
}

void tst_Trajectory::replayParametersAndTheShareCopy()
{
    ctl->on("POST", "/settings/function/setReTraceParam").reply(QJsonObject());
    const QString copy = share.path() + "/127.0.0.53/project/settings/function/reTraceParams.json";
    QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
    QVERIFY(collab->setRunTrajectoryParams({1.5f, true, 4}));
    const QJsonObject expected{{"multi", 1.5}, {"const", 1}, {"cart", 0}, {"rev", 0},
                               {"sample", 50}, {"freq", 10}, {"loop", 4}};
    QCOMPARE(ctl->lastRequest("POST", "/settings/function/setReTraceParam").json(), expected);
    QFile file(copy);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), expected);
    file.close();

    // Without the folder the copy cannot be written; the result stays true.
    QDir(share.path()).removeRecursively();
    QVERIFY(collab->setRunTrajectoryParams({2.0f, false, 0}));
    QCOMPARE(ctl->lastRequest("POST", "/settings/function/setReTraceParam").json().value("const").toInt(), 0);
}

void tst_Trajectory::replayParametersPostFailure()
{
    ctl->on("POST", "/settings/function/setReTraceParam").status(500);
    VarloTest::LogCapture log;
    QVERIFY(!collab->setRunTrajectoryParams({1.0f, true, 1}));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setRunTrajectoryParams(QRobotCoor::ReTraceParams) setParaError"));
}

void tst_Trajectory::replayParametersRead()
{
    ctl->setDocument("/settings/function/reTraceParams", QJsonObject{{"multi", 0.5}, {"const", 2}, {"loop", 7}});
    QRobotCoor::ReTraceParams params{9, true, 0};
    QVERIFY(collab->getRunTrajectoryParams(params));
    QCOMPARE(params.multi, 0.5f);
    QVERIFY(!params.constant); // only 1 is true
    QCOMPARE(params.loop, 7);
    ctl->removeDocument("/settings/function/reTraceParams");
    VarloTest::LogCapture log;
    QVERIFY(!collab->getRunTrajectoryParams(params));
    QVERIFY(log.hasLine("bool QRobotCollaborative::getRunTrajectoryParams(QRobotCoor::ReTraceParams&) getParaError"));
}

void tst_Trajectory::pointListEndsAtTheFirstZeroPoint()
{
    QRobotType::CartesianCoordinate points[4] = {pose(1), pose(10), {}, pose(20)};
    QVERIFY(collab->setTrajPoints(points, 4));
    const QJsonObject doc = ctl->documentObject(TrajDocument);
    QCOMPARE(doc.keys(), QStringList{"point"});
    const QJsonArray list = doc.value("point").toArray();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(1).toObject(), (QJsonObject{{"P", QJsonArray{10, 11, 12, 13, 14, 15}}}));
    // The caller's count ends the list too.
    QVERIFY(collab->setTrajPoints(points, 1));
    QCOMPARE(ctl->documentObject(TrajDocument).value("point").toArray().size(), 1);
    QVERIFY(collab->setTrajPoints(points, 0));
    QCOMPARE(ctl->documentObject(TrajDocument).value("point").toArray().size(), 0);
}

void tst_Trajectory::pointListIsBounded()
{
    std::vector<QRobotType::CartesianCoordinate> points(40000, pose(1));
    QVERIFY(collab->setTrajPoints(points.data(), int(points.size())));
    QCOMPARE(ctl->documentObject(TrajDocument).value("point").toArray().size(), 39999);
}

void tst_Trajectory::pointListWriteFailure()
{
    ctl->onWrite(TrajDocument).status(500);
    QRobotType::CartesianCoordinate points[1] = {pose(1)};
    VarloTest::LogCapture log;
    QVERIFY(!collab->setTrajPoints(points, 1));
    QVERIFY(log.hasLine("bool QRobotCollaborative::setTrajPoints(const QRobotType::CartesianCoordinate*) setParaError"));
}

void tst_Trajectory::trajParamsKeepThePoints()
{
    const QJsonArray stored{QJsonObject{{"P", QJsonArray{1, 2, 3, 4, 5, 6}}}};
    ctl->setDocument(TrajDocument, QJsonObject{{"point", stored}, {"tool", 9}, {"note", "two  spaces\nand a line"}});
    QVERIFY(collab->setTrajParams(QRobotType::RDNCoordinate{{1, -1, 0, 2}}, 3, 4));
    const QJsonObject doc = ctl->documentObject(TrajDocument);
    QCOMPARE(doc.value("point").toArray(), stored);
    QCOMPARE(doc.value("handtype").toArray(), (QJsonArray{1, -1, 0, 2}));
    QCOMPARE(doc.value("tool").toInt(), 3);
    QCOMPARE(doc.value("user").toInt(), 4);
    QCOMPARE(doc.value("note").toString(), QString("two  spaces\nand a line")); // texts kept as they are
}

void tst_Trajectory::trajParamsOnOtherDocuments_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: missing
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("line");
    QTest::newRow("array") << QByteArray("[1, 2]") << true << QString();
    QTest::newRow("missing") << QByteArray() << false
                             << "bool QRobotCollaborative::setTrajParams(QRobotType::RDNCoordinate, int, int) getParaError";
}

void tst_Trajectory::trajParamsOnOtherDocuments()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, result);
    QFETCH(QString, line);
    if (!document.isEmpty())
        ctl->setDocument(TrajDocument, document);
    VarloTest::LogCapture log;
    QCOMPARE(collab->setTrajParams(QRobotType::RDNCoordinate{{1, 1, 1, 1}}, 0, 0), result);
    QCOMPARE(ctl->count("POST", "/file/write/process/trajectory/trajPoints.json"), 0);
    if (!line.isEmpty())
        QVERIFY(log.hasLine(line));
}

void tst_Trajectory::preHandle_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<bool>("value");
    QTest::addColumn<int>("index");
    QTest::newRow("bad point") << QJsonObject{{"value", false}, {"index", 17}} << false << 17;
    QTest::newRow("good list") << QJsonObject{{"value", true}, {"index", 17}} << true << 0;
    QTest::newRow("bad without index") << QJsonObject{{"value", false}} << false << 0;
    QTest::newRow("no value") << QJsonObject{{"index", 3}} << true << -5;
    QTest::newRow("index of wrong type") << QJsonObject{{"value", false}, {"index", "x"}} << false << 0;
}

void tst_Trajectory::preHandle()
{
    QFETCH(QJsonObject, reply);
    QFETCH(bool, value);
    QFETCH(int, index);
    ctl->on("POST", "/interface/preHandleTrajPoints").reply(reply);
    bool gotValue = true;
    int gotIndex = -5;
    QVERIFY(collab->preHandleTrajPoints("/traj/a", 1, 2, QRobotType::RDNCoordinate{{1, 0, -1, 3}}, &gotValue, &gotIndex));
    QCOMPARE(ctl->lastRequest("POST", "/interface/preHandleTrajPoints").json(),
             (QJsonObject{{"addr", "/traj/a"}, {"tool", 1}, {"user", 2}, {"r", 1}, {"d", 0}, {"n", -1}, {"cfg", 3}}));
    QCOMPARE(gotValue, value);
    QCOMPARE(gotIndex, index);

    ctl->on("POST", "/interface/preHandleTrajPoints").status(500);
    VarloTest::LogCapture log;
    QVERIFY(!collab->preHandleTrajPoints("/traj/a", 1, 2, QRobotType::RDNCoordinate{}, &gotValue, &gotIndex));
    QVERIFY(log.hasLine("preHandleTrajPoints_postError"));
}

void tst_Trajectory::userFramesRoundTrip()
{
    UserFrameTable table;
    memset(&table, 0, sizeof table);
    table.frame[0].enable = true;
    strcpy(table.frame[0].type, "line");
    strcpy(table.frame[0].alias, "Tisch");
    table.frame[9].params[5] = 90;
    QVERIFY(collab->setUserFrames(table));
    const QJsonArray written = ctl->document("/settings/coordinate/user").array();
    QCOMPARE(written.size(), 10);
    QCOMPARE(written.at(0).toObject(), (QJsonObject{{"enable", true}, {"type", "line"}, {"alias", "Tisch"},
                                                    {"params", QJsonArray{0, 0, 0, 0, 0, 0}}}));
    const UserFrameTable back = collab->userFrames();
    QVERIFY(memcmp(&back, &table, sizeof table) == 0);
}

void tst_Trajectory::userFramesFromHostileDocuments_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: missing
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("object") << QByteArray("{\"enable\": true}");
    QTest::newRow("wrong types") << QByteArray("[{\"enable\": \"yes\", \"type\": 5, \"alias\": [], \"params\": \"1\"}, 7]");
}

void tst_Trajectory::userFramesFromHostileDocuments()
{
    QFETCH(QByteArray, document);
    if (!document.isEmpty())
        ctl->setDocument("/settings/coordinate/user", document);
    const UserFrameTable table = collab->userFrames();
    UserFrameTable zero;
    memset(&zero, 0, sizeof zero);
    QVERIFY(memcmp(&table, &zero, sizeof zero) == 0);
}

void tst_Trajectory::userFramesAreBounded()
{
    const QString longText = QString::fromUtf8("\xc3\xa4").repeated(30); // 60 bytes of two-byte characters
    QJsonArray array;
    for (int k = 0; k < 25; ++k)
        array.append(QJsonObject{{"enable", true}, {"type", longText}, {"alias", QString(40, QLatin1Char('a'))},
                                 {"params", QJsonArray{1, 2, 3, 4, 5, 6, 7, 8, 9}}});
    ctl->setDocument("/settings/coordinate/user", array);
    const UserFrameTable table = collab->userFrames();
    for (const UserFrameEntry &entry : table.frame) {
        QVERIFY(entry.enable);
        QCOMPARE(QByteArray(entry.type), QString::fromUtf8("\xc3\xa4").repeated(9).toUtf8()); // 18 of 19 bytes
        QCOMPARE(QByteArray(entry.alias), QByteArray(19, 'a'));
        QCOMPARE(entry.params[5], 6.0f);
    }
}

void tst_Trajectory::lineAndDotCalibration_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("line") << "/calibrate/coordinate/userLine" << "calibrateCoordinateUserLine";
    QTest::newRow("dot") << "/calibrate/coordinate/userDot" << "calibrateCoordinateUserDot";
}

void tst_Trajectory::lineAndDotCalibration()
{
    QFETCH(QString, path);
    QFETCH(QString, prefix);
    const float points[3][6] = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {0, 0, 0, 0, 0, 1}};
    float result[6] = {-1, -1, -1, -1, -1, -1};
    const auto run = [&]() {
        return path.endsWith("Line") ? collab->calibrateCoordinateUserLine(points, result)
                                     : collab->calibrateCoordinateUserDot(points, result);
    };

    ctl->on("POST", path).reply(QJsonObject{{"coordinate", QJsonArray{1, 2, 3, 4, 5, 6}}, {"result", false}});
    {
        VarloTest::LogCapture log;
        QVERIFY(!run());
        QVERIFY(log.hasLine(prefix + "_resultReturn false"));
    }
    QCOMPARE(ctl->lastRequest("POST", path).jsonArray(),
             (QJsonArray{QJsonArray{1, 2, 3, 4, 5, 6}, QJsonArray{7, 8, 9, 10, 11, 12}, QJsonArray{0, 0, 0, 0, 0, 1}}));
    QCOMPARE(result[5], 6.0f);

    ctl->on("POST", path).reply(QJsonObject{{"coordinate", QJsonArray{9, "x"}}, {"result", true}});
    {
        VarloTest::LogCapture log;
        QVERIFY(run());
        QVERIFY(log.hasLine(prefix + "_resultReturn true"));
    }
    QCOMPARE(result[0], 9.0f);
    QCOMPARE(result[1], 0.0f);
    QCOMPARE(result[5], 0.0f);

    ctl->on("POST", path).reply(QJsonObject{{"coordinate", QJsonArray{5, 5, 5, 5, 5, 5, 5, 5}}});
    {
        VarloTest::LogCapture log;
        QVERIFY(!run());
        QVERIFY(log.hasLine(prefix + "_jsonError"));
    }
    QCOMPARE(result[5], 5.0f);

    ctl->on("POST", path).replyRaw("no json here");
    {
        VarloTest::LogCapture log;
        QVERIFY(!run());
        QVERIFY(log.hasLine(prefix + "_jsonError"));
    }
    ctl->on("POST", path).status(500);
    {
        VarloTest::LogCapture log;
        QVERIFY(!run());
        QVERIFY(log.hasLine(prefix + "_postError"));
        QVERIFY(log.hasLine(prefix + "_jsonError"));
    }
}

void tst_Trajectory::multiCalibration()
{
    ctl->on("POST", "/calibrate/multiCalibration").replyRaw("whatever");
    static float master[CalibrationPointLimit][6];
    static float slave[CalibrationPointLimit][6];
    memset(master, 0, sizeof master);
    for (int i = 0; i < CalibrationPointLimit; ++i)
        for (int k = 0; k < 6; ++k)
            slave[i][k] = float(i + 1);
    MultiCalibrationParams params;
    memset(&params, 0, sizeof params);
    params.T0Trans[5] = 3;
    {
        VarloTest::LogCapture log;
        QVERIFY(collab->multiCalibration(master, slave, params));
        QVERIFY(log.contains("++++++"));
    }
    const QJsonObject body = ctl->lastRequest("POST", "/calibrate/multiCalibration").json();
    QCOMPARE(body.value("master").toArray(), QJsonArray());
    QCOMPARE(body.value("slave").toArray().size(), 50);
    QCOMPARE(body.value("T0Trans").toArray(), (QJsonArray{0, 0, 0, 0, 0, 3}));
    for (const char *key : {"L", "A", "R", "U0Trans"})
        QCOMPARE(body.value(key).toArray().size(), 6);

    ctl->on("POST", "/calibrate/multiCalibration").status(500);
    VarloTest::LogCapture log;
    QVERIFY(!collab->multiCalibration(master, slave, params));
    QVERIFY(log.hasLine("multiCalibration_postError"));

    int state = -1;
    ctl->on("GET", "/calibrate/multiCalibration").reply(QJsonObject{{"state", 2}});
    QVERIFY(collab->multiCalibrationState(state));
    QCOMPARE(state, 2);
    ctl->on("GET", "/calibrate/multiCalibration").reply(QJsonObject());
    QVERIFY(collab->multiCalibrationState(state));
    QCOMPARE(state, 2);
}

QTEST_GUILESS_MAIN(tst_Trajectory)
#include "tst_trajectory.moc"
