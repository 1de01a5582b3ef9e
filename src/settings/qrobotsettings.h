#ifndef QROBOTSETTINGS_H
#define QROBOTSETTINGS_H

#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

class QHttpManager;
class QRobotSettingsPrivate;

// Commands and settings of the controller: motion, kinematics, coordinate
// systems, motion parameters, controller information and project files. It
// keeps no copy of the controller's settings between calls.
class QRobotSettings : public QObject
{
    Q_OBJECT
public:
    QRobotSettings(QHttpManager *transport, QObject *parent);
    ~QRobotSettings() override;

    QHttpManager *transport() const;

    // The robot's axis count from the document "/properties/axis"; 0 when the
    // document cannot be read, is not a JSON object or has no "axis".
    int readAxisCount();

    // ---- motion commands and kinematics ----

    // ---- coordinate systems and calibration ----

    // ---- motion parameters ----

    // ---- controller information and maintenance ----

    // ---- project files, teach points and pallets ----

    // ---- function settings ----

Q_SIGNALS:
    void printQRobotSettings(QString str);

private:
    Q_DECLARE_PRIVATE(QRobotSettings)
    Q_DISABLE_COPY(QRobotSettings)
    QScopedPointer<QRobotSettingsPrivate> d_ptr;
};

#endif // QROBOTSETTINGS_H
