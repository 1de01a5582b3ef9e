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
    // Exchanges through `transport` once started; built by QRobot::initialize().
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
    // Starts the exchange: every 300 ms or so, one request and its reply.
    void startExchange();
    // Stops the exchange; the last state stays readable.
    void stopExchange();

Q_SIGNALS:
    // The arm became disabled, enabled or drag-enabled.
    void controlModeChanged(QRobotType::ControlMode controlMode);
    // The drag (hand-guiding) mode changed.
    void dragModeChanged(QRobotCoor::DragMode dragMode);
    // The jog frame changed (joint, base, tool, user).
    void coordinateChanged(QRobotType::Coordinate coordinate);
    // The jog mode changed (continuous or step).
    void jogModeChanged(QRobotType::JogMode jogMode);
    // The active tool frame (0-9) changed.
    void toolCoordinateChanged(int toolCoordinate);
    // The active user frame (0-9) changed.
    void userCoordinateChanged(int userCoordinate);
    // The controller switched between automatic and manual mode.
    void autoManualChanged(QRobotType::AutoManual autoManual);
    // The joint positions (degrees; mm for a linear axis), at every state exchange.
    void jointCoordinateChanged(QRobotType::JointCoordinate jointCoordinate);
    // The tool's pose x y z (mm) a b c (degrees), at every state exchange.
    void cartesianCoordinateChanged(QRobotType::CartesianCoordinate cartesianCoordinate);
    // The skin sensor detected a contact (true) or it cleared.
    void isSkinCollisionChanged(bool isSkinCollision);
    // A collision was detected (true) or cleared.
    void isCollisionChanged(bool isCollision);
    // The arm's power went on (true) or off.
    void isPowerChanged(bool isPower);
    // Hand guiding (drag) was switched on (true) or off.
    void isDragChanged(bool isDrag);
    // Replay of a dragged trajectory started (true) or ended.
    void isPlaybackChanged(bool isPlayback);
    // The auxiliary axes' positions, at every state exchange.
    void auxJointChanged(QRobotType::AuxJoint auxJoint);
    // The controller's parameters of the state exchange, at every exchange.
    void controllerParamsChanged(QRobotCoor::ControllerParams controllerParams);
    // The drives' currents, at every state exchange.
    void jointCurrentChanged(QRobotCoor::JointCurrent jointCurrent);
    // The drives' voltages, at every state exchange.
    void jointVoltageChanged(QRobotCoor::JointVoltage jointVoltage);
    // The drives' temperatures, at every state exchange.
    void jointTempChanged(QRobotCoor::JointTemp jointTemp);
    // The tool flange's analog inputs, at every state exchange.
    void endAIChanged(QRobotCoor::ExEndAI endAI);
    // The controller's analog inputs, at every state exchange.
    void gpioAIChanged(QRobotCoor::ExGPIOAI gpioAI);
    // The active alarms changed (the controller's and each drive's alarm words).
    void alarmsChanged(QRobotType::Alarms alarms);
    // The digital outputs, at every state exchange.
    void DOChanged(QRobotType::IO io);
    // The digital inputs, at every state exchange.
    void DIChanged(QRobotType::IO io);
    // The extended digital outputs, at every state exchange that carries them.
    void extendDOChanged(QRobotType::ExtendIO io);
    // The extended digital inputs, at every state exchange that carries them.
    void extendDIChanged(QRobotType::ExtendIO io);
    // Never emitted: exchangeRequest() gives the last request.
    void wDebugDataChanged(QByteArray wData);
    // Never emitted: exchangeReply() gives the last reply.
    void rDebugDataChanged(QByteArray rData);
    // One state exchange completed (about three times a second).
    void exChangeClock();
    // The arm's configuration (left or right hand) changed.
    void armOrientationChanged(QRobotType::ArmOrientation armOrientation);
    // The redundancy (configuration) values, at every state exchange.
    void rdnCoordinateChanged(QRobotType::RDNCoordinate rdnCoordinate);
    // A diagnostic line (relayed as QRobot::printQRobot()); never emitted by this component.
    void printQRobotProtocol(QString str);
    void staleChanged(bool isStale);

private:
    Q_DECLARE_PRIVATE_D(d, QRobotProtocol)
    Q_DISABLE_COPY(QRobotProtocol)
    QScopedPointer<QRobotProtocolPrivate> d;
};

#endif // QROBOTPROTOCOL_H
