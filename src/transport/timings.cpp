#include "transport/timings.h"

namespace VarloTimings {

namespace {

constexpr int Constants[] = {
    50,    // DispatchTick
    1000,  // RequestAbort
    12000, // ControllerLoss
    200,   // ConnectionPoll
    300,   // ExchangeRearm
    1000,  // ConnectCheck
    5000,  // ConnectLimit
    100,   // MotionCheck
    20000, // MotionLimit
    30000, // ProbeStart
    30000, // ProbeOutput
    200,   // DebugSettle
    500,   // DebugRunSettle
    200,   // DebugSuspendReply
    2000,  // DebugReply
    50,    // DebugReplyPoll
    3000,  // DebugSuspendConfirm
    6000,  // DebugStepConfirm
    30000, // DebugProcess
    2000,  // DebugServerQuit
    1000,  // StateStale
    100,   // StandstillCheck
    5000,  // StandstillLimit
    5000,  // StateConfirm
};
static_assert(sizeof(Constants) / sizeof(Constants[0]) == IntervalCount, "one constant per interval");

// Zero where an interval keeps its constant. Written only by test programs,
// from the one thread that runs the library.
int s_override[IntervalCount] = {};

bool valid(Interval interval) { return interval >= 0 && interval < IntervalCount; }

} // namespace

int ms(Interval interval)
{
    if (!valid(interval))
        return 0;
    return s_override[interval] > 0 ? s_override[interval] : Constants[interval];
}

void setForTesting(Interval interval, int value)
{
    if (valid(interval))
        s_override[interval] = value > 0 ? value : 0;
}

void resetForTesting()
{
    for (int &value : s_override)
        value = 0;
}

} // namespace VarloTimings
