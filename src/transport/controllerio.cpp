#include "transport/controllerio.h"
#include "transport/qhttpmanager.h"
#include "types/qjsonreaders.h"

#include <QtCore/QDebug>

#include <cstring>

namespace ControllerIO {

void log(const LogText &text)
{
    if (text.isEmpty())
        return;
    if (text.second)
        qDebug() << text.first << text.second;
    else
        qDebug() << text.first;
}

bool post(QHttpManager *transport, const QString &path, const QJsonObject &body, const LogText &onFailure,
          QJsonObject *reply)
{
    QJsonObject answer;
    const bool ok = transport->postJson(path, body, answer);
    if (!ok)
        log(onFailure);
    if (reply)
        *reply = answer;
    return ok;
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

ReadStatus readDocument(QHttpManager *transport, const QString &name, QJsonDocument *document,
                        const LogText &onFailure)
{
    QByteArray bytes;
    if (!transport->getPara(bytes, name)) {
        log(onFailure);
        return ReadStatus::Failed;
    }
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(bytes, &error);
    if (parsed.isNull() || error.error != QJsonParseError::NoError)
        return ReadStatus::NotJson;
    *document = parsed;
    return ReadStatus::Ok;
}

namespace {

template <typename Read>
bool readKind(QHttpManager *transport, const QString &name, bool wantObject, const Read &read,
              const LogText &onFailure)
{
    QJsonDocument document;
    switch (readDocument(transport, name, &document, onFailure)) {
    case ReadStatus::Failed:
    case ReadStatus::NotJson:
        return false;
    case ReadStatus::Ok:
        break;
    }
    if (document.isObject() != wantObject)
        return true; // valid JSON of the other kind: nothing to take from it
    read(document);
    return true;
}

} // namespace

bool readObject(QHttpManager *transport, const QString &name, const std::function<void(const QJsonObject &)> &read,
                const LogText &onFailure)
{
    return readKind(transport, name, true, [&](const QJsonDocument &d) { if (read) read(d.object()); }, onFailure);
}

bool readArray(QHttpManager *transport, const QString &name, const std::function<void(const QJsonArray &)> &read,
               const LogText &onFailure)
{
    return readKind(transport, name, false, [&](const QJsonDocument &d) { if (read) read(d.array()); }, onFailure);
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

void take(const QJsonObject &object, const char *key, bool &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = it.value().toBool(false);
}

void take(const QJsonObject &object, const char *key, int32_t &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = QRobotJson::toInt32(it.value());
}

void take(const QJsonObject &object, const char *key, float &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = QRobotJson::toFloat(it.value());
}

void take(const QJsonObject &object, const char *key, double &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = it.value().toDouble(0.0);
}

void take(const QJsonObject &object, const char *key, QString &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = it.value().toString();
}

void takeFlag(const QJsonObject &object, const char *key, bool &field)
{
    const auto it = object.constFind(QLatin1String(key));
    if (it != object.constEnd())
        field = QRobotJson::toInt32(it.value()) == 1;
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

QJsonArray toArray(const float *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(double(values[i]));
    return array;
}

QJsonArray toArray(const int32_t *values, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(int(values[i]));
    return array;
}

} // namespace ControllerIO
