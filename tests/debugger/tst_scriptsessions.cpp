// Scripts run and debugged end to end: the facade against VarloSim, which runs
// the script in its embedded Lua, with the real lua5.4 running the debug server;
// two facades on two simulators at once. (The command line's tests judge the
// rest by the simulator's state: tests/debugger/test_script_cli.py.)
#include "../integration/simprocess.h"
#include "Varlo/qrobotdebugger.h"
#include "Varlo/qrobot.h"
#include "transport/timings.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

namespace {

const char Address[] = "127.0.0.82";
const char SecondAddress[] = "127.0.0.85";

QList<int> integers(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toInt();
    return list;
}

} // namespace

class tst_ScriptSessions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { robot.reset(); }

    void straightRuns_data();
    void straightRuns();
    void debugSession();
    void stepsPausesAndBreakpoints();
    void twoControllersAtOnce();

private:
    void writeScript(const QByteArray &text, const SimProcess &on);
    void writeScript(const QByteArray &text) { writeScript(text, sim); }
    static QString stateOf(const SimProcess &on) { return on.get(QStringLiteral("/debugger/state")).value("value").toString(); }
    QString simState() const { return stateOf(sim); }
    bool startSession();

    QTemporaryDir folder;
    SimProcess sim;
    QScopedPointer<QRobot> robot;
};

void tst_ScriptSessions::initTestCase()
{
    // The simulator answers in milliseconds: the protocol's pacing pauses can
    // be short, and a command that leaves the script running need not wait
    // the full 2 s for an answer that will not come.
    using namespace VarloTimings;
    for (auto shorter : { qMakePair(DebugReply, 500), qMakePair(DebugSettle, 20), qMakePair(DebugRunSettle, 50) })
        setForTesting(shorter.first, shorter.second);
    QVERIFY2(sim.start(folder.path(), QLatin1String(Address)), qPrintable(sim.reason()));
    QVERIFY(sim.api("POST", "/settings/controlMode", {{"controlMode", "enable"}}).json().value("result").toBool());
}

void tst_ScriptSessions::init()
{
    robot.reset(new QRobot);
    robot->initialize();
    robot->setHostIP(QLatin1String(Address));
}

void tst_ScriptSessions::writeScript(const QByteArray &text, const SimProcess &on)
{
    const QString project = on.projectFolder() + QStringLiteral("/project/demo");
    QVERIFY(QDir().mkpath(project));
    QFile file(project + QStringLiteral("/src0.lua"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void tst_ScriptSessions::straightRuns_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("action");      // what the host does while it runs
    QTest::addColumn<QStringList>("sequence"); // the lines run and the prints, in order, when they can be listed
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<QStringList>("info");    // among the messages
    QTest::addColumn<int>("errorLine");

    const QString finished = QStringLiteral("run script finished!");
    QTest::newRow("to the end") << QByteArray("print('begin')\nSetDO(1, true)\nJointMovJ({0, 0, 0, 0, 90, 0})\nprint('end')\n")
                                << "" << QStringList{"1", "begin", "2", "3", "4", "end"} << QList<int>{3}
                                << QStringList{"begin", "end", finished} << -1;
    QTest::newRow("pause and continue") << QByteArray("print('a')\npause()\nprint('b')\n") << "continue"
                                        << QStringList{"1", "a", "2", "3", "b"} << QList<int>()
                                        << QStringList{"command:pause", "b", finished}
                                        << -1;
    QTest::newRow("an error stops it") << QByteArray("print('a')\nerror('boom')\nprint('never')\n") << ""
                                       << QStringList{"1", "a", "2"} << QList<int>() << QStringList{"ERROR:src0.lua:2: boom"}
                                       << 2;
    QTest::newRow("an endless loop stops") << QByteArray("while true do end\n") << "stop" << QStringList() << QList<int>()
                                           << QStringList() << -1;
    QTest::newRow("memory is limited") << QByteArray("local t = {}\nwhile true do t[#t + 1] = ('x'):rep(1e6) .. #t end\n")
                                       << "" << QStringList() << QList<int>()
                                       << QStringList{"ERROR:src0.lua:2: not enough memory"} << 2;
    QTest::newRow("no files") << QByteArray("local f = io.open('/etc/passwd')\n") << "" << QStringList{"1"} << QList<int>()
                              << QStringList() << 1;
}

void tst_ScriptSessions::straightRuns()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, action);
    writeScript(script);
    // One sequence: a print comes after the line that printed it.
    QStringList ran;
    QObject scope; // the two connections end with this test
    connect(robot.data(), &QRobot::scriptLineChanged, &scope, [&ran](int line) { ran << QString::number(line); });
    connect(robot->debugger(), &QRobotDebugger::scriptPrinted, &scope, [&ran](const QString &text) { ran << text; });
    QSignalSpy moveSpy(robot.data(), &QRobot::moveLineChanged);
    QSignalSpy errors(robot.data(), &QRobot::errorLine);
    QSignalSpy messages(robot.data(), &QRobot::mobDebugInfo);
    robot->straightRun(QStringLiteral("demo"));
    if (action == QLatin1String("continue")) {
        QTRY_VERIFY(robot->debugger()->debugState() == QRobotType::ScriptPaused);
        QCOMPARE(simState(), QStringLiteral("pause"));
        robot->straightContinue();
    } else if (action == QLatin1String("stop")) {
        QTest::qWait(300);
        QCOMPARE(simState(), QStringLiteral("run"));
        robot->stop();
    }
    QTRY_COMPARE_WITH_TIMEOUT(robot->debugger()->debugState(), QRobotType::ScriptStopped, 10000);
    QTRY_COMPARE(simState(), QStringLiteral("stop"));

    QFETCH(QStringList, sequence);
    if (!sequence.isEmpty())
        QCOMPARE(ran, sequence);
    QTEST(integers(moveSpy), "moves");
    QFETCH(QStringList, info);
    QStringList received;
    for (const QList<QVariant> &arguments : messages)
        received << arguments.at(0).toString();
    for (const QString &text : info)
        QVERIFY2(received.contains(text), qPrintable(received.join(QLatin1Char('|'))));
    QVERIFY(!received.contains(QStringLiteral("never")));
    QTEST(errors.isEmpty() ? -1 : errors.last().at(0).toInt(), "errorLine");
}

void tst_ScriptSessions::debugSession()
{
    writeScript("count = 1\nlocal function twice(x)\n  return 2 * x\nend\ncount = twice(count)\nprint(count)\n"
                "count = count + 1\n");
    QSignalSpy lines(robot.data(), &QRobot::scriptLineChanged);
    QSignalSpy info(robot.data(), &QRobot::mobDebugInfo);
    robot->start(QStringLiteral("demo"));
    QTRY_COMPARE_WITH_TIMEOUT(robot->debugger()->debugState(), QRobotType::DebugConnected, 10000);
    QCOMPARE(integers(lines), QList<int>{1}); // paused at its first line

    robot->setb(QStringLiteral("src0.lua"), 6);
    robot->run();
    QCOMPARE(integers(lines), (QList<int>{1, 4, 5, 3, 6}));
    QCOMPARE(simState(), QStringLiteral("pause"));
    QCOMPARE(robot->getGlobalVal(QStringLiteral("count")), QStringLiteral(" 2"));
    QCOMPARE(robot->changeGlobalVal(QStringLiteral("count"), QStringLiteral("41")), QStringLiteral("Comm: exec done\r\n"));

    robot->step();
    QCOMPARE(lines.last().at(0).toInt(), 7);
    QVERIFY(info.contains(QList<QVariant>{QStringLiteral("41")})); // printed by line 6
    QCOMPARE(robot->getStack().value(QStringLiteral("count")), QStringLiteral("41"));

    robot->stop();
    QCOMPARE(robot->debugger()->debugState(), QRobotType::ScriptStopped);
    QTRY_COMPARE(simState(), QStringLiteral("stop"));
    QVERIFY(!lines.contains(QList<QVariant>{8}));
}

bool tst_ScriptSessions::startSession()
{
    robot->start(QStringLiteral("demo"));
    QElapsedTimer clock;
    clock.start();
    while (robot->debugger()->debugState() == QRobotType::DebugStarting && clock.elapsed() < 10000)
        QTest::qWait(10);
    return robot->debugger()->debugState() == QRobotType::DebugConnected;
}

void tst_ScriptSessions::stepsPausesAndBreakpoints()
{
    writeScript("local function twice(x)\n  return 2 * x\nend\nlocal n = 0\nn = twice(n + 1)\n"
                "while true do\n  n = n + 1\n  Wait(20)\nend\n");
    QSignalSpy lines(robot.data(), &QRobot::scriptLineChanged);
    QSignalSpy pauses(robot->debugger(), &QRobotDebugger::runningLineChanged);
    QVERIFY(startSession());
    const auto pausedAt = [&]() { return pauses.isEmpty() ? 0 : pauses.last().at(1).toInt(); };

    robot->setb(QStringLiteral("src0.lua"), 5);
    robot->run();
    QTRY_COMPARE(pausedAt(), 5);
    QCOMPARE(simState(), QStringLiteral("pause"));
    lines.clear();
    robot->over(); // over the call: line 2 runs, the pause is after it
    QCOMPARE(pausedAt(), 7);
    QCOMPARE(integers(lines), (QList<int>{2, 7}));

    robot->setb(QStringLiteral("src0.lua"), 7);
    robot->run();
    QTRY_COMPARE(pausedAt(), 7);
    robot->delb(QStringLiteral("src0.lua"), 7);
    robot->setb(QStringLiteral("src0.lua"), 8);
    robot->delallb();
    const int pausesBefore = pauses.count();
    robot->run();
    QTest::qWait(300); // no breakpoint left: it runs on
    QCOMPARE(pauses.count(), pausesBefore);
    QCOMPARE(simState(), QStringLiteral("run"));

    robot->pause();
    QTRY_COMPARE(pauses.count(), pausesBefore + 1);
    QCOMPARE(simState(), QStringLiteral("pause"));
    QCOMPARE(robot->debugger()->debugState(), QRobotType::ScriptPaused);
    QVERIFY(robot->getGlobalVal(QStringLiteral("n")).toInt() > 3);
    robot->stop();
    QTRY_COMPARE(simState(), QStringLiteral("stop"));
}

void tst_ScriptSessions::twoControllersAtOnce()
{
    // One program, two facades, two controllers: each facade sees its own
    // script's lines and prints, and each stop reaches its own controller.
    QTemporaryDir secondFolder;
    SimProcess second;
    QVERIFY2(second.start(secondFolder.path(), QLatin1String(SecondAddress)), qPrintable(second.reason()));
    writeScript("for i = 1, 5 do\n  print('a' .. i)\n  Wait(20)\nend\n");
    writeScript("\n\nwhile true do\n  print('b')\n  Wait(30)\nend\n", second);
    QRobot other;
    other.initialize();
    other.setHostIP(QLatin1String(SecondAddress));
    QSignalSpy lines(robot.data(), &QRobot::scriptLineChanged);
    QSignalSpy prints(robot->debugger(), &QRobotDebugger::scriptPrinted);
    QSignalSpy otherLines(&other, &QRobot::scriptLineChanged);
    QSignalSpy otherPrints(other.debugger(), &QRobotDebugger::scriptPrinted);

    other.straightRun(QStringLiteral("demo"));
    robot->straightRun(QStringLiteral("demo"));
    QTRY_COMPARE_WITH_TIMEOUT(robot->debugger()->debugState(), QRobotType::ScriptStopped, 10000);
    QCOMPARE(other.debugger()->debugState(), QRobotType::ScriptRunning);
    QCOMPARE(stateOf(second), QStringLiteral("run"));
    QStringList printed;
    for (const QList<QVariant> &arguments : prints)
        printed << arguments.at(0).toString();
    QCOMPARE(printed, (QStringList{ "a1", "a2", "a3", "a4", "a5" }));
    for (int line : integers(lines))
        QVERIFY(line >= 1 && line <= 4);
    QVERIFY(!otherPrints.isEmpty() && !otherLines.isEmpty());
    for (const QList<QVariant> &arguments : otherPrints)
        QCOMPARE(arguments.at(0).toString(), QStringLiteral("b"));
    for (int line : integers(otherLines))
        QVERIFY(line >= 3 && line <= 6);

    other.stop();
    QCOMPARE(other.debugger()->debugState(), QRobotType::ScriptStopped);
    QTRY_COMPARE(stateOf(second), QStringLiteral("stop"));
}

QTEST_GUILESS_MAIN(tst_ScriptSessions)
#include "tst_scriptsessions.moc"
