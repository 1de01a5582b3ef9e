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

bool untouched()
{
    return QByteArray(reinterpret_cast<const char *>(&h), sizeof h) == QByteArray(sizeof h, char(0xA5));
}

void noConnection(bool, void *) {}
void noState(VarloExchangeRecord *, void *) {}

using Call = std::function<int32_t()>;
struct Row
{
    const char *name;
    int32_t beforeConnect;
    Call call;
};

// Each function once with arguments it accepts.
const QList<Row> &validCalls()
{
    static const QList<Row> rows = {
        { "DisconnectVarlo", 0, [] { return DisconnectVarlo(); } },
        { "ConnectStateCallback", 0, [] { return ConnectStateCallback(&noConnection, nullptr); } },
        { "ExchangeCallback", 0, [] { return ExchangeCallback(&noState, nullptr); } },
        { "MovJ", 1, [] { return MovJ(&h.cmd, true); } },
        { "MovL", 1, [] { return MovL(&h.cmd, false); } },
        { "JointMovJ", 1, [] { return JointMovJ(h.frame, true); } },
        { "RelMovJ", 1, [] { return RelMovJ(h.frame, true); } },
        { "RelMovL", 1, [] { return RelMovL(h.frame, true); } },
        { "JointTeachStart", 1, [] { return JointTeachStart(0, true); } },
        { "CoorTeachStart", 1, [] { return CoorTeachStart(5, false); } },
        { "TeachStop", 1, [] { return TeachStop(); } },
        { "SetRapidRate", 1, [] { return SetRapidRate(10); } },
        { "GetRapidRate", 1, [] { return GetRapidRate(&h.index); } },
        { "GetExchange", 1, [] { return GetExchange(&h.record); } },
        { "GetCartesianCoordinate", 1, [] { return GetCartesianCoordinate(h.frame); } },
        { "GetJointCoordinate", 1, [] { return GetJointCoordinate(h.frame); } },
        { "GetRdnCoordinate", 1, [] { return GetRdnCoordinate(h.rdn); } },
        { "GetArmOrientation", 1, [] { return GetArmOrientation(&h.index); } },
        { "GetDI", 1, [] { return GetDI(&h.io); } },
        { "GetDO", 1, [] { return GetDO(&h.io); } },
        { "GetControlMode", 1, [] { return GetControlMode(&h.mode); } },
        { "GetPowerMode", 1, [] { return GetPowerMode(&h.flag); } },
        { "SetDO", 1, [] { return SetDO(&h.io); } },
        { "ClearAlarms", 1, [] { return ClearAlarms(); } },
        { "SetCoordinateUserIndex", 1, [] { return SetCoordinateUserIndex(1); } },
        { "GetCoordinateUserIndex", 1, [] { return GetCoordinateUserIndex(&h.index); } },
        { "SetCoordinateToolIndex", 1, [] { return SetCoordinateToolIndex(1); } },
        { "GetCoordinateToolIndex", 1, [] { return GetCoordinateToolIndex(&h.index); } },
        { "SetCoordinateUserParams", 1, [] { return SetCoordinateUserParams(h.frame, 1); } },
        { "GetCoordinateUserParams", 1, [] { return GetCoordinateUserParams(h.frame, 1); } },
        { "SetCoordinateToolParams", 1, [] { return SetCoordinateToolParams(h.frame, 1); } },
        { "GetCoordinateToolParams", 1, [] { return GetCoordinateToolParams(h.frame, 1); } },
        { "CalibrateCoordinateUser", 1, [] { return CalibrateCoordinateUser(h.points, h.frame, 1); } },
        { "CalibrateCoordinateToolPosition", 1, [] { return CalibrateCoordinateToolPosition(h.points, h.frame, 1); } },
        { "CalibrateCoordinateToolPose", 1, [] { return CalibrateCoordinateToolPose(h.points, h.frame, 1); } },
        { "CalibrateCoordinateUserToPy", 1,
          [] { return CalibrateCoordinateUserToPy(h.points, h.points + 6, h.points + 12, h.frame, 1); } },
        { "CalibrateCoordinateToolPositionToPy", 1,
          [] { return CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, h.points + 12, h.frame, 1); } },
        { "CalibrateCoordinateToolPoseToPy", 1,
          [] { return CalibrateCoordinateToolPoseToPy(h.points, h.points + 6, h.points + 12, h.frame, 1); } },
        { "PositiveSolution", 1, [] { return PositiveSolution(h.points, 0, 0, h.frame); } },
        { "InverseSolution", 1, [] { return InverseSolution(h.points, h.rdn, 0, 0, h.frame); } },
        { "SetPayLoad", 1, [] { return SetPayLoad(&h.payload); } },
        { "GetPayLoad", 1, [] { return GetPayLoad(&h.payload); } },
        { "SetForceSensor", 1, [] { return SetForceSensor(true); } },
        { "GetForceSensor", 1, [] { return GetForceSensor(&h.flag); } },
        { "GetForceOrgParams", 1, [] { return GetForceOrgParams(h.values); } },
        { "SetForceHome", 1, [] { return SetForceHome(); } },
        { "SetTorqueParams", 1, [] { return SetTorqueParams(1.0f); } },
        { "GetTorqueParams", 1, [] { return GetTorqueParams(h.values); } },
        { "GetAI", 1, [] { return GetAI(&h.ai); } },
        { "GetAO", 1, [] { return GetAO(&h.ao); } },
        { "SetAO", 1, [] { return SetAO(&h.ao); } },
        { "SetTeachTrajectory", 1, [] { return SetTeachTrajectory(true); } },
        { "GetVarloVersion", 1, [] { return GetVarloVersion(&h.version); } },
        { "SetControlMode", 1, [] { return SetControlMode(&h.mode); } },
        { "SetPowerMode", 1, [] { return SetPowerMode(true); } },
        { "GetAlarmsParameter", 1, [] { return GetAlarmsParameter(1, 0, &h.alarm, true); } },
        { "SetCollisionMode", 1, [] { return SetCollisionMode(true, 1); } },
        { "GetCollisionMode", 1, [] { return GetCollisionMode(&h.flag, &h.level); } },
        { "ResetCollision", 1, [] { return ResetCollision(); } },
        { "EmergencyStop", 1, [] { return EmergencyStop(); } },
    };
    return rows;
}

// Arguments each function refuses with 3.
QList<QPair<QByteArray, Call>> refusedCalls()
{
    QList<QPair<QByteArray, Call>> rows = {
        { "ConnectStateCallback", [] { return ConnectStateCallback(nullptr, nullptr); } },
        { "ExchangeCallback", [] { return ExchangeCallback(nullptr, nullptr); } },
        { "MovJ", [] { return MovJ(nullptr, true); } },
        { "MovL", [] { return MovL(nullptr, false); } },
        { "JointMovJ", [] { return JointMovJ(nullptr, true); } },
        { "RelMovJ", [] { return RelMovJ(nullptr, true); } },
        { "RelMovL", [] { return RelMovL(nullptr, true); } },
        { "GetRapidRate", [] { return GetRapidRate(nullptr); } },
        { "GetExchange", [] { return GetExchange(nullptr); } },
        { "GetCartesianCoordinate", [] { return GetCartesianCoordinate(nullptr); } },
        { "GetJointCoordinate", [] { return GetJointCoordinate(nullptr); } },
        { "GetRdnCoordinate", [] { return GetRdnCoordinate(nullptr); } },
        { "GetArmOrientation", [] { return GetArmOrientation(nullptr); } },
        { "GetDI", [] { return GetDI(nullptr); } },
        { "GetDO", [] { return GetDO(nullptr); } },
        { "GetControlMode", [] { return GetControlMode(nullptr); } },
        { "GetPowerMode", [] { return GetPowerMode(nullptr); } },
        { "SetDO", [] { return SetDO(nullptr); } },
        { "GetCoordinateUserIndex", [] { return GetCoordinateUserIndex(nullptr); } },
        { "GetCoordinateToolIndex", [] { return GetCoordinateToolIndex(nullptr); } },
        { "SetCoordinateUserParams", [] { return SetCoordinateUserParams(nullptr, 1); } },
        { "GetCoordinateUserParams", [] { return GetCoordinateUserParams(nullptr, 1); } },
        { "SetCoordinateToolParams", [] { return SetCoordinateToolParams(nullptr, 1); } },
        { "GetCoordinateToolParams", [] { return GetCoordinateToolParams(nullptr, 1); } },
        { "CalibrateCoordinateUser points", [] { return CalibrateCoordinateUser(nullptr, h.frame, 1); } },
        { "CalibrateCoordinateUser frame", [] { return CalibrateCoordinateUser(h.points, nullptr, 1); } },
        { "CalibrateCoordinateToolPosition", [] { return CalibrateCoordinateToolPosition(nullptr, h.frame, 1); } },
        { "CalibrateCoordinateToolPose", [] { return CalibrateCoordinateToolPose(h.points, nullptr, 1); } },
        { "CalibrateCoordinateUserToPy",
          [] { return CalibrateCoordinateUserToPy(h.points, nullptr, h.points + 12, h.frame, 1); } },
        { "CalibrateCoordinateToolPositionToPy",
          [] { return CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, nullptr, h.frame, 1); } },
        { "CalibrateCoordinateToolPoseToPy",
          [] { return CalibrateCoordinateToolPoseToPy(nullptr, h.points + 6, h.points + 12, h.frame, 1); } },
        { "PositiveSolution joints", [] { return PositiveSolution(nullptr, 0, 0, h.frame); } },
        { "PositiveSolution frame", [] { return PositiveSolution(h.points, 0, 0, nullptr); } },
        { "InverseSolution frame", [] { return InverseSolution(nullptr, h.rdn, 0, 0, h.frame); } },
        { "InverseSolution configuration", [] { return InverseSolution(h.points, nullptr, 0, 0, h.frame); } },
        { "InverseSolution joints", [] { return InverseSolution(h.points, h.rdn, 0, 0, nullptr); } },
        { "SetPayLoad", [] { return SetPayLoad(nullptr); } },
        { "GetPayLoad", [] { return GetPayLoad(nullptr); } },
        { "GetForceSensor", [] { return GetForceSensor(nullptr); } },
        { "GetForceOrgParams", [] { return GetForceOrgParams(nullptr); } },
        { "GetTorqueParams", [] { return GetTorqueParams(nullptr); } },
        { "GetAI", [] { return GetAI(nullptr); } },
        { "GetAO", [] { return GetAO(nullptr); } },
        { "SetAO", [] { return SetAO(nullptr); } },
        { "GetVarloVersion", [] { return GetVarloVersion(nullptr); } },
        { "SetControlMode", [] { return SetControlMode(nullptr); } },
        { "GetAlarmsParameter", [] { return GetAlarmsParameter(1, 0, nullptr, true); } },
        { "GetCollisionMode on", [] { return GetCollisionMode(nullptr, &h.level); } },
        { "GetCollisionMode level", [] { return GetCollisionMode(&h.flag, nullptr); } },
    };
    for (int32_t bad : { -1, 10, INT_MIN, INT_MAX }) {
        const QByteArray i = " index " + QByteArray::number(bad);
        rows += { "SetCoordinateUserIndex" + i, [bad] { return SetCoordinateUserIndex(bad); } };
        rows += { "SetCoordinateToolIndex" + i, [bad] { return SetCoordinateToolIndex(bad); } };
        rows += { "SetCoordinateUserParams" + i, [bad] { return SetCoordinateUserParams(h.frame, bad); } };
        rows += { "GetCoordinateUserParams" + i, [bad] { return GetCoordinateUserParams(h.frame, bad); } };
        rows += { "SetCoordinateToolParams" + i, [bad] { return SetCoordinateToolParams(h.frame, bad); } };
        rows += { "GetCoordinateToolParams" + i, [bad] { return GetCoordinateToolParams(h.frame, bad); } };
        rows += { "CalibrateCoordinateUser" + i, [bad] { return CalibrateCoordinateUser(h.points, h.frame, bad); } };
        rows += { "CalibrateCoordinateToolPosition" + i,
                  [bad] { return CalibrateCoordinateToolPosition(h.points, h.frame, bad); } };
        rows += { "CalibrateCoordinateToolPose" + i,
                  [bad] { return CalibrateCoordinateToolPose(h.points, h.frame, bad); } };
        rows += { "CalibrateCoordinateUserToPy" + i,
                  [bad] { return CalibrateCoordinateUserToPy(h.points, h.points + 6, h.points + 12, h.frame, bad); } };
        rows += { "CalibrateCoordinateToolPositionToPy" + i, [bad] {
                     return CalibrateCoordinateToolPositionToPy(h.points, h.points + 6, h.points + 12, h.frame, bad);
                 } };
        rows += { "CalibrateCoordinateToolPoseToPy" + i, [bad] {
                     return CalibrateCoordinateToolPoseToPy(h.points, h.points + 6, h.points + 12, h.frame, bad);
                 } };
    }
    for (int32_t axis : { -1, 6, INT_MIN, INT_MAX }) {
        const QByteArray a = " axis " + QByteArray::number(axis);
        rows += { "JointTeachStart" + a, [axis] { return JointTeachStart(axis, true); } };
        rows += { "CoorTeachStart" + a, [axis] { return CoorTeachStart(axis, false); } };
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
    void initTestCase() { QVERIFY(f.start()); }
    void init() { std::memset(&h, 0xA5, sizeof h); }

    void beforeConnect_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("result");
        for (const Row &row : validCalls())
            QTest::newRow(row.name) << row.call << int(row.beforeConnect);
    }
    void beforeConnect()
    {
        QFETCH(Call, call);
        QTEST(int(call()), "result");
        spin(10);
        QCOMPARE(f.ctl.count(), 0);
        QVERIFY(untouched());
    }

    void connect() { QCOMPARE(ConnectVarlo("127.0.0.5"), VARLO_OK); }

    void refused_data()
    {
        QTest::addColumn<Call>("call");
        for (const auto &row : refusedCalls())
            QTest::newRow(row.first.constData()) << row.second;
    }
    void refused()
    {
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
