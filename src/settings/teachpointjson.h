#ifndef TEACHPOINTJSON_H
#define TEACHPOINTJSON_H

#include "Varlo/projecttypes.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>

// Teach points and point tables to and from their JSON form. Tables read from
// the controller are bounded: elements past the table's end are ignored.
namespace TeachPointJson {

enum Extras { WithoutExtras, WithAliasAndAux };

bool isEmpty(const TeachPoint &point);

// {"name": "P<index>", "armOrientation": [r, d, n, cfg] (kind 6) or "left"/
// "right" (other kinds), "coordinate", "tool", "user", "load" and, with
// extras, "alias" and "auxJoint"}.
QJsonObject toJson(const TeachPoint &point, int kind, Extras extras);

// Stores the keys that `object` holds into `point`; others stay as they are.
void read(const QJsonObject &object, int kind, TeachPoint &point);

// The points before the first empty one.
QJsonArray tableToJson(const TeachPointTable &table, int kind, Extras extras);

// Fills point i from element i; returns the number of points read.
int readTable(const QJsonArray &array, int kind, TeachPointTable &table);

} // namespace TeachPointJson

#endif // TEACHPOINTJSON_H
