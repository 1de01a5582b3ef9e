#ifndef VARLOQT_H
#define VARLOQT_H

// The library's C++ interface for Qt hosts, whole: the facade QRobot, one per
// controller, and the components it owns with their records.
//
//     #include <Varlo/varloqt.h>
//
//     QRobot robot;
//     robot.initialize();
//     robot.setHostIP("192.168.1.6");
//     QObject::connect(&robot, &QRobot::connectionChanged, ...);
//
// The plain C functions of Varlo.h use a facade of their own and are not
// disturbed by the facades a host creates.
#include "Varlo/qhttpmanager.h"
#include "Varlo/qpanelsimulator.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobotconnection.h"
#include "Varlo/qrobotdebugger.h"
#include "Varlo/qrobotprotocol.h"
#include "Varlo/qrobotsettings.h"
#include "Varlo/qserialmanager.h"

#endif // VARLOQT_H
