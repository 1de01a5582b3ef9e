#include "types/qiobits.h"
#include "types/qjsonreaders.h"
#include "types/qrobotcoor.h"
#include "types/qrobotenumstrings.h"
#include "types/qrobotmetatypes.h"
#include "types/qrobotstatereaders.h"
#include "types/qrobottype.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QVariant>
#include <QtTest/QtTest>

#include <cfloat>
#include <cstring>

namespace {

// Parses a JSON fragment the way it would sit inside a reply object.
QJsonValue json(const char *text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("{\"v\":") + text + "}");
    if (!doc.isObject())
        qFatal("bad test JSON: %s", text);
    return doc.object().value(QLatin1String("v"));
}

QJsonArray repeated(const QJsonValue &value, int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i)
        array.append(value);
    return array;
}

enum class Table { ControlMode, DragMode, Coordinate, JogMode, AutoManual };

int decodeWith(Table table, const QJsonValue &value)
{
    using namespace QRobotEnumStrings;
    switch (table) {
    case Table::ControlMode: return decode<QRobotType::ControlMode>(value);
    case Table::DragMode: return decode<QRobotCoor::DragMode>(value);
    case Table::Coordinate: return decode<QRobotType::Coordinate>(value);
    case Table::JogMode: return decode<QRobotType::JogMode>(value);
    case Table::AutoManual: return decode<QRobotType::AutoManual>(value);
    }
    return -1;
}

QString encodeWith(Table table, int value)
{
    using namespace QRobotEnumStrings;
    switch (table) {
    case Table::ControlMode: return encode(QRobotType::ControlMode(value));
    case Table::DragMode: return encode(QRobotCoor::DragMode(value));
    case Table::Coordinate: return encode(QRobotType::Coordinate(value));
    case Table::JogMode: return encode(QRobotType::JogMode(value));
    case Table::AutoManual: return encode(QRobotType::AutoManual(value));
    }
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(Table)

class tst_RobotTypes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void enumDecoding_data();
    void enumDecoding();
    void enumEncoding_data();
    void enumEncoding();

    void toInt32_data();
    void toInt32();
    void toFloat_data();
    void toFloat();
    void boundedArrays_data();
    void boundedArrays();

    void ioUnpack_data();
    void ioUnpack();
    void ioPack();
    void ioRoundTrip();
    void ioReaderKeepsEnable();
    void extendIO();
    void alarms();

    void metaTypes();
};

void tst_RobotTypes::enumDecoding_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<QString>("wire");
    QTest::addColumn<int>("expected");

    QTest::newRow("control disable") << Table::ControlMode << "\"disable\"" << 0;
    QTest::newRow("control enable") << Table::ControlMode << "\"enable\"" << 1;
    QTest::newRow("control drag") << Table::ControlMode << "\"drag\"" << 2;
    QTest::newRow("drag mode drag") << Table::DragMode << "\"drag\"" << 0;
    QTest::newRow("drag mode enable") << Table::DragMode << "\"enable\"" << 1;
    QTest::newRow("coordinate cartesian") << Table::Coordinate << "\"cartesian\"" << 1;
    QTest::newRow("coordinate tool") << Table::Coordinate << "\"tool\"" << 2;
    QTest::newRow("coordinate user") << Table::Coordinate << "\"user\"" << 0;
    QTest::newRow("jog step") << Table::JogMode << "\"step\"" << 1;
    QTest::newRow("jog jog") << Table::JogMode << "\"jog\"" << 0;
    QTest::newRow("auto") << Table::AutoManual << "\"auto\"" << 1;
    QTest::newRow("manual") << Table::AutoManual << "\"manual\"" << 0;
    QTest::newRow("case matters") << Table::ControlMode << "\"Enable\"" << 0;
    QTest::newRow("trailing space") << Table::AutoManual << "\"auto \"" << 0;
    QTest::newRow("empty") << Table::JogMode << "\"\"" << 0;
    QTest::newRow("number") << Table::ControlMode << "1" << 0;
    QTest::newRow("bool") << Table::ControlMode << "true" << 0;
    QTest::newRow("array of string") << Table::ControlMode << "[\"enable\"]" << 0;
    QTest::newRow("object") << Table::Coordinate << "{\"coordinate\":\"tool\"}" << 0;
    QTest::newRow("null") << Table::AutoManual << "null" << 0;
}

void tst_RobotTypes::enumDecoding()
{
    QFETCH(Table, table);
    QFETCH(QString, wire);
    QFETCH(int, expected);
    QCOMPARE(decodeWith(table, json(wire.toUtf8().constData())), expected);
}

void tst_RobotTypes::enumEncoding_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("control disable") << Table::ControlMode << 0 << "disable";
    QTest::newRow("control enable") << Table::ControlMode << 1 << "enable";
    QTest::newRow("control drag") << Table::ControlMode << 2 << "drag";
    QTest::newRow("drag mode disable") << Table::DragMode << 0 << "disable";
    QTest::newRow("drag mode enable") << Table::DragMode << 1 << "enable";
    QTest::newRow("joint") << Table::Coordinate << 0 << "joint";
    QTest::newRow("cartesian") << Table::Coordinate << 1 << "cartesian";
    QTest::newRow("tool") << Table::Coordinate << 2 << "tool";
    QTest::newRow("jog") << Table::JogMode << 0 << "jog";
    QTest::newRow("step") << Table::JogMode << 1 << "step";
    QTest::newRow("manual") << Table::AutoManual << 0 << "manual";
    QTest::newRow("auto") << Table::AutoManual << 1 << "auto";
    // A host may pass any int; the controller must never see an unknown string.
    QTest::newRow("control 7") << Table::ControlMode << 7 << "disable";
    QTest::newRow("control -1") << Table::ControlMode << -1 << "disable";
    QTest::newRow("drag mode 2") << Table::DragMode << 2 << "disable";
    QTest::newRow("coordinate 3") << Table::Coordinate << 3 << "joint";
}

void tst_RobotTypes::enumEncoding()
{
    QFETCH(Table, table);
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(encodeWith(table, value), expected);
}

void tst_RobotTypes::toInt32_data()
{
    QTest::addColumn<QString>("wire");
    QTest::addColumn<int>("expected");

    QTest::newRow("positive") << "12" << 12;
    QTest::newRow("negative") << "-3" << -3;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("integral double") << "4.0" << 4;
    QTest::newRow("fraction") << "3.5" << 0;
    QTest::newRow("int32 max") << "2147483647" << 2147483647;
    QTest::newRow("int32 min") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("above int32") << "2147483648" << 0;
    QTest::newRow("below int32") << "-2147483649" << 0;
    QTest::newRow("huge") << "1e300" << 0;
    QTest::newRow("string") << "\"5\"" << 0;
    QTest::newRow("bool") << "true" << 0;
    QTest::newRow("null") << "null" << 0;
    QTest::newRow("array") << "[5]" << 0;
    QTest::newRow("object") << "{\"a\":5}" << 0;
}

void tst_RobotTypes::toInt32()
{
    QFETCH(QString, wire);
    QFETCH(int, expected);
    QCOMPARE(QRobotJson::toInt32(json(wire.toUtf8().constData())), expected);
}

void tst_RobotTypes::toFloat_data()
{
    QTest::addColumn<QString>("wire");
    QTest::addColumn<float>("expected");

    QTest::newRow("number") << "1.5" << 1.5f;
    QTest::newRow("integer") << "-7" << -7.0f;
    QTest::newRow("narrowed") << "0.1" << 0.1f;
    QTest::newRow("too large") << "1e300" << FLT_MAX;
    QTest::newRow("too small") << "-1e300" << -FLT_MAX;
    QTest::newRow("string") << "\"1.5\"" << 0.0f;
    QTest::newRow("bool") << "true" << 0.0f;
    QTest::newRow("null") << "null" << 0.0f;
    QTest::newRow("array") << "[1.5]" << 0.0f;
}

void tst_RobotTypes::toFloat()
{
    QFETCH(QString, wire);
    QFETCH(float, expected);
    QCOMPARE(QRobotJson::toFloat(json(wire.toUtf8().constData())), expected);
}

void tst_RobotTypes::boundedArrays_data()
{
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QVector<int>>("expected"); // four elements

    QTest::newRow("exact") << "[1,2,3,4]" << QVector<int>{1, 2, 3, 4};
    QTest::newRow("short") << "[1,2]" << QVector<int>{1, 2, 0, 0};
    QTest::newRow("long") << "[1,2,3,4,5,6,7]" << QVector<int>{1, 2, 3, 4};
    QTest::newRow("empty") << "[]" << QVector<int>{0, 0, 0, 0};
    QTest::newRow("mixed garbage") << "[1,\"2\",null,[4]]" << QVector<int>{1, 0, 0, 0};
    QTest::newRow("nested") << "[[1,2,3,4]]" << QVector<int>{0, 0, 0, 0};
    QTest::newRow("object") << "{\"0\":1}" << QVector<int>{0, 0, 0, 0};
    QTest::newRow("string") << "\"1,2,3,4\"" << QVector<int>{0, 0, 0, 0};
    QTest::newRow("number") << "5" << QVector<int>{0, 0, 0, 0};
}

void tst_RobotTypes::boundedArrays()
{
    QFETCH(QString, wire);
    QFETCH(QVector<int>, expected);
    const QJsonValue value = json(wire.toUtf8().constData());

    // One guard element past the end: the readers must never touch it.
    qint32 ints[5] = { 99, 99, 99, 99, -12345 };
    QRobotJson::readInts(value, ints, 4);
    float floats[5] = { 9.f, 9.f, 9.f, 9.f, -12345.f };
    QRobotJson::readFloats(value, floats, 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ints[i], expected.at(i));
        QCOMPARE(floats[i], float(expected.at(i)));
    }
    QCOMPARE(ints[4], -12345);
    QCOMPARE(floats[4], -12345.f);
}

void tst_RobotTypes::ioUnpack_data()
{
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QVector<int>>("setChannels");

    QTest::newRow("5 in word 0") << "[5,0,0,0,0,0,0,0]" << QVector<int>{0, 2};
    QTest::newRow("255 in word 0") << "[255]" << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("bit 0 of word 1") << "[0,1]" << QVector<int>{8};
    QTest::newRow("last channel") << "[0,0,0,0,0,0,0,128]" << QVector<int>{63};
    QTest::newRow("ninth word ignored") << "[0,0,0,0,0,0,0,0,255]" << QVector<int>{};
    QTest::newRow("only low 8 bits") << "[257]" << QVector<int>{0};
    QTest::newRow("negative word") << "[-1]" << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("garbage words") << "[\"5\",null,[1],{},2.5,3]" << QVector<int>{40, 41};
    QTest::newRow("not an array") << "\"11111111\"" << QVector<int>{};
}

void tst_RobotTypes::ioUnpack()
{
    QFETCH(QString, wire);
    QFETCH(QVector<int>, setChannels);

    bool channels[65];
    std::memset(channels, 1, sizeof channels); // stale state everywhere
    channels[64] = false;                      // guard
    QIOBits::unpack(json(wire.toUtf8().constData()), channels, 64);
    for (int k = 0; k < 64; ++k)
        QVERIFY2(channels[k] == setChannels.contains(k), qPrintable(QString::number(k)));
    QCOMPARE(channels[64], false);
}

void tst_RobotTypes::ioPack()
{
    bool channels[64] = {};
    channels[0] = channels[2] = true;
    channels[63] = true;
    QCOMPARE(QIOBits::pack(channels, 64), (QJsonArray{5, 0, 0, 0, 0, 0, 0, 128}));

    // A host record may hold a byte other than 0 or 1 in a bool field.
    unsigned char raw[64] = {};
    raw[9] = 2;
    raw[10] = 0xff;
    bool fromHost[64];
    std::memcpy(fromHost, raw, sizeof raw);
    QCOMPARE(QIOBits::pack(fromHost, 64), (QJsonArray{0, 6, 0, 0, 0, 0, 0, 0}));

    bool module[96] = {};
    module[95] = true;
    const QJsonArray words = QIOBits::pack(module, 96);
    QCOMPARE(words.size(), 12);
    QCOMPARE(words.at(11).toInt(), 128);
}

void tst_RobotTypes::ioRoundTrip()
{
    bool channels[64];
    for (int k = 0; k < 64; ++k)
        channels[k] = (k * 7 + k / 5) % 3 == 0;
    const QJsonArray words = QIOBits::pack(channels, 64);
    QCOMPARE(words.size(), 8);
    for (const QJsonValue &word : words)
        QVERIFY(word.toInt() >= 0 && word.toInt() <= 255);
    bool back[64];
    QIOBits::unpack(words, back, 64);
    QCOMPARE(std::memcmp(back, channels, sizeof channels), 0);
}

void tst_RobotTypes::ioReaderKeepsEnable()
{
    QRobotType::IO io {};
    io.enable = true;
    io.value[7] = true;
    QRobotStateReaders::read(json("[5]"), io);
    QVERIFY(io.enable);
    QVERIFY(io.value[0] && io.value[2]);
    QVERIFY(!io.value[7]);
}

void tst_RobotTypes::extendIO()
{
    QRobotType::ExtendIO io;
    std::memset(&io, 1, sizeof io);
    io.enable = false;

    // Ten modules, the first with 13 words: the tenth module and the 13th word
    // are cut; module 8 sets its last channel.
    QJsonArray modules;
    QJsonArray first = repeated(0, 13);
    first[0] = 5;
    first[12] = 255;
    modules.append(first);
    for (int m = 1; m < 10; ++m)
        modules.append(repeated(0, 12));
    QJsonArray eighth = repeated(0, 12);
    eighth[11] = 128;
    modules[8] = eighth;
    modules[9] = repeated(255, 12);

    QRobotStateReaders::read(modules, io);
    QVERIFY(!io.enable);
    for (int m = 0; m < 9; ++m) {
        for (int k = 0; k < 96; ++k) {
            const bool expected = (m == 0 && (k == 0 || k == 2)) || (m == 8 && k == 95);
            QVERIFY2(io.value[m][k] == expected, qPrintable(QStringLiteral("module %1 channel %2").arg(m).arg(k)));
        }
    }

    // Fewer modules than nine, and a module that is not an array: the rest is 0.
    std::memset(&io.value, 1, sizeof io.value);
    QRobotStateReaders::read(json("[[1], \"x\"]"), io);
    QVERIFY(io.value[0][0]);
    for (int m = 0; m < 9; ++m)
        for (int k = (m == 0 ? 1 : 0); k < 96; ++k)
            QVERIFY(!io.value[m][k]);
}

void tst_RobotTypes::alarms()
{
    QRobotType::Alarms alarms;
    std::memset(&alarms, 0x5a, sizeof alarms);

    QJsonArray groups;
    for (int g = 0; g < 8; ++g) {
        QJsonArray words;
        for (int w = 0; w < 65; ++w)
            words.append(g * 1000 + w + 1);
        groups.append(words);
    }
    QRobotStateReaders::read(groups, alarms);
    for (int g = 0; g < 7; ++g)
        for (int w = 0; w < 64; ++w)
            QCOMPARE(alarms.alarm[g][w], g * 1000 + w + 1);

    // Short, garbled and nested groups read as zeros where nothing usable is.
    QRobotStateReaders::read(json("[[1,2], \"x\", [[3]], null, [4.5, 6]]"), alarms);
    QCOMPARE(alarms.alarm[0][0], 1);
    QCOMPARE(alarms.alarm[0][1], 2);
    QCOMPARE(alarms.alarm[0][2], 0);
    QCOMPARE(alarms.alarm[2][0], 0);
    QCOMPARE(alarms.alarm[4][0], 0);
    QCOMPARE(alarms.alarm[4][1], 6);
    QCOMPARE(alarms.alarm[6][63], 0);

    QRobotStateReaders::read(json("{\"alarms\":[[1]]}"), alarms);
    const QRobotType::Alarms zero {};
    QCOMPARE(std::memcmp(&alarms, &zero, sizeof zero), 0);
}

void tst_RobotTypes::metaTypes()
{
    registerRobotStateMetaTypes();
    registerRobotStateMetaTypes(); // idempotent

    const char *names[] = {
        "QRobotType::ControlMode", "QRobotType::Coordinate", "QRobotType::JogMode",
        "QRobotType::AutoManual", "QRobotType::JointCoordinate", "QRobotType::CartesianCoordinate",
        "QRobotType::AuxJoint", "QRobotType::Alarms", "QRobotType::IO", "QRobotType::ExtendIO",
        "QRobotType::RDNCoordinate", "QRobotType::ArmOrientation", "QRobotCoor::DragMode",
        "QRobotCoor::ControllerParams", "QRobotCoor::JointCurrent", "QRobotCoor::JointVoltage",
        "QRobotCoor::JointTemp", "QRobotCoor::ExEndAI", "QRobotCoor::ExGPIOAI",
    };
    for (const char *name : names)
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);

    QRobotType::IO io {};
    io.value[63] = true;
    const QVariant variant = QVariant::fromValue(io);
    QVERIFY(variant.value<QRobotType::IO>().value[63]);
}

QTEST_GUILESS_MAIN(tst_RobotTypes)
#include "tst_robottypes.moc"
