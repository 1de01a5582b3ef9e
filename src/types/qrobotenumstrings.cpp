#include "types/qrobotenumstrings.h"

#include <QtCore/QJsonValue>
#include <QtCore/QLatin1String>

namespace QRobotEnumStrings {

namespace {

const char *const controlModeStrings[] = { "disable", "enable", "drag" };
const char *const dragModeStrings[] = { "disable", "enable" };
const char *const coordinateStrings[] = { "joint", "cartesian", "tool" };
const char *const jogModeStrings[] = { "jog", "step" };
const char *const autoManualStrings[] = { "manual", "auto" };

template <int N>
Table makeTable(const char *const (&strings)[N])
{
    return Table{ strings, N };
}

} // namespace

int decodeIndex(const Table &table, const QString &text)
{
    for (int i = 0; i < table.count; ++i) {
        if (text == QLatin1String(table.strings[i]))
            return i;
    }
    return 0;
}

int decodeIndex(const Table &table, const QJsonValue &value)
{
    // A number, array or object is no wire string: it matches nothing.
    return value.isString() ? decodeIndex(table, value.toString()) : 0;
}

QString encodeIndex(const Table &table, int value)
{
    if (value < 0 || value >= table.count)
        value = 0;
    return QLatin1String(table.strings[value]);
}

template <> Table tableOf<QRobotType::ControlMode>() { return makeTable(controlModeStrings); }
template <> Table tableOf<QRobotType::Coordinate>() { return makeTable(coordinateStrings); }
template <> Table tableOf<QRobotType::JogMode>() { return makeTable(jogModeStrings); }
template <> Table tableOf<QRobotType::AutoManual>() { return makeTable(autoManualStrings); }
template <> Table tableOf<QRobotCoor::DragMode>() { return makeTable(dragModeStrings); }

} // namespace QRobotEnumStrings
