#ifndef MOTIONWAIT_H
#define MOTIONWAIT_H

#include "Varlo/qrobot.h"

#include <QtCore/QtGlobal>

#include <cstdint>

class QRobotSettings;

// The wait of a blocking motion until the controller reports its end: a
// status query at once and then every 100 ms; an alarm gives MotionAlarm, the
// end of the motion MotionFinished, and more than 20000 ms without either
// MotionTimedOut. A status query that fails counts as "not yet": the wait
// goes on, so that a lost reply is never taken for an arrival. The wait ends
// with MotionConnectionLost when the facade loses the controller, or when at
// its limit no status query has been answered for about a second; with
// MotionInterrupted when the facade's waits are interrupted, or when the
// motion ended short of its target after the facade's stopMotion(). The motion
// functions of Varlo.h and QRobot::waitForMotion() wait this way.
namespace MotionWait {

// One of the settings component's motion status queries (goState, ...).
using StatusMember = bool (QRobotSettings::*)(bool &value, bool &isAlarms);

// Runs the wait on `status` of the facade's settings component. A component
// deleted while the wait runs ends it with MotionTimedOut. `limitMs` < 0 is
// the library's 20000 ms.
QRobot::MotionResult run(QRobot *robot, StatusMember status, qint64 limitMs = -1);

// The result as the C functions code it: 0 arrived, 1 alarm, 2 anything else
// (no end in time, the connection lost).
int32_t codeForC(QRobot::MotionResult result);

} // namespace MotionWait

#endif // MOTIONWAIT_H
