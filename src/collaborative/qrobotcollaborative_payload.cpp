// Payload, force sensing and mounting: what the arm carries, how its base is
// mounted, and the six-axis force sensor.
#include "collaborative/qrobotcollaborative.h"
#include "collaborative/qrobotcollaborative_p.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

using ControllerIO::LogText;
using ControllerIO::take;

namespace {

const QString LoadDocument = QStringLiteral("/settings/function/loadParams");
const char LoadSetError[] = "loadParams_setParaError";
const char LoadGetError[] = "loadParams_getParaError";

// The payload's x, y, z under the keys of one set (centre or inertia).
struct LoadKeys
{
    const char *x;
    const char *y;
    const char *z;
};

const LoadKeys CenterKeys = { "centerX", "centerY", "centerZ" };
const LoadKeys InertiaKeys = { "inertiaX", "inertiaY", "inertiaZ" };

// Each payload setter sends its own keys only.
QJsonObject loadObject(const QRobotCoor::Load &load, const LoadKeys &keys)
{
    return QJsonObject{
        { QLatin1String(keys.x), double(load.x) },
        { QLatin1String(keys.y), double(load.y) },
        { QLatin1String(keys.z), double(load.z) },
        { QStringLiteral("loadValue"), double(load.loadValue) },
    };
}

void takeLoad(const QJsonObject &object, const LoadKeys &keys, QRobotCoor::Load &load)
{
    take(object, keys.x, load.x);
    take(object, keys.y, load.y);
    take(object, keys.z, load.z);
}

} // namespace

bool QRobotCollaborative::setLoadCenter(const QRobotCoor::Load &load)
{
    Q_D(QRobotCollaborative);
    if (!ControllerIO::writeObject(d->transport, LoadDocument, loadObject(load, CenterKeys), LoadSetError))
        return false;
    // The controller takes the new payload into use on this request; the
    // document is written either way, so its answer does not change the result.
    ControllerIO::post(d->transport, QStringLiteral("/settings/function/setLoad"), QJsonObject());
    return true;
}

bool QRobotCollaborative::getLoadCenter(QRobotCoor::Load &load)
{
    return ControllerIO::readObject(d_func()->transport, LoadDocument, [&](const QJsonObject &object) {
        takeLoad(object, CenterKeys, load);
        take(object, "loadValue", load.loadValue);
    }, LoadGetError);
}

bool QRobotCollaborative::setLoadInertia(const QRobotCoor::Load &load)
{
    return ControllerIO::writeObject(d_func()->transport, LoadDocument, loadObject(load, InertiaKeys), LoadSetError);
}

bool QRobotCollaborative::getLoadInertia(QRobotCoor::Load &load)
{
    return ControllerIO::readObject(d_func()->transport, LoadDocument, [&](const QJsonObject &object) {
        takeLoad(object, InertiaKeys, load);
        take(object, "loadValue", load.loadValue);
    }, LoadGetError);
}

bool QRobotCollaborative::getControllerLoad(QRobotCoor::Load &load)
{
    load = QRobotCoor::Load{ 0.0f, 0.0f, 0.0f, 0.0f };
    return ControllerIO::get(d_func()->transport, LoadDocument, [&](const QJsonObject &reply) {
        // When the controller reports both sets, the centre wins.
        takeLoad(reply, InertiaKeys, load);
        takeLoad(reply, CenterKeys, load);
        take(reply, "loadValue", load.loadValue);
    }, LogText("bool QRobotCollaborative::getControllerLoad(QRobotCoor::Load&)", "getError"));
}

bool QRobotCollaborative::setForceSensor(bool value)
{
    return ControllerIO::writeObject(d_func()->transport, QStringLiteral("/process/sixForce/switch"),
                                     QJsonObject{ { QStringLiteral("value"), value } },
                                     LogText("bool QRobotCollaborative::setForceSensor(bool)", "setParaError"));
}

bool QRobotCollaborative::getForceSensor(bool &value)
{
    return ControllerIO::readObject(d_func()->transport, QStringLiteral("/process/sixForce/switch"),
                                    [&](const QJsonObject &object) { take(object, "value", value); },
                                    LogText("bool QRobotCollaborative::getForceSensor(bool&)", "getParaError"));
}

bool QRobotCollaborative::getForceData(float values[6])
{
    return ControllerIO::get(d_func()->transport, QStringLiteral("/process/sixForce/data"),
                             [&](const QJsonObject &reply) { ControllerIO::takeArray(reply, "value", values, 6); });
}

bool QRobotCollaborative::setForceHome()
{
    return ControllerIO::post(d_func()->transport, QStringLiteral("/process/sixForce/home"), QJsonObject(),
                              "sixForceHome_postError");
}

bool QRobotCollaborative::setTorqueParams(float value)
{
    return ControllerIO::writeObject(d_func()->transport, QStringLiteral("/settings/torqueParams"),
                                     QJsonObject{ { QStringLiteral("value"), double(value) } },
                                     "torqueParams_setParaError");
}

bool QRobotCollaborative::getTorqueParams(float &value)
{
    return ControllerIO::readObject(d_func()->transport, QStringLiteral("/settings/torqueParams"),
                                    [&](const QJsonObject &object) { take(object, "value", value); },
                                    "torqueParams_getParaError");
}

bool QRobotCollaborative::setInstallPosture(QRobotCoor::InstallPosture posture)
{
    const QJsonObject object{
        { QStringLiteral("SlopeAngle"), double(posture.SlopeAngle) },
        { QStringLiteral("RotationAngle"), double(posture.RotationAngle) },
    };
    return ControllerIO::writeObject(
        d_func()->transport, QStringLiteral("/settings/function/install"), object,
        LogText("bool QRobotCollaborative::setInstallPosture(QRobotCoor::InstallPosture)", "setParaError"));
}

bool QRobotCollaborative::getInstallPosture(QRobotCoor::InstallPosture &posture)
{
    return ControllerIO::readObject(
        d_func()->transport, QStringLiteral("/settings/function/install"),
        [&](const QJsonObject &object) {
            take(object, "SlopeAngle", posture.SlopeAngle);
            take(object, "RotationAngle", posture.RotationAngle);
        },
        LogText("bool QRobotCollaborative::getInstallPosture(QRobotCoor::InstallPosture&)", "getParaError"));
}

bool QRobotCollaborative::calcInstall(const float pose[6], QRobotCoor::InstallPosture &result)
{
    const QJsonObject body{ { QStringLiteral("cartesianCoord"), ControllerIO::toArray(pose, 6) } };
    QJsonObject reply;
    if (!ControllerIO::post(d_func()->transport, QStringLiteral("/settings/calcInstall"), body,
                            "calcInstall_postError", &reply))
        return false;
    take(reply, "SlopeAngle", result.SlopeAngle);
    take(reply, "RotationAngle", result.RotationAngle);
    return true;
}

namespace {

using QRobotCoor::DragSensivity;

const struct
{
    const char *key;
    int32_t DragSensivity::*field;
} Joints[6] = {
    { "j1", &DragSensivity::j1 }, { "j2", &DragSensivity::j2 }, { "j3", &DragSensivity::j3 },
    { "j4", &DragSensivity::j4 }, { "j5", &DragSensivity::j5 }, { "j6", &DragSensivity::j6 },
};

} // namespace

bool QRobotCollaborative::setDragSensivity(QRobotCoor::DragSensivity sensivity)
{
    QJsonObject object;
    for (const auto &joint : Joints)
        object.insert(QLatin1String(joint.key), int(sensivity.*joint.field));
    return ControllerIO::writeObject(
        d_func()->transport, QStringLiteral("/settings/function/dragSensivity"), object,
        LogText("bool QRobotCollaborative::setDragSensivity(QRobotCoor::DragSensivity)", "setParaError"));
}

bool QRobotCollaborative::getDragSensivity(QRobotCoor::DragSensivity &sensivity)
{
    return ControllerIO::readObject(
        d_func()->transport, QStringLiteral("/settings/function/dragSensivity"),
        [&](const QJsonObject &object) {
            for (const auto &joint : Joints)
                take(object, joint.key, sensivity.*joint.field);
        },
        LogText("bool QRobotCollaborative::getDragSensivity(QRobotCoor::DragSensivity&)", "getParaError"));
}
