/*
 * varlo_steps: a C host of libVarlo that runs the steps named on its command
 * line, one after the other, and stops the arm when it is interrupted.
 *
 *   varlo_steps ADDRESS STEP...
 *
 *   enable                          powers the arm on and enables it
 *   do CHANNEL on|off               switches one output (1-64), the others kept
 *   jog joint|cartesian AXIS +|- S  holds a jog button (axis 0-5) for S seconds
 *   jointmovj J1 J2 J3 J4 J5 J6     moves the joints and waits for the arrival
 *
 * A C host has no function to interrupt a wait of the library, so this one
 * never blocks in one for long: it moves with isBlock false and waits itself,
 * letting the library run with a cheap call. Ctrl-C (SIGINT) or SIGTERM
 * stops the arm with what C offers: during a jog, TeachStop releases the
 * button (the arm stands, still enabled); during a move, EmergencyStop (the
 * only stop of the C functions: the arm stands, disabled, with the emergency
 * stop pressed, to be released, cleared and enabled again).
 *
 * Exit status: 0 when every step was done; the library's code (1 refused or
 * no connection, 2 no answer or no arrival, 3 a wrong step) of the step that
 * failed; 130 after Ctrl-C, 143 after SIGTERM.
 */
#define _POSIX_C_SOURCE 200809L /* sigaction, clock_gettime */

#include "Varlo.h"

#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static volatile sig_atomic_t s_signal = 0;
static volatile double s_lastState = 0; /* when the state callback last ran */

static void on_signal(int number)
{
    if (!s_signal)
        s_signal = number;
}

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void on_state(VarloExchangeRecord *record, void *userData)
{
    (void)record;
    (void)userData;
    s_lastState = now();
}

/* The library runs only inside its functions: a cheap call lets it work. */
static void let_time_pass(double seconds)
{
    const double end = now() + seconds;
    int32_t rate = 0;
    do
        GetRapidRate(&rate);
    while (now() < end && !s_signal);
}

static int interrupted_exit(void)
{
    return s_signal == SIGTERM ? 143 : 130;
}

static int fail(int code, const char *message)
{
    fprintf(stderr, "varlo_steps: %s\n", message);
    return code;
}

static int enable(void)
{
    int32_t mode = 1;
    SetPowerMode(true);
    SetControlMode(&mode);
    for (const double end = now() + 5.0; now() < end && !s_signal;) {
        let_time_pass(0.1);
        GetControlMode(&mode);
        if (mode == 1)
            return 0;
    }
    return s_signal ? interrupted_exit() : fail(1, "the arm was not enabled within 5 s (alarms? emergency stop?)");
}

/* The outputs as the controller reports them, one channel changed, and done
 * only once the controller reports that channel so. */
static int switch_output(int channel, bool on)
{
    VarloIO outputs;
    GetDO(&outputs);
    outputs.enable = true;
    outputs.value[channel - 1] = on;
    SetDO(&outputs);
    for (const double end = now() + 5.0; now() < end && !s_signal;) {
        let_time_pass(0.1);
        GetDO(&outputs);
        if (outputs.value[channel - 1] == on)
            return 0;
    }
    return s_signal ? interrupted_exit() : fail(2, "the controller did not report the output within 5 s");
}

static int enabled(void)
{
    int32_t mode = 0;
    GetControlMode(&mode);
    return mode == 1;
}

static int jog(bool cartesian, int axis, bool positive, double seconds)
{
    if (!enabled())
        return fail(1, "the arm is not enabled: nothing was sent");
    const int32_t started = cartesian ? CoorTeachStart(axis, positive) : JointTeachStart(axis, positive);
    if (started != VARLO_OK)
        return fail(started, started == VARLO_INVALID_ARGUMENT ? "the arm has no such jog axis: nothing was sent"
                                                               : "the controller did not take the jog");
    let_time_pass(seconds);
    const int32_t stopped = TeachStop();
    if (s_signal) {
        fprintf(stderr, "varlo_steps: interrupted: the jog button was released; the arm stands, still enabled\n");
        return interrupted_exit();
    }
    return stopped == VARLO_OK ? 0 : fail(2, "the release of the jog button was not answered: press the emergency stop");
}

static int at(const float *joints, const float *target)
{
    for (int i = 0; i < 6; ++i) {
        if (fabsf(joints[i] - target[i]) > 0.01f)
            return 0;
    }
    return 1;
}

/* Moves with isBlock false and waits itself: for the arrival, a signal, or a
 * controller that stopped answering (no state for 2 s). */
static int joint_move(const float *target)
{
    if (!enabled())
        return fail(1, "the arm is not enabled: nothing was sent");
    const int32_t sent = JointMovJ(target, false);
    if (sent != VARLO_OK)
        return fail(sent, "the controller did not answer the motion command");
    s_lastState = now();
    for (const double end = now() + 20.0; now() < end;) {
        let_time_pass(0.05);
        if (s_signal) {
            EmergencyStop();
            fprintf(stderr, "varlo_steps: interrupted: the arm was stopped with the emergency stop (C offers no other "
                            "stop during a move). Release it, clear the alarm and enable the arm to go on.\n");
            return interrupted_exit();
        }
        if (now() - s_lastState > 2.0)
            return fail(2, "the controller stopped answering during the move: the arm may still be moving");
        float joints[6];
        GetJointCoordinate(joints);
        if (at(joints, target))
            return 0;
    }
    return fail(2, "the arm did not arrive within 20 s");
}

/* Runs the step at words[0]; *used gets the number of words it took. */
static int step(char **words, int count, int *used)
{
    const char *name = words[0];
    if (strcmp(name, "enable") == 0) {
        *used = 1;
        return enable();
    }
    if (strcmp(name, "do") == 0 && count >= 3) {
        *used = 3;
        const int channel = atoi(words[1]);
        if (channel < 1 || channel > 64)
            return fail(3, "the channel must be 1 to 64");
        return switch_output(channel, strcmp(words[2], "on") == 0);
    }
    if (strcmp(name, "jog") == 0 && count >= 5) {
        *used = 5;
        return jog(strcmp(words[1], "cartesian") == 0, atoi(words[2]), strcmp(words[3], "+") == 0, atof(words[4]));
    }
    if (strcmp(name, "jointmovj") == 0 && count >= 7) {
        *used = 7;
        float target[6];
        for (int i = 0; i < 6; ++i)
            target[i] = (float)atof(words[1 + i]);
        return joint_move(target);
    }
    *used = count;
    return fail(3, "unknown step or too few words (see the comment at the top of varlo_steps.c)");
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return fail(3, "usage: varlo_steps ADDRESS STEP...");
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, NULL);
    sigaction(SIGTERM, &action, NULL);

    if (ConnectVarlo(argv[1]) != VARLO_OK)
        return fail(1, "no controller answered within 5 s");
    ExchangeCallback(&on_state, NULL);
    /* The mirrored state (control mode, outputs) is the controller's only
     * after the first state exchange. */
    for (const double end = now() + 3.0; s_lastState == 0 && now() < end && !s_signal;)
        let_time_pass(0.05);
    int result = 0;
    for (int i = 2; i < argc && result == 0;) {
        int used = 1;
        result = step(argv + i, argc - i, &used);
        i += used;
    }
    DisconnectVarlo();
    return result;
}
