/*
 * varlo_host: a C host of libVarlo. It connects, watches the live state
 * through the state callback, enables the arm, moves it, shows how a refused
 * motion is reported, switches an output and disconnects.
 *
 *   varlo_host [ADDRESS]     (default 127.0.0.1: VarloSim on this computer)
 *
 * It moves the arm: small joint and linear moves from where it stands. Exit
 * status 0 when every step worked.
 */
#define _POSIX_C_SOURCE 200809L /* clock_gettime */

#include "Varlo.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

/* What a result code means; code 1 and 2 differ for the motion functions. */
static const char *meaning(int32_t result, bool motion)
{
    switch (result) {
    case VARLO_OK: return "done";
    case 1: return motion ? "ended in an alarm or was refused" : "not connected";
    case 2: return motion ? "not answered, or no end within 20 s" : "the controller request failed";
    case VARLO_INVALID_ARGUMENT: return "invalid argument";
    default: return "unknown result";
    }
}

static int check(int32_t result, bool motion, const char *what)
{
    printf("%-40s -> %d (%s)\n", what, (int)result, meaning(result, motion));
    return result == VARLO_OK;
}

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The library exchanges the state and calls back only while one of its
 * functions runs: a host without an event loop asks for something cheap
 * until the time is up. */
static void let_time_pass(double seconds)
{
    const double end = now() + seconds;
    int32_t rate = 0;
    while (now() < end)
        GetRapidRate(&rate);
}

static void on_connection(bool isConnected, void *userData)
{
    (void)userData;
    printf("[connection %s]\n", isConnected ? "up" : "down");
}

/* The record is valid only during the call: copy what is needed. */
static void on_state(VarloExchangeRecord *record, void *userData)
{
    VarloExchangeRecord *latest = (VarloExchangeRecord *)userData;
    memcpy(latest, record, sizeof *latest);
}

static void print_state(const VarloExchangeRecord *state)
{
    int alarms = 0;
    for (int group = 0; group < 7; ++group)
        for (int word = 0; word < 64; ++word)
            alarms += state->alarms[group][word] != 0;
    printf("enabled %d, power %d, tool %d, user %d, alarm words set %d\n", state->isEnabled, state->isPower,
           (int)state->toolCoordinate, (int)state->userCoordinate, alarms);
    printf("joints %.2f %.2f %.2f %.2f %.2f %.2f\n", state->jointCoordinate[0], state->jointCoordinate[1],
           state->jointCoordinate[2], state->jointCoordinate[3], state->jointCoordinate[4],
           state->jointCoordinate[5]);
    printf("pose   x %.2f y %.2f z %.2f a %.2f b %.2f c %.2f\n", state->cartesianCoordinate[0],
           state->cartesianCoordinate[1], state->cartesianCoordinate[2], state->cartesianCoordinate[3],
           state->cartesianCoordinate[4], state->cartesianCoordinate[5]);
}

static int enable_arm(void)
{
    int32_t mode = 1;
    SetPowerMode(true);
    SetControlMode(&mode);
    for (double end = now() + 3.0; now() < end;) {
        let_time_pass(0.1);
        GetControlMode(&mode);
        if (mode == 1)
            return 1;
    }
    printf("the arm was not enabled within 3 s (alarms? emergency stop?)\n");
    return 0;
}

int main(int argc, char **argv)
{
    const char *address = argc > 1 ? argv[1] : "127.0.0.1";
    static VarloExchangeRecord latest; /* filled by the state callback */
    int ok = 1;

    ConnectStateCallback(&on_connection, NULL);
    if (ConnectVarlo(address) != VARLO_OK) {
        fprintf(stderr, "no controller answered at %s within 5 s\n", address);
        return 1;
    }
    ExchangeCallback(&on_state, &latest);
    let_time_pass(0.7);
    printf("-- the live state, as the state callback saw it\n");
    print_state(&latest);

    printf("-- enable and move\n");
    if (!enable_arm()) {
        DisconnectVarlo();
        return 1;
    }
    float start[6];
    GetJointCoordinate(start);
    float target[6];
    memcpy(target, start, sizeof target);
    target[0] += 15.0f;
    ok &= check(JointMovJ(target, true), true, "JointMovJ, joint 1 by +15 deg");
    const float up[3] = {0.0f, 0.0f, 20.0f};
    ok &= check(RelMovL(up, true), true, "RelMovL, 20 mm up");
    let_time_pass(0.4); /* one exchange, so the state shows the arrival */
    print_state(&latest);

    printf("-- a target out of reach is refused, not moved to\n");
    VarloRunCmd far;
    memset(&far, 0, sizeof far);
    far.x = 5000.0f;
    far.z = 400.0f;
    far.a = 180.0f;
    const int32_t refused = MovJ(&far, true);
    check(refused, true, "MovJ to x 5000 mm");
    ok &= refused == VARLO_ALARM;
    ok &= check(JointMovJ(start, true), true, "JointMovJ back to the start");

    printf("-- output 2 on\n");
    VarloIO outputs;
    memset(&outputs, 0, sizeof outputs);
    outputs.enable = true;
    outputs.value[1] = true; /* channel 2 */
    ok &= check(SetDO(&outputs), false, "SetDO");
    let_time_pass(0.8);
    VarloIO readBack;
    ok &= check(GetDO(&readBack), false, "GetDO") && readBack.value[1];
    printf("output 2 reads %d\n", readBack.value[1]);

    int32_t disable = 0;
    SetControlMode(&disable);
    let_time_pass(0.4);
    DisconnectVarlo();
    printf(ok ? "all steps done\n" : "some steps FAILED\n");
    return ok ? 0 : 1;
}
