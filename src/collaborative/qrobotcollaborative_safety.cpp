// Safety and collision functions of the collaborative component.
#include "collaborative/qrobotcollaborative.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"
#include "types/qrobotenumstrings.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cstring>

using ControllerIO::LogText;

namespace {

const QString CollisionDocument = QStringLiteral("/settings/function/collisionDect");
const QString ElecSkinDocument = QStringLiteral("/settings/function/elecSkin");
const QString ElecSkinParamsDocument = QStringLiteral("/settings/function/elecSkinParams");
const QString ElecSkinDefaultDocument = QStringLiteral("/settings/function/elecSkinDefault");
const QString SafeModeDocument = QStringLiteral("/settings/safemode");
const QString JointBrakePath = QStringLiteral("/interface/6axisJointBrake");
const QString PowerControlPath = QStringLiteral("/interface/powerControl");

const char CollisionGetError[] = "collisionDect_getParaError";
const char CollisionSetError[] = "collisionDect_setParaError";

// The collision thresholds the controller starts from when it has no
// collision document: per level six integers, joint 1 first.
QJsonObject defaultCollisionLevels()
{
    static const int table[5][2] = { { 30, 10 }, { 25, 8 }, { 20, 6 }, { 15, 4 }, { 10, 3 } };
    QJsonObject levels;
    for (int level = 0; level < 5; ++level) {
        QJsonArray joints;
        for (int joint = 0; joint < 6; ++joint)
            joints.append(table[level][joint < 3 ? 0 : 1]);
        levels.insert(QStringLiteral("Level%1").arg(level + 1), joints);
    }
    return levels;
}

void setCollisionKeys(QJsonObject &document, bool value, bool mode, bool resumeType, int level)
{
    document.insert(QStringLiteral("value"), value);
    document.insert(QStringLiteral("mode"), mode ? 1 : 0);
    document.insert(QStringLiteral("resumeType"), resumeType ? 1 : 0);
    document.insert(QStringLiteral("level"), level);
}

// Limit-set key of joint n (1..6) of a quantity.
QString jointKey(const char *quantity, int joint)
{
    return QLatin1String(quantity) + QString::number(joint);
}

// A number of a limit set, stored only when the key is present.
bool takeNumber(const QJsonObject &object, const QString &key, float &field)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return false;
    field = QRobotJson::toFloat(it.value());
    return true;
}

void readLimits(const QJsonObject &object, SafeModeLimits &limits)
{
    for (int n = 1; n <= 6; ++n) {
        takeNumber(object, jointKey("diff", n), limits.diff[n - 1]);
        takeNumber(object, jointKey("velj", n), limits.velj[n - 1]);
        // The library itself writes the range keys as "rangMin"/"rangMax"; a
        // document it wrote must read back, so that spelling stands in where
        // the controller's "rangeMin"/"rangeMax" is absent.
        if (!takeNumber(object, jointKey("rangeMin", n), limits.rangeMin[n - 1]))
            takeNumber(object, jointKey("rangMin", n), limits.rangeMin[n - 1]);
        if (!takeNumber(object, jointKey("rangeMax", n), limits.rangeMax[n - 1]))
            takeNumber(object, jointKey("rangMax", n), limits.rangeMax[n - 1]);
    }
}

QJsonObject writeLimits(const SafeModeLimits &limits)
{
    QJsonObject object;
    for (int n = 1; n <= 6; ++n) {
        object.insert(jointKey("diff", n), double(limits.diff[n - 1]));
        object.insert(jointKey("velj", n), double(limits.velj[n - 1]));
        object.insert(jointKey("rangMin", n), double(limits.rangeMin[n - 1]));
        object.insert(jointKey("rangMax", n), double(limits.rangeMax[n - 1]));
    }
    return object;
}

void readSkinRange(const QJsonObject &document, const char *key, QRobotCoor::ElecSkinRange &range)
{
    const auto it = document.constFind(QLatin1String(key));
    if (it == document.constEnd())
        return;
    const QJsonObject object = it.value().toObject();
    ControllerIO::take(object, "max", range.max);
    ControllerIO::take(object, "min", range.min);
    ControllerIO::take(object, "def", range.def);
}

} // namespace

bool QRobotCollaborative::setCollisionDect(bool value, bool mode, bool resumeType, int level)
{
    QJsonDocument stored;
    switch (ControllerIO::readDocument(transport(), CollisionDocument, &stored, LogText(CollisionGetError))) {
    case ControllerIO::ReadStatus::Failed: {
        // No document yet: create it with the default level table.
        QJsonObject document = defaultCollisionLevels();
        setCollisionKeys(document, value, mode, resumeType, level);
        return ControllerIO::writeObject(transport(), CollisionDocument, document, LogText(CollisionSetError));
    }
    case ControllerIO::ReadStatus::NotJson:
        // A document that exists but cannot be understood is left alone
        // rather than replaced, and the setting did not happen.
        return false;
    case ControllerIO::ReadStatus::Ok:
        break;
    }
    if (!stored.isObject())
        return false;
    QJsonObject document = stored.object();
    setCollisionKeys(document, value, mode, resumeType, level);
    return ControllerIO::writeObject(transport(), CollisionDocument, document, LogText(CollisionSetError));
}

bool QRobotCollaborative::getCollisionDect(bool &value, bool &mode, bool &resumeType, int &level)
{
    return ControllerIO::readObject(transport(), CollisionDocument, [&](const QJsonObject &object) {
        ControllerIO::take(object, "value", value);
        ControllerIO::takeFlag(object, "mode", mode);
        ControllerIO::takeFlag(object, "resumeType", resumeType);
        int32_t stored = level;
        ControllerIO::take(object, "level", stored);
        level = stored;
    }, LogText(CollisionGetError));
}

bool QRobotCollaborative::resetCollision()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/resetCollision"), QJsonObject());
}

bool QRobotCollaborative::setElecSkin(bool value)
{
    return ControllerIO::writeObject(transport(), ElecSkinDocument, QJsonObject{ { QStringLiteral("value"), value } },
                                     LogText("elecSkin_setParaError"));
}

bool QRobotCollaborative::getElecSkin(bool &value)
{
    return ControllerIO::readObject(transport(), ElecSkinDocument,
                                    [&](const QJsonObject &object) { ControllerIO::take(object, "value", value); },
                                    LogText("elecSkin_getParaError"));
}

bool QRobotCollaborative::resetElecSkin()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/resetElecSkin"), QJsonObject());
}

bool QRobotCollaborative::setElecSkinParams(QRobotCoor::ElecSkinPars pars)
{
    const QJsonObject document{
        { QStringLiteral("avoidDistance"), double(pars.avoidDistance) },
        { QStringLiteral("avoidVel"), double(pars.avoidVel) },
        { QStringLiteral("avoidAcc"), double(pars.avoidAcc) },
        { QStringLiteral("resumeVel"), double(pars.resumeVel) },
        { QStringLiteral("resumeAcc"), double(pars.resumeAcc) },
        { QStringLiteral("mode"), int(pars.mode) },
    };
    return ControllerIO::writeObject(
        transport(), ElecSkinParamsDocument, document,
        LogText("bool QRobotCollaborative::setElecSkinParams(QRobotCoor::ElecSkinPars)", "setParaError"));
}

bool QRobotCollaborative::getElecSkinParams(QRobotCoor::ElecSkinPars &pars)
{
    return ControllerIO::readObject(transport(), ElecSkinParamsDocument, [&](const QJsonObject &object) {
        ControllerIO::take(object, "avoidDistance", pars.avoidDistance);
        ControllerIO::take(object, "avoidVel", pars.avoidVel);
        ControllerIO::take(object, "avoidAcc", pars.avoidAcc);
        ControllerIO::take(object, "resumeVel", pars.resumeVel);
        ControllerIO::take(object, "resumeAcc", pars.resumeAcc);
    }, LogText("bool QRobotCollaborative::getElecSkinParams(QRobotCoor::ElecSkinPars&)", "getParaError"));
}

bool QRobotCollaborative::getElecSkinDefault(QRobotCoor::ElecSkinDefault &defaults)
{
    return ControllerIO::readObject(transport(), ElecSkinDefaultDocument, [&](const QJsonObject &object) {
        readSkinRange(object, "avoidDistance", defaults.avoidDistance);
        readSkinRange(object, "avoidVel", defaults.avoidVel);
        readSkinRange(object, "avoidAcc", defaults.avoidAcc);
        readSkinRange(object, "resumeVel", defaults.resumeVel);
        readSkinRange(object, "resumeAcc", defaults.resumeAcc);
    }, LogText("bool QRobotCollaborative::getElecSkinDefault(QRobotCoor::ElecSkinDefault&)", "getParaError"));
}

bool QRobotCollaborative::setSafeMode(const SafeModeParams &params)
{
    const QJsonObject document{
        { QStringLiteral("low"), writeLimits(params.low) },
        { QStringLiteral("middle"), writeLimits(params.middle) },
        { QStringLiteral("high"), writeLimits(params.high) },
        { QStringLiteral("valid"), writeLimits(params.valid) },
        { QStringLiteral("payload"), int(params.payload) },
        { QStringLiteral("mode"), int(params.mode) },
    };
    return ControllerIO::writeObject(transport(), SafeModeDocument, document);
}

bool QRobotCollaborative::getSafeMode(SafeModeParams &params)
{
    std::memset(&params, 0, sizeof params);
    QJsonDocument stored;
    switch (ControllerIO::readDocument(transport(), SafeModeDocument, &stored)) {
    case ControllerIO::ReadStatus::Failed:
        return false;
    case ControllerIO::ReadStatus::NotJson:
        // All-zero limits from a damaged document are no reading at all.
        return false;
    case ControllerIO::ReadStatus::Ok:
        break;
    }
    if (!stored.isObject())
        return true;
    const QJsonObject object = stored.object();
    const struct {
        const char *key;
        SafeModeLimits *limits;
    } sets[] = { { "low", &params.low }, { "middle", &params.middle }, { "high", &params.high },
                 { "valid", &params.valid } };
    for (const auto &set : sets) {
        const auto it = object.constFind(QLatin1String(set.key));
        if (it != object.constEnd())
            readLimits(it.value().toObject(), *set.limits);
    }
    ControllerIO::take(object, "payload", params.payload);
    ControllerIO::take(object, "mode", params.mode);
    return true;
}

bool QRobotCollaborative::setThreeSwitch(const bool *on)
{
    if (!on)
        return false;
    const QJsonObject body{ { QStringLiteral("value"), *on ? QStringLiteral("true") : QStringLiteral("false") } };
    return ControllerIO::post(transport(), QStringLiteral("/panel/threeSwitch"), body);
}

bool QRobotCollaborative::setControlMode(int mode)
{
    QJsonObject body;
    if (mode >= QRobotType::Disable && mode <= QRobotType::Drag)
        body.insert(QStringLiteral("controlMode"),
                    QRobotEnumStrings::encode(static_cast<QRobotType::ControlMode>(mode)));
    return ControllerIO::post(transport(), QStringLiteral("/settings/controlMode"), body);
}

bool QRobotCollaborative::setJointBrake(int joint, bool value)
{
    QJsonObject body;
    if (joint >= 1 && joint <= 6)
        body.insert(jointKey("joint", joint), value);
    return ControllerIO::post(transport(), JointBrakePath, body);
}

bool QRobotCollaborative::getJointBrake(bool states[6])
{
    if (!states)
        return false;
    return ControllerIO::get(transport(), JointBrakePath, [&](const QJsonObject &reply) {
        static const char *const keys[6] = { "joint1", "joint2", "joint3", "joint4", "joint5", "joint6" };
        for (int i = 0; i < 6; ++i)
            ControllerIO::take(reply, keys[i], states[i]);
    }, LogText("6axisJointBrake_getError"));
}

bool QRobotCollaborative::goHome(bool value)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/goHome"),
                              QJsonObject{ { QStringLiteral("value"), value } });
}

bool QRobotCollaborative::setPowerControl(bool value)
{
    return ControllerIO::post(transport(), PowerControlPath, QJsonObject{ { QStringLiteral("value"), value } },
                              LogText("powerControl_postError"));
}

bool QRobotCollaborative::getPowerControl(bool &value)
{
    bool answered = false;
    const bool ok = ControllerIO::get(transport(), PowerControlPath, [&](const QJsonObject &reply) {
        answered = reply.contains(QLatin1String("value"));
        ControllerIO::take(reply, "value", value);
    });
    return ok && answered;
}
