#include "settings/teachpointjson.h"
#include "transport/controllerio.h"

#include <algorithm>

namespace TeachPointJson {

using ControllerIO::take;
using ControllerIO::takeArray;

bool isEmpty(const TeachPoint &point)
{
    if (point.index || point.armOrientation || point.tool || point.user)
        return false;
    for (float value : point.coordinate) {
        if (value != 0.0f)
            return false;
    }
    for (qint32 value : point.rdn) {
        if (value)
            return false;
    }
    return true;
}

QJsonObject toJson(const TeachPoint &point, int kind, Extras extras)
{
    QJsonObject object;
    object.insert(QLatin1String("name"), QStringLiteral("P%1").arg(point.index));
    if (extras == WithAliasAndAux) {
        object.insert(QLatin1String("alias"), ControllerIO::fieldText(point.alias, int(sizeof point.alias)));
        object.insert(QLatin1String("auxJoint"), ControllerIO::toArray(point.auxJoint, 3));
    }
    if (kind == 6)
        object.insert(QLatin1String("armOrientation"), ControllerIO::toArray(point.rdn, 4));
    else
        object.insert(QLatin1String("armOrientation"),
                      point.armOrientation == 0 ? QStringLiteral("left") : QStringLiteral("right"));
    object.insert(QLatin1String("coordinate"), ControllerIO::toArray(point.coordinate, 6));
    object.insert(QLatin1String("tool"), int(point.tool));
    object.insert(QLatin1String("user"), int(point.user));
    object.insert(QLatin1String("load"), int(point.load));
    return object;
}

void read(const QJsonObject &object, int kind, TeachPoint &point)
{
    const auto name = object.constFind(QLatin1String("name"));
    if (name != object.constEnd())
        point.index = name.value().toString().mid(1).toInt(); // "P12" → 12; not a number → 0
    const auto alias = object.constFind(QLatin1String("alias"));
    if (alias != object.constEnd())
        ControllerIO::copyText(alias.value().toString(), point.alias, int(sizeof point.alias));
    take(object, "tool", point.tool);
    take(object, "user", point.user);
    take(object, "load", point.load);
    if (object.value(QLatin1String("coordinate")).isArray())
        takeArray(object, "coordinate", point.coordinate, 6);
    if (object.value(QLatin1String("auxJoint")).isArray())
        takeArray(object, "auxJoint", point.auxJoint, 3);

    const auto arm = object.constFind(QLatin1String("armOrientation"));
    if (arm == object.constEnd())
        return;
    if (kind == 4) {
        // An array is the other kind's form; any other value is the hand, and
        // only the exact text "left" is the left hand.
        if (arm.value().isArray())
            point.armOrientation = 0;
        else
            point.armOrientation = arm.value().toString() == QLatin1String("left") ? 0 : 1;
    } else if (kind == 6) {
        if (arm.value().isArray()) {
            takeArray(object, "armOrientation", point.rdn, 4);
        } else {
            point.rdn[0] = point.rdn[1] = point.rdn[2] = -1;
            point.rdn[3] = 0;
        }
    }
}

QJsonArray tableToJson(const TeachPointTable &table, int kind, Extras extras)
{
    QJsonArray array;
    for (const TeachPoint &point : table.point) {
        if (isEmpty(point))
            break;
        array.append(toJson(point, kind, extras));
    }
    return array;
}

int readTable(const QJsonArray &array, int kind, TeachPointTable &table)
{
    const int count = std::min(int(array.size()), int(TeachPointCount));
    for (int i = 0; i < count; ++i)
        read(array.at(i).toObject(), kind, table.point[i]);
    return count;
}

} // namespace TeachPointJson
