// VarloSim's document store on its own: a folder on the way to a document is
// swapped for a link to outside after the write's name was checked (the
// store's test seam), as a local user of the project folder could do. The
// write fails and nothing lands outside; a link at the document's own name is
// replaced, never written through. Reads answer {} only for a document that
// is not there.
#include "documentstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using varlosim::DocumentStore;

class TestSimStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linksSwappedInAfterTheCheck_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("swapped");   // made a link to outside, after the check
        QTest::addColumn<bool>("stored");
        QTest::newRow("the document's folder") << "settings/teach/joint.json" << "settings/teach" << false;
        QTest::newRow("a folder further up") << "settings/teach/joint.json" << "settings" << false;
        QTest::newRow("the document itself") << "settings/teach/joint.json" << "settings/teach/joint.json" << true;
    }
    void linksSwappedInAfterTheCheck()
    {
        QFETCH(QString, document);
        QFETCH(QString, swapped);
        QFETCH(bool, stored);
        QTemporaryDir project, outside;
        QVERIFY(QDir().mkpath(project.path() + "/settings/teach"));
        DocumentStore store(QFile::encodeName(project.path()).toStdString());
        std::string error;
        QVERIFY2(store.prepare(error), error.c_str());
        QVERIFY(store.writeFile(document.toStdString(), "{\"speed\": 1}") == DocumentStore::Status::Ok);

        const QString target = project.path() + "/" + swapped;
        const QString link = QFileInfo(swapped).isAbsolute() ? swapped : target;
        store.beforeOpeningFolders = [&](const std::string &) {
            QVERIFY(std::rename(QFile::encodeName(target).constData(), QFile::encodeName(target + ".moved").constData()) == 0);
            QVERIFY(QFile::link(outside.path() + (swapped.endsWith(".json") ? "/doc.json" : ""), link));
        };
        const DocumentStore::Status status = store.writeFile(document.toStdString(), "{\"speed\": 2}");
        QCOMPARE(status == DocumentStore::Status::Ok, stored);
        QVERIFY2(QDir(outside.path()).isEmpty(), qPrintable(QDir(outside.path()).entryList().join(' ')));
        if (stored) // the link itself was replaced by the document
            QVERIFY(!QFileInfo(link).isSymLink() && QFileInfo(link).isFile());
    }

    // Only a document that is not there reads as {} (missing, which a client
    // may write afresh); one that is there but is no JSON, or no file, is an
    // error, so that no read-change-write replaces what it holds.
    void readsOfWhatIsStored_data()
    {
        QTest::addColumn<QByteArray>("stored");   // empty: nothing; "/": a folder
        QTest::addColumn<bool>("answered");
        QTest::newRow("a document") << QByteArray("{\"speed\": 1}") << true;
        QTest::newRow("nothing") << QByteArray() << true;
        QTest::newRow("not JSON") << QByteArray("{\"speed\": ") << false;
        QTest::newRow("a folder in its place") << QByteArray("/") << false;
    }
    void readsOfWhatIsStored()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, answered);
        QTemporaryDir project;
        const QString path = project.path() + "/settings/common.json";
        QVERIFY(QDir().mkpath(stored == "/" ? path : project.path() + "/settings"));
        QFile file(path);
        QVERIFY(stored.isEmpty() || stored == "/" || (file.open(QIODevice::WriteOnly) && file.write(stored) == stored.size()));
        file.close();
        DocumentStore store(QFile::encodeName(project.path()).toStdString());
        std::string error, body;
        QVERIFY2(store.prepare(error), error.c_str());
        const DocumentStore::Status status = store.readFile("settings/common.json", body);
        QCOMPARE(status == DocumentStore::Status::Ok, answered);
        if (answered)
            QCOMPARE(QByteArray::fromStdString(body), stored.isEmpty() ? QByteArray("{}") : stored);
    }
};

QTEST_GUILESS_MAIN(TestSimStore)
#include "tst_simstore.moc"
