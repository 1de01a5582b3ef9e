#include "robot/motionwait.h"
#include "robot/qrobot_p.h"
#include "robot/syncwait.h"
#include "transport/timings.h"
#include "Varlo.h"
#include "Varlo/qrobotsettings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QPointer>

namespace MotionWait {

QRobot::MotionResult run(QRobot *robot, StatusMember status, qint64 limitMs)
{
    // Looked up on every check: a component deleted while the host waits
    // ends the wait instead of being used.
    QPointer<QRobotSettings> component = robot->settings();
    QPointer<QRobot> facade = robot;
    const quint64 stopsBefore = QRobotPrivate::get(robot)->stopsSent;
    const qint64 limit = limitMs < 0 ? VarloTimings::ms(VarloTimings::MotionLimit) : limitMs;
    int32_t result = QRobot::MotionTimedOut;
    SyncWait wait(VarloTimings::ms(VarloTimings::MotionCheck), limit, QRobot::MotionTimedOut, &result);
    wait.setInterruptible(&QRobotPrivate::get(robot)->waits, QRobot::MotionInterrupted);
    const QMetaObject::Connection lost = QObject::connect(robot, &QRobot::connectionChanged, robot, [&wait](bool on) {
        if (!on)
            wait.finish(QRobot::MotionConnectionLost);
    });
    QElapsedTimer sinceAnswer;
    sinceAnswer.start();
    wait.exec([&]() {
        if (!component) {
            wait.finish(QRobot::MotionTimedOut);
            return;
        }
        bool value = false;
        bool isAlarms = false;
        if ((component.data()->*status)(value, isAlarms))
            sinceAnswer.start();

        // Three assignments in this order, the last that applies counts: a
        // reply with both flags is a finished motion, and a finishing reply
        // after the limit still ends the wait at the limit.
        bool decided = false;
        int32_t outcome = QRobot::MotionFinished;
        if (isAlarms) {
            // Ended short of its target after this facade stopped the arm:
            // stopped on purpose, which is no failure to report.
            const bool stoppedHere = facade && QRobotPrivate::get(facade)->stopsSent != stopsBefore;
            outcome = stoppedHere ? QRobot::MotionInterrupted : QRobot::MotionAlarm;
            decided = true;
        }
        if (value) {
            outcome = QRobot::MotionFinished;
            decided = true;
        }
        if (wait.limitPassed()) {
            // Nobody answered for a while: the motion's end is unknown
            // because the controller is, which is worth saying.
            const bool silent = sinceAnswer.elapsed() > VarloTimings::ms(VarloTimings::StateStale);
            outcome = silent ? QRobot::MotionConnectionLost : QRobot::MotionTimedOut;
            decided = true;
        }
        if (decided)
            wait.finish(outcome);
        else
            wait.rearm();
    });
    QObject::disconnect(lost);
    return QRobot::MotionResult(result);
}

int32_t codeForC(QRobot::MotionResult result)
{
    switch (result) {
    case QRobot::MotionFinished: return VARLO_OK;
    case QRobot::MotionAlarm: return VARLO_ALARM;
    default: return VARLO_MOTION_TIMEOUT;
    }
}

} // namespace MotionWait
