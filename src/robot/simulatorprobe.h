#ifndef SIMULATORPROBE_H
#define SIMULATORPROBE_H

#include <QtCore/QString>

class QRobot;

// Finding a running VarloSim on this computer and the folder it runs from.
namespace SimulatorProbe {

// The simulator's executable name on this platform ("VarloSim.exe" on Windows,
// "VarloSim" elsewhere).
QString executableName();

// Looks for a running simulator. On success `root` receives the folder that
// holds its controllerVR (on Linux its working folder) with a trailing
// separator (e.g. "C:\Sim\" or "/home/me/.local/share/varlosim/"), and the
// line "virtual robot root path: ..." is logged; on failure `root` is untouched.
bool detectVirtualController(QString *root);

// The root folder named by one listing of the process-listing tool: everything
// before the first occurrence of the simulator's file name. Empty when the
// listing is empty.
QString rootFromListing(const QString &listing, const QString &executable);

// What a connect to "127.0.0.1" does: looks for a running simulator and, when
// one is found, stores its folder in `root` and hands it to the facade
// (setVirtualRoot); otherwise logs that none runs and keeps `root` and the
// facade's folders. True when one was found.
bool useRunningSimulator(QRobot *robot, QString *root);

} // namespace SimulatorProbe

#endif // SIMULATORPROBE_H
