// The script-function catalogue and the operator names: the controller's
// documents and the local files that take precedence over them.
#include "componenttest.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
const QString Address = QStringLiteral("127.0.0.52");
const QString ApiDocument = QStringLiteral("/settings/function/functionApi");

QJsonObject param(const QJsonValue &type, int max = 10, int min = 0)
{
    return QJsonObject{{"type", type}, {"max", max}, {"min", min}};
}
} // namespace

class tst_FunctionCatalogue : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { initComponent(6); }
    void cleanup();

    void entries_data();
    void entries();
    void onlyTheFirst48NamesCount();
    void longNamesAreCut();
    void noCatalogue();
    void localFileIsPreferred();
    void functionSystem();
    void functionSystemIsBounded();

private:
    void writeLocal(const QString &fileName, const QJsonObject &object);

    QRobotSettings *&settings = component;
};

void tst_FunctionCatalogue::initTestCase()
{
    startController(Address);
    QCOMPARE(QRobotSettings::localCatalogueFile("functionApi.json"),
             QCoreApplication::applicationDirPath() + "/update/functionApi.json");
}

void tst_FunctionCatalogue::cleanup()
{
    cleanupComponent();
    QFile::remove(QRobotSettings::localCatalogueFile("functionApi.json"));
    QFile::remove(QRobotSettings::localCatalogueFile("functionSystem.json"));
}

void tst_FunctionCatalogue::writeLocal(const QString &fileName, const QJsonObject &object)
{
    const QString path = QRobotSettings::localCatalogueFile(fileName);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(object).toJson());
}

void tst_FunctionCatalogue::entries_data()
{
    QTest::addColumn<QJsonValue>("params"); // undefined: no key for the name
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("types");
    QTest::addColumn<QVector<int>>("maxima");
    QTest::newRow("no key") << QJsonValue(QJsonValue::Undefined) << -1 << QVector<int>() << QVector<int>();
    QTest::newRow("empty list") << QJsonValue(QJsonArray()) << 0 << QVector<int>() << QVector<int>();
    QTest::newRow("not a list") << QJsonValue("num") << 0 << QVector<int>() << QVector<int>();
    QTest::newRow("three kinds") << QJsonValue(QJsonArray{param("num"), param("point", 3), param("switch", 1)}) << 3
                                 << QVector<int>{0, 1, 2} << QVector<int>{10, 3, 1};
    QTest::newRow("seven cut to five")
        << QJsonValue(QJsonArray{param("num"), param("num"), param("num"), param("num"), param("text", 5),
                                 param("num"), param("num")})
        << 5 << QVector<int>{0, 0, 0, 0, 3} << QVector<int>{10, 10, 10, 10, 5};
    QTest::newRow("missing parts") << QJsonValue(QJsonArray{QJsonObject{}, "junk", QJsonObject{{"max", "x"}}}) << 3
                                   << QVector<int>{3, 3, 3} << QVector<int>{-1, -1, 0};
}

void tst_FunctionCatalogue::entries()
{
    QFETCH(QJsonValue, params);
    QFETCH(int, count);
    QFETCH(QVector<int>, types);
    QFETCH(QVector<int>, maxima);
    QJsonObject catalogue{{"function", QJsonArray{"MoveTo", "Other"}}, {"Other", QJsonArray{}}};
    if (!params.isUndefined())
        catalogue.insert("MoveTo", params);
    ctl->setDocument(ApiDocument, catalogue);

    FunctionApiEntry entry;
    QVERIFY(settings->functionApi("MoveTo", entry));
    QCOMPARE(QByteArray(entry.name), QByteArray("MoveTo"));
    QCOMPARE(entry.paramCount, count);
    for (int i = 0; i < types.size(); ++i) {
        QCOMPARE(entry.params[i].type, types.at(i));
        QCOMPARE(entry.params[i].max, maxima.at(i));
    }
    const QList<FunctionApiEntry> list = settings->functionApiList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).paramCount, count);
    QCOMPARE(QByteArray(list.at(1).name), QByteArray("Other"));
}

void tst_FunctionCatalogue::onlyTheFirst48NamesCount()
{
    QJsonArray names;
    QJsonObject catalogue;
    for (int i = 0; i < 60; ++i) {
        names.append(QStringLiteral("F%1").arg(i));
        catalogue.insert(QStringLiteral("F%1").arg(i), QJsonArray{param("num")});
    }
    catalogue.insert("function", names);
    ctl->setDocument(ApiDocument, catalogue);
    FunctionApiEntry entry;
    QVERIFY(settings->functionApi("F47", entry));
    QVERIFY(!settings->functionApi("F48", entry));
    QVERIFY(!settings->functionApi("Unknown", entry));
    QCOMPARE(settings->functionApiList().size(), 48);
}

void tst_FunctionCatalogue::longNamesAreCut()
{
    const QString name = QString(150, QLatin1Char('n'));
    ctl->setDocument(ApiDocument, QJsonObject{{"function", QJsonArray{name}}});
    FunctionApiEntry entry;
    QVERIFY(settings->functionApi(name, entry));
    QCOMPARE(QByteArray(entry.name), QByteArray(99, 'n'));
    QCOMPARE(entry.paramCount, -1);
}

void tst_FunctionCatalogue::noCatalogue()
{
    FunctionApiEntry entry;
    QVERIFY(!settings->functionApi("MoveTo", entry));
    QVERIFY(settings->functionApiList().isEmpty());
    ctl->setDocument(ApiDocument, QJsonObject{{"function", "not a list"}});
    QVERIFY(settings->functionApiList().isEmpty());
    QList<FunctionSystemEntry> entries;
    QCOMPARE(settings->functionSystem(entries), 0);
}

void tst_FunctionCatalogue::localFileIsPreferred()
{
    ctl->setDocument(ApiDocument, QJsonObject{{"function", QJsonArray{"Remote"}}});
    writeLocal("functionApi.json", QJsonObject{{"function", QJsonArray{"Local"}}, {"Local", QJsonArray{param("point")}}});
    ctl->clearRequests();
    const QList<FunctionApiEntry> list = settings->functionApiList();
    QCOMPARE(list.size(), 1);
    QCOMPARE(QByteArray(list.at(0).name), QByteArray("Local"));
    QCOMPARE(list.at(0).params[0].type, 1);
    QCOMPARE(ctl->count(), 0);
}

void tst_FunctionCatalogue::functionSystem()
{
    ctl->setDocument("/settings/function/functionSystem",
                     QJsonObject{{"Operators", QJsonObject{{"+", "plus"}, {"and", "logical and"}}},
                                 {"Function", QJsonObject{{"MovJ", QString::fromUtf8("Gelenkbewegung \xc3\xbc")}}},
                                 {"Other", QJsonObject{{"x", "y"}}}});
    QList<FunctionSystemEntry> entries;
    QCOMPARE(settings->functionSystem(entries), 3);
    QCOMPARE(QByteArray(entries.at(0).key), QByteArray("+"));
    QCOMPARE(QByteArray(entries.at(1).text), QByteArray("logical and"));
    QCOMPARE(QByteArray(entries.at(2).key), QByteArray("MovJ"));
    QCOMPARE(QString::fromLocal8Bit(entries.at(2).text), QString::fromUtf8("Gelenkbewegung \xc3\xbc"));

    writeLocal("functionSystem.json", QJsonObject{{"Function", QJsonObject{{"Local", "from file"}}}});
    QCOMPARE(settings->functionSystem(entries), 1);
    QCOMPARE(QByteArray(entries.at(0).text), QByteArray("from file"));
}

void tst_FunctionCatalogue::functionSystemIsBounded()
{
    QJsonObject operators;
    for (int i = 0; i < 5000; ++i)
        operators.insert(QStringLiteral("op%1").arg(i, 5, 10, QLatin1Char('0')), QString(300, QLatin1Char('t')));
    ctl->setDocument("/settings/function/functionSystem", QJsonObject{{"Operators", operators}});
    QList<FunctionSystemEntry> entries;
    QCOMPARE(settings->functionSystem(entries), 4096);
    QCOMPARE(QByteArray(entries.at(0).text), QByteArray(99, 't'));
}

QTEST_GUILESS_MAIN(tst_FunctionCatalogue)
#include "tst_functioncatalogue.moc"
