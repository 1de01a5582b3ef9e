// Motion commands, their status queries and the controller's kinematics.
#include "settings/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

namespace {

QJsonArray numbers(const float *values, int count)
{
    return ControllerIO::toArray(values, count);
}

// The keys that every Cartesian target carries.
void insertCartesian(QJsonObject &body, float x, float y, float z, float a, float b, float c)
{
    body.insert(QStringLiteral("x"), double(x));
    body.insert(QStringLiteral("y"), double(y));
    body.insert(QStringLiteral("z"), double(z));
    body.insert(QStringLiteral("a"), double(a));
    body.insert(QStringLiteral("b"), double(b));
    body.insert(QStringLiteral("c"), double(c));
}

void insertConfiguration(QJsonObject &body, qint32 tool, qint32 user, qint32 r, qint32 d, qint32 n, qint32 cfg)
{
    body.insert(QStringLiteral("tool"), int(tool));
    body.insert(QStringLiteral("user"), int(user));
    body.insert(QStringLiteral("r"), int(r));
    body.insert(QStringLiteral("d"), int(d));
    body.insert(QStringLiteral("n"), int(n));
    body.insert(QStringLiteral("cfg"), int(cfg));
}

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
    QJsonObject reply;
    if (!ControllerIO::post(transport, QLatin1String(path), body, ControllerIO::LogText(failureLog), &reply))
        return false;
    const auto it = reply.constFind(QLatin1String(resultKey));
    if (it == reply.constEnd())
        return false;
    QRobotJson::readFloats(it.value(), result, 6);
    return true;
}

} // namespace

bool QRobotSettings::go(const MotionTarget &target, const QString &mode, bool value)
{
    QJsonObject body;
    insertCartesian(body, target.x, target.y, target.z, target.a, target.b, target.c);
    insertConfiguration(body, target.tool, target.user, target.r, target.d, target.n, target.cfg);
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
    QJsonObject body;
    insertCartesian(body, target.x, target.y, target.z, target.a, target.b, target.c);
    body.insert(QStringLiteral("aux1"), double(target.aux1));
    body.insert(QStringLiteral("aux2"), double(target.aux2));
    body.insert(QStringLiteral("aux3"), double(target.aux3));
    insertConfiguration(body, target.tool, target.user, target.r, target.d, target.n, target.cfg);
    body.insert(QStringLiteral("armOrientation"), target.armOrientation);
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
