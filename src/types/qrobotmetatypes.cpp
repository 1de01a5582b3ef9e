#include "types/qrobotmetatypes.h"

#include "Varlo/qrobotcoor.h"
#include "Varlo/qrobottype.h"

namespace {

bool registerAll()
{
    qRegisterMetaType<QRobotType::ControlMode>();
    qRegisterMetaType<QRobotType::Coordinate>();
    qRegisterMetaType<QRobotType::JogMode>();
    qRegisterMetaType<QRobotType::AutoManual>();
    qRegisterMetaType<QRobotType::JointCoordinate>();
    qRegisterMetaType<QRobotType::CartesianCoordinate>();
    qRegisterMetaType<QRobotType::AuxJoint>();
    qRegisterMetaType<QRobotType::Alarms>();
    qRegisterMetaType<QRobotType::IO>();
    qRegisterMetaType<QRobotType::ExtendIO>();
    qRegisterMetaType<QRobotType::RDNCoordinate>();
    // An alias of int: signals name it, so the name must be known too.
    qRegisterMetaType<QRobotType::ArmOrientation>("QRobotType::ArmOrientation");

    qRegisterMetaType<QRobotCoor::DragMode>();
    qRegisterMetaType<QRobotCoor::ControllerParams>();
    qRegisterMetaType<QRobotCoor::JointCurrent>();
    qRegisterMetaType<QRobotCoor::JointVoltage>();
    qRegisterMetaType<QRobotCoor::JointTemp>();
    qRegisterMetaType<QRobotCoor::ExEndAI>();
    qRegisterMetaType<QRobotCoor::ExGPIOAI>();
    return true;
}

} // namespace

void registerRobotStateMetaTypes()
{
    static const bool registered = registerAll();
    Q_UNUSED(registered);
}
