#include "stopping.h"

#include <Varlo/qpanelsimulator.h>
#include <Varlo/qrobotprotocol.h>
#include <Varlo/qrobotsettings.h>


bool stopMotion(QRobot &robot)
{
    if (!robot.settings() || !robot.panel())
        return false;
    bool released[6] = {};
    robot.panel()->switchJogButtons(released, released);
    return robot.settings()->moveJ(robot.protocol()->jointCoordinate(), false);
}

