// varlo-demo: a host program that drives a robot through the library, as a
// customer's program would, using nothing but Varlo.h. It connects, shows the
// live state, enables the arm, sets the speed, moves through a few points,
// jogs an axis, sets and reads back outputs, clears the alarms and disconnects.
//
//   varlo-demo 127.0.0.1        (VarloSim on this computer)
//   varlo-demo 192.168.1.6      (a controller on the network)
//
// The moves are small offsets from where the arm stands, so the demo suits a
// six-axis arm and a SCARA alike. Exit status 0 when every step worked.
#include "Varlo.h"

#include <chrono>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int s_failures = 0;
int s_stateUpdates = 0;

void step(const char *text)
{
    std::printf("\n== %s\n", text);
    std::fflush(stdout);
}

void note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::printf("   ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);
}

bool check(bool ok, const char *what)
{
    if (!ok) {
        ++s_failures;
        std::printf("   FAILED: %s\n", what);
        std::fflush(stdout);
    }
    return ok;
}

// What the result of a blocking motion function means.
const char *motionResultText(int32_t result)
{
    switch (result) {
    case VARLO_OK: return "done";
    case VARLO_ALARM: return "refused or ended in an alarm";
    case VARLO_MOTION_TIMEOUT: return "the request failed or the motion did not end within 20 s";
    case VARLO_INVALID_ARGUMENT: return "invalid argument";
    default: return "unknown result";
    }
}

// The library runs its state exchange only while one of its functions waits.
// A host without an event loop of its own lets time pass by asking for
// something cheap until the time is up, so the live state keeps flowing.
void letTimePass(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        int32_t rate = 0;
        GetRapidRate(&rate);
    }
}

std::string joints(const float *q)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "J1 %7.2f  J2 %7.2f  J3 %7.2f  J4 %7.2f  J5 %7.2f  J6 %7.2f  (deg; mm for a linear axis)",
                  double(q[0]), double(q[1]), double(q[2]), double(q[3]), double(q[4]), double(q[5]));
    return text;
}

std::string pose(const float *p)
{
    char text[160];
    std::snprintf(text, sizeof text, "x %8.2f  y %8.2f  z %8.2f (mm)  a %7.2f  b %7.2f  c %7.2f (deg)",
                  double(p[0]), double(p[1]), double(p[2]), double(p[3]), double(p[4]), double(p[5]));
    return text;
}

void printPosition()
{
    float q[6] = {0, 0, 0, 0, 0, 0};
    float p[6] = {0, 0, 0, 0, 0, 0};
    GetJointCoordinate(q);
    GetCartesianCoordinate(p);
    note("joints    %s", joints(q).c_str());
    note("tool tip  %s", pose(p).c_str());
}

int activeAlarms(const VarloExchangeRecord &record)
{
    int count = 0;
    for (int group = 0; group < 7; ++group) {
        for (int word = 0; word < 64; ++word) {
            for (uint32_t bits = uint32_t(record.alarms[group][word]); bits; bits &= bits - 1)
                ++count;
        }
    }
    return count;
}

std::string ioList(const VarloIO &io)
{
    std::string on;
    for (int i = 0; i < 64; ++i) {
        if (io.value[i])
            on += (on.empty() ? "" : " ") + std::to_string(i + 1);
    }
    return on.empty() ? std::string("none") : on;
}

void printState()
{
    VarloExchangeRecord record;
    std::memset(&record, 0, sizeof record);
    GetExchange(&record);
    int32_t mode = 0;
    GetControlMode(&mode);
    static const char *const modes[] = {"disabled", "enabled", "drag (hand-guided)"};
    note("control mode %s, power %s, %s, %s, collision %s",
         mode >= 0 && mode <= 2 ? modes[mode] : "unknown", record.isPower ? "on" : "off",
         record.isAuto ? "auto" : "manual", record.isJog ? "continuous jog" : "step jog",
         record.isCollision ? "DETECTED" : "none");
    note("tool frame %d, user frame %d, active alarms %d", int(record.toolCoordinate),
         int(record.userCoordinate), activeAlarms(record));
    note("outputs on: %s; inputs on: %s", ioList(record.DO).c_str(), ioList(record.DI).c_str());
    printPosition();
}

void onConnection(bool isConnected, void *)
{
    std::printf("   [connection %s]\n", isConnected ? "up" : "down");
    std::fflush(stdout);
}

void onState(VarloExchangeRecord *, void *)
{
    ++s_stateUpdates;
}

// Waits (letting the state flow) until the controller reports the mode.
bool waitForControlMode(int32_t wanted, int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int32_t mode = -1;
    while (std::chrono::steady_clock::now() < end) {
        letTimePass(100);
        GetControlMode(&mode);
        if (mode == wanted)
            return true;
    }
    return false;
}

float distance(const float *a, const float *b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// A blocking motion, reported with its result and the position it ended in.
bool reportMotion(const char *what, int32_t result)
{
    note("%s -> %d (%s)", what, int(result), motionResultText(result));
    // The position comes from the state exchange; give it one cycle.
    letTimePass(400);
    printPosition();
    return check(result == VARLO_OK, what);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
        std::fprintf(stderr,
                     "usage: %s [ADDRESS]\n"
                     "  drives the robot controller at ADDRESS (default 127.0.0.1, VarloSim) through a short demo\n",
                     argv[0]);
        return 2;
    }
    const char *address = argc == 2 ? argv[1] : "127.0.0.1";

    step("connect");
    ConnectStateCallback(&onConnection, nullptr);
    note("ConnectVarlo(\"%s\") ...", address);
    const int32_t connected = ConnectVarlo(address);
    note("ConnectVarlo -> %d (%s)", int(connected), connected == VARLO_OK ? "connected" : "no connection");
    if (connected != VARLO_OK) {
        std::printf("\nThe controller at %s did not answer. Is it (or VarloSim) running?\n", address);
        return 1;
    }
    ExchangeCallback(&onState, nullptr);

    VarloVersionRecord version;
    std::memset(&version, 0, sizeof version);
    GetVarloVersion(&version);
    note("library %.24s, controller %.24s, algorithms %.24s, system %.24s", version.library, version.control,
         version.algs, version.system);

    step("live state");
    letTimePass(700);
    printState();

    step("clear alarms, power on and enable the arm");
    ClearAlarms();
    letTimePass(400);
    SetPowerMode(true);
    int32_t enable = 1;
    SetControlMode(&enable);
    check(waitForControlMode(1, 3000), "the arm reports enabled");
    printState();

    step("set the speed");
    SetRapidRate(60);
    int32_t rate = 0;
    GetRapidRate(&rate);
    note("SetRapidRate(60); GetRapidRate -> %d %%", int(rate));
    check(rate == 60, "speed ratio reads back as 60");

    float start[6] = {0, 0, 0, 0, 0, 0};
    float startPose[6] = {0, 0, 0, 0, 0, 0};
    GetJointCoordinate(start);
    GetCartesianCoordinate(startPose);

    step("move: joint motion (JointMovJ)");
    float target[6];
    std::memcpy(target, start, sizeof target);
    target[0] += 20.0f;
    target[1] -= 20.0f;
    target[2] -= 10.0f;
    target[3] += 30.0f;
    note("to %s", joints(target).c_str());
    reportMotion("JointMovJ", JointMovJ(target, true));
    float reached[6] = {0, 0, 0, 0, 0, 0};
    GetJointCoordinate(reached);
    float worst = 0.0f;
    for (int i = 0; i < 6; ++i)
        worst = std::fmax(worst, std::fabs(reached[i] - target[i]));
    check(worst < 0.5f, "the joints reached the target");

    step("move: point to point to a Cartesian target (MovJ)");
    float here[6] = {0, 0, 0, 0, 0, 0};
    GetCartesianCoordinate(here);
    VarloType::RunCmd point;
    std::memset(&point, 0, sizeof point);
    point.x = here[0] + 40.0f;
    point.y = here[1] - 30.0f;
    point.z = here[2] - 40.0f;
    point.a = here[3];
    point.b = here[4];
    point.c = here[5];
    point.armOrientation = 1;
    float wanted[6] = {point.x, point.y, point.z, point.a, point.b, point.c};
    note("to %s", pose(wanted).c_str());
    reportMotion("MovJ", MovJ(&point, true));
    GetCartesianCoordinate(here);
    check(distance(here, wanted) < 1.0f, "the tool tip reached the Cartesian target");

    step("move: straight line (MovL)");
    point.y += 80.0f;
    wanted[1] = point.y;
    note("to %s", pose(wanted).c_str());
    reportMotion("MovL", MovL(&point, true));
    GetCartesianCoordinate(here);
    check(distance(here, wanted) < 1.0f, "the tool tip reached the end of the line");

    step("move: straight line by an offset (RelMovL, 30 mm up)");
    float offset[3] = {0.0f, 0.0f, 30.0f};
    reportMotion("RelMovL", RelMovL(offset, true));
    GetCartesianCoordinate(here);
    wanted[2] += 30.0f;
    check(distance(here, wanted) < 1.0f, "the tool tip rose by 30 mm");

    step("a point out of reach is refused (MovJ)");
    VarloType::RunCmd far = point;
    far.x = 5000.0f;
    const int32_t refused = MovJ(&far, true);
    note("MovJ to x 5000 mm -> %d (%s); the arm stays where it was", int(refused), motionResultText(refused));
    check(refused == VARLO_ALARM, "the unreachable point is reported as a motion that ended in an alarm");

    step("jog joint 1 in the positive direction for one second");
    float before[6] = {0, 0, 0, 0, 0, 0};
    GetJointCoordinate(before);
    JointTeachStart(0, true);
    letTimePass(1000);
    TeachStop();
    letTimePass(500);
    float after[6] = {0, 0, 0, 0, 0, 0};
    GetJointCoordinate(after);
    note("joint 1 went from %.2f to %.2f deg", double(before[0]), double(after[0]));
    check(after[0] > before[0] + 0.5f, "joint 1 moved in the positive direction");
    printPosition();

    step("back to the start (JointMovJ)");
    note("to %s", joints(start).c_str());
    reportMotion("JointMovJ", JointMovJ(start, true));

    step("digital outputs");
    VarloIO outputs;
    std::memset(&outputs, 0, sizeof outputs);
    outputs.enable = true;
    outputs.value[0] = true;   // output 1
    outputs.value[3] = true;   // output 4
    outputs.value[15] = true;  // output 16
    SetDO(&outputs);
    note("SetDO: outputs 1, 4 and 16 on");
    letTimePass(1000);
    VarloIO readBack;
    std::memset(&readBack, 0, sizeof readBack);
    GetDO(&readBack);
    note("GetDO: outputs on: %s", ioList(readBack).c_str());
    check(ioList(readBack) == "1 4 16", "the outputs read back as set");
    std::memset(&outputs, 0, sizeof outputs);
    outputs.enable = true;
    SetDO(&outputs);
    letTimePass(1000);
    GetDO(&readBack);
    note("all outputs off again: outputs on: %s", ioList(readBack).c_str());
    check(ioList(readBack) == "none", "the outputs read back as off");

    step("clear alarms");
    ClearAlarms();
    letTimePass(700);
    VarloExchangeRecord record;
    std::memset(&record, 0, sizeof record);
    GetExchange(&record);
    note("ClearAlarms; active alarms now %d", activeAlarms(record));
    check(activeAlarms(record) == 0, "no alarm is active");

    step("disable the arm and disconnect");
    int32_t disable = 0;
    SetControlMode(&disable);
    check(waitForControlMode(0, 3000), "the arm reports disabled");
    printState();
    note("state updates received through ExchangeCallback: %d", s_stateUpdates);
    check(s_stateUpdates > 0, "the state callback ran");
    DisconnectVarlo();

    if (s_failures) {
        std::printf("\n%d step(s) FAILED\n", s_failures);
        return 1;
    }
    std::printf("\nAll steps done.\n");
    return 0;
}
