// Conveyor tracking: up to two trackers with their sensor and camera.
#include "settings/qrobotsettings.h"
#include "transport/controllerio.h"
#include "types/qjsonreaders.h"

#include <algorithm>

using ControllerIO::take;
using ControllerIO::takeArray;
using ControllerIO::toArray;

namespace {

const QString TrackingDocument = QStringLiteral("/process/tracking");

void takeByte(const QJsonObject &object, const char *key, quint8 &field)
{
    qint32 value = field;
    take(object, key, value);
    field = quint8(std::max(0, std::min(255, int(value))));
}

void takeDoubles(const QJsonObject &object, const char *key, double *fields, int count)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it == object.constEnd())
        return;
    const QJsonArray array = it.value().toArray();
    for (int i = 0; i < count; ++i)
        fields[i] = i < array.size() ? array.at(i).toDouble(0.0) : 0.0;
}

QJsonObject trackerToJson(const Tracker &t)
{
    QJsonArray matrix;
    for (double value : t.camera_mat)
        matrix.append(value);
    const QJsonObject sensor{{QStringLiteral("communication_DI"), int(t.communication_DI)},
                             {QStringLiteral("trigger_type"), int(t.sensor_trigger_type)},
                             {QStringLiteral("repeat_threshold"), double(t.sensor_repeat_threshold)},
                             {QStringLiteral("sensor_coord"), toArray(t.sensor_coord, 6)}};
    const QJsonObject camera{{QStringLiteral("width"), double(t.width)},
                             {QStringLiteral("height"), double(t.height)},
                             {QStringLiteral("trigger_DO"), int(t.trigger_DO)},
                             {QStringLiteral("trigger_type"), int(t.camera_trigger_type)},
                             {QStringLiteral("repeat_threshold"), double(t.camera_repeat_threshold)},
                             {QStringLiteral("shot_interval"), double(t.shot_interval)},
                             {QStringLiteral("data_uint_type"), int(t.data_uint_type)},
                             {QStringLiteral("camera_coord"), toArray(t.camera_coord, 6)},
                             {QStringLiteral("camera_mat"), matrix}};
    return QJsonObject{{QStringLiteral("conveyor_index"), int(t.conveyor_index)},
                       {QStringLiteral("conveyor_type"), int(t.conveyor_type)},
                       {QStringLiteral("encoder_channel"), int(t.encoder_channel)},
                       {QStringLiteral("user_coord"), int(t.user_coord)},
                       {QStringLiteral("data_source"), int(t.data_source)},
                       {QStringLiteral("direction"), int(t.direction)},
                       {QStringLiteral("resolution"), double(t.resolution)},
                       {QStringLiteral("sensor"), sensor},
                       {QStringLiteral("camera"), camera},
                       {QStringLiteral("work_min"), double(t.work_min)},
                       {QStringLiteral("pick_max"), double(t.pick_max)},
                       {QStringLiteral("work_max"), double(t.work_max)},
                       {QStringLiteral("stop_distance"), double(t.stop_distance)}};
}

void readTracker(const QJsonObject &o, Tracker &t)
{
    takeByte(o, "conveyor_index", t.conveyor_index);
    take(o, "conveyor_type", t.conveyor_type);
    takeByte(o, "encoder_channel", t.encoder_channel);
    takeByte(o, "user_coord", t.user_coord);
    take(o, "data_source", t.data_source);
    take(o, "direction", t.direction);
    take(o, "resolution", t.resolution);

    const QJsonObject sensor = o.value(QLatin1String("sensor")).toObject();
    takeByte(sensor, "communication_DI", t.communication_DI);
    take(sensor, "trigger_type", t.sensor_trigger_type);
    take(sensor, "repeat_threshold", t.sensor_repeat_threshold);
    takeArray(sensor, "sensor_coord", t.sensor_coord, 6);

    const QJsonObject camera = o.value(QLatin1String("camera")).toObject();
    take(camera, "width", t.width);
    take(camera, "height", t.height);
    takeByte(camera, "trigger_DO", t.trigger_DO);
    take(camera, "trigger_type", t.camera_trigger_type);
    take(camera, "repeat_threshold", t.camera_repeat_threshold);
    take(camera, "shot_interval", t.shot_interval);
    take(camera, "data_uint_type", t.data_uint_type);
    takeArray(camera, "camera_coord", t.camera_coord, 6);
    takeDoubles(camera, "camera_mat", t.camera_mat, 9);

    take(o, "work_min", t.work_min);
    take(o, "pick_max", t.pick_max);
    take(o, "work_max", t.work_max);
    take(o, "stop_distance", t.stop_distance);
}

} // namespace

bool QRobotSettings::setTracking(const TrackingSettings &settings)
{
    QJsonArray array;
    const int count = std::min(int(settings.count), int(TrackerCount));
    for (int i = 0; i < count; ++i)
        array.append(trackerToJson(settings.tracker[i]));
    return ControllerIO::writeArray(transport(), TrackingDocument, array);
}

bool QRobotSettings::tracking(TrackingSettings &settings)
{
    return ControllerIO::readArray(transport(), TrackingDocument, [&](const QJsonArray &array) {
        quint8 count = 0;
        for (int i = 0; i < array.size() && count < TrackerCount; ++i)
            readTracker(array.at(i).toObject(), settings.tracker[count++]);
        settings.count = count;
    });
}
