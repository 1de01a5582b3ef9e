#ifndef VARLO_ARMSWATCH_H
#define VARLO_ARMSWATCH_H

#include "armlist.h"
#include "cli.h"

// Follows `arms` until Ctrl-C, SIGTERM or `count` updates (0: no limit): one
// line per arm (name, online/STALE/offline, mode, alarms, joints or pose with
// --pose, the script), or with --json one object per line with "arm".
int watchArms(Invocation &cli, const QList<ArmEntry> &arms, int count);

#endif // VARLO_ARMSWATCH_H
