// Safety and collision functions of the collaborative component.
#include "Varlo/qrobotcollaborative.h"
#include "transport/documentbinding.h"
#include "types/qrobotenumstrings.h"

#include <cstring>

using ControllerIO::Field;
using ControllerIO::Fields;
using ControllerIO::Logs;
using QRobotCoor::ElecSkinDefault;
using QRobotCoor::ElecSkinPars;
using QRobotCoor::ElecSkinRange;

namespace {

const char Collaborative[] = "QRobotCollaborative";
const QString JointBrakePath = QStringLiteral("/interface/6axisJointBrake");
const QString PowerControlPath = QStringLiteral("/interface/powerControl");

// The four scalar keys of the collision document; `mode` and `resumeType`
// travel as 0/1.
struct Collision
{
    bool value;
    bool mode;
    bool resumeType;
    qint32 level;
};

const ControllerIO::Document<Collision> CollisionDect{
    "/settings/function/collisionDect",
    { { "value", &Collision::value }, ControllerIO::flag("mode", &Collision::mode),
      ControllerIO::flag("resumeType", &Collision::resumeType), { "level", &Collision::level } },
    Logs::words("collisionDect")
};

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

const ControllerIO::ValueDocument<bool> ElecSkin{ "/settings/function/elecSkin", "value", Logs::words("elecSkin") };

// The avoidance mode is written but not read back.
const ControllerIO::Document<ElecSkinPars> ElecSkinParams{
    "/settings/function/elecSkinParams",
    { { "avoidDistance", &ElecSkinPars::avoidDistance }, { "avoidVel", &ElecSkinPars::avoidVel },
      { "avoidAcc", &ElecSkinPars::avoidAcc }, { "resumeVel", &ElecSkinPars::resumeVel },
      { "resumeAcc", &ElecSkinPars::resumeAcc }, Field<ElecSkinPars>("mode", &ElecSkinPars::mode).writeOnly() },
    Logs::signatures(Collaborative, "ElecSkinParams", "QRobotCoor::ElecSkinPars")
};

const Fields<ElecSkinRange> RangeFields{ { "max", &ElecSkinRange::max },
                                         { "min", &ElecSkinRange::min },
                                         { "def", &ElecSkinRange::def } };
const ControllerIO::Document<ElecSkinDefault> ElecSkinDefaults{
    "/settings/function/elecSkinDefault",
    { { "avoidDistance", &ElecSkinDefault::avoidDistance, RangeFields },
      { "avoidVel", &ElecSkinDefault::avoidVel, RangeFields },
      { "avoidAcc", &ElecSkinDefault::avoidAcc, RangeFields },
      { "resumeVel", &ElecSkinDefault::resumeVel, RangeFields },
      { "resumeAcc", &ElecSkinDefault::resumeAcc, RangeFields } },
    Logs::signatures(Collaborative, "ElecSkinDefault", "QRobotCoor::ElecSkinDefault")
};

// Limit-set key of joint n (1..6) of a quantity.
QString jointKey(const char *quantity, int joint)
{
    return QLatin1String(quantity) + QString::number(joint);
}

// One number of a limit set: element `index` of the array `member`.
Field<SafeModeLimits> limitField(const QString &key, float (SafeModeLimits::*member)[6], int index)
{
    return Field<SafeModeLimits>(
        key, [member, index](const QJsonValue &v, SafeModeLimits &l) { (l.*member)[index] = QRobotJson::toFloat(v); },
        [member, index](const SafeModeLimits &l) { return QJsonValue(double((l.*member)[index])); });
}

// The keys "diff1".."velj6" and the range keys. The library itself writes
// the range keys as "rangMin"/"rangMax"; a document it wrote must read back,
// so that spelling is read too, and the controller's "rangeMin"/"rangeMax",
// read after it, wins where both are present.
Fields<SafeModeLimits> limitFields()
{
    std::vector<Field<SafeModeLimits>> fields;
    for (int n = 1; n <= 6; ++n) {
        fields.push_back(limitField(jointKey("diff", n), &SafeModeLimits::diff, n - 1));
        fields.push_back(limitField(jointKey("velj", n), &SafeModeLimits::velj, n - 1));
        fields.push_back(limitField(jointKey("rangMin", n), &SafeModeLimits::rangeMin, n - 1));
        fields.push_back(limitField(jointKey("rangMax", n), &SafeModeLimits::rangeMax, n - 1));
        fields.push_back(limitField(jointKey("rangeMin", n), &SafeModeLimits::rangeMin, n - 1).readOnly());
        fields.push_back(limitField(jointKey("rangeMax", n), &SafeModeLimits::rangeMax, n - 1).readOnly());
    }
    return Fields<SafeModeLimits>(fields);
}

const Fields<SafeModeLimits> LimitFields = limitFields();
const ControllerIO::Document<SafeModeParams> SafeMode{
    "/settings/safemode",
    { { "low", &SafeModeParams::low, LimitFields }, { "middle", &SafeModeParams::middle, LimitFields },
      { "high", &SafeModeParams::high, LimitFields }, { "valid", &SafeModeParams::valid, LimitFields },
      { "payload", &SafeModeParams::payload }, { "mode", &SafeModeParams::mode } }
};

} // namespace

bool QRobotCollaborative::setCollisionDect(bool value, bool mode, bool resumeType, int level)
{
    // The document keeps the level tables, which are not the caller's to
    // replace: only the four scalar keys change.
    QJsonObject document;
    switch (ControllerIO::readObjectDocument(transport(), CollisionDect.name(), &document, "collisionDect_getParaError")) {
    case ControllerIO::ReadStatus::Missing:
        // No document yet: create it with the default level table.
        document = defaultCollisionLevels();
        break;
    case ControllerIO::ReadStatus::Failed:
        // Not read: writing defaults would replace the stored level tables.
    case ControllerIO::ReadStatus::NotJson:
    case ControllerIO::ReadStatus::OtherKind:
        // A document that exists but cannot be understood is left alone
        // rather than replaced, and the setting did not happen.
        return false;
    case ControllerIO::ReadStatus::Ok:
        break;
    }
    CollisionDect.fields().write(document, Collision{ value, mode, resumeType, level });
    return ControllerIO::writeObject(transport(), CollisionDect.name(), document, "collisionDect_setParaError");
}

bool QRobotCollaborative::getCollisionDect(bool &value, bool &mode, bool &resumeType, int &level)
{
    Collision collision{ value, mode, resumeType, level };
    const bool ok = CollisionDect.read(transport(), collision);
    value = collision.value;
    mode = collision.mode;
    resumeType = collision.resumeType;
    level = collision.level;
    return ok;
}

bool QRobotCollaborative::resetCollision()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/resetCollision"), QJsonObject());
}

bool QRobotCollaborative::setElecSkin(bool value) { return ElecSkin.write(transport(), value); }
bool QRobotCollaborative::getElecSkin(bool &value) { return ElecSkin.read(transport(), value); }

bool QRobotCollaborative::resetElecSkin()
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/resetElecSkin"), QJsonObject());
}

bool QRobotCollaborative::setElecSkinParams(QRobotCoor::ElecSkinPars pars)
{
    return ElecSkinParams.write(transport(), pars);
}

bool QRobotCollaborative::getElecSkinParams(QRobotCoor::ElecSkinPars &pars)
{
    return ElecSkinParams.read(transport(), pars);
}

bool QRobotCollaborative::getElecSkinDefault(QRobotCoor::ElecSkinDefault &defaults)
{
    return ElecSkinDefaults.read(transport(), defaults);
}

bool QRobotCollaborative::setSafeMode(const SafeModeParams &params) { return SafeMode.write(transport(), params); }

bool QRobotCollaborative::getSafeMode(SafeModeParams &params)
{
    // All-zero limits from a damaged document are no reading at all: false then.
    std::memset(&params, 0, sizeof params);
    return SafeMode.read(transport(), params);
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
        for (int i = 0; i < 6; ++i) {
            const auto it = reply.constFind(jointKey("joint", i + 1));
            if (it != reply.constEnd())
                states[i] = it.value().toBool(false);
        }
    }, "6axisJointBrake_getError");
}

bool QRobotCollaborative::goHome(bool value)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/goHome"),
                              QJsonObject{ { QStringLiteral("value"), value } });
}

bool QRobotCollaborative::setPowerControl(bool value)
{
    return ControllerIO::post(transport(), PowerControlPath, QJsonObject{ { QStringLiteral("value"), value } },
                              "powerControl_postError");
}

bool QRobotCollaborative::getPowerControl(bool &value)
{
    return ControllerIO::getPresent(transport(), PowerControlPath, "value", value);
}
