#ifndef CONTROLLERPATHS_H
#define CONTROLLERPATHS_H

#include <QtCore/QString>

// Where the controller's project folder is reached from this computer.
namespace ControllerPaths {

// The environment variable that points the controller share at a mounted
// folder on systems without Windows network shares: with it set to /mnt/robots,
// the share of 192.168.1.6 is /mnt/robots/192.168.1.6/project.
inline constexpr const char ShareRootVariable[] = "VARLO_SHARE_ROOT";

// "//<host>/project", or "<share root>/<host>/project" when the variable is set.
QString shareProjectRoot(const QString &host);

// "<simulator root>/controllerVR/project": the simulator's local project folder.
QString simulatorProjectRoot(const QString &simulatorRoot);

// A controller address names one folder below the share root: anything with
// a separator, a NUL or a leading dot could name a folder elsewhere.
bool isSafeHost(const QString &host);

// A document name is a path below the project folder such as "/settings/common".
// Names that could leave the folder ("..", backslashes, NUL) are refused.
bool isSafeDocumentName(const QString &name);

} // namespace ControllerPaths

#endif // CONTROLLERPATHS_H
