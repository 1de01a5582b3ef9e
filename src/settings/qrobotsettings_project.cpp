// Project files: the points file of a project, the point lists of pallets and
// the two single joint positions PackPoint and CustomPoint.
#include "Varlo/qrobotsettings.h"
#include "settings/projectfilepaths.h"
#include "settings/teachpointjson.h"
#include "transport/controllerio.h"
#include "Varlo/qhttpmanager.h"

namespace {

const QString TeachFileUpdate = QStringLiteral("/project/teachFileUpdate");

// The array of a point document; false when it cannot be read, is not JSON
// or is not an array.
bool readPointArray(QHttpManager *transport, const QString &name, QJsonArray *array)
{
    return ControllerIO::readArrayDocument(transport, name, array) == ControllerIO::ReadStatus::Ok;
}

// {"joint": [6]} stored only when "joint" holds exactly six values.
bool readJoint(QHttpManager *transport, const QString &name, const char *onFailure, float (&joint)[6])
{
    return ControllerIO::readObject(transport, name, [&](const QJsonObject &object) {
        const QJsonValue value = object.value(QLatin1String("joint"));
        if (value.isArray() && value.toArray().size() == 6)
            ControllerIO::takeArray(object, "joint", joint, 6);
    }, onFailure);
}

} // namespace

bool QRobotSettings::saveTeachPoints(const QString &filePath, const TeachPointTable &table, int kind)
{
    ProjectFilePaths::Document document;
    if (!ProjectFilePaths::pointsDocument(filePath, &document))
        return false;
    const QJsonArray points = TeachPointJson::tableToJson(table, kind, TeachPointJson::WithAliasAndAux);
    const QJsonObject notice{{QStringLiteral("file"), document.file}};
    return transport()->setPara(QJsonDocument(points).toJson(), document.name, TeachFileUpdate,
                                QJsonDocument(notice).toJson(QJsonDocument::Compact));
}

int QRobotSettings::loadTeachPoints(const QString &filePath, int kind, TeachPointTable &table)
{
    ProjectFilePaths::Document document;
    QJsonArray points;
    if (!ProjectFilePaths::pointsDocument(filePath, &document) || !readPointArray(transport(), document.name, &points))
        return 0;
    return TeachPointJson::readTable(points, kind, table);
}

bool QRobotSettings::setPalletPoints(const QString &name, const TeachPointTable &table, int kind)
{
    QString document;
    if (!ProjectFilePaths::palletPointsDocument(name, &document))
        return false;
    return ControllerIO::writeArray(transport(), document,
                                    TeachPointJson::tableToJson(table, kind, TeachPointJson::WithoutExtras));
}

int QRobotSettings::palletPoints(const QString &name, int kind, TeachPointTable &table)
{
    QString document;
    QJsonArray points;
    if (!ProjectFilePaths::palletPointsDocument(name, &document) || !readPointArray(transport(), document, &points))
        return 0;
    return TeachPointJson::readTable(points, kind, table);
}

bool QRobotSettings::packPoint(float (&joint)[6])
{
    return readJoint(transport(), QStringLiteral("/settings/function/PackPoint"), "PackPoint_getParaError", joint);
}

bool QRobotSettings::setCustomPoint(const float (&joint)[6])
{
    return ControllerIO::writeObject(transport(), QStringLiteral("/settings/function/CustomPoint"),
                                     QJsonObject{{QStringLiteral("joint"), ControllerIO::toArray(joint, 6)}},
                                     "CustomPoint_setParaError");
}

bool QRobotSettings::customPoint(float (&joint)[6])
{
    return readJoint(transport(), QStringLiteral("/settings/function/CustomPoint"), "CustomPoint_getParaError", joint);
}
