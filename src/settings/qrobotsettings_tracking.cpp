// Conveyor tracking: up to two trackers with their sensor and camera.
#include "Varlo/qrobotsettings.h"
#include "transport/documentbinding.h"

#include <algorithm>

using ControllerIO::Fields;

namespace {

const QString TrackingDocument = QStringLiteral("/process/tracking");

// One tracker: the conveyor, its sensor and its camera.
const Fields<Tracker> TrackerFields{
    { "conveyor_index", &Tracker::conveyor_index },
    { "conveyor_type", &Tracker::conveyor_type },
    { "encoder_channel", &Tracker::encoder_channel },
    { "user_coord", &Tracker::user_coord },
    { "data_source", &Tracker::data_source },
    { "direction", &Tracker::direction },
    { "resolution", &Tracker::resolution },
    { "sensor", Fields<Tracker>{ { "communication_DI", &Tracker::communication_DI },
                                 { "trigger_type", &Tracker::sensor_trigger_type },
                                 { "repeat_threshold", &Tracker::sensor_repeat_threshold },
                                 { "sensor_coord", &Tracker::sensor_coord } } },
    { "camera", Fields<Tracker>{ { "width", &Tracker::width },
                                 { "height", &Tracker::height },
                                 { "trigger_DO", &Tracker::trigger_DO },
                                 { "trigger_type", &Tracker::camera_trigger_type },
                                 { "repeat_threshold", &Tracker::camera_repeat_threshold },
                                 { "shot_interval", &Tracker::shot_interval },
                                 { "data_uint_type", &Tracker::data_uint_type },
                                 { "camera_coord", &Tracker::camera_coord },
                                 { "camera_mat", &Tracker::camera_mat } } },
    { "work_min", &Tracker::work_min },
    { "pick_max", &Tracker::pick_max },
    { "work_max", &Tracker::work_max },
    { "stop_distance", &Tracker::stop_distance },
};

} // namespace

bool QRobotSettings::setTracking(const TrackingSettings &settings)
{
    const int count = std::min(int(settings.count), int(TrackerCount));
    return ControllerIO::writeArray(transport(), TrackingDocument, TrackerFields.toArray(settings.tracker, count));
}

bool QRobotSettings::tracking(TrackingSettings &settings)
{
    return ControllerIO::readArray(transport(), TrackingDocument, [&](const QJsonArray &array) {
        settings.count = quint8(TrackerFields.readArray(array, settings.tracker, TrackerCount));
    }, ControllerIO::LogText(), ControllerIO::OtherKind::Fails);
}
