// What the exports add to the components, as a host calls them: connecting
// and its callbacks, the blocking motion wait, host records and their byte
// layout, result codes, and what reaches the controller from a host's
// arguments. One library state per process: the functions run in order.
#include "Varlo.h"
#include "api/library.h"
#include "fixture.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotconnection.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <tuple>

using namespace VarloTest;

namespace {

const char Address[] = "127.0.0.6";
const char ToolTable[] = "/settings/coordinate/tool";
const char UserTable[] = "/settings/coordinate/user";
const char Collision[] = "/settings/function/collisionDect";
const VarloRunCmd Cmd = { 100.5f, -20.25f, 300, 180, 0, -90, 1, 2, 1, 0, 1, 3, 0 };
const float Joints[6] = { 1, 2, 3, 4, 5, 6 };
const float Offset[3] = { 10, -20, 30 };
const float Points[18] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17 };

void recordConnection(bool isConnected, void *userData) { static_cast<QList<bool> *>(userData)->append(isConnected); }
void countState(VarloExchangeRecord *, void *userData) { ++*static_cast<int *>(userData); }

QJsonObject entry(bool enable, const QString &alias, const QJsonArray &params)
{
    return QJsonObject{ { "enable", enable }, { "alias", alias }, { "params", params } };
}

// Ten named entries with distinct frames, entry 3 not in use.
QJsonArray sampleTable(double b)
{
    QJsonArray table;
    for (int i = 0; i < 10; ++i)
        table.append(entry(i != 3, QString("frame %1").arg(i), numbers({ b + i, b + i, b + i, b + i, b + i, b + i })));
    return table;
}

QString text16(const uint16_t *field)
{
    const int length = int(std::find(field, field + 256, 0) - field);
    return length == 256 ? QString("<not terminated>") : QString::fromUtf16(field, length);
}

QStringList texts(const VarloVersionRecord &r)
{
    QStringList list;
    for (const char *field : { r.library, r.control, r.algs, r.system })
        list << (std::memchr(field, '\0', 25) ? QString::fromUtf8(field) : QString("<not terminated>"));
    return list;
}

using Call = std::function<int32_t()>;
using Motion = std::function<int32_t(bool)>;
using Compute = std::function<int32_t(float *)>;
using Calibration = int32_t (*)(const float *, float *, int32_t);
using CalibrationToPy = int32_t (*)(const float *, const float *, const float *, float *, int32_t);

// The blocking exports with the route of their command and status query.
const QList<QPair<QString, Motion>> &motions()
{
    static const QList<QPair<QString, Motion>> list = {
        { "/interface/go", [](bool block) { return MovJ(&Cmd, block); } },
        { "/interface/go", [](bool block) { return MovL(&Cmd, block); } },
        { "/interface/moveJ", [](bool block) { return JointMovJ(Joints, block); } },
        { "/interface/goR", [](bool block) { return RelMovJ(Offset, block); } },
        { "/interface/moveR", [](bool block) { return RelMovL(Offset, block); } },
    };
    return list;
}
const char *const MotionNames[] = { "MovJ", "MovL", "JointMovJ", "RelMovJ", "RelMovL" };

struct MotionCase
{
    Motion call;
    QString route;
    QJsonObject reply;     // the command's body (commands) or the status reply (waits)
    bool firstQueryFails;
    int result;
};

struct ComputeCase
{
    Compute call;
    QString path;
    Reply reply;
    QJsonArray out;        // starts as six 7s; unchanged means the call gives 2
};

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(MotionCase)
Q_DECLARE_METATYPE(ComputeCase)
Q_DECLARE_METATYPE(Calibration)
Q_DECLARE_METATYPE(CalibrationToPy)

class tst_HostExports : public QObject
{
    Q_OBJECT
    Fixture f{ Address };
    FakeController &ctl = f.ctl;
    QList<bool> first, second;

    QString nextExchange(const char *key) {
        if (!ctl.waitFor("POST", "/protocol/exchange", ctl.count("POST", "/protocol/exchange") + 2))
            return QString("(no exchange)");
        return ctl.last("POST", "/protocol/exchange").json().value(key).toVariant().toString();
    }

private Q_SLOTS:
    void initTestCase() { START_OR_SKIP(f, f.start()); }
    void init() {
        for (const char *commands : { "/interface/*", "/panel/*", "/settings/*" })
            ctl.on("POST", commands, QJsonObject());
        ctl.on("GET", "/interface/*", QJsonObject{ { "value", true } });
        ctl.clearRequests();
    }

    // ---- connecting

    void connectAndDisconnect() {
        // Callbacks registered before the first connect; each registration is called.
        QCOMPARE(ConnectStateCallback(&recordConnection, &first), VARLO_OK);
        QCOMPARE(ConnectStateCallback(&recordConnection, &second), VARLO_OK);
        QCOMPARE(DisconnectVarlo(), VARLO_OK);
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
        QCOMPARE(first, (QList<bool>{ false, true }));
        QCOMPARE(second, first);
        // Connecting again reuses the components, and no second poll runs.
        QRobot *robot = VarloLibrary::components();
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
        QCOMPARE(VarloLibrary::components(), robot);
        QCOMPARE(robot->findChildren<QRobotConnection *>().size(), 1);
        ctl.clearRequests();
        spin(100);
        QCOMPARE(ctl.count("GET", "/connection/state"), 0);
        // Disconnected: every callback with false, each time; nothing is sent.
        const int before = first.size();
        QCOMPARE(DisconnectVarlo(), VARLO_OK);
        QCOMPARE(DisconnectVarlo(), VARLO_OK);
        // A document read that fails afterwards reports no second loss.
        float frame[6];
        QCOMPARE(GetCoordinateToolParams(frame, 0), VARLO_OK);
        QCOMPARE(first.mid(before), (QList<bool>{ false, false }));
        ctl.clearRequests();
        spin(50);
        QCOMPARE(ctl.count(), 0);
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
        QCOMPARE(first.last(), true);
    }

    // A robot of neither 4 nor 6 axes: 1, as soon as connected, not at the limit.
    void robotWithoutAnAxisCount() {
        for (const char *document : { "{\"joints\": 6}", "{\"axis\": 5}", "{\"axis\": \"6\"}" }) {
            ctl.setDocument("/properties/axis", QByteArray(document));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(ConnectVarlo(Address), VARLO_NO_CONNECTION);
            QVERIFY2(clock.elapsed() < 3000, document);
        }
        ctl.setDocument("/properties/axis", QJsonObject{ { "axis", 6 } });
    }

    // The controller comes back as a 4-axis robot: the handler that stays
    // attached after ConnectVarlo takes the new axis count, so a callback
    // registered now follows the arm orientation.
    void reconnectionRefreshesTheAxisCount() {
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
        ctl.setDocument("/properties/axis", QJsonObject{ { "axis", 4 } });
        QHttpManager *transport = VarloLibrary::components()->transport();
        Q_EMIT transport->connectStateChanged(false);
        transport->resetReachability();
        WAIT_FOR(ctl.count("GET", "/file/read/properties/axis.json") >= 1 && transport->isReportedConnected());
        spin(20);
        int calls = 0;
        QCOMPARE(ExchangeCallback(&countState, &calls), VARLO_OK);
        ctl.on("POST", "/protocol/exchange", QJsonObject{ { "armOrientation", 5 } });
        WAIT_FOR(calls == 1);
        ctl.playRobot(6);
    }

    // ---- motion

    void commandsReachTheWire_data() {
        QTest::addColumn<MotionCase>("c");
        QJsonObject go = QJsonDocument::fromJson(R"({"x": 100.5, "y": -20.25, "z": 300, "a": 180, "b": 0, "c": -90,
            "tool": 1, "user": 2, "r": 1, "d": 0, "n": 1, "cfg": 3, "armOrientation": "left", "mode": "go", "value": true})").object();
        const QJsonObject offset{ { "offsetX", 10 }, { "offsetY", -20 }, { "offsetZ", 30 } };
        QTest::newRow("MovJ") << MotionCase{ motions().at(0).second, "/interface/go", go, false, 0 };
        go.insert("mode", "move");
        QTest::newRow("MovL") << MotionCase{ motions().at(1).second, "/interface/go", go, false, 0 };
        go.insert("armOrientation", "right");
        QTest::newRow("MovL right arm") << MotionCase{ [](bool b) { VarloRunCmd right = Cmd; right.armOrientation = 2; return MovL(&right, b); },
                                                       "/interface/go", go, false, 0 };
        QTest::newRow("JointMovJ") << MotionCase{ motions().at(2).second, "/interface/moveJ",
                                                  QJsonObject{ { "joint", numbers({ 1, 2, 3, 4, 5, 6 }) }, { "value", true } }, false, 0 };
        QTest::newRow("RelMovJ") << MotionCase{ motions().at(3).second, "/interface/goR", offset, false, 0 };
        QTest::newRow("RelMovL") << MotionCase{ motions().at(4).second, "/interface/moveR", offset, false, 0 };
    }
    void commandsReachTheWire() {
        QFETCH(MotionCase, c);
        // The controller would say "not finished" forever; without isBlock no query is made.
        ctl.on("GET", c.route, QJsonObject{ { "value", false } });
        QCOMPARE(c.call(false), VARLO_OK);
        QCOMPARE(ctl.count("POST", c.route), 1);
        QCOMPARE(ctl.last("POST", c.route).json(), c.reply);
        // A command the controller does not take: 2, and no wait.
        ctl.on("POST", c.route, Reply::error());
        QCOMPARE(c.call(true), VARLO_REQUEST_FAILED);
        QCOMPARE(ctl.count("GET", c.route), 0);
    }

    void waitOutcome_data() {
        QTest::addColumn<MotionCase>("c");
        for (int i = 0; i < motions().size(); ++i) {
            const Motion m = motions().at(i).second;
            const QString route = motions().at(i).first;
            QTest::addRow("%s alarm", MotionNames[i]) << MotionCase{ m, route, { { "isAlarms", true } }, false, 1 };
            QTest::addRow("%s both flags", MotionNames[i]) << MotionCase{ m, route, { { "isAlarms", true }, { "value", true } }, false, 0 };
            QTest::addRow("%s done", MotionNames[i]) << MotionCase{ m, route, { { "value", true } }, false, 0 };
            // A failed query is no arrival: the wait goes on to the alarm.
            QTest::addRow("%s failed query, then alarm", MotionNames[i])
                << MotionCase{ m, route, { { "isAlarms", true }, { "value", false } }, true, 1 };
        }
    }
    void waitOutcome() {
        QFETCH(MotionCase, c);
        ctl.on("GET", c.route, c.reply);
        if (c.firstQueryFails)
            ctl.on("GET", c.route, Reply(500, "{\"value\": true}"), 2);
        QCOMPARE(int(c.call(true)), c.result);
        QCOMPARE(ctl.count("GET", c.route), c.firstQueryFails ? 3 : 1);
    }

    // The first check at once, then one per period; past the limit (both
    // shortened here) 2, whether the end never comes or the query keeps failing.
    void motionWaitTiming() {
        // The first status query goes out at once, the next ones an interval
        // apart; the interval is long enough that a busy machine cannot blur
        // "at once" into "one interval later" (Qt's coarse timers may fire an
        // interval up to 5% early).
        VarloTimings::setForTesting(VarloTimings::MotionCheck, 400);
        ctl.on("GET", "/interface/go", QJsonObject{ { "value", false } }, 2);
        QCOMPARE(MovL(&Cmd, true), VARLO_OK);
        const QList<Request> polls = ctl.requests("GET", "/interface/go");
        QCOMPARE(polls.size(), 3);
        QVERIFY(polls.at(0).timeMs - ctl.last("POST", "/interface/go").timeMs < 200);
        QVERIFY(polls.at(2).timeMs - polls.at(0).timeMs >= 720);
        useShortIntervals();
        VarloTimings::setForTesting(VarloTimings::MotionLimit, 200);
        ctl.on("GET", "/interface/go", QJsonObject{ { "value", false }, { "isAlarms", false } });
        ctl.on("GET", "/interface/moveJ", Reply(500, "{\"value\": true}"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(MovJ(&Cmd, true), VARLO_MOTION_TIMEOUT);
        QCOMPARE(JointMovJ(Joints, true), VARLO_MOTION_TIMEOUT);
        QVERIFY(clock.elapsed() >= 400 && ctl.count("GET", "/interface/moveJ") > 10);
        VarloTimings::setForTesting(VarloTimings::MotionLimit, 0);
    }

    void jogging() {
        QCOMPARE(ConnectVarlo(Address), VARLO_OK); // a 6-axis arm again
        for (int axis = 0; axis < 6; ++axis) {
            for (int start = 0; start < 4; ++start) { // joint +, joint -, Cartesian +, Cartesian -
                const bool positive = start % 2 == 0;
                QCOMPARE(start < 2 ? JointTeachStart(axis, positive) : CoorTeachStart(axis, positive), VARLO_OK);
                QJsonArray pressed = many(6, false);
                pressed[axis] = true;
                QCOMPARE(ctl.last("POST", "/panel/jog").json(), (QJsonObject{ { "posBtns", positive ? pressed : many(6, false) },
                                                                              { "negBtns", positive ? many(6, false) : pressed } }));
            }
        }
        // Each start chooses the coordinate of the exchange; the stop releases and keeps it.
        QCOMPARE(JointTeachStart(3, true), VARLO_OK);
        QCOMPARE(nextExchange("coordinate"), QString("joint"));
        QCOMPARE(CoorTeachStart(3, true), VARLO_OK);
        QCOMPARE(nextExchange("coordinate"), QString("cartesian"));
        QCOMPARE(TeachStop(), VARLO_OK);
        QCOMPARE(ctl.last("POST", "/panel/jog").json().value("posBtns").toArray(), many(6, false));
        QCOMPARE(nextExchange("coordinate"), QString("cartesian"));
        // A release that goes unanswered twice says so: the arm may still move.
        ctl.on("POST", "/panel/jog", Reply::error(503), 2);
        QCOMPARE(TeachStop(), VARLO_REQUEST_FAILED);
        // A 4-axis arm: joints 1 to 4, and X, Y, Z, C; nothing sent for the others.
        ctl.setDocument("/properties/axis", QJsonObject{ { "axis", 4 } });
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
        ctl.clearRequests();
        QCOMPARE(JointTeachStart(4, true), VARLO_INVALID_ARGUMENT);
        QCOMPARE(CoorTeachStart(3, true), VARLO_INVALID_ARGUMENT);
        QCOMPARE(ctl.count("POST", "/panel/jog"), 0);
        QCOMPARE(CoorTeachStart(5, false), VARLO_OK);
        QCOMPARE(ctl.count("POST", "/panel/jog"), 1);
        QCOMPARE(TeachStop(), VARLO_OK);
        ctl.setDocument("/properties/axis", QJsonObject{ { "axis", 6 } });
        QCOMPARE(ConnectVarlo(Address), VARLO_OK);
    }

    void rapidRate_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("rate");
        QTest::newRow("49.9 truncates to 49") << QByteArray(R"({"ratio": 49.9})") << 49;
        QTest::newRow("-3.7 truncates to -3") << QByteArray(R"({"ratio": -3.7})") << -3;
        QTest::newRow("too large for an int") << QByteArray(R"({"ratio": 1e20})") << INT_MAX;
        QTest::newRow("too small for an int") << QByteArray(R"({"ratio": -1e20})") << INT_MIN;
        QTest::newRow("no document") << QByteArray() << 0;
    }
    void rapidRate() {
        QFETCH(QByteArray, document);
        ctl.removeDocument("/settings/common");
        if (!document.isEmpty())
            ctl.setDocument("/settings/common", document);
        int32_t value = 12345;
        QCOMPARE(GetRapidRate(&value), VARLO_OK);
        QTEST(int(value), "rate");
        // Written whatever the host passes; a failed write is not reported.
        ctl.on("POST", "/file/write/settings/common.json", Reply::error(), 1);
        QCOMPARE(SetRapidRate(12), VARLO_OK);
        QCOMPARE(SetRapidRate(-7), VARLO_OK);
        QCOMPARE(ctl.document("/settings/common").object(), (QJsonObject{ { "ratio", -7 } }));
    }

    // ---- frames, calibration, kinematics

    // The setters go out with the next exchange; the getters give what the
    // controller last reported.
    void indexGettersFollowTheController() {
        ctl.on("POST", "/protocol/exchange", QJsonObject{ { "userCoordinate", 1 }, { "toolCoordinate", 4 } });
        nextExchange("userCoordinate");
        int32_t user = -1, tool = -1;
        QCOMPARE(SetCoordinateUserIndex(2), VARLO_OK);
        QCOMPARE(SetCoordinateToolIndex(9), VARLO_OK);
        QCOMPARE(GetCoordinateUserIndex(&user), VARLO_OK);
        QCOMPARE(GetCoordinateToolIndex(&tool), VARLO_OK);
        QVERIFY(user == 1 && tool == 4);
        QCOMPARE(nextExchange("userCoordinate"), QString("2"));
        QCOMPARE(nextExchange("toolCoordinate"), QString("9"));
        ctl.playRobot(6);
    }

    void framesKeepTheRestOfTheTable() {
        ctl.setDocument(ToolTable, sampleTable(10));
        const float frame[6] = { 1.5f, 2, 3, 4, 5, 6 };
        QCOMPARE(SetCoordinateToolParams(frame, 3), VARLO_OK);
        QJsonArray expected = sampleTable(10);
        expected[3] = entry(true, "frame 3", floats(frame, 6));
        QCOMPARE(ctl.document(ToolTable).array(), expected);
        float back[6];
        QCOMPARE(GetCoordinateToolParams(back, 3), VARLO_OK);
        QCOMPARE(floats(back, 6), floats(frame, 6));
        // A short table is filled up with zeros.
        ctl.setDocument(UserTable, QJsonArray{ entry(true, "only", many(6, 1)) });
        QCOMPARE(SetCoordinateUserParams(frame, 9), VARLO_OK);
        QCOMPARE(ctl.document(UserTable).array().size(), 10);
        QCOMPARE(ctl.document(UserTable).array().at(1).toObject(), entry(false, "", many(6, 0)));
        QCOMPARE(GetCoordinateUserParams(back, 1), VARLO_OK);
        QCOMPARE(floats(back, 6), many(6, 0));
    }

    // A table that could not be read is never written back (its other
    // entries would be lost): 2. One the controller does not have starts empty.
    void frameWritesNeedTheTable_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("table");
        QTest::addColumn<Reply>("read");
        QTest::addColumn<QByteArray>("share"); // the share's file, read when the file service fails
        QTest::addColumn<int>("result");
        static float out[6];
        static const float frame[6] = { 1, 2, 3, 4, 5, 6 };
        const QList<std::tuple<const char *, QString, Call>> calls{
            { "SetCoordinateToolParams", ToolTable, [] { return SetCoordinateToolParams(frame, 3); } },
            { "SetCoordinateUserParams", UserTable, [] { return SetCoordinateUserParams(frame, 3); } },
            { "CalibrateCoordinateUser", UserTable, [] { return CalibrateCoordinateUser(Points, out, 3); } },
            { "CalibrateCoordinateToolPosition", ToolTable, [] { return CalibrateCoordinateToolPosition(Points, out, 3); } },
            { "CalibrateCoordinateToolPose", ToolTable, [] { return CalibrateCoordinateToolPose(Points, out, 3); } },
        };
        for (const auto &c : calls) {
            const auto row = [&c](const char *name, const Reply &read, const QByteArray &share, int result) {
                QTest::addRow("%s, %s", std::get<0>(c), name) << std::get<2>(c) << std::get<1>(c) << read << share << result;
            };
            row("no answer", Reply::error(), QByteArray(), 2);
            row("cut short", Reply::raw("[{\"enable\": tr"), QByteArray(), 2);
            row("an object, not a table", Reply::raw("{\"enable\": true, \"params\": [1, 2, 3, 4, 5, 6]}"), QByteArray(), 2);
            row("share file not JSON", Reply::error(), "enable=1;params=1,2,3", 2);
            row("missing", Reply::raw("{}"), QByteArray(), 0);
        }
    }
    void frameWritesNeedTheTable() {
        QFETCH(Call, call);
        QFETCH(QString, table);
        QFETCH(Reply, read);
        QFETCH(QByteArray, share);
        QFETCH(int, result);
        ctl.on("POST", "/calibrate/*", QJsonObject{ { "coordinate", numbers({ 1, 2, 3, 4, 5, 6 }) }, { "result", true } });
        ctl.setDocument(table, sampleTable(10));
        ctl.on("GET", "/file/read" + table + ".json", read, 1);
        if (!share.isEmpty())
            f.putShareFile(table, share);
        QCOMPARE(call(), result);
        if (!share.isEmpty())
            QCOMPARE(f.shareFile(table), share);
        f.removeShareFiles();
        const QJsonArray stored = ctl.document(table).array();
        QCOMPARE(stored == sampleTable(10), result != 0);
        if (result == 0) // the rest of a fresh table is empty
            QVERIFY(stored.size() == 10 && stored.at(3).toObject().value("enable").toBool() && stored.at(0) == entry(false, "", many(6, 0)));
    }

    // The two tool calibrations complete one tool; the user table is left alone.
    void positionThenPoseCompleteOneTool() {
        ctl.setDocument(ToolTable, sampleTable(10));
        ctl.setDocument(UserTable, sampleTable(20));
        ctl.on("POST", "/calibrate/coordinate/tool/position", QJsonObject{ { "coordinate", numbers({ 1, 2, 3 }) }, { "result", true } });
        ctl.on("POST", "/calibrate/coordinate/tool/pose", QJsonObject{ { "coordinate", numbers({ 4, 5, 6 }) }, { "result", true } });
        float frame[6] = { 9, 9, 9, 9, 9, 9 };
        QCOMPARE(CalibrateCoordinateToolPosition(Points, frame, 3), VARLO_OK);
        QCOMPARE(floats(frame, 6), numbers({ 1, 2, 3, 0, 0, 0 }));
        QCOMPARE(CalibrateCoordinateToolPose(Points, frame, 3), VARLO_OK);
        QCOMPARE(floats(frame, 6), numbers({ 0, 0, 0, 4, 5, 6 }));
        QJsonArray expected = sampleTable(10);
        expected[3] = entry(true, "frame 3", numbers({ 1, 2, 3, 4, 5, 6 }));
        QCOMPARE(ctl.document(ToolTable).array(), expected);
        QCOMPARE(ctl.document(UserTable).array(), sampleTable(20));
        QCOMPARE(ctl.last("POST", "/calibrate/coordinate/tool/pose").jsonArray(), // point 1 first
                 (QJsonArray{ floats(Points, 6), floats(Points + 6, 6), floats(Points + 12, 6) }));
    }

    // Results the controller computes: 0 with the result, or 2 with the host's
    // array and the frame tables untouched.
    void computedByTheController_data() {
        QTest::addColumn<ComputeCase>("c");
        const QJsonArray untouched = many(6, 7);
        const Compute forward = [](float *out) { return PositiveSolution(Joints, 2, 4, out); };
        const Compute inverse = [](float *out) { const int32_t c[4] = { 1, -1, 1, 3 }; return InverseSolution(Joints, c, 2, 4, out); };
        const QString toFrame = "/interface/positiveSolution", toJoints = "/interface/inverseSolution";
        QTest::newRow("forward") << ComputeCase{ forward, toFrame, Reply::raw(R"({"coordinate": [1, 2, 3, 4, 5, 6]})"), floats(Joints, 6) };
        QTest::newRow("forward, no result") << ComputeCase{ forward, toFrame, Reply::raw(R"({"joint": [1, 2, 3, 4, 5, 6]})"), untouched };
        QTest::newRow("inverse") << ComputeCase{ inverse, toJoints, Reply::raw(R"({"joint": [1, 2, 3, 4, 5, 6]})"), floats(Joints, 6) };
        QTest::newRow("inverse, failed") << ComputeCase{ inverse, toJoints, Reply::error(), untouched };
        const QList<QPair<Calibration, QString>> calibrations{ { &CalibrateCoordinateUser, "user" },
            { &CalibrateCoordinateToolPosition, "tool/position" }, { &CalibrateCoordinateToolPose, "tool/pose" } };
        const QList<QPair<const char *, Reply>> failures{ { "failed", Reply::error() },
            { "says no", Reply::raw(R"({"coordinate": [1, 2, 3, 4, 5, 6], "result": false})") },
            { "no result", Reply::raw(R"({"coordinate": [1, 2, 3, 4, 5, 6]})") }, { "not JSON", Reply::raw("<html>busy</html>") },
            { "no frame", Reply::raw(R"({"result": true})") } };
        for (const auto &c : calibrations) {
            for (const auto &failure : failures)
                QTest::addRow("%s, %s", qPrintable(c.second), failure.first) << ComputeCase{
                    [c](float *out) { return c.first(Points, out, 2); }, "/calibrate/coordinate/" + c.second, failure.second, untouched };
        }
    }
    void computedByTheController() {
        QFETCH(ComputeCase, c);
        ctl.on("POST", c.path, c.reply);
        float values[6] = { 7, 7, 7, 7, 7, 7 };
        QCOMPARE(c.call(values), c.out == many(6, 7) ? VARLO_REQUEST_FAILED : VARLO_OK);
        QCOMPARE(floats(values, 6), c.out);
        QCOMPARE(ctl.count("POST", "/file/write/*"), 0);
        if (c.path.endsWith("Solution")) // the frames asked for reach the controller
            QCOMPARE(ctl.last("POST", c.path).json().value("tool").toInt() * 10 + ctl.last("POST", c.path).json().value("user").toInt(), 24);
    }

    void toPyEqualsPacked() {
        // A frame computed from the points as sent: another order gives another frame.
        ctl.on("POST", "/calibrate/*", [](const Request &r) {
            const QJsonArray p = r.jsonArray();
            QJsonArray frame;
            for (int i = 0; i < 6; ++i)
                frame.append(p[0][i].toDouble() + 10 * p[1][i].toDouble() + 100 * p[2][i].toDouble());
            return Reply::json(QJsonObject{ { "coordinate", frame }, { "result", true } });
        });
        const QList<QPair<Calibration, CalibrationToPy>> pairs{ { &CalibrateCoordinateUser, &CalibrateCoordinateUserToPy },
            { &CalibrateCoordinateToolPosition, &CalibrateCoordinateToolPositionToPy },
            { &CalibrateCoordinateToolPose, &CalibrateCoordinateToolPoseToPy } };
        const std::vector<float> a(Points, Points + 6), b(Points + 6, Points + 12), c(Points + 12, Points + 18);
        for (const auto &pair : pairs) {
            float one[6], other[6];
            QCOMPARE(pair.first(Points, one, 5), VARLO_OK);
            QCOMPARE(pair.second(a.data(), b.data(), c.data(), other, 5), VARLO_OK);
            QCOMPARE(floats(other, 6), floats(one, 6));
        }
        const QStringList sent = ctl.trail("POST", "/calibrate/*");
        QCOMPARE(sent.size(), 6);
        QVERIFY(sent[0] == sent[1] && sent[2] == sent[3] && sent[4] == sent[5]);
    }

    // ---- host records: payload, force sensor, torque, analog IO

    void hostRecords() {
        const VarloPayloadRecord payload = { 1.5f, 2.5f, -3.5f, 5.0f, { 0xAA, 0xBB, 0xCC, 0xDD } };
        QCOMPARE(SetPayLoad(&payload), VARLO_OK);
        QCOMPARE(ctl.trail().filter("oad").filter("POST"), (QStringList{
            R"(POST /file/write/settings/function/loadParams.json:22001 {"centerX":1.5,"centerY":2.5,"centerZ":-3.5,"loadValue":5})",
            "POST /settings/function/loadParams:22000", "POST /settings/function/setLoad:22000 {}" }));
        ctl.on("POST", "/file/write/settings/function/loadParams.json", Reply::error(), 1);
        ctl.clearRequests();
        QCOMPARE(SetPayLoad(&payload), VARLO_OK); // a failed write is not applied
        QCOMPARE(ctl.count("POST", "/settings/function/setLoad"), 0);
        VarloPayloadRecord back;
        std::memset(&back, 0x77, sizeof back);
        QCOMPARE(GetPayLoad(&back), VARLO_OK);
        QCOMPARE(QByteArray((char *)&back, 20), QByteArray((const char *)&payload, 16) + QByteArray(4, '\0'));
        // Records that cannot be read are left as they were; missing readings are 0.
        ctl.removeDocument("/settings/function/loadParams");
        std::memset(&back, 0x77, sizeof back);
        QCOMPARE(GetPayLoad(&back), VARLO_OK);
        QCOMPARE(QByteArray((char *)&back, 20), QByteArray(20, 0x77));
        // A switch document without "value" leaves the host's flag as it was, either way.
        ctl.setDocument("/process/sixForce/switch", QJsonObject{ { "mode", 1 } });
        for (const bool held : { true, false }) {
            bool on = held;
            QCOMPARE(GetForceSensor(&on), VARLO_OK);
            QCOMPARE(on, held);
        }
        ctl.on("GET", "/process/sixForce/data", QJsonObject{ { "value", numbers({ 1, 2, 3 }) } }, 1);
        ctl.on("GET", "/process/sixForce/data", Reply::error());
        float values[6] = { 7, 7, 7, 7, 7, 7 };
        QCOMPARE(GetForceOrgParams(values), VARLO_OK);
        QCOMPARE(floats(values, 6), numbers({ 1, 2, 3, 0, 0, 0 }));
        std::fill(values, values + 6, 7.0f);
        QCOMPARE(GetForceOrgParams(values), VARLO_OK);
        QCOMPARE(floats(values, 6), many(6, 7));
        ctl.setDocument("/settings/torqueParams", QByteArray("0.5 Nm"));
        QCOMPARE(GetTorqueParams(values), VARLO_REQUEST_FAILED);
        ctl.removeDocument("/settings/torqueParams");
        QCOMPARE(GetTorqueParams(values), VARLO_REQUEST_FAILED);
        QCOMPARE(values[0], 7.0f);
        const VarloGPIOAO outputs = { { { 1, 3300 }, { 0, 12 } } };
        QCOMPARE(SetAO(&outputs), VARLO_OK);
        VarloGPIOAO ao = { { { 7, 7 }, { 7, 7 } } };
        QCOMPARE(GetAO(&ao), VARLO_OK);
        QCOMPARE(std::memcmp(&ao, &outputs, sizeof ao), 0);
        // One element: channel 2 keeps the host's values.
        ctl.setDocument("/settings/function/gpioAO", QJsonArray{ QJsonObject{ { "mode", 2 }, { "value", 5 } } });
        ao = { { { 7, 7 }, { 7, 7 } } };
        QCOMPARE(GetAO(&ao), VARLO_OK);
        QVERIFY(ao.channel[0].mode == 2 && ao.channel[0].value == 5 && ao.channel[1].mode == 7 && ao.channel[1].value == 7);
    }

    // ---- safety, alarms, version

    void commandsReturnZeroWhateverTheAnswer_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("sent");
        QTest::newRow("control mode") << Call([] { const int32_t m = 2; return SetControlMode(&m); })
                                      << R"(POST /settings/controlMode:22000 {"controlMode":"drag"})";
        QTest::newRow("power") << Call([] { return SetPowerMode(true); }) << R"(POST /interface/powerControl:22000 {"value":true})";
        QTest::newRow("reset collision") << Call(&ResetCollision) << "POST /interface/resetCollision:22000 {}";
        QTest::newRow("emergency stop") << Call(&EmergencyStop) << R"(POST /panel/emergencyStop:22000 {"value":true})";
        QTest::newRow("teach trajectory") << Call([] { return SetTeachTrajectory(false); })
                                          << R"(POST /panel/threeSwitch:22000 {"value":"false"})";
    }
    void commandsReturnZeroWhateverTheAnswer() {
        QFETCH(Call, call);
        QFETCH(QString, sent);
        QCOMPARE(call(), VARLO_OK);
        QCOMPARE(ctl.trail().filter(":22000").filter(QRegularExpression("^POST /(?!protocol)")), QStringList{ sent });
        ctl.on("POST", sent.section(' ', 1, 1).section(':', 0, 0), Reply::error());
        QCOMPARE(call(), VARLO_OK);
    }

    void versionRecord() {
        ctl.on("POST", "/settings/version", QJsonObject{ { "control", "C-2.4.1" }, { "algs", QString(30, 'a') } }, 1);
        VarloVersionRecord record;
        std::memset(&record, 'Z', sizeof record);
        QCOMPARE(GetVarloVersion(&record), VARLO_OK);
        QCOMPARE(texts(record), (QStringList{ "1.2.0_", "C-2.4.1", QString(24, 'a'), "NULL" }));
    }

    void alarmTexts_data() {
        QTest::addColumn<uint>("id");
        QTest::addColumn<int>("catalogue");
        QTest::addColumn<bool>("english");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("description");
        const QString han = QString::fromUtf8("\xe7\xa2\xb0\xe6\x92\x9e");
        const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80"); // two UTF-16 units
        QTest::newRow("controller, english") << 12u << 0 << true << 3 << "Collision";
        QTest::newRow("controller, chinese") << 12u << 0 << false << 3 << han;
        QTest::newRow("catalogue 3 is servo") << 12u << 3 << true << 4 << "Servo fault";
        QTest::newRow("id above 2^31") << 4000000000u << 0 << true << 1 << "Large";
        QTest::newRow("255 units fit") << 1u << 0 << true << 2 << QString(255, 'a');
        QTest::newRow("longer is cut") << 2u << 0 << true << 2 << QString(255, 'b');
        QTest::newRow("pair across the end") << 3u << 0 << true << 2 << QString(254, 'c');
        QTest::newRow("pairs only") << 4u << 0 << true << 2 << smile.repeated(127);
        QTest::newRow("no such id") << 5u << 0 << true << 0 << "";
        QTest::newRow("no english texts") << 6u << 0 << true << 2 << "";
    }
    void alarmTexts() {
        QFETCH(uint, id);
        QFETCH(int, catalogue);
        QFETCH(bool, english);
        const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80");
        auto alarm = [](double id, int level, const QString &english, const QString &chinese = QString()) {
            auto texts = [](const QString &d) { return QJsonObject{ { "description", d }, { "cause", "c" }, { "solution", d } }; };
            QJsonObject a{ { "id", id }, { "level", level }, { "zh_CN", texts(chinese) } };
            if (!english.isNull())
                a.insert("en", texts(english));
            return a;
        };
        ctl.setDocument("/properties/alarm_controller",
                        QJsonArray{ alarm(12, 3, "Collision", QString::fromUtf8("\xe7\xa2\xb0\xe6\x92\x9e")), alarm(4000000000.0, 1, "Large"),
                                    alarm(1, 2, QString(255, 'a')), alarm(2, 2, QString(400, 'b')), alarm(3, 2, QString(254, 'c') + smile),
                                    alarm(4, 2, smile.repeated(200)), 5, "5", alarm(6, 2, QString(), "x") });
        ctl.setDocument("/properties/alarm_servo", QJsonArray{ alarm(12, 4, "Servo fault") });
        VarloAlarmRecord record;
        std::memset(&record, 0x41, sizeof record);
        QCOMPARE(GetAlarmsParameter(id, catalogue, &record, english), VARLO_OK);
        QCOMPARE(record.id, uint32_t(id));
        QTEST(int(record.level), "level");
        QTEST(text16(record.description), "description");
        QTEST(text16(record.solution), "description");
        // Every field is written: nothing earlier survives behind a terminator.
        const QString cause = text16(record.cause);
        for (int i = cause.size() + 1; i < 256; ++i)
            QCOMPARE(record.cause[i], uint16_t(0));
    }

    // On and level to the document and back; what cannot be read keeps the host's values.
    void collisionMode() {
        bool on = false;
        int32_t level = 0;
        QCOMPARE(SetCollisionMode(true, 4), VARLO_OK);
        QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
        QVERIFY(on && level == 4);
        ctl.setDocument(Collision, QJsonObject{ { "level", 2 } });
        QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
        QVERIFY(on && level == 2);
        ctl.removeDocument(Collision);
        QCOMPARE(GetCollisionMode(&on, &level), VARLO_OK);
        QVERIFY(on && level == 2);
    }

    // Runs last: the controller goes away, then the application's quit deletes the facade.
    void facadeGoneAfterQuit() {
        QCOMPARE(DisconnectVarlo(), VARLO_OK);
        ctl.close();
        VarloVersionRecord record;
        QCOMPARE(GetVarloVersion(&record), VARLO_OK);
        QCOMPARE(texts(record), (QStringList{ "1.2.0_", "NULL", "NULL", "NULL" }));
        VarloAlarmRecord alarm;
        QVERIFY(GetAlarmsParameter(9, 0, &alarm, false) == VARLO_OK && alarm.id == 9u && text16(alarm.description).isEmpty());
        QCOMPARE(EmergencyStop(), VARLO_OK);
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        WAIT_FOR(!VarloLibrary::components());
        int32_t rate = 77;
        QVERIFY(GetRapidRate(&rate) == VARLO_NO_CONNECTION && rate == 77);
        // The exports that need no components keep working.
        first.clear();
        QCOMPARE(ConnectStateCallback(&recordConnection, &first), VARLO_OK);
        QCOMPARE(DisconnectVarlo(), VARLO_OK);
        QCOMPARE(first, QList<bool>{ false });
    }
};

QTEST_GUILESS_MAIN(tst_HostExports)
#include "tst_hostexports.moc"
