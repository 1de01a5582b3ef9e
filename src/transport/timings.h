#ifndef VARLO_TIMINGS_H
#define VARLO_TIMINGS_H

// The library's fixed periods and time limits, in milliseconds, read from
// this one place by every component that waits, polls or gives up.
//
// The values are constants of the controller protocol; hosts cannot change
// them (nothing here is exported, nothing reads the environment). Test
// programs link the internals directly and may shorten an interval, so that
// the logic around a 20 s limit runs in a fraction of a second; one slow test
// per limit keeps the real value.
namespace VarloTimings {

enum Interval {
    DispatchTick,   // period of the transport's dispatch timer (50)
    RequestAbort,   // a request longer on the wire is aborted (1000)
    ControllerLoss, // failures this long after the last success mean "lost" (12000)
    ConnectionPoll, // connection supervision's poll while disconnected (200)
    ExchangeRearm,  // from the end of one state exchange to the next (300)
    ConnectCheck,   // ConnectVarlo looks at the connection this often (1000)
    ConnectLimit,   // ... and gives up after more than this (5000)
    MotionCheck,    // a blocking motion asks for its status this often (100)
    MotionLimit,    // ... and gives up after more than this (20000)
    ProbeStart,     // the simulator probe's process may take this long to start (30000)
    ProbeOutput,    // ... and this long to print its listing (30000)
    DebugSettle,    // script debugger: pause after a start, a breakpoint, a step command (200)
    DebugRunSettle, // ... after a run, a suspension, a confirmed step (500)
    DebugSuspendReply, // ... the interpreter's answer to a suspension (200)
    DebugReply,     // ... its answer to any other command (2000)
    DebugReplyPoll, // ... looks for that answer this often (50)
    DebugSuspendConfirm, // ... the controller confirms a suspension within this (3000)
    DebugStepConfirm,    // ... and a step within this (6000)
    DebugProcess,   // ... the interpreter may take this long to start or to end (30000)
    DebugServerQuit, // ... to stop the controller's script and end when its host goes (2000)
    StateStale,     // the mirrored state is stale after this long without an exchange reply (1000)
    StandstillCheck, // after a stop, the arm's joints are compared this often (100)
    StandstillLimit, // ... and it must stand within this (5000)
    StateConfirm,   // a change sent with the exchange (an output) must be reported within this (5000)
    IntervalCount
};

// The interval's value: the protocol's constant unless a test shortened it.
int ms(Interval interval);

// For test programs only: replaces one interval (a value <= 0 restores the
// constant), or restores them all.
void setForTesting(Interval interval, int ms);
void resetForTesting();

} // namespace VarloTimings

#endif // VARLO_TIMINGS_H
