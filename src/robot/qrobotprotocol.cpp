#include "robot/qrobotprotocol_p.h"

#include "Varlo/qhttpmanager.h"
#include "transport/timings.h"
#include "types/qiobits.h"
#include "types/qjsonreaders.h"
#include "types/qrobotenumstrings.h"
#include "types/qrobotmetatypes.h"
#include "types/qrobotstatereaders.h"

#include <QtCore/QDebug>
#include <QtCore/QPointer>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonValue>

#include <cstring>
#include <memory>

namespace {

// Every line the exchange logs begins with this item.
const char ExchangeTag[] = "QRobotProtocolPrivate::initTimers()::<lambda()>";

void logChange(const char *text, int value)
{
    qDebug() << ExchangeTag << text << value;
}

template <typename Enum>
Enum decodeEnum(const QJsonValue &value)
{
    return QRobotEnumStrings::decode<Enum>(value);
}

template <typename T>
bool storeIfChanged(T &stored, T value)
{
    if (stored == value)
        return false;
    stored = value;
    return true;
}

} // namespace

QRobotProtocolPrivate::QRobotProtocolPrivate(QRobotProtocol *q, QHttpManager *transport)
    : q_ptr(q), transport(transport)
{
}

const QString &QRobotProtocolPrivate::exchangePath()
{
    static const QString path = QStringLiteral("/protocol/%1").arg(QStringLiteral("exchange"));
    return path;
}

void QRobotProtocolPrivate::initTimers()
{
    Q_Q(QRobotProtocol);
    exchangeTimer.setSingleShot(true);
    QObject::connect(&exchangeTimer, &QTimer::timeout, q, [this] { exchangeTick(); });
    staleTimer.setSingleShot(true);
    QObject::connect(&staleTimer, &QTimer::timeout, q, [this] { setStale(true); });
}

void QRobotProtocolPrivate::setStale(bool isStale)
{
    Q_Q(QRobotProtocol);
    if (stale == isStale)
        return;
    stale = isStale;
    Q_EMIT q->staleChanged(stale);
}

void QRobotProtocolPrivate::exchangeTick()
{
    Q_Q(QRobotProtocol);
    // The periodic exchange waits for nothing: its request joins the queue
    // and its end is handled when it comes, so that a host following many
    // controllers in one thread never has one exchange held up inside
    // another's wait. Should the timer be restarted meanwhile (a stop and a
    // start), its expiry must not start a second exchange: the running one
    // re-arms at its end; an exchangeNow() running re-arms at its end too.
    if (inTick || exchangesNow > 0)
        return;
    inTick = true;
    QPointer<QRobotProtocol> guard(q);
    if (firstExchange) {
        firstExchange = false;
        readInitialControlMode();
        if (!guard)
            return;
    }
    // Stopped while the first GET waited: the exchange is over.
    if (stopped) {
        inTick = false;
        return;
    }
    // The body is built when the request goes on the wire: it carries what
    // was asked for while it waited in the queue.
    // A stop meanwhile withdraws it: a stopped exchange sends nothing more.
    auto carried = std::make_shared<Carried>();
    auto body = [this, guard, carried](QJsonObject &request) {
        if (!guard || stopped)
            return false;
        *carried = buildNext();
        request = state.request;
        return true;
    };
    transport->postJsonLater(exchangePath(), body, [this, guard, carried](bool answered, const QJsonObject &reply) {
        if (!guard)
            return;
        settle(answered, reply, *carried);
        if (!guard)
            return;
        inTick = false;
        if (!stopped)
            exchangeTimer.start(VarloTimings::ms(VarloTimings::ExchangeRearm));
    });
}

bool QRobotProtocolPrivate::exchangeOnce()
{
    if (firstExchange) {
        firstExchange = false;
        readInitialControlMode();
    }
    // Stopped while the first GET waited: the exchange is over.
    if (stopped)
        return false;
    const Carried carried = buildNext();
    const QJsonObject body = state.request;
    QJsonObject reply;
    const bool answered = transport->postJson(exchangePath(), body, reply);
    return settle(answered, reply, carried);
}

QRobotProtocolPrivate::Carried QRobotProtocolPrivate::buildNext()
{
    const Carried carried{ clearAlarmsSerial, outputsSerial, ++bodiesBuilt };
    state.request = buildRequest();
    return carried;
}

bool QRobotProtocolPrivate::settle(bool answered, const QJsonObject &reply, const Carried &carried)
{
    Q_Q(QRobotProtocol);
    // An exchange run meanwhile (exchangeNow() while this one was queued or
    // waited) was built later: its reply is the newer picture of the controller.
    const bool newest = carried.number > lastAnswered;
    if (!answered) {
        if (newest)
            state.reply = reply;
        return false;
    }
    // The one-shot requests have reached the controller; those set again
    // while the exchange was on the wire stay pending.
    if (clearAlarmsSerial == carried.clearAlarms)
        state.clearAlarms = false;
    if (outputsSerial == carried.outputs)
        state.outputsToSend.enable = false;
    if (!newest)
        return true;
    lastAnswered = carried.number;
    state.reply = reply;
    decodeReply(reply);
    // Fresh before anyone hears of the exchange: a listener that reads the
    // state at its notification must not find it marked stale.
    staleTimer.start(VarloTimings::ms(VarloTimings::StateStale));
    setStale(false);
    Q_EMIT q->exChangeClock();
    return true;
}

void QRobotProtocolPrivate::readInitialControlMode()
{
    Q_Q(QRobotProtocol);
    if (!transport->getJson(exchangePath(), state.reply))
        return;
    const auto it = state.reply.constFind(QLatin1String("controlMode"));
    if (it == state.reply.constEnd())
        return;
    const auto mode = QRobotEnumStrings::decode<QRobotType::ControlMode>(it.value());
    if (mode == state.controlMode)
        return;
    state.controlMode = mode;
    state.controlModeToSend = mode;
    Q_EMIT q->controlModeChanged(mode);
    qDebug() << ExchangeTag << "getExchange " << "controlModeChanged: " << int(mode);
}

QJsonObject QRobotProtocolPrivate::buildRequest() const
{
    using QRobotEnumStrings::encode;
    QJsonObject request;
    request.insert(QLatin1String("controlMode"), encode(state.controlModeToSend));
    request.insert(QLatin1String("dragMode"), encode(state.dragModeToSend));
    request.insert(QLatin1String("coordinate"), encode(state.coordinateToSend));
    request.insert(QLatin1String("jogMode"), encode(state.jogModeToSend));
    request.insert(QLatin1String("toolCoordinate"), state.toolCoordinateToSend);
    request.insert(QLatin1String("userCoordinate"), state.userCoordinateToSend);
    request.insert(QLatin1String("alarms"), state.clearAlarms);
    request.insert(QLatin1String("hardware"), true);
    QJsonObject outputs;
    outputs.insert(QLatin1String("enable"), state.outputsToSend.enable);
    outputs.insert(QLatin1String("value"),
                   QIOBits::pack(state.outputsToSend.value, int(sizeof(state.outputsToSend.value))));
    request.insert(QLatin1String("outputs"), outputs);
    return request;
}

void QRobotProtocolPrivate::decodeReply(const QJsonObject &reply)
{
    Q_Q(QRobotProtocol);
    using QRobotJson::toInt32;

    const auto end = reply.constEnd();
    auto find = [&reply](const char *key) { return reply.constFind(QLatin1String(key)); };

    // A value stored and announced only when it differs from the stored one.
    auto onChange = [&](const char *key, auto &stored, auto decoder, auto signal, const char *logText) {
        const auto it = find(key);
        if (it == end)
            return;
        if (!storeIfChanged(stored, decoder(it.value())))
            return;
        Q_EMIT (q->*signal)(stored);
        if (logText)
            logChange(logText, int(stored));
    };
    // A record stored and announced whenever the reply carries it.
    auto always = [&](const char *key, auto &stored, auto signal) {
        const auto it = find(key);
        if (it == end)
            return;
        QRobotStateReaders::read(it.value(), stored);
        Q_EMIT (q->*signal)(stored);
    };

    auto asInt = [](const QJsonValue &v) { return int(toInt32(v)); };
    auto asOne = [](const QJsonValue &v) { return toInt32(v) == 1; };

    onChange("controlMode", state.controlMode, decodeEnum<QRobotType::ControlMode>,
             &QRobotProtocol::controlModeChanged, "controlModeChanged: ");
    onChange("dragMode", state.dragMode, decodeEnum<QRobotCoor::DragMode>,
             &QRobotProtocol::dragModeChanged, "dragModeChanged: ");
    onChange("coordinate", state.coordinate, decodeEnum<QRobotType::Coordinate>,
             &QRobotProtocol::coordinateChanged, "coordinateChanged: ");
    // The reply spells this key with a capital J; the request does not.
    onChange("JogMode", state.jogMode, decodeEnum<QRobotType::JogMode>,
             &QRobotProtocol::jogModeChanged, "jogModeChanged: ");
    onChange("toolCoordinate", state.toolCoordinate, asInt,
             &QRobotProtocol::toolCoordinateChanged, "toolCoordinateChanged: ");
    onChange("userCoordinate", state.userCoordinate, asInt,
             &QRobotProtocol::userCoordinateChanged, "userCoordinateChanged: ");
    onChange("autoManual", state.autoManual, decodeEnum<QRobotType::AutoManual>,
             &QRobotProtocol::autoManualChanged, "autoManualChanged: ");
    onChange("armOrientation", state.armOrientation, toInt32,
             &QRobotProtocol::armOrientationChanged, "armOrientationChanged: ");

    always("rdnCoordinate", state.rdnCoordinate, &QRobotProtocol::rdnCoordinateChanged);
    always("jointCoordinate", state.jointCoordinate, &QRobotProtocol::jointCoordinateChanged);
    always("cartesianCoordinate", state.cartesianCoordinate, &QRobotProtocol::cartesianCoordinateChanged);
    always("auxJoint", state.auxJoint, &QRobotProtocol::auxJointChanged);

    onChange("isCollision", state.isCollision, asOne, &QRobotProtocol::isCollisionChanged, nullptr);
    // "skinCollison" is the controller's spelling.
    onChange("skinCollison", state.isSkinCollision, asOne, &QRobotProtocol::isSkinCollisionChanged, nullptr);
    onChange("powerState", state.isPower,
             [](const QJsonValue &v) { return v.toString() == QLatin1String("on"); },
             &QRobotProtocol::isPowerChanged, nullptr);
    onChange("dragMode", state.isDrag,
             [](const QJsonValue &v) { return v.toString() == QLatin1String("enable"); },
             &QRobotProtocol::isDragChanged, nullptr);
    onChange("dragPlayback", state.isPlayback, [](const QJsonValue &v) { return v.toBool(); },
             &QRobotProtocol::isPlaybackChanged, nullptr);

    always("controlParams", state.controllerParams, &QRobotProtocol::controllerParamsChanged);
    always("jointCurrent", state.jointCurrent, &QRobotProtocol::jointCurrentChanged);
    always("jointVoltage", state.jointVoltage, &QRobotProtocol::jointVoltageChanged);
    always("jointTemp", state.jointTemp, &QRobotProtocol::jointTempChanged);
    always("endAI", state.endAI, &QRobotProtocol::endAIChanged);
    always("gpioAI", state.gpioAI, &QRobotProtocol::gpioAIChanged);

    // The alarms change as one block.
    const auto alarmsIt = find("alarms");
    if (alarmsIt != end) {
        QRobotType::Alarms alarms {};
        QRobotStateReaders::read(alarmsIt.value(), alarms);
        if (std::memcmp(&alarms, &state.alarms, sizeof alarms) != 0) {
            state.alarms = alarms;
            Q_EMIT q->alarmsChanged(state.alarms);
            qDebug() << ExchangeTag << "alarmsChanged: ";
        }
    }

    always("outputs", state.DO, &QRobotProtocol::DOChanged);
    always("inputs", state.DI, &QRobotProtocol::DIChanged);
    always("extendDO", state.extendDO, &QRobotProtocol::extendDOChanged);
    always("extendDI", state.extendDI, &QRobotProtocol::extendDIChanged);
}

QRobotProtocol::QRobotProtocol(QHttpManager *transport, QObject *parent)
    : QObject(parent), d(new QRobotProtocolPrivate(this, transport))
{
    registerRobotStateMetaTypes();
    d->initTimers();
}

QRobotProtocol::~QRobotProtocol() = default;

void QRobotProtocol::startExchange()
{
    qDebug() << "void QRobotProtocol::startExchange()";
    d->stopped = false;
    d->exchangeTimer.start(VarloTimings::ms(VarloTimings::ExchangeRearm));
}

void QRobotProtocol::stopExchange()
{
    qDebug() << "void QRobotProtocol::stopExchange()";
    d->stopped = true;
    d->exchangeTimer.stop();
}

bool QRobotProtocol::exchangeNow()
{
    // Not running: not connected, nothing to exchange with.
    if (d->stopped || (!d->exchangeTimer.isActive() && !d->inTick && d->exchangesNow == 0))
        return false;
    // A periodic exchange on its way (queued or on the wire) ends on its own
    // and re-arms then; this runs an exchange of its own meanwhile, and a
    // timer expiry during it starts none.
    d->exchangeTimer.stop();
    ++d->exchangesNow;
    QPointer<QRobotProtocol> guard(this);
    const bool answered = d->exchangeOnce();
    if (!guard)
        return false;
    --d->exchangesNow;
    if (!d->inTick && d->exchangesNow == 0 && !d->stopped && !d->exchangeTimer.isActive())
        d->exchangeTimer.start(VarloTimings::ms(VarloTimings::ExchangeRearm));
    return answered;
}

bool QRobotProtocol::isStale() const
{
    return d->stale;
}

QRobotType::ControlMode QRobotProtocol::controlMode() const { return d->state.controlMode; }
QRobotCoor::DragMode QRobotProtocol::dragMode() const { return d->state.dragMode; }
QRobotType::Coordinate QRobotProtocol::coordinate() const { return d->state.coordinate; }
QRobotType::JogMode QRobotProtocol::jogMode() const { return d->state.jogMode; }
int QRobotProtocol::toolCoordinate() const { return d->state.toolCoordinate; }
int QRobotProtocol::userCoordinate() const { return d->state.userCoordinate; }
QRobotType::AutoManual QRobotProtocol::autoManual() const { return d->state.autoManual; }
QRobotType::JointCoordinate QRobotProtocol::jointCoordinate() const { return d->state.jointCoordinate; }
QRobotType::CartesianCoordinate QRobotProtocol::cartesianCoordinate() const { return d->state.cartesianCoordinate; }
QRobotType::AuxJoint QRobotProtocol::auxJoint() const { return d->state.auxJoint; }
QRobotType::Alarms QRobotProtocol::alarms() const { return d->state.alarms; }
QRobotType::IO QRobotProtocol::DI() const { return d->state.DI; }
QRobotType::IO QRobotProtocol::DO() const { return d->state.DO; }
QRobotType::ExtendIO QRobotProtocol::extendDI() const { return d->state.extendDI; }
QRobotType::ExtendIO QRobotProtocol::extendDO() const { return d->state.extendDO; }
QRobotType::ArmOrientation QRobotProtocol::armOrientation() const { return d->state.armOrientation; }
QRobotType::RDNCoordinate QRobotProtocol::rdnCoordinate() const { return d->state.rdnCoordinate; }
bool QRobotProtocol::isCollision() const { return d->state.isCollision; }
bool QRobotProtocol::isSkinCollision() const { return d->state.isSkinCollision; }
bool QRobotProtocol::isPower() const { return d->state.isPower; }
bool QRobotProtocol::isDrag() const { return d->state.isDrag; }
bool QRobotProtocol::isPlayback() const { return d->state.isPlayback; }
QRobotCoor::ControllerParams QRobotProtocol::controllerParams() const { return d->state.controllerParams; }
QRobotCoor::JointCurrent QRobotProtocol::jointCurrent() const { return d->state.jointCurrent; }
QRobotCoor::JointVoltage QRobotProtocol::jointVoltage() const { return d->state.jointVoltage; }
QRobotCoor::JointTemp QRobotProtocol::jointTemp() const { return d->state.jointTemp; }
QRobotCoor::ExEndAI QRobotProtocol::endAI() const { return d->state.endAI; }
QRobotCoor::ExGPIOAI QRobotProtocol::gpioAI() const { return d->state.gpioAI; }

QString QRobotProtocol::exchangeRequest() const
{
    return QString::fromUtf8(QJsonDocument(d->state.request).toJson());
}

QString QRobotProtocol::exchangeReply() const
{
    return QString::fromUtf8(QJsonDocument(d->state.reply).toJson());
}

void QRobotProtocol::requestControlMode(QRobotType::ControlMode controlMode)
{
    d->state.controlModeToSend = controlMode;
}

void QRobotProtocol::requestCoordinate(QRobotType::Coordinate coordinate)
{
    d->state.coordinateToSend = coordinate;
}

void QRobotProtocol::requestJogMode(QRobotType::JogMode jogMode)
{
    d->state.jogModeToSend = jogMode;
}

void QRobotProtocol::requestToolCoordinate(int toolCoordinate)
{
    d->state.toolCoordinateToSend = toolCoordinate;
}

void QRobotProtocol::requestUserCoordinate(int userCoordinate)
{
    d->state.userCoordinateToSend = userCoordinate;
}

void QRobotProtocol::clearAlarms()
{
    d->state.clearAlarms = true;
    ++d->clearAlarmsSerial;
}

void QRobotProtocol::setDO(const QRobotType::IO &io)
{
    // The record usually comes from a host, whose bool fields may hold any
    // byte; keep only 0 and 1 so that every later read of it is well defined.
    unsigned char bytes[sizeof(QRobotType::IO)];
    std::memcpy(bytes, &io, sizeof bytes);
    for (unsigned char &byte : bytes)
        byte = byte != 0;
    std::memcpy(&d->state.outputsToSend, bytes, sizeof bytes);
    ++d->outputsSerial;
}
