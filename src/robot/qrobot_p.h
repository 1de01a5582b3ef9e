#ifndef QROBOT_P_H
#define QROBOT_P_H

#include "Varlo/qrobot.h"
#include "Varlo/qserialmanager.h"
#include "robot/syncwait.h"

#include <QtCore/QPointer>

class QRobotPrivate
{
    Q_DECLARE_PUBLIC(QRobot)
public:
    explicit QRobotPrivate(QRobot *q) : q_ptr(q) {}
    static QRobotPrivate *get(QRobot *q) { return q->d.data(); }

    void createComponents();
    void relaySignals();
    void setFolders(const QString &root);
    void createDebugger();

    QRobot *q_ptr;
    QHttpManager *transport = nullptr;
    QRobotConnection *connection = nullptr;
    QRobotProtocol *protocol = nullptr;
    QPanelSimulator *panel = nullptr;
    QRobotSettings *settings = nullptr;
    QRobotCollaborative *collaborative = nullptr;
    QRobotDebugger *debugger = nullptr;
    // The jog-button reader is a serial port object without a Qt parent; the
    // facade deletes it with itself.
    QScopedPointer<QSerialManager> serial;

    int axisCount = 0;
    // The waits running on this facade, for interruptWaits().
    WaitGroup waits;
    // How many stops stopMotion() has sent: a motion wait that sees its
    // motion end short of its target after one of them reports it stopped
    // on purpose (MotionInterrupted), not failed.
    quint64 stopsSent = 0;
    // Only the C functions' own facade deletes itself when the application
    // quits; a host's facade may live on the stack or in a smart pointer.
    bool deleteOnQuit = false;
    // The folder of the VarloSim that connectToController() last found.
    QString simulatorRoot;
    QString hostIP;
    QString projectPath;
    QString settingsPath;
    QString processPath;
    QString propertiesPath;
    QString rootPath;
};

#endif // QROBOT_P_H
