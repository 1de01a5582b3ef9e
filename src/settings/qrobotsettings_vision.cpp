// Vision: the camera calibrations, target positions from a camera and the
// latched position of a photo taken in motion.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

using ControllerIO::take;

namespace {

const ControllerIO::Document<LatchPos> Latch{
    "/process/flyPhoto/latchPos",
    { { "x", &LatchPos::x }, { "y", &LatchPos::y }, { "r", &LatchPos::r }, { "jointAngle", &LatchPos::jointAngle } },
    ControllerIO::Logs(), ControllerIO::OtherKind::Fails
};

// All eight calibrations are written; a read fills at most eight.
const ControllerIO::ArrayDocument<VisionCalibration> Calibrations{
    "/process/vision_calibrate",
    { { "name", &VisionCalibration::name }, { "fixed", &VisionCalibration::fixed },
      { "method", &VisionCalibration::method }, { "matrix", &VisionCalibration::matrix },
      { "coordinate", &VisionCalibration::coordinate }, { "error", &VisionCalibration::error },
      { "angle", &VisionCalibration::angle } },
    ControllerIO::Logs(), ControllerIO::OtherKind::Fails
};

} // namespace

bool QRobotSettings::setLatchPos(const LatchPos &pos) { return Latch.write(transport(), pos); }
bool QRobotSettings::latchPos(LatchPos &pos) { return Latch.read(transport(), pos); }

bool QRobotSettings::setVisionCalibration(const VisionCalibration (&table)[VisionCalibrationCount])
{
    return Calibrations.write(transport(), table, VisionCalibrationCount);
}

bool QRobotSettings::visionCalibration(VisionCalibration (&table)[VisionCalibrationCount])
{
    return Calibrations.read(transport(), table, VisionCalibrationCount);
}

bool QRobotSettings::visionCoordinate(const VisionTarget &target, float &x, float &y)
{
    return ControllerIO::post(transport(), QStringLiteral("/interface/visionCoordinate"),
                              QJsonObject{{QStringLiteral("index"), int(target.index)},
                                          {QStringLiteral("ip"), target.ip},
                                          {QStringLiteral("port"), target.port}},
                              [&](const QJsonObject &reply) {
                                  take(reply, "x", x);
                                  take(reply, "y", y);
                              });
}
