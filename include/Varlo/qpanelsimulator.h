#ifndef QPANELSIMULATOR_H
#define QPANELSIMULATOR_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QPanelSimulatorPrivate;

// The controller's teach pendant as the library plays it: the auto/manual
// key, the three-position enabling switch, the emergency stop and the jog
// buttons. Each slot tells the controller about one panel element; the
// controller's reaction shows in the state exchange, not in the reply.
class VARLO_EXPORT QPanelSimulator : public QObject
{
    Q_OBJECT
public:
    QPanelSimulator(QHttpManager *transport, QObject *parent);
    ~QPanelSimulator() override;

    enum { JogButtons = 6, AuxJogButtons = 3 };

    // switchJogButtons() that says whether the controller answered.
    bool sendJogButtons(const bool *posBtnState, const bool *negBtnState);

Q_SIGNALS:
    void printQPanelSimulator(QString str);

public Q_SLOTS:
    void switchAutoManual(bool isAuto);
    void switchThreeSwitch(bool isPressed);
    void switchEmergencyStop(bool isStop);
    // Held buttons, one entry per axis: exactly 6 (3 for the auxiliary axes)
    // are read from each array. A null array counts as all released.
    void switchJogButtons(bool *posBtnState, bool *negBtnState);
    void switchAuxJogButtons(bool *posBtnState, bool *negBtnState);

private:
    Q_DECLARE_PRIVATE_D(d, QPanelSimulator)
    Q_DISABLE_COPY(QPanelSimulator)
    QScopedPointer<QPanelSimulatorPrivate> d;
};

#endif // QPANELSIMULATOR_H
