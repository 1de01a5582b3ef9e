#include "httpexchange.h"

namespace VarloTest {

QByteArray Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

bool Request::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QJsonDocument Request::jsonDocument() const
{
    return QJsonDocument::fromJson(body);
}

QJsonObject Request::json() const
{
    return jsonDocument().object();
}

QJsonArray Request::jsonArray() const
{
    return jsonDocument().array();
}

Reply Reply::json(const QJsonObject &object)
{
    return raw(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Reply Reply::json(const QJsonArray &array)
{
    return raw(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

Reply Reply::json(const QJsonDocument &document)
{
    return raw(document.toJson(QJsonDocument::Compact));
}

Reply Reply::raw(const QByteArray &body)
{
    Reply r;
    r.bodyBytes = body;
    return r;
}

Reply Reply::empty()
{
    return raw(QByteArray());
}

Reply Reply::notFound()
{
    return withStatus(404);
}

Reply Reply::withStatus(int code, const QByteArray &body)
{
    Reply r = raw(body);
    r.statusCode = code;
    return r;
}

Reply Reply::dropConnection()
{
    return Reply().closeConnection();
}

Reply Reply::noAnswer()
{
    return Reply().never();
}

} // namespace VarloTest
