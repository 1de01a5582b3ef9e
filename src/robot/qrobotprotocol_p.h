#ifndef QROBOTPROTOCOL_P_H
#define QROBOTPROTOCOL_P_H

#include "Varlo/qrobotprotocol.h"

#include <QtCore/QJsonObject>
#include <QtCore/QTimer>

// The mirrored state and the values to send, with their initial values.
struct RobotState
{
    QJsonObject reply;   // the last exchange reply
    QJsonObject request; // the last exchange body

    QRobotType::ControlMode controlMode = QRobotType::Disable;
    QRobotType::ControlMode controlModeToSend = QRobotType::Disable;
    QRobotCoor::DragMode dragMode = QRobotCoor::Disable;
    QRobotCoor::DragMode dragModeToSend = QRobotCoor::Disable;
    QRobotType::Coordinate coordinate = QRobotType::Joint;
    QRobotType::Coordinate coordinateToSend = QRobotType::Joint;
    QRobotType::JogMode jogMode = QRobotType::Jog;
    QRobotType::JogMode jogModeToSend = QRobotType::Jog;
    int toolCoordinate = 0;
    int toolCoordinateToSend = 0;
    int userCoordinate = 0;
    int userCoordinateToSend = 0;
    QRobotType::AutoManual autoManual = QRobotType::Manual;
    QRobotType::JointCoordinate jointCoordinate {};
    QRobotType::CartesianCoordinate cartesianCoordinate {};
    QRobotType::AuxJoint auxJoint {};
    QRobotType::Alarms alarms {};
    bool clearAlarms = false;
    QRobotType::IO DI {};
    QRobotType::IO DO {};
    QRobotType::IO outputsToSend {};
    QRobotType::ExtendIO extendDI {};
    QRobotType::ExtendIO extendDO {};
    QRobotType::ArmOrientation armOrientation = 1;
    QRobotType::RDNCoordinate rdnCoordinate {};
    QRobotCoor::ControllerParams controllerParams {};
    QRobotCoor::JointCurrent jointCurrent {};
    QRobotCoor::JointVoltage jointVoltage {};
    QRobotCoor::JointTemp jointTemp {};
    QRobotCoor::ExEndAI endAI {};
    QRobotCoor::ExGPIOAI gpioAI {};
    bool isCollision = false;
    bool isSkinCollision = false;
    bool isPower = true;
    bool isDrag = false;
    bool isPlayback = false;
};

class QRobotProtocolPrivate
{
    Q_DECLARE_PUBLIC(QRobotProtocol)
public:

    QRobotProtocolPrivate(QRobotProtocol *q, QHttpManager *transport);

    static QRobotProtocolPrivate *get(QRobotProtocol *q) { return q->d_func(); }
    static const QString &exchangePath();

    void initTimers();
    void exchangeTick();
    // One exchange: builds the body, posts it and decodes the reply unless a
    // newer exchange was answered meanwhile. True when it was answered.
    bool exchangeOnce();
    // Builds the next request body; the serials it carries come back to settle().
    struct Carried { quint64 clearAlarms; quint64 outputs; quint64 number; };
    Carried buildNext();
    // What an exchange's end means for the state: decoding, notifications.
    bool settle(bool answered, const QJsonObject &reply, const Carried &carried);
    // The first exchange adopts the controller's control mode.
    void readInitialControlMode();
    // Builds the request body from the values to send.
    QJsonObject buildRequest() const;
    // Stores one exchange reply and emits the notifications it calls for.
    void decodeReply(const QJsonObject &reply);
    void setStale(bool stale);

    QRobotProtocol *q_ptr;
    QHttpManager *transport;
    QTimer exchangeTimer;
    bool stopped = false;
    // The controller's control mode is asked for once, by the first exchange
    // of this protocol: once per controller, so that a host driving two arms
    // starts each from its own mode (the library's own facade, made once per
    // process, asks once per process).
    bool firstExchange = true;
    bool inTick = false;      // a periodic exchange has not ended yet
    int exchangesNow = 0;     // exchangeNow() calls running
    // Bumped by every clearAlarms()/setDO(), so that an exchange only settles
    // the one-shot requests it actually carried.
    quint64 clearAlarmsSerial = 0;
    quint64 outputsSerial = 0;
    // Request bodies built so far, and the number of the last one answered: a
    // reply older than the last one decoded is not decoded.
    quint64 bodiesBuilt = 0;
    quint64 lastAnswered = 0;
    // Armed by every reply; its expiry makes the mirrored state stale.
    QTimer staleTimer;
    bool stale = true;
    RobotState state;
};

#endif // QROBOTPROTOCOL_P_H
