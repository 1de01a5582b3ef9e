// Every function of Varlo.h with arguments it must refuse: before ConnectVarlo
// each returns 1 (the connection functions 0) and touches nothing; a null
// pointer or an index out of range returns 3, writes nothing and asks nothing
// of the controller, not even through the state exchange.
#include "Varlo.h"
#include "fixture.h"

#include <climits>
#include <cstring>
#include <functional>

using namespace VarloTest;

namespace {

// Every buffer a host hands over, filled with a marker that must survive.
struct Host
{
    float frame[6], points[18], values[6];
    int32_t index, rdn[4], mode, level;
    bool flag;
    VarloRunCmd cmd;
    VarloPayloadRecord payload;
    VarloGPIOAI ai;
    VarloGPIOAO ao;
    VarloIO io;
    VarloExchangeRecord record;
    VarloVersionRecord version;
    VarloAlarmRecord alarm;
} h;

int32_t bad = 0; // the index out of range of the row at hand

bool untouched()
{
    return QByteArray(reinterpret_cast<const char *>(&h), sizeof h) == QByteArray(sizeof h, char(0xA5));
}

void noConnection(bool, void *) {}
void noState(VarloExchangeRecord *, void *) {}

using Call = std::function<int32_t()>;
struct Row
{
    QByteArray name;
    int32_t beforeConnect;
    Call call;
};
// A row named after its call, e.g. "MovJ(&h.cmd, true)".
#define ROW(result, call) Row{ #call, result, [] { return call; } }

// Each function once with arguments it accepts, and its result before ConnectVarlo.
QList<Row> validCalls()
{
    return {
        ROW(0, DisconnectVarlo()), ROW(0, ConnectStateCallback(&noConnection, nullptr)),
        ROW(0, ExchangeCallback(&noState, nullptr)), ROW(1, MovJ(&h.cmd, true)), ROW(1, MovL(&h.cmd, false)),
        ROW(1, JointMovJ(h.frame, true)), ROW(1, RelMovJ(h.frame, true)), ROW(1, RelMovL(h.frame, true)),
        ROW(1, JointTeachStart(0, true)), ROW(1, CoorTeachStart(5, false)), ROW(1, TeachStop()),
        ROW(1, SetRapidRate(10)), ROW(1, GetRapidRate(&h.index)), ROW(1, GetExchange(&h.record)),
        ROW(1, GetCartesianCoordinate(h.frame)), ROW(1, GetJointCoordinate(h.frame)), ROW(1, GetRdnCoordinate(h.rdn)),
        ROW(1, GetArmOrientation(&h.index)), ROW(1, GetDI(&h.io)), ROW(1, GetDO(&h.io)), ROW(1, GetControlMode(&h.mode)),
        ROW(1, GetPowerMode(&h.flag)), ROW(1, SetDO(&h.io)), ROW(1, ClearAlarms()), ROW(1, SetCoordinateUserIndex(1)),
        ROW(1, GetCoordinateUserIndex(&h.index)), ROW(1, SetCoordinateToolIndex(1)), ROW(1, GetCoordinateToolIndex(&h.index)),
        ROW(1, SetCoordinateUserParams(h.frame, 1)), ROW(1, GetCoordinateUserParams(h.frame, 1)),
        ROW(1, SetCoordinateToolParams(h.frame, 1)), ROW(1, GetCoordinateToolParams(h.frame, 1)),
        ROW(1, CalibrateCoordinateUser(h.points, h.frame, 1)), ROW(1, CalibrateCoordinateToolPosition(h.points, h.frame, 1)),
        ROW(1, CalibrateCoordinateToolPose(h.points, h.frame, 1)),
        ROW(1, CalibrateCoordinateUserToPy(h.points, h.points + 6, h.points + 12, h.frame, 1)),
        ROW(1, CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, h.points + 12, h.frame, 1)),
        ROW(1, CalibrateCoordinateToolPoseToPy(h.points, h.points + 6, h.points + 12, h.frame, 1)),
        ROW(1, PositiveSolution(h.points, 0, 0, h.frame)), ROW(1, InverseSolution(h.points, h.rdn, 0, 0, h.frame)),
        ROW(1, SetPayLoad(&h.payload)), ROW(1, GetPayLoad(&h.payload)), ROW(1, SetForceSensor(true)),
        ROW(1, GetForceSensor(&h.flag)), ROW(1, GetForceOrgParams(h.values)), ROW(1, SetForceHome()),
        ROW(1, SetTorqueParams(1.0f)), ROW(1, GetTorqueParams(h.values)), ROW(1, GetAI(&h.ai)), ROW(1, GetAO(&h.ao)),
        ROW(1, SetAO(&h.ao)), ROW(1, SetTeachTrajectory(true)), ROW(1, GetVarloVersion(&h.version)),
        ROW(1, SetControlMode(&h.mode)), ROW(1, SetPowerMode(true)), ROW(1, GetAlarmsParameter(1, 0, &h.alarm, true)),
        ROW(1, SetCollisionMode(true, 1)), ROW(1, GetCollisionMode(&h.flag, &h.level)), ROW(1, ResetCollision()),
        ROW(1, EmergencyStop()),
    };
}

// Arguments each function refuses with 3: every pointer null in turn, every
// index out of range.
QList<Row> refusedCalls()
{
    QList<Row> rows = {
        ROW(3, ConnectStateCallback(nullptr, nullptr)), ROW(3, ExchangeCallback(nullptr, nullptr)), ROW(3, MovJ(nullptr, true)),
        ROW(3, MovL(nullptr, false)), ROW(3, JointMovJ(nullptr, true)), ROW(3, RelMovJ(nullptr, true)),
        ROW(3, RelMovL(nullptr, true)), ROW(3, GetRapidRate(nullptr)), ROW(3, GetExchange(nullptr)),
        ROW(3, GetCartesianCoordinate(nullptr)), ROW(3, GetJointCoordinate(nullptr)), ROW(3, GetRdnCoordinate(nullptr)),
        ROW(3, GetArmOrientation(nullptr)), ROW(3, GetDI(nullptr)), ROW(3, GetDO(nullptr)), ROW(3, GetControlMode(nullptr)),
        ROW(3, GetPowerMode(nullptr)), ROW(3, SetDO(nullptr)), ROW(3, GetCoordinateUserIndex(nullptr)),
        ROW(3, GetCoordinateToolIndex(nullptr)), ROW(3, SetCoordinateUserParams(nullptr, 1)),
        ROW(3, GetCoordinateUserParams(nullptr, 1)), ROW(3, SetCoordinateToolParams(nullptr, 1)),
        ROW(3, GetCoordinateToolParams(nullptr, 1)), ROW(3, CalibrateCoordinateUser(nullptr, h.frame, 1)),
        ROW(3, CalibrateCoordinateUser(h.points, nullptr, 1)), ROW(3, CalibrateCoordinateToolPosition(nullptr, h.frame, 1)),
        ROW(3, CalibrateCoordinateToolPose(h.points, nullptr, 1)),
        ROW(3, CalibrateCoordinateUserToPy(h.points, nullptr, h.points + 12, h.frame, 1)),
        ROW(3, CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, nullptr, h.frame, 1)),
        ROW(3, CalibrateCoordinateToolPoseToPy(nullptr, h.points + 6, h.points + 12, h.frame, 1)),
        ROW(3, CalibrateCoordinateToolPoseToPy(h.points, h.points + 6, h.points + 12, nullptr, 1)),
        ROW(3, PositiveSolution(nullptr, 0, 0, h.frame)), ROW(3, PositiveSolution(h.points, 0, 0, nullptr)),
        ROW(3, InverseSolution(nullptr, h.rdn, 0, 0, h.frame)), ROW(3, InverseSolution(h.points, nullptr, 0, 0, h.frame)),
        ROW(3, InverseSolution(h.points, h.rdn, 0, 0, nullptr)), ROW(3, SetPayLoad(nullptr)), ROW(3, GetPayLoad(nullptr)),
        ROW(3, GetForceSensor(nullptr)), ROW(3, GetForceOrgParams(nullptr)), ROW(3, GetTorqueParams(nullptr)),
        ROW(3, GetAI(nullptr)), ROW(3, GetAO(nullptr)), ROW(3, SetAO(nullptr)), ROW(3, GetVarloVersion(nullptr)),
        ROW(3, SetControlMode(nullptr)), ROW(3, GetAlarmsParameter(1, 0, nullptr, true)),
        ROW(3, GetCollisionMode(nullptr, &h.level)), ROW(3, GetCollisionMode(&h.flag, nullptr)),
    };
    const QList<Row> indexed = {
        ROW(3, SetCoordinateUserIndex(bad)), ROW(3, SetCoordinateToolIndex(bad)), ROW(3, SetCoordinateUserParams(h.frame, bad)),
        ROW(3, GetCoordinateUserParams(h.frame, bad)), ROW(3, SetCoordinateToolParams(h.frame, bad)),
        ROW(3, GetCoordinateToolParams(h.frame, bad)), ROW(3, CalibrateCoordinateUser(h.points, h.frame, bad)),
        ROW(3, CalibrateCoordinateToolPosition(h.points, h.frame, bad)), ROW(3, CalibrateCoordinateToolPose(h.points, h.frame, bad)),
        ROW(3, CalibrateCoordinateUserToPy(h.points, h.points + 6, h.points + 12, h.frame, bad)),
        ROW(3, CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, h.points + 12, h.frame, bad)),
        ROW(3, CalibrateCoordinateToolPoseToPy(h.points, h.points + 6, h.points + 12, h.frame, bad)),
    };
    for (int32_t index : { -1, 10, INT_MIN, INT_MAX }) {
        for (const Row &row : indexed)
            rows += Row{ row.name + " " + QByteArray::number(index), 3, [row, index] { bad = index; return row.call(); } };
    }
    for (int32_t axis : { -1, 6, INT_MIN, INT_MAX }) {
        rows += Row{ "JointTeachStart axis " + QByteArray::number(axis), 3, [axis] { return JointTeachStart(axis, true); } };
        rows += Row{ "CoorTeachStart axis " + QByteArray::number(axis), 3, [axis] { return CoorTeachStart(axis, false); } };
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(Call)

class tst_ExportArguments : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.5" };

    // Requests other than the state exchange since the last clearRequests().
    int otherRequests() { return f.ctl.count() - f.ctl.count("*", "/protocol/exchange"); }

private Q_SLOTS:
    void initTestCase() { START_OR_SKIP(f, f.start()); }
    void init() { std::memset(&h, 0xA5, sizeof h); }

    void beforeConnect_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("result");
        for (const Row &row : validCalls())
            QTest::newRow(row.name.constData()) << row.call << int(row.beforeConnect);
    }
    void beforeConnect() {
        QFETCH(Call, call);
        QTEST(int(call()), "result");
        spin(10);
        QCOMPARE(f.ctl.count(), 0);
        QVERIFY(untouched());
    }

    void connect() { QCOMPARE(ConnectVarlo(qPrintable(f.ctl.address())), VARLO_OK); }

    void refused_data() {
        QTest::addColumn<Call>("call");
        for (const Row &row : refusedCalls())
            QTest::newRow(row.name.constData()) << row.call;
    }
    void refused() {
        QFETCH(Call, call);
        // Settle on a cycle of the exchange, so that its body is the one to compare.
        QVERIFY(f.ctl.waitFor("POST", "/protocol/exchange", f.ctl.count("POST", "/protocol/exchange") + 2));
        const QJsonObject body = f.ctl.last("POST", "/protocol/exchange").json();
        f.ctl.clearRequests();
        QCOMPARE(call(), VARLO_INVALID_ARGUMENT);
        QVERIFY(f.ctl.waitFor("POST", "/protocol/exchange", 2));
        QCOMPARE(otherRequests(), 0);
        QCOMPARE(f.ctl.last("POST", "/protocol/exchange").json(), body);
        QVERIFY(untouched());
    }
};

QTEST_GUILESS_MAIN(tst_ExportArguments)
#include "tst_exportarguments.moc"
