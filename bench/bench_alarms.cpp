// Figures of the alarm catalogue lookup (GetAlarmsParameter's work): for
// catalogues of 100 to 20000 entries, the time of one lookup of the last
// entry through the controller double (HTTP read of the document, parse,
// walk) and, separately, of the parse and walk alone.
// Usage: bench_alarms [rounds per size, default 20]

#include "Varlo/qrobotsettings.h"
#include "Varlo/qhttpmanager.h"

#include "fakecontroller.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QJsonArray catalogue(int size)
{
    QJsonArray array;
    for (int id = 0; id < size; ++id) {
        const QJsonObject texts{ { "description", QString("Alarm %1: joint following error too large").arg(id) },
                                 { "cause", QString("The joint lagged its command by more than the limit") },
                                 { "solution", QString("Lower the speed or the payload, then clear the alarm") } };
        array.append(QJsonObject{ { "id", id }, { "level", id % 5 }, { "en", texts }, { "zh_CN", texts } });
    }
    return array;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    QTemporaryDir share;
    qputenv("VARLO_SHARE_ROOT", share.path().toLocal8Bit());

    VarloTest::FakeController ctl(QStringLiteral("127.0.0.38"));
    if (!ctl.listen()) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(ctl.errorString()));
        return 1;
    }
    QHttpManager http(nullptr);
    http.setHost(ctl.address());
    QRobotSettings settings(&http, nullptr);

    std::printf("%8s %10s %14s %14s\n", "entries", "bytes", "lookup ms", "parse+walk ms");
    for (int size : { 100, 1000, 5000, 20000 }) {
        const QJsonArray array = catalogue(size);
        const QByteArray bytes = QJsonDocument(array).toJson();
        ctl.setDocument(QStringLiteral("/properties/alarm_controller"), array);

        std::vector<double> lookups, walks;
        for (int round = 0; round < rounds; ++round) {
            AlarmInfo info;
            QElapsedTimer clock;
            clock.start();
            if (!settings.alarmInfo(size - 1, 0, info, true) || info.id != size - 1) {
                std::fprintf(stderr, "lookup failed at %d entries\n", size);
                return 1;
            }
            lookups.push_back(clock.nsecsElapsed() / 1e6);

            clock.restart();
            const QJsonArray parsed = QJsonDocument::fromJson(bytes).array();
            int found = -1;
            for (const QJsonValue &value : parsed) {
                if (value.toObject().value(QLatin1String("id")).toInt() == size - 1)
                    found = size - 1;
            }
            walks.push_back(clock.nsecsElapsed() / 1e6);
            if (found < 0)
                return 1;
        }
        std::printf("%8d %10d %14.2f %14.2f\n", size, int(bytes.size()), median(lookups), median(walks));
    }
    std::printf("(medians of %d rounds; lookups include the transport's dispatch tick of up to 50 ms)\n", rounds);
    return 0;
}
