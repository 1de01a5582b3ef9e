// The script debugger against the controller double and a stand-in for the
// Lua interpreter: the notifications per port, the state query, the debug
// server's answers, its time-outs and crash, and the facade's debugger.
#include "fixture.h"
#include "Varlo/qhttpmanager.h"
#include "logcapture.h"
#include "debugger/debuggertexts.h"
#include "debugger/luainterpreter.h"
#include "Varlo/qrobotdebugger.h"
#include "Varlo/qrobot.h"
#include "transport/timings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QMetaMethod>
#include <QtNetwork/QUdpSocket>
#include <QtTest/QSignalSpy>

#include <csignal>
#include <functional>

using Hash = QHash<QString, QString>;
using VarloTest::LogCapture;

namespace {

const char Controller[] = "127.0.0.80";
const char Stranger[] = "127.0.0.81";

// Stands in for lua running the debug server: greets as the server does,
// "connects" at once and answers each command as FAKE_LUA says.
const char FakeInterpreter[] = R"(#!/bin/sh
echo "args: $* controller: $VARLO_DEBUG_CONTROLLER pid: $$"
echo "Waitting client..."
sleep 0.01
printf 'Paused at file src0.lua line 1\n> '
[ "$FAKE_LUA" = crash ] && exit 3
while IFS= read -r line; do
  line=$(printf '%s' "$line" | tr -d '\r')
  case "$FAKE_LUA:$line" in
    mute:*) ;;
    late:run) (sleep 0.5; printf 'Paused at file src0.lua line 5\n> ') & ;;
    *:step) printf 'Paused at file /varlo/bin/lua/varlo.lua line 4\n> ' ;;
    *:eval*) printf 'Comm: eval 42\r\n> ' ;;
    *) printf 'Comm: %s\r\n> ' "$line" ;;
  esac
done
)";

QStringList texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

QList<int> states(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &arguments : spy)
        list << int(arguments.at(0).value<QRobotType::DebugState>());
    return list;
}

void sendDatagram(const char *from, quint16 port, const QString &text)
{
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QLatin1String(from))));
    QCOMPARE(sender.writeDatagram(text.toLatin1(), QHostAddress::LocalHost, port), qint64(text.size()));
}

} // namespace

class tst_QRobotDebugger : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void datagrams_data();
    void datagrams();
    void stateQuery_data();
    void stateQuery();
    void stackText_data();
    void stackText();
    void serverAnswers_data();
    void serverAnswers();
    void answerTimeouts_data();
    void answerTimeouts();
    void stepIntoSystemScriptEndsSession();
    void lateOutputIsNotTheNextAnswer();
    void crashedInterpreter();
    void missingInterpreter();
    void facadeCreatesOneDebuggerOnDemand();
    void facadeSignalOrder();

private:
    bool startSession(const char *mode);

    QTemporaryDir folder;
    QString fake;
    VarloTest::Fixture fixture{Controller};
    VarloTest::FakeController *ctl = &fixture.ctl;
    QHttpManager *http = nullptr;
    QRobotDebugger *component = nullptr;
};

void tst_QRobotDebugger::initTestCase()
{
    START_OR_SKIP(fixture, fixture.start());
    fake = folder.path() + QStringLiteral("/lua");
    QFile file(fake);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(FakeInterpreter);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    LuaInterpreter::setProgramForTesting(fake);
    using namespace VarloTimings;
    for (auto shorter : { qMakePair(DispatchTick, 5), qMakePair(DebugSettle, 20), qMakePair(DebugRunSettle, 50),
                          qMakePair(DebugReply, 300), qMakePair(DebugReplyPoll, 10), qMakePair(DebugSuspendConfirm, 300),
                          qMakePair(DebugStepConfirm, 300) })
        setForTesting(shorter.first, shorter.second);
}

void tst_QRobotDebugger::init()
{
    fixture.reset();
    http = new QHttpManager(nullptr);
    http->setHost(QLatin1String(Controller));
    component = new QRobotDebugger(http, nullptr);
    ctl->on(QStringLiteral("GET"), QStringLiteral("/debugger/stepIn"), QJsonObject{ { QStringLiteral("status"), true } });
    QVERIFY(component->isActive());
}

void tst_QRobotDebugger::cleanup()
{
    delete component;
    component = nullptr;
    delete http;
    http = nullptr;
}

bool tst_QRobotDebugger::startSession(const char *mode)
{
    qputenv("FAKE_LUA", mode);
    component->start(QStringLiteral("demo"));
    QElapsedTimer clock;
    clock.start();
    while (component->debugState() != QRobotType::DebugConnected && clock.elapsed() < 5000)
        QTest::qWait(10);
    return component->debugState() == QRobotType::DebugConnected
        && ctl->last(QStringLiteral("POST"), QStringLiteral("/debugger/start")).json()
               == QJsonObject{ { QStringLiteral("project"), QStringLiteral("demo") } };
}

void tst_QRobotDebugger::datagrams_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fromController");
    QTest::addColumn<bool>("straight");
    QTest::addColumn<QString>("emitted"); // the line signal: "line N", "move N", "error N"
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<int>("state"); // the state notified, -1 none

    const QString error = QStringLiteral("ERROR:src0.lua:12: attempt to call a nil value");
    const QString refused = QStringLiteral("debugger: connection refused, running straight");
    const QString finished = QStringLiteral("run script finished!");
    const bool C = true, S = true; // from the controller; a straight run
    auto row = [](const char *name, int port, const QString &text, bool controller, bool straight,
                  const char *emitted, const QStringList &info, int state) {
        QTest::newRow(name) << port << text << controller << straight << QString(emitted) << info << state;
    };
    row("line", 5001, "src0.lua:37", C, S, "line 37", {}, -1);
    row("motion line", 5002, "src0.lua:37", C, S, "move 37", {}, -1);
    row("line, not a number", 5001, "src0.lua:x", C, S, "line 0", {}, -1);
    row("line of another file", 5001, "main.lua:5", C, S, "", {}, -1);
    row("line from a stranger", 5001, "src0.lua:37", !C, S, "", {}, -1);
    row("error", 5000, error, C, S, "error 12", { error }, 5);
    row("error on 5003", 5003, error, C, S, "error 12", { error }, 5);
    row("error from a stranger", 5000, error, !C, S, "", {}, -1);
    row("finished on 5003", 5003, finished, C, S, "", { finished }, 5);
    row("finished on 5000", 5000, finished, C, S, "", { finished }, -1);
    row("refused, straight, 5000", 5000, refused, C, S, "", { ", running straight" }, -1);
    row("refused, straight, 5003", 5003, refused, C, S, "", {}, -1);
    row("refused while debugging", 5000, refused, C, !S, "", { refused }, -1);
    row("printed text", 5000, "hello", C, S, "", { "hello" }, -1);
    row("script pauses itself", 5000, "command:pause", C, S, "", { "command:pause" }, 3);
}

void tst_QRobotDebugger::datagrams()
{
    QFETCH(int, port);
    QFETCH(QString, text);
    QFETCH(bool, fromController);
    QFETCH(bool, straight);
    if (straight) {
        component->straightRun(QStringLiteral("demo"));
    } else {
        // A debug session whose interpreter is missing: not straight, not stopped.
        LuaInterpreter::setProgramForTesting(folder.path() + QStringLiteral("/missing"));
        component->start(QStringLiteral("demo"));
        LuaInterpreter::setProgramForTesting(fake);
    }
    QSignalSpy lines(component, &QRobotDebugger::scriptLineChanged);
    QSignalSpy moves(component, &QRobotDebugger::moveLineChanged);
    QSignalSpy errors(component, &QRobotDebugger::errorLine);
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    QSignalSpy state(component, &QRobotDebugger::debugStateChanged);

    sendDatagram(fromController ? Controller : Stranger, quint16(port), text);
    QTest::qWait(100);

    const auto first = [](const QSignalSpy &spy, const char *name) {
        return spy.isEmpty() ? QString() : QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(spy.at(0).at(0).toInt());
    };
    const QString emitted = first(lines, "line") + first(moves, "move") + first(errors, "error");
    QTEST(emitted, "emitted");
    QTEST(texts(info), "info");
    QTEST(states(state).value(0, -1), "state");
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stop")), emitted.startsWith("error") ? 1 : 0);
}

void tst_QRobotDebugger::stateQuery_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("project");

    QTest::newRow("running demo") << QJsonObject{ { "value", "running" }, { "prjname", "demo" } } << 5 << 2 << "demo";
    QTest::newRow("run") << QJsonObject{ { "value", "run" } } << 5 << 2 << "";
    QTest::newRow("pause") << QJsonObject{ { "value", "pause" } } << 2 << 3 << "";
    QTest::newRow("suspend") << QJsonObject{ { "value", "suspend" } } << 2 << 3 << "";
    QTest::newRow("stopped") << QJsonObject{ { "value", "stopped" } } << 2 << 5 << "";
    QTest::newRow("no value") << QJsonObject() << 2 << 5 << "";
    QTest::newRow("unknown word keeps it") << QJsonObject{ { "value", "paused" } } << 2 << 2 << "";
}

void tst_QRobotDebugger::stateQuery()
{
    QFETCH(QJsonObject, reply);
    QFETCH(int, before);
    ctl->on(QStringLiteral("GET"), QStringLiteral("/debugger/state"), reply);
    QRobotType::ScriptState scriptState;
    scriptState.state = QRobotType::DebugState(before);
    QVERIFY(component->state(scriptState));
    QTEST(int(scriptState.state), "state");
    QTEST(int(component->debugState()), "state");
    QTEST(scriptState.projectName, "project");
}

void tst_QRobotDebugger::stackText_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Hash>("variables");

    QTest::newRow("values") << R"(Comm: stack {count = {"42"}, name = {"'demo'"}})"
                            << Hash{ { "count", "42" }, { "name", "'demo'" } };
    QTest::newRow("table") << R"(Comm: stack {home = {{0, 90, 0}, "table: 0x55"}, n = {"1"}})"
                           << Hash{ { "home", " {0, 90, 0}" }, { "n", "1" } };
    QTest::newRow("empty braces dropped") << R"(Comm: stack {e = {"{}"}})" << Hash{ { "e", "" } };
    QTest::newRow("a name twice: the later") << R"(Comm: stack {x = {"1"}, x = {"2"}})" << Hash{ { "x", "2" } };
    QTest::newRow("no variables") << "Comm: stack {}" << Hash();
}

void tst_QRobotDebugger::stackText()
{
    QFETCH(QString, answer);
    QTEST(DebuggerTexts::stack(answer), "variables");
}

void tst_QRobotDebugger::serverAnswers_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("answer"); // returned, or else part of what the server printed
    QTest::addColumn<QString>("post");   // the request to the controller, if any

    QTest::newRow("eval") << "getGlobalVal" << " 42" << "";
    QTest::newRow("exec") << "changeGlobalVal" << "Comm: exec count = 7\r\n" << "";
    QTest::newRow("setb") << "setBreakpoint" << "Comm: setb main.lua 12\r\n" << "/debugger/setb";
}

void tst_QRobotDebugger::serverAnswers()
{
    QFETCH(QString, slot);
    QFETCH(QString, answer);
    QFETCH(QString, post);
    QVERIFY(startSession("answers"));
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    const QString file = QStringLiteral("main.lua");
    const QHash<QString, std::function<QString()>> calls{
        { "getGlobalVal", [&]() { return component->getGlobalVal(QStringLiteral("count")); } },
        { "changeGlobalVal", [&]() { return component->changeGlobalVal(QStringLiteral("count"), QStringLiteral("7")); } },
        { "setBreakpoint", [&]() { component->setBreakpoint(file, 12); return answer; } },
    };
    QCOMPARE(calls.value(slot)(), answer);
    QVERIFY2(texts(info).join(QString()).contains(answer), qPrintable(texts(info).join(QLatin1Char('|'))));
    if (!post.isEmpty())
        QCOMPARE(ctl->count(QStringLiteral("POST"), post), 1);
    if (slot == QLatin1String("setBreakpoint"))
        QCOMPARE(ctl->last(QStringLiteral("POST"), post).json(),
                 (QJsonObject{ { "path", "main.lua" }, { "line", 12 } }));
}

void tst_QRobotDebugger::answerTimeouts_data()
{
    QTest::addColumn<bool>("suspension");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<int>("limit");

    QTest::newRow("suspend") << true << "wait suspend timeout!!!" << 200;
    QTest::newRow("eval") << false << "wait return timeout!!!" << 300;
}

void tst_QRobotDebugger::answerTimeouts()
{
    QFETCH(bool, suspension);
    QFETCH(int, limit);
    QVERIFY(startSession("mute"));
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    if (suspension)
        component->suspendForAPI(false);
    else
        QCOMPARE(component->getGlobalVal(QStringLiteral("count")), QString());
    QVERIFY(clock.elapsed() >= limit);
    QVERIFY(clock.elapsed() < limit + 2000);
    QFETCH(QString, logLine);
    QVERIFY(log.contains(logLine));
}

void tst_QRobotDebugger::stepIntoSystemScriptEndsSession()
{
    QVERIFY(startSession("answers"));
    QSignalSpy steps(component, &QRobotDebugger::stepInChanged);
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    component->stepIn();
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stepIn")), 1);
    QVERIFY(texts(info).contains(QStringLiteral("*Server(Finish)*\nstep script finished!\n")));
    QCOMPARE(steps.last(), (QList<QVariant>{ false, false, false }));
    QCOMPARE(component->debugState(), QRobotType::ScriptStopped);
}

void tst_QRobotDebugger::lateOutputIsNotTheNextAnswer()
{
    // The script runs longer than the server's answer may take; its pause is
    // printed later, while the host waits for nothing.
    QVERIFY(startSession("late"));
    component->runScript();
    QTest::qWait(500);
    QCOMPARE(component->getGlobalVal(QStringLiteral("count")), QStringLiteral(" 42"));
}

void tst_QRobotDebugger::crashedInterpreter()
{
    QVERIFY(startSession("crash"));
    QTest::qWait(300);
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    QCOMPARE(component->getGlobalVal(QStringLiteral("count")), QString());
    QCOMPARE(texts(info), QStringList{ QStringLiteral("**MainProcess**\nMoDebug Process Crashed!") });
    QCOMPARE(component->debugState(), QRobotType::ScriptStopped);
}

void tst_QRobotDebugger::missingInterpreter()
{
    LuaInterpreter::setProgramForTesting(folder.path() + QStringLiteral("/missing"));
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    component->start(QStringLiteral("demo"));
    LuaInterpreter::setProgramForTesting(fake);
    QCOMPARE(texts(info), QStringList{ QStringLiteral("MobDebug Start Error: FailedToStart") });
    QCOMPARE(component->debugState(), QRobotType::DebugStarting);
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 0);
}

void tst_QRobotDebugger::facadeCreatesOneDebuggerOnDemand()
{
    delete component; // frees the ports
    component = nullptr;
    QScopedPointer<QRobot> robot(new QRobot);
    robot->initialize();
    robot->setHostIP(QLatin1String(Controller));
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress::Any, QRobotDebugger::MessagePort)); // no debugger yet
    probe.close();

    QSignalSpy info(robot.data(), &QRobot::mobDebugInfo);
    qputenv("FAKE_LUA", "answers");
    robot->start(QStringLiteral("demo")); // creates the debugger
    QVERIFY(!probe.bind(QHostAddress::Any, QRobotDebugger::MessagePort));
    QRobotDebugger second(http, nullptr);
    QVERIFY(!second.isActive());
    QTRY_COMPARE(robot->debugger()->debugState(), QRobotType::DebugConnected);
    QVERIFY(texts(info).value(0).startsWith(QStringLiteral("args: -e require('mobdebug').listen() controller: 127.0.0.80")));

    QSignalSpy lines(robot.data(), &QRobot::scriptLineChanged);
    sendDatagram(Controller, QRobotDebugger::ScriptLinePort, QStringLiteral("src0.lua:7"));
    QTRY_COMPARE(lines.count(), 1);

    // The interpreter goes with the facade.
    const qint64 pid = texts(info).value(0).section(QStringLiteral("pid: "), 1).section(QLatin1Char('\n'), 0, 0).toLongLong();
    QVERIFY(pid > 0 && ::kill(pid_t(pid), 0) == 0);
    robot.reset();
    QVERIFY(::kill(pid_t(pid), 0) != 0);
}

void tst_QRobotDebugger::facadeSignalOrder()
{
    QStringList names;
    const QMetaObject &meta = QRobot::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        names << (meta.method(i).methodType() == QMetaMethod::Signal ? meta.method(i).name() : QByteArray());
    names.removeAll(QString());
    // The 48 of the controller's facade, then the library's own additions.
    QCOMPARE(names.size(), 49);
    QCOMPARE(names.indexOf(QStringLiteral("switchJogButtons")), 29);
    QCOMPARE(names.mid(47), (QStringList{ "printQRobot", "stateStaleChanged" }));
    QCOMPARE(names.mid(30, 11), (QStringList{ "runningLineChanged", "errorLine", "scriptLineChanged", "moveLineChanged",
                                              "errorMsg", "debugStateChanged", "debugStateEnabled", "stopStateEnabled",
                                              "stepInChanged", "mobDebugInfo", "dragModeChanged" }));
}

QTEST_GUILESS_MAIN(tst_QRobotDebugger)
#include "tst_qrobotdebugger.moc"
