// A VarloSim child process for the integration tests, run from a copy of the
// program in a folder of the test's own, with the project folder beside it.
#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QtCore/QByteArray>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QStringList>

class SimProcess
{
public:
    SimProcess();
    ~SimProcess();

    // Copies the program into `folder` (as folder/VarloSim) and starts it with
    // --root folder on `address`. False with reason() set when it did not
    // report ready within 10 s.
    bool start(const QString &folder, const QString &address, const QStringList &extra = QStringList());
    void stop();

    QString reason() const { return m_reason; }
    QString executable() const { return m_executable; }
    // folder/controllerVR/project
    QString projectFolder() const;
    QByteArray output() const { return m_output; }

    // Plain HTTP to the simulator's API, for what the library does not do
    // itself (simulated inputs and alarms, reading what the controller holds).
    QJsonObject get(const QString &path) const;
    QJsonObject post(const QString &path, const QJsonObject &body) const;

    // Executables of the VarloSim processes running on this computer (from
    // /proc), to tell whether a probe may have found someone else's.
    static QStringList runningSimulators();

private:
    QProcess m_process;
    QString m_folder;
    QString m_address;
    QString m_executable;
    QString m_reason;
    QByteArray m_output;
};

#endif // SIMPROCESS_H
