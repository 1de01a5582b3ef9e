#ifndef QJSONREADERS_H
#define QJSONREADERS_H

#include <QtCore/QJsonDocument>
#include <QtCore/QtGlobal>

class QJsonValue;

// Bounded, type-checked readers for controller replies. A reply is untrusted:
// these never read or write past the caller's array, never fail on a value of
// the wrong JSON type, and give 0 for anything that is not a usable number.
namespace QRobotJson {

// Parses a reply or a document as QJsonDocument::fromJson does, except that a
// text in which one object names the same key twice is refused (a null
// document; `error` says IllegalValue at the repeated key). Such a text is
// ambiguous, and Qt 5's parser loses the memory of every value it drops for a
// repeated key, so a controller repeating keys in each reply would grow the
// host without bound. Every text from outside is read through here.
QJsonDocument parse(const QByteArray &text, QJsonParseError *error = nullptr);

// A JSON number with an integral value in the int32 range; anything else is 0.
qint32 toInt32(const QJsonValue &value);

// A JSON number narrowed to single precision (clamped to the float range);
// anything else is 0.
float toFloat(const QJsonValue &value);

// Fill out[0..count-1] from a JSON array: element i goes to out[i]; missing
// and unusable elements give 0, elements past count are ignored. A value that
// is not an array gives all zeros.
void readFloats(const QJsonValue &value, float *out, int count);
void readInts(const QJsonValue &value, qint32 *out, int count);

template <int N>
inline void readFloats(const QJsonValue &value, float (&out)[N])
{
    readFloats(value, out, N);
}

template <int N>
inline void readInts(const QJsonValue &value, qint32 (&out)[N])
{
    readInts(value, out, N);
}

} // namespace QRobotJson

#endif // QJSONREADERS_H
