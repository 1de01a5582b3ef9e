#ifndef QROBOTMETATYPES_H
#define QROBOTMETATYPES_H

// Registers the state records and enumerations (and the ArmOrientation alias)
// with Qt's meta-type system under the names the signals use, so that they can
// travel through queued connections and be recorded by QSignalSpy.
// Safe to call any number of times.
void registerRobotStateMetaTypes();

#endif // QROBOTMETATYPES_H
