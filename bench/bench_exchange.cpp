// Figures of the state exchange:
//   - decoding one full reply (every key, alarms 7 x 64) and building one
//     request body, per call (Google Benchmark);
//   - against the controller double: the measured exchange period (300 ms
//     plus the exchange itself) and the CPU time per minute of a connected,
//     idle library. The double runs in the same process, so its share of the
//     CPU time is included.
// Usage: bench_exchange [--live-seconds=N] [google benchmark options]

#include "Varlo/qrobotprotocol.h"
#include "robot/qrobotprotocol_p.h"
#include "types/qjsonreaders.h"
#include "Varlo/qhttpmanager.h"

#include "fakecontroller.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QVector>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

QJsonArray repeated(const QJsonValue &value, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(value);
    return array;
}

QJsonObject fullReply()
{
    QJsonArray alarms;
    for (int g = 0; g < 7; ++g) {
        QJsonArray words;
        for (int w = 0; w < 64; ++w)
            words.append(g * 64 + w);
        alarms.append(words);
    }
    QJsonArray extend;
    for (int m = 0; m < 9; ++m)
        extend.append(repeated(m, 12));
    QJsonObject reply = QJsonDocument::fromJson(R"({
        "controlMode": "enable", "dragMode": "disable", "coordinate": "cartesian",
        "JogMode": "step", "toolCoordinate": 2, "userCoordinate": 3, "autoManual": "auto",
        "armOrientation": 1, "rdnCoordinate": [1, 2, 3, 4],
        "jointCoordinate": [1.5, 2.5, 3.5, 4.5, 5.5, 6.5],
        "cartesianCoordinate": [100.25, 200.5, 300.75, 1.5, 2.5, 3.5],
        "auxJoint": [7, 8, 9], "isCollision": 0, "skinCollison": 0, "powerState": "on",
        "dragPlayback": false, "controlParams": [0.5, 1.5, 2.5, 3.5],
        "jointCurrent": [1, 2, 3, 4, 5, 6, 7], "jointVoltage": [48, 48, 48, 48, 48, 48],
        "jointTemp": [30, 31, 32, 33, 34, 35], "endAI": [0.25, 0.75], "gpioAI": [1.25, 1.75],
        "outputs": [5, 0, 0, 0, 0, 0, 0, 128], "inputs": [0, 1, 0, 0, 0, 0, 0, 0]
    })").object();
    reply.insert(QLatin1String("alarms"), alarms);
    reply.insert(QLatin1String("extendDO"), extend);
    reply.insert(QLatin1String("extendDI"), extend);
    return reply;
}

void BM_DecodeReply(benchmark::State &state)
{
    QRobotProtocol protocol(nullptr, nullptr);
    QRobotProtocolPrivate *d = QRobotProtocolPrivate::get(&protocol);
    const QJsonObject reply = fullReply();
    // Alternate two alarm blocks so that the whole-block compare copies and
    // notifies every time, as in a busy controller.
    QJsonObject other = reply;
    QJsonArray alarms = other.value(QLatin1String("alarms")).toArray();
    alarms[0] = repeated(99, 64);
    other.insert(QLatin1String("alarms"), alarms);
    bool flip = false;
    for (auto _ : state) {
        d->decodeReply(flip ? other : reply);
        flip = !flip;
    }
}
BENCHMARK(BM_DecodeReply);

void BM_DecodeReplyUnchangedAlarms(benchmark::State &state)
{
    QRobotProtocol protocol(nullptr, nullptr);
    QRobotProtocolPrivate *d = QRobotProtocolPrivate::get(&protocol);
    const QJsonObject reply = fullReply();
    for (auto _ : state)
        d->decodeReply(reply);
}
BENCHMARK(BM_DecodeReplyUnchangedAlarms);

void BM_ParseAndDecodeReply(benchmark::State &state)
{
    // What the library does per reply including the transport's JSON parse.
    QRobotProtocol protocol(nullptr, nullptr);
    QRobotProtocolPrivate *d = QRobotProtocolPrivate::get(&protocol);
    const QByteArray text = QJsonDocument(fullReply()).toJson();
    for (auto _ : state)
        d->decodeReply(QRobotJson::parse(text).object());
}
BENCHMARK(BM_ParseAndDecodeReply);

void BM_BuildRequest(benchmark::State &state)
{
    QRobotProtocol protocol(nullptr, nullptr);
    QRobotType::IO io {};
    io.enable = true;
    io.value[3] = io.value[60] = true;
    protocol.setDO(io);
    protocol.requestToolCoordinate(3);
    QRobotProtocolPrivate *d = QRobotProtocolPrivate::get(&protocol);
    for (auto _ : state)
        benchmark::DoNotOptimize(d->buildRequest());
}
BENCHMARK(BM_BuildRequest);

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int liveRun(int seconds)
{
    VarloTest::FakeController controller(QStringLiteral("127.0.0.7"));
    if (!controller.listen()) {
        std::fprintf(stderr, "controller double: %s\n", qPrintable(controller.errorString()));
        return 1;
    }
    controller.playRobot(6);
    controller.on("POST", "/protocol/exchange", fullReply());

    QHttpManager transport(nullptr);
    transport.setHost(QStringLiteral("127.0.0.7"));
    QRobotProtocol protocol(&transport, nullptr);

    QElapsedTimer clock;
    QVector<qint64> ticks;
    QObject::connect(&protocol, &QRobotProtocol::exChangeClock, [&] { ticks.append(clock.elapsed()); });

    // Warm up: the first exchange and its connection set-up are not measured.
    protocol.startExchange();
    clock.start();
    {
        QEventLoop warmUp;
        QObject::connect(&protocol, &QRobotProtocol::exChangeClock, &warmUp, [&] {
            if (ticks.size() >= 2)
                warmUp.quit();
        });
        QTimer::singleShot(5000, &warmUp, &QEventLoop::quit);
        warmUp.exec();
    }
    ticks.clear();

    const double cpuStart = cpuSeconds();
    clock.restart();
    {
        QEventLoop idle;
        QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
        idle.exec();
    }
    const double cpuUsed = cpuSeconds() - cpuStart;
    const double wall = clock.elapsed() / 1000.0;
    protocol.stopExchange();

    if (ticks.size() < 2) {
        std::fprintf(stderr, "too few exchanges (%d)\n", int(ticks.size()));
        return 1;
    }
    qint64 minGap = ticks.at(1) - ticks.at(0), maxGap = minGap;
    for (int i = 2; i < ticks.size(); ++i) {
        const qint64 gap = ticks.at(i) - ticks.at(i - 1);
        minGap = qMin(minGap, gap);
        maxGap = qMax(maxGap, gap);
    }
    const double meanGap = double(ticks.last() - ticks.first()) / (ticks.size() - 1);
    std::printf("exchange period: mean %.1f ms, min %lld ms, max %lld ms over %d exchanges (%.2f per second)\n",
                meanGap, (long long)minGap, (long long)maxGap, int(ticks.size()), ticks.size() / wall);
    std::printf("CPU time while connected and idle: %.2f s per minute (%.2f %% of one core; includes the controller double)\n",
                cpuUsed * 60.0 / wall, 100.0 * cpuUsed / wall);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The exchange logs its changes; the figures are about the work, not the terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    int liveSeconds = 10;
    QVector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--live-seconds=", 15) == 0)
            liveSeconds = std::atoi(argv[i] + 15);
        else
            args.append(argv[i]);
    }
    int benchArgc = args.size();
    benchmark::Initialize(&benchArgc, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return liveSeconds > 0 ? liveRun(liveSeconds) : 0;
}
