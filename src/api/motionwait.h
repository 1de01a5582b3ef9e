#ifndef MOTIONWAIT_H
#define MOTIONWAIT_H

#include <QtCore/QtGlobal>

#include <cstdint>
#include <functional>

// The wait of a blocking motion export until the controller reports the end
// of the motion: a status query at once and then every 100 ms; an alarm gives
// 1, the end of the motion 0, and more than 20000 ms without either gives 2.
// A status query that fails counts as "not yet": the wait goes on, so that a
// lost reply is never taken for an arrival.
namespace MotionWait {

// A status query: fills `value` (finished) and `isAlarms`, true when the
// controller answered.
using StatusQuery = std::function<bool(bool &value, bool &isAlarms)>;

// Runs the wait; `result` is the export's library-wide result variable. The
// query is asked for afresh on each check and may be empty when the component
// is gone, which ends the wait with 2.
int32_t run(int32_t *result, const std::function<StatusQuery()> &query);

} // namespace MotionWait

#endif // MOTIONWAIT_H
