// Motion parameter documents, the live ratio of manual motion, the panel
// emergency stop and the state of the controller's script.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

using ControllerIO::ArrayDocument;
using ControllerIO::Document;
using ControllerIO::Field;
using ControllerIO::Fields;
using ControllerIO::LogText;
using ControllerIO::Logs;
using QRobotType::Common;
using QRobotType::TeachInch;

namespace {

const char GetManualCommonSignature[] = "bool QRobotSettings::getManualCommon(QRobotType::Common&)";

// The identity of the controller: a document of the other kind is no answer.
const Document<ControllerType> ControllerTypeDocument{
    "/properties/controllerType",
    { { "version", &ControllerType::version }, { "name", &ControllerType::name } },
    Logs(), ControllerIO::OtherKind::Fails
};

const Document<Common> CommonDocument{ "/settings/common", { { "ratio", &Common::ratio } } };

const Fields<TeachParams> TeachFields{ { "velocity", &TeachParams::velocity },
                                       { "acceleration", &TeachParams::acceleration } };
const Document<TeachParams> TeachJoint{ "/settings/teach/joint", TeachFields };
const Document<TeachParams> TeachCoordinate{ "/settings/teach/coordinate", TeachFields };

const Document<TeachInch> TeachInchDocument{
    "/settings/teach/inch", { { "distance", &TeachInch::distance }, { "angle", &TeachInch::angle } },
    Logs{ {}, { "bool QRobotSettings::setTeachInch(const QRobotType::TeachInch&)", "setParaError" } }
};

const Document<PlaybackJointParams> PlaybackJoint{
    "/settings/playback/joint",
    { { "velocity", &PlaybackJointParams::velocity }, { "acceleration", &PlaybackJointParams::acceleration },
      { "jerk", &PlaybackJointParams::jerk } }
};
const Document<PlaybackCoordinateParams> PlaybackCoordinate{
    "/settings/playback/coordinate",
    { { "velocity", &PlaybackCoordinateParams::velocity },
      { "acceleration", &PlaybackCoordinateParams::acceleration }, { "jerk", &PlaybackCoordinateParams::jerk } }
};
const Document<AuxTeachParams> TeachAuxJoint{
    "/settings/teach/auxJoint",
    { { "velocity", &AuxTeachParams::velocity }, { "acceleration", &AuxTeachParams::acceleration } }
};
const Document<AuxPlaybackParams> PlaybackAuxJoint{
    "/settings/playback/auxJoint",
    { { "velocity", &AuxPlaybackParams::velocity }, { "acceleration", &AuxPlaybackParams::acceleration },
      { "jerk", &AuxPlaybackParams::jerk } }
};

// Element i of the array document is profile i.
const ArrayDocument<ArchEntry> PlaybackArch{
    "/settings/playback/arch",
    { { "enable", &ArchEntry::enable },
      { "params", Fields<ArchEntry>{ { "startHeight", &ArchEntry::startHeight },
                                     { "endHeight", &ArchEntry::endHeight },
                                     { "zLimit", &ArchEntry::zLimit } } } }
};

const ControllerIO::ValueDocument<bool> HasAuxJoint{ "/settings/function/hasAuxJoint", "value",
                                                     Logs{ "hasAuxJoint_getParaError", {} } };

// The limits document: a limit object {"def", "max", "min"} per value, in
// arrays of up to six per joint.
using Limits = DefaultLimits;
const Fields<LimitTriple> Limit{ { "def", &LimitTriple::def }, { "max", &LimitTriple::max }, { "min", &LimitTriple::min } };

// The drag sensitivity of joint i: the controller's documents use "j1" to
// "j6", the library has always written "J1" to "J6". Reading takes both and
// the controller's spelling, read last, wins; a document written here reads
// back as written.
Fields<Limits> dragSensitivityFields()
{
    std::vector<Field<Limits>> fields;
    for (const char *spelling : { "J", "j" }) {
        for (int i = 0; i < 6; ++i) {
            Field<Limits> field(
                QLatin1String(spelling) + QString::number(i + 1),
                [i](const QJsonValue &v, Limits &l) { Limit.read(v.toObject(), l.dragSensitivity[i]); },
                [i](const Limits &l) { return QJsonValue(Limit.toJson(l.dragSensitivity[i])); });
            fields.push_back(*spelling == 'J' ? field : field.readOnly());
        }
    }
    return Fields<Limits>(fields);
}

const Document<Limits> LimitsDocument{
    "/properties/default",
    { { "common", Fields<Limits>{ { "ratio", &Limits::commonRatio, Limit } } },
      { "teach",
        Fields<Limits>{
            { "joint", Fields<Limits>{ { "velocity", &Limits::teachJointVelocity, Limit },
                                       { "acceleration", &Limits::teachJointAcceleration, Limit } } },
            { "coordinate", Fields<Limits>{ { "velocity", &Limits::teachCoordinateVelocity, Limit },
                                            { "acceleration", &Limits::teachCoordinateAcceleration, Limit } } } } },
      { "playback",
        Fields<Limits>{
            { "joint", Fields<Limits>{ { "velocity", &Limits::playbackJointVelocity, Limit },
                                       { "acceleration", &Limits::playbackJointAcceleration, Limit },
                                       { "jerk", &Limits::playbackJointJerk, Limit } } },
            { "coordinate", Fields<Limits>{ { "velocity", &Limits::playbackCoordinateVelocity, Limit },
                                            { "acceleration", &Limits::playbackCoordinateAcceleration, Limit },
                                            { "jerk", &Limits::playbackCoordinateJerk, Limit } } },
            { "arch", Fields<Limits>{ { "startHeight", &Limits::archStartHeight, Limit },
                                      { "endHeight", &Limits::archEndHeight, Limit },
                                      { "zLimit", &Limits::archZLimit, Limit } } } } },
      { "dragSensivity", dragSensitivityFields() } },
    Logs(), ControllerIO::OtherKind::Fails
};

// The live ratio of manual motion.
const ControllerIO::Command<Common> ManualCommon{ "/interface/manualCommon",
                                                  { { "ratio", &Common::ratio } },
                                                  { "bool QRobotSettings::setManualCommon(QRobotType::Common)",
                                                    "postError" },
                                                  { GetManualCommonSignature, "getError" } };

const char GetProjStateSignature[] = "bool QRobotSettings::getProjState(QRobotType::ScriptState&)";

// The readers start from a record of zeros: whatever the document lacks reads 0.
template <typename Record>
Record readRecord(const Document<Record> &document, QHttpManager *transport)
{
    Record record{};
    document.read(transport, record);
    return record;
}

} // namespace

bool QRobotSettings::controllerType(ControllerType &type) { return ControllerTypeDocument.read(transport(), type); }

bool QRobotSettings::setCommonRatio(float ratio) { return CommonDocument.write(transport(), Common{ ratio }); }

float QRobotSettings::commonRatio()
{
    Common common{ 0 };
    CommonDocument.read(transport(), common);
    return common.ratio;
}

bool QRobotSettings::setTeachJoint(const TeachParams &params) { return TeachJoint.write(transport(), params); }
TeachParams QRobotSettings::teachJoint() { return readRecord(TeachJoint, transport()); }
bool QRobotSettings::setTeachCoordinate(const TeachParams &p) { return TeachCoordinate.write(transport(), p); }
TeachParams QRobotSettings::teachCoordinate() { return readRecord(TeachCoordinate, transport()); }
bool QRobotSettings::setTeachInch(const TeachInch &inch) { return TeachInchDocument.write(transport(), inch); }
TeachInch QRobotSettings::teachInch() { return readRecord(TeachInchDocument, transport()); }
bool QRobotSettings::setPlaybackJoint(const PlaybackJointParams &p) { return PlaybackJoint.write(transport(), p); }
PlaybackJointParams QRobotSettings::playbackJoint() { return readRecord(PlaybackJoint, transport()); }

bool QRobotSettings::setPlaybackCoordinate(const PlaybackCoordinateParams &params)
{
    return PlaybackCoordinate.write(transport(), params);
}

PlaybackCoordinateParams QRobotSettings::playbackCoordinate() { return readRecord(PlaybackCoordinate, transport()); }

bool QRobotSettings::setPlaybackArch(const ArchTable &table)
{
    return PlaybackArch.write(transport(), table.entry, ArchTable::Size);
}

ArchTable QRobotSettings::playbackArch()
{
    ArchTable table{};
    PlaybackArch.read(transport(), table.entry, ArchTable::Size);
    return table;
}

bool QRobotSettings::setTeachAuxJoint(const AuxTeachParams &params) { return TeachAuxJoint.write(transport(), params); }
AuxTeachParams QRobotSettings::teachAuxJoint() { return readRecord(TeachAuxJoint, transport()); }

bool QRobotSettings::setPlaybackAuxJoint(const AuxPlaybackParams &params)
{
    return PlaybackAuxJoint.write(transport(), params);
}

AuxPlaybackParams QRobotSettings::playbackAuxJoint() { return readRecord(PlaybackAuxJoint, transport()); }

bool QRobotSettings::setHasAuxJoint(bool hasAuxJoint) { return HasAuxJoint.write(transport(), hasAuxJoint); }

bool QRobotSettings::hasAuxJoint(bool &hasAuxJoint)
{
    hasAuxJoint = false;
    return HasAuxJoint.read(transport(), hasAuxJoint);
}

bool QRobotSettings::setDefaultLimits(const DefaultLimits &limits) { return LimitsDocument.write(transport(), limits); }

bool QRobotSettings::defaultLimits(DefaultLimits &limits)
{
    limits = DefaultLimits{};
    return LimitsDocument.read(transport(), limits);
}

bool QRobotSettings::setManualCommon(QRobotType::Common common) { return ManualCommon.post(transport(), common); }

bool QRobotSettings::getManualCommon(QRobotType::Common &common)
{
    ControllerIO::log(LogText(GetManualCommonSignature));
    return ManualCommon.get(transport(), common);
}

void QRobotSettings::emergencyStop(bool value)
{
    const QJsonObject body{ { QStringLiteral("value"), value } };
    ControllerIO::post(transport(), QStringLiteral("/panel/%1").arg(QLatin1String("emergencyStop")), body);
}

bool QRobotSettings::getProjState(QRobotType::ScriptState &scriptState)
{
    return ControllerIO::get(
        transport(), QStringLiteral("/debugger/state"),
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
