// The jog-button board reader through a pseudo-terminal standing in for the
// board's serial line: the port choice, the frames it decodes (and the bad
// bytes it resynchronises after), the release, and the jog reaching the
// controller through the facade.
#include "fixture.h"
#include "Varlo/qrobot.h"
#include "Varlo/qserialmanager.h"

#include <pty.h>
#include <unistd.h>

using namespace VarloTest;

namespace {

// A frame as the board sends it: start bytes, length, command, the button
// word (byte 5: entries 0, 2, 4; byte 6: entries 1, 3, 5; bits 2..0 positive,
// 6..4 negative) and a checksum.
QByteArray frame(uint8_t command, uint8_t byte5 = 0, uint8_t byte6 = 0)
{
    QByteArray bytes("\x5A\xA5\x0D\0\0\0\0\0\0\0\0\0\0", 13);
    bytes[3] = char(command);
    bytes[5] = char(byte5);
    bytes[6] = char(byte6);
    unsigned sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += uint8_t(bytes[i]);
    bytes[12] = char(sum & 0xFF);
    return bytes;
}
QByteArray press(uint8_t byte5, uint8_t byte6 = 0) { return frame(1, byte5, byte6); }
const QByteArray Release = frame(4);

// A pseudo-terminal: the reader opens `name`, the test writes the board's bytes to `fd`.
struct Board
{
    int fd = -1, line = -1;
    char name[128] = {};
    Board() { openpty(&fd, &line, name, nullptr, nullptr); }
    ~Board() { ::close(fd), ::close(line); }
    bool send(const QByteArray &bytes) { return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
};

// The buttons of one emission: "+0" positive entry 0, "-5" negative entry 5, "R" all released.
QString describe(const bool *positive, const bool *negative)
{
    QString text;
    for (int i = 0; i < 6; ++i)
        text += (positive[i] ? "+" + QString::number(i) : "") + (negative[i] ? "-" + QString::number(i) : "");
    return text.isEmpty() ? "R" : text;
}

} // namespace

class tst_QSerialManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void portChoice_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("COM3 among three") << QStringList{ "COM1", "COM3", "COM4" } << "COM3";
        QTest::newRow("none ends in 3") << QStringList{ "COM1", "COM2" } << "COM2";
        QTest::newRow("linux names") << QStringList{ "ttyS1", "ttyUSB3", "ttyUSB0" } << "ttyUSB3";
        QTest::newRow("no ports") << QStringList{} << "";
        QStringList many;
        for (int i = 0; i < 12; ++i)
            many << QString("tty%1").arg(i == 10 ? 3 : 10 + i * 2);
        QTest::newRow("only the first ten examined") << many << many.at(9);
    }
    void portChoice() {
        QFETCH(QStringList, names);
        QTEST(QSerialManager::selectPortName(names), "chosen");
    }

    void boardStaysClosedUntilOpened() {
        QSerialManager manager;
        QVERIFY(!manager.isBoardOpen());
        QCOMPARE(manager.boardPort()->baudRate(), qint32(115200));
        QCOMPARE(manager.boardPort()->dataBits(), QSerialPort::Data8);
        QCOMPARE(manager.boardPort()->parity(), QSerialPort::NoParity);
        QVERIFY(!manager.openBoard("/dev/no-such-board"));
        QVERIFY(!manager.boardErrorString().isEmpty());
    }

    void frames_data() {
        QTest::addColumn<QList<QByteArray>>("pieces"); // written one after the other
        QTest::addColumn<QStringList>("buttons");
        QByteArray badChecksum = press(0x04), badLength = press(0x04);
        badChecksum[12] = char(badChecksum.at(12) + 1);
        badLength[2] = 0x0C;
        QTest::newRow("every button") << QList<QByteArray>{ press(0x04) + press(0x02) + press(0x01) + press(0, 0x04)
                + press(0, 0x02) + press(0, 0x01) + press(0x40) + press(0, 0x10) + press(0x88, 0x88) }
            << QStringList{ "+0", "+2", "+4", "+1", "+3", "+5", "-0", "-5", "R" };
        QTest::newRow("bad checksum") << QList<QByteArray>{ badChecksum + press(0x04) } << QStringList{ "+0" };
        QTest::newRow("bad length") << QList<QByteArray>{ badLength + press(0x04) } << QStringList{ "+0" };
        QTest::newRow("garbage") << QList<QByteArray>{ QByteArray("\x01\x5A\x00\xA5\xFF noise", 11) + press(0x04) } << QStringList{ "+0" };
        QTest::newRow("unknown command") << QList<QByteArray>{ frame(7, 0xFF, 0xFF) + press(0x04) } << QStringList{ "+0" };
        QTest::newRow("in pieces") << QList<QByteArray>{ "\x5A", press(0x04).mid(1, 6), press(0x04).mid(7) + press(0, 0x02).left(3),
                                                         press(0, 0x02).mid(3) } << QStringList{ "+0", "+3" };
        // A release ends the call; what followed it is dropped with the port's buffers.
        QTest::newRow("release") << QList<QByteArray>{ press(0x04) + Release + press(0x01) } << QStringList{ "+0", "R" };
    }
    void frames() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, buttons);
        Board board;
        QSerialManager manager;
        QVERIFY2(manager.openBoard(board.name), qPrintable(manager.boardErrorString()));
        QStringList received;
        connect(&manager, &QSerialManager::sgnSwitchJogButtons, this,
                [&](bool *positive, bool *negative) { received << describe(positive, negative); });
        for (const QByteArray &piece : pieces) {
            QVERIFY(board.send(piece));
            spin(30);
        }
        WAIT_FOR(received.size() >= buttons.size());
        spin(50);
        QCOMPARE(received, buttons);
    }

    void jogReachesTheController() {
        Fixture f("127.0.0.70");
        START_OR_SKIP(f, f.start());
        f.ctl.on("POST", "/panel/jog", QJsonObject());
        QRobot robot;
        robot.initialize();
        robot.setHostIP(f.ctl.address());
        Board board;
        QVERIFY(!robot.serial()->isBoardOpen());
        QVERIFY(robot.serial()->openBoard(board.name));
        QVERIFY(board.send(press(0x04)));
        QVERIFY(f.ctl.waitFor("POST", "/panel/jog"));
        QVERIFY(board.send(Release));
        QVERIFY(f.ctl.waitFor("POST", "/panel/jog", 2));
        const QJsonArray none{ false, false, false, false, false, false };
        QCOMPARE(f.ctl.requests("POST", "/panel/jog").at(0).json(),
                 (QJsonObject{ { "posBtns", QJsonArray{ true, false, false, false, false, false } }, { "negBtns", none } }));
        QCOMPARE(f.ctl.requests("POST", "/panel/jog").at(1).json(), (QJsonObject{ { "posBtns", none }, { "negBtns", none } }));
        robot.disconnectController();
    }
};

QTEST_GUILESS_MAIN(tst_QSerialManager)
#include "tst_qserialmanager.moc"
