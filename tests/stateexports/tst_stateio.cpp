// SetDO and ClearAlarms as the controller sees them: each request travels
// with the next state exchange, and the one-shot part of it exactly once.
#include "Varlo.h"
#include "api/library.h"
#include "stateexportstest.h"

#include "componenttest.h"

#include <QtCore/QJsonArray>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

using namespace StateExportsTest;
using VarloTest::Request;

class tst_StateIO : public QObject, public VarloTest::ControllerTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void setDOReachesTheControllerOnce_data();
    void setDOReachesTheControllerOnce();
    void setDOWithoutEnable();
    void clearAlarmsSentOnce();

private:
    // The exchange bodies from now on, once at least `n` have arrived.
    QList<QJsonObject> nextBodies(int n);

};

void tst_StateIO::initTestCase()
{
    startController(QStringLiteral("127.0.0.14"), 6);
    const QByteArray address = ctl->address().toLatin1();
    QCOMPARE(ConnectVarlo(address.constData()), VARLO_OK);
    QVERIFY(ctl->waitForRequest("POST", ExchangePath, 3000));
}

QList<QJsonObject> tst_StateIO::nextBodies(int n)
{
    QList<QJsonObject> bodies;
    if (!ctl->waitForRequests("POST", ExchangePath, n, 5000))
        return bodies;
    for (const Request &request : ctl->requests("POST", ExchangePath))
        bodies.append(request.json());
    return bodies;
}

void tst_StateIO::setDOReachesTheControllerOnce_data()
{
    QTest::addColumn<QList<int>>("channels");   // 0-based channels set in the host's record
    QTest::addColumn<QByteArray>("onByte");     // the byte the host uses for "on"
    QTest::addColumn<QJsonArray>("words");

    QTest::newRow("channels 1 and 3") << QList<int>{ 0, 2 } << QByteArray(1, '\1') << toArray({ 5, 0, 0, 0, 0, 0, 0, 0 });
    QTest::newRow("first and last of each word")
        << QList<int>{ 0, 7, 8, 15, 56, 63 } << QByteArray(1, '\1')
        << toArray({ 129, 129, 0, 0, 0, 0, 0, 129 });
    QTest::newRow("any non-zero byte is on") << QList<int>{ 9, 40 } << QByteArray(1, '\xff')
                                             << toArray({ 0, 2, 0, 0, 0, 1, 0, 0 });
    QTest::newRow("all off") << QList<int>{} << QByteArray(1, '\1') << toArray({ 0, 0, 0, 0, 0, 0, 0, 0 });
}

void tst_StateIO::setDOReachesTheControllerOnce()
{
    QFETCH(QList<int>, channels);
    QFETCH(QByteArray, onByte);
    QFETCH(QJsonArray, words);

    VarloIO io;
    std::memset(&io, 0, sizeof io);
    std::memset(&io.enable, onByte.at(0), 1);
    for (int channel : channels)
        std::memcpy(&io.value[channel], onByte.constData(), 1);

    ctl->clearRequests();
    QCOMPARE(SetDO(&io), VARLO_OK);
    const QList<QJsonObject> bodies = nextBodies(3);
    QVERIFY(bodies.size() >= 3);

    // The first exchange after the call asks the controller to apply them,
    // the following ones carry the same value without asking again.
    for (int i = 0; i < bodies.size(); ++i) {
        const QJsonObject outputs = bodies.at(i).value("outputs").toObject();
        QCOMPARE(outputs.value("value").toArray(), words);
        QCOMPARE(outputs.value("enable").toBool(i != 0), i == 0);
    }
}

// With enable 0 the new value is sent, but the controller is not asked to
// apply it.
void tst_StateIO::setDOWithoutEnable()
{
    VarloIO io;
    std::memset(&io, 0, sizeof io);
    io.value[4] = true;
    ctl->clearRequests();
    QCOMPARE(SetDO(&io), VARLO_OK);
    const QList<QJsonObject> bodies = nextBodies(2);
    QVERIFY(bodies.size() >= 2);
    for (const QJsonObject &body : bodies) {
        const QJsonObject outputs = body.value("outputs").toObject();
        QCOMPARE(outputs.value("enable").toBool(true), false);
        QCOMPARE(outputs.value("value").toArray(), toArray({ 16, 0, 0, 0, 0, 0, 0, 0 }));
    }
}

void tst_StateIO::clearAlarmsSentOnce()
{
    ctl->clearRequests();
    // Asked twice before the next exchange: still one clear.
    QCOMPARE(ClearAlarms(), VARLO_OK);
    QCOMPARE(ClearAlarms(), VARLO_OK);
    const QList<QJsonObject> bodies = nextBodies(3);
    QVERIFY(bodies.size() >= 3);
    for (int i = 0; i < bodies.size(); ++i)
        QCOMPARE(bodies.at(i).value("alarms").toBool(i != 0), i == 0);
}

QTEST_GUILESS_MAIN(tst_StateIO)
#include "tst_stateio.moc"
