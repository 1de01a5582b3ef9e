#include "robot/motionwait.h"
#include "robot/syncwait.h"
#include "transport/timings.h"
#include "Varlo.h"
#include "Varlo/qrobotsettings.h"

#include <QtCore/QPointer>

namespace MotionWait {

int32_t run(QRobotSettings *settings, StatusMember status, int32_t *result, qint64 limitMs)
{
    // Looked up on every check: a component deleted while the host waits
    // ends the wait instead of being used.
    QPointer<QRobotSettings> component = settings;
    const qint64 limit = limitMs < 0 ? VarloTimings::ms(VarloTimings::MotionLimit) : limitMs;
    SyncWait wait(VarloTimings::ms(VarloTimings::MotionCheck), limit, VARLO_MOTION_TIMEOUT, result);
    return wait.exec([&]() {
        if (!component) {
            wait.finish(VARLO_REQUEST_FAILED);
            return;
        }
        bool value = false;
        bool isAlarms = false;
        (component.data()->*status)(value, isAlarms);

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
