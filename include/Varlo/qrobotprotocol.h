#ifndef QROBOTPROTOCOL_H
#define QROBOTPROTOCOL_H

#include "Varlo/varloglobal.h"
#include "Varlo/qrobotcoor.h"
#include "Varlo/qrobottype.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QRobotProtocolPrivate;

// The library's picture of the robot's live state. While running, it exchanges
// state with the controller about every 300 ms: it posts the values the library
// wants the controller to use, stores the state of the reply and announces
// what changed. The getters return the last values received.
class VARLO_EXPORT QRobotProtocol : public QObject
{
    Q_OBJECT
public:
    QRobotProtocol(QHttpManager *transport, QObject *parent);
    ~QRobotProtocol() override;

    // Received state.
    QRobotType::ControlMode controlMode() const;
    QRobotCoor::DragMode dragMode() const;
    QRobotType::Coordinate coordinate() const;
    QRobotType::JogMode jogMode() const;
    int toolCoordinate() const;
    int userCoordinate() const;
    QRobotType::AutoManual autoManual() const;
    QRobotType::JointCoordinate jointCoordinate() const;
    QRobotType::CartesianCoordinate cartesianCoordinate() const;
    QRobotType::AuxJoint auxJoint() const;
    QRobotType::Alarms alarms() const;
    QRobotType::IO DI() const;
    QRobotType::IO DO() const;
    QRobotType::ExtendIO extendDI() const;
    QRobotType::ExtendIO extendDO() const;
    QRobotType::ArmOrientation armOrientation() const;
    QRobotType::RDNCoordinate rdnCoordinate() const;
    bool isCollision() const;
    bool isSkinCollision() const;
    bool isPower() const;
    bool isDrag() const;
    bool isPlayback() const;
    QRobotCoor::ControllerParams controllerParams() const;
    QRobotCoor::JointCurrent jointCurrent() const;
    QRobotCoor::JointVoltage jointVoltage() const;
    QRobotCoor::JointTemp jointTemp() const;
    QRobotCoor::ExEndAI endAI() const;
    QRobotCoor::ExGPIOAI gpioAI() const;

    // Runs an exchange now instead of after the usual pause and waits for its
    // reply: true once a request built after this call was answered, so that
    // every value set before (a coordinate, outputs) has reached the
    // controller and the state read next is the controller's present one.
    // False when the exchange is not running (not connected) or its request
    // failed; it waits at most for a request already on the wire and its own
    // (each within the transport's 1000 ms time-out).
    bool exchangeNow();

    // True while the mirrored state is old: no exchange reply came for about
    // a second (also before the first reply and once the exchange stopped).
    // staleChanged() announces every change.
    bool isStale() const;

    // The last request body and the last reply, as indented JSON text.
    QString exchangeRequest() const;
    QString exchangeReply() const;

    // Values that every following exchange request carries.
    void requestControlMode(QRobotType::ControlMode controlMode);
    void requestCoordinate(QRobotType::Coordinate coordinate);
    void requestJogMode(QRobotType::JogMode jogMode);
    void requestToolCoordinate(int toolCoordinate);
    void requestUserCoordinate(int userCoordinate);

    // One-shot requests: carried by following exchanges until one of them has
    // succeeded.
    void clearAlarms();
    void setDO(const QRobotType::IO &io);

public Q_SLOTS:
    void startExchange();
    void stopExchange();

Q_SIGNALS:
    void controlModeChanged(QRobotType::ControlMode controlMode);
    void dragModeChanged(QRobotCoor::DragMode dragMode);
    void coordinateChanged(QRobotType::Coordinate coordinate);
    void jogModeChanged(QRobotType::JogMode jogMode);
    void toolCoordinateChanged(int toolCoordinate);
    void userCoordinateChanged(int userCoordinate);
    void autoManualChanged(QRobotType::AutoManual autoManual);
    void jointCoordinateChanged(QRobotType::JointCoordinate jointCoordinate);
    void cartesianCoordinateChanged(QRobotType::CartesianCoordinate cartesianCoordinate);
    void isSkinCollisionChanged(bool isSkinCollision);
    void isCollisionChanged(bool isCollision);
    void isPowerChanged(bool isPower);
    void isDragChanged(bool isDrag);
    void isPlaybackChanged(bool isPlayback);
    void auxJointChanged(QRobotType::AuxJoint auxJoint);
    void controllerParamsChanged(QRobotCoor::ControllerParams controllerParams);
    void jointCurrentChanged(QRobotCoor::JointCurrent jointCurrent);
    void jointVoltageChanged(QRobotCoor::JointVoltage jointVoltage);
    void jointTempChanged(QRobotCoor::JointTemp jointTemp);
    void endAIChanged(QRobotCoor::ExEndAI endAI);
    void gpioAIChanged(QRobotCoor::ExGPIOAI gpioAI);
    void alarmsChanged(QRobotType::Alarms alarms);
    void DOChanged(QRobotType::IO io);
    void DIChanged(QRobotType::IO io);
    void extendDOChanged(QRobotType::ExtendIO io);
    void extendDIChanged(QRobotType::ExtendIO io);
    void wDebugDataChanged(QByteArray wData);
    void rDebugDataChanged(QByteArray rData);
    void exChangeClock();
    void armOrientationChanged(QRobotType::ArmOrientation armOrientation);
    void rdnCoordinateChanged(QRobotType::RDNCoordinate rdnCoordinate);
    void printQRobotProtocol(QString str);
    void staleChanged(bool isStale);

private:
    Q_DECLARE_PRIVATE_D(d, QRobotProtocol)
    Q_DISABLE_COPY(QRobotProtocol)
    QScopedPointer<QRobotProtocolPrivate> d;
};

#endif // QROBOTPROTOCOL_H
