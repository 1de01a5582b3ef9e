// Project files against the controller double: the points file and its path
// rules, pallets, taught pallets, pallet point lists and the single points.
#include "componenttest.h"
#include "logcapture.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#include <memory>


namespace {
const QString Address = QStringLiteral("127.0.0.50");
const QString PointsFile = QStringLiteral("//127.0.0.50/project/project/demo/points.json");

std::unique_ptr<TeachPointTable> emptyTable()
{
    std::unique_ptr<TeachPointTable> table(new TeachPointTable);
    memset(table.get(), 0, sizeof(TeachPointTable));
    return table;
}

TeachPoint makePoint(int index, const char *alias, float base)
{
    TeachPoint p;
    memset(&p, 0, sizeof p);
    p.index = index;
    strncpy(p.alias, alias, sizeof p.alias - 1);
    p.armOrientation = index % 2;
    p.tool = 1;
    p.user = 2;
    for (int i = 0; i < 6; ++i)
        p.coordinate[i] = base + i;
    p.rdn[0] = 1; p.rdn[1] = -1; p.rdn[2] = 0; p.rdn[3] = 3;
    p.load = 4;
    p.auxJoint[0] = 7.5f;
    return p;
}

QJsonObject pointObject(const QJsonValue &arm, const QString &name = QStringLiteral("P1"))
{
    return QJsonObject{{"name", name}, {"alias", "a"}, {"armOrientation", arm},
                       {"coordinate", QJsonArray{1, 2, 3, 4, 5, 6}}, {"tool", 1}, {"user", 2}, {"load", 3}};
}
} // namespace

class tst_ProjectFiles : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent(6);
        ctl->on("POST", "/project/teachFileUpdate").reply(QJsonObject());
        ctl->on("POST", "/process/*").reply(QJsonObject());
        ctl->on("POST", "/settings/*").reply(QJsonObject());
    }
    void cleanup() { cleanupComponent(); }

    void savePointsWireFormAndNotification_data();
    void savePointsWireFormAndNotification();
    void emptyFirstPointWritesEmptyArrayAndStillNotifies();
    void pointWithOnlyAnAliasEndsTheTable();
    void pointsRoundTrip_data();
    void pointsRoundTrip();
    void armOrientationReads_data();
    void armOrientationReads();
    void loadKeepsFieldsOfMissingKeys();
    void loadOfWhatIsNotAPointArray_data();
    void loadOfWhatIsNotAPointArray();
    void loadIsBoundedToTheTable();
    void pointsFilePaths_data();
    void pointsFilePaths();

    void palletsWireFormAndEnd();
    void palletsReadBack();
    void palletsAreBounded();
    void teachPalletsLayoutSequence();
    void teachPalletsRoundTrip();
    void teachPalletsAreBounded();
    void palletPointsHaveNoExtras();
    void palletPointNamesThatLeaveTheFolder_data();
    void palletPointNamesThatLeaveTheFolder();

    void singlePoints();
    void singlePointFailures();

private:
    QRobotSettings *&settings = component;
};

void tst_ProjectFiles::savePointsWireFormAndNotification_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QJsonValue>("arm0");
    QTest::addColumn<QJsonValue>("arm1");
    QTest::newRow("six axes") << 6 << QJsonValue(QJsonArray{1, -1, 0, 3}) << QJsonValue(QJsonArray{1, -1, 0, 3});
    QTest::newRow("four axes") << 4 << QJsonValue("left") << QJsonValue("right");
}

void tst_ProjectFiles::savePointsWireFormAndNotification()
{
    QFETCH(int, kind);
    QFETCH(QJsonValue, arm0);
    QFETCH(QJsonValue, arm1);
    auto table = emptyTable();
    table->point[0] = makePoint(12, "first", 10);
    table->point[1] = makePoint(13, "second", 20);

    QVERIFY(settings->saveTeachPoints(PointsFile, *table, kind));

    const auto all = ctl->requests();
    QCOMPARE(all.size(), 3);
    QCOMPARE(all.at(0).path, QString("/file/write/project/demo/points.json"));
    QCOMPARE(all.at(1).path, QString("/project/teachFileUpdate"));
    QCOMPARE(all.at(1).json(), (QJsonObject{{"file", "demo/points.json"}}));
    QCOMPARE(all.at(2).path, QString("/interface/updateFile"));

    const QJsonArray points = all.at(0).jsonArray();
    QCOMPARE(points.size(), 2);
    const QJsonObject p0 = points.at(0).toObject();
    QCOMPARE(p0.value("name").toString(), QString("P12"));
    QCOMPARE(p0.value("alias").toString(), QString("first"));
    QCOMPARE(p0.value("armOrientation"), arm0);
    QCOMPARE(points.at(1).toObject().value("armOrientation"), arm1);
    QCOMPARE(p0.value("coordinate").toArray(), (QJsonArray{10, 11, 12, 13, 14, 15}));
    QCOMPARE(p0.value("auxJoint").toArray(), (QJsonArray{7.5, 0, 0}));
    QCOMPARE(p0.value("tool").toInt(), 1);
    QCOMPARE(p0.value("user").toInt(), 2);
    QCOMPARE(p0.value("load").toInt(), 4);
}

void tst_ProjectFiles::emptyFirstPointWritesEmptyArrayAndStillNotifies()
{
    auto table = emptyTable();
    table->point[1] = makePoint(2, "after", 1);
    table->point[0].load = 9; // load, alias and auxJoint do not make a point
    table->point[0].auxJoint[1] = 1.0f;
    QVERIFY(settings->saveTeachPoints(PointsFile, *table, 6));
    QCOMPARE(ctl->lastRequest("POST", "/file/write/project/demo/points.json").jsonArray(), QJsonArray());
    QCOMPARE(ctl->count("POST", "/project/teachFileUpdate"), 1);
}

void tst_ProjectFiles::pointWithOnlyAnAliasEndsTheTable()
{
    auto table = emptyTable();
    for (int i = 0; i < 6; ++i)
        table->point[i] = makePoint(i + 1, "p", float(i + 1));
    memset(&table->point[3], 0, sizeof(TeachPoint));
    strcpy(table->point[3].alias, "only alias");
    QVERIFY(settings->saveTeachPoints(PointsFile, *table, 6));
    QCOMPARE(ctl->lastRequest("POST", "/file/write/project/demo/points.json").jsonArray().size(), 3);
}

void tst_ProjectFiles::pointsRoundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("six axes") << 6;
    QTest::newRow("four axes") << 4;
}

void tst_ProjectFiles::pointsRoundTrip()
{
    QFETCH(int, kind);
    auto table = emptyTable();
    for (int i = 0; i < 998; ++i)
        table->point[i] = makePoint(i + 1, "\xc3\xa4ltere Stelle", float(i));
    table->point[998] = makePoint(999, "last", 998);
    QVERIFY(settings->saveTeachPoints(PointsFile, *table, kind));

    auto read = emptyTable();
    QCOMPARE(settings->loadTeachPoints(PointsFile, kind, *read), 999);
    for (int i = 0; i < 999; ++i) {
        const TeachPoint &a = table->point[i];
        const TeachPoint &b = read->point[i];
        QCOMPARE(b.index, a.index);
        QCOMPARE(QByteArray(b.alias), QByteArray(a.alias));
        QCOMPARE(b.tool, a.tool);
        QCOMPARE(b.load, a.load);
        QVERIFY(memcmp(b.coordinate, a.coordinate, sizeof a.coordinate) == 0);
        QVERIFY(memcmp(b.auxJoint, a.auxJoint, sizeof a.auxJoint) == 0);
        if (kind == 6)
            QVERIFY(memcmp(b.rdn, a.rdn, sizeof a.rdn) == 0);
        else
            QCOMPARE(b.armOrientation, a.armOrientation ? 1 : 0);
    }
}

void tst_ProjectFiles::armOrientationReads_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QJsonValue>("arm");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QVector<int>>("rdn");
    const QVector<int> untouched{7, 7, 7, 7};
    QTest::newRow("6: array") << 6 << QJsonValue(QJsonArray{1, 0, -1, 5}) << 9 << QVector<int>{1, 0, -1, 5};
    QTest::newRow("6: short array") << 6 << QJsonValue(QJsonArray{1}) << 9 << QVector<int>{1, 0, 0, 0};
    QTest::newRow("6: text left") << 6 << QJsonValue("left") << 9 << QVector<int>{-1, -1, -1, 0};
    QTest::newRow("6: number") << 6 << QJsonValue(3) << 9 << QVector<int>{-1, -1, -1, 0};
    QTest::newRow("4: left") << 4 << QJsonValue("left") << 0 << untouched;
    QTest::newRow("4: right") << 4 << QJsonValue("right") << 1 << untouched;
    QTest::newRow("4: LEFT is exact") << 4 << QJsonValue("LEFT") << 1 << untouched;
    QTest::newRow("4: array") << 4 << QJsonValue(QJsonArray{1, 1, 1, 1}) << 0 << untouched;
    QTest::newRow("5: left alone") << 5 << QJsonValue("left") << 9 << untouched;
}

void tst_ProjectFiles::armOrientationReads()
{
    QFETCH(int, kind);
    QFETCH(QJsonValue, arm);
    QFETCH(int, orientation);
    QFETCH(QVector<int>, rdn);
    ctl->setDocument("/project/demo/points", QJsonArray{pointObject(arm)});
    auto table = emptyTable();
    table->point[0].armOrientation = 9;
    for (int &v : table->point[0].rdn)
        v = 7;
    QCOMPARE(settings->loadTeachPoints(PointsFile, kind, *table), 1);
    QCOMPARE(table->point[0].armOrientation, orientation);
    QCOMPARE((QVector<int>{table->point[0].rdn[0], table->point[0].rdn[1], table->point[0].rdn[2],
                           table->point[0].rdn[3]}),
             rdn);
}

void tst_ProjectFiles::loadKeepsFieldsOfMissingKeys()
{
    ctl->setDocument("/project/demo/points",
                     QJsonArray{QJsonObject{{"name", "P12"}}, QJsonObject{{"tool", 5}, {"coordinate", "bad"}},
                                QJsonObject{{"name", 42}, {"alias", QJsonArray{}}, {"coordinate", QJsonArray{1, "x"}}},
                                "not an object"});
    auto table = emptyTable();
    for (int i = 0; i < 5; ++i)
        table->point[i] = makePoint(100 + i, "keep", 50);
    QCOMPARE(settings->loadTeachPoints(PointsFile, 6, *table), 4);
    QCOMPARE(table->point[0].index, 12);
    QCOMPARE(QByteArray(table->point[0].alias), QByteArray("keep"));
    QCOMPARE(table->point[0].coordinate[2], 52.0f);
    QCOMPARE(table->point[1].index, 101);
    QCOMPARE(table->point[1].tool, 5);
    QCOMPARE(table->point[1].coordinate[0], 50.0f); // not an array: left as it was
    QCOMPARE(table->point[2].index, 0);             // a name that is not text
    QCOMPARE(QByteArray(table->point[2].alias), QByteArray());
    QCOMPARE(table->point[2].coordinate[0], 1.0f);
    QCOMPARE(table->point[2].coordinate[1], 0.0f);
    QCOMPARE(table->point[3].index, 103);
    QCOMPARE(table->point[4].index, 104); // beyond the document: untouched
}

void tst_ProjectFiles::loadOfWhatIsNotAPointArray_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("object") << QByteArray("{\"name\": \"P1\"}");
    QTest::newRow("missing") << QByteArray();
}

void tst_ProjectFiles::loadOfWhatIsNotAPointArray()
{
    QFETCH(QByteArray, document);
    if (!document.isEmpty())
        ctl->setDocument("/project/demo/points", document);
    auto table = emptyTable();
    table->point[0] = makePoint(5, "kept", 1);
    QCOMPARE(settings->loadTeachPoints(PointsFile, 6, *table), 0);
    QCOMPARE(table->point[0].index, 5);
}

void tst_ProjectFiles::loadIsBoundedToTheTable()
{
    const QString longAlias = QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e").repeated(10); // 90 bytes
    QJsonArray withAlias;
    for (int i = 0; i < 1200; ++i) {
        QJsonObject o = pointObject(QJsonArray{1, 1, 1, 1}, QStringLiteral("P%1").arg(i));
        o.insert("alias", longAlias);
        withAlias.append(o);
    }
    ctl->setDocument("/project/demo/points", withAlias);
    // A guard point after the table must survive.
    struct Guarded { TeachPointTable table; TeachPoint guard; };
    std::unique_ptr<Guarded> g(new Guarded);
    memset(g.get(), 0, sizeof(Guarded));
    g->guard.index = 4242;
    QCOMPARE(settings->loadTeachPoints(PointsFile, 6, g->table), 999);
    QCOMPARE(g->guard.index, 4242);
    QCOMPARE(g->table.point[998].index, 998);
    // 19 bytes of room: six whole three-byte characters, then NUL.
    QCOMPARE(QByteArray(g->table.point[0].alias), longAlias.left(6).toUtf8());
}

void tst_ProjectFiles::pointsFilePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("write");   // empty: refused
    QTest::addColumn<QString>("file");
    QTest::newRow("share") << PointsFile << "/file/write/project/demo/points.json" << "demo/points.json";
    QTest::newRow("mounted share") << "/mnt/robots/10.0.0.2/project/project/cell 1/a.json"
                                   << "/file/write/project/cell 1/a.json" << "cell 1/a.json";
    QTest::newRow("backslashes") << "\\\\host\\project\\project\\demo\\b.json" << "/file/write/project/demo/b.json"
                                 << "demo/b.json";
    QTest::newRow("folder named project") << "//h/project/project/project/c.json"
                                          << "/file/write/project/project/c.json" << "project/c.json";
    QTest::newRow("parent folder") << "//h/project/project/../settings/common.json" << QString() << QString();
    QTest::newRow("parent in the middle") << "//h/project/project/demo/../../x.json" << QString() << QString();
    QTest::newRow("backslash parent") << "//h/project/project/demo\\..\\..\\x.json" << QString() << QString();
    QTest::newRow("no project folder") << "//h/project/process/pallet.json" << QString() << QString();
    QTest::newRow("nothing after the folder") << "//h/project/project/" << QString() << QString();
    QTest::newRow("empty") << QString() << QString() << QString();
}

void tst_ProjectFiles::pointsFilePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, write);
    QFETCH(QString, file);
    auto table = emptyTable();
    table->point[0] = makePoint(1, "x", 1);
    const bool ok = settings->saveTeachPoints(path, *table, 6);
    if (write.isEmpty()) {
        QVERIFY(!ok);
        QCOMPARE(ctl->count(), 0);
        QCOMPARE(settings->loadTeachPoints(path, 6, *table), 0);
        QCOMPARE(ctl->count(), 0);
        return;
    }
    QVERIFY(ok);
    QCOMPARE(ctl->count("POST", write), 1);
    QCOMPARE(ctl->lastRequest("POST", "/project/teachFileUpdate").json().value("file").toString(), file);
}

namespace {
PalletDef makePallet(int id, const char *name, quint8 x)
{
    PalletDef p;
    memset(&p, 0, sizeof p);
    p.id = quint8(id);
    p.userCoord = 3;
    strncpy(p.name, name, sizeof p.name - 1);
    p.direction = 2;
    p.count[0] = x; p.count[1] = 2; p.count[2] = 1;
    p.distance[0] = 10.5f;
    for (int i = 0; i < 6; ++i) {
        p.firstPoint[i] = float(i + 1);
        p.safePoint[i] = float(i + 10);
        p.preparePoint[i] = float(i + 20);
    }
    p.autoSafePoint = true;
    return p;
}
} // namespace

void tst_ProjectFiles::palletsWireFormAndEnd()
{
    PalletDef pallets[PalletCount];
    memset(pallets, 0, sizeof pallets);
    pallets[0] = makePallet(1, "box", 3);
    pallets[1] = makePallet(2, "crate", 4);
    pallets[3] = makePallet(4, "after the end", 5);
    QVERIFY(settings->setPallets(pallets));
    const QJsonArray array = ctl->lastRequest("POST", "/file/write/process/pallet.json").jsonArray();
    QCOMPARE(array.size(), 2);
    const QJsonObject p = array.at(0).toObject();
    QCOMPARE(p.value("id").toInt(), 1);
    QCOMPARE(p.value("userCoord").toInt(), 3);
    QCOMPARE(p.value("name").toString(), QString("box"));
    QCOMPARE(p.value("direction").toInt(), 2);
    QCOMPARE(p.value("count").toObject(), (QJsonObject{{"x", 3}, {"y", 2}, {"z", 1}}));
    QCOMPARE(p.value("distance").toObject(), (QJsonObject{{"x", 10.5}, {"y", 0}, {"z", 0}}));
    QCOMPARE(p.value("firstPoint").toObject(),
             (QJsonObject{{"x", 1}, {"y", 2}, {"z", 3}, {"a", 4}, {"b", 5}, {"c", 6}}));
    QCOMPARE(p.value("safePoint").toObject(),
             (QJsonObject{{"x", 10}, {"y", 11}, {"z", 12}, {"a", 13}, {"b", 14}, {"c", 15}, {"auto", true}}));
    QCOMPARE(p.value("preparePoint").toObject().value("c").toDouble(), 25.0);
}

void tst_ProjectFiles::palletsReadBack()
{
    PalletDef written[PalletCount];
    memset(written, 0, sizeof written);
    written[0] = makePallet(1, "box", 3);
    written[1] = makePallet(2, "crate", 4);
    QVERIFY(settings->setPallets(written));

    PalletDef read[PalletCount];
    memset(read, 0, sizeof read);
    read[0].direction = 77;
    QCOMPARE(settings->pallets("//127.0.0.50/project/process/pallet.json", read), 2);
    QCOMPARE(read[0].direction, 77); // not read back
    read[0].direction = written[0].direction;
    QVERIFY(memcmp(&read[0], &written[0], sizeof(PalletDef)) == 0);
    QCOMPARE(QByteArray(read[1].name), QByteArray("crate"));
    QCOMPARE(settings->pallets("//h/project/process/../settings/x.json", read), 0);
    QCOMPARE(settings->pallets("//h/project/project/pallet.json", read), 0);
}

void tst_ProjectFiles::palletsAreBounded()
{
    QJsonArray array;
    for (int i = 0; i < 15; ++i)
        array.append(QJsonObject{{"id", 1000}, {"name", QString(40, QLatin1Char('n'))},
                                 {"count", QJsonObject{{"x", -3}, {"y", "two"}}}, {"safePoint", 5}});
    ctl->setDocument("/process/pallet", array);
    struct Guarded { PalletDef pallets[PalletCount]; quint32 guard; } g;
    memset(&g, 0, sizeof g);
    g.guard = 0xfeedbeef;
    QCOMPARE(settings->pallets("//h/project/process/pallet.json", g.pallets), 10);
    QCOMPARE(g.guard, 0xfeedbeefu);
    QCOMPARE(int(g.pallets[9].id), 255);
    QCOMPARE(int(g.pallets[0].count[0]), 0);
    QCOMPARE(QByteArray(g.pallets[0].name), QByteArray(21, 'n'));
}

namespace {
std::unique_ptr<TeachPalletDef[]> emptyTeachPallets()
{
    std::unique_ptr<TeachPalletDef[]> pallets(new TeachPalletDef[PalletCount]);
    memset(pallets.get(), 0, sizeof(TeachPalletDef) * PalletCount);
    return pallets;
}
using TeachPallets = TeachPalletDef[PalletCount];
TeachPallets &asTable(std::unique_ptr<TeachPalletDef[]> &p) { return *reinterpret_cast<TeachPallets *>(p.get()); }
} // namespace

void tst_ProjectFiles::teachPalletsLayoutSequence()
{
    const QJsonObject layout0{{"layerHigh", 100.0}, {"points", QJsonArray{QJsonObject{{"x", 1}, {"c", 6}},
                                                                          QJsonObject{{"y", 2}}}}};
    const QJsonObject layout1{{"layerHigh", 200.0}, {"points", QJsonArray{QJsonObject{{"z", 3}}}}};
    const QJsonObject layout2{{"layerHigh", 300.0}};
    ctl->setDocument("/process/pallet/teachPallet",
                     QJsonArray{QJsonObject{{"id", 1}, {"name", "stack"}, {"layoutSeq", QJsonArray{2, 1, 0, 0, 0}},
                                            {"layout", QJsonArray{layout0, layout1, layout2}}, {"auto", true},
                                            {"transPoint", QJsonObject{{"b", 5}}}}});
    auto pallets = emptyTeachPallets();
    QCOMPARE(settings->teachPallets(asTable(pallets)), 1);
    const TeachPalletDef &p = pallets[0];
    QCOMPARE(p.layerHigh[1], 100.0f);
    QCOMPARE(p.layerHigh[0], 300.0f); // layout 2 named nowhere: position 0, after layout 1 put 200 there
    QCOMPARE(p.layouts[0].point[0].coordinate[0], 1.0f);
    QCOMPARE(p.layouts[0].point[0].coordinate[5], 6.0f);
    QCOMPARE(p.layouts[0].point[1].coordinate[1], 2.0f);
    QCOMPARE(p.layouts[1].point[0].coordinate[2], 3.0f);
    QCOMPARE(p.transPoint[4], 5.0f);
    QVERIFY(p.autoMode);
    QCOMPARE(QByteArray(p.name), QByteArray("stack"));
}

void tst_ProjectFiles::teachPalletsRoundTrip()
{
    auto pallets = emptyTeachPallets();
    for (int r = 0; r < 2; ++r) {
        TeachPalletDef &p = pallets[r];
        p.id = quint8(r + 1);
        p.circleLayer = 2;
        p.countLayer = 4;
        strcpy(p.name, r ? "second" : "first");
        for (int k = 0; k < PalletLayoutCount; ++k) {
            p.layoutSeq[k] = k + 1;
            p.layerHigh[k] = 10.0f * (k + 1);
            for (int i = 0; i < 3; ++i)
                p.layouts[k].point[i].coordinate[0] = float(100 * k + i + 1);
        }
    }
    pallets[2].layoutSeq[0] = 1; // no name: the table ends here
    QVERIFY(settings->setTeachPallets(asTable(pallets)));
    const QJsonArray written = ctl->lastRequest("POST", "/file/write/process/pallet/teachPallet.json").jsonArray();
    QCOMPARE(written.size(), 2);
    const QJsonObject first = written.at(0).toObject();
    QCOMPARE(first.value("layoutSeq").toArray(), (QJsonArray{1, 2, 3, 4, 5}));
    QCOMPARE(first.value("layout").toArray().size(), 5);
    QCOMPARE(first.value("layout").toArray().at(1).toObject().value("points").toArray().size(), 3);

    auto read = emptyTeachPallets();
    QCOMPARE(settings->teachPallets(asTable(read)), 2);
    for (int r = 0; r < 2; ++r)
        QVERIFY(memcmp(&read[r], &pallets[r], sizeof(TeachPalletDef)) == 0);
}

void tst_ProjectFiles::teachPalletsAreBounded()
{
    QJsonArray points;
    for (int p = 0; p < 1100; ++p)
        points.append(QJsonObject{{"x", p + 1}});
    QJsonArray layouts;
    for (int j = 0; j < 8; ++j)
        layouts.append(QJsonObject{{"layerHigh", 10 * (j + 1)}, {"points", points}});
    QJsonArray array;
    for (int r = 0; r < 12; ++r)
        array.append(QJsonObject{{"name", QString(80, QLatin1Char('n'))}, {"layoutSeq", QJsonArray{1, 2, 3, 4, 5, 6, 7}},
                                 {"layout", layouts}, {"id", -4}});
    ctl->setDocument("/process/pallet/teachPallet", array);

    struct Guarded { TeachPalletDef pallets[PalletCount]; qint32 guard; };
    std::unique_ptr<Guarded> g(new Guarded);
    memset(g.get(), 0, sizeof(Guarded));
    g->guard = 31337;
    QCOMPARE(settings->teachPallets(g->pallets), 10);
    QCOMPARE(g->guard, 31337);
    const TeachPalletDef &last = g->pallets[9];
    QCOMPARE(QByteArray(last.name), QByteArray(55, 'n'));
    QCOMPARE(int(last.id), 0);
    QCOMPARE(last.layoutSeq[4], 5);
    QCOMPARE(last.layerHigh[4], 50.0f);
    QCOMPARE(last.layouts[4].point[998].coordinate[0], 999.0f);
}

void tst_ProjectFiles::palletPointsHaveNoExtras()
{
    auto table = emptyTable();
    table->point[0] = makePoint(3, "alias", 1);
    QVERIFY(settings->setPalletPoints("box", *table, 6));
    const QJsonArray array = ctl->lastRequest("POST", "/file/write/process/pallet/box.json").jsonArray();
    QCOMPARE(array.size(), 1);
    QVERIFY(!array.at(0).toObject().contains("alias"));
    QVERIFY(!array.at(0).toObject().contains("auxJoint"));
    QCOMPARE(ctl->count("POST", "/project/teachFileUpdate"), 0);

    auto read = emptyTable();
    QCOMPARE(settings->palletPoints("box", 6, *read), 1);
    QCOMPARE(read->point[0].index, 3);
    QCOMPARE(QByteArray(read->point[0].alias), QByteArray());
}

void tst_ProjectFiles::palletPointNamesThatLeaveTheFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "..";
    QTest::newRow("parent path") << "../../settings/common";
    QTest::newRow("backslash") << "..\\x";
    QTest::newRow("empty") << "";
    QTest::newRow("folder") << "box/";
}

void tst_ProjectFiles::palletPointNamesThatLeaveTheFolder()
{
    QFETCH(QString, name);
    auto table = emptyTable();
    table->point[0] = makePoint(3, "alias", 1);
    QVERIFY(!settings->setPalletPoints(name, *table, 6));
    QCOMPARE(settings->palletPoints(name, 6, *table), 0);
    QCOMPARE(ctl->count(), 0);
}

void tst_ProjectFiles::singlePoints()
{
    const float joint[6] = {1, 2, 3, 4, 5, 6.5f};
    QVERIFY(settings->setCustomPoint(joint));
    QCOMPARE(ctl->documentObject("/settings/function/CustomPoint"),
             (QJsonObject{{"joint", QJsonArray{1, 2, 3, 4, 5, 6.5}}}));
    float read[6] = {};
    QVERIFY(settings->customPoint(read));
    QVERIFY(memcmp(read, joint, sizeof joint) == 0);

    // Only exactly six values are taken; the result is still true.
    ctl->setDocument("/settings/function/PackPoint", QJsonObject{{"joint", QJsonArray{9, 9, 9, 9, 9}}});
    QVERIFY(settings->packPoint(read));
    QCOMPARE(read[0], 1.0f);
    ctl->setDocument("/settings/function/PackPoint", QJsonObject{{"joint", QJsonArray{9, 9, 9, 9, 9, 9, 9}}});
    QVERIFY(settings->packPoint(read));
    QCOMPARE(read[0], 1.0f);
    ctl->setDocument("/settings/function/PackPoint", QJsonObject{{"joint", QJsonArray{8, 8, 8, 8, 8, "x"}}});
    QVERIFY(settings->packPoint(read));
    QCOMPARE(read[0], 8.0f);
    QCOMPARE(read[5], 0.0f);
}

void tst_ProjectFiles::singlePointFailures()
{
    float read[6] = {1, 1, 1, 1, 1, 1};
    {
        VarloTest::LogCapture log;
        QVERIFY(!settings->packPoint(read));
        QVERIFY(log.hasLine("PackPoint_getParaError"));
        QVERIFY(!settings->customPoint(read));
        QVERIFY(log.hasLine("CustomPoint_getParaError"));
    }
    {
        ctl->onWrite("/settings/function/CustomPoint").status(500);
        VarloTest::LogCapture log;
        QVERIFY(!settings->setCustomPoint({1, 2, 3, 4, 5, 6}));
        QVERIFY(log.hasLine("CustomPoint_setParaError"));
    }
    {
        // Text that is not JSON (from the share): false without a line.
        const QString path = share.path() + "/127.0.0.50/project/settings/function/PackPoint.json";
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("joint: nonsense");
        file.close();
        VarloTest::LogCapture log;
        QVERIFY(!settings->packPoint(read));
        QVERIFY(!log.contains("PackPoint_getParaError"));
        QFile::remove(path);
    }
    QCOMPARE(read[0], 1.0f);
}

QTEST_GUILESS_MAIN(tst_ProjectFiles)
#include "tst_projectfiles.moc"
