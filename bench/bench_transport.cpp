// Prints the transport's figures against the controller double:
//  - getJson latency (median, 99th percentile) over a few hundred requests;
//  - the library's own added time: from the reply being complete on the
//    socket (the network manager's "finished") to the caller's return;
//  - the wall time of ConnectVarlo against a 6-axis controller.
// The 50 ms dispatch tick and the wire set the floor of the latency.
//
//   build/bench/bench_transport [requests]
#include "Varlo.h"
#include "fakecontroller.h"
#include "Varlo/qhttpmanager.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QLoggingCategory>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkReply>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

void print(const char *what, const std::vector<double> &ms)
{
    std::printf("%-44s median %8.3f ms   p99 %8.3f ms   (n=%zu)\n", what, percentile(ms, 0.5),
                percentile(ms, 0.99), ms.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The library's diagnostics would drown the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const int requests = argc > 1 ? qMax(10, atoi(argv[1])) : 300;

    VarloTest::FakeController ctl(QStringLiteral("127.0.0.8"));
    if (!ctl.listen()) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(ctl.errorString()));
        return 1;
    }
    ctl.playRobot(6);

    QHttpManager http(nullptr);
    http.setHost(ctl.address());

    // Mark when each reply is complete on the socket.
    QElapsedTimer clock;
    clock.start();
    qint64 finishedAtNs = -1;
    QNetworkAccessManager *network = http.findChild<QNetworkAccessManager *>();
    QObject::connect(network, &QNetworkAccessManager::finished, [&](QNetworkReply *) {
        finishedAtNs = clock.nsecsElapsed();
    });

    std::vector<double> latency;
    std::vector<double> added;
    QJsonObject reply;
    for (int i = 0; i < requests; ++i) {
        finishedAtNs = -1;
        const qint64 start = clock.nsecsElapsed();
        if (!http.getJson(QStringLiteral("/connection/state"), reply)) {
            std::fprintf(stderr, "request %d failed\n", i);
            return 1;
        }
        const qint64 end = clock.nsecsElapsed();
        latency.push_back(double(end - start) / 1e6);
        if (finishedAtNs >= 0)
            added.push_back(double(end - finishedAtNs) / 1e6);
    }
    std::printf("transport against the controller double (%d GET requests)\n", requests);
    print("getJson latency (tick + wire + double)", latency);
    print("library's added time (reply done -> return)", added);

    std::vector<double> connect;
    const QByteArray address = ctl.address().toLatin1();
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer connectClock;
        connectClock.start();
        const int32_t result = ConnectVarlo(address.constData());
        connect.push_back(double(connectClock.nsecsElapsed()) / 1e6);
        if (result != VARLO_OK) {
            std::fprintf(stderr, "ConnectVarlo returned %d\n", int(result));
            return 1;
        }
        DisconnectVarlo();
    }
    print("ConnectVarlo wall time (6-axis double)", connect);
    return 0;
}
