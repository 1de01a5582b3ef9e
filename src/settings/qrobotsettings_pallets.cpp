// Pallets and taught pallets of the palletizing process.
#include "Varlo/qrobotsettings.h"
#include "settings/projectfilepaths.h"
#include "settings/teachpointjson.h"
#include "transport/documentbinding.h"

#include <algorithm>

using ControllerIO::Field;
using ControllerIO::Fields;
using ControllerIO::elements;

namespace {

const QString PalletDocument = QStringLiteral("/process/pallet");
const QString TeachPalletDocument = QStringLiteral("/process/pallet/teachPallet");

// Positions are objects of named axes.
const std::initializer_list<const char *> Pose = { "x", "y", "z", "a", "b", "c" };
const std::initializer_list<const char *> Axes3 = { "x", "y", "z" };

// A pallet: its grid (counts and distances along x, y, z) and its points.
// "direction" is written but not read back.
const Fields<PalletDef> PalletFields{
    { "id", &PalletDef::id },
    { "userCoord", &PalletDef::userCoord },
    { "name", &PalletDef::name },
    Field<PalletDef>("direction", &PalletDef::direction).writeOnly(),
    { "count", Fields<PalletDef>(elements(&PalletDef::count, Axes3)) },
    { "distance", Fields<PalletDef>(elements(&PalletDef::distance, Axes3)) },
    { "firstPoint", Fields<PalletDef>(elements(&PalletDef::firstPoint, Pose)) },
    { "safePoint", Fields<PalletDef>(elements(&PalletDef::safePoint, Pose), { { "auto", &PalletDef::autoSafePoint } }) },
    { "preparePoint", Fields<PalletDef>(elements(&PalletDef::preparePoint, Pose)) },
};

bool isEnd(const PalletDef &pallet)
{
    return !pallet.count[0] && !pallet.count[1] && !pallet.count[2];
}

// The plain keys of a taught pallet; the layouts and their sequence follow
// their own rules below.
const Fields<TeachPalletDef> TeachPalletFields{
    { "id", &TeachPalletDef::id },
    { "userCoord", &TeachPalletDef::userCoord },
    { "circleLayer", &TeachPalletDef::circleLayer },
    { "countLayer", &TeachPalletDef::countLayer },
    { "name", &TeachPalletDef::name },
    { "transPoint", Fields<TeachPalletDef>(elements(&TeachPalletDef::transPoint, Pose)) },
    { "auto", &TeachPalletDef::autoMode },
};
// A layout point keeps only its position.
const Fields<TeachPoint> LayoutPointFields(elements(&TeachPoint::coordinate, Pose));

QJsonObject teachPalletToJson(const TeachPalletDef &pallet)
{
    QJsonArray layouts;
    for (int j = 0; j < PalletLayoutCount; ++j) {
        QJsonArray points;
        for (const TeachPoint &point : pallet.layouts[j].point) {
            if (TeachPointJson::isEmpty(point))
                break;
            points.append(LayoutPointFields.toJson(point));
        }
        layouts.append(QJsonObject{{QStringLiteral("layerHigh"), double(pallet.layerHigh[j])},
                                   {QStringLiteral("points"), points}});
    }
    QJsonObject object = TeachPalletFields.toJson(pallet);
    object.insert(QStringLiteral("layoutSeq"), ControllerIO::toArray(pallet.layoutSeq, PalletLayoutCount));
    object.insert(QStringLiteral("layout"), layouts);
    return object;
}

void readTeachPallet(const QJsonObject &object, TeachPalletDef &pallet)
{
    TeachPalletFields.read(object, pallet);

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
        ControllerIO::take(layout, "layerHigh", pallet.layerHigh[k]);
        LayoutPointFields.readArray(layout.value(QLatin1String("points")).toArray(), pallet.layouts[j].point,
                                    TeachPointCount);
    }
}

} // namespace

bool QRobotSettings::setPallets(const PalletDef (&table)[PalletCount])
{
    QJsonArray array;
    for (const PalletDef &pallet : table) {
        if (isEnd(pallet))
            break;
        array.append(PalletFields.toJson(pallet));
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
        count = PalletFields.readArray(array, table, PalletCount);
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
