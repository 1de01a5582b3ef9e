#ifndef MOTIONTYPES_H
#define MOTIONTYPES_H

#include "Varlo.h"

#include <QtCore/QString>
#include <QtCore/QtGlobal>


// Targets of the motion commands. The Cartesian target of go() is the host's
// record itself (VarloType::RunCmd, 52 bytes): MovJ and MovL hand it over as
// it is. Its armOrientation is 0 for the left arm, any other value right.
using MotionTarget = VarloRunCmd;

// A Cartesian target with the three auxiliary axes. The arm orientation is
// sent as it is held ("left" or "right").
struct AuxMotionTarget
{
    float x = 0;
    float y = 0;
    float z = 0;
    float a = 0;
    float b = 0;
    float c = 0;
    float aux1 = 0;
    float aux2 = 0;
    float aux3 = 0;
    qint32 tool = 0;
    qint32 user = 0;
    qint32 r = 0;
    qint32 d = 0;
    qint32 n = 0;
    qint32 cfg = 0;
    QString armOrientation;
};

#endif // MOTIONTYPES_H
