// The type readers: every value a controller reply may hold, hostile ones
// included, read into bounded records; the wire strings of the enumerations;
// the IO bit packing. The components read replies through these, so hostile
// numbers are tested here only.
#include "fakecontroller.h"
#include "types/qiobits.h"
#include "types/qjsonreaders.h"
#include "types/qrobotenumstrings.h"
#include "types/qrobotstatereaders.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <cfloat>
#include <cstring>

using VarloTest::many;

namespace {

QJsonValue json(const QString &text)
{
    return QJsonDocument::fromJson("{\"v\":" + text.toUtf8() + "}").object().value("v");
}

} // namespace

class tst_RobotTypes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void numbers_data() {
        QTest::addColumn<QString>("wire");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<float>("asFloat");
        QTest::newRow("integer") << "-3" << -3 << -3.0f;
        QTest::newRow("integral double") << "4.0" << 4 << 4.0f;
        QTest::newRow("fraction") << "3.5" << 0 << 3.5f;
        QTest::newRow("int32 max") << "2147483647" << 2147483647 << 2147483647.0f;
        QTest::newRow("int32 min") << "-2147483648" << int(-2147483647 - 1) << -2147483648.0f;
        QTest::newRow("above int32") << "2147483648" << 0 << 2147483648.0f;
        QTest::newRow("below int32") << "-2147483649" << 0 << -2147483649.0f;
        QTest::newRow("huge") << "1e300" << 0 << FLT_MAX;
        QTest::newRow("huge negative") << "-1e300" << 0 << -FLT_MAX;
        QTest::newRow("string") << "\"5\"" << 0 << 0.0f;
        QTest::newRow("bool") << "true" << 0 << 0.0f;
        QTest::newRow("null") << "null" << 0 << 0.0f;
        QTest::newRow("array") << "[5]" << 0 << 0.0f;
        QTest::newRow("object") << "{\"a\":5}" << 0 << 0.0f;
    }
    void numbers() {
        QFETCH(QString, wire);
        QTEST(QRobotJson::toInt32(json(wire)), "asInt");
        QTEST(QRobotJson::toFloat(json(wire)), "asFloat");
    }

    // A text whose object names a key twice is refused whole; the same key in
    // different objects, and key-like values, are fine.
    void repeatedKeys_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("refusedAt"); // -1: parsed as Qt parses it
        QTest::newRow("distinct") << QByteArray("{\"a\": [1], \"b\": {\"a\": 1}}") << -1;
        QTest::newRow("top level") << QByteArray("{\"a\": [1], \"a\": [2]}") << 11;
        QTest::newRow("nested") << QByteArray("{\"x\": {\"a\": {}, \"a\": {}}}") << 16;
        QTest::newRow("in an array") << QByteArray("[{\"a\": 1}, {\"b\": 1, \"b\": 2}]") << 20;
        QTest::newRow("escaped spelling") << QByteArray("{\"a\": 1, \"\\u0061\": 2}") << 9;
        QTest::newRow("siblings") << QByteArray("[{\"a\": 1}, {\"a\": 2}]") << -1;
        QTest::newRow("value like a key") << QByteArray("{\"a\": \"a\", \"b\": [\"a\", \"a\"]}") << -1;
        QTest::newRow("strings repeated in an array") << QByteArray("{\"names\": [\"x\", \"y\", \"y\"]}") << -1;
        QTest::newRow("quotes and braces in keys") << QByteArray("{\"\\\"}\": 1, \"{\\\"\": 2}") << -1;
        QTest::newRow("not JSON") << QByteArray("{\"a\": 1, \"a") << -1;
    }
    void repeatedKeys() {
        QFETCH(QByteArray, text);
        QFETCH(int, refusedAt);
        QJsonParseError error, qtError;
        const QJsonDocument document = QRobotJson::parse(text, &error);
        if (refusedAt >= 0) {
            QVERIFY(document.isNull());
            QCOMPARE(error.error, QJsonParseError::IllegalValue);
            QCOMPARE(error.offset, refusedAt);
        } else {
            QCOMPARE(document, QJsonDocument::fromJson(text, &qtError));
            QCOMPARE(error.error, qtError.error);
        }
    }

    void boundedArrays_data() {
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QVector<int>>("expected"); // four elements
        QTest::newRow("exact") << "[1,2,3,4]" << QVector<int>{ 1, 2, 3, 4 };
        QTest::newRow("short") << "[1,2]" << QVector<int>{ 1, 2, 0, 0 };
        QTest::newRow("long") << "[1,2,3,4,5,6,7]" << QVector<int>{ 1, 2, 3, 4 };
        QTest::newRow("mixed garbage") << "[1,\"2\",null,[4]]" << QVector<int>{ 1, 0, 0, 0 };
        QTest::newRow("nested") << "[[1,2,3,4]]" << QVector<int>{ 0, 0, 0, 0 };
        QTest::newRow("object") << "{\"0\":1}" << QVector<int>{ 0, 0, 0, 0 };
        QTest::newRow("string") << "\"1,2,3,4\"" << QVector<int>{ 0, 0, 0, 0 };
    }
    void boundedArrays() {
        QFETCH(QString, wire);
        QFETCH(QVector<int>, expected);
        // One guard element past the end: the readers never touch it.
        qint32 ints[5] = { 99, 99, 99, 99, -12345 };
        float floats[5] = { 9, 9, 9, 9, -12345 };
        QRobotJson::readInts(json(wire), ints, 4);
        QRobotJson::readFloats(json(wire), floats, 4);
        QCOMPARE(QVector<int>(ints, ints + 5), expected + QVector<int>{ -12345 });
        QCOMPARE(QVector<float>(floats, floats + 5), QVector<float>(expected.begin(), expected.end()) + QVector<float>{ -12345 });
    }

    // A host may pass any int; the controller never sees an unknown string.
    void enumEncoding() {
        using QRobotEnumStrings::encode;
        QCOMPARE(encode(QRobotType::Cartesian), QString("cartesian"));
        QCOMPARE(encode(QRobotType::ControlMode(7)), QString("disable"));
        QCOMPARE(encode(QRobotType::ControlMode(-1)), QString("disable"));
        QCOMPARE(encode(QRobotCoor::DragMode(2)), QString("disable"));
        QCOMPARE(encode(QRobotType::Coordinate(3)), QString("joint"));
    }

    void ioUnpack_data() {
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QVector<int>>("setChannels");
        QTest::newRow("5 in word 0") << "[5,0,0,0,0,0,0,0]" << QVector<int>{ 0, 2 };
        QTest::newRow("last channel") << "[0,0,0,0,0,0,0,128]" << QVector<int>{ 63 };
        QTest::newRow("ninth word ignored") << "[0,0,0,0,0,0,0,0,255]" << QVector<int>{};
        QTest::newRow("only low 8 bits") << "[257]" << QVector<int>{ 0 };
        QTest::newRow("negative word") << "[-1]" << QVector<int>{ 0, 1, 2, 3, 4, 5, 6, 7 };
        QTest::newRow("garbage words") << "[\"5\",null,[1],{},2.5,3]" << QVector<int>{ 40, 41 };
        QTest::newRow("not an array") << "\"11111111\"" << QVector<int>{};
    }
    void ioUnpack() {
        QFETCH(QString, wire);
        QFETCH(QVector<int>, setChannels);
        struct
        {
            QRobotType::IO io;
            unsigned char guard[8];
        } g;
        std::memset(&g, 1, sizeof g); // stale state everywhere; enable is not received state
        QRobotStateReaders::read(json(wire), g.io);
        QVERIFY(g.io.enable);
        for (int k = 0; k < 64; ++k)
            QVERIFY2(g.io.value[k] == setChannels.contains(k), qPrintable(QString::number(k)));
        QCOMPARE(QByteArray((const char *)g.guard, 8), QByteArray(8, 1));
    }

    void ioPack() {
        // A host record may hold any byte in a bool field: not zero is on.
        unsigned char raw[64] = {};
        raw[0] = raw[2] = 1;
        raw[9] = 2;
        raw[63] = 0xff;
        bool channels[64];
        std::memcpy(channels, raw, sizeof raw);
        QCOMPARE(QIOBits::pack(channels, 64), (QJsonArray{ 5, 2, 0, 0, 0, 0, 0, 128 }));
    }

    void recordsAreCutToTheirSize() {
        // Ten modules, the first with 13 words: the tenth module and the 13th word are cut.
        QRobotType::ExtendIO io;
        std::memset(&io, 1, sizeof io);
        QJsonArray modules;
        for (int m = 0; m < 10; ++m)
            modules.append(QJsonArray{ m == 0 ? 5 : 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, m == 8 ? 128 : 0, 255 });
        QRobotStateReaders::read(modules, io);
        for (int m = 0; m < 9; ++m)
            for (int k = 0; k < 96; ++k)
                QCOMPARE(io.value[m][k], (m == 0 && (k == 0 || k == 2)) || (m == 8 && k == 95));
        QRobotStateReaders::read(json("[[1], \"x\"]"), io); // fewer modules: the rest is 0
        QVERIFY(io.value[0][0] && !io.value[1][0] && !io.value[8][95]);

        struct
        {
            QRobotType::Alarms alarms;
            qint32 guard[64];
        } guarded;
        std::memset(&guarded, 0x5a, sizeof guarded);
        QRobotStateReaders::read(many(8, many(65, 7)), guarded.alarms); // 8 groups of 65 words
        QCOMPARE(guarded.alarms.alarm[6][63], 7);
        QCOMPARE(guarded.guard[0], 0x5a5a5a5a);
        // Short, garbled and nested groups read as zeros where nothing usable is.
        QRobotStateReaders::read(json("[[1,2], \"x\", [[3]], null, [4.5, 6]]"), guarded.alarms);
        const auto &a = guarded.alarms.alarm;
        QCOMPARE(QVector<int>({ a[0][1], a[0][2], a[2][0], a[4][0], a[4][1], a[6][63] }), QVector<int>({ 2, 0, 0, 0, 6, 0 }));
    }
};

QTEST_GUILESS_MAIN(tst_RobotTypes)
#include "tst_robottypes.moc"
