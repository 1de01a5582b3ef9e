#include "types/qjsonreaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonValue>

#include <cmath>
#include <limits>

namespace QRobotJson {

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
