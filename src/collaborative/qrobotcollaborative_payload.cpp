// Payload, force sensing and mounting: what the arm carries, how its base is
// mounted, and the six-axis force sensor.
#include "Varlo/qrobotcollaborative.h"
#include "transport/documentbinding.h"

using ControllerIO::Logs;
using QRobotCoor::DragSensivity;
using QRobotCoor::InstallPosture;
using QRobotCoor::Load;

namespace {

const char Collaborative[] = "QRobotCollaborative";

// One document holds the payload's mass and both its centre of mass and its
// inertia; each setter writes its own keys only.
const char LoadDocument[] = "/settings/function/loadParams";
const ControllerIO::Fields<Load> CenterFields{
    { "centerX", &Load::x }, { "centerY", &Load::y }, { "centerZ", &Load::z }, { "loadValue", &Load::loadValue }
};
const ControllerIO::Fields<Load> InertiaFields{
    { "inertiaX", &Load::x }, { "inertiaY", &Load::y }, { "inertiaZ", &Load::z }, { "loadValue", &Load::loadValue }
};
const ControllerIO::Document<Load> LoadCenter{ LoadDocument, CenterFields, Logs::words("loadParams") };
const ControllerIO::Document<Load> LoadInertia{ LoadDocument, InertiaFields, Logs::words("loadParams") };

const ControllerIO::ValueDocument<bool> ForceSensor{ "/process/sixForce/switch", "value",
                                                     Logs::signatures(Collaborative, "ForceSensor", "bool") };
const ControllerIO::ValueDocument<float> TorqueParams{ "/settings/torqueParams", "value",
                                                       Logs::words("torqueParams") };

const ControllerIO::Fields<InstallPosture> PostureFields{ { "SlopeAngle", &InstallPosture::SlopeAngle },
                                                          { "RotationAngle", &InstallPosture::RotationAngle } };
const ControllerIO::Document<InstallPosture> Install{
    "/settings/function/install", PostureFields,
    Logs::signatures(Collaborative, "InstallPosture", "QRobotCoor::InstallPosture")
};

const ControllerIO::Document<DragSensivity> DragSensitivity{
    "/settings/function/dragSensivity",
    { { "j1", &DragSensivity::j1 }, { "j2", &DragSensivity::j2 }, { "j3", &DragSensivity::j3 },
      { "j4", &DragSensivity::j4 }, { "j5", &DragSensivity::j5 }, { "j6", &DragSensivity::j6 } },
    Logs::signatures(Collaborative, "DragSensivity", "QRobotCoor::DragSensivity")
};

} // namespace

bool QRobotCollaborative::setLoadCenter(const QRobotCoor::Load &load)
{
    if (!LoadCenter.write(transport(), load))
        return false;
    // The controller takes the new payload into use on this request; the
    // document is written either way, so its answer does not change the result.
    ControllerIO::post(transport(), QStringLiteral("/settings/function/setLoad"), QJsonObject());
    return true;
}

bool QRobotCollaborative::getLoadCenter(QRobotCoor::Load &load) { return LoadCenter.read(transport(), load); }
bool QRobotCollaborative::setLoadInertia(const QRobotCoor::Load &load) { return LoadInertia.write(transport(), load); }
bool QRobotCollaborative::getLoadInertia(QRobotCoor::Load &load) { return LoadInertia.read(transport(), load); }

bool QRobotCollaborative::getControllerLoad(QRobotCoor::Load &load)
{
    load = QRobotCoor::Load{ 0.0f, 0.0f, 0.0f, 0.0f };
    return ControllerIO::get(transport(), QLatin1String(LoadDocument), [&](const QJsonObject &reply) {
        // When the controller reports both sets, the centre wins.
        InertiaFields.read(reply, load);
        CenterFields.read(reply, load);
    }, ControllerIO::LogText("bool QRobotCollaborative::getControllerLoad(QRobotCoor::Load&)", "getError"));
}

bool QRobotCollaborative::setForceSensor(bool value) { return ForceSensor.write(transport(), value); }
bool QRobotCollaborative::getForceSensor(bool &value) { return ForceSensor.read(transport(), value); }

bool QRobotCollaborative::getForceData(float values[6])
{
    return ControllerIO::get(transport(), QStringLiteral("/process/sixForce/data"),
                             [&](const QJsonObject &reply) { ControllerIO::takeArray(reply, "value", values, 6); });
}

bool QRobotCollaborative::setForceHome()
{
    return ControllerIO::post(transport(), QStringLiteral("/process/sixForce/home"), QJsonObject(),
                              "sixForceHome_postError");
}

bool QRobotCollaborative::setTorqueParams(float value) { return TorqueParams.write(transport(), value); }
bool QRobotCollaborative::getTorqueParams(float &value) { return TorqueParams.read(transport(), value); }

bool QRobotCollaborative::setInstallPosture(QRobotCoor::InstallPosture posture)
{
    return Install.write(transport(), posture);
}

bool QRobotCollaborative::getInstallPosture(QRobotCoor::InstallPosture &posture)
{
    return Install.read(transport(), posture);
}

bool QRobotCollaborative::calcInstall(const float pose[6], QRobotCoor::InstallPosture &result)
{
    const QJsonObject body{ { QStringLiteral("cartesianCoord"), ControllerIO::toArray(pose, 6) } };
    return ControllerIO::post(transport(), QStringLiteral("/settings/calcInstall"), body,
                              [&](const QJsonObject &reply) { PostureFields.read(reply, result); },
                              "calcInstall_postError");
}

bool QRobotCollaborative::setDragSensivity(QRobotCoor::DragSensivity sensivity)
{
    return DragSensitivity.write(transport(), sensivity);
}

bool QRobotCollaborative::getDragSensivity(QRobotCoor::DragSensivity &sensivity)
{
    return DragSensitivity.read(transport(), sensivity);
}
