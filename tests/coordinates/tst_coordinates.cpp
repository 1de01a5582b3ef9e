// The coordinate tables and the calibration requests of QRobotSettings
// against the controller double.
#include "settings/coordinatetypes.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <cstring>

using VarloTest::LogCapture;
using VarloTest::numbers;

namespace {

const char Address[] = "127.0.0.40";
const char ToolDocument[] = "/settings/coordinate/tool";

QJsonObject entry(bool enable, const QString &alias, const QJsonArray &params)
{
    return QJsonObject{ { "enable", enable }, { "alias", alias }, { "params", params } };
}

QJsonObject zeroEntry()
{
    return entry(false, QString(), numbers({ 0, 0, 0, 0, 0, 0 }));
}

// A table as JSON, for comparing whole tables in one go.
QJsonArray toJson(const CoordinateTable &table)
{
    QJsonArray array;
    for (const CoordinateEntry &e : table.entry) {
        QJsonArray params;
        for (float p : e.params)
            params.append(double(p));
        // The alias must be NUL-terminated inside its field.
        const void *nul = std::memchr(e.alias, 0, sizeof e.alias);
        array.append(entry(e.enable, nul ? QString::fromUtf8(e.alias) : QStringLiteral("<unterminated>"), params));
    }
    return array;
}

// `head` followed by zero entries up to ten.
QJsonArray padded(const QJsonArray &head)
{
    QJsonArray array = head;
    while (array.size() < CoordinateTable::EntryCount)
        array.append(zeroEntry());
    return array;
}

QByteArray text(const QJsonArray &array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

CalibrationPoint point(float base)
{
    CalibrationPoint p;
    for (int i = 0; i < 6; ++i)
        p.pose[i] = base + 0.25f * i;
    return p;
}

QJsonArray poseArray(const float *pose)
{
    QJsonArray array;
    for (int i = 0; i < 6; ++i)
        array.append(double(pose[i]));
    return array;
}

enum Operation { Tool, ToolPosition, ToolPose, User };

} // namespace

Q_DECLARE_METATYPE(Operation)

class tst_Coordinates : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init() { initComponent(); }
    void cleanup() { cleanupComponent(); }

    void readTable_data();
    void readTable();
    void userTableUsesItsOwnDocument();
    void writeTable();
    void writeTableNeverReadsPastAnAlias();
    void tableRoundTrip();
    void pointLoads();

    void calibrationRequest_data();
    void calibrationRequest();
    void calibrationReply_data();
    void calibrationReply();
    void leftRightHandAndHome();

private:
    QRobotSettings *&settings = component;
    bool calibrate(Operation operation, CalibrationPoint &result);
};

void tst_Coordinates::readTable_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: no document at all
    QTest::addColumn<QJsonArray>("expected");

    const QJsonArray three = {
        entry(true, "gripper", numbers({ 1, 2, 3, 4, 5, 6 })),
        entry(false, "probe", numbers({ -1, -2, -3, 90, 0, 180 })),
        entry(true, "", numbers({ 0.5, 0, 0, 0, 0, 0 })),
    };
    QTest::newRow("three objects") << text(three) << padded(three);
    QTest::newRow("params of the wrong type")
        << text({ QJsonObject{ { "enable", true }, { "alias", "pen" }, { "params", "1,2,3,4,5,6" } } })
        << padded({ entry(true, "pen", numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("params as an object")
        << text({ QJsonObject{ { "enable", true }, { "params", QJsonObject{ { "x", 1 } } } } })
        << padded({ entry(true, "", numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("short params") << text({ QJsonObject{ { "params", numbers({ 7, 8 }) } } })
                                  << padded({ entry(false, "", numbers({ 7, 8, 0, 0, 0, 0 })) });
    QTest::newRow("long params") << text({ QJsonObject{ { "params", numbers({ 1, 2, 3, 4, 5, 6, 7, 8, 9 }) } } })
                                 << padded({ entry(false, "", numbers({ 1, 2, 3, 4, 5, 6 })) });
    QTest::newRow("params that are not numbers")
        << text({ QJsonObject{ { "params", QJsonArray{ 1, "2", QJsonValue(), true, QJsonArray{ 5 }, 6 } } } })
        << padded({ entry(false, "", numbers({ 1, 0, 0, 0, 0, 6 })) });
    QTest::newRow("huge numbers are clamped")
        << text({ QJsonObject{ { "params", numbers({ 1e300, -1e300, 0, 0, 0, 0 }) } } })
        << padded({ entry(false, "", numbers({ double(std::numeric_limits<float>::max()),
                                              -double(std::numeric_limits<float>::max()), 0, 0, 0, 0 })) });

    QJsonArray eleven;
    for (int i = 0; i < 11; ++i)
        eleven.append(entry(true, QString::number(i), numbers({ double(i), 0, 0, 0, 0, 0 })));
    QJsonArray firstTen = eleven;
    firstTen.removeLast();
    QTest::newRow("eleven entries") << text(eleven) << firstTen;

    QTest::newRow("alias of 22 bytes") << text({ QJsonObject{ { "alias", QString(22, 'a') } } })
                                       << padded({ entry(false, QString(22, 'a'), numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("alias of 40 bytes") << text({ QJsonObject{ { "alias", QString(40, 'b') } } })
                                       << padded({ entry(false, QString(22, 'b'), numbers({ 0, 0, 0, 0, 0, 0 })) });
    // "a" and eleven two-byte characters: the 22-byte cut falls inside the last one.
    const QString accented = QStringLiteral("a") + QString(11, QChar(0x00E9));
    QTest::newRow("alias cut before a split character")
        << text({ QJsonObject{ { "alias", accented } } })
        << padded({ entry(false, accented.left(11), numbers({ 0, 0, 0, 0, 0, 0 })) });
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(6); // 24 bytes
    QTest::newRow("alias of four-byte characters")
        << text({ QJsonObject{ { "alias", emoji } } })
        << padded({ entry(false, QString::fromUtf8("\xF0\x9F\x98\x80").repeated(5), numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("alias not a string") << text({ QJsonObject{ { "enable", true }, { "alias", 42 } } })
                                        << padded({ entry(true, "", numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("enable not a bool") << text({ QJsonObject{ { "enable", 1 }, { "alias", "x" } } })
                                       << padded({ entry(false, "x", numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("element not an object") << text({ 3, QJsonObject{ { "enable", true } } })
                                           << padded({ zeroEntry(), entry(true, "", numbers({ 0, 0, 0, 0, 0, 0 })) });
    QTest::newRow("empty array") << QByteArray("[]") << padded({});
    QTest::newRow("an object") << QByteArray("{\"enable\": true}") << padded({});
    QTest::newRow("not JSON") << QByteArray("[{\"enable\": tru") << padded({});
    QTest::newRow("null") << QByteArray("null") << padded({});
    QTest::newRow("no document") << QByteArray() << padded({});
}

void tst_Coordinates::readTable()
{
    QFETCH(QByteArray, document);
    QFETCH(QJsonArray, expected);
    if (!document.isEmpty())
        ctl->setDocument(ToolDocument, document);
    QCOMPARE(toJson(settings->toolCoordinates()), expected);
}

void tst_Coordinates::userTableUsesItsOwnDocument()
{
    ctl->setDocument(ToolDocument, QJsonArray{ entry(true, "tool", numbers({ 1, 1, 1, 1, 1, 1 })) });
    ctl->setDocument("/settings/coordinate/user", QJsonArray{ entry(true, "user", numbers({ 2, 2, 2, 2, 2, 2 })) });
    QCOMPARE(toJson(settings->userCoordinates()), padded({ entry(true, "user", numbers({ 2, 2, 2, 2, 2, 2 })) }));

    CoordinateTable table = settings->userCoordinates();
    table.entry[4].enable = true;
    QVERIFY(settings->setUserCoordinates(table));
    QCOMPARE(ctl->document("/settings/coordinate/user").array().at(4).toObject().value("enable"), QJsonValue(true));
    QCOMPARE(ctl->document(ToolDocument).array().size(), 1); // the tool table is not touched
}

void tst_Coordinates::writeTable()
{
    CoordinateTable table;
    std::memset(&table, 0, sizeof table);
    table.entry[0].enable = true;
    std::strcpy(table.entry[0].alias, "gripper \xC3\xA9");
    for (int i = 0; i < 6; ++i)
        table.entry[0].params[i] = 1.5f * (i + 1);
    table.entry[9].params[5] = -45.0f;

    QVERIFY(settings->setToolCoordinates(table));
    const QJsonArray written = ctl->document(ToolDocument).array();
    QCOMPARE(written.size(), 10);
    for (const QJsonValue &value : written) {
        const QJsonObject object = value.toObject();
        QCOMPARE(object.keys(), (QStringList{ "alias", "enable", "params" }));
        QCOMPARE(object.value("params").toArray().size(), 6);
    }
    QCOMPARE(written.at(0).toObject(), entry(true, QString::fromUtf8("gripper \xC3\xA9"),
                                             numbers({ 1.5, 3, 4.5, 6, 7.5, 9 })));
    QCOMPARE(written.at(9).toObject(), entry(false, "", numbers({ 0, 0, 0, 0, 0, -45 })));
    // The controller is told about the new document.
    QVERIFY(ctl->count("POST", "/interface/updateFile") >= 1);
}

void tst_Coordinates::writeTableNeverReadsPastAnAlias()
{
    CoordinateTable table;
    std::memset(&table, 0, sizeof table);
    // No terminating NUL, and the next field right behind it.
    std::memset(table.entry[2].alias, 'z', sizeof table.entry[2].alias);
    table.entry[2].params[0] = 1.0f;
    QVERIFY(settings->setToolCoordinates(table));
    QCOMPARE(ctl->document(ToolDocument).array().at(2).toObject().value("alias").toString(), QString(22, 'z'));
}

void tst_Coordinates::tableRoundTrip()
{
    CoordinateTable table;
    std::memset(&table, 0, sizeof table);
    for (int i = 0; i < CoordinateTable::EntryCount; ++i) {
        table.entry[i].enable = i % 2;
        std::snprintf(table.entry[i].alias, sizeof table.entry[i].alias, "frame %d", i);
        for (int p = 0; p < 6; ++p)
            table.entry[i].params[p] = 0.1f * i + p;
    }
    QVERIFY(settings->setToolCoordinates(table));
    QCOMPARE(toJson(settings->toolCoordinates()), toJson(table));
}

void tst_Coordinates::pointLoads()
{
    ctl->setDocument("/settings/function/pointLoad",
                     QJsonArray{ QJsonObject{ { "enable", true }, { "params", numbers({ 1.5, 2.5, 3.5 }) } },
                                 QJsonObject{ { "params", "x" } }, QJsonObject{ { "params", numbers({ 4 }) } } });
    PointLoadTable table = settings->pointLoads();
    QCOMPARE(table.entry[0].enable, true);
    QCOMPARE(table.entry[0].params[0], 1.5f);
    QCOMPARE(table.entry[0].params[1], 2.5f);
    QCOMPARE(table.entry[1].params[0], 0.0f);
    QCOMPARE(table.entry[2].params[0], 4.0f);
    QCOMPARE(table.entry[2].params[1], 0.0f);
    for (int i = 3; i < PointLoadTable::EntryCount; ++i)
        QVERIFY(!table.entry[i].enable);

    table.entry[9].enable = true;
    table.entry[9].params[1] = -2.0f;
    QVERIFY(settings->setPointLoads(table));
    const QJsonArray written = ctl->document("/settings/function/pointLoad").array();
    QCOMPARE(written.size(), 10);
    QCOMPARE(written.at(0).toObject(), (QJsonObject{ { "enable", true }, { "params", numbers({ 1.5, 2.5 }) } }));
    QCOMPARE(written.at(9).toObject(), (QJsonObject{ { "enable", true }, { "params", numbers({ 0, -2 }) } }));
}

bool tst_Coordinates::calibrate(Operation operation, CalibrationPoint &result)
{
    const CalibrationPoints points = { { point(1), point(10), point(100) } };
    switch (operation) {
    case Tool:
        return settings->calibrateCoordinateTool(points.point[0], points.point[1], result);
    case ToolPosition:
        return settings->calibrateCoordinateToolPosition(points, result);
    case ToolPose:
        return settings->calibrateCoordinateToolPose(points, result);
    case User:
        return settings->calibrateCoordinateUser(points, result);
    }
    return false;
}

void tst_Coordinates::calibrationRequest_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<int>("valuesPerPoint");
    QTest::newRow("tool") << Tool << "/calibrate/coordinate/tool" << 2 << 4;
    QTest::newRow("tool position") << ToolPosition << "/calibrate/coordinate/tool/position" << 3 << 6;
    QTest::newRow("tool pose") << ToolPose << "/calibrate/coordinate/tool/pose" << 3 << 6;
    QTest::newRow("user") << User << "/calibrate/coordinate/user" << 3 << 6;
}

void tst_Coordinates::calibrationRequest()
{
    QFETCH(Operation, operation);
    QFETCH(QString, path);
    QFETCH(int, pointCount);
    QFETCH(int, valuesPerPoint);
    ctl->on("POST", path).reply(QJsonObject{ { "coordinate", numbers({ 1, 2, 3, 4, 5, 6 }) }, { "result", true } });

    CalibrationPoint result = {};
    QVERIFY(calibrate(operation, result));
    const VarloTest::Request request = ctl->lastRequest("POST", path);
    QVERIFY(request.isValid());
    QCOMPARE(request.port, quint16(VarloTest::FakeController::ApiPort));
    const float bases[3] = { 1, 10, 100 };
    QJsonArray expected;
    for (int p = 0; p < pointCount; ++p) {
        const CalibrationPoint taught = point(bases[p]);
        QJsonArray values = poseArray(taught.pose);
        while (values.size() > valuesPerPoint)
            values.removeLast();
        expected.append(values);
    }
    QCOMPARE(request.jsonArray(), expected);
}

void tst_Coordinates::calibrationReply_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QJsonArray>("result"); // the result starts as six nines
    QTest::addColumn<QString>("logLine");

    const QString tool = "/calibrate/coordinate/tool";
    const QString position = "/calibrate/coordinate/tool/position";
    const QString pose = "/calibrate/coordinate/tool/pose";
    const QString user = "/calibrate/coordinate/user";
    const QJsonArray untouched = numbers({ 9, 9, 9, 9, 9, 9 });

    QTest::newRow("position fills x y z, clears the orientation")
        << ToolPosition << position << 200 << QByteArray(R"({"coordinate": [1, 2, 3], "result": true})") << true
        << numbers({ 1, 2, 3, 0, 0, 0 }) << "calibrateCoordinateToolPosition_resultReturn true";
    QTest::newRow("pose fills a b c, clears the position")
        << ToolPose << pose << 200 << QByteArray(R"({"coordinate": [10, 20, 30], "result": true})") << true
        << numbers({ 0, 0, 0, 10, 20, 30 }) << "calibrateCoordinateToolPose_resultReturn true";
    QTest::newRow("tool fills x y z a, clears b c")
        << Tool << tool << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6], "result": true})") << true
        << numbers({ 1, 2, 3, 4, 0, 0 }) << "calibrateCoordinateTool_resultReturn true";
    QTest::newRow("user fills all six")
        << User << user << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6, 7], "result": true})") << true
        << numbers({ 1, 2, 3, 4, 5, 6 }) << "calibrateCoordinateUser_resultReturn true";
    QTest::newRow("short coordinate")
        << User << user << 200 << QByteArray(R"({"coordinate": [1.5], "result": true})") << true
        << numbers({ 1.5, 0, 0, 0, 0, 0 }) << "calibrateCoordinateUser_resultReturn true";
    QTest::newRow("coordinate with text in it")
        << ToolPosition << position << 200 << QByteArray(R"({"coordinate": ["1", 2, null], "result": true})")
        << true << numbers({ 0, 2, 0, 0, 0, 0 }) << "calibrateCoordinateToolPosition_resultReturn true";
    QTest::newRow("controller says no")
        << User << user << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6], "result": false})") << false
        << numbers({ 1, 2, 3, 4, 5, 6 }) << "calibrateCoordinateUser_resultReturn false";
    QTest::newRow("result not a bool")
        << User << user << 200 << QByteArray(R"({"coordinate": [1, 2, 3, 4, 5, 6], "result": "yes"})") << false
        << numbers({ 1, 2, 3, 4, 5, 6 }) << "calibrateCoordinateUser_resultReturn false";
    QTest::newRow("no result") << ToolPosition << position << 200 << QByteArray(R"({"coordinate": [1, 2, 3]})")
                               << false << numbers({ 1, 2, 3, 0, 0, 0 }) << "calibrateCoordinateToolPosition_jsonError";
    QTest::newRow("success without a frame") << User << user << 200 << QByteArray(R"({"result": true})") << false
                                             << untouched << "calibrateCoordinateUser_jsonError";
    QTest::newRow("coordinate not an array")
        << User << user << 200 << QByteArray(R"({"coordinate": "1,2,3,4,5,6", "result": true})") << false
        << untouched << "calibrateCoordinateUser_jsonError";
    QTest::newRow("not JSON, tool") << Tool << tool << 200 << QByteArray("coordinate=1,2,3") << false << untouched
                                    << "calibrateCoordinateTool_jsonError";
    QTest::newRow("not JSON, position") << ToolPosition << position << 200 << QByteArray("{\"result\": tr") << false
                                        << untouched << "calibrateCoordinateToolPosition_jsonError";
    QTest::newRow("not JSON, pose") << ToolPose << pose << 200 << QByteArray("") << false << untouched
                                    << "calibrateCoordinateToolPose_jsonError";
    QTest::newRow("an array") << User << user << 200 << QByteArray("[1, 2, 3, 4, 5, 6]") << false << untouched
                              << "calibrateCoordinateUser_jsonError";
    QTest::newRow("null") << User << user << 200 << QByteArray("null") << false << untouched
                          << "calibrateCoordinateUser_jsonError";
    QTest::newRow("request failed") << ToolPose << pose << 500 << QByteArray("{}") << false << untouched
                                    << "calibrateCoordinateToolPose_postError";
}

void tst_Coordinates::calibrationReply()
{
    QFETCH(Operation, operation);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QJsonArray, result);
    QFETCH(QString, logLine);
    ctl->on("POST", path).replyRaw(reply).status(status);

    CalibrationPoint computed;
    for (float &value : computed.pose)
        value = 9.0f;
    LogCapture log;
    QCOMPARE(calibrate(operation, computed), ok);
    QCOMPARE(poseArray(computed.pose), result);
    QVERIFY2(log.hasLine(logLine), qPrintable(log.lines().join('\n')));
}

void tst_Coordinates::leftRightHandAndHome()
{
    ctl->on("POST", "/calibrate/leftRightHand").reply(QJsonObject{});
    ctl->on("POST", "/calibrate/home").reply(QJsonObject{});
    QVERIFY(settings->calibrateLeftRightHand(1.5f, -2.25f));
    QCOMPARE(ctl->lastRequest("POST", "/calibrate/leftRightHand").json(),
             (QJsonObject{ { "left", 1.5 }, { "right", -2.25 } }));
    QVERIFY(settings->calibrateHome());
    QCOMPARE(ctl->lastRequest("POST", "/calibrate/home").jsonDocument(), QJsonDocument(QJsonObject()));

    ctl->on("POST", "/calibrate/home").status(500);
    LogCapture log;
    QVERIFY(!settings->calibrateHome());
    QVERIFY(!log.contains("calibrate"));
}

QTEST_GUILESS_MAIN(tst_Coordinates)
#include "tst_coordinates.moc"
