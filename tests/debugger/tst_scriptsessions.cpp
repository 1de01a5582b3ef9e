// Scripts run and debugged end to end: the facade against VarloSim, which runs
// the script in its embedded Lua, with the real lua5.4 running the debug server.
#include "../integration/simprocess.h"
#include "Varlo/qrobotdebugger.h"
#include "Varlo/qrobot.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

namespace {

const char Address[] = "127.0.0.82";

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

private:
    void writeScript(const QByteArray &text);
    QString simState() const { return sim.get(QStringLiteral("/debugger/state")).value("value").toString(); }

    QTemporaryDir folder;
    SimProcess sim;
    QScopedPointer<QRobot> robot;
};

void tst_ScriptSessions::initTestCase()
{
    QVERIFY2(sim.start(folder.path(), QLatin1String(Address)), qPrintable(sim.reason()));
    QVERIFY(sim.api("POST", "/settings/controlMode", {{"controlMode", "enable"}}).json().value("result").toBool());
}

void tst_ScriptSessions::init()
{
    robot.reset(new QRobot);
    robot->initialize();
    robot->setHostIP(QLatin1String(Address));
}

void tst_ScriptSessions::writeScript(const QByteArray &text)
{
    const QString project = sim.projectFolder() + QStringLiteral("/project/demo");
    QVERIFY(QDir().mkpath(project));
    QFile file(project + QStringLiteral("/src0.lua"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void tst_ScriptSessions::straightRuns_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("action");      // what the host does while it runs
    QTest::addColumn<QList<int>>("lines");    // the lines run, when they can be listed
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<QStringList>("info");    // among the messages
    QTest::addColumn<int>("errorLine");

    const QString finished = QStringLiteral("run script finished!");
    QTest::newRow("to the end") << QByteArray("print('begin')\nSetDO(1, true)\nJointMovJ({0, 0, 0, 0, 90, 0})\nprint('end')\n")
                                << "" << QList<int>{1, 2, 3, 4} << QList<int>{3}
                                << QStringList{"begin", "end", finished} << -1;
    QTest::newRow("pause and continue") << QByteArray("print('a')\npause()\nprint('b')\n") << "continue"
                                        << QList<int>{1, 2, 3} << QList<int>() << QStringList{"command:pause", "b", finished}
                                        << -1;
    QTest::newRow("an error stops it") << QByteArray("print('a')\nerror('boom')\nprint('never')\n") << ""
                                       << QList<int>{1, 2} << QList<int>() << QStringList{"ERROR:src0.lua:2: boom"} << 2;
    QTest::newRow("an endless loop stops") << QByteArray("while true do end\n") << "stop" << QList<int>() << QList<int>()
                                           << QStringList() << -1;
    QTest::newRow("memory is limited") << QByteArray("local t = {}\nwhile true do t[#t + 1] = ('x'):rep(1e6) .. #t end\n")
                                       << "" << QList<int>() << QList<int>()
                                       << QStringList{"ERROR:src0.lua:2: not enough memory"} << 2;
    QTest::newRow("no files") << QByteArray("local f = io.open('/etc/passwd')\n") << "" << QList<int>{1} << QList<int>()
                              << QStringList() << 1;
}

void tst_ScriptSessions::straightRuns()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, action);
    writeScript(script);
    QSignalSpy lineSpy(robot.data(), &QRobot::scriptLineChanged);
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

    QFETCH(QList<int>, lines);
    if (!lines.isEmpty())
        QCOMPARE(integers(lineSpy), lines);
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

QTEST_GUILESS_MAIN(tst_ScriptSessions)
#include "tst_scriptsessions.moc"
