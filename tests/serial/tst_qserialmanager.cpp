// The jog-button board reader: port choice, frame decoding, and frames read
// through a real pseudo-terminal standing in for the board's serial line.
#include "fakecontroller.h"
#include "logcapture.h"
#include "robot/jogframedecoder.h"
#include "robot/qrobot.h"
#include "robot/qserialmanager.h"

#include <QtTest/QtTest>

#include <array>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

using Buttons = std::array<bool, 6>;

struct Jog
{
    Buttons positive{};
    Buttons negative{};
};

Buttons none() { return Buttons{}; }
Buttons only(int entry)
{
    Buttons b{};
    b[size_t(entry)] = true;
    return b;
}

QByteArray press(uint32_t word) { return JogFrameDecoder::frame(JogFrameDecoder::Press, word); }
QByteArray release() { return JogFrameDecoder::frame(JogFrameDecoder::Release, 0); }

// A frame with byte 5 and byte 6 as the board sends them.
QByteArray pressBytes(uint8_t byte5, uint8_t byte6) { return press((uint32_t(byte5) << 16) | (uint32_t(byte6) << 8)); }

} // namespace

Q_DECLARE_METATYPE(Buttons)

class tst_QSerialManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void portChoice_data();
    void portChoice();
    void buttonBits_data();
    void buttonBits();
    void badFramesAreSkippedNotFatal_data();
    void badFramesAreSkippedNotFatal();
    void releaseEndsTheCall();
    void framesArrivingInPieces();
    void boardStaysClosedUntilOpened();
    void framesThroughAPseudoTerminal();
    void boardJogsTheArmThroughTheFacade();
};

void tst_QSerialManager::portChoice_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("COM3 among three") << QStringList{"COM1", "COM3", "COM4"} << "COM3";
    QTest::newRow("none ends in 3") << QStringList{"COM1", "COM2"} << "COM2";
    QTest::newRow("linux names") << QStringList{"ttyS1", "ttyUSB3", "ttyUSB0"} << "ttyUSB3";
    QTest::newRow("COM13 ends in 3 too") << QStringList{"COM13", "COM3"} << "COM13";
    QTest::newRow("no ports") << QStringList{} << "";
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << QStringLiteral("tty%1").arg(i == 10 ? 3 : 10 + i * 2);
    QTest::newRow("only the first ten examined") << many << many.at(9);
}

void tst_QSerialManager::portChoice()
{
    QFETCH(QStringList, names);
    QFETCH(QString, chosen);
    QCOMPARE(QSerialManager::selectPortName(names), chosen);
}

void tst_QSerialManager::buttonBits_data()
{
    QTest::addColumn<uint8_t>("byte5");
    QTest::addColumn<uint8_t>("byte6");
    QTest::addColumn<Buttons>("positive");
    QTest::addColumn<Buttons>("negative");
    // Byte 5 carries entries 0, 2, 4; byte 6 entries 1, 3, 5. Bits 2, 1, 0 are
    // the positive buttons, bits 6, 5, 4 the negative ones.
    QTest::newRow("axis 1 +") << uint8_t(0x04) << uint8_t(0) << only(0) << none();
    QTest::newRow("axis 3 +") << uint8_t(0x02) << uint8_t(0) << only(2) << none();
    QTest::newRow("axis 5 +") << uint8_t(0x01) << uint8_t(0) << only(4) << none();
    QTest::newRow("axis 2 +") << uint8_t(0) << uint8_t(0x04) << only(1) << none();
    QTest::newRow("axis 4 +") << uint8_t(0) << uint8_t(0x02) << only(3) << none();
    QTest::newRow("axis 6 +") << uint8_t(0) << uint8_t(0x01) << only(5) << none();
    QTest::newRow("axis 1 -") << uint8_t(0x40) << uint8_t(0) << none() << only(0);
    QTest::newRow("axis 3 -") << uint8_t(0x20) << uint8_t(0) << none() << only(2);
    QTest::newRow("axis 5 -") << uint8_t(0x10) << uint8_t(0) << none() << only(4);
    QTest::newRow("axis 2 -") << uint8_t(0) << uint8_t(0x40) << none() << only(1);
    QTest::newRow("axis 4 -") << uint8_t(0) << uint8_t(0x20) << none() << only(3);
    QTest::newRow("axis 6 -") << uint8_t(0) << uint8_t(0x10) << none() << only(5);
    QTest::newRow("unused bits") << uint8_t(0x88) << uint8_t(0x88) << none() << none();
}

void tst_QSerialManager::buttonBits()
{
    QFETCH(uint8_t, byte5);
    QFETCH(uint8_t, byte6);
    QFETCH(Buttons, positive);
    QFETCH(Buttons, negative);
    JogFrameDecoder decoder;
    const auto events = decoder.feed(pressBytes(byte5, byte6));
    QCOMPARE(events.size(), 1);
    QVERIFY(!events.at(0).release);
    QCOMPARE(events.at(0).positive, positive);
    QCOMPARE(events.at(0).negative, negative);
    QCOMPARE(decoder.pendingBytes(), 0);
}

void tst_QSerialManager::badFramesAreSkippedNotFatal_data()
{
    QTest::addColumn<QByteArray>("before");
    QByteArray badChecksum = pressBytes(0x01, 0);
    badChecksum[12] = char(badChecksum.at(12) + 1);
    QByteArray badLength = pressBytes(0x01, 0);
    badLength[2] = 0x0C;
    QTest::newRow("bad checksum") << badChecksum;
    QTest::newRow("bad length") << badLength;
    QTest::newRow("garbage") << QByteArray("\x01\x02\x5A\x00\xA5\xFF noise", 13);
    QTest::newRow("lone start byte") << QByteArray("\x5A", 1);
    QTest::newRow("unknown command") << JogFrameDecoder::frame(7, 0xFFFFFFFF);
}

void tst_QSerialManager::badFramesAreSkippedNotFatal()
{
    QFETCH(QByteArray, before);
    JogFrameDecoder decoder;
    const auto events = decoder.feed(before + pressBytes(0x04, 0) + pressBytes(0, 0x40));
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).positive, only(0));
    QCOMPARE(events.at(1).negative, only(1));
}

void tst_QSerialManager::releaseEndsTheCall()
{
    JogFrameDecoder decoder;
    const auto events = decoder.feed(pressBytes(0x04, 0) + pressBytes(0x02, 0) + release() + pressBytes(0x01, 0));
    QCOMPARE(events.size(), 3);
    QVERIFY(events.at(2).release);
    QCOMPARE(events.at(2).positive, none());
    QCOMPARE(events.at(2).negative, none());
    // What followed the release is dropped with the port's buffers.
    QCOMPARE(decoder.pendingBytes(), 0);
}

void tst_QSerialManager::framesArrivingInPieces()
{
    JogFrameDecoder decoder;
    const QByteArray frames = pressBytes(0x04, 0) + pressBytes(0, 0x02);
    int decoded = 0;
    for (int i = 0; i < frames.size(); i += 5)
        decoded += decoder.feed(frames.mid(i, 5)).size();
    QCOMPARE(decoded, 2);
    QCOMPARE(decoder.pendingBytes(), 0);
}

void tst_QSerialManager::boardStaysClosedUntilOpened()
{
    QSerialManager manager;
    QVERIFY(!manager.isBoardOpen());
    QCOMPARE(manager.boardPort()->baudRate(), qint32(115200));
    QCOMPARE(manager.boardPort()->dataBits(), QSerialPort::Data8);
    QCOMPARE(manager.boardPort()->stopBits(), QSerialPort::OneStop);
    QCOMPARE(manager.boardPort()->parity(), QSerialPort::NoParity);
    QVERIFY(!manager.openBoard("/dev/no-such-board"));
    QVERIFY(!manager.boardErrorString().isEmpty());
}

void tst_QSerialManager::framesThroughAPseudoTerminal()
{
    int board = -1;
    int line = -1;
    char name[128] = {};
    QVERIFY(openpty(&board, &line, name, nullptr, nullptr) == 0);
    QSerialManager manager;
    QVERIFY2(manager.openBoard(QString::fromLocal8Bit(name)), qPrintable(manager.boardErrorString()));
    ::close(line); // the manager has its own descriptor now

    QList<Jog> received;
    connect(&manager, &QSerialManager::sgnSwitchJogButtons, this, [&](bool *pos, bool *neg) {
        Jog jog;
        std::copy(pos, pos + 6, jog.positive.begin());
        std::copy(neg, neg + 6, jog.negative.begin());
        received.append(jog);
    });

    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    // Garbage, a press in two pieces, a second press, then a release.
    const QByteArray first = QByteArray("\x13\x37", 2) + pressBytes(0x04, 0);
    QCOMPARE(::write(board, first.constData(), 7), ssize_t(7));
    QTest::qWait(50);
    QCOMPARE(::write(board, first.constData() + 7, size_t(first.size() - 7)), ssize_t(first.size() - 7));
    QTRY_COMPARE(received.size(), 1);
    const QByteArray more = pressBytes(0, 0x10) + release();
    QCOMPARE(::write(board, more.constData(), size_t(more.size())), ssize_t(more.size()));
    QTRY_COMPARE(received.size(), 3);

    QCOMPARE(received.at(0).positive, only(0));
    QCOMPARE(received.at(1).negative, only(5));
    QCOMPARE(received.at(2).positive, none());
    QCOMPARE(received.at(2).negative, none());
    QCOMPARE(log.count("JOG Press!!!!"), 2);
    QCOMPARE(log.count("JOG Release!!!!"), 1);
    manager.closeBoard();
    ::close(board);
}

void tst_QSerialManager::boardJogsTheArmThroughTheFacade()
{
    VarloTest::FakeController ctl(QStringLiteral("127.0.0.70"));
    QVERIFY2(ctl.listen(), qPrintable(ctl.errorString()));
    ctl.on("POST", "/panel/jog").reply(QJsonObject());

    QRobot robot;
    robot.initialize();
    robot.setHostIP(ctl.address());
    QVERIFY(robot.serial());
    QVERIFY(!robot.serial()->isBoardOpen());

    int board = -1;
    int line = -1;
    char name[128] = {};
    QVERIFY(openpty(&board, &line, name, nullptr, nullptr) == 0);
    QVERIFY2(robot.serial()->openBoard(QString::fromLocal8Bit(name)), qPrintable(robot.serial()->boardErrorString()));
    ::close(line);

    VarloTest::LogCapture log(VarloTest::LogCapture::Quiet);
    const QByteArray frames = pressBytes(0x04, 0);
    QCOMPARE(::write(board, frames.constData(), size_t(frames.size())), ssize_t(frames.size()));
    QVERIFY(ctl.waitForRequest("POST", "/panel/jog", 3000));
    const QByteArray releaseFrame = release();
    QCOMPARE(::write(board, releaseFrame.constData(), size_t(releaseFrame.size())), ssize_t(releaseFrame.size()));
    QVERIFY(ctl.waitForRequests("POST", "/panel/jog", 2, 3000));

    const auto jogs = ctl.requests("POST", "/panel/jog");
    QCOMPARE(jogs.at(0).json().value("posBtns").toArray(), (QJsonArray{true, false, false, false, false, false}));
    QCOMPARE(jogs.at(0).json().value("negBtns").toArray(), (QJsonArray{false, false, false, false, false, false}));
    QCOMPARE(jogs.at(1).json().value("posBtns").toArray(), (QJsonArray{false, false, false, false, false, false}));
    robot.disconnectController();
    ::close(board);
}

QTEST_GUILESS_MAIN(tst_QSerialManager)
#include "tst_qserialmanager.moc"
