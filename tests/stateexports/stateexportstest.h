#ifndef STATEEXPORTSTEST_H
#define STATEEXPORTSTEST_H

// Shared pieces of the state export tests: a host callback that keeps a copy of
// every record it is handed, a state reply that changes every field of the
// record, and the record's layout as a host reads it, by byte offset.
#include "Varlo.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QString>

#include <cstring>

namespace StateExportsTest {

const char ExchangePath[] = "/protocol/exchange";
const int RecordSize = 2003;

// What one registration of the state callback saw.
struct CallbackLog
{
    QList<QByteArray> records;             // the record's bytes at each call
    QList<const void *> pointers;          // the record's address at each call
};

inline void recordState(VarloExchangeRecord *record, void *userData)
{
    auto *log = static_cast<CallbackLog *>(userData);
    log->records.append(QByteArray(reinterpret_cast<const char *>(record), RecordSize));
    log->pointers.append(record);
}

template <typename T>
QByteArray bytesOf(const T &value)
{
    return QByteArray(reinterpret_cast<const char *>(&value), int(sizeof value));
}

template <typename T>
T valueAt(const QByteArray &record, int offset)
{
    T value;
    std::memcpy(&value, record.constData() + offset, sizeof value);
    return value;
}

// One field of the record as the documentation lays it out, with the bytes it
// holds before the first exchange reply and after fullReply().
struct Field
{
    const char *name;
    int offset;
    int size;
    QByteArray initial;
    QByteArray changed;
};

inline QByteArray int32s(std::initializer_list<qint32> values)
{
    QByteArray bytes;
    for (qint32 v : values)
        bytes += bytesOf(v);
    return bytes;
}

inline QByteArray floats(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (float v : values)
        bytes += bytesOf(v);
    return bytes;
}

inline QByteArray flag(bool on) { return QByteArray(1, on ? '\1' : '\0'); }

// 65 bytes of IO: enable, then channels 1 to 64.
inline QByteArray io(std::initializer_list<int> channelsOn)
{
    QByteArray bytes(65, '\0');
    for (int channel : channelsOn)
        bytes[1 + channel] = '\1';
    return bytes;
}

// Alarm word g, i of the changed state.
inline qint32 alarmWord(int g, int i)
{
    if (g == 0 && i == 0) return 101;
    if (g == 3 && i == 17) return 317;
    if (g == 6 && i == 63) return -5;
    return 0;
}

inline QByteArray changedAlarms()
{
    QByteArray bytes;
    for (int g = 0; g < 7; ++g)
        for (int i = 0; i < 64; ++i)
            bytes += bytesOf(alarmWord(g, i));
    return bytes;
}

// Every field of the record, at the documented offsets.
inline QList<Field> recordFields()
{
    return {
        { "isEnabled", 0, 1, flag(false), flag(true) },
        { "isPower", 1, 1, flag(true), flag(false) },
        { "isCollision", 2, 1, flag(false), flag(true) },
        { "isJog", 3, 1, flag(true), flag(false) },
        { "isAuto", 4, 1, flag(false), flag(true) },
        { "toolCoordinate", 5, 4, int32s({ 0 }), int32s({ 3 }) },
        { "userCoordinate", 9, 4, int32s({ 0 }), int32s({ 5 }) },
        { "jointCoordinate", 13, 24, floats({ 0, 0, 0, 0, 0, 0 }),
          floats({ 10.5f, -20.25f, 30, 40, 50, -60.125f }) },
        { "cartesianCoordinate", 37, 24, floats({ 0, 0, 0, 0, 0, 0 }),
          floats({ 400.5f, -100, 250.75f, 180, 0.5f, -90 }) },
        { "alarms", 61, 1792, QByteArray(1792, '\0'), changedAlarms() },
        { "rdnCoordinate", 1853, 16, int32s({ 0, 0, 0, 0 }), int32s({ 1, -2, 3, 4 }) },
        { "armOrientation", 1869, 4, int32s({ 1 }), int32s({ 7 }) },
        { "DO", 1873, 65, io({}), io({ 0, 2, 63 }) },
        { "DI", 1938, 65, io({}), io({ 8, 9, 10, 11, 12, 13, 14, 15 }) },
    };
}

inline QJsonArray toArray(std::initializer_list<double> values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

// A reply that changes every value the record shows (and the drag mode, which
// it does not show), in the keys' usual order.
inline QJsonObject fullReply()
{
    QJsonArray alarms;
    for (int g = 0; g < 7; ++g) {
        QJsonArray group;
        for (int i = 0; i < 64; ++i)
            group.append(alarmWord(g, i));
        alarms.append(group);
    }
    return QJsonObject{
        { "controlMode", "enable" },
        { "dragMode", "enable" },
        { "JogMode", "step" },
        { "toolCoordinate", 3 },
        { "userCoordinate", 5 },
        { "autoManual", "auto" },
        { "armOrientation", 7 },
        { "rdnCoordinate", toArray({ 1, -2, 3, 4 }) },
        { "jointCoordinate", toArray({ 10.5, -20.25, 30, 40, 50, -60.125 }) },
        { "cartesianCoordinate", toArray({ 400.5, -100, 250.75, 180, 0.5, -90 }) },
        { "isCollision", 1 },
        { "powerState", "off" },
        { "alarms", alarms },
        { "outputs", toArray({ 5, 0, 0, 0, 0, 0, 0, 128 }) },
        { "inputs", toArray({ 0, 255, 0, 0, 0, 0, 0, 0 }) },
    };
}

} // namespace StateExportsTest

#endif // STATEEXPORTSTEST_H
