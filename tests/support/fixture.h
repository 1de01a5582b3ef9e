#ifndef VARLOTEST_FIXTURE_H
#define VARLOTEST_FIXTURE_H

// What the test programs share: the library's intervals shortened, and the
// controller double on the program's own address with a temporary share root
// in VARLO_SHARE_ROOT (where a document stands when the file service fails).
//
// Header only: it needs the library's internals, which the support library
// itself does not link.
#include "fakecontroller.h"
#include "logcapture.h"
#include "robot/simulatorprobe.h"
#include "transport/timings.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

// Fails the test unless `expr` comes true while the event loop runs (5 s at most).
#define WAIT_FOR(expr) QVERIFY2(VarloTest::waitUntil([&] { return bool(expr); }), #expr)

// Starts the controller double of a fixture (`start` is the call, such as
// f.start(4)); when its address is taken by another program the test is
// skipped, saying so: it cannot run beside that program, which is no fault
// of the library.
#define START_OR_SKIP(fixture, start)                                                                          \
    do {                                                                                                       \
        if (!(start))                                                                                          \
            QSKIP(qPrintable("the controller double cannot serve " + (fixture).ctl.errorString()               \
                             + " (is another program using the address?)"));                                  \
    } while (false)

// Why the loopback address 127.0.0.1 is not free for a test that needs
// nothing to answer there (the user's own VarloSim, say from
// scripts/demo.sh --keep), or an empty text when it is.
inline QString loopbackInUse()
{
    QString root;
    if (SimulatorProbe::detectVirtualController(&root))
        return QStringLiteral("a VarloSim of this machine serves 127.0.0.1 (from %1)").arg(root);
    for (const quint16 port : { quint16(22000), quint16(22001) }) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return QStringLiteral("a program (a VarloSim of this machine?) serves 127.0.0.1:%1").arg(port);
    }
    return QString();
}

namespace VarloTest {

// The periods that only pace the library (dispatch tick, polls, the exchange,
// the checks of the blocking waits) cut to a few milliseconds. The limits keep
// their values unless a test shortens them itself.
inline void useShortIntervals()
{
    using namespace VarloTimings;
    setForTesting(DispatchTick, 2);
    setForTesting(ConnectionPoll, 5);
    setForTesting(ExchangeRearm, 5);
    setForTesting(ConnectCheck, 5);
    setForTesting(MotionCheck, 5);
}

// Writes a file, creating its folders; true when written whole.
inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Fixture
{
    explicit Fixture(const char *address) : ctl(QString::fromLatin1(address)) {
        useShortIntervals();
        qputenv("VARLO_SHARE_ROOT", share.path().toLocal8Bit());
    }

    // From initTestCase(): QVERIFY(start()).
    bool start(int axes = 6) {
        ctl.playRobot(axes);
        return ctl.listen() || (qWarning("%s", qPrintable(ctl.errorString())), false);
    }

    // From init(): no routes, documents, requests or share files of an earlier test.
    void reset(int axes = 6) {
        ctl.clearRoutes();
        ctl.clearDocuments();
        ctl.clearRequests();
        ctl.playRobot(axes);
        removeShareFiles();
    }

    // A document as the controller's share holds it (read when the file service has none).
    void putShareFile(const QString &name, const QByteArray &bytes) {
        writeFile(shareFilePath(name), bytes);
    }
    QByteArray shareFile(const QString &name) const {
        QFile file(shareFilePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void removeShareFiles() {
        QDir(share.path()).removeRecursively();
        QDir().mkpath(share.path());
    }
    QString shareFilePath(const QString &name) const { return share.path() + "/" + ctl.address() + "/project" + name + ".json"; }

    QTemporaryDir share;
    FakeController ctl;
};

} // namespace VarloTest

#endif // VARLOTEST_FIXTURE_H
