// varlo enable, disable, drag, power, estop: control mode, power and the
// emergency stop.
#include "cli.h"

#include <Varlo/qrobotcollaborative.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

namespace {

// How long the controller may take to report a new mode.
const int ConfirmMs = 5000;

bool setPower(Invocation &cli, bool on)
{
    cli.robot.collaborative()->setPowerControl(on);
    return cli.waitUntil([&]() { return cli.robot.protocol()->isPower() == on; }, ConfirmMs);
}

// Switches the arm to `mode` and says so in the mode's one word ("enabled",
// "disabled", "drag"), in text and JSON alike, once the controller reports it.
int switchMode(Invocation &cli, QRobotType::ControlMode mode)
{
    const QString name = controlModeName(mode);
    if (!cli.connect())
        return cli.failed();
    QRobotProtocol *p = cli.robot.protocol();
    cli.freshState();
    // A pressed emergency stop keeps the arm disabled: no use waiting for it.
    if (mode != QRobotType::Disable && p->controlMode() != mode && emergencyStopPressed(cli.robot))
        return cli.fail(ExitAlarm, QStringLiteral("the arm could not be switched to %1: %2").arg(name, emergencyStopHint(cli)));
    if (mode != QRobotType::Disable && !p->isPower() && !setPower(cli, true))
        return cli.waitFailed(QStringLiteral("the controller at %1 did not power the arm on within 5 s").arg(cli.address));
    cli.robot.collaborative()->setControlMode(int(mode));
    if (!cli.waitUntil([&]() { return p->controlMode() == mode; }, ConfirmMs)) {
        const QString alarms = alarmsSummary(cli.robot);
        if (!Invocation::interrupted() && emergencyStopPressed(cli.robot))
            return cli.fail(ExitAlarm, QStringLiteral("the arm could not be switched to %1: %2").arg(name, emergencyStopHint(cli)));
        if (!alarms.isEmpty() && !Invocation::interrupted())
            return cli.fail(ExitAlarm, QStringLiteral("the arm could not be switched to %1: active alarms: %2 (varlo clear %3)")
                                           .arg(name, alarms, cli.address));
        return cli.waitFailed(QStringLiteral("the controller at %1 did not report the arm switched to %2 within 5 s (emergency stop?)")
                                  .arg(cli.address, name));
    }
    cli.result(QStringLiteral("arm %1").arg(name), QJsonObject{ { "controlMode", name } });
    return ExitOk;
}

int enable(Invocation &cli) { return switchMode(cli, QRobotType::Enable); }
int disable(Invocation &cli) { return switchMode(cli, QRobotType::Disable); }
int drag(Invocation &cli) { return switchMode(cli, QRobotType::Drag); }

int power(Invocation &cli)
{
    bool on = false;
    const bool change = !cli.arguments.isEmpty();
    if (change && !cli.onOff(cli.arguments.at(0), QStringLiteral("the power"), &on))
        return cli.failed();
    if (!cli.connect())
        return cli.failed();
    cli.freshState();
    if (change && !setPower(cli, on))
        return cli.waitFailed(QStringLiteral("the controller at %1 did not report the power %2 within 5 s")
                                  .arg(cli.address, QLatin1String(on ? "on" : "off")));
    const bool isOn = cli.robot.protocol()->isPower();
    cli.result(QStringLiteral("power %1").arg(QLatin1String(isOn ? "on" : "off")), QJsonObject{ { "power", isOn } });
    return ExitOk;
}

int estop(Invocation &cli)
{
    if (!cli.connect())
        return cli.failed();
    const bool release = cli.has(QStringLiteral("--release"));
    cli.robot.settings()->emergencyStop(!release);
    cli.freshState();
    cli.freshState();
    const QString alarms = alarmsSummary(cli.robot);
    cli.result(release ? QStringLiteral("emergency stop released%1").arg(alarms.isEmpty() ? QString() : QStringLiteral(" (alarms: %1; varlo clear)").arg(alarms))
                       : QStringLiteral("emergency stop pressed: the arm stopped (varlo estop %1 --release, varlo clear, varlo enable)").arg(cli.address),
               QJsonObject{ { "emergencyStop", !release } });
    return ExitOk;
}

} // namespace

QList<CommandSpec> safetyCommands()
{
    return {
        { "enable", "ADDRESS", "powers the arm on and enables it",
          "Powers the arm on when it is off, enables it and waits until the\n"
          "controller reports it enabled (control mode \"enabled\"). Active alarms\n"
          "keep it disabled (varlo alarms, varlo clear).",
          1, 1, {}, {}, enable },
        { "disable", "ADDRESS", "disables the arm",
          "Disables the arm (its brakes hold it) and waits until the controller\n"
          "reports it (control mode \"disabled\").",
          1, 1, {}, {}, disable },
        { "drag", "ADDRESS", "switches to drag mode (hand guiding)",
          "Switches the arm to drag mode, in which it can be guided by hand, and\n"
          "waits until the controller reports it (control mode \"drag\"). varlo\n"
          "enable ends it.",
          1, 1, {}, {}, drag },
        { "power", "ADDRESS [on|off]", "shows or switches the arm's power",
          "Shows whether the arm is powered, or switches its power and waits until\nthe controller reports it.",
          1, 2, {}, {}, power },
        { "estop", "ADDRESS [--release]", "presses (or releases) the emergency stop",
          "Presses the teach panel's emergency stop: the arm stops and an alarm is\n"
          "raised. --release releases it; then clear the alarm and enable the arm.",
          1, 1, {}, { "--release" }, estop },
    };
}
