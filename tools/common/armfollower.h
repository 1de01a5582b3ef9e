#ifndef VARLO_TOOLS_ARMFOLLOWER_H
#define VARLO_TOOLS_ARMFOLLOWER_H

// One arm a host program follows among many, through a facade of its own.
// Nothing waits on it: the library's supervision keeps asking until the
// controller answers, so an arm that is away never holds up the others. It
// tells when the arm comes online or is lost, and follows the script: one
// that this facade runs (its debugger) starts and ends as the debugger says,
// however short; one started elsewhere is seen by asking for the script's
// state every few exchanges (about once a second while one runs, every three
// seconds otherwise). It sends only what the library sends for any host:
// following an arm changes nothing on it.

#include <Varlo/qrobot.h>

#include <QtCore/QJsonObject>
#include <QtCore/QObject>
#include <QtCore/QString>

class ArmFollower : public QObject
{
    Q_OBJECT
public:
    ArmFollower(const QString &name, const QString &address, QObject *parent = nullptr);

    // Starts following (connects in the background).
    void start();

    QRobot &robot() { return m_robot; }
    QString name() const { return m_name; }
    QString address() const { return m_address; }
    // The controller answers and reports a 4- or 6-axis robot.
    bool isOnline() const { return m_online; }
    const QRobotType::ScriptState &script() const { return m_script; }
    // Whether a state exchange has been answered yet (before it the mirrored
    // state holds nothing read from the arm).
    bool hasState() const { return m_exchanges > 0; }

    // The arm's state as the hosts show it: the mirrored state (joints
    // always six: `jointCount` 6, else as many as the arm has) with "arm",
    // "online", "stale" and "script" {"state", "project"}.
    QJsonObject stateJson(int jointCount = 6);

public Q_SLOTS:
    // This facade is about to run the script of `project` (its name for the
    // run that the debugger is about to announce).
    void scriptStarting(const QString &project) { m_startingProject = project; }

Q_SIGNALS:
    void onlineChanged(bool online);
    // After every state exchange (the script's state may be a little older).
    void exchanged();
    // The script started or ended (as the polls saw it) on project `project`.
    void scriptStarted(const QString &project);
    void scriptFinished(const QString &project);

private:
    void onConnection(bool connected);
    void onExchange();
    void pollScript();
    void onDebugState(QRobotType::DebugState state);
    void setScript(const QRobotType::ScriptState &now);

    QString m_name;
    QString m_address;
    QRobot m_robot;
    bool m_online = false;
    int m_exchanges = 0;
    QRobotType::ScriptState m_script;
    quint64 m_scriptChanges = 0; // a poll's answer is older than a change made while it was asked
    QString m_startingProject;
};

#endif // VARLO_TOOLS_ARMFOLLOWER_H
