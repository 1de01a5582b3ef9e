// The library against VarloSim through a fault proxy: the controller vanishing
// mid-motion and coming back, replies around the 1000 ms abort, a flapping
// link, replies cut or garbled inside their JSON, a half-open connection.
// Whatever happens, the host keeps what it held and no table on the
// controller is damaged. The library's own pacing runs at its real values;
// only the loss rule (12 s) and the motion limit (20 s) are shortened, their
// real values being tested in tests/limits. One library state per process:
// the functions run in order.
#include "Varlo.h"
#include "api/library.h"
#include "faultproxy.h"
#include "simprocess.h"
#include "transport/timings.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"

#include <QtCore/QJsonArray>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <functional>

using VarloTest::FaultProxy;

namespace {

const char Simulator[] = "127.0.0.65";
const char Proxy[] = "127.0.0.75";
const int LossMs = 2500;
const int MotionLimitMs = 3000;

QList<bool> connections;
int exchanges = 0;
QElapsedTimer sinceGone;
qint64 lostAfter = -1;
void onConnection(bool isConnected, void *)
{
    connections.append(isConnected);
    if (!isConnected && sinceGone.isValid())
        lostAfter = sinceGone.elapsed();
}
void onExchange(VarloExchangeRecord *, void *) { ++exchanges; }

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QHttpManager::waitMs(5);
    return done();
}

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT
    QTemporaryDir folder, emptyShare;
    SimProcess sim;
    FaultProxy proxy{ Proxy, Simulator };
    QJsonArray toolsBefore;

    QString toolFile() const { return sim.projectFolder() + "/settings/coordinate/tool.json"; }
    QHttpManager *transport() const { return VarloLibrary::components()->transport(); }

private Q_SLOTS:
    void initTestCase() {
        SKIP_IF_ADDRESS_IN_USE(Simulator, Proxy);
        qputenv("VARLO_SHARE_ROOT", emptyShare.path().toLocal8Bit()); // documents only through the proxy
        VarloTimings::setForTesting(VarloTimings::ControllerLoss, LossMs);
        VarloTimings::setForTesting(VarloTimings::MotionLimit, MotionLimitMs);
        QVERIFY2(sim.start(folder.path(), Simulator, { "--allow-host", Proxy }), qPrintable(sim.reason()));
        QVERIFY(proxy.listen());
        QCOMPARE(ConnectStateCallback(&onConnection, nullptr), VARLO_OK);
        QCOMPARE(ExchangeCallback(&onExchange, nullptr), VARLO_OK);
        QCOMPARE(ConnectVarlo(Proxy), VARLO_OK);
        toolsBefore = readJsonFile(toolFile()).array();
        QCOMPARE(toolsBefore.size(), 10);
    }
    void cleanupTestCase() {
        DisconnectVarlo();
        sim.stop();
    }

    // Gone mid-motion: the blocking motion gives 2 at its limit, the loss is
    // declared once after the loss time, the exchange stops and the poll
    // takes over. Back: connected again within about a second (a request
    // stuck in a dead connection first ends at the 1000 ms abort), callbacks
    // resume, and the outputs set before are still set.
    void controllerVanishesMidMotionAndComesBack() {
        const int32_t enable = 1;
        QCOMPARE(SetControlMode(&enable), VARLO_OK);
        QVERIFY(waitUntil([] { return VarloLibrary::components()->protocol()->controlMode() == QRobotType::Enable; }, 3000));
        VarloIO outputs{};
        outputs.enable = true;
        outputs.value[4] = true;
        QCOMPARE(SetDO(&outputs), VARLO_OK);
        QCOMPARE(SetRapidRate(5), VARLO_OK);
        QVERIFY(waitUntil([] { VarloIO io{}; return GetDO(&io) == VARLO_OK && io.value[4]; }, 3000));

        QTimer::singleShot(500, this, [&] { proxy.setFault(FaultProxy::BlackHole); sinceGone.start(); });
        const float target[6] = { 170, 0, 0, 0, 90, 0 };
        connections.clear();
        QCOMPARE(JointMovJ(target, true), VARLO_MOTION_TIMEOUT);
        QVERIFY(waitUntil([] { return !connections.isEmpty(); }, LossMs + 2000));
        QVERIFY2(lostAfter > LossMs, qPrintable(QString::number(lostAfter)));
        QCOMPARE(connections, QList<bool>{ false });
        proxy.clearRequests();
        QHttpManager::waitMs(1500);
        const QStringList sent = proxy.requests();
        QVERIFY2(sent.contains("GET /connection/state") && !sent.join(' ').contains("/protocol/exchange"), qPrintable(sent.join(", ")));
        QCOMPARE(connections, QList<bool>{ false });

        proxy.setFault(FaultProxy::Pass);
        QElapsedTimer sinceBack;
        sinceBack.start();
        QVERIFY(waitUntil([] { return connections.contains(true); }, 3000));
        QVERIFY2(sinceBack.elapsed() < 1000 + 2 * 200 + 300, qPrintable(QString::number(sinceBack.elapsed())));
        const int before = exchanges;
        QVERIFY(waitUntil([&] { return exchanges > before + 2; }, 2000));
        VarloIO io{};
        QCOMPARE(GetDO(&io), VARLO_OK);
        QVERIFY(io.value[4]);
        QCOMPARE(connections, (QList<bool>{ false, true }));
    }

    // The 1000 ms abort: a reply well under it arrives, one over it is given
    // up, and one late reply is no loss. The margins leave room for a loaded
    // machine: the abort is looked at on the 50 ms dispatch tick, and a reply
    // that arrived in time counts only once the event loop has read it.
    void repliesAroundTheAbort_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("answered");
        QTest::newRow("750 ms") << 750 << true;
        QTest::newRow("1250 ms") << 1250 << false;
    }
    void repliesAroundTheAbort() {
        QFETCH(int, delay);
        QFETCH(bool, answered);
        connections.clear();
        proxy.setFault(FaultProxy::Delay, delay);
        QJsonObject reply;
        QCOMPARE(transport()->getJson("/connection/state", reply), answered);
        proxy.setFault(FaultProxy::Pass);
        QVERIFY(transport()->getJson("/connection/state", reply));
        QVERIFY(connections.isEmpty());
    }

    // A link that comes and goes every 400 ms (gone silently or with its
    // connections reset, in turn) while the host writes frames: each write is
    // done or refused whole, the other entries stay as they were.
    void flappingLink() {
        QTimer flap;
        int flips = 0;
        connect(&flap, &QTimer::timeout, this, [&] {
            const FaultProxy::Fault down = flips % 4 == 0 ? FaultProxy::BlackHole : FaultProxy::Reset;
            proxy.setFault(flips++ % 2 == 0 ? down : FaultProxy::Pass);
        });
        flap.start(400);
        QElapsedTimer clock;
        clock.start();
        QSet<int> written;
        for (int i = 1; clock.elapsed() < 2500; i = i % 9 + 1) {
            const float frame[6] = { float(i), 1, 2, 3, 4, 5 };
            const int32_t result = SetCoordinateToolParams(frame, i);
            QVERIFY(result == VARLO_OK || result == VARLO_REQUEST_FAILED);
            written.insert(i);
        }
        flap.stop();
        proxy.setFault(FaultProxy::Pass);
        QVERIFY(waitUntil([] { return VarloLibrary::components()->transport()->isReportedConnected(); }, 3000));
        const QJsonArray tools = readJsonFile(toolFile()).array();
        QCOMPARE(tools.size(), 10);
        for (int i = 0; i < 10; ++i) {
            const QJsonValue params = tools.at(i).toObject().value("params");
            QVERIFY2(tools.at(i) == toolsBefore.at(i) || (written.contains(i) && params == QJsonArray{ i, 1, 2, 3, 4, 5 }),
                     qPrintable(QString::number(i)));
        }
        toolsBefore = tools;
    }

    // A reply cut or garbled inside its JSON: a frame write reads no table
    // and writes none (2); the mirrored state keeps its values.
    void damagedReplies_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("at");
        QTest::newRow("cut after 40 bytes") << int(FaultProxy::Truncate) << 40;
        QTest::newRow("cut after 1 byte") << int(FaultProxy::Truncate) << 1;
        QTest::newRow("byte 0xFF at 40") << int(FaultProxy::Corrupt) << 40;
        QTest::newRow("byte 0xFF at 0") << int(FaultProxy::Corrupt) << 0;
    }
    void damagedReplies() {
        QFETCH(int, fault);
        QFETCH(int, at);
        QVERIFY(waitUntil([] { return VarloLibrary::components()->transport()->isReportedConnected(); }, 3000));
        proxy.setFault(FaultProxy::Fault(fault), at);
        const QRobotType::JointCoordinate joints = VarloLibrary::components()->protocol()->jointCoordinate();
        const float frame[6] = { 9, 9, 9, 9, 9, 9 };
        QCOMPARE(SetCoordinateToolParams(frame, 0), VARLO_REQUEST_FAILED);
        QHttpManager::waitMs(500); // exchanges with damaged replies
        const QRobotType::JointCoordinate during = VarloLibrary::components()->protocol()->jointCoordinate();
        proxy.setFault(FaultProxy::Pass);
        QCOMPARE(readJsonFile(toolFile()).array(), toolsBefore);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&during), sizeof during),
                 QByteArray(reinterpret_cast<const char *>(&joints), sizeof joints));
    }

    // The connections open now go silent: the request caught in one is given
    // up at the abort, the next one travels on a new connection, and the
    // host sees no loss.
    void halfOpenConnection() {
        QVERIFY(waitUntil([] { return VarloLibrary::components()->transport()->isReportedConnected(); }, 3000));
        connections.clear();
        proxy.setFault(FaultProxy::HalfOpen);
        QJsonObject reply;
        QVERIFY(waitUntil([&] { return transport()->getJson("/connection/state", reply); }, 4000));
        const int before = exchanges;
        QVERIFY(waitUntil([&] { return exchanges > before + 2; }, 3000));
        QVERIFY(connections.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
