// Coordinate systems and calibration: the tool, user and point-load tables,
// always read and written whole, and the controller's calibration services.
#include "settings/coordinatetypes.h"
#include "settings/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/controllerio.h"
#include "transport/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cstring>

namespace {

const char ToolDocument[] = "/settings/coordinate/tool";
const char UserDocument[] = "/settings/coordinate/user";
const char PointLoadDocument[] = "/settings/function/pointLoad";

// The elements of a table document, or none when it cannot be read, is not
// JSON or is not an array: such a table reads as all zeros.
QJsonArray readTableDocument(QHttpManager *transport, const char *name)
{
    QJsonDocument document;
    if (ControllerIO::readDocument(transport, QLatin1String(name), &document) != ControllerIO::ReadStatus::Ok)
        return QJsonArray();
    return document.isArray() ? document.array() : QJsonArray();
}

CoordinateTable readCoordinateTable(QHttpManager *transport, const char *name)
{
    CoordinateTable table;
    std::memset(&table, 0, sizeof table);
    const QJsonArray elements = readTableDocument(transport, name);
    // Elements past the tenth have no entry to go to and are dropped.
    const int count = qMin(int(elements.size()), int(CoordinateTable::EntryCount));
    for (int i = 0; i < count; ++i) {
        const QJsonObject object = elements.at(i).toObject();
        CoordinateEntry &entry = table.entry[i];
        ControllerIO::take(object, "enable", entry.enable);
        const auto alias = object.constFind(QLatin1String("alias"));
        if (alias != object.constEnd())
            ControllerIO::copyText(alias.value().toString(), entry.alias, CoordinateEntry::AliasSize);
        const auto params = object.constFind(QLatin1String("params"));
        if (params != object.constEnd() && params.value().isArray())
            QRobotJson::readFloats(params.value(), entry.params, CoordinateEntry::ParamCount);
    }
    return table;
}

bool writeCoordinateTable(QHttpManager *transport, const char *name, const CoordinateTable &table)
{
    QJsonArray elements;
    for (const CoordinateEntry &entry : table.entry) {
        // The alias is read up to its NUL but never past its field, whatever
        // the record holds.
        const int length = int(strnlen(entry.alias, CoordinateEntry::AliasSize - 1));
        elements.append(QJsonObject{
            { QStringLiteral("enable"), entry.enable },
            { QStringLiteral("alias"), QString::fromUtf8(entry.alias, length) },
            { QStringLiteral("params"), ControllerIO::toArray(entry.params, CoordinateEntry::ParamCount) },
        });
    }
    return ControllerIO::writeArray(transport, QLatin1String(name), elements);
}

// How one calibration service is asked and answered: which values of each
// point it is sent, and which components of the result its reply fills
// (reply element i goes to component firstComponent + i; the rest are cleared).
struct Calibration
{
    const char *path;
    const char *name;
    int valuesPerPoint;
    int firstComponent;
    int componentCount;
};

const Calibration ToolCalibration = { "/calibrate/coordinate/tool", "calibrateCoordinateTool", 4, 0, 4 };
const Calibration ToolPositionCalibration = { "/calibrate/coordinate/tool/position",
                                              "calibrateCoordinateToolPosition", 6, 0, 3 };
const Calibration ToolPoseCalibration = { "/calibrate/coordinate/tool/pose", "calibrateCoordinateToolPose", 6, 3, 3 };
const Calibration UserCalibration = { "/calibrate/coordinate/user", "calibrateCoordinateUser", 6, 0, 6 };

bool calibrate(QHttpManager *transport, const Calibration &calibration, const CalibrationPoint *points,
               int pointCount, CalibrationPoint &result)
{
    const QByteArray name(calibration.name);
    QJsonArray body;
    for (int p = 0; p < pointCount; ++p)
        body.append(ControllerIO::toArray(points[p].pose, calibration.valuesPerPoint));

    QByteArray answer;
    if (!transport->postData(QLatin1String(calibration.path), QJsonDocument(body).toJson(QJsonDocument::Compact),
                             answer)) {
        qDebug() << (name + "_postError").constData();
        return false;
    }

    const QByteArray jsonError = name + "_jsonError";
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        qDebug() << jsonError.constData();
        return false;
    }
    const QJsonObject reply = document.object();

    const auto coordinate = reply.constFind(QLatin1String("coordinate"));
    const bool hasCoordinate = coordinate != reply.constEnd();
    if (hasCoordinate) {
        // Something other than an array cannot be a frame.
        if (!coordinate.value().isArray()) {
            qDebug() << jsonError.constData();
            return false;
        }
        float values[6];
        QRobotJson::readFloats(coordinate.value(), values, calibration.componentCount);
        for (int c = 0; c < 6; ++c) {
            const int i = c - calibration.firstComponent;
            result.pose[c] = (i >= 0 && i < calibration.componentCount) ? values[i] : 0.0f;
        }
    }

    const auto verdict = reply.constFind(QLatin1String("result"));
    if (verdict == reply.constEnd()) {
        qDebug() << jsonError.constData();
        return false;
    }
    const bool ok = verdict.value().toBool(false);
    // A success that brings no frame would hand out numbers nobody computed.
    if (ok && !hasCoordinate) {
        qDebug() << jsonError.constData();
        return false;
    }
    qDebug() << (name + "_resultReturn").constData() << ok;
    return ok;
}

} // namespace

bool QRobotSettings::setToolCoordinates(const CoordinateTable &table)
{
    return writeCoordinateTable(d_func()->transport, ToolDocument, table);
}

CoordinateTable QRobotSettings::toolCoordinates()
{
    return readCoordinateTable(d_func()->transport, ToolDocument);
}

bool QRobotSettings::setUserCoordinates(const CoordinateTable &table)
{
    return writeCoordinateTable(d_func()->transport, UserDocument, table);
}

CoordinateTable QRobotSettings::userCoordinates()
{
    return readCoordinateTable(d_func()->transport, UserDocument);
}

bool QRobotSettings::setPointLoads(const PointLoadTable &table)
{
    QJsonArray elements;
    for (const PointLoadEntry &entry : table.entry) {
        elements.append(QJsonObject{
            { QStringLiteral("enable"), entry.enable },
            { QStringLiteral("params"), ControllerIO::toArray(entry.params, PointLoadEntry::ParamCount) },
        });
    }
    return ControllerIO::writeArray(d_func()->transport, QLatin1String(PointLoadDocument), elements);
}

PointLoadTable QRobotSettings::pointLoads()
{
    PointLoadTable table;
    std::memset(&table, 0, sizeof table);
    const QJsonArray elements = readTableDocument(d_func()->transport, PointLoadDocument);
    const int count = qMin(int(elements.size()), int(PointLoadTable::EntryCount));
    for (int i = 0; i < count; ++i) {
        const QJsonObject object = elements.at(i).toObject();
        PointLoadEntry &entry = table.entry[i];
        ControllerIO::take(object, "enable", entry.enable);
        const auto params = object.constFind(QLatin1String("params"));
        if (params != object.constEnd() && params.value().isArray())
            QRobotJson::readFloats(params.value(), entry.params, PointLoadEntry::ParamCount);
    }
    return table;
}

bool QRobotSettings::calibrateCoordinateTool(const CalibrationPoint &first, const CalibrationPoint &second,
                                             CalibrationPoint &result)
{
    const CalibrationPoint points[2] = { first, second };
    return calibrate(d_func()->transport, ToolCalibration, points, 2, result);
}

bool QRobotSettings::calibrateCoordinateToolPosition(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(d_func()->transport, ToolPositionCalibration, points.point, CalibrationPoints::PointCount,
                     result);
}

bool QRobotSettings::calibrateCoordinateToolPose(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(d_func()->transport, ToolPoseCalibration, points.point, CalibrationPoints::PointCount, result);
}

bool QRobotSettings::calibrateCoordinateUser(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(d_func()->transport, UserCalibration, points.point, CalibrationPoints::PointCount, result);
}

bool QRobotSettings::calibrateLeftRightHand(float left, float right)
{
    const QJsonObject body{ { QStringLiteral("left"), double(left) }, { QStringLiteral("right"), double(right) } };
    return ControllerIO::post(d_func()->transport, QStringLiteral("/calibrate/leftRightHand"), body);
}

bool QRobotSettings::calibrateHome()
{
    return ControllerIO::post(d_func()->transport, QStringLiteral("/calibrate/home"), QJsonObject());
}
