#ifndef QROBOT_H
#define QROBOT_H

#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QRobotConnection;
class QRobotSettings;
class QRobotPrivate;

// The one object through which the library reaches everything else. It owns
// one of each component, relays their notifications, and switches between
// connection supervision (while disconnected) and the state exchange (while
// connected) as the transport reports the controller reachable or lost.
class QRobot : public QObject
{
    Q_OBJECT
public:
    // Operator levels of the teach pendant; the library never changes them.
    enum UserMode { Operator, Programmer, Administrator };
    Q_ENUM(UserMode)

    explicit QRobot(QObject *parent = nullptr);
    ~QRobot() override;

    // Builds the components on the first call; later calls restart the same
    // components as if they were new (dispatching, reachability, supervision).
    void initialize();
    bool isInitialized() const;
    void disconnectController();

    QHttpManager *transport() const;
    QRobotConnection *connection() const;
    QRobotSettings *settings() const;

    // Simulator folders: the local project tree of a running simulator.
    void setVirtualRoot(const QString &root);

    QString hostIP() const;
    QString projectPath() const;
    QString settingsPath() const;
    QString processPath() const;
    QString propertiesPath() const;
    QString rootPath() const;

    // Splitting of controller file paths such as
    // "//192.168.1.6/project/project/demo/prj.json". An empty text when the
    // marker is missing.
    static QString projectNameOf(const QString &path);
    static QString projectRelativePath(const QString &path);
    static QString parameterPath(const QString &path);

Q_SIGNALS:
    void userMode(QRobot::UserMode mode);
    void connectionChanged(bool isConnected);
    void axisCount(int count);
    void occupiedChanged(bool isOccupied);
    void exChangeClock();
    void switchAutoManual(bool isAuto);
    void switchThreeSwitch(bool isPressed);
    void switchEmergencyStop(bool isStop);
    void switchJogButtons(bool *posBtnState, bool *negBtnState);
    void printQRobot(QString str);

public Q_SLOTS:
    void setHostIP(QString ip);
    void setHostPort(quint16 port);
    bool inspectDir();

private:
    void onConnectStateChanged(bool isConnected);

    Q_DECLARE_PRIVATE(QRobot)
    Q_DISABLE_COPY(QRobot)
    QScopedPointer<QRobotPrivate> d_ptr;
};

#endif // QROBOT_H
