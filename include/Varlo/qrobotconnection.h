#ifndef QROBOTCONNECTION_H
#define QROBOTCONNECTION_H

#include "Varlo/varloglobal.h"
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QRobotConnectionPrivate;

// Finds out that a controller is there: while the library is not connected it
// polls the controller every 200 ms, fetching its version and, once per
// connection, its axis count. Whether the library counts as connected is the
// transport's verdict; the facade stops this poll when it reports true.
class VARLO_EXPORT QRobotConnection : public QObject
{
    Q_OBJECT
public:

    QRobotConnection(QHttpManager *transport, QObject *parent);
    ~QRobotConnection() override;

    void startSupervision();
    void stopSupervision();
    bool isSupervising() const;
    void setHost(const QString &host);
    QString host() const;

    // The axis count read by the last poll that found one; 0 before.
    int lastAxisCount() const;

Q_SIGNALS:
    void occupiedChanged(bool isOccupied);
    void axisCount(int count);
    void printQRobotConnection(QString str);
    void signalTimer();

private:
    Q_DECLARE_PRIVATE_D(d, QRobotConnection)
    Q_DISABLE_COPY(QRobotConnection)
    QScopedPointer<QRobotConnectionPrivate> d;
};

#endif // QROBOTCONNECTION_H
