// VarloSim under hostile clients and extreme values: whatever one client
// sends, a normal client is answered within a second, memory stays bounded,
// nothing is written outside the project folder, and every number reported
// is finite.
#include "simprocess.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kAddress[] = "127.0.0.67";

// Any null in a JSON document: what NaN and infinity become on the wire.
bool hasNull(const QJsonValue &value)
{
    bool found = value.isNull();
    for (const QJsonValue &item : value.isArray() ? value.toArray() : QJsonArray())
        found = found || hasNull(item);
    for (const QJsonValue &item : value.toObject())
        found = found || hasNull(item);
    return found;
}

// Sockets that send what they are given and are left open.
struct Attackers
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;

    void open(int count, quint16 port)
    {
        for (int i = 0; i < count; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(kAddress, port);
        }
        for (const auto &s : sockets)
            s->waitForConnected(2000);
    }
    void send(const QByteArray &data)
    {
        for (const auto &s : sockets) {
            if (s->state() == QAbstractSocket::ConnectedState && s->write(data) > 0)
                s->waitForBytesWritten(5);
        }
    }
    // How many sockets got an answer of `status` within `ms`.
    int answered(int ms, const QByteArray &status = "HTTP/1.1 200")
    {
        QElapsedTimer clock;
        clock.start();
        int count = 0;
        for (const auto &s : sockets) {
            QByteArray data = s->readAll();
            while (!data.contains("\r\n\r\n") && clock.elapsed() < ms && s->state() == QAbstractSocket::ConnectedState)
                data += s->waitForReadyRead(10) ? s->readAll() : QByteArray();
            count += data.startsWith(status) ? 1 : 0;
        }
        return count;
    }
};

} // namespace

class TestSimHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void extremeNumbers_data();
    void extremeNumbers();
    void unreachableLimitsDoNotHang();
    void deepNestingRefused();
    void oversizedBodiesRefusedEarly();
    void malformedHeaders_data();
    void malformedHeaders();
    void slowClientsStarveNobody();
    void manySocketsAtOnce();
    void linkSwappedDuringWrites();

private:
    // A normal client: answered, within a second.
    bool normalClientAnswered() const;
    qint64 peakMemoryKiB() const;
    HttpReply sendRaw(const QByteArray &bytes, quint16 port = 22000, bool halfClose = false) const;

    QTemporaryDir m_root;
    SimProcess m_sim;
};

void TestSimHostile::initTestCase()
{
    QVERIFY2(m_sim.start(m_root.path(), kAddress), qPrintable(m_sim.reason()));
}

void TestSimHostile::cleanupTestCase()
{
    // Whatever happened before, the floods left no gigabytes behind and the
    // simulator stops cleanly (one that hangs ends itself with exit code 1).
    qInfo() << "peak memory" << peakMemoryKiB() << "KiB; slowest normal answer" << m_sim.slowestMs() << "ms";
    QVERIFY(peakMemoryKiB() < 300 * 1024);
    QVERIFY(m_sim.stop());
}

void TestSimHostile::init()
{
    QVERIFY(normalClientAnswered());
}

bool TestSimHostile::normalClientAnswered() const
{
    const HttpReply r = m_sim.api("GET", "/connection/state");
    if (r.status != 200 || r.elapsedMs >= 1000)
        qWarning() << "normal client:" << r.status << r.elapsedMs << "ms";
    return r.status == 200 && r.elapsedMs < 1000;
}

qint64 TestSimHostile::peakMemoryKiB() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_sim.pid()));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').at(0).toLongLong();
    }
    return -1;
}

HttpReply TestSimHostile::sendRaw(const QByteArray &bytes, quint16 port, bool halfClose) const
{
    QTcpSocket socket;
    socket.connectToHost(kAddress, port);
    socket.waitForConnected(2000);
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(1000)) {
    }
    if (halfClose)
        ::shutdown(int(socket.socketDescriptor()), SHUT_WR);
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000 && socket.state() == QAbstractSocket::ConnectedState && !data.contains("\r\n\r\n"))
        data += socket.waitForReadyRead(50) ? socket.readAll() : QByteArray();
    socket.waitForReadyRead(100);
    data += socket.readAll();
    HttpReply r;
    r.elapsedMs = clock.elapsed();
    r.status = data.startsWith("HTTP/1.1 ") ? data.mid(9, 3).toInt() : 0;
    r.body = data.mid(data.indexOf("\r\n\r\n") + 4);
    return r;
}

void TestSimHostile::extremeNumbers_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("refused");   // rather than answered with finite numbers

    auto row = [](const char *name, const char *path, const char *body, bool refused = false) {
        QTest::newRow(name) << QByteArray(path) << QByteArray(body) << refused;
    };
    row("moveJ far joints", "/interface/moveJ", R"({"joint": [1e20, 0, 0, 0, 90, 0]})", true);
    row("moveJ denormal", "/interface/moveJ", R"({"joint": [5e-324, -5e-324, 0, 0, 90, 0]})");
    row("go at 1e308", "/interface/go", R"({"x": 1.7e308, "y": -1.7e308, "z": 1e308, "a": 0, "b": 0, "c": 0})");
    row("goR by 1e308", "/interface/goR", R"({"offsetX": 1.7e308, "offsetY": 0, "offsetZ": 0})");
    row("auxGo at 1e308", "/interface/auxGo", R"({"x": 400, "y": 0, "z": 500, "a": 180, "b": 0, "c": 0, "aux1": 1e308})", true);
    row("forward of 1e308", "/interface/positiveSolution", R"({"joint": [1e308, 1e308, 1e308, 1e308, 1e308, 1e308]})");
    row("inverse of 1e308", "/interface/inverseSolution", R"({"coordinate": [1e308, 1e308, 1e308, 1e308, 1e308, 1e308]})", true);
    row("inverse, huge tool", "/interface/inverseSolution", R"({"coordinate": [400, 0, 500, 180, 0, 0], "tool": 2147483648})");
    row("user frame of 1e308", "/calibrate/coordinate/user", "[[1e308,0,0,0,0,0],[-1e308,1,0,0,0,0],[0,1e308,0,0,0,0]]", true);
    row("tool of 1e308", "/calibrate/coordinate/tool/position", "[[1e308,0,0,180,0,0],[0,1e308,0,160,15,10],[0,0,1e308,200,-10,-25]]");
    row("SCARA tool of 1e308", "/calibrate/coordinate/tool", "[[1e308,0,0,0],[0,1e308,0,90]]");
    row("mounting of 1e308", "/settings/calcInstall", R"({"cartesianCoord": [1e308, 1e308, 1e308, 1e308, 1e308, 1e308]})");
    row("analog inputs 1e308", "/sim/inputs", R"({"endAI": [1e308, -1e308]})", true);
    row("input index 2^31", "/sim/inputs", R"({"index": 2147483648, "value": true})", true);
    row("manual ratio 1e308", "/interface/manualCommon", R"({"ratio": 1e308})", true);
    row("vision index 1e20", "/interface/visionCoordinate", R"({"index": 1e20})");
    row("alarm id 2^63", "/sim/alarm", R"({"group": 0, "id": 9223372036854775807})", true);
}

void TestSimHostile::extremeNumbers()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, refused);
    // A tool frame of 1.7e308, and limits and speeds beyond any arm, are in
    // place for every row.
    static const bool prepared = [this] {
        QByteArray tools = "[{\"enable\": true, \"params\": [1.7e308, 0, 0, 0, 0, 0]}" + QByteArray(", {}").repeated(9) + "]";
        return m_sim.files("POST", "/file/write/settings/coordinate/tool.json", tools).status == 200
            && m_sim.api("POST", "/settings/controlMode", {{"controlMode", "enable"}}).json().value("result").toBool()
            && m_sim.api("POST", "/interface/updateFile").status == 200;
    }();
    QVERIFY(prepared);
    const HttpReply r = rawRequest(kAddress, 22000, "POST", path, body);
    QVERIFY2(r.status == 200 || r.status == 400, r.body.constData());
    QVERIFY2(!hasNull(r.document().isArray() ? QJsonValue(r.document().array()) : QJsonValue(r.json())), r.body.constData());
    // Refused or answered with finite numbers; either way the live state stays finite.
    const HttpReply state = m_sim.api("GET", "/protocol/exchange");
    QVERIFY2(!hasNull(state.json()), state.body.constData());
    if (refused)
        QCOMPARE(r.json().value("result").toBool(true), false);
}

void TestSimHostile::unreachableLimitsDoNotHang()
{
    // Limits and speeds of 1e300, then a joint of 1e20: the inverse solution
    // and the motion still end at once.
    const QByteArray limits = R"({"axis": 6, "structure": {"limits": [[-1e300, 1e300], [-1e300, 1e300], [-1e300, 1e300], [-1e300, 1e300], [-1e300, 1e300], [-1e300, 1e300]]}})";
    QCOMPARE(m_sim.files("POST", "/file/write/properties/structure.json", limits).status, 200);
    QCOMPARE(m_sim.files("POST", "/file/write/settings/playback/joint.json", R"({"velocity": [1e300, 1e300, 1e300, 1e300, 1e300, 1e300]})").status, 200);
    QCOMPARE(m_sim.api("POST", "/interface/updateFile").status, 200);
    m_sim.api("POST", "/settings/controlMode", {{"controlMode", "enable"}});
    QVERIFY(!m_sim.api("POST", "/interface/moveJ", {{"joint", QJsonArray{1e20, 0, 0, 0, 90, 0}}}).json().value("result").toBool());
    const HttpReply inverse = m_sim.api("POST", "/interface/inverseSolution", {{"coordinate", QJsonArray{400, 0, 500, 180, 0, 0}}, {"tool", 0}});
    QVERIFY2(inverse.status == 200 && inverse.elapsedMs < 1000, inverse.body.constData());
    QVERIFY(normalClientAnswered());
}

void TestSimHostile::deepNestingRefused()
{
    const QByteArray deep = QByteArray("[").repeated(10000) + QByteArray("]").repeated(10000);
    QCOMPARE(m_sim.files("POST", "/file/write/settings/deep.json", deep).status, 400);
    QCOMPARE(m_sim.api("POST", "/settings/function/setReTraceParam", QJsonObject()).status, 200);
    QCOMPARE(rawRequest(kAddress, 22000, "POST", "/settings/function/setReTraceParam", "{\"a\":" + deep + "}").status, 400);
    QVERIFY(!QFile::exists(m_sim.projectFolder() + "/settings/deep.json"));
    // Nested as deep as allowed, with many small values: the file stays
    // proportional to the body.
    const QByteArray wide = QByteArray("[").repeated(60) + QByteArray("0,").repeated(400000) + "0" + QByteArray("]").repeated(60);
    QCOMPARE(m_sim.files("POST", "/file/write/settings/wide.json", wide).status, 200);
    QVERIFY(QFileInfo(m_sim.projectFolder() + "/settings/wide.json").size() < 5 * wide.size());
    QVERIFY(normalClientAnswered());
}

void TestSimHostile::oversizedBodiesRefusedEarly()
{
    // A declared body over the limit is refused before a byte of it is sent.
    HttpReply r = sendRaw("POST /file/write/settings/big.json HTTP/1.1\r\nContent-Length: 104857600\r\n\r\n", 22001);
    QCOMPARE(r.status, 413);
    // A chunked body is cut at the limit: 8 MiB offered, refused after the first MiB.
    QTcpSocket socket;
    socket.connectToHost(kAddress, 22000);
    QVERIFY(socket.waitForConnected(2000));
    socket.write("POST /sim/inputs HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, ' ') + "\r\n";
    QByteArray answer;
    for (int i = 0; i < 128 && answer.isEmpty() && socket.state() == QAbstractSocket::ConnectedState; ++i) {
        socket.write(chunk);
        socket.waitForBytesWritten(1000);
        answer += socket.waitForReadyRead(1) ? socket.readAll() : QByteArray();
    }
    socket.waitForReadyRead(1000);
    answer += socket.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 413"), answer.left(100).constData());
    QVERIFY(normalClientAnswered());
}

void TestSimHostile::malformedHeaders_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray post = "POST /sim/inputs HTTP/1.1\r\n";
    QTest::newRow("endless request line") << "GET /" + QByteArray(1 << 20, 'a') << 431;
    QTest::newRow("header flood") << "GET /connection/state HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(100000) << 431;
    QTest::newRow("two lengths") << post + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}" << 400;
    QTest::newRow("length not a number") << post + "Content-Length: abc\r\n\r\n{}" << 400;
    QTest::newRow("no length, half-closed") << post + "Host: localhost\r\nContent-Type: application/json\r\n\r\n" << 200;
    // Ranges are no part of the contract: ignored, the whole document once.
    QTest::newRow("many ranges") << "GET /settings/common HTTP/1.1\r\nHost: localhost\r\nRange: bytes=" + QByteArray("0-,").repeated(2000) + "0-\r\n\r\n" << 200;
}

void TestSimHostile::malformedHeaders()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const HttpReply r = sendRaw(request, 22000, true);
    QCOMPARE(r.status, status);
    QVERIFY(r.body.size() < 4096);
    QVERIFY(normalClientAnswered());
}

void TestSimHostile::slowClientsStarveNobody()
{
    // 64 clients on the API and 16 on the file service, each sending a header
    // line now and then and never finishing.
    Attackers api, files;
    api.open(64, 22000);
    files.open(16, 22001);
    api.send("POST /protocol/exchange HTTP/1.1\r\n");
    files.send("GET /file/read/settings/common.json HTTP/1.1\r\n");
    for (int i = 0; i < 6; ++i) {
        api.send("X-Slow: " + QByteArray::number(i) + "\r\n");
        files.send("X-Slow: " + QByteArray::number(i) + "\r\n");
        QVERIFY(normalClientAnswered());
        QCOMPARE(m_sim.files("GET", "/file/read/properties/axis.json").status, 200);
        QTest::qWait(500);
    }
}

void TestSimHostile::manySocketsAtOnce()
{
    // A thousand connections at once: idle, then half a request each, then
    // all thousand requests at the same moment. The normal client is served
    // throughout, and so is every one of the thousand.
    Attackers crowd;
    crowd.open(1000, 22000);
    QVERIFY(normalClientAnswered());
    crowd.send("POST /protocol/exchange HTTP/1.1\r\nHost: localhost\r\n");
    QVERIFY(normalClientAnswered());
    QElapsedTimer clock;
    clock.start();
    crowd.send("Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}");
    QVERIFY(normalClientAnswered());
    const int answered = crowd.answered(5000);
    qInfo() << "1000 concurrent exchanges:" << answered << "answered in" << clock.elapsed() << "ms";
    QCOMPARE(answered, 1000);
    QVERIFY(normalClientAnswered());
}

void TestSimHostile::linkSwappedDuringWrites()
{
    // A local user who may write in the project folder swaps a folder for a
    // link to outside while documents are being written through it.
    QTemporaryDir outside;
    const QString settings = m_sim.projectFolder() + "/settings/";
    QVERIFY(QDir().mkpath(settings + "swap"));
    QVERIFY(QFile::link(outside.path(), settings + "link"));
    std::atomic<bool> running{true};
    std::thread swapper([&] {
        const QByteArray swap = QFile::encodeName(settings + "swap"), link = QFile::encodeName(settings + "link"),
                         real = QFile::encodeName(settings + "real");
        while (running) {
            std::rename(swap, real);
            std::rename(link, swap);
            std::rename(swap, link);
            std::rename(real, swap);
        }
    });
    for (int i = 0; i < 200; ++i)
        m_sim.files("POST", "/file/write/settings/swap/doc" + QByteArray::number(i % 5) + ".json", "{}");
    running = false;
    swapper.join();
    QVERIFY2(QDir(outside.path()).isEmpty(), qPrintable(QDir(outside.path()).entryList().join(' ')));
    QDirIterator temp(m_sim.projectFolder(), {".*.tmp-*"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QVERIFY2(!temp.hasNext(), qPrintable(temp.next()));
}

QTEST_GUILESS_MAIN(TestSimHostile)
#include "tst_simhostile.moc"
