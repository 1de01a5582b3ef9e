#ifndef DOCUMENTBINDING_H
#define DOCUMENTBINDING_H

#include "transport/controllerio.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QString>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <vector>

class QHttpManager;

// A record bound to its JSON form, said once: the keys and the fields they
// hold. From the binding follow reading a parameter document (or a reply)
// into the record, writing the record as a document (or a request body), and
// the log texts of both directions. A get/set pair then reads
//
//   const ControllerIO::Document<QRobotCoor::InstallPosture> Install{
//       "/settings/function/install",
//       { { "SlopeAngle", &QRobotCoor::InstallPosture::SlopeAngle },
//         { "RotationAngle", &QRobotCoor::InstallPosture::RotationAngle } },
//       ControllerIO::Logs::signatures("QRobotCollaborative", "InstallPosture", "QRobotCoor::InstallPosture") };
//
//   bool QRobotCollaborative::setInstallPosture(QRobotCoor::InstallPosture p) { return Install.write(transport(), p); }
//   bool QRobotCollaborative::getInstallPosture(QRobotCoor::InstallPosture &p) { return Install.read(transport(), p); }
//
// Reading takes only the keys a document holds (an absent key leaves its
// field as it was) through the bounded readers of types/qjsonreaders.h;
// writing builds the whole object from every field.
namespace ControllerIO {

// The failure texts of one get/set pair: `read` when the document (or reply)
// cannot be had, `write` when the write (or request) fails.
struct Logs
{
    LogText read;
    LogText write;

    // "<stem>_getParaError" and "<stem>_setParaError".
    static Logs words(const char *stem);
    // "bool <Class>::get<Name>(<Type>&)" "getParaError" and
    // "bool <Class>::set<Name>(<Type>)" "setParaError".
    static Logs signatures(const char *className, const char *name, const char *type);
};

template <typename Record>
class Fields;

// One key of a record's JSON form and the field it holds.
template <typename Record>
class Field
{
public:
    // Called with the key's value when the object holds the key.
    using Take = std::function<void(const QJsonValue &, Record &)>;
    using Give = std::function<QJsonValue(const Record &)>;

    Field(const QString &key, Take take, Give give) : m_key(key), m_take(std::move(take)), m_give(std::move(give)) {}
    Field(const char *key, Take take, Give give) : Field(QLatin1String(key), std::move(take), std::move(give)) {}

    // A field of one of the types ControllerIO::assign() and jsonOf() know:
    // bool, int32, byte, float, double, QString, fixed numeric arrays and
    // NUL-terminated char texts.
    template <typename T>
    Field(const char *key, T Record::*m)
        : Field(key, [m](const QJsonValue &v, Record &r) { assign(v, r.*m); },
                [m](const Record &r) { return jsonOf(r.*m); })
    {
    }
    // A record inside the record, held as an object of its own.
    template <typename Sub>
    Field(const char *key, Sub Record::*m, const Fields<Sub> &sub)
        : Field(key, [m, sub](const QJsonValue &v, Record &r) { sub.read(v.toObject(), r.*m); },
                [m, sub](const Record &r) { return QJsonValue(sub.toJson(r.*m)); })
    {
    }
    // An array of records, each an object: element i to record i, at most N.
    template <typename Sub, int N>
    Field(const char *key, Sub (Record::*m)[N], const Fields<Sub> &sub)
        : Field(key,
                [m, sub](const QJsonValue &v, Record &r) {
                    const QJsonArray array = v.toArray();
                    const int count = std::min(int(array.size()), N);
                    for (int i = 0; i < count; ++i)
                        sub.read(array.at(i).toObject(), (r.*m)[i]);
                },
                [m, sub](const Record &r) { return QJsonValue(sub.toArray(r.*m, N)); })
    {
    }
    // A group: an object under `key` whose keys are more fields of this record.
    Field(const char *key, const Fields<Record> &group)
        : Field(key, [group](const QJsonValue &v, Record &r) { group.read(v.toObject(), r); },
                [group](const Record &r) { return QJsonValue(group.toJson(r)); })
    {
    }

    const QString &key() const { return m_key; }

    // Stores the key's value when `object` holds the key, else `missing`
    // unless that is undefined.
    void read(const QJsonObject &object, Record &record, const QJsonValue &missing = QJsonValue::Undefined) const
    {
        if (!m_take)
            return;
        const auto it = object.constFind(m_key);
        if (it != object.constEnd())
            m_take(it.value(), record);
        else if (!missing.isUndefined())
            m_take(missing, record);
    }
    void write(QJsonObject &object, const Record &record) const
    {
        if (m_give)
            object.insert(m_key, m_give(record));
    }

    // Variants of a field: written but never read back, read but never
    // written, or read only when the value is a JSON array.
    Field writeOnly() const { return Field(m_key, Take(), m_give); }
    Field readOnly() const { return Field(m_key, m_take, Give()); }
    Field whenArray() const
    {
        const Take take = m_take;
        return Field(m_key, [take](const QJsonValue &v, Record &r) { if (v.isArray()) take(v, r); }, m_give);
    }

private:
    QString m_key;
    Take m_take;
    Give m_give;
};

// A bool that travels as the integer 0/1 (read true only for 1).
template <typename Record>
Field<Record> flag(const char *key, bool Record::*m)
{
    return Field<Record>(key, [m](const QJsonValue &v, Record &r) { r.*m = QRobotJson::toInt32(v) == 1; },
                         [m](const Record &r) { return QJsonValue(r.*m ? 1 : 0); });
}

// The keys of a record, in any order (a JSON object sorts them).
template <typename Record>
class Fields
{
public:
    Fields(std::initializer_list<Field<Record>> fields) : m_fields(fields) {}
    Fields(std::vector<Field<Record>> fields) : m_fields(std::move(fields)) {}
    // These fields and more.
    Fields(std::vector<Field<Record>> fields, std::initializer_list<Field<Record>> more) : m_fields(std::move(fields))
    {
        m_fields.insert(m_fields.end(), more);
    }

    // Takes the keys that `object` holds; the other fields stay as they are,
    // or take `missing` when that is given.
    void read(const QJsonObject &object, Record &record, const QJsonValue &missing = QJsonValue::Undefined) const
    {
        for (const Field<Record> &field : m_fields)
            field.read(object, record, missing);
    }
    // Sets every written key in `object`, keeping its other keys.
    void write(QJsonObject &object, const Record &record) const
    {
        for (const Field<Record> &field : m_fields)
            field.write(object, record);
    }
    QJsonObject toJson(const Record &record) const
    {
        QJsonObject object;
        write(object, record);
        return object;
    }
    // Records as an array of objects; element i from record i.
    QJsonArray toArray(const Record *records, int count) const
    {
        QJsonArray array;
        for (int i = 0; i < count; ++i)
            array.append(toJson(records[i]));
        return array;
    }
    // Element i into record i, at most `count`; returns the number read.
    int readArray(const QJsonArray &array, Record *records, int count) const
    {
        const int read = std::min(int(array.size()), count);
        for (int i = 0; i < read; ++i)
            this->read(array.at(i).toObject(), records[i]);
        return read;
    }

private:
    std::vector<Field<Record>> m_fields;
};

// The elements of a fixed array as keys of their own: element i under the
// i-th key, e.g. a pose {"x", "y", "z", "a", "b", "c"} of a float[6]. There
// may be fewer keys than elements, never more.
template <typename Record, typename T, int N>
std::vector<Field<Record>> elements(T (Record::*m)[N], std::initializer_list<const char *> keys)
{
    Q_ASSERT(int(keys.size()) <= N);
    std::vector<Field<Record>> fields;
    int i = 0;
    for (const char *key : keys) {
        fields.emplace_back(key, [m, i](const QJsonValue &v, Record &r) { assign(v, (r.*m)[i]); },
                            [m, i](const Record &r) { return jsonOf((r.*m)[i]); });
        ++i;
    }
    return fields;
}

// An object document bound to a record.
template <typename Record>
class Document
{
public:
    Document(const char *name, Fields<Record> fields, Logs logs = Logs(), OtherKind otherKind = OtherKind::ReadsNothing)
        : m_name(QLatin1String(name)), m_fields(std::move(fields)), m_logs(std::move(logs)), m_otherKind(otherKind)
    {
    }

    const QString &name() const { return m_name; }
    const Fields<Record> &fields() const { return m_fields; }
    const Logs &logs() const { return m_logs; }

    // False when the document cannot be read (logged) or is not JSON.
    bool read(QHttpManager *transport, Record &record) const
    {
        QJsonObject object;
        switch (readObjectDocument(transport, m_name, &object, m_logs.read)) {
        case ReadStatus::Failed:
        case ReadStatus::Missing:
        case ReadStatus::NotJson:
            return false;
        case ReadStatus::OtherKind:
            return m_otherKind == OtherKind::ReadsNothing;
        case ReadStatus::Ok:
            break;
        }
        m_fields.read(object, record);
        return true;
    }
    // Replaces the whole document; a failed write is logged.
    bool write(QHttpManager *transport, const Record &record) const
    {
        return writeObject(transport, m_name, m_fields.toJson(record), m_logs.write);
    }

private:
    QString m_name;
    Fields<Record> m_fields;
    Logs m_logs;
    OtherKind m_otherKind;
};

// An array document of records, element i bound to record i.
template <typename Record>
class ArrayDocument
{
public:
    ArrayDocument(const char *name, Fields<Record> fields, Logs logs = Logs(),
                  OtherKind otherKind = OtherKind::ReadsNothing)
        : m_name(QLatin1String(name)), m_fields(std::move(fields)), m_logs(std::move(logs)), m_otherKind(otherKind)
    {
    }

    // Reads at most `count` records; elements past them are ignored. False
    // when the document cannot be read (logged) or is not JSON; an object
    // document reads as `otherKind` says.
    bool read(QHttpManager *transport, Record *records, int count) const
    {
        return readArray(transport, m_name,
                         [&](const QJsonArray &array) { m_fields.readArray(array, records, count); }, m_logs.read,
                         m_otherKind);
    }
    // The read of a setter that edits the table whole (see mayEdit()): the
    // records as read, or untouched when the controller has no table yet.
    // False, nothing read, when the table must not be written over.
    bool readForEdit(QHttpManager *transport, Record *records, int count) const
    {
        QJsonArray array;
        const ReadStatus status = readArrayDocument(transport, m_name, &array, m_logs.read);
        if (status == ReadStatus::Ok)
            m_fields.readArray(array, records, count);
        return mayEdit(status);
    }
    bool write(QHttpManager *transport, const Record *records, int count) const
    {
        return writeArray(transport, m_name, m_fields.toArray(records, count), m_logs.write);
    }

private:
    QString m_name;
    Fields<Record> m_fields;
    Logs m_logs;
    OtherKind m_otherKind;
};

// A document of one value under one key, such as {"value": true}.
template <typename T>
class ValueDocument
{
public:
    ValueDocument(const char *name, const char *key, Logs logs = Logs(), OtherKind otherKind = OtherKind::ReadsNothing)
        : m_document(name, { { key, &Single::value } }, std::move(logs), otherKind)
    {
    }

    bool read(QHttpManager *transport, T &value) const
    {
        Single single{ value };
        const bool ok = m_document.read(transport, single);
        value = single.value;
        return ok;
    }
    bool write(QHttpManager *transport, const T &value) const { return m_document.write(transport, Single{ value }); }

private:
    struct Single
    {
        T value;
    };
    Document<Single> m_document;
};

// A command path bound to a record: the record is the body of a POST and is
// read back from the reply of a GET of the same path.
template <typename Record>
class Command
{
public:
    Command(const char *path, Fields<Record> fields, LogText postFailure = LogText(), LogText getFailure = LogText())
        : m_path(QLatin1String(path)), m_fields(std::move(fields)), m_postFailure(std::move(postFailure)),
          m_getFailure(std::move(getFailure))
    {
    }

    bool post(QHttpManager *transport, const Record &record) const
    {
        return ControllerIO::post(transport, m_path, m_fields.toJson(record), m_postFailure);
    }
    // On success the keys the reply holds; a failed request reads nothing.
    bool get(QHttpManager *transport, Record &record) const
    {
        return ControllerIO::get(transport, m_path, [&](const QJsonObject &reply) { m_fields.read(reply, record); },
                                 m_getFailure);
    }

private:
    QString m_path;
    Fields<Record> m_fields;
    LogText m_postFailure;
    LogText m_getFailure;
};

} // namespace ControllerIO

#endif // DOCUMENTBINDING_H
