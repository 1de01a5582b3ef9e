#ifndef VARLO_BRIDGE_STOPPING_H
#define VARLO_BRIDGE_STOPPING_H

#include <Varlo/qrobot.h>

// Stops what the arm does: releases the jog buttons and tells the controller
// to stop its motions (a motion command whose "value" is false), the current
// joints as the target so that a controller ignoring "value" stays put. True
// when the controller answered.
bool stopMotion(QRobot &robot);

#endif // VARLO_BRIDGE_STOPPING_H
