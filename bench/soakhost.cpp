// The soak's host program (scripts/soak.sh): for MINUTES it drives a
// controller through the library's exports the way a cell does all day -
// blocking joint and relative moves, outputs set and read back, inputs read,
// tool frames written and read back, alarms looked up - with both callbacks
// registered, and counts every call that did not give 0. Every SAMPLE seconds
// it prints its resident memory; at the end the growth after the warm-up.
//
//     soakhost ADDRESS MINUTES [WARMUP_MINUTES] [SAMPLE_SECONDS]
//
// Exit 0 when no call failed, the connection was never lost and memory grew
// by at most 1 MB per 10 minutes after the warm-up; 1 otherwise.
#include "Varlo.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long residentKb()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long stateCallbacks = 0, lost = 0;
void onExchange(VarloExchangeRecord *, void *) { ++stateCallbacks; }
void onConnection(bool isConnected, void *) { lost += isConnected ? 0 : 1; }

std::map<std::string, long> calls, failures;
void count(const char *name, int32_t result)
{
    ++calls[name];
    if (result != VARLO_OK)
        ++failures[name];
}

double minutesSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count() / 60.0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ADDRESS MINUTES [WARMUP_MINUTES] [SAMPLE_SECONDS]\n", argv[0]);
        return 2;
    }
    const double minutes = std::atof(argv[2]);
    const double warmup = argc > 3 ? std::atof(argv[3]) : std::min(2.0, minutes / 5);
    const double sampleSeconds = argc > 4 ? std::atof(argv[4]) : 10;
    ConnectStateCallback(&onConnection, nullptr);
    ExchangeCallback(&onExchange, nullptr);
    if (ConnectVarlo(argv[1]) != VARLO_OK) {
        std::fprintf(stderr, "soakhost: no controller at %s\n", argv[1]);
        return 1;
    }
    const int32_t enable = 1;
    SetControlMode(&enable);
    SetRapidRate(100);
    int32_t mode = 0;
    int32_t rate = 0;
    for (const Clock::time_point until = Clock::now() + std::chrono::seconds(5); mode != 1 && Clock::now() < until;) {
        GetRapidRate(&rate); // a request: the state exchange runs while the library waits
        GetControlMode(&mode);
    }
    if (mode != 1) {
        std::fprintf(stderr, "soakhost: the arm did not enable\n");
        return 1;
    }

    const Clock::time_point start = Clock::now();
    Clock::time_point nextSample = start;
    long warmKb = -1, peakKb = 0, lastKb = 0;
    const float home[6] = { 0, 0, 0, 0, 90, 0 }, away[6] = { 30, -20, 15, 10, 70, -30 };
    const float up[3] = { 0, 0, 20 }, down[3] = { 0, 0, -20 };
    for (long cycle = 0; minutesSince(start) < minutes; ++cycle) {
        count("JointMovJ", JointMovJ(cycle % 2 ? home : away, true));
        count("RelMovL", RelMovL(cycle % 2 ? down : up, true));
        VarloIO outputs{}, back{}, inputs{};
        outputs.enable = true;
        outputs.value[cycle % 8] = true;
        count("SetDO", SetDO(&outputs));
        count("GetDO", GetDO(&back));
        count("GetDI", GetDI(&inputs));
        float frame[6] = { float(cycle % 100), 1, 2, 3, 4, 5 }, frameBack[6] = {};
        const int32_t index = int32_t(1 + cycle % 9);
        count("SetCoordinateToolParams", SetCoordinateToolParams(frame, index));
        count("GetCoordinateToolParams", GetCoordinateToolParams(frameBack, index));
        if (std::memcmp(frame, frameBack, sizeof frame) != 0)
            ++failures["frame read back"];
        VarloAlarmRecord alarm{};
        count("GetAlarmsParameter", GetAlarmsParameter(uint32_t(1 + cycle % 20), 0, &alarm, cycle % 2 == 0));

        if (Clock::now() >= nextSample) {
            lastKb = residentKb();
            peakKb = std::max(peakKb, lastKb);
            if (warmKb < 0 && minutesSince(start) >= warmup)
                warmKb = lastKb;
            std::printf("sample %6.2f min  rss %ld kB  cycles %ld  state callbacks %ld\n", minutesSince(start), lastKb,
                        cycle + 1, stateCallbacks);
            std::fflush(stdout);
            nextSample += std::chrono::milliseconds(long(sampleSeconds * 1000));
        }
    }
    lastKb = residentKb();
    const long losses = lost; // DisconnectVarlo reports one more
    DisconnectVarlo();

    long failed = 0;
    for (const auto &call : calls) {
        std::printf("calls %-24s %8ld  failed %ld\n", call.first.c_str(), call.second, failures[call.first]);
        failed += failures[call.first];
    }
    failed += failures["frame read back"];
    const double measured = minutes - warmup;
    const long growthKb = warmKb < 0 ? 0 : lastKb - warmKb;
    const double allowedKb = 1024 * std::max(1.0, measured / 10);
    std::printf("summary: %.1f min, warm-up %.1f min, rss after warm-up %ld kB, at the end %ld kB, peak %ld kB, "
                "growth %ld kB (allowed %.0f kB), state callbacks %ld, connection losses %ld, failed calls %ld\n",
                minutes, warmup, warmKb, lastKb, peakKb, growthKb, allowedKb, stateCallbacks, losses, failed);
    return failed == 0 && losses == 0 && growthKb <= allowedKb ? 0 : 1;
}
