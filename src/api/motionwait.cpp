#include "api/motionwait.h"
#include "api/syncwait.h"
#include "transport/timings.h"
#include "Varlo.h"

namespace MotionWait {

int32_t run(int32_t *result, const std::function<StatusQuery()> &query)
{
    SyncWait wait(VarloTimings::ms(VarloTimings::MotionCheck), VarloTimings::ms(VarloTimings::MotionLimit), VARLO_MOTION_TIMEOUT, result);
    return wait.exec([&]() {
        const StatusQuery status = query();
        if (!status) {
            wait.finish(VARLO_REQUEST_FAILED);
            return;
        }
        bool value = false;
        bool isAlarms = false;
        status(value, isAlarms);

        // Three assignments in this order, the last that applies counts: a
        // reply with both flags is a finished motion, and a finishing reply
        // after the limit still ends the wait at the limit.
        bool decided = false;
        int32_t outcome = 0;
        if (isAlarms) {
            outcome = VARLO_ALARM;
            decided = true;
        }
        if (value) {
            outcome = VARLO_OK;
            decided = true;
        }
        if (wait.limitPassed()) {
            outcome = VARLO_MOTION_TIMEOUT;
            decided = true;
        }
        if (decided)
            wait.finish(outcome);
        else
            wait.rearm();
    });
}

} // namespace MotionWait
