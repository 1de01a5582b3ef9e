// Pallets and taught pallets of the palletizing process.
#include "settings/qrobotsettings.h"
#include "settings/projectfilepaths.h"
#include "settings/teachpointjson.h"
#include "types/qjsonreaders.h"
#include "transport/controllerio.h"

#include <algorithm>
#include <cstring>

using ControllerIO::take;

namespace {

const QString PalletDocument = QStringLiteral("/process/pallet");
const QString TeachPalletDocument = QStringLiteral("/process/pallet/teachPallet");

const char *const Axes[] = {"x", "y", "z", "a", "b", "c"};

QJsonObject poseObject(const float *values, int count)
{
    QJsonObject object;
    for (int i = 0; i < count; ++i)
        object.insert(QLatin1String(Axes[i]), double(values[i]));
    return object;
}

// Takes "x", "y", ... of the object under `key` (when that key is present).
void takePose(const QJsonObject &object, const char *key, float *values, int count)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it == object.constEnd())
        return;
    const QJsonObject pose = it.value().toObject();
    for (int i = 0; i < count; ++i)
        take(pose, Axes[i], values[i]);
}

void takeText(const QJsonObject &object, const char *key, char *field, int size)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        ControllerIO::copyText(it.value().toString(), field, size);
}

bool isEnd(const PalletDef &pallet)
{
    return !pallet.count[0] && !pallet.count[1] && !pallet.count[2];
}

QJsonObject palletToJson(const PalletDef &pallet)
{
    QJsonObject count;
    QJsonObject distance;
    for (int i = 0; i < 3; ++i) {
        count.insert(QLatin1String(Axes[i]), int(pallet.count[i]));
        distance.insert(QLatin1String(Axes[i]), double(pallet.distance[i]));
    }
    QJsonObject safePoint = poseObject(pallet.safePoint, 6);
    safePoint.insert(QLatin1String("auto"), pallet.autoSafePoint);
    return QJsonObject{{QStringLiteral("id"), int(pallet.id)},
                       {QStringLiteral("userCoord"), int(pallet.userCoord)},
                       {QStringLiteral("name"), ControllerIO::fieldText(pallet.name, int(sizeof pallet.name))},
                       {QStringLiteral("direction"), int(pallet.direction)},
                       {QStringLiteral("count"), count},
                       {QStringLiteral("distance"), distance},
                       {QStringLiteral("firstPoint"), poseObject(pallet.firstPoint, 6)},
                       {QStringLiteral("safePoint"), safePoint},
                       {QStringLiteral("preparePoint"), poseObject(pallet.preparePoint, 6)}};
}

void readPallet(const QJsonObject &object, PalletDef &pallet)
{
    take(object, "id", pallet.id);
    take(object, "userCoord", pallet.userCoord);
    takeText(object, "name", pallet.name, int(sizeof pallet.name));
    const auto count = object.constFind(QLatin1String("count"));
    if (count != object.constEnd()) {
        const QJsonObject counts = count.value().toObject();
        for (int i = 0; i < 3; ++i)
            take(counts, Axes[i], pallet.count[i]);
    }
    takePose(object, "distance", pallet.distance, 3);
    takePose(object, "firstPoint", pallet.firstPoint, 6);
    takePose(object, "safePoint", pallet.safePoint, 6);
    const auto safePoint = object.constFind(QLatin1String("safePoint"));
    if (safePoint != object.constEnd())
        take(safePoint.value().toObject(), "auto", pallet.autoSafePoint);
    takePose(object, "preparePoint", pallet.preparePoint, 6);
}

QJsonObject teachPalletToJson(const TeachPalletDef &pallet)
{
    QJsonArray layouts;
    for (int j = 0; j < PalletLayoutCount; ++j) {
        QJsonArray points;
        for (const TeachPoint &point : pallet.layouts[j].point) {
            if (TeachPointJson::isEmpty(point))
                break;
            points.append(poseObject(point.coordinate, 6));
        }
        layouts.append(QJsonObject{{QStringLiteral("layerHigh"), double(pallet.layerHigh[j])},
                                   {QStringLiteral("points"), points}});
    }
    return QJsonObject{{QStringLiteral("id"), int(pallet.id)},
                       {QStringLiteral("userCoord"), int(pallet.userCoord)},
                       {QStringLiteral("name"), ControllerIO::fieldText(pallet.name, int(sizeof pallet.name))},
                       {QStringLiteral("circleLayer"), int(pallet.circleLayer)},
                       {QStringLiteral("countLayer"), int(pallet.countLayer)},
                       {QStringLiteral("transPoint"), poseObject(pallet.transPoint, 6)},
                       {QStringLiteral("auto"), pallet.autoMode},
                       {QStringLiteral("layoutSeq"), ControllerIO::toArray(pallet.layoutSeq, PalletLayoutCount)},
                       {QStringLiteral("layout"), layouts}};
}

void readTeachPallet(const QJsonObject &object, TeachPalletDef &pallet)
{
    take(object, "id", pallet.id);
    take(object, "userCoord", pallet.userCoord);
    take(object, "circleLayer", pallet.circleLayer);
    take(object, "countLayer", pallet.countLayer);
    takeText(object, "name", pallet.name, int(sizeof pallet.name));
    takePose(object, "transPoint", pallet.transPoint, 6);
    take(object, "auto", pallet.autoMode);

    const QJsonArray sequence = object.value(QLatin1String("layoutSeq")).toArray();
    for (int k = 0; k < PalletLayoutCount && k < sequence.size(); ++k)
        pallet.layoutSeq[k] = QRobotJson::toInt32(sequence.at(k));

    const QJsonArray layouts = object.value(QLatin1String("layout")).toArray();
    for (int j = 0; j < PalletLayoutCount && j < layouts.size(); ++j) {
        const QJsonObject layout = layouts.at(j).toObject();
        // The layout's height belongs to the position in the sequence that
        // names this layout (j + 1).
        int k = 0;
        while (k < PalletLayoutCount && pallet.layoutSeq[k] != j + 1)
            ++k;
        if (k == PalletLayoutCount)
            k = 0;
        take(layout, "layerHigh", pallet.layerHigh[k]);
        const QJsonArray points = layout.value(QLatin1String("points")).toArray();
        TeachPointTable &table = pallet.layouts[j];
        for (int p = 0; p < TeachPointCount && p < points.size(); ++p) {
            const QJsonObject point = points.at(p).toObject();
            for (int i = 0; i < 6; ++i)
                take(point, Axes[i], table.point[p].coordinate[i]);
        }
    }
}

} // namespace

bool QRobotSettings::setPallets(const PalletDef (&table)[PalletCount])
{
    QJsonArray array;
    for (const PalletDef &pallet : table) {
        if (isEnd(pallet))
            break;
        array.append(palletToJson(pallet));
    }
    return ControllerIO::writeArray(transport(), PalletDocument, array);
}

int QRobotSettings::pallets(const QString &filePath, PalletDef (&table)[PalletCount])
{
    ProjectFilePaths::Document document;
    if (!ProjectFilePaths::processDocument(filePath, &document))
        return 0;
    int count = 0;
    ControllerIO::readArray(transport(), document.name, [&](const QJsonArray &array) {
        count = std::min(int(array.size()), int(PalletCount));
        for (int i = 0; i < count; ++i)
            readPallet(array.at(i).toObject(), table[i]);
    });
    return count;
}

bool QRobotSettings::setTeachPallets(const TeachPalletDef (&table)[PalletCount])
{
    QJsonArray array;
    for (const TeachPalletDef &pallet : table) {
        if (pallet.name[0] == '\0')
            break;
        array.append(teachPalletToJson(pallet));
    }
    return ControllerIO::writeArray(transport(), TeachPalletDocument, array);
}

int QRobotSettings::teachPallets(TeachPalletDef (&table)[PalletCount])
{
    int count = 0;
    ControllerIO::readArray(transport(), TeachPalletDocument, [&](const QJsonArray &array) {
        count = std::min(int(array.size()), int(PalletCount));
        for (int i = 0; i < count; ++i)
            readTeachPallet(array.at(i).toObject(), table[i]);
    });
    return count;
}
