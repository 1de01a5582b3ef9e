// Figures of the largest catalogue documents, each operation timed end to end
// against the controller double in the same process (its share of the time is
// included): a points file of 999 points, ten taught pallets with five full
// layouts each, and a trajectory point list of 39 999 points.
// Usage: bench_catalogue [rounds]

#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobotsettings.h"
#include "Varlo/qhttpmanager.h"

#include "fakecontroller.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

void report(const char *what, int rounds, const std::function<bool()> &operation)
{
    QElapsedTimer timer;
    qint64 best = -1;
    qint64 total = 0;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        if (!operation()) {
            std::printf("%-44s failed\n", what);
            return;
        }
        const qint64 ms = timer.elapsed();
        total += ms;
        best = best < 0 ? ms : std::min(best, ms);
    }
    std::printf("%-44s best %5lld ms   mean %7.1f ms   (%d rounds)\n", what, static_cast<long long>(best),
                double(total) / rounds, rounds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    qputenv("QT_LOGGING_RULES", "default.debug=false");

    VarloTest::FakeController ctl(QStringLiteral("127.0.0.55"));
    if (!ctl.listen()) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(ctl.errorString()));
        return 1;
    }
    ctl.playRobot(6);
    ctl.on("POST", "*", QJsonObject());
    QHttpManager http(nullptr);
    http.setHost(QStringLiteral("127.0.0.55"));
    QRobotSettings settings(&http, nullptr);
    QRobotCollaborative collaborative(&http, nullptr);

    const QString pointsFile = QStringLiteral("//127.0.0.55/project/project/bench/points.json");
    std::unique_ptr<TeachPointTable> table(new TeachPointTable);
    memset(table.get(), 0, sizeof(TeachPointTable));
    for (int i = 0; i < TeachPointCount; ++i) {
        TeachPoint &p = table->point[i];
        p.index = i + 1;
        std::snprintf(p.alias, sizeof p.alias, "point %d", i + 1);
        for (int k = 0; k < 6; ++k)
            p.coordinate[k] = float(i) + 0.125f * k;
        p.rdn[0] = 1;
    }
    report("saveTeachPoints, 999 points", rounds, [&] { return settings.saveTeachPoints(pointsFile, *table, 6); });
    report("loadTeachPoints, 999 points", rounds,
           [&] { return settings.loadTeachPoints(pointsFile, 6, *table) == TeachPointCount; });

    std::unique_ptr<TeachPalletDef[]> pallets(new TeachPalletDef[PalletCount]);
    memset(pallets.get(), 0, sizeof(TeachPalletDef) * PalletCount);
    auto &palletTable = *reinterpret_cast<TeachPalletDef(*)[PalletCount]>(pallets.get());
    for (int r = 0; r < PalletCount; ++r) {
        std::snprintf(pallets[r].name, sizeof pallets[r].name, "pallet %d", r);
        for (int j = 0; j < PalletLayoutCount; ++j) {
            pallets[r].layoutSeq[j] = j + 1;
            for (int p = 0; p < TeachPointCount; ++p)
                pallets[r].layouts[j].point[p].coordinate[0] = float(p + 1);
        }
    }
    report("setTeachPallets, 10 x 5 x 999 points", rounds, [&] { return settings.setTeachPallets(palletTable); });
    report("teachPallets, 10 x 5 x 999 points", rounds,
           [&] { return settings.teachPallets(palletTable) == PalletCount; });

    std::vector<QRobotType::CartesianCoordinate> points(TrajPointLimit);
    for (int i = 0; i < TrajPointLimit; ++i)
        for (int k = 0; k < 6; ++k)
            points[size_t(i)].pose[k] = float(i + 1) + 0.5f * k;
    report("setTrajPoints, 39 999 points", rounds,
           [&] { return collaborative.setTrajPoints(points.data(), int(points.size())); });
    return 0;
}
