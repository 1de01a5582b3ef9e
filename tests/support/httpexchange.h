#ifndef VARLOTEST_HTTPEXCHANGE_H
#define VARLOTEST_HTTPEXCHANGE_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>

namespace VarloTest {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One request as the controller double received it.
struct Request
{
    QString method;         // "GET", "POST", ...
    QString path;           // percent-decoded path without the query, e.g. "/file/read/settings/common.json"
    QString query;          // text after '?', empty when none
    quint16 port = 0;       // port it arrived on (22000 API, 22001 file service)
    QByteArray body;        // body bytes exactly as sent
    HeaderList headers;     // header lines in arrival order, names as sent
    qint64 timeMs = -1;     // when the request was complete: ms since the double was created (monotonic)
    int connection = 0;     // serial number of the TCP connection it came on (1, 2, ...)
    int serial = 0;         // serial number of the request (1, 2, ...), never reused

    // Value of a header, name compared case-insensitively; empty when absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;

    // The body read as JSON. jsonDocument() is null when the body is not JSON;
    // json() is the top-level object (empty when the body is not an object);
    // jsonArray() the top-level array (empty when not an array).
    QJsonDocument jsonDocument() const;
    QJsonObject json() const;
    QJsonArray jsonArray() const;
    bool isJson() const { return !jsonDocument().isNull(); }

    // False for the default Request that lookups return when nothing matched.
    bool isValid() const { return serial > 0; }
};

// What the double does with one request: the HTTP answer and how it is delivered.
// Built with the factories and modifiers, e.g.
//     Reply::json(QJsonObject{{"value", true}}).delay(200)
//     Reply::notFound()
//     Reply::raw("not json").chunked(3, 40)
class Reply
{
public:
    Reply() = default;

    static Reply json(const QJsonObject &object);
    static Reply json(const QJsonArray &array);
    static Reply json(const QJsonDocument &document);
    static Reply raw(const QByteArray &body);
    static Reply empty();                       // 200 with an empty body
    static Reply notFound();                    // 404 with an empty body
    static Reply withStatus(int code, const QByteArray &body = QByteArray());
    static Reply dropConnection();              // close the socket without answering
    static Reply noAnswer();                    // read the request, never answer

    // Modifiers, chainable.
    Reply &status(int code) { statusCode = code; return *this; }
    Reply &body(const QByteArray &bytes) { bodyBytes = bytes; return *this; }
    Reply &contentType(const QByteArray &type) { mimeType = type; return *this; }
    Reply &header(const QByteArray &name, const QByteArray &value) { extraHeaders.append({name, value}); return *this; }
    Reply &delay(int ms) { delayMs = ms; return *this; }
    Reply &never() { neverAnswer = true; return *this; }
    Reply &closeConnection() { dropSocket = true; return *this; }
    // Send the body in `count` pieces (the head goes with the first) with `gapMs` between them.
    Reply &chunked(int count, int gapMs = 30) { pieces = count; pieceGapMs = gapMs; return *this; }

    int statusCode = 200;
    QByteArray bodyBytes = QByteArrayLiteral("{}");
    QByteArray mimeType = QByteArrayLiteral("application/json");
    HeaderList extraHeaders;
    int delayMs = 0;
    bool neverAnswer = false;
    bool dropSocket = false;
    int pieces = 1;
    int pieceGapMs = 0;

    bool isSuccess() const { return !neverAnswer && !dropSocket && statusCode >= 200 && statusCode < 300; }
};

} // namespace VarloTest

Q_DECLARE_METATYPE(VarloTest::Request)
Q_DECLARE_METATYPE(VarloTest::Reply)

#endif // VARLOTEST_HTTPEXCHANGE_H
