#ifndef PARAMETERDOCUMENTS_H
#define PARAMETERDOCUMENTS_H

#include "settings/parametertypes.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <initializer_list>

class QHttpManager;

// Motion parameter documents made of numeric arrays, and the limit objects of
// the limits document, read and written from one description each.
namespace ParameterDocuments {

// One array of a document: `key` holds `count` numbers.
struct FloatArray
{
    const char *key;
    float *values;
    int count;
};

// Reads an object document whose keys are numeric arrays. Every array is
// cleared first; a key of the wrong type leaves zeros; elements past `count`
// are ignored. False when the document cannot be read or is not JSON.
bool readArrays(QHttpManager *transport, const QString &name, std::initializer_list<FloatArray> arrays);

// Writes {"key": [numbers], ...} from every array.
bool writeArrays(QHttpManager *transport, const QString &name, std::initializer_list<FloatArray> arrays);

// A limit object {"def", "max", "min"}.
QJsonObject limitObject(const LimitTriple &limit);
// Takes "def", "max" and "min" from a limit object, each only when present.
// Anything but an object leaves the triple as it was.
void takeLimit(const QJsonValue &value, LimitTriple &limit);

// The branches of the limits document that hold arrays of limit objects or a
// single one, by their key path. The drag sensitivity, whose keys differ
// between reading and writing, is not among them.
struct LimitBranch
{
    QStringList path;
    LimitTriple *limits;
    int count; // 0 for a single limit object, else the array's length
};
QList<LimitBranch> limitBranches(DefaultLimits &limits);

// Looks up a nested value by its key path; undefined when a step is missing
// or is not an object.
QJsonValue valueAt(const QJsonObject &root, const QStringList &path);
// Inserts `value` at the key path, creating or extending the objects on the way.
void insertAt(QJsonObject &root, const QStringList &path, const QJsonValue &value);

} // namespace ParameterDocuments

#endif // PARAMETERDOCUMENTS_H
