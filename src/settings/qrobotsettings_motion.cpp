// Motion commands, their status queries and the controller's kinematics.
#include "Varlo/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/documentbinding.h"
#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

namespace {

QJsonArray numbers(const float *values, int count)
{
    return ControllerIO::toArray(values, count);
}

// The keys that every Cartesian target carries: the pose and the frames and
// configuration it is meant in.
template <typename Target>
std::vector<ControllerIO::Field<Target>> targetFields()
{
    return { { "x", &Target::x },       { "y", &Target::y },       { "z", &Target::z }, { "a", &Target::a },
             { "b", &Target::b },       { "c", &Target::c },       { "tool", &Target::tool },
             { "user", &Target::user }, { "r", &Target::r },       { "d", &Target::d },
             { "n", &Target::n },       { "cfg", &Target::cfg } };
}

std::vector<ControllerIO::Field<AuxMotionTarget>> auxTargetFields()
{
    std::vector<ControllerIO::Field<AuxMotionTarget>> fields = targetFields<AuxMotionTarget>();
    fields.insert(fields.end(), { { "aux1", &AuxMotionTarget::aux1 },
                                  { "aux2", &AuxMotionTarget::aux2 },
                                  { "aux3", &AuxMotionTarget::aux3 },
                                  { "armOrientation", &AuxMotionTarget::armOrientation } });
    return fields;
}

const ControllerIO::Fields<MotionTarget> TargetFields(targetFields<MotionTarget>());
const ControllerIO::Fields<AuxMotionTarget> AuxTargetFields(auxTargetFields());

QJsonObject offsetBody(float offsetX, float offsetY, float offsetZ)
{
    return QJsonObject{ { QStringLiteral("offsetX"), double(offsetX) },
                        { QStringLiteral("offsetY"), double(offsetY) },
                        { QStringLiteral("offsetZ"), double(offsetZ) } };
}

// The shape of the four status queries.
bool motionState(QHttpManager *transport, const char *path, bool &value, bool &isAlarms)
{
    return ControllerIO::get(transport, QLatin1String(path), [&](const QJsonObject &reply) {
        ControllerIO::take(reply, "value", value);
        ControllerIO::take(reply, "isAlarms", isAlarms);
    });
}

// The shape of the two solvers: the six results of `resultKey`, or nothing.
bool solve(QHttpManager *transport, const char *path, const QJsonObject &body, const char *failureLog,
           const char *resultKey, float *result)
{
    bool solved = false;
    const bool ok = ControllerIO::post(transport, QLatin1String(path), body, [&](const QJsonObject &reply) {
        const auto it = reply.constFind(QLatin1String(resultKey));
        if (it == reply.constEnd())
            return;
        QRobotJson::readFloats(it.value(), result, 6);
        solved = true;
    }, failureLog);
    return ok && solved;
}

} // namespace

bool QRobotSettings::go(const MotionTarget &target, const QString &mode, bool value)
{
    QJsonObject body = TargetFields.toJson(target);
    body.insert(QStringLiteral("armOrientation"),
                target.armOrientation == 0 ? QStringLiteral("left") : QStringLiteral("right"));
    body.insert(QStringLiteral("mode"), mode);
    body.insert(QStringLiteral("value"), value);
    return ControllerIO::post(d->transport, QStringLiteral("/interface/go"), body);
}

bool QRobotSettings::moveJ(const QRobotType::JointCoordinate &joint, bool value)
{
    const QJsonObject body{ { QStringLiteral("joint"), numbers(joint.joint, 6) },
                            { QStringLiteral("value"), value } };
    return ControllerIO::post(d->transport, QStringLiteral("/interface/moveJ"), body);
}

bool QRobotSettings::goR(float offsetX, float offsetY, float offsetZ)
{
    return ControllerIO::post(d->transport, QStringLiteral("/interface/goR"), offsetBody(offsetX, offsetY, offsetZ));
}

bool QRobotSettings::moveR(float offsetX, float offsetY, float offsetZ)
{
    return ControllerIO::post(d->transport, QStringLiteral("/interface/moveR"), offsetBody(offsetX, offsetY, offsetZ));
}

bool QRobotSettings::auxGo(const AuxMotionTarget &target, const QString &mode, bool value)
{
    QJsonObject body = AuxTargetFields.toJson(target);
    body.insert(QStringLiteral("mode"), mode);
    body.insert(QStringLiteral("value"), value);
    return ControllerIO::post(d->transport, QStringLiteral("/interface/auxGo"), body);
}

bool QRobotSettings::goState(bool &value, bool &isAlarms)
{
    return motionState(d->transport, "/interface/go", value, isAlarms);
}

bool QRobotSettings::moveJState(bool &value, bool &isAlarms)
{
    return motionState(d->transport, "/interface/moveJ", value, isAlarms);
}

bool QRobotSettings::goRState(bool &value, bool &isAlarms)
{
    return motionState(d->transport, "/interface/goR", value, isAlarms);
}

bool QRobotSettings::moveRState(bool &value, bool &isAlarms)
{
    return motionState(d->transport, "/interface/moveR", value, isAlarms);
}

bool QRobotSettings::positiveSolution(const QRobotType::JointCoordinate &joint, int tool, int user,
                                      QRobotType::CartesianCoordinate &coordinate)
{
    const QJsonObject body{ { QStringLiteral("joint"), numbers(joint.joint, 6) },
                            { QStringLiteral("user"), user },
                            { QStringLiteral("tool"), tool } };
    return solve(d->transport, "/interface/positiveSolution", body, "positiveSolution_postError", "coordinate",
                 coordinate.pose);
}

bool QRobotSettings::inverseSolution(const QRobotType::CartesianCoordinate &coordinate,
                                     const QRobotType::RDNCoordinate &rdn, int tool, int user,
                                     QRobotType::JointCoordinate &joint)
{
    const QJsonObject body{ { QStringLiteral("coordinate"), numbers(coordinate.pose, 6) },
                            { QStringLiteral("r"), int(rdn.rdn[0]) },
                            { QStringLiteral("d"), int(rdn.rdn[1]) },
                            { QStringLiteral("n"), int(rdn.rdn[2]) },
                            { QStringLiteral("cfg"), int(rdn.rdn[3]) },
                            { QStringLiteral("user"), user },
                            { QStringLiteral("tool"), tool } };
    return solve(d->transport, "/interface/inverseSolution", body, "inverseSolution_postError", "joint", joint.joint);
}
