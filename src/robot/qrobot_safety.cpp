// Stopping, jogging and switching outputs: what every host (the C functions,
// the command line, the Python package) does through the facade, so that the
// arm is stopped, jogged and switched one way everywhere.
#include "Varlo/qrobot.h"
#include "robot/qrobot_p.h"
#include "Varlo/qrobotdebugger.h"
#include "robot/syncwait.h"
#include "transport/timings.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qpanelsimulator.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"

#include <QtCore/QPointer>

#include <cmath>
#include <functional>

namespace {

// Joints (and auxiliary joints) within this of each other stand still.
const float StandstillTolerance = 0.01f;

// A request sent once more when it goes unanswered: a stop must not be lost
// to one dropped connection.
bool twice(const std::function<bool()> &send)
{
    return send() || send();
}

struct ArmPosition
{
    QRobotType::JointCoordinate joints;
    QRobotType::AuxJoint aux;
};

bool closeTo(const float *a, const float *b, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!(std::abs(a[i] - b[i]) <= StandstillTolerance))
            return false;
    }
    return true;
}

} // namespace

void QRobot::interruptWaits()
{
    d->waits.interrupt();
    if (d->debugger)
        d->debugger->interruptWaits();
}

bool QRobot::stopMotion()
{
    d->waits.clearPending();
    if (!d->settings || !d->panel)
        return false;
    // The joints the controller reported last: sent as the target, so that
    // a controller that ignored "value" would hold the arm where it is.
    const QRobotType::JointCoordinate here = d->protocol->jointCoordinate();
    QPointer<QRobot> guard(this);
    ++d->stopsSent;
    const bool stopped = twice([&] { return guard && d->settings->moveJ(here, false); });
    // The buttons are released whether or not the stop was answered.
    const bool released = guard && stopJog();
    // An interruption that came while stopping (the signal's own wake-up,
    // read only now) is answered by this stop too.
    if (guard)
        d->waits.clearPending();
    return stopped && released;
}

QRobot::MotionResult QRobot::waitForStandstill(int msecs)
{
    if (!d->protocol || !d->transport || !d->transport->isReportedConnected())
        return MotionConnectionLost;
    const qint64 limit = msecs < 0 ? VarloTimings::ms(VarloTimings::StandstillLimit) : msecs;
    int32_t result = MotionTimedOut;
    SyncWait wait(VarloTimings::ms(VarloTimings::StandstillCheck), limit, MotionTimedOut, &result);
    wait.setInterruptible(&d->waits, MotionInterrupted);
    QPointer<QRobotProtocol> protocol = d->protocol;
    bool sampled = false;
    bool answered = false;
    ArmPosition last {};
    wait.exec([&]() {
        if (protocol && protocol->exchangeNow()) {
            const ArmPosition now{ protocol->jointCoordinate(), protocol->auxJoint() };
            if (sampled && closeTo(now.joints.joint, last.joints.joint, 6) && closeTo(now.aux.joint, last.aux.joint, 3)) {
                wait.finish(MotionFinished);
                return;
            }
            last = now;
            sampled = true;
            answered = true;
        }
        if (wait.limitPassed())
            wait.finish(answered ? MotionTimedOut : MotionConnectionLost);
        else
            wait.rearm();
    });
    return MotionResult(result);
}

bool QRobot::isJogAxis(QRobotType::Coordinate coordinate, int axis) const
{
    if (axis < 0 || axis >= QPanelSimulator::JogButtons)
        return false;
    if (d->axisCount != 4)
        return d->axisCount == 6 || d->axisCount == 0;
    // A SCARA moves along X, Y, Z and turns about Z only.
    if (coordinate == QRobotType::Joint)
        return axis < 4;
    return axis != 3 && axis != 4;
}

bool QRobot::startJog(QRobotType::Coordinate coordinate, int axis, bool positive)
{
    if (!d->protocol || !d->panel || !isJogAxis(coordinate, axis))
        return false;
    QPointer<QRobot> guard(this);
    d->protocol->requestCoordinate(coordinate);
    if (!d->protocol->exchangeNow() || !guard || d->protocol->coordinate() != coordinate)
        return false;
    bool posBtnState[QPanelSimulator::JogButtons] = {};
    bool negBtnState[QPanelSimulator::JogButtons] = {};
    (positive ? posBtnState : negBtnState)[axis] = true;
    return d->panel->sendJogButtons(posBtnState, negBtnState);
}

bool QRobot::stopJog()
{
    if (!d->panel)
        return false;
    QPointer<QRobot> guard(this);
    bool released[QPanelSimulator::JogButtons] = {};
    return twice([&] { return guard && d->panel->sendJogButtons(released, released); });
}

bool QRobot::setDigitalOutput(int channel, bool on, int msecs)
{
    if (channel < 0 || channel >= 64 || !d->protocol)
        return false;
    QPointer<QRobotProtocol> protocol = d->protocol;
    // The controller's outputs as they are now, not as an older exchange saw them.
    if (!protocol->exchangeNow() || !protocol)
        return false;
    QRobotType::IO outputs = protocol->DO();
    outputs.enable = true;
    outputs.value[channel] = on;
    protocol->setDO(outputs);
    if (!protocol->exchangeNow()) {
        if (protocol) {
            // Not left pending: a later exchange would write outputs read
            // before, over whatever changed meanwhile.
            outputs.enable = false;
            protocol->setDO(outputs);
        }
        return false;
    }
    const qint64 limit = msecs < 0 ? VarloTimings::ms(VarloTimings::StateConfirm) : msecs;
    int32_t reported = 0;
    SyncWait wait(VarloTimings::ms(VarloTimings::StandstillCheck), limit, 0, &reported);
    wait.setInterruptible(&d->waits, 0);
    wait.exec([&]() {
        if (protocol && protocol->DO().value[channel] == on)
            wait.finish(1);
        else if (!protocol || wait.limitPassed())
            wait.finish(0);
        else if (protocol->exchangeNow() && protocol->DO().value[channel] == on)
            wait.finish(1);
        else
            wait.rearm();
    });
    return reported == 1;
}

bool QRobot::isStateStale() const
{
    return !d->protocol || d->protocol->isStale();
}
