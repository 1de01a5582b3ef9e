// The jog-button board moves the arm of VarloSim: a pseudo-terminal stands in
// for the board, the library's reader and panel simulator send the jog, and
// the state exchange shows the joint moving.
#include "robot/jogframedecoder.h"
#include "robot/qrobot.h"
#include "robot/qrobotprotocol.h"
#include "robot/qserialmanager.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <pty.h>
#include <unistd.h>

class tst_SerialJogSim : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void boardJogsTheSimulatedArm();
};

void tst_SerialJogSim::boardJogsTheSimulatedArm()
{
    QTemporaryDir folder;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(QStringLiteral(VARLOSIM_PATH),
              {"--root", folder.path(), "--address", "127.0.0.71", "--axes", "6"});
    QVERIFY(sim.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += sim.readAll()).contains("VarloSim ready"), 10000);

    QRobot robot;
    robot.initialize();
    robot.setHostIP(QStringLiteral("127.0.0.71"));
    QSignalSpy connected(&robot, &QRobot::connectionChanged);
    QVERIFY(connected.wait(5000));

    QJsonObject reply;
    QVERIFY(robot.transport()->postJson("/settings/controlMode", QJsonObject{{"controlMode", "enable"}}, reply));
    QTRY_COMPARE_WITH_TIMEOUT(int(robot.protocol()->controlMode()), int(QRobotType::Enable), 5000);
    QTest::qWait(400);
    const float before = robot.protocol()->jointCoordinate().joint[0];

    int board = -1;
    int line = -1;
    char name[128] = {};
    QVERIFY(openpty(&board, &line, name, nullptr, nullptr) == 0);
    QVERIFY2(robot.serial()->openBoard(QString::fromLocal8Bit(name)), qPrintable(robot.serial()->boardErrorString()));
    ::close(line);

    // Axis 1, positive direction: byte 5 bit 2.
    const QByteArray press = JogFrameDecoder::frame(JogFrameDecoder::Press, 0x04u << 16);
    QCOMPARE(::write(board, press.constData(), size_t(press.size())), ssize_t(press.size()));
    QTest::qWait(1000);
    const QByteArray release = JogFrameDecoder::frame(JogFrameDecoder::Release, 0);
    QCOMPARE(::write(board, release.constData(), size_t(release.size())), ssize_t(release.size()));
    QTest::qWait(700);

    const float after = robot.protocol()->jointCoordinate().joint[0];
    QVERIFY2(after > before + 0.5f, qPrintable(QStringLiteral("joint 1 %1 -> %2").arg(before).arg(after)));
    // Released: the joint stands still.
    QTest::qWait(700);
    QCOMPARE(robot.protocol()->jointCoordinate().joint[0], after);

    robot.disconnectController();
    ::close(board);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(tst_SerialJogSim)
#include "tst_serialjogsim.moc"
