// The motion, jog and speed exports as a host uses them. The library state is
// one per process: the first test runs before ConnectVarlo, the rest after it.
#include "Varlo.h"
#include "motionhost.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <limits>

using VarloTest::LogCapture;
using VarloTest::Request;

namespace {

const char Address[] = "127.0.0.23";

QJsonArray buttons(int held)
{
    QJsonArray array;
    for (int i = 0; i < 6; ++i)
        array.append(i == held);
    return array;
}

} // namespace

class tst_MotionExports : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void exportsBeforeConnect();
    void connect();

    void nullArguments();
    void nonBlockingReturnsOnceAnswered_data();
    void nonBlockingReturnsOnceAnswered();
    void hostTargetReachesTheWire();
    void commandFailure_data();
    void commandFailure();
    void finishedOnTheThirdPoll();
    void waitOutcome_data();
    void waitOutcome();

    void teachStart_data();
    void teachStart();
    void teachStartSetsTheCoordinate_data();
    void teachStartSetsTheCoordinate();
    void teachStop();
    void teachAxisOutOfRange_data();
    void teachAxisOutOfRange();

    void setRapidRate();
    void getRapidRate_data();
    void getRapidRate();

private:
    QString coordinateOfNextExchange();

};

void tst_MotionExports::initTestCase()
{
    startController(Address, 6);
}

void tst_MotionExports::init()
{
    ctl->clearScripts("*", "/interface/*");
    ctl->clearScripts("*", "/panel/*");
    ctl->on("POST", "/interface/*").reply(QJsonObject{});
    ctl->on("GET", "/interface/*").reply(QJsonObject{ { "value", true } });
    ctl->on("POST", "/panel/*").reply(QJsonObject{});
    ctl->clearRequests();
}

QString tst_MotionExports::coordinateOfNextExchange()
{
    if (!ctl->waitForNextRequest("POST", "/protocol/exchange", 3000))
        return QStringLiteral("(no exchange)");
    return ctl->lastRequest("POST", "/protocol/exchange").json().value("coordinate").toString();
}

void tst_MotionExports::exportsBeforeConnect()
{
    for (const QString &name : MotionHost::exportNames())
        QCOMPARE(MotionHost::call(name, true), VARLO_NO_CONNECTION);
    QCOMPARE(JointTeachStart(0, true), VARLO_NO_CONNECTION);
    QCOMPARE(CoorTeachStart(5, false), VARLO_NO_CONNECTION);
    QCOMPARE(TeachStop(), VARLO_NO_CONNECTION);
    QCOMPARE(SetRapidRate(10), VARLO_NO_CONNECTION);
    int32_t rate = 77;
    QCOMPARE(GetRapidRate(&rate), VARLO_NO_CONNECTION);
    QCOMPARE(rate, 77);
    QTest::qWait(100);
    QCOMPARE(ctl->count(), 0);
}

void tst_MotionExports::connect()
{
    const QByteArray address(Address);
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
}

void tst_MotionExports::nullArguments()
{
    QCOMPARE(MovJ(nullptr, true), VARLO_INVALID_ARGUMENT);
    QCOMPARE(MovL(nullptr, false), VARLO_INVALID_ARGUMENT);
    QCOMPARE(JointMovJ(nullptr, true), VARLO_INVALID_ARGUMENT);
    QCOMPARE(RelMovJ(nullptr, true), VARLO_INVALID_ARGUMENT);
    QCOMPARE(RelMovL(nullptr, true), VARLO_INVALID_ARGUMENT);
    QCOMPARE(GetRapidRate(nullptr), VARLO_INVALID_ARGUMENT);
    QTest::qWait(100);
    QCOMPARE(ctl->count("*", "/interface/*"), 0);
    QCOMPARE(ctl->count("*", "/file/*"), 0);
}

void tst_MotionExports::nonBlockingReturnsOnceAnswered_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : MotionHost::exportNames())
        QTest::newRow(qPrintable(name)) << name;
}

void tst_MotionExports::nonBlockingReturnsOnceAnswered()
{
    QFETCH(QString, name);
    const QString route = MotionHost::routeOf(name);
    // The controller would say "not finished" forever; no query is made.
    ctl->on("GET", route).reply(QJsonObject{ { "value", false } });
    QCOMPARE(MotionHost::call(name, false), VARLO_OK);
    QCOMPARE(ctl->count("POST", route), 1);
    QCOMPARE(ctl->count("GET", route), 0);

    const QJsonObject body = ctl->lastRequest("POST", route).json();
    if (name == "MovJ" || name == "MovL") {
        QCOMPARE(body.value("mode").toString(), name == "MovJ" ? QStringLiteral("go") : QStringLiteral("move"));
        QCOMPARE(body.value("value"), QJsonValue(true));
    } else if (name == "JointMovJ") {
        QCOMPARE(body, (QJsonObject{ { "joint", QJsonArray{ 1, 2, 3, 4, 5, 6 } }, { "value", true } }));
    } else {
        QCOMPARE(body, (QJsonObject{ { "offsetX", 10 }, { "offsetY", -20 }, { "offsetZ", 30 } }));
    }
}

void tst_MotionExports::hostTargetReachesTheWire()
{
    VarloRunCmd cmd = MotionHost::sampleCmd();
    cmd.armOrientation = 0;
    QCOMPARE(MovJ(&cmd, false), VARLO_OK);
    QJsonObject body = ctl->lastRequest("POST", "/interface/go").json();
    const QJsonObject expected{ { "x", 100.5 }, { "y", -20.25 }, { "z", 300 }, { "a", 180 }, { "b", 0 },
                                { "c", -90 },   { "tool", 1 },    { "user", 2 }, { "r", 1 },   { "d", 0 },
                                { "n", 1 },     { "cfg", 3 },     { "armOrientation", "left" },
                                { "mode", "go" }, { "value", true } };
    QCOMPARE(body, expected);

    cmd.armOrientation = 2;
    QCOMPARE(MovL(&cmd, false), VARLO_OK);
    body = ctl->lastRequest("POST", "/interface/go").json();
    QCOMPARE(body.value("armOrientation"), QJsonValue("right"));
    QCOMPARE(body.value("mode"), QJsonValue("move"));
}

void tst_MotionExports::commandFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("MovJ") << "MovJ" << "int MovJ(VarloType::RunCmd*, bool) failed!";
    QTest::newRow("MovL") << "MovL" << "int MovL(VarloType::RunCmd*, bool) failed!";
    QTest::newRow("JointMovJ") << "JointMovJ" << "";
    QTest::newRow("RelMovJ") << "RelMovJ" << "";
    QTest::newRow("RelMovL") << "RelMovL" << "";
}

void tst_MotionExports::commandFailure()
{
    QFETCH(QString, name);
    QFETCH(QString, logLine);
    const QString route = MotionHost::routeOf(name);
    ctl->on("POST", route).status(500);
    LogCapture log;
    QCOMPARE(MotionHost::call(name, true), VARLO_REQUEST_FAILED);
    QCOMPARE(ctl->count("GET", route), 0);
    if (logLine.isEmpty())
        QVERIFY(!log.contains("failed!"));
    else
        QVERIFY(log.hasLine(logLine));
}

void tst_MotionExports::finishedOnTheThirdPoll()
{
    ctl->on("GET", "/interface/go").reply(QJsonObject{ { "value", false } }).times(2);
    QCOMPARE(MotionHost::call("MovL", true), VARLO_OK);
    const QList<Request> polls = ctl->requests("GET", "/interface/go");
    QCOMPARE(polls.size(), 3);
    // The checks are 100 ms apart, the first one at once.
    QVERIFY2(polls.at(2).timeMs - polls.at(0).timeMs >= 190,
             qPrintable(QString::number(polls.at(2).timeMs - polls.at(0).timeMs)));
    QVERIFY(polls.at(0).timeMs - ctl->lastRequest("POST", "/interface/go").timeMs < 100);
}

void tst_MotionExports::waitOutcome_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("firstQueryFails");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("result");
    for (const QString &name : MotionHost::exportNames()) {
        const QByteArray n = name.toLatin1();
        QTest::addRow("%s alarm", n.constData()) << name << false << QJsonObject{ { "isAlarms", true } } << 1;
        QTest::addRow("%s both flags", n.constData())
            << name << false << QJsonObject{ { "isAlarms", true }, { "value", true } } << 0;
        QTest::addRow("%s done", n.constData()) << name << false << QJsonObject{ { "value", true } } << 0;
        // A failed query is no arrival: the wait goes on to the alarm.
        QTest::addRow("%s failed query, then alarm", n.constData())
            << name << true << QJsonObject{ { "isAlarms", true }, { "value", false } } << 1;
    }
}

void tst_MotionExports::waitOutcome()
{
    QFETCH(QString, name);
    QFETCH(bool, firstQueryFails);
    QFETCH(QJsonObject, reply);
    QFETCH(int, result);
    const QString route = MotionHost::routeOf(name);
    ctl->on("GET", route).reply(reply);
    if (firstQueryFails)
        ctl->on("GET", route).status(500).reply(QJsonObject{ { "value", true } }).times(2);
    QCOMPARE(MotionHost::call(name, true), result);
    QCOMPARE(ctl->count("GET", route), firstQueryFails ? 3 : 1);
}

void tst_MotionExports::teachStart_data()
{
    QTest::addColumn<bool>("joint");
    QTest::addColumn<int>("axis");
    QTest::addColumn<bool>("direction");
    for (int axis = 0; axis < 6; ++axis) {
        for (bool direction : { true, false }) {
            QTest::addRow("joint %d %s", axis, direction ? "+" : "-") << true << axis << direction;
            QTest::addRow("cartesian %d %s", axis, direction ? "+" : "-") << false << axis << direction;
        }
    }
}

void tst_MotionExports::teachStart()
{
    QFETCH(bool, joint);
    QFETCH(int, axis);
    QFETCH(bool, direction);
    QCOMPARE(joint ? JointTeachStart(axis, direction) : CoorTeachStart(axis, direction), VARLO_OK);

    QCOMPARE(ctl->count("POST", "/panel/jog"), 1);
    const QJsonObject body = ctl->lastRequest("POST", "/panel/jog").json();
    QCOMPARE(body.value("posBtns").toArray(), buttons(direction ? axis : -1));
    QCOMPARE(body.value("negBtns").toArray(), buttons(direction ? -1 : axis));
}

void tst_MotionExports::teachStartSetsTheCoordinate_data()
{
    QTest::addColumn<bool>("joint");
    QTest::newRow("JointTeachStart") << true;
    QTest::newRow("CoorTeachStart") << false;
    QTest::newRow("JointTeachStart again") << true;
}

void tst_MotionExports::teachStartSetsTheCoordinate()
{
    QFETCH(bool, joint);
    QCOMPARE(joint ? JointTeachStart(3, true) : CoorTeachStart(3, true), VARLO_OK);
    QCOMPARE(coordinateOfNextExchange(), joint ? QStringLiteral("joint") : QStringLiteral("cartesian"));
}

void tst_MotionExports::teachStop()
{
    QCOMPARE(CoorTeachStart(1, true), VARLO_OK);
    QCOMPARE(TeachStop(), VARLO_OK);
    QCOMPARE(ctl->count("POST", "/panel/jog"), 2);
    const QJsonObject body = ctl->lastRequest("POST", "/panel/jog").json();
    QCOMPARE(body.value("posBtns").toArray(), buttons(-1));
    QCOMPARE(body.value("negBtns").toArray(), buttons(-1));
    // The coordinate to send stays as the last start set it.
    QCOMPARE(coordinateOfNextExchange(), QStringLiteral("cartesian"));
}

void tst_MotionExports::teachAxisOutOfRange_data()
{
    QTest::addColumn<int>("axis");
    QTest::newRow("-1") << -1;
    QTest::newRow("6") << 6;
    QTest::newRow("int min") << std::numeric_limits<int>::min();
    QTest::newRow("int max") << std::numeric_limits<int>::max();
}

void tst_MotionExports::teachAxisOutOfRange()
{
    QFETCH(int, axis);
    QCOMPARE(CoorTeachStart(0, true), VARLO_OK);
    QCOMPARE(TeachStop(), VARLO_OK);
    ctl->clearRequests();

    QCOMPARE(JointTeachStart(axis, true), VARLO_INVALID_ARGUMENT);
    QCOMPARE(CoorTeachStart(axis, false), VARLO_INVALID_ARGUMENT);
    // Neither a jog nor a change of the coordinate to send.
    QCOMPARE(coordinateOfNextExchange(), QStringLiteral("cartesian"));
    QCOMPARE(ctl->count("POST", "/panel/*"), 0);
}

void tst_MotionExports::setRapidRate()
{
    QCOMPARE(SetRapidRate(50), VARLO_OK);
    QCOMPARE(ctl->documentObject("/settings/common"), (QJsonObject{ { "ratio", 50 } }));
    QCOMPARE(SetRapidRate(-7), VARLO_OK);
    QCOMPARE(ctl->documentObject("/settings/common"), (QJsonObject{ { "ratio", -7 } }));

    // A failed write is not reported.
    ctl->onWrite("/settings/common").status(500);
    QCOMPARE(SetRapidRate(12), VARLO_OK);
    QCOMPARE(ctl->documentObject("/settings/common"), (QJsonObject{ { "ratio", -7 } }));
    ctl->clearScripts("POST", "/file/write/settings/common.json");
}

void tst_MotionExports::getRapidRate_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("rate");
    QTest::newRow("49.9 truncates to 49") << QByteArray(R"({"ratio": 49.9})") << 49;
    QTest::newRow("-3.7 truncates to -3") << QByteArray(R"({"ratio": -3.7})") << -3;
    QTest::newRow("no ratio") << QByteArray(R"({"rate": 30})") << 0;
    QTest::newRow("ratio as text") << QByteArray(R"({"ratio": "30"})") << 0;
    QTest::newRow("too large for an int") << QByteArray(R"({"ratio": 1e20})") << std::numeric_limits<int>::max();
    QTest::newRow("too small for an int") << QByteArray(R"({"ratio": -1e20})") << std::numeric_limits<int>::min();
    QTest::newRow("no document") << QByteArray() << 0;
}

void tst_MotionExports::getRapidRate()
{
    QFETCH(QByteArray, document);
    QFETCH(int, rate);
    if (document.isEmpty())
        ctl->removeDocument("/settings/common");
    else
        ctl->setDocument("/settings/common", document);
    int32_t value = 12345;
    QCOMPARE(GetRapidRate(&value), VARLO_OK);
    QCOMPARE(value, rate);
}

QTEST_GUILESS_MAIN(tst_MotionExports)
#include "tst_motionexports.moc"
