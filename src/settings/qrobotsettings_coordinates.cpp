// Coordinate systems and calibration: the tool, user and point-load tables,
// always read and written whole, and the controller's calibration services.
#include "Varlo/coordinatetypes.h"
#include "Varlo/qrobotsettings.h"
#include "settings/qrobotsettings_p.h"
#include "transport/documentbinding.h"
#include "Varlo/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cstring>

namespace {

using ControllerIO::Field;

// The alias is read up to its NUL but never past its field, whatever the
// record holds; frame parameters that are not an array are not read.
const ControllerIO::Fields<CoordinateEntry> CoordinateFields{
    { "enable", &CoordinateEntry::enable },
    Field<CoordinateEntry>(
        "alias",
        [](const QJsonValue &v, CoordinateEntry &e) { ControllerIO::copyText(v.toString(), e.alias, CoordinateEntry::AliasSize); },
        [](const CoordinateEntry &e) {
            return QJsonValue(QString::fromUtf8(e.alias, int(strnlen(e.alias, CoordinateEntry::AliasSize - 1))));
        }),
    Field<CoordinateEntry>("params", &CoordinateEntry::params).whenArray(),
};
const ControllerIO::ArrayDocument<CoordinateEntry> ToolTable{ "/settings/coordinate/tool", CoordinateFields };
const ControllerIO::ArrayDocument<CoordinateEntry> UserTable{ "/settings/coordinate/user", CoordinateFields };

const ControllerIO::ArrayDocument<PointLoadEntry> PointLoads{
    "/settings/function/pointLoad",
    { { "enable", &PointLoadEntry::enable }, Field<PointLoadEntry>("params", &PointLoadEntry::params).whenArray() }
};

// A table that cannot be read reads as all zeros (every entry disabled);
// elements past its end have no entry to go to and are dropped.
template <typename Table, typename Entry>
Table readTable(QHttpManager *transport, const ControllerIO::ArrayDocument<Entry> &document)
{
    Table table;
    std::memset(&table, 0, sizeof table);
    document.read(transport, table.entry, Table::EntryCount);
    return table;
}

template <typename Table, typename Entry>
bool readTableForEdit(QHttpManager *transport, const ControllerIO::ArrayDocument<Entry> &document, Table &table)
{
    Table read;
    std::memset(&read, 0, sizeof read);
    if (!document.readForEdit(transport, read.entry, Table::EntryCount))
        return false;
    table = read;
    return true;
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
    const QJsonDocument document = QRobotJson::parse(answer, &parseError);
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
    return ToolTable.write(transport(), table.entry, CoordinateTable::EntryCount);
}

CoordinateTable QRobotSettings::toolCoordinates() { return readTable<CoordinateTable>(transport(), ToolTable); }

bool QRobotSettings::toolCoordinatesForEdit(CoordinateTable &table)
{
    return readTableForEdit(transport(), ToolTable, table);
}

bool QRobotSettings::setUserCoordinates(const CoordinateTable &table)
{
    return UserTable.write(transport(), table.entry, CoordinateTable::EntryCount);
}

CoordinateTable QRobotSettings::userCoordinates() { return readTable<CoordinateTable>(transport(), UserTable); }

bool QRobotSettings::userCoordinatesForEdit(CoordinateTable &table)
{
    return readTableForEdit(transport(), UserTable, table);
}

bool QRobotSettings::setPointLoads(const PointLoadTable &table)
{
    return PointLoads.write(transport(), table.entry, PointLoadTable::EntryCount);
}

PointLoadTable QRobotSettings::pointLoads() { return readTable<PointLoadTable>(transport(), PointLoads); }

bool QRobotSettings::calibrateCoordinateTool(const CalibrationPoint &first, const CalibrationPoint &second,
                                             CalibrationPoint &result)
{
    const CalibrationPoint points[2] = { first, second };
    return calibrate(transport(), ToolCalibration, points, 2, result);
}

bool QRobotSettings::calibrateCoordinateToolPosition(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(transport(), ToolPositionCalibration, points.point, CalibrationPoints::PointCount,
                     result);
}

bool QRobotSettings::calibrateCoordinateToolPose(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(transport(), ToolPoseCalibration, points.point, CalibrationPoints::PointCount, result);
}

bool QRobotSettings::calibrateCoordinateUser(const CalibrationPoints &points, CalibrationPoint &result)
{
    return calibrate(transport(), UserCalibration, points.point, CalibrationPoints::PointCount, result);
}

bool QRobotSettings::calibrateLeftRightHand(float left, float right)
{
    const QJsonObject body{ { QStringLiteral("left"), double(left) }, { QStringLiteral("right"), double(right) } };
    return ControllerIO::post(transport(), QStringLiteral("/calibrate/leftRightHand"), body);
}

bool QRobotSettings::calibrateHome()
{
    return ControllerIO::post(transport(), QStringLiteral("/calibrate/home"), QJsonObject());
}
