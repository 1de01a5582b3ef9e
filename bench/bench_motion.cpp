// Figures of the motion exports, against the controller double:
//   - the time a non-blocking MovJ, a blocking MovJ that has finished at its
//     first check, a JointTeachStart/TeachStop pair and a GetRapidRate spend
//     in the call;
//   - how long after the controller first reports the end of a motion the
//     blocking export returns (the detection delay of the 100 ms checks).
// Usage: bench_motion [rounds]   (default 20)

#include "Varlo.h"

#include "fakecontroller.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtCore/QVector>

#include <algorithm>
#include <cstdio>
#include <functional>

using VarloTest::FakeController;
using VarloTest::Reply;
using VarloTest::Request;

namespace {

const char Address[] = "127.0.0.25";

struct Figures
{
    double median;
    double max;
};

Figures figures(QVector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return Figures{ samples.at(samples.size() / 2), samples.last() };
}

void print(const char *what, const QVector<double> &samples)
{
    const Figures f = figures(samples);
    std::printf("%-44s median %7.1f ms   max %7.1f ms   (%d rounds)\n", what, f.median, f.max, int(samples.size()));
}

QVector<double> timeCalls(int rounds, const std::function<void()> &call)
{
    QVector<double> samples;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        call();
        samples.append(clock.nsecsElapsed() / 1e6);
    }
    return samples;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(3, atoi(argv[1])) : 20;

    QTemporaryDir share;
    qputenv("VARLO_SHARE_ROOT", share.path().toLocal8Bit());
    FakeController ctl{ QLatin1String(Address) };
    if (!ctl.listen()) {
        std::fprintf(stderr, "cannot listen on %s: %s\n", Address, qPrintable(ctl.errorString()));
        return 1;
    }
    ctl.playRobot(6);
    ctl.on("POST", "/interface/*", QJsonObject{});
    ctl.on("POST", "/panel/*", QJsonObject{});
    ctl.setDocument("/settings/common", QJsonObject{ { "ratio", 49.9 } });
    if (ConnectVarlo(Address) != VARLO_OK) {
        std::fprintf(stderr, "ConnectVarlo failed\n");
        return 1;
    }

    VarloRunCmd cmd{};
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    ctl.on("GET", "/interface/go", QJsonObject{ { "value", true } });
    print("MovJ, not blocking", timeCalls(rounds, [&]() { MovJ(&cmd, false); }));
    print("MovJ, blocking, finished at the first check", timeCalls(rounds, [&]() { MovJ(&cmd, true); }));
    print("JointTeachStart + TeachStop", timeCalls(rounds, [&]() {
              JointTeachStart(2, true);
              TeachStop();
          }));
    int32_t rate = 0;
    print("GetRapidRate", timeCalls(rounds, [&]() { GetRapidRate(&rate); }));

    // The motion ends 450 ms after the command: from then on the status says
    // so. The delay is the time from that moment to the export's return.
    QVector<double> delays;
    for (int i = 0; i < rounds; ++i) {
        qint64 commandAt = -1;
        ctl.on("POST", "/interface/go", [&](const Request &r) {
            commandAt = r.timeMs;
            return Reply::json(QJsonObject{});
        });
        qint64 endAt = -1;
        ctl.on("GET", "/interface/go", [&](const Request &r) {
            const bool done = commandAt >= 0 && r.timeMs - commandAt >= 450;
            return Reply::json(QJsonObject{ { "value", done } });
        });
        MovJ(&cmd, true);
        endAt = commandAt + 450;
        delays.append(double(ctl.elapsedMs() - endAt));
    }
    print("MovJ return after the reported end", delays);

    DisconnectVarlo();
    return 0;
}
