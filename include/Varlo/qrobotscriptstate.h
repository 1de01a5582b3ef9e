#ifndef QROBOTSCRIPTSTATE_H
#define QROBOTSCRIPTSTATE_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

namespace QRobotType {

// State of the controller's script, as "/debugger/state" reports it.
enum DebugState : int {
    DebugStarting = 0,  // a debug session is starting
    DebugConnected = 1, // the debug session waits for commands
    ScriptRunning = 2,
    ScriptPaused = 3,
    ScriptStopped = 5
};

// What the controller's script is doing, and in which project.
struct ScriptState
{
    DebugState state = ScriptStopped; // running, paused, stopped, debugging
    QString projectName;              // the project whose script it is
};

} // namespace QRobotType

#endif // QROBOTSCRIPTSTATE_H
