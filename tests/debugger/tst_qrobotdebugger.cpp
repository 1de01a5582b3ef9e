// The script debugger against the controller double and a stand-in for the
// Lua interpreter: the notifications per port and per controller, the state
// query, the debug server's answers, its time-outs and crash, refusals, taken
// ports, and the facade's debugger.
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
#include <QtNetwork/QTcpServer>
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
[ "$FAKE_LUA" = busy ] && { echo "Cannot listen on port 8172: address already in use"; exit 1; }
echo "Waitting client..."
[ "$FAKE_LUA" = waiting ] && exec cat >/dev/null
sleep 0.01
printf 'Paused at file src0.lua line 1\n> '
[ "$FAKE_LUA" = crash ] && exit 3
while IFS= read -r line; do
  line=$(printf '%s' "$line" | tr -d '\r')
  case "$FAKE_LUA:$line" in
    mute:*) ;;
    late:run) (sleep 0.5; printf 'Paused at file src0.lua line 5\n> ') & ;;
    *:step) printf 'Paused at file src0.lua line 2\n> ' ;;
    *:over) printf 'Paused at file /varlo/bin/lua/varlo.lua line 4\n> ' ;;
    *:eval*) printf 'Comm: eval %s' "${FAKE_VALUE-'a>b'}"
             [ -n "$FAKE_REST" ] && { sleep 0.1; printf '%s' "$FAKE_REST"; }
             printf '\r\n> ' ;;
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

void sendDatagram(const char *from, quint16 port, const QByteArray &bytes)
{
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QLatin1String(from))));
    QCOMPARE(sender.writeDatagram(bytes, QHostAddress::LocalHost, port), qint64(bytes.size()));
}

void sendDatagram(const char *from, quint16 port, const QString &text)
{
    sendDatagram(from, port, text.toLatin1());
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
    void datagramsByController_data();
    void datagramsByController();
    void nonAsciiTexts_data();
    void nonAsciiTexts();
    void stateQuery_data();
    void stateQuery();
    void stackText_data();
    void stackText();
    void serverAnswers_data();
    void serverAnswers();
    void answerTimeouts_data();
    void answerTimeouts();
    void refusals_data();
    void refusals();
    void stepPastTheEndThenASecondSession();
    void pauseReachedWhileRunning();
    void crashedInterpreter();
    void missingInterpreter();
    void secondSessionOfTheProgramRefused();
    void portsTakenByAnotherProgram();
    void interruptedStep();
    void facadeCreatesItsDebuggerOnDemand();
    void facadeSignalOrder();

private:
    bool startSession(const char *mode, QRobotDebugger *debugger = nullptr);

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
    ctl->on(QStringLiteral("POST"), QStringLiteral("/debugger/*"), QJsonObject{ { QStringLiteral("result"), true } });
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

bool tst_QRobotDebugger::startSession(const char *mode, QRobotDebugger *debugger)
{
    debugger = debugger ? debugger : component;
    qputenv("FAKE_LUA", mode);
    debugger->start(QStringLiteral("demo"));
    QElapsedTimer clock;
    clock.start();
    while (debugger->debugState() != QRobotType::DebugConnected && clock.elapsed() < 5000)
        QTest::qWait(10);
    return debugger->debugState() == QRobotType::DebugConnected
        && ctl->last(QStringLiteral("POST"), QStringLiteral("/debugger/start")).json()
               == QJsonObject{ { QStringLiteral("project"), QStringLiteral("demo") } };
}

void tst_QRobotDebugger::datagrams_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fromController");
    QTest::addColumn<bool>("straight");
    QTest::addColumn<QString>("emitted"); // "line N", "move N", "error N", "print TEXT", "finished"
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<int>("state"); // the state notified, -1 none
    QTest::addColumn<int>("stops"); // POST /debugger/stop

    const QString error = QStringLiteral("ERROR:src0.lua:12: attempt to call a nil value");
    const QString refused = QStringLiteral("debugger: connection refused, running straight");
    const QString finished = QStringLiteral("run script finished!");
    const bool C = true, S = true; // from the controller; a straight run
    auto row = [](const char *name, int port, const QString &text, bool controller, bool straight,
                  const QString &emitted, const QStringList &info, int state, int stops) {
        QTest::newRow(name) << port << text << controller << straight << emitted << info << state << stops;
    };
    row("line", 5001, "src0.lua:37", C, S, "line 37", {}, -1, 0);
    row("motion line", 5002, "src0.lua:37", C, S, "move 37", {}, -1, 0);
    row("line, not a number", 5001, "src0.lua:x", C, S, "line 0", {}, -1, 0);
    row("line of another file", 5001, "main.lua:5", C, S, "", {}, -1, 0);
    row("line from a stranger", 5001, "src0.lua:37", !C, S, "", {}, -1, 0);
    row("error", 5000, error, C, S, "error 12", { error }, 5, 1);
    row("error on 5003", 5003, error, C, S, "error 12", { error }, 5, 1);
    row("error from a stranger", 5000, error, !C, S, "", {}, -1, 0);
    row("finished on 5003", 5003, finished, C, S, "finished", { finished }, 5, 0);
    row("finished on 5000", 5000, finished, C, S, "", { finished }, -1, 0);
    row("refused, straight, 5000", 5000, refused, C, S, "", { ", running straight" }, -1, 0);
    row("refused, straight, 5003", 5003, refused, C, S, "", {}, -1, 0);
    // The script could not reach the debug server: it would wait for a run.
    row("refused while debugging", 5000, refused, C, !S, "", { refused }, 5, 1);
    row("printed text", 5000, "a <b> > c", C, S, "print a <b> > c", { "a <b> > c" }, -1, 0);
    row("script pauses itself", 5000, "command:pause", C, S, "", { "command:pause" }, 3, 0);
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
        qputenv("FAKE_LUA", "waiting"); // a debug session waiting for its debuggee
        component->start(QStringLiteral("demo"));
        QTRY_COMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 1);
    }
    QCOMPARE(component->debugState(), straight ? QRobotType::ScriptRunning : QRobotType::DebugStarting);
    QSignalSpy lines(component, &QRobotDebugger::scriptLineChanged);
    QSignalSpy moves(component, &QRobotDebugger::moveLineChanged);
    QSignalSpy errors(component, &QRobotDebugger::errorLine);
    QSignalSpy prints(component, &QRobotDebugger::scriptPrinted);
    QSignalSpy ends(component, &QRobotDebugger::scriptFinished);
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    QSignalSpy state(component, &QRobotDebugger::debugStateChanged);

    sendDatagram(fromController ? Controller : Stranger, quint16(port), text);
    QTest::qWait(100);

    const auto first = [](const QSignalSpy &spy, const char *name) {
        return spy.isEmpty() ? QString()
                             : QStringLiteral("%1 %2").arg(QLatin1String(name), spy.at(0).value(0).toString()).trimmed();
    };
    const QString emitted = first(lines, "line") + first(moves, "move") + first(errors, "error")
                          + first(prints, "print") + first(ends, "finished");
    QTEST(emitted, "emitted");
    QTEST(texts(info).filter(QRegularExpression(QStringLiteral("^(?!\\*)"))), "info");
    QTEST(states(state).value(0, -1), "state");
    QTEST(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stop")), "stops");
}

void tst_QRobotDebugger::datagramsByController_data()
{
    // Two debuggers of one program, each its facade's controller.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("receivers");

    QTest::newRow("the second's controller") << "127.0.0.80" << "127.0.0.81" << "127.0.0.81" << "second";
    QTest::newRow("the first's controller") << "127.0.0.80" << "127.0.0.81" << "127.0.0.80" << "first";
    QTest::newRow("a stranger") << "127.0.0.80" << "127.0.0.81" << "127.0.0.88" << "";
    QTest::newRow("one controller, two facades") << "127.0.0.80" << "127.0.0.80" << "127.0.0.80" << "first second";
    QTest::newRow("a host name") << "localhost" << "127.0.0.81" << "127.0.0.1" << "first";
}

void tst_QRobotDebugger::datagramsByController()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, sender);
    http->setHost(first);
    QHttpManager otherTransport(nullptr);
    otherTransport.setHost(second);
    QRobotDebugger other(&otherTransport, nullptr);
    QVERIFY(other.isActive());
    QSignalSpy firstLines(component, &QRobotDebugger::scriptLineChanged);
    QSignalSpy secondLines(&other, &QRobotDebugger::scriptLineChanged);

    sendDatagram(qPrintable(sender), QRobotDebugger::ScriptLinePort, QStringLiteral("src0.lua:7"));
    QTest::qWait(100);
    QStringList receivers;
    if (firstLines.count() == 1)
        receivers << QStringLiteral("first");
    if (secondLines.count() == 1)
        receivers << QStringLiteral("second");
    QTEST(receivers.join(QLatin1Char(' ')), "receivers");
}

void tst_QRobotDebugger::nonAsciiTexts_data()
{
    // What the script printed (a datagram) and a variable's value (the debug
    // server's answer, `rest` after a pause, in a second read).
    QTest::addColumn<bool>("print");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<QString>("text");

    const bool P = true;
    QTest::newRow("print, UTF-8") << P << QByteArray("caf\xc3\xa9 \xe2\x86\x92 ok") << QByteArray() << u8"café → ok";
    QTest::newRow("print, Latin-1") << P << QByteArray("caf\xe9") << QByteArray() << u8"café";
    QTest::newRow("print, UTF-8 and an invalid byte") << P << QByteArray("\xc3\xa9 \xff") << QByteArray()
                                                      << u8"Ã© ÿ";
    QTest::newRow("print, an overlong form") << P << QByteArray("\xc0\xaf") << QByteArray() << u8"À¯";
    QTest::newRow("value, UTF-8") << !P << QByteArray("'caf\xc3\xa9'") << QByteArray() << u8" 'café'";
    QTest::newRow("value, a character in two reads") << !P << QByteArray("'\xe2\x86") << QByteArray("\x92'")
                                                     << u8" '→'";
    QTest::newRow("value, Latin-1 in two reads") << !P << QByteArray("'caf\xe9") << QByteArray("'")
                                                 << u8" 'café'";
}

void tst_QRobotDebugger::nonAsciiTexts()
{
    QFETCH(bool, print);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, rest);
    QString text;
    if (print) {
        QSignalSpy prints(component, &QRobotDebugger::scriptPrinted);
        sendDatagram(Controller, QRobotDebugger::MessagePort, bytes);
        QTRY_COMPARE(prints.count(), 1);
        text = prints.at(0).at(0).toString();
    } else {
        qputenv("FAKE_VALUE", bytes);
        qputenv("FAKE_REST", rest);
        const bool started = startSession("answers");
        qunsetenv("FAKE_VALUE");
        qunsetenv("FAKE_REST");
        QVERIFY(started);
        text = component->getGlobalVal(QStringLiteral("name"));
    }
    QTEST(text, "text");
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
    QTest::newRow("a name twice: the later") << R"(Comm: stack {x = {"1"}, x = {"2"}})" << Hash{ { "x", "2" } };
    QTest::newRow("no variables") << "Comm: stack {}" << Hash();
    // Values as the controller writes them, whatever they hold.
    QTest::newRow("empty and nested tables")
        << R"(Comm: stack {e = {{}, "table: 0x1"}, t = {{{{1}}, {}, 'a}, b'}, "table: 0x2"}, z = {"0"}})"
        << Hash{ { "e", " {}" }, { "t", " {{{1}}, {}, 'a}, b'}" }, { "z", "0" } };
    QTest::newRow("strings kept exactly")
        << R"(Comm: stack {s = {"'a>b <tag>  c'"}, q = {"'say "hi"}, \'x\''"}, w = {"' {} '"}})"
        << Hash{ { "s", "'a>b <tag>  c'" }, { "q", R"('say "hi"}, \'x\'')" }, { "w", "' {} '" } };
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

    QTest::newRow("eval, a value holding '>'") << "getGlobalVal" << " 'a>b'" << "";
    QTest::newRow("exec") << "changeGlobalVal" << "Comm: exec count = 7\r\n" << "";
    QTest::newRow("setb") << "setBreakpoint" << "Comm: setb main.lua 12\r\n" << "/debugger/setb";
    QTest::newRow("delb") << "removeBreakpoint" << "Comm: delb main.lua 12\r\n" << "/debugger/delb";
    QTest::newRow("delallb") << "removeAllBreakpoints" << "Comm: delallb\r\n" << "/debugger/delallb";
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
        { "removeBreakpoint", [&]() { component->removeBreakpoint(file, 12); return answer; } },
        { "removeAllBreakpoints", [&]() { component->removeAllBreakpoints(); return answer; } },
    };
    QCOMPARE(calls.value(slot)(), answer);
    QVERIFY2(texts(info).join(QString()).contains(answer.trimmed()), qPrintable(texts(info).join(QLatin1Char('|'))));
    if (!post.isEmpty())
        QCOMPARE(ctl->count(QStringLiteral("POST"), post), 1);
    if (post.endsWith(QLatin1String("setb")) || post.endsWith(QLatin1String("delb")))
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

void tst_QRobotDebugger::refusals_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("path");     // the controller's refusal
    QTest::addColumn<QString>("reason");   // in the failure
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("notSent");  // a request that must not follow

    const QString noScript = QStringLiteral("project demo has no src0.lua or main.lua");
    QTest::newRow("straight run of a project without a script")
        << "straightRun" << "/debugger/start" << noScript << 5 << "/debugger/run";
    QTest::newRow("debug session of a project without a script")
        << "start" << "/debugger/start" << noScript << 5 << "/debugger/run";
    QTest::newRow("continue after the end") << "straightContinue" << "/debugger/run" << "no script started" << 5 << "";
    QTest::newRow("a breakpoint on a line without code")
        << "setBreakpoint" << "/debugger/setb" << "line 3 of src0.lua holds no code" << 1 << "";
    QTest::newRow("no debug session") << "getGlobalVal" << "" << "no debug session is running" << 5 << "";
}

void tst_QRobotDebugger::refusals()
{
    QFETCH(QString, operation);
    QFETCH(QString, path);
    QFETCH(QString, reason);
    if (!path.isEmpty())
        ctl->on(QStringLiteral("POST"), path, QJsonObject{ { "result", false }, { "error", reason } });
    ctl->on(QStringLiteral("GET"), QStringLiteral("/debugger/state"), QJsonObject{ { "value", "stop" } });
    if (operation == QLatin1String("setBreakpoint"))
        QVERIFY(startSession("answers"));
    QSignalSpy failed(component, &QRobotDebugger::failed);
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    qputenv("FAKE_LUA", "answers");
    const QHash<QString, std::function<void()>> calls{
        { "straightRun", [&]() { component->straightRun(QStringLiteral("demo")); } },
        { "start", [&]() { component->start(QStringLiteral("demo")); } },
        { "straightContinue", [&]() { component->straightContinue(); } },
        { "setBreakpoint", [&]() { component->setBreakpoint(QStringLiteral("src0.lua"), 3); } },
        { "getGlobalVal", [&]() { QCOMPARE(component->getGlobalVal(QStringLiteral("x")), QString()); } },
    };
    calls.value(operation)();
    // Reported at once, with the controller's reason.
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 1000);
    QVERIFY2(failed.at(0).at(0).toString().endsWith(reason), qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(component->errorString(), failed.at(0).at(0).toString());
    QTEST(int(component->debugState()), "state");
    QFETCH(QString, notSent);
    if (!notSent.isEmpty())
        QCOMPARE(ctl->count(QStringLiteral("POST"), notSent), 0);
    QVERIFY(!texts(info).join(QString()).contains(QLatin1String("Crashed")));
}

void tst_QRobotDebugger::stepPastTheEndThenASecondSession()
{
    // A step over the script's last line reaches the controller's system
    // script: the session ends and the controller's script is stopped.
    QVERIFY(startSession("answers"));
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    component->stepOver();
    QVERIFY(texts(info).contains(QStringLiteral("*Server(Finish)*\nstep script finished!\n")));
    QCOMPARE(component->debugState(), QRobotType::ScriptStopped);
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stop")), 1);

    // Nothing of it counts in the next session: its first step is a step.
    QVERIFY(startSession("answers"));
    QSignalSpy steps(component, &QRobotDebugger::stepInChanged);
    QSignalSpy where(component, &QRobotDebugger::runningLineChanged);
    component->stepIn();
    QCOMPARE(component->debugState(), QRobotType::DebugConnected);
    QCOMPARE(steps.last(), (QList<QVariant>{ true, false, true }));
    QCOMPARE(where.last(), (QList<QVariant>{ QStringLiteral("src0.lua"), 2 }));
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stop")), 1);
}

void tst_QRobotDebugger::pauseReachedWhileRunning()
{
    // The script runs longer than the server's answer may take; its pause
    // (a breakpoint) is printed later, while the host waits for nothing.
    QVERIFY(startSession("late"));
    QSignalSpy where(component, &QRobotDebugger::runningLineChanged);
    component->runScript();
    QCOMPARE(component->debugState(), QRobotType::ScriptRunning);
    QTRY_COMPARE(component->debugState(), QRobotType::ScriptPaused);
    QCOMPARE(where.last(), (QList<QVariant>{ QStringLiteral("src0.lua"), 5 }));
    // ... and it is not the next command's answer.
    QCOMPARE(component->getGlobalVal(QStringLiteral("count")), QStringLiteral(" 'a>b'"));
}

void tst_QRobotDebugger::crashedInterpreter()
{
    // Without its server the debuggee would run on unsupervised: the crash is
    // reported when it happens, and the script stopped.
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    qputenv("FAKE_LUA", "crash");
    component->start(QStringLiteral("demo"));
    QTRY_COMPARE(component->debugState(), QRobotType::ScriptStopped);
    QVERIFY(texts(info).contains(QStringLiteral("**MainProcess**\nMoDebug Process Crashed!")));
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/stop")), 1);
    QCOMPARE(component->getGlobalVal(QStringLiteral("count")), QString());
    QCOMPARE(component->errorString(), QStringLiteral("no debug session is running"));
}

void tst_QRobotDebugger::missingInterpreter()
{
    LuaInterpreter::setProgramForTesting(folder.path() + QStringLiteral("/missing"));
    QSignalSpy info(component, &QRobotDebugger::mobDebugInfo);
    QSignalSpy failed(component, &QRobotDebugger::failed);
    component->start(QStringLiteral("demo"));
    LuaInterpreter::setProgramForTesting(fake);
    QCOMPARE(texts(info), QStringList{ QStringLiteral("MobDebug Start Error: FailedToStart") });
    QCOMPARE(failed.count(), 1);
    QCOMPARE(component->debugState(), QRobotType::ScriptStopped);
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 0);
}

void tst_QRobotDebugger::secondSessionOfTheProgramRefused()
{
    // The debug server's port is fixed: one session at a time.
    QHttpManager otherTransport(nullptr);
    otherTransport.setHost(QLatin1String(Controller));
    QRobotDebugger other(&otherTransport, nullptr);
    QVERIFY(startSession("answers"));
    QSignalSpy failed(&other, &QRobotDebugger::failed);
    other.start(QStringLiteral("demo"));
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QLatin1String("another facade of this program is debugging")));
    QCOMPARE(other.debugState(), QRobotType::ScriptStopped);
    QCOMPARE(component->debugState(), QRobotType::DebugConnected);
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 1);
    // Run control needs no debug server.
    other.straightRun(QStringLiteral("demo"));
    QCOMPARE(other.debugState(), QRobotType::ScriptRunning);
    component->stop();
    QVERIFY(startSession("answers", &other));
}

void tst_QRobotDebugger::portsTakenByAnotherProgram()
{
    delete component; // frees the ports
    component = nullptr;
    const QString me = QStringLiteral("(pid %1)").arg(QCoreApplication::applicationPid());
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::Any, QRobotDebugger::MoveLinePort));
        QRobotDebugger debugger(http, nullptr);
        QVERIFY(!debugger.isActive());
        QSignalSpy failed(&debugger, &QRobotDebugger::failed);
        debugger.straightRun(QStringLiteral("demo"));
        debugger.start(QStringLiteral("demo"));
        QCOMPARE(failed.count(), 2);
        QVERIFY2(failed.at(1).at(0).toString().contains(QLatin1String("UDP port 5002 is taken by tst_qrobotdebug"))
                     && failed.at(1).at(0).toString().contains(me),
                 qPrintable(failed.at(1).at(0).toString()));
        QCOMPARE(debugger.debugState(), QRobotType::ScriptStopped);
        QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 0);
        holder.close();
        debugger.straightRun(QStringLiteral("demo")); // the ports are bound once free
        QVERIFY(debugger.isActive());
        QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 1);
    }
    // The debug server's port.
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, QRobotDebugger::DebugServerPort));
    component = new QRobotDebugger(http, nullptr);
    QSignalSpy failed(component, &QRobotDebugger::failed);
    qputenv("FAKE_LUA", "busy");
    component->start(QStringLiteral("demo"));
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY2(failed.at(0).at(0).toString().contains(QLatin1String("TCP port 8172 is taken by tst_qrobotdebug")),
             qPrintable(failed.at(0).at(0).toString()));
    QCOMPARE(component->debugState(), QRobotType::ScriptStopped);
    QCOMPARE(ctl->count(QStringLiteral("POST"), QStringLiteral("/debugger/start")), 1); // the straight run's
}

void tst_QRobotDebugger::interruptedStep()
{
    VarloTimings::setForTesting(VarloTimings::DebugStepConfirm, 20000);
    QVERIFY(startSession("answers"));
    ctl->on(QStringLiteral("GET"), QStringLiteral("/debugger/stepIn"), QJsonObject{ { QStringLiteral("status"), false } });
    QTimer::singleShot(200, component, &QRobotDebugger::interruptWaits);
    QElapsedTimer clock;
    clock.start();
    component->stepIn();
    VarloTimings::setForTesting(VarloTimings::DebugStepConfirm, 300);
    QVERIFY2(clock.elapsed() < 20000, "the step's confirmation was waited for in full");
}

void tst_QRobotDebugger::facadeCreatesItsDebuggerOnDemand()
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
    QTRY_COMPARE(robot->debugger()->debugState(), QRobotType::DebugConnected);
    QVERIFY(texts(info).value(0).startsWith(QStringLiteral("args: -e require('mobdebug').listen() controller: 127.0.0.80")));

    QSignalSpy lines(robot.data(), &QRobot::scriptLineChanged);
    sendDatagram(Controller, QRobotDebugger::ScriptLinePort, QStringLiteral("src0.lua:7"));
    QTRY_COMPARE(lines.count(), 1);

    // The interpreter goes with the facade, and the ports with the last debugger.
    const qint64 pid = texts(info).value(0).section(QStringLiteral("pid: "), 1).section(QLatin1Char('\n'), 0, 0).toLongLong();
    QVERIFY(pid > 0 && ::kill(pid_t(pid), 0) == 0);
    robot.reset();
    QVERIFY(::kill(pid_t(pid), 0) != 0);
    QVERIFY(probe.bind(QHostAddress::Any, QRobotDebugger::MessagePort));
}

void tst_QRobotDebugger::facadeSignalOrder()
{
    QStringList names;
    const QMetaObject &meta = QRobot::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        names << (meta.method(i).methodType() == QMetaMethod::Signal ? meta.method(i).name() : QByteArray());
    names.removeAll(QString());
    QCOMPARE(names.size(), 49);
    QCOMPARE(names.indexOf(QStringLiteral("switchJogButtons")), 29);
    QCOMPARE(names.mid(30, 11), (QStringList{ "runningLineChanged", "errorLine", "scriptLineChanged", "moveLineChanged",
                                              "errorMsg", "debugStateChanged", "debugStateEnabled", "stopStateEnabled",
                                              "stepInChanged", "mobDebugInfo", "dragModeChanged" }));
}

QTEST_GUILESS_MAIN(tst_QRobotDebugger)
#include "tst_qrobotdebugger.moc"
