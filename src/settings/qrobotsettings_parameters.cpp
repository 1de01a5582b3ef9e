// Motion parameter documents, the live ratio of manual motion, the panel
// emergency stop and the state of the controller's script.
#include "settings/parameterdocuments.h"
#include "settings/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/controllerio.h"

#include <QtCore/QDebug>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

using ControllerIO::LogText;
using ParameterDocuments::FloatArray;

namespace {

const char CommonDocument[] = "/settings/common";
const char TeachJointDocument[] = "/settings/teach/joint";
const char TeachCoordinateDocument[] = "/settings/teach/coordinate";
const char TeachInchDocument[] = "/settings/teach/inch";
const char PlaybackJointDocument[] = "/settings/playback/joint";
const char PlaybackCoordinateDocument[] = "/settings/playback/coordinate";
const char PlaybackArchDocument[] = "/settings/playback/arch";
const char TeachAuxJointDocument[] = "/settings/teach/auxJoint";
const char PlaybackAuxJointDocument[] = "/settings/playback/auxJoint";
const char HasAuxJointDocument[] = "/settings/function/hasAuxJoint";
const char ControllerTypeDocument[] = "/properties/controllerType";
const char LimitsDocument[] = "/properties/default";

const char SetTeachInchSignature[] = "bool QRobotSettings::setTeachInch(const QRobotType::TeachInch&)";
const char SetManualCommonSignature[] = "bool QRobotSettings::setManualCommon(QRobotType::Common)";
const char GetManualCommonSignature[] = "bool QRobotSettings::getManualCommon(QRobotType::Common&)";
const char GetProjStateSignature[] = "bool QRobotSettings::getProjState(QRobotType::ScriptState&)";

// The drag sensitivity of joint i: the controller's documents use "j1" to
// "j6", the library has always written "J1" to "J6". Reading prefers the
// controller's spelling and accepts the written one, so a document written
// here reads back as written.
const char DragSensitivityKey[] = "dragSensivity";
QString dragReadKey(int joint) { return QStringLiteral("j%1").arg(joint + 1); }
QString dragWriteKey(int joint) { return QStringLiteral("J%1").arg(joint + 1); }

bool readJsonObject(QHttpManager *transport, const char *name, QJsonObject *object)
{
    QJsonDocument document;
    if (ControllerIO::readDocument(transport, QLatin1String(name), &document) != ControllerIO::ReadStatus::Ok
        || !document.isObject())
        return false;
    *object = document.object();
    return true;
}

} // namespace

bool QRobotSettings::controllerType(ControllerType &type)
{
    QJsonObject document;
    if (!readJsonObject(d_func()->transport, ControllerTypeDocument, &document))
        return false;
    ControllerIO::take(document, "version", type.version);
    ControllerIO::take(document, "name", type.name);
    return true;
}

bool QRobotSettings::setCommonRatio(float ratio)
{
    const QJsonObject document{ { QStringLiteral("ratio"), double(ratio) } };
    return ControllerIO::writeObject(d_func()->transport, QLatin1String(CommonDocument), document);
}

float QRobotSettings::commonRatio()
{
    float ratio = 0;
    ControllerIO::readObject(d_func()->transport, QLatin1String(CommonDocument),
                             [&](const QJsonObject &document) { ControllerIO::take(document, "ratio", ratio); });
    return ratio;
}

bool QRobotSettings::setTeachJoint(const TeachParams &params)
{
    TeachParams p = params;
    return ParameterDocuments::writeArrays(d_func()->transport, QLatin1String(TeachJointDocument),
                                           { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 } });
}

TeachParams QRobotSettings::teachJoint()
{
    TeachParams p{};
    ParameterDocuments::readArrays(d_func()->transport, QLatin1String(TeachJointDocument),
                                   { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 } });
    return p;
}

bool QRobotSettings::setTeachCoordinate(const TeachParams &params)
{
    TeachParams p = params;
    return ParameterDocuments::writeArrays(d_func()->transport, QLatin1String(TeachCoordinateDocument),
                                           { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 } });
}

TeachParams QRobotSettings::teachCoordinate()
{
    TeachParams p{};
    ParameterDocuments::readArrays(d_func()->transport, QLatin1String(TeachCoordinateDocument),
                                   { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 } });
    return p;
}

bool QRobotSettings::setTeachInch(const QRobotType::TeachInch &inch)
{
    const QJsonObject document{ { QStringLiteral("distance"), double(inch.distance) },
                                { QStringLiteral("angle"), double(inch.angle) } };
    return ControllerIO::writeObject(d_func()->transport, QLatin1String(TeachInchDocument), document,
                                     LogText(SetTeachInchSignature, "setParaError"));
}

QRobotType::TeachInch QRobotSettings::teachInch()
{
    QRobotType::TeachInch inch{};
    ControllerIO::readObject(d_func()->transport, QLatin1String(TeachInchDocument), [&](const QJsonObject &document) {
        ControllerIO::take(document, "distance", inch.distance);
        ControllerIO::take(document, "angle", inch.angle);
    });
    return inch;
}

bool QRobotSettings::setPlaybackJoint(const PlaybackJointParams &params)
{
    PlaybackJointParams p = params;
    return ParameterDocuments::writeArrays(
        d_func()->transport, QLatin1String(PlaybackJointDocument),
        { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 }, { "jerk", p.jerk, 6 } });
}

PlaybackJointParams QRobotSettings::playbackJoint()
{
    PlaybackJointParams p{};
    ParameterDocuments::readArrays(
        d_func()->transport, QLatin1String(PlaybackJointDocument),
        { { "velocity", p.velocity, 6 }, { "acceleration", p.acceleration, 6 }, { "jerk", p.jerk, 6 } });
    return p;
}

bool QRobotSettings::setPlaybackCoordinate(const PlaybackCoordinateParams &params)
{
    PlaybackCoordinateParams p = params;
    return ParameterDocuments::writeArrays(
        d_func()->transport, QLatin1String(PlaybackCoordinateDocument),
        { { "velocity", p.velocity, 2 }, { "acceleration", p.acceleration, 2 }, { "jerk", p.jerk, 2 } });
}

PlaybackCoordinateParams QRobotSettings::playbackCoordinate()
{
    PlaybackCoordinateParams p{};
    ParameterDocuments::readArrays(
        d_func()->transport, QLatin1String(PlaybackCoordinateDocument),
        { { "velocity", p.velocity, 2 }, { "acceleration", p.acceleration, 2 }, { "jerk", p.jerk, 2 } });
    return p;
}

bool QRobotSettings::setPlaybackArch(const ArchTable &table)
{
    QJsonArray document;
    for (const ArchEntry &entry : table.entry) {
        const QJsonObject params{ { QStringLiteral("startHeight"), double(entry.startHeight) },
                                  { QStringLiteral("endHeight"), double(entry.endHeight) },
                                  { QStringLiteral("zLimit"), double(entry.zLimit) } };
        document.append(QJsonObject{ { QStringLiteral("enable"), entry.enable }, { QStringLiteral("params"), params } });
    }
    return ControllerIO::writeArray(d_func()->transport, QLatin1String(PlaybackArchDocument), document);
}

ArchTable QRobotSettings::playbackArch()
{
    ArchTable table{};
    ControllerIO::readArray(d_func()->transport, QLatin1String(PlaybackArchDocument), [&](const QJsonArray &document) {
        // Element i is profile i; profiles past the table's end are ignored.
        const int count = qMin(int(document.size()), int(ArchTable::Size));
        for (int i = 0; i < count; ++i) {
            const QJsonObject element = document.at(i).toObject();
            ArchEntry &entry = table.entry[i];
            ControllerIO::take(element, "enable", entry.enable);
            const QJsonObject params = element.value(QLatin1String("params")).toObject();
            ControllerIO::take(params, "startHeight", entry.startHeight);
            ControllerIO::take(params, "endHeight", entry.endHeight);
            ControllerIO::take(params, "zLimit", entry.zLimit);
        }
    });
    return table;
}

bool QRobotSettings::setTeachAuxJoint(const AuxTeachParams &params)
{
    AuxTeachParams p = params;
    return ParameterDocuments::writeArrays(d_func()->transport, QLatin1String(TeachAuxJointDocument),
                                           { { "velocity", p.velocity, 3 }, { "acceleration", p.acceleration, 3 } });
}

AuxTeachParams QRobotSettings::teachAuxJoint()
{
    AuxTeachParams p{};
    ParameterDocuments::readArrays(d_func()->transport, QLatin1String(TeachAuxJointDocument),
                                   { { "velocity", p.velocity, 3 }, { "acceleration", p.acceleration, 3 } });
    return p;
}

bool QRobotSettings::setPlaybackAuxJoint(const AuxPlaybackParams &params)
{
    AuxPlaybackParams p = params;
    return ParameterDocuments::writeArrays(
        d_func()->transport, QLatin1String(PlaybackAuxJointDocument),
        { { "velocity", p.velocity, 3 }, { "acceleration", p.acceleration, 3 }, { "jerk", p.jerk, 3 } });
}

AuxPlaybackParams QRobotSettings::playbackAuxJoint()
{
    AuxPlaybackParams p{};
    ParameterDocuments::readArrays(
        d_func()->transport, QLatin1String(PlaybackAuxJointDocument),
        { { "velocity", p.velocity, 3 }, { "acceleration", p.acceleration, 3 }, { "jerk", p.jerk, 3 } });
    return p;
}

bool QRobotSettings::setHasAuxJoint(bool hasAuxJoint)
{
    const QJsonObject document{ { QStringLiteral("value"), hasAuxJoint } };
    return ControllerIO::writeObject(d_func()->transport, QLatin1String(HasAuxJointDocument), document);
}

bool QRobotSettings::hasAuxJoint(bool &hasAuxJoint)
{
    hasAuxJoint = false;
    return ControllerIO::readObject(
        d_func()->transport, QLatin1String(HasAuxJointDocument),
        [&](const QJsonObject &document) { ControllerIO::take(document, "value", hasAuxJoint); },
        LogText("hasAuxJoint_getParaError"));
}

bool QRobotSettings::setDefaultLimits(const DefaultLimits &limits)
{
    DefaultLimits l = limits;
    QJsonObject document;
    for (const ParameterDocuments::LimitBranch &branch : ParameterDocuments::limitBranches(l)) {
        if (branch.count == 0) {
            ParameterDocuments::insertAt(document, branch.path, ParameterDocuments::limitObject(*branch.limits));
            continue;
        }
        QJsonArray array;
        for (int i = 0; i < branch.count; ++i)
            array.append(ParameterDocuments::limitObject(branch.limits[i]));
        ParameterDocuments::insertAt(document, branch.path, array);
    }
    QJsonObject drag;
    for (int i = 0; i < 6; ++i)
        drag.insert(dragWriteKey(i), ParameterDocuments::limitObject(l.dragSensitivity[i]));
    document.insert(QLatin1String(DragSensitivityKey), drag);
    return ControllerIO::writeObject(d_func()->transport, QLatin1String(LimitsDocument), document);
}

bool QRobotSettings::defaultLimits(DefaultLimits &limits)
{
    limits = DefaultLimits{};
    QJsonObject document;
    if (!readJsonObject(d_func()->transport, LimitsDocument, &document))
        return false;
    for (const ParameterDocuments::LimitBranch &branch : ParameterDocuments::limitBranches(limits)) {
        const QJsonValue value = ParameterDocuments::valueAt(document, branch.path);
        if (branch.count == 0) {
            ParameterDocuments::takeLimit(value, *branch.limits);
            continue;
        }
        // At most `count` elements: a longer array never writes past the branch.
        const QJsonArray array = value.toArray();
        const int count = qMin(int(array.size()), branch.count);
        for (int i = 0; i < count; ++i)
            ParameterDocuments::takeLimit(array.at(i), branch.limits[i]);
    }
    const QJsonObject drag = document.value(QLatin1String(DragSensitivityKey)).toObject();
    for (int i = 0; i < 6; ++i) {
        auto it = drag.constFind(dragReadKey(i));
        if (it == drag.constEnd())
            it = drag.constFind(dragWriteKey(i));
        if (it != drag.constEnd())
            ParameterDocuments::takeLimit(it.value(), limits.dragSensitivity[i]);
    }
    return true;
}

bool QRobotSettings::setManualCommon(QRobotType::Common common)
{
    const QJsonObject body{ { QStringLiteral("ratio"), double(common.ratio) } };
    return ControllerIO::post(d_func()->transport, QStringLiteral("/interface/manualCommon"), body,
                              LogText(SetManualCommonSignature, "postError"));
}

bool QRobotSettings::getManualCommon(QRobotType::Common &common)
{
    ControllerIO::log(LogText(GetManualCommonSignature));
    return ControllerIO::get(
        d_func()->transport, QStringLiteral("/interface/manualCommon"),
        [&](const QJsonObject &reply) { ControllerIO::take(reply, "ratio", common.ratio); },
        LogText(GetManualCommonSignature, "getError"));
}

void QRobotSettings::emergencyStop(bool value)
{
    const QJsonObject body{ { QStringLiteral("value"), value } };
    ControllerIO::post(d_func()->transport, QStringLiteral("/panel/%1").arg(QLatin1String("emergencyStop")), body);
}

bool QRobotSettings::getProjState(QRobotType::ScriptState &scriptState)
{
    return ControllerIO::get(
        d_func()->transport, QStringLiteral("/debugger/state"),
        [&](const QJsonObject &reply) {
            const QString value = reply.value(QLatin1String("value")).toString();
            if (value == QLatin1String("stop") || value == QLatin1String("stopped") || value.isEmpty())
                scriptState.state = QRobotType::ScriptStopped;
            else if (value == QLatin1String("pause"))
                scriptState.state = QRobotType::ScriptPaused;
            else if (value == QLatin1String("run") || value == QLatin1String("running"))
                scriptState.state = QRobotType::ScriptRunning;
            scriptState.projectName = reply.value(QLatin1String("prjname")).toString();
        },
        LogText(GetProjStateSignature, "getError"));
}
