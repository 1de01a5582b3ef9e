#ifndef QROBOTENUMSTRINGS_H
#define QROBOTENUMSTRINGS_H

#include "Varlo/qrobotcoor.h"
#include "Varlo/qrobottype.h"

#include <QtCore/QString>

class QJsonValue;

// The wire strings of the string-coded enumerations. Each table lists the
// strings in value order (value = index). Decoding compares case-sensitively
// in that order and takes the first equal string; a string equal to none, or a
// value that is not a string, gives 0. Encoding looks the value up; a value
// outside the table encodes as the string of 0.
namespace QRobotEnumStrings {

struct Table {
    const char *const *strings;
    int count;
};

int decodeIndex(const Table &table, const QString &text);
int decodeIndex(const Table &table, const QJsonValue &value);
QString encodeIndex(const Table &table, int value);

template <typename Enum> Table tableOf();

template <> Table tableOf<QRobotType::ControlMode>();
template <> Table tableOf<QRobotType::Coordinate>();
template <> Table tableOf<QRobotType::JogMode>();
template <> Table tableOf<QRobotType::AutoManual>();
template <> Table tableOf<QRobotCoor::DragMode>();

template <typename Enum>
Enum decode(const QString &text)
{
    return static_cast<Enum>(decodeIndex(tableOf<Enum>(), text));
}

template <typename Enum>
Enum decode(const QJsonValue &value)
{
    return static_cast<Enum>(decodeIndex(tableOf<Enum>(), value));
}

template <typename Enum>
QString encode(Enum value)
{
    return encodeIndex(tableOf<Enum>(), static_cast<int>(value));
}

} // namespace QRobotEnumStrings

#endif // QROBOTENUMSTRINGS_H
