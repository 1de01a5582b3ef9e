#ifndef VARLO_LIBRARY_H
#define VARLO_LIBRARY_H

#include "Varlo.h"

#include <QtCore/QString>

class QRobot;

// Library-wide state shared by the exports: the one facade and the simulator
// root. No locks: every export runs in the host's thread.
namespace VarloLibrary {

// Creates a Qt application object when the host has none; the library never
// destroys the one it created.
void ensureApplication();

// The facade, created without components on first use (and again after the
// application's quit deleted the previous one).
QRobot *facade();

// The facade with its components, or null before the first ConnectVarlo or
// after the application quit: the exports that talk to the controller return
// VARLO_NO_CONNECTION then and touch no out-parameter.
QRobot *components();

// The axis count the facade knows (QRobot::knownAxisCount()); 0 without one.
int32_t axisCount();

QString simulatorRoot();
void setSimulatorRoot(const QString &root);

} // namespace VarloLibrary

// Runs `body(robot)` when the components exist; VARLO_NO_CONNECTION otherwise.
template <typename Body>
int32_t withComponents(Body body)
{
    QRobot *robot = VarloLibrary::components();
    if (!robot)
        return VARLO_NO_CONNECTION;
    return body(robot);
}

// The same for the exports that answer VARLO_OK whatever the controller said:
// runs `body(robot)` and answers VARLO_OK when the components exist.
template <typename Body>
int32_t withComponentsOk(Body body)
{
    return withComponents([&](QRobot *robot) {
        body(robot);
        return VARLO_OK;
    });
}

#endif // VARLO_LIBRARY_H
