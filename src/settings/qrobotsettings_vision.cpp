// Vision: the camera calibrations, target positions from a camera and the
// latched position of a photo taken in motion.
#include "settings/qrobotsettings.h"
#include "transport/controllerio.h"

#include <algorithm>

using ControllerIO::take;
using ControllerIO::takeArray;
using ControllerIO::toArray;

bool QRobotSettings::setLatchPos(const LatchPos &pos)
{
    return ControllerIO::writeObject(transport(), QStringLiteral("/process/flyPhoto/latchPos"),
                                     QJsonObject{{QStringLiteral("x"), double(pos.x)},
                                                 {QStringLiteral("y"), double(pos.y)},
                                                 {QStringLiteral("r"), double(pos.r)},
                                                 {QStringLiteral("jointAngle"), toArray(pos.jointAngle, 6)}});
}

bool QRobotSettings::latchPos(LatchPos &pos)
{
    return ControllerIO::readObject(transport(), QStringLiteral("/process/flyPhoto/latchPos"),
                                    [&](const QJsonObject &o) {
        take(o, "x", pos.x);
        take(o, "y", pos.y);
        take(o, "r", pos.r);
        takeArray(o, "jointAngle", pos.jointAngle, 6);
    });
}

bool QRobotSettings::setVisionCalibration(const VisionCalibration (&table)[VisionCalibrationCount])
{
    QJsonArray array;
    for (const VisionCalibration &entry : table) {
        array.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                 {QStringLiteral("fixed"), int(entry.fixed)},
                                 {QStringLiteral("method"), entry.method},
                                 {QStringLiteral("matrix"), toArray(entry.matrix, 9)},
                                 {QStringLiteral("coordinate"), toArray(entry.coordinate, 3)},
                                 {QStringLiteral("error"), toArray(entry.error, 2)},
                                 {QStringLiteral("angle"), double(entry.angle)}});
    }
    return ControllerIO::writeArray(transport(), QStringLiteral("/process/vision_calibrate"), array);
}

bool QRobotSettings::visionCalibration(VisionCalibration (&table)[VisionCalibrationCount])
{
    return ControllerIO::readArray(transport(), QStringLiteral("/process/vision_calibrate"),
                                   [&](const QJsonArray &array) {
        const int count = std::min(int(array.size()), int(VisionCalibrationCount));
        for (int i = 0; i < count; ++i) {
            const QJsonObject o = array.at(i).toObject();
            VisionCalibration &entry = table[i];
            take(o, "name", entry.name);
            take(o, "fixed", entry.fixed);
            take(o, "method", entry.method);
            takeArray(o, "matrix", entry.matrix, 9);
            takeArray(o, "coordinate", entry.coordinate, 3);
            takeArray(o, "error", entry.error, 2);
            take(o, "angle", entry.angle);
        }
    });
}

bool QRobotSettings::visionCoordinate(const VisionTarget &target, float &x, float &y)
{
    QJsonObject reply;
    const bool ok = ControllerIO::post(transport(), QStringLiteral("/interface/visionCoordinate"),
                                       QJsonObject{{QStringLiteral("index"), int(target.index)},
                                                   {QStringLiteral("ip"), target.ip},
                                                   {QStringLiteral("port"), target.port}},
                                       ControllerIO::LogText(), &reply);
    if (ok) {
        take(reply, "x", x);
        take(reply, "y", y);
    }
    return ok;
}
