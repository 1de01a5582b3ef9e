// The state exchange against the controller double: what each reply changes
// and announces, what every request carries, the one-shot requests across
// failed exchanges, and stops and restarts during an exchange.
#include "fixture.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QMetaMethod>
#include <QtTest/QSignalSpy>

#include <cstring>
#include <functional>
#include <memory>
#include <numeric>

using namespace VarloTest;

namespace {

const char Exchange[] = "/protocol/exchange";

QJsonObject object(const QByteArray &text) { return QJsonDocument::fromJson(text).object(); }

// A reply with every key, every value different from the initial state.
QJsonObject fullReply()
{
    QJsonObject reply = object(R"({
        "controlMode": "enable", "dragMode": "enable", "coordinate": "cartesian",
        "JogMode": "step", "toolCoordinate": 2, "userCoordinate": 3, "autoManual": "auto",
        "armOrientation": -1, "rdnCoordinate": [1, 2, 3, 4],
        "jointCoordinate": [1, 2, 3, 4, 5, 6], "cartesianCoordinate": [10, 20, 30, 40, 50, 60],
        "auxJoint": [7, 8, 9], "isCollision": 1, "skinCollison": 1, "powerState": "off",
        "dragPlayback": true, "controlParams": [0.5, 1.5, 2.5, 3.5],
        "jointCurrent": [1, 2, 3, 4, 5, 6, 7], "jointVoltage": [48, 48, 48, 48, 48, 48],
        "jointTemp": [30, 31, 32, 33, 34, 35], "endAI": [0.25, 0.75], "gpioAI": [1.25, 1.75],
        "outputs": [5, 0, 0, 0, 0, 0, 0, 128], "inputs": [0, 1, 0, 0, 0, 0, 0, 0]
    })");
    QJsonArray alarms, extendDO, extendDI;
    for (int g = 0; g < 7; ++g)
        alarms.append(many(64, g + 1));
    for (int m = 0; m < 9; ++m) {
        extendDO.append(many(12, m == 8 ? 128 : 0));
        extendDI.append(many(12, m == 0 ? 1 : 0));
    }
    reply.insert("alarms", alarms);
    reply.insert("extendDO", extendDO);
    reply.insert("extendDI", extendDI);
    return reply;
}

// Spies on every state notification of the exchange (not the clock); total() counts them all.
struct Notifications : std::vector<std::unique_ptr<QSignalSpy>>
{
    explicit Notifications(QObject *object) {
        for (int i = object->metaObject()->methodOffset(); i < object->metaObject()->methodCount(); ++i) {
            const QMetaMethod m = object->metaObject()->method(i);
            if (m.methodType() == QMetaMethod::Signal && m.name().endsWith("Changed"))
                emplace_back(new QSignalSpy(object, ("2" + m.methodSignature()).constData()));
        }
    }
    int total() const { return std::accumulate(begin(), end(), 0, [](int n, const auto &spy) { return n + spy->count(); }); }
};

using Getter = std::function<int(const QRobotProtocol &)>;
struct Scalar
{
    QByteArray reply;
    QByteArray signal;
    Getter get;
    int expected;
    bool notifies;
};

// A recorded signal argument of an int-sized enum, an int or a bool, as an int.
int asInt(const QVariant &argument)
{
    if (argument.userType() == QMetaType::Bool)
        return argument.toBool();
    int value = 0;
    std::memcpy(&value, argument.constData(), sizeof value);
    return value;
}

} // namespace

Q_DECLARE_METATYPE(Scalar)

class tst_QRobotProtocol : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.10" };
    FakeController &ctl = f.ctl;
    std::unique_ptr<QHttpManager> http;
    std::unique_ptr<QRobotProtocol> protocol; // destroyed first
    int clocks = 0;

    // Answers the exchanges from now on with `reply` and waits until `cycles`
    // exchanges have decoded it (so that the second shows what a repeat does).
    void serve(const QByteArray &reply, int cycles = 2) { serve(object(reply), cycles); }
    void serve(const QJsonObject &reply, int cycles = 2) {
        const std::shared_ptr<Route> route = ctl.on("POST", Exchange, reply);
        protocol->startExchange();
        WAIT_FOR(route->used >= 1);
        const int start = clocks;
        WAIT_FOR(clocks >= start + cycles);
    }
    // Each exchange body's outputs (first and last word), their enable and the alarm clear.
    QStringList oneShots(int atLeast) {
        QStringList list;
        for (const QJsonObject &body : bodies(atLeast)) {
            const QJsonObject out = body.value("outputs").toObject();
            list << QString("%1/%2 %3 %4").arg(out["value"][0].toInt()).arg(out["value"][7].toInt())
                        .arg(out["enable"].toBool()).arg(body["alarms"].toBool());
        }
        return list;
    }
    QList<QJsonObject> bodies(int atLeast) {
        QList<QJsonObject> list;
        ctl.waitFor("POST", Exchange, atLeast);
        for (const Request &r : ctl.requests("POST", Exchange))
            list.append(r.json());
        return list;
    }

private Q_SLOTS:
    void initTestCase() { START_OR_SKIP(f, f.start()); }
    void init() {
        f.reset();
        clocks = 0;
        ctl.on("GET", Exchange, QJsonObject{});
        protocol.reset();
        http.reset(new QHttpManager(nullptr));
        http->setHost(ctl.address());
        protocol.reset(new QRobotProtocol(http.get(), nullptr));
        connect(protocol.get(), &QRobotProtocol::exChangeClock, this, [this] { ++clocks; });
    }

    // A protocol's first exchange asks for the control mode.
    void firstExchangeAdoptsControlMode() {
        ctl.on("GET", Exchange, QJsonObject{ { "controlMode", "enable" } });
        // Before any reply: disabled, power on, arm orientation 1.
        QVERIFY(protocol->controlMode() == QRobotType::Disable && protocol->isPower() && protocol->armOrientation() == 1);
        QSignalSpy mode(protocol.get(), &QRobotProtocol::controlModeChanged);
        protocol->startExchange();
        const QList<QJsonObject> posts = bodies(1);
        QCOMPARE(ctl.requests().first().method, QString("GET"));
        QCOMPARE(posts.first().value("controlMode").toString(), QString("enable"));
        QCOMPARE(protocol->controlMode(), QRobotType::Enable);
        QCOMPARE(mode.count(), 1);
    }

    void decodeScalars_data() {
        QTest::addColumn<Scalar>("c");
#define ROW(tag, reply, signal, getter, expected, notifies)                                                    \
    QTest::newRow(tag) << Scalar{ reply, SIGNAL(signal), [](const QRobotProtocol &p) { return int(p.getter()); }, expected, notifies }
        ROW("control drag", R"({"controlMode":"drag"})", controlModeChanged(QRobotType::ControlMode), controlMode, 2, true);
        ROW("control unchanged", R"({"controlMode":"disable"})", controlModeChanged(QRobotType::ControlMode), controlMode, 0, false);
        ROW("drag mode drag", R"({"dragMode":"drag"})", dragModeChanged(QRobotCoor::DragMode), dragMode, 0, false);
        ROW("drag mode enable", R"({"dragMode":"enable"})", dragModeChanged(QRobotCoor::DragMode), dragMode, 1, true);
        ROW("coordinate tool", R"({"coordinate":"tool"})", coordinateChanged(QRobotType::Coordinate), coordinate, 2, true);
        ROW("JogMode step", R"({"JogMode":"step"})", jogModeChanged(QRobotType::JogMode), jogMode, 1, true);
        ROW("jogMode ignored", R"({"jogMode":"step"})", jogModeChanged(QRobotType::JogMode), jogMode, 0, false);
        ROW("tool 3", R"({"toolCoordinate":3})", toolCoordinateChanged(int), toolCoordinate, 3, true);
        ROW("user 9", R"({"userCoordinate":9})", userCoordinateChanged(int), userCoordinate, 9, true);
        ROW("auto", R"({"autoManual":"auto"})", autoManualChanged(QRobotType::AutoManual), autoManual, 1, true);
        ROW("arm orientation -1", R"({"armOrientation":-1})", armOrientationChanged(QRobotType::ArmOrientation), armOrientation, -1, true);
        ROW("arm orientation 1", R"({"armOrientation":1})", armOrientationChanged(QRobotType::ArmOrientation), armOrientation, 1, false);
        ROW("collision 1", R"({"isCollision":1})", isCollisionChanged(bool), isCollision, 1, true);
        ROW("collision 2", R"({"isCollision":2})", isCollisionChanged(bool), isCollision, 0, false);
        ROW("collision true", R"({"isCollision":true})", isCollisionChanged(bool), isCollision, 0, false);
        ROW("skinCollison", R"({"skinCollison":1})", isSkinCollisionChanged(bool), isSkinCollision, 1, true);
        ROW("skinCollision ignored", R"({"skinCollision":1})", isSkinCollisionChanged(bool), isSkinCollision, 0, false);
        ROW("power off", R"({"powerState":"off"})", isPowerChanged(bool), isPower, 0, true);
        ROW("power on", R"({"powerState":"on"})", isPowerChanged(bool), isPower, 1, false);
        ROW("drag active", R"({"dragMode":"enable"})", isDragChanged(bool), isDrag, 1, true);
        ROW("playback", R"({"dragPlayback":true})", isPlaybackChanged(bool), isPlayback, 1, true);
        ROW("playback int", R"({"dragPlayback":1})", isPlaybackChanged(bool), isPlayback, 0, false);
#undef ROW
    }
    void decodeScalars() {
        QFETCH(Scalar, c);
        QSignalSpy spy(protocol.get(), c.signal.constData());
        serve(c.reply); // twice: the same reply again is no change
        QCOMPARE(c.get(*protocol), c.expected);
        QCOMPARE(spy.count(), c.notifies ? 1 : 0);
        if (c.notifies)
            QCOMPARE(asInt(spy.first().first()), c.expected);
    }

    void decodeRecords() {
        QRobotType::IO out{};
        out.enable = true;
        protocol->setDO(out);
        QSignalSpy joint(protocol.get(), &QRobotProtocol::jointCoordinateChanged);
        QSignalSpy alarms(protocol.get(), &QRobotProtocol::alarmsChanged);
        QSignalSpy outputs(protocol.get(), &QRobotProtocol::DOChanged);
        serve(fullReply());
        const QRobotProtocol &p = *protocol;
        QCOMPARE((QList<float>{ float(p.rdnCoordinate().rdn[3]), p.jointCoordinate().joint[5], p.cartesianCoordinate().pose[0],
                                p.auxJoint().joint[2], p.controllerParams().params[1], p.jointCurrent().current[6],
                                p.jointVoltage().voltage[0], p.jointTemp().temperature[5], p.endAI().ai[1], p.gpioAI().ai[0],
                                float(p.alarms().alarm[6][63]) }),
                 (QList<float>{ 4, 6, 10, 9, 1.5f, 7, 48, 35, 0.75f, 1.25f, 7 }));
        QVERIFY(protocol->DO().value[0] && !protocol->DO().value[1] && protocol->DO().value[2] && protocol->DO().value[63]);
        QVERIFY(!protocol->DO().enable && !protocol->DI().enable); // received state, not a request
        QVERIFY(protocol->DI().value[8] && !protocol->DI().value[0]);
        QVERIFY(protocol->extendDI().value[0][0] && !protocol->extendDI().value[1][0]);
        QVERIFY(protocol->extendDO().value[8][95] && !protocol->extendDO().value[0][0]);
        // Records travel with their values; positions and IO notify on every
        // reply, alarms only on a change.
        QCOMPARE(qvariant_cast<QRobotType::JointCoordinate>(joint.first().first()).joint[0], 1.0f);
        QCOMPARE(qvariant_cast<QRobotType::Alarms>(alarms.first().first()).alarm[3][10], 4);
        QVERIFY(qvariant_cast<QRobotType::IO>(outputs.first().first()).value[63]);
        QVERIFY(joint.count() >= 2 && outputs.count() == joint.count());
        QCOMPARE(alarms.count(), 1);

        // Absent keys keep their values and announce nothing.
        Notifications notifications(protocol.get());
        serve(R"({"unknown": 1, "jogMode": "jog"})");
        QCOMPARE(notifications.total(), 0);
        QCOMPARE(protocol->jogMode(), QRobotType::Step);
        QCOMPARE(protocol->isPower(), false);
        QCOMPARE(protocol->jointCoordinate().joint[1], 2.0f);
        QCOMPARE(protocol->alarms().alarm[0][0], 1);
    }

    void alarmsNotifyOnChangeOnly() {
        QSignalSpy spy(protocol.get(), &QRobotProtocol::alarmsChanged);
        serve(R"({"alarms": [[0, 0], [0]]})");
        QCOMPARE(spy.count(), 0); // equal to the zeroed start
        serve(R"({"alarms": [[0, 0], [0, 0, 0, 12]]})");
        QCOMPARE(spy.count(), 1);
        // The same words written differently (trailing zeros) are no change either.
        serve(R"({"alarms": [[0, 0, 0], [0, 0, 0, 12, 0], [], []]})");
        QCOMPARE(spy.count(), 1);
        serve(R"({"alarms": []})");
        QCOMPARE(spy.count(), 2);
    }

    void requestBodies() {
        VarloTimings::setForTesting(VarloTimings::ExchangeRearm, 100);
        protocol->startExchange();
        QJsonObject expected = object(R"({"controlMode": "disable", "dragMode": "disable", "coordinate": "joint",
            "jogMode": "jog", "toolCoordinate": 0, "userCoordinate": 0, "alarms": false, "hardware": true,
            "outputs": {"enable": false, "value": [0, 0, 0, 0, 0, 0, 0, 0]}})");
        QCOMPARE(bodies(2).first(), expected);
        // The next exchange starts the rearm interval after the end of the previous one.
        QVERIFY(ctl.requests("POST", Exchange).at(1).timeMs - ctl.requests("POST", Exchange).at(0).timeMs >= 95);
        useShortIntervals();
        // The controller keeps reporting its own values; every body keeps what the library asked for.
        ctl.on("POST", Exchange, object(R"({"toolCoordinate": 0, "controlMode": "disable"})"));
        protocol->requestToolCoordinate(3);
        protocol->requestUserCoordinate(4);
        protocol->requestCoordinate(QRobotType::Cartesian);
        protocol->requestJogMode(QRobotType::Step);
        protocol->requestControlMode(QRobotType::Drag);
        ctl.clearRequests();
        for (const char *key : { "toolCoordinate", "userCoordinate", "coordinate", "jogMode", "controlMode" })
            expected.insert(key, object(R"({"toolCoordinate": 3, "userCoordinate": 4, "coordinate": "cartesian",
                "jogMode": "step", "controlMode": "drag"})").value(key));
        for (const QJsonObject &body : bodies(3).mid(1))
            QCOMPARE(body, expected);
        QCOMPARE(protocol->toolCoordinate(), 0);
    }

    // A one-shot request goes with the next exchange that succeeds, then never again.
    void oneShotsAreSentOnce() {
        ctl.on("POST", Exchange, Reply::error(), 1);
        QRobotType::IO io{};
        io.enable = true;
        io.value[0] = io.value[2] = io.value[63] = true;
        protocol->setDO(io);
        protocol->clearAlarms();
        protocol->clearAlarms();
        protocol->startExchange();
        QCOMPARE(oneShots(4).mid(0, 4), (QStringList{ "5/128 1 1", "5/128 1 1", "5/128 0 0", "5/128 0 0" }));
        // Outputs without enable are sent as they are, never with enable.
        io.enable = false;
        io.value[1] = true;
        protocol->setDO(io);
        ctl.clearRequests();
        QCOMPARE(oneShots(2).last(), QString("7/128 0 0"));
    }

    void oneShotsSetDuringAnExchangeKept() {
        QRobotType::IO first{};
        first.enable = first.value[0] = true;
        protocol->setDO(first);
        bool askedAgain = false;
        ctl.on("POST", Exchange, [&](const Request &) {
            if (!askedAgain) { // while the first exchange is on the wire, the host asks again
                askedAgain = true;
                QRobotType::IO second{};
                second.enable = second.value[3] = true;
                protocol->setDO(second);
                protocol->clearAlarms();
            }
            return Reply().after(50);
        });
        protocol->startExchange();
        QCOMPARE(oneShots(3).mid(0, 3), (QStringList{ "1/0 1 0", "8/0 1 1", "8/0 0 0" }));
    }

    void failedOrOddRepliesChangeNothing() {
        serve(fullReply(), 1);
        Notifications notifications(protocol.get());
        // A failed exchange does not even clock.
        ctl.on("POST", Exchange, Reply(500, R"({"powerState":"on","jointCoordinate":[9,9,9,9,9,9]})"));
        const int start = clocks;
        QVERIFY(ctl.waitFor("POST", Exchange, ctl.count("POST", Exchange) + 3));
        QCOMPARE(clocks, start);
        // Replies that are no object clock, and change nothing.
        ctl.on("POST", Exchange, Reply::raw("[1, 2, 3]"), 1);
        ctl.on("POST", Exchange, Reply::raw("not json at all"), 1);
        ctl.on("POST", Exchange, Reply::raw(R"({"powerState":"on")"), 1);
        WAIT_FOR(clocks == start + 3);
        QCOMPARE(notifications.total(), 0);
        QCOMPARE(protocol->isPower(), false);
        QCOMPARE(protocol->jointCoordinate().joint[0], 1.0f);
    }

    void stopDuringAnExchangeDoesNotRearm() {
        ctl.on("POST", Exchange, [this](const Request &) {
            protocol->stopExchange();
            return Reply();
        });
        protocol->startExchange();
        WAIT_FOR(clocks == 1); // the exchange in progress still ends normally
        spin(100);
        QCOMPARE(ctl.count("POST", Exchange), 1);
        QCOMPARE(clocks, 1);
    }

    void restartDuringAnExchangeRunsOneExchange() {
        // A stop and a start while an exchange is on the wire (connection lost
        // and found inside a wait) must not overlap a second exchange with it.
        bool restarted = false;
        ctl.on("POST", Exchange, [&](const Request &) {
            if (!restarted) {
                restarted = true;
                protocol->stopExchange();
                protocol->startExchange();
            }
            return Reply().after(150);
        });
        protocol->startExchange();
        QVERIFY(ctl.waitFor("POST", Exchange, 3));
        const QList<Request> posts = ctl.requests("POST", Exchange);
        QVERIFY(posts.at(1).timeMs - posts.at(0).timeMs >= 150);
        QVERIFY(posts.at(2).timeMs - posts.at(1).timeMs >= 150);
    }

    // exchangeNow(): an exchange at once that carries what was set before;
    // inside a tick's wait it runs one of its own, whose newer reply the
    // older one does not overwrite; nothing while stopped.
    void exchangeNow_data() {
        QTest::addColumn<QString>("when");
        QTest::newRow("between ticks") << "idle";
        QTest::newRow("inside a tick") << "tick";
        QTest::newRow("stopped") << "stopped";
    }
    void exchangeNow() {
        QFETCH(QString, when);
        VarloTimings::setForTesting(VarloTimings::ExchangeRearm, 2000);
        int replies = 0;
        ctl.on("POST", Exchange, [&](const Request &) {
            ++replies;
            return Reply::json(QJsonObject{ { "jointCoordinate", numbers({ double(replies), 0, 0, 0, 0, 0 }) } })
                .after(when == "tick" && replies == 2 ? 300 : 0);
        });
        protocol->startExchange();
        if (when == "stopped")
            protocol->stopExchange();
        else
            WAIT_FOR(clocks == 1); // the first tick; the next one is 2 s away
        ctl.clearRequests();
        bool answered = false;
        if (when == "tick") {
            // An exchange waits 300 ms for its reply, while a timer of the
            // host asks for one.
            QTimer::singleShot(100, this, [&] { protocol->requestCoordinate(QRobotType::Tool); answered = protocol->exchangeNow(); });
            QVERIFY(protocol->exchangeNow());
            QCOMPARE(ctl.count("POST", Exchange), 2);
        } else {
            protocol->requestCoordinate(QRobotType::Tool);
            answered = protocol->exchangeNow();
        }
        QCOMPARE(answered, when != "stopped");
        if (when == "stopped") {
            QCOMPARE(ctl.count("POST", Exchange), 0);
            return;
        }
        QCOMPARE(ctl.last("POST", Exchange).json().value("coordinate").toString(), QString("tool"));
        // The newest reply stands: 2 for the one between ticks, 3 (the
        // exchange of the host's timer) inside the tick.
        QCOMPARE(protocol->jointCoordinate().joint[0], when == "tick" ? 3.0f : 2.0f);
        VarloTimings::setForTesting(VarloTimings::ExchangeRearm, 5);
    }

    // Without a reply for about a second the state is stale, and fresh again
    // with the next reply (announced once each time, and already fresh for
    // whoever reads it at the exchange's notification).
    void staleWithoutReplies() {
        VarloTimings::setForTesting(VarloTimings::StateStale, 200);
        QSignalSpy stale(protocol.get(), &QRobotProtocol::staleChanged);
        int staleAtExchange = 0;
        const QMetaObject::Connection reading = connect(protocol.get(), &QRobotProtocol::exChangeClock, this,
                                                        [&] { staleAtExchange += protocol->isStale(); });
        QVERIFY(protocol->isStale()); // nothing received yet
        serve(fullReply(), 1);
        QVERIFY(!protocol->isStale());
        ctl.on("POST", Exchange, Reply::error(503));
        QElapsedTimer clock;
        clock.start();
        WAIT_FOR(protocol->isStale());
        QVERIFY(clock.elapsed() >= 150);
        serve(fullReply(), 1);
        QVERIFY(!protocol->isStale());
        protocol->stopExchange();
        WAIT_FOR(protocol->isStale());
        // Each announcement a change (a loaded machine may add a pair).
        QVERIFY(stale.count() >= 4 && stale.count() % 2 == 0);
        for (int i = 0; i < stale.count(); ++i)
            QCOMPARE(stale.at(i).at(0).toBool(), i % 2 == 1);
        disconnect(reading);
        QCOMPARE(staleAtExchange, 0);
        VarloTimings::setForTesting(VarloTimings::StateStale, 0);
    }

    // A stop and a new start of the same protocol do not repeat the first GET;
    // another protocol (another controller's) asks again.
    void firstGetOncePerProtocol() {
        protocol->startExchange();
        bodies(1);
        protocol->stopExchange();
        ctl.on("GET", Exchange, QJsonObject{ { "controlMode", "drag" } });
        protocol->startExchange();
        QCOMPARE(bodies(3).last().value("controlMode").toString(), QString("disable"));
        QCOMPARE(ctl.count("GET", Exchange), 1);
        QRobotProtocol other(http.get(), nullptr);
        other.startExchange();
        WAIT_FOR(other.controlMode() == QRobotType::Drag);
        QCOMPARE(ctl.count("GET", Exchange), 2);
    }
};

QTEST_GUILESS_MAIN(tst_QRobotProtocol)
#include "tst_qrobotprotocol.moc"
