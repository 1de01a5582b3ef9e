#ifndef CONTROLLERIO_H
#define CONTROLLERIO_H

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include "types/qjsonreaders.h"

#include <cstdint>
#include <functional>

class QHttpManager;

// The shapes in which the components talk to the controller, written once:
// a command (POST or GET, out-parameters taken from the reply), and the read
// and write of a parameter document. Each carries the log text an operation
// writes when it fails.
namespace ControllerIO {

// A log line of one or two items: a single text ("collisionDect_getParaError")
// or an operation's signature followed by an error word
// ("bool QRobotCollaborative::setElecSkinParams(QRobotCoor::ElecSkinPars)",
// "setParaError"). An empty LogText logs nothing.
struct LogText
{
    QByteArray first;
    QByteArray second;

    LogText() = default;
    LogText(const char *text) : first(text) {}
    LogText(const char *signature, const char *word) : first(signature), second(word) {}
    LogText(QByteArray signature, QByteArray word) : first(std::move(signature)), second(std::move(word)) {}
    bool isEmpty() const { return first.isEmpty(); }
};

void log(const LogText &text);

// ---- commands ------------------------------------------------------------

// POST `body` to `path` on the API port. A failed request writes `onFailure`.
bool post(QHttpManager *transport, const QString &path, const QJsonObject &body,
          const LogText &onFailure = LogText());
// The same, and on success `read` is called with the reply object (empty when
// the reply is not an object) to take what it holds.
bool post(QHttpManager *transport, const QString &path, const QJsonObject &body,
          const std::function<void(const QJsonObject &)> &read, const LogText &onFailure = LogText());

// GET `path` on the API port. On success `read` is called with the reply
// object (empty when the reply is not an object) to take the keys it
// contains; a failed request writes `onFailure` and reads nothing.
bool get(QHttpManager *transport, const QString &path, const std::function<void(const QJsonObject &)> &read,
         const LogText &onFailure = LogText());

// GET `path` for the bool under `key`: true only when the request succeeded
// and the reply holds the key; otherwise `value` keeps its value.
bool getPresent(QHttpManager *transport, const QString &path, const char *key, bool &value);

// ---- parameter documents -------------------------------------------------

enum class ReadStatus {
    Failed,    // the document could not be read
    Missing,   // the controller has no such document (it answered so)
    NotJson,   // the bytes are not a JSON document
    OtherKind, // JSON, but an array where an object was wanted or the reverse
    Ok
};

// Reads a document and parses it; logs `onFailure` when it cannot be read
// (missing included). Never gives OtherKind.
ReadStatus readDocument(QHttpManager *transport, const QString &name, QJsonDocument *document,
                        const LogText &onFailure = LogText());
// The same for a document that is to be an object (an array): `*object` is
// set only with Ok.
ReadStatus readObjectDocument(QHttpManager *transport, const QString &name, QJsonObject *object,
                              const LogText &onFailure = LogText());
ReadStatus readArrayDocument(QHttpManager *transport, const QString &name, QJsonArray *array,
                             const LogText &onFailure = LogText());

// Whether a setter that edits a document whole (read, change a part, write
// back) may go on: with the document as read, or from nothing when the
// controller has none yet. A failed read, or a document that is not what it
// should be, is never written over: one transient failure would otherwise
// erase everything else the document holds.
inline bool mayEdit(ReadStatus status) { return status == ReadStatus::Ok || status == ReadStatus::Missing; }

// What a read makes of a document that is valid JSON of the other kind (an
// array where an object belongs, or the reverse).
enum class OtherKind {
    ReadsNothing, // nothing to take from it: true, the record untouched
    Fails         // false, the record untouched
};

// The read shape for an object document: unreadable or missing → false
// (logged), not JSON → false, an array → as `otherKind` says, an object →
// `read` takes the keys it contains, true.
bool readObject(QHttpManager *transport, const QString &name, const std::function<void(const QJsonObject &)> &read,
                const LogText &onFailure = LogText(), OtherKind otherKind = OtherKind::ReadsNothing);

// The same for an array document.
bool readArray(QHttpManager *transport, const QString &name, const std::function<void(const QJsonArray &)> &read,
               const LogText &onFailure = LogText(), OtherKind otherKind = OtherKind::ReadsNothing);

// The write shape: the whole document replaced; a failed write logs `onFailure`.
bool writeDocument(QHttpManager *transport, const QString &name, const QJsonDocument &document,
                   const LogText &onFailure = LogText());
inline bool writeObject(QHttpManager *transport, const QString &name, const QJsonObject &object,
                        const LogText &onFailure = LogText())
{
    return writeDocument(transport, name, QJsonDocument(object), onFailure);
}
inline bool writeArray(QHttpManager *transport, const QString &name, const QJsonArray &array,
                       const LogText &onFailure = LogText())
{
    return writeDocument(transport, name, QJsonDocument(array), onFailure);
}

// ---- one value into a field, and back -----------------------------------
// Values of the wrong JSON type convert to the default (false, 0, 0.0,
// empty); numbers read as the bounded readers of types/qjsonreaders.h read
// them (non-integral or out-of-range ints are 0, floats clamped to the float
// range).

void assign(const QJsonValue &value, bool &field);
void assign(const QJsonValue &value, int32_t &field);
void assign(const QJsonValue &value, quint8 &field); // clamped to 0..255
void assign(const QJsonValue &value, float &field);
void assign(const QJsonValue &value, double &field);
void assign(const QJsonValue &value, QString &field);
// Fixed arrays: element i to field i; missing or unusable elements, and a
// value that is no array, give 0; elements past the field are ignored.
void readDoubles(const QJsonValue &value, double *fields, int count);
template <int N>
void assign(const QJsonValue &value, float (&fields)[N]) { QRobotJson::readFloats(value, fields, N); }
template <int N>
void assign(const QJsonValue &value, int32_t (&fields)[N]) { QRobotJson::readInts(value, fields, N); }
template <int N>
void assign(const QJsonValue &value, double (&fields)[N]) { readDoubles(value, fields, N); }

// Copies text into a fixed NUL-terminated char field of `size` bytes as UTF-8,
// cut at a character boundary so that no sequence is split.
void copyText(const QString &text, char *field, int size);
// The UTF-8 text of a host's char field of `size` bytes: up to its NUL, or
// the whole field when it has none.
QString fieldText(const char *field, int size);
template <int N>
void assign(const QJsonValue &value, char (&field)[N]) { copyText(value.toString(), field, N); }

// The JSON form of a field: ints stay integers, floats widen to numbers.
inline QJsonValue jsonOf(bool field) { return field; }
inline QJsonValue jsonOf(int32_t field) { return int(field); }
inline QJsonValue jsonOf(quint8 field) { return int(field); }
inline QJsonValue jsonOf(float field) { return double(field); }
inline QJsonValue jsonOf(double field) { return field; }
inline QJsonValue jsonOf(const QString &field) { return field; }
// `count` values as an array, each in its JSON form.
template <typename T>
QJsonArray toArray(const T *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(jsonOf(values[i]));
    return array;
}
template <int N>
QJsonValue jsonOf(const float (&fields)[N]) { return toArray(fields, N); }
template <int N>
QJsonValue jsonOf(const int32_t (&fields)[N]) { return toArray(fields, N); }
template <int N>
QJsonValue jsonOf(const double (&fields)[N]) { return toArray(fields, N); }
template <int N>
QJsonValue jsonOf(const char (&field)[N]) { return fieldText(field, N); }

// Stores the value under `key` only when `object` contains it; an absent key
// leaves the field as it was.
template <typename T>
void take(const QJsonObject &object, const char *key, T &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        assign(it.value(), field);
}
// The same into `count` elements from `fields` on.
void takeArray(const QJsonObject &object, const char *key, float *fields, int count);
void takeArray(const QJsonObject &object, const char *key, int32_t *fields, int count);

} // namespace ControllerIO

#endif // CONTROLLERIO_H
