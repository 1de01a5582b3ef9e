// ConnectVarlo where nothing answers: the connect wait's time limit.
#include "Varlo.h"
#include "logcapture.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

class tst_ConnectTimeout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void nothingAnswers_data();
    void nothingAnswers();
    void loopbackWithoutSimulator();

private:
    QTemporaryDir emptyShare;
};

void tst_ConnectTimeout::initTestCase()
{
    qputenv("VARLO_SHARE_ROOT", emptyShare.path().toLocal8Bit());
}

void tst_ConnectTimeout::nothingAnswers_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("isNull");
    // Nothing of the tests listens on this address.
    QTest::newRow("silent address") << QByteArray("127.0.0.254") << false;
    QTest::newRow("null address") << QByteArray() << true;
    QTest::newRow("not an address") << QByteArray("no such host!") << false;
}

void tst_ConnectTimeout::nothingAnswers()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, isNull);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(ConnectVarlo(isNull ? nullptr : address.constData()), VARLO_NO_CONNECTION);
    // Checked once a second, given up after more than five seconds.
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed > 5000 && elapsed < 7000, qPrintable(QString::number(elapsed)));
}

void tst_ConnectTimeout::loopbackWithoutSimulator()
{
    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    QCOMPARE(ConnectVarlo("127.0.0.1"), VARLO_NO_CONNECTION);
    QVERIFY(log.hasLine("VarloSim.exe is not detected, please open VarloSim.exe first!!!"));
}

QTEST_GUILESS_MAIN(tst_ConnectTimeout)
#include "tst_connecttimeout.moc"
