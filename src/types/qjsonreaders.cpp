#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonValue>
#include <QtCore/QSet>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// The offset of the first key that an object of `text` names a second time,
// or -1. Only the structure is followed (strings, braces, brackets, commas),
// without recursion, so any depth is fine; a text that is not JSON gives
// whatever it gives and is refused by the parser after.
int repeatedKey(const QByteArray &text)
{
    struct Level
    {
        bool object;
        bool expectKey;
        QSet<QByteArray> keys;
    };
    std::vector<Level> levels;
    const char *p = text.constData();
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        switch (p[i]) {
        case '{':
            levels.push_back({ true, true, {} });
            break;
        case '[':
            levels.push_back({ false, false, {} });
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().expectKey = true;
            break;
        case '"': {
            const int start = i;
            bool escaped = false;
            for (++i; i < n && p[i] != '"'; ++i) {
                if (p[i] == '\\') {
                    escaped = true;
                    ++i;
                }
            }
            if (i >= n || levels.empty() || !levels.back().expectKey)
                break; // a value, or a string that never ends
            levels.back().expectKey = false;
            // Keys compare as the texts they stand for ("\u0061" is "a").
            QByteArray key = escaped ? QJsonDocument::fromJson("[" + text.mid(start, i - start + 1) + "]")
                                           .array().at(0).toString().toUtf8()
                                     : QByteArray::fromRawData(p + start + 1, i - start - 1);
            if (levels.back().keys.contains(key))
                return start;
            levels.back().keys.insert(key);
            break;
        }
        default:
            break;
        }
    }
    return -1;
}

} // namespace

namespace QRobotJson {

QJsonDocument parse(const QByteArray &text, QJsonParseError *error)
{
    const int repeated = repeatedKey(text);
    if (repeated < 0)
        return QJsonDocument::fromJson(text, error);
    if (error) {
        error->error = QJsonParseError::IllegalValue;
        error->offset = repeated;
    }
    return QJsonDocument();
}

qint32 toInt32(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    // The range test comes first: converting an out-of-range double is undefined.
    if (!(d >= double(std::numeric_limits<qint32>::min())
          && d <= double(std::numeric_limits<qint32>::max())))
        return 0;
    const qint32 i = static_cast<qint32>(d);
    return double(i) == d ? i : 0;
}

float toFloat(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0.0f;
    const double d = value.toDouble();
    if (std::isnan(d))
        return 0.0f;
    constexpr double maxFloat = double(std::numeric_limits<float>::max());
    if (d > maxFloat)
        return std::numeric_limits<float>::max();
    if (d < -maxFloat)
        return -std::numeric_limits<float>::max();
    return static_cast<float>(d);
}

namespace {

template <typename T>
void readArray(const QJsonValue &value, T *out, int count, T (*convert)(const QJsonValue &))
{
    const QJsonArray array = value.toArray(); // empty for a non-array
    const int available = qMin(count, int(array.size()));
    int i = 0;
    for (; i < available; ++i)
        out[i] = convert(array.at(i));
    for (; i < count; ++i)
        out[i] = T(0);
}

} // namespace

void readFloats(const QJsonValue &value, float *out, int count)
{
    readArray(value, out, count, &toFloat);
}

void readInts(const QJsonValue &value, qint32 *out, int count)
{
    readArray(value, out, count, &toInt32);
}

} // namespace QRobotJson
