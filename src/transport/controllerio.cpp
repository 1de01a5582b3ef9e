#include "transport/controllerio.h"
#include "Varlo/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>

#include <cstring>
#include <type_traits>

namespace ControllerIO {

void log(const LogText &text)
{
    if (text.isEmpty())
        return;
    if (text.second.isEmpty())
        qDebug() << text.first.constData();
    else
        qDebug() << text.first.constData() << text.second.constData();
}

bool post(QHttpManager *transport, const QString &path, const QJsonObject &body, const LogText &onFailure)
{
    return post(transport, path, body, nullptr, onFailure);
}

bool post(QHttpManager *transport, const QString &path, const QJsonObject &body,
          const std::function<void(const QJsonObject &)> &read, const LogText &onFailure)
{
    QJsonObject answer;
    if (!transport->postJson(path, body, answer)) {
        log(onFailure);
        return false;
    }
    if (read)
        read(answer);
    return true;
}

bool get(QHttpManager *transport, const QString &path, const std::function<void(const QJsonObject &)> &read,
         const LogText &onFailure)
{
    QJsonObject answer;
    if (!transport->getJson(path, answer)) {
        log(onFailure);
        return false;
    }
    if (read)
        read(answer);
    return true;
}

bool getPresent(QHttpManager *transport, const QString &path, const char *key, bool &value)
{
    bool present = false;
    const bool ok = get(transport, path, [&](const QJsonObject &reply) {
        present = reply.contains(QLatin1String(key));
        take(reply, key, value);
    });
    return ok && present;
}

ReadStatus readDocument(QHttpManager *transport, const QString &name, QJsonDocument *document,
                        const LogText &onFailure)
{
    QByteArray bytes;
    switch (transport->readPara(bytes, name)) {
    case QHttpManager::ParaRead::Failed:
        log(onFailure);
        return ReadStatus::Failed;
    case QHttpManager::ParaRead::Missing:
        log(onFailure);
        return ReadStatus::Missing;
    case QHttpManager::ParaRead::Read:
        break;
    }
    QJsonParseError error;
    const QJsonDocument parsed = QRobotJson::parse(bytes, &error);
    if (parsed.isNull() || error.error != QJsonParseError::NoError)
        return ReadStatus::NotJson;
    *document = parsed;
    return ReadStatus::Ok;
}

namespace {

// A document of one kind: an object (`Kind` QJsonObject) or an array.
template <typename Kind>
ReadStatus readKind(QHttpManager *transport, const QString &name, Kind *value, const LogText &onFailure)
{
    QJsonDocument document;
    const ReadStatus status = readDocument(transport, name, &document, onFailure);
    if (status != ReadStatus::Ok)
        return status;
    if (std::is_same<Kind, QJsonObject>::value ? !document.isObject() : !document.isArray())
        return ReadStatus::OtherKind;
    if constexpr (std::is_same<Kind, QJsonObject>::value)
        *value = document.object();
    else
        *value = document.array();
    return ReadStatus::Ok;
}

template <typename Kind>
bool readWith(QHttpManager *transport, const QString &name, const std::function<void(const Kind &)> &read,
              const LogText &onFailure, OtherKind otherKind)
{
    Kind value;
    const ReadStatus status = readKind(transport, name, &value, onFailure);
    if (status == ReadStatus::Ok && read)
        read(value);
    return status == ReadStatus::Ok || (status == ReadStatus::OtherKind && otherKind == OtherKind::ReadsNothing);
}

} // namespace

ReadStatus readObjectDocument(QHttpManager *transport, const QString &name, QJsonObject *object,
                              const LogText &onFailure)
{
    return readKind(transport, name, object, onFailure);
}

ReadStatus readArrayDocument(QHttpManager *transport, const QString &name, QJsonArray *array,
                             const LogText &onFailure)
{
    return readKind(transport, name, array, onFailure);
}

bool readObject(QHttpManager *transport, const QString &name, const std::function<void(const QJsonObject &)> &read,
                const LogText &onFailure, OtherKind otherKind)
{
    return readWith(transport, name, read, onFailure, otherKind);
}

bool readArray(QHttpManager *transport, const QString &name, const std::function<void(const QJsonArray &)> &read,
               const LogText &onFailure, OtherKind otherKind)
{
    return readWith(transport, name, read, onFailure, otherKind);
}

bool writeDocument(QHttpManager *transport, const QString &name, const QJsonDocument &document,
                   const LogText &onFailure)
{
    if (!transport->setPara(document.toJson(), name)) {
        log(onFailure);
        return false;
    }
    return true;
}

void assign(const QJsonValue &value, bool &field) { field = value.toBool(false); }
void assign(const QJsonValue &value, int32_t &field) { field = QRobotJson::toInt32(value); }
void assign(const QJsonValue &value, quint8 &field) { field = quint8(qBound(0, int(QRobotJson::toInt32(value)), 255)); }
void assign(const QJsonValue &value, float &field) { field = QRobotJson::toFloat(value); }
void assign(const QJsonValue &value, double &field) { field = value.toDouble(0.0); }
void assign(const QJsonValue &value, QString &field) { field = value.toString(); }

void readDoubles(const QJsonValue &value, double *fields, int count)
{
    const QJsonArray array = value.toArray();
    for (int i = 0; i < count; ++i)
        fields[i] = i < array.size() ? array.at(i).toDouble(0.0) : 0.0;
}

void takeArray(const QJsonObject &object, const char *key, float *fields, int count)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        QRobotJson::readFloats(it.value(), fields, count);
}

void takeArray(const QJsonObject &object, const char *key, int32_t *fields, int count)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        QRobotJson::readInts(it.value(), fields, count);
}

void copyText(const QString &text, char *field, int size)
{
    if (!field || size <= 0)
        return;
    const QByteArray utf8 = text.toUtf8();
    int length = qMin(int(utf8.size()), size - 1);
    // Step back over continuation bytes so that no UTF-8 sequence is split.
    if (length < utf8.size()) {
        while (length > 0 && (uchar(utf8.at(length)) & 0xC0) == 0x80)
            --length;
    }
    memcpy(field, utf8.constData(), size_t(length));
    field[length] = '\0';
}

QString fieldText(const char *field, int size)
{
    const void *end = memchr(field, '\0', size_t(size));
    return QString::fromUtf8(field, end ? int(static_cast<const char *>(end) - field) : size);
}

} // namespace ControllerIO
