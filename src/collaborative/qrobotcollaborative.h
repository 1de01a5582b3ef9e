#ifndef QROBOTCOLLABORATIVE_H
#define QROBOTCOLLABORATIVE_H

#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QRobotCollaborativePrivate;

// The controller functions of a collaborative arm: safety and collision,
// payload and force sensing, analog and extended IO and grippers, trajectory
// replay and user-frame calibration, maintenance. Every operation is a command
// or a parameter-document read or write (see transport/controllerio.h); the
// component caches nothing between calls.
class QRobotCollaborative : public QObject
{
    Q_OBJECT
public:
    QRobotCollaborative(QHttpManager *transport, QObject *parent);
    ~QRobotCollaborative() override;

    QHttpManager *transport() const;

    // ---- safety and collision ----

    // ---- payload, force sensing and mounting ----

    // ---- analog IO, extended IO and grippers ----

    // ---- trajectory replay and user-frame calibration ----

    // ---- maintenance ----

Q_SIGNALS:
    void printQRobotCollaborative(QString str);

private:
    Q_DECLARE_PRIVATE(QRobotCollaborative)
    Q_DISABLE_COPY(QRobotCollaborative)
    QScopedPointer<QRobotCollaborativePrivate> d_ptr;
};

#endif // QROBOTCOLLABORATIVE_H
