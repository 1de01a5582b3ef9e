// A host program for the panel's end-to-end test: drives VarloSim through
// the library, one command per run, and says what it does on standard output.
//   panelhost ADDRESS move J1 .. J6    enables the arm and makes a blocking
//                                      JointMovJ; the exit code is its result
//   panelhost ADDRESS slow J1 .. J6    the same at 5 % of the speed
//   panelhost ADDRESS input N          exit 0 once input N (1-64) is on, 3 if
//                                      it is not within 20 s
#include "Varlo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The library runs its state exchange only while it waits for something:
// a short request lets it.
void letTheLibraryRun()
{
    int32_t rate = 0;
    GetRapidRate(&rate);
}

template <typename Done>
bool waitFor(Done done, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        letTheLibraryRun();
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || ConnectVarlo(argv[1]) != VARLO_OK) {
        std::puts("usage: panelhost ADDRESS move|slow J1..J6 | input N (and a VarloSim there)");
        return 10;
    }
    std::puts("connected");
    std::fflush(stdout);
    if (std::strcmp(argv[2], "input") == 0) {
        const int channel = std::atoi(argv[3]) - 1;
        VarloIO inputs{};
        return waitFor([&] { return GetDI(&inputs) == VARLO_OK && channel >= 0 && channel < 64 && inputs.value[channel]; }, 20) ? 0 : 3;
    }
    float target[6] = {};
    for (int i = 0; i < 6 && i + 3 < argc; ++i)
        target[i] = static_cast<float>(std::atof(argv[i + 3]));
    SetRapidRate(std::strcmp(argv[2], "slow") == 0 ? 5 : 100);
    const int32_t enable = 1;
    SetControlMode(&enable);
    int32_t mode = 0;
    if (!waitFor([&] { return GetControlMode(&mode) == VARLO_OK && mode == 1; }, 5))
        return 11;
    std::puts("moving");
    std::fflush(stdout);
    const int32_t result = JointMovJ(target, true);
    std::printf("JointMovJ: %d\n", result);
    DisconnectVarlo();
    return result;
}
