#ifndef MOTIONHOST_H
#define MOTIONHOST_H

// What the motion export tests share: the five blocking exports by name, with
// the routes of their command and status query.
#include "Varlo.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace MotionHost {

inline const QStringList &exportNames()
{
    static const QStringList names{ "MovJ", "MovL", "JointMovJ", "RelMovJ", "RelMovL" };
    return names;
}

inline QString routeOf(const QString &name)
{
    if (name == QLatin1String("MovJ") || name == QLatin1String("MovL"))
        return QStringLiteral("/interface/go");
    if (name == QLatin1String("JointMovJ"))
        return QStringLiteral("/interface/moveJ");
    if (name == QLatin1String("RelMovJ"))
        return QStringLiteral("/interface/goR");
    return QStringLiteral("/interface/moveR");
}

inline VarloRunCmd sampleCmd()
{
    VarloRunCmd cmd;
    cmd.x = 100.5f;
    cmd.y = -20.25f;
    cmd.z = 300;
    cmd.a = 180;
    cmd.b = 0;
    cmd.c = -90;
    cmd.tool = 1;
    cmd.user = 2;
    cmd.r = 1;
    cmd.d = 0;
    cmd.n = 1;
    cmd.cfg = 3;
    cmd.armOrientation = 1;
    return cmd;
}

// Calls the export `name` with sample arguments.
inline int32_t call(const QString &name, bool isBlock)
{
    const VarloRunCmd cmd = sampleCmd();
    const float joint[6] = { 1, 2, 3, 4, 5, 6 };
    const float offset[3] = { 10, -20, 30 };
    if (name == QLatin1String("MovJ"))
        return MovJ(&cmd, isBlock);
    if (name == QLatin1String("MovL"))
        return MovL(&cmd, isBlock);
    if (name == QLatin1String("JointMovJ"))
        return JointMovJ(joint, isBlock);
    if (name == QLatin1String("RelMovJ"))
        return RelMovJ(offset, isBlock);
    return RelMovL(offset, isBlock);
}

} // namespace MotionHost

#endif // MOTIONHOST_H
