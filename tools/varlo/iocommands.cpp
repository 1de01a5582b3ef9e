// varlo io: digital and analog inputs and outputs.
#include "cli.h"

#include <Varlo/qrobotcollaborative.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>

#include <cmath>

namespace {

// How long the controller may take to report a switched channel.
const int ConfirmMs = 5000;

int show(Invocation &cli)
{
    const QRobotProtocol *p = cli.robot.protocol();
    QRobotCoor::GPIOAO outputs = {};
    const bool haveOutputs = cli.robot.collaborative()->getGPIOAO(outputs);
    const QRobotCoor::ExGPIOAI inputs = p->gpioAI();
    const QRobotCoor::ExEndAI endInputs = p->endAI();
    QString analogOut = QStringLiteral("not reported");
    if (haveOutputs)
        analogOut = QStringLiteral("1: %1 (mode %2)  2: %3 (mode %4)")
                        .arg(outputs.channel[0].value).arg(outputs.channel[0].mode)
                        .arg(outputs.channel[1].value).arg(outputs.channel[1].mode);
    cli.result(QStringLiteral("digital outputs  %1\ndigital inputs   %2\nanalog inputs    %3 (cabinet), %4 (tool end)\n"
                              "analog outputs   %5")
                   .arg(channelsText(channelsOn(p->DO())), channelsText(channelsOn(p->DI())),
                        formatNumbers(inputs.ai, 2), formatNumbers(endInputs.ai, 2), analogOut),
               QJsonObject{
                   { "outputs", jsonChannels(channelsOn(p->DO())) },
                   { "inputs", jsonChannels(channelsOn(p->DI())) },
                   { "analogInputs", jsonNumbers(inputs.ai, 2) },
                   { "endAnalogInputs", jsonNumbers(endInputs.ai, 2) },
                   { "analogOutputs", haveOutputs ? QJsonValue(QJsonArray{ outputs.channel[0].value, outputs.channel[1].value })
                                                  : QJsonValue() },
               });
    return ExitOk;
}

// Reads the controller's outputs, changes this one channel and says so only
// once the controller reports it (QRobot::setDigitalOutput()).
int setOutput(Invocation &cli, int channel, bool on)
{
    const QString state = QLatin1String(on ? "on" : "off");
    if (!cli.robot.setDigitalOutput(channel - 1, on, ConfirmMs)) {
        if (Invocation::interrupted())
            return cli.fail(Invocation::interruptedExit(), QStringLiteral("interrupted before the controller reported "
                                                                          "output %1 %2").arg(channel).arg(state));
        return cli.fail(ExitTimedOut, QStringLiteral("the controller at %1 did not report output %2 %3 within 5 s")
                                          .arg(cli.address).arg(channel).arg(state));
    }
    cli.result(QStringLiteral("output %1 %2").arg(channel).arg(state),
               QJsonObject{ { "outputs", jsonChannels(channelsOn(cli.robot.protocol()->DO())) } });
    return ExitOk;
}

// Inputs are the outside world's; a controller that simulates them (VarloSim,
// a commissioning setup) takes a value.
int setInput(Invocation &cli, int channel, bool on)
{
    if (!cli.robot.settings()->setDIValue(channel - 1, on ? 1 : 0))
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not take input %2").arg(cli.address).arg(channel));
    QRobotProtocol *p = cli.robot.protocol();
    if (!cli.waitUntil([&]() { return p->DI().value[channel - 1] == on; }, ConfirmMs))
        return cli.waitFailed(QStringLiteral("the controller did not report input %1 %2 within 5 s")
                                  .arg(channel).arg(QLatin1String(on ? "on" : "off")));
    cli.result(QStringLiteral("input %1 %2").arg(channel).arg(QLatin1String(on ? "on" : "off")),
               QJsonObject{ { "inputs", jsonChannels(channelsOn(p->DI())) } });
    return ExitOk;
}

int setAnalogOutput(Invocation &cli, int channel, int value)
{
    QRobotCollaborative *collaborative = cli.robot.collaborative();
    QRobotCoor::GPIOAO outputs = {};
    collaborative->getGPIOAO(outputs);
    outputs.channel[channel - 1].value = value;
    if (!collaborative->setGPIOAO(outputs))
        return cli.fail(ExitRequestFailed, QStringLiteral("the controller at %1 did not take analog output %2").arg(cli.address).arg(channel));
    cli.result(QStringLiteral("analog output %1 set to %2").arg(channel).arg(value),
               QJsonObject{ { "channel", channel }, { "value", value } });
    return ExitOk;
}

int io(Invocation &cli)
{
    const QString kind = cli.arguments.value(0);
    int channel = 0;
    bool on = false;
    int analog = 0;
    if (!kind.isEmpty()) {
        const bool digital = kind == QLatin1String("do") || kind == QLatin1String("di");
        if (!digital && kind != QLatin1String("ao"))
            return cli.fail(ExitBadArgument, QStringLiteral("the channel kind must be do, di or ao, not \"%1\"").arg(kind));
        if (cli.arguments.size() != 3)
            return cli.fail(ExitBadArgument, QStringLiteral("usage: varlo io %1").arg(QLatin1String(cli.spec.synopsis)));
        if (!cli.integer(cli.arguments.at(1), QStringLiteral("the channel"), &channel, 1, digital ? 64 : 2))
            return cli.failed();
        double value = 0;
        if (digital ? !cli.onOff(cli.arguments.at(2), QStringLiteral("the value"), &on)
                    : !cli.number(cli.arguments.at(2), QStringLiteral("the analog value"), &value, -1000000, 1000000))
            return cli.failed();
        // The controller keeps an analog output as a whole number of its
        // units: a fraction would be cut off unseen, so it is refused.
        if (!digital && value != std::floor(value))
            return cli.fail(ExitBadArgument, QStringLiteral("the analog value must be a whole number of the controller's "
                                                            "units (it stores no fractions), not %1")
                                                 .arg(cli.arguments.at(2)));
        analog = int(value);
    }
    if (!cli.connect())
        return cli.failed();
    if (kind.isEmpty()) {
        cli.freshState();
        return show(cli);
    }
    if (kind == QLatin1String("do"))
        return setOutput(cli, channel, on);
    if (kind == QLatin1String("di"))
        return setInput(cli, channel, on);
    return setAnalogOutput(cli, channel, analog);
}

} // namespace

QList<CommandSpec> ioCommands()
{
    return {
        { "io", "ADDRESS [do|di CHANNEL on|off] [ao CHANNEL VALUE]", "reads or sets digital and analog IO",
          "Without more words: the digital outputs and inputs that are on (1-64) and\n"
          "the analog inputs and outputs.\n"
          "  do CHANNEL on|off   switches a digital output and waits until the\n"
          "                      controller reports it (the others keep their state)\n"
          "  di CHANNEL on|off   sets a digital input, on controllers that simulate\n"
          "                      their inputs (VarloSim)\n"
          "  ao CHANNEL VALUE    sets analog output 1 or 2, its mode kept: VALUE in the\n"
          "                      controller's units for that mode, a whole number\n"
          "                      (\"5\", \"5.0\", \"-3\": the controller stores no fractions)\n"
          "Channels are numbered 1 to 64 (analog: 1 and 2), as on the controller.",
          1, 4, {}, {}, io },
    };
}
