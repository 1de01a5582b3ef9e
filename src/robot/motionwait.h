#ifndef MOTIONWAIT_H
#define MOTIONWAIT_H

#include <QtCore/QtGlobal>

#include <cstdint>

class QRobotSettings;

// The wait of a blocking motion until the controller reports its end: a
// status query at once and then every 100 ms; an alarm gives 1, the end of
// the motion 0, and more than 20000 ms without either gives 2. A status query
// that fails counts as "not yet": the wait goes on, so that a lost reply is
// never taken for an arrival. The motion functions of Varlo.h and
// QRobot::waitForMotion() wait this way.
namespace MotionWait {

// One of the settings component's motion status queries (goState, ...).
using StatusMember = bool (QRobotSettings::*)(bool &value, bool &isAlarms);

// Runs the wait on `status` of `settings`; `result` receives the outcome
// (for the exports, their library-wide result variable). A settings component
// deleted while the wait runs ends it with 2. `limitMs` < 0 is the library's
// 20000 ms.
int32_t run(QRobotSettings *settings, StatusMember status, int32_t *result, qint64 limitMs = -1);

} // namespace MotionWait

#endif // MOTIONWAIT_H
