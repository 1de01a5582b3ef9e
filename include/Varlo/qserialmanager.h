#ifndef QSERIALMANAGER_H
#define QSERIALMANAGER_H

#include "Varlo/varloglobal.h"
#include <QtCore/QScopedPointer>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

class QSerialManagerPrivate;

// Reads the jog-button board on a serial port (115200 baud, 8N1) and turns
// its frames into the jog-button arrays of the panel simulator.
//
// The port is chosen when the component is created but stays closed: a host
// that has the board attached opens it with openBoard(). Grabbing a serial
// port on every connect would disturb whatever else uses it.
class VARLO_EXPORT QSerialManager : public QSerialPort
{
    Q_OBJECT
public:
    explicit QSerialManager(QObject *parent = nullptr);
    ~QSerialManager() override;

    // The port that the board is read from (see selectPortName()).
    QString boardPortName() const;
    QSerialPort *boardPort() const;

    // Opens the board's port for reading, by default the one chosen at
    // creation; frames are then decoded as they arrive. False, with the
    // port's error text in boardErrorString(), when it cannot be opened.
    bool openBoard(const QString &portName = QString());
    void closeBoard();
    bool isBoardOpen() const;
    QString boardErrorString() const;

    // Among the first ten names, the first that ends in "3"; otherwise the
    // last one examined; empty without ports.
    static QString selectPortName(const QStringList &names);

Q_SIGNALS:
    void sgnSwitchJogButtons(bool *posBtns, bool *negBtns);
    void printQSerialManager(QString str);

private Q_SLOTS:
    void recvPortData();

private:
    Q_DECLARE_PRIVATE_D(d, QSerialManager)
    Q_DISABLE_COPY(QSerialManager)
    QScopedPointer<QSerialManagerPrivate> d;
};

#endif // QSERIALMANAGER_H
