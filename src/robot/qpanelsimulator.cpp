#include "Varlo/qpanelsimulator.h"
#include "transport/controllerio.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

class QPanelSimulatorPrivate
{
public:
    explicit QPanelSimulatorPrivate(QHttpManager *transport) : transport(transport) {}

    // One panel element changed: POST "/panel/<element>"; the reply says
    // nothing the library uses.
    bool send(const char *element, const QJsonObject &body)
    {
        return ControllerIO::post(transport, QStringLiteral("/panel/%1").arg(QLatin1String(element)), body);
    }

    bool sendButtons(const char *element, const bool *positive, const bool *negative, int count)
    {
        return send(element, QJsonObject{ { QStringLiteral("posBtns"), buttons(positive, count) },
                                   { QStringLiteral("negBtns"), buttons(negative, count) } });
    }

    static QJsonArray buttons(const bool *held, int count)
    {
        QJsonArray array;
        for (int i = 0; i < count; ++i)
            array.append(held ? held[i] : false);
        return array;
    }

    QHttpManager *transport;
};

QPanelSimulator::QPanelSimulator(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QPanelSimulatorPrivate(transport))
{
}

QPanelSimulator::~QPanelSimulator() = default;

void QPanelSimulator::switchAutoManual(bool isAuto)
{
    d->send("autoManual",
                   QJsonObject{ { QStringLiteral("value"), isAuto ? QStringLiteral("auto") : QStringLiteral("manual") } });
}

void QPanelSimulator::switchThreeSwitch(bool isPressed)
{
    d->send("threeSwitch", QJsonObject{ { QStringLiteral("value"), isPressed ? QStringLiteral("pressed")
                                                                                     : QStringLiteral("released") } });
}

void QPanelSimulator::switchEmergencyStop(bool isStop)
{
    d->send("emergencyStop", QJsonObject{ { QStringLiteral("value"), isStop } });
}

void QPanelSimulator::switchJogButtons(bool *posBtnState, bool *negBtnState)
{
    sendJogButtons(posBtnState, negBtnState);
}

bool QPanelSimulator::sendJogButtons(const bool *posBtnState, const bool *negBtnState)
{
    return d->sendButtons("jog", posBtnState, negBtnState, JogButtons);
}

void QPanelSimulator::switchAuxJogButtons(bool *posBtnState, bool *negBtnState)
{
    d->sendButtons("auxJog", posBtnState, negBtnState, AuxJogButtons);
}
