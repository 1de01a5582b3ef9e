// VarloSim as a user meets it: started as its own process on a loopback
// address with a fresh project folder, spoken to with plain HTTP.
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <QUdpSocket>

#include <cmath>
#include <memory>

namespace {

const char kAddress[] = "127.0.0.60";
const char kSecondAddress[] = "127.0.0.61";
// The client address that receives script notifications.
const char kClientAddress[] = "127.0.0.64";
const quint16 kApiPort = 22000;
const quint16 kFilePort = 22001;

struct HttpReply
{
    int status = 0;          // 0: no answer
    QByteArray body;
    qint64 elapsedMs = 0;

    QJsonDocument document() const { return QJsonDocument::fromJson(body); }
    QJsonObject json() const { return document().object(); }
};

// One request on its own connection, written byte for byte as given, so that
// paths reach the server exactly as a hostile client would send them.
// With a `source` address the request comes from there, so that whatever the
// simulator sends back to its client (script notifications) goes there too.
HttpReply rawRequest(const QString &address, quint16 port, const QByteArray &method, const QByteArray &target,
                     const QByteArray &body = QByteArray(), const QString &source = QString())
{
    HttpReply reply;
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    if (!source.isEmpty() && !socket.bind(QHostAddress(source)))
        return reply;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(2000))
        return reply;
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: " + address.toLatin1()
                       + "\r\nConnection: close\r\n";
    if (method == "POST")
        request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n";
    request += body;
    socket.write(request);
    QByteArray data;
    while (clock.elapsed() < 10000 && socket.state() != QAbstractSocket::UnconnectedState) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(50);
        socket.waitForReadyRead(50);
        data += socket.readAll();
    }
    data += socket.readAll();
    reply.elapsedMs = clock.elapsed();
    const int headerEnd = data.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = data.left(data.indexOf("\r\n")).split(' ');
    if (headerEnd < 0 || statusLine.size() < 2)
        return reply;
    reply.status = statusLine.at(1).toInt();
    reply.body = data.mid(headerEnd + 4);
    return reply;
}

QByteArray toJson(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// Relative path and content hash of every file under a folder.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(path),
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

// R = Rz(c) * Ry(b) * Rx(a), the orientation convention of the poses.
struct Rotation
{
    double m[3][3];

    static Rotation fromAbc(double a, double b, double c)
    {
        const double k = M_PI / 180.0;
        const double ca = std::cos(a * k), sa = std::sin(a * k), cb = std::cos(b * k), sb = std::sin(b * k),
                     cc = std::cos(c * k), sc = std::sin(c * k);
        return {{{cc * cb, cc * sb * sa - sc * ca, cc * sb * ca + sc * sa},
                 {sc * cb, sc * sb * sa + cc * ca, sc * sb * ca - cc * sa},
                 {-sb, cb * sa, cb * ca}}};
    }
    QVector<double> apply(const QVector<double> &v) const
    {
        QVector<double> r(3, 0.0);
        for (int i = 0; i < 3; ++i)
            r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
        return r;
    }
};

QJsonArray pointArray(const QVector<double> &values)
{
    QJsonArray a;
    for (double v : values)
        a.append(v);
    return a;
}

// Datagrams that arrive on the script notification ports of one address.
class NotificationListener
{
public:
    explicit NotificationListener(const QString &address)
    {
        for (quint16 port : {5000, 5001, 5002, 5003}) {
            auto socket = std::make_unique<QUdpSocket>();
            m_bound = socket->bind(QHostAddress(address), port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)
                   && m_bound;
            m_sockets.push_back(std::move(socket));
        }
    }
    bool isBound() const { return m_bound; }

    // Collects what has arrived, as "port text" lines in arrival order per poll.
    QStringList take()
    {
        QStringList lines;
        for (const auto &socket : m_sockets) {
            socket->waitForReadyRead(0);
            while (socket->hasPendingDatagrams()) {
                QByteArray data(int(socket->pendingDatagramSize()), '\0');
                socket->readDatagram(data.data(), data.size());
                lines << QString::number(socket->localPort()) + ' ' + QString::fromLatin1(data);
            }
        }
        return lines;
    }

    // Waits until a line equal to `wanted` has arrived, collecting every line.
    bool waitFor(const QString &wanted, int timeoutMs, QStringList &seen)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            for (const auto &socket : m_sockets)
                socket->waitForReadyRead(5);
            seen << take();
            if (seen.contains(wanted))
                return true;
        }
        return false;
    }

private:
    std::vector<std::unique_ptr<QUdpSocket>> m_sockets;
    bool m_bound = true;
};

// A running VarloSim.
class Simulator
{
public:
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool start(const QString &root, const QString &address, const QStringList &extra = QStringList(),
               bool expectFailure = false)
    {
        m_address = address;
        m_output.clear();
        m_process.setProgram(QStringLiteral(VARLOSIM_PATH));
        m_process.setArguments(QStringList{"--root", root, "--address", address, "--exit-with-parent"} + extra);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            m_process.waitForReadyRead(100);
            m_output += m_process.readAllStandardOutput();
            if (m_output.contains("VarloSim ready")) {
                m_started = true;
                return true;
            }
            if (m_process.state() == QProcess::NotRunning)
                break;
        }
        if (!expectFailure)
            qWarning() << "VarloSim did not start:" << m_output << m_process.readAllStandardError();
        return false;
    }

    // Stops it the way a user does (SIGTERM) and tells whether it ended cleanly.
    bool stop()
    {
        if (!m_started)
            return true;    // its failure to start has been reported
        m_started = false;
        if (m_process.state() == QProcess::NotRunning)
            return false;   // it ended on its own
        m_process.terminate();
        QElapsedTimer clock;
        clock.start();
        const bool finished = m_process.waitForFinished(10000);
        m_output += m_process.readAllStandardOutput();
        const bool clean = finished && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        if (!clean) {
            qWarning() << "VarloSim ended after" << clock.elapsed() << "ms, finished" << finished << "status"
                       << m_process.exitStatus() << "code" << m_process.exitCode() << m_output
                       << m_process.readAllStandardError();
        }
        return clean;
    }

    QByteArray output() const { return m_output; }
    QString address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
    bool m_started = false;
    QByteArray m_output;
};

} // namespace

class TestVarloSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileRoundTrip_data();
    void fileRoundTrip();
    void fileRefusals_data();
    void fileRefusals();
    void defaultsWrittenOnceAndKept();
    void exchangeCarriesEveryKey();
    void exchangeAppliesRequests();
    void exchangeClearsAlarmsOnce();
    void controlModeEchoDoesNotOverride();
    void emergencyStopCycle();
    void motionReachesTarget_data();
    void motionReachesTarget();
    void motionRefusedWhenDisabled();
    void malformedRequestsKeepServing();
    void twoSimulatorsOnTwoAddresses();
    void calibrations_data();
    void calibrations();
    void calibrationRefusals_data();
    void calibrationRefusals();
    void scriptNotifications();
    void scriptRunsToTheEnd();
    void scriptStopEndsTheRun();
    void servicesKeepTheirState();
    void trajectoryCheckFindsTheUnreachablePoint();

private:
    bool startSimulator(const QStringList &extra = QStringList());
    HttpReply api(const QByteArray &method, const QByteArray &path, const QJsonObject &body = QJsonObject());
    HttpReply apiRaw(const QByteArray &method, const QByteArray &path, const QByteArray &body);
    HttpReply files(const QByteArray &method, const QByteArray &path, const QByteArray &body = QByteArray());
    QJsonObject exchange(const QJsonObject &request = QJsonObject());
    bool enable();
    bool setRatio(int ratio);
    bool waitForMotionEnd(const QByteArray &path, QJsonObject *status);
    QString projectFolder() const { return m_root->path() + "/controllerVR/project"; }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<Simulator> m_sim;
    qint64 m_slowestApiMs = 0;
};

void TestVarloSim::initTestCase()
{
    QVERIFY2(QFileInfo::exists(QStringLiteral(VARLOSIM_PATH)), VARLOSIM_PATH);
}

void TestVarloSim::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_slowestApiMs = 0;
}

void TestVarloSim::cleanup()
{
    if (m_sim)
        QVERIFY2(m_sim->stop(), "VarloSim did not end cleanly on SIGTERM");
    m_sim.reset();
    // Every request of the controller contract must be answered within 1000 ms.
    QVERIFY2(m_slowestApiMs < 1000, qPrintable(QString::number(m_slowestApiMs)));
}

bool TestVarloSim::startSimulator(const QStringList &extra)
{
    m_sim = std::make_unique<Simulator>();
    return m_sim->start(m_root->path(), kAddress, extra);
}

HttpReply TestVarloSim::apiRaw(const QByteArray &method, const QByteArray &path, const QByteArray &body)
{
    HttpReply r = rawRequest(m_sim->address(), kApiPort, method, path, body);
    m_slowestApiMs = qMax(m_slowestApiMs, r.elapsedMs);
    return r;
}

HttpReply TestVarloSim::api(const QByteArray &method, const QByteArray &path, const QJsonObject &body)
{
    return apiRaw(method, path, method == "POST" ? toJson(body) : QByteArray());
}

HttpReply TestVarloSim::files(const QByteArray &method, const QByteArray &path, const QByteArray &body)
{
    HttpReply r = rawRequest(m_sim->address(), kFilePort, method, path, body);
    m_slowestApiMs = qMax(m_slowestApiMs, r.elapsedMs);
    return r;
}

QJsonObject TestVarloSim::exchange(const QJsonObject &request)
{
    const HttpReply r = request.isEmpty() ? api("GET", "/protocol/exchange") : api("POST", "/protocol/exchange", request);
    if (r.status != 200)
        qWarning() << "exchange failed" << r.status << r.body;
    return r.json();
}

bool TestVarloSim::enable()
{
    const HttpReply r = api("POST", "/settings/controlMode", {{"controlMode", "enable"}});
    return r.status == 200 && r.json().value("result").toBool() && exchange().value("controlMode") == "enable";
}

bool TestVarloSim::setRatio(int ratio)
{
    const HttpReply w = files("POST", "/file/write/settings/common.json", toJson({{"ratio", ratio}}));
    // The write is followed by the notification a client sends.
    const HttpReply n = apiRaw("POST", "/settings/common", QByteArray());
    const HttpReply u = api("POST", "/interface/updateFile");
    return w.status == 200 && n.status == 200 && u.status == 200
        && exchange().value("controlParams").toArray().at(0).toDouble() == ratio;
}

bool TestVarloSim::waitForMotionEnd(const QByteArray &path, QJsonObject *status)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        const HttpReply r = api("GET", path);
        if (r.status != 200)
            return false;
        *status = r.json();
        if (status->value("value").toBool() || status->value("isAlarms").toBool())
            return true;
        QTest::qWait(100);
    }
    return false;
}

// ---------------------------------------------------------------------------

void TestVarloSim::fileRoundTrip_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("document");

    QJsonArray table;
    for (int i = 0; i < 10; ++i)
        table.append(QJsonObject{{"enable", i < 2}, {"alias", QString("t%1").arg(i)},
                                 {"params", QJsonArray{i, 2.5, -3, 0, 90, 180}}});
    QTest::newRow("object document") << QByteArray("settings/common.json") << toJson({{"ratio", 42.5}});
    QTest::newRow("array table") << QByteArray("settings/coordinate/tool.json")
                                 << QJsonDocument(table).toJson(QJsonDocument::Compact);
    QTest::newRow("new nested document") << QByteArray("project/demo/deep/prj.json")
                                         << toJson({{"name", QString::fromUtf8("演示")}, {"points", QJsonArray{1, 2}}});
}

void TestVarloSim::fileRoundTrip()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, document);
    QVERIFY(startSimulator());

    const HttpReply written = files("POST", "/file/write/" + name, document);
    QCOMPARE(written.status, 200);
    const HttpReply read = files("GET", "/file/read/" + name);
    QCOMPARE(read.status, 200);
    QCOMPARE(read.document(), QJsonDocument::fromJson(document));

    QFile onDisk(projectFolder() + "/" + name);
    QVERIFY(onDisk.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(onDisk.readAll()), QJsonDocument::fromJson(document));
    // The temporary file of the atomic write is gone.
    for (const QString &file : snapshot(projectFolder()).keys())
        QVERIFY2(!QFileInfo(file).fileName().startsWith('.'), qPrintable(file));

    // A document that does not exist reads as an empty object.
    const HttpReply missing = files("GET", "/file/read/settings/nothing/here.json");
    QCOMPARE(missing.status, 200);
    QCOMPARE(missing.json(), QJsonObject());
}

void TestVarloSim::fileRefusals_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");

    const QByteArray ok = toJson({{"ratio", 1}});
    QTest::newRow("read dot-dot") << QByteArray("GET") << QByteArray("/file/read/../../outside.json") << QByteArray();
    QTest::newRow("read encoded dot-dot") << QByteArray("GET") << QByteArray("/file/read/%2e%2e/%2E%2E/outside.json")
                                          << QByteArray();
    QTest::newRow("read absolute") << QByteArray("GET") << QByteArray("/file/read//etc/passwd.json") << QByteArray();
    QTest::newRow("write dot-dot") << QByteArray("POST") << QByteArray("/file/write/../outside.json") << ok;
    QTest::newRow("write inner dot-dot") << QByteArray("POST")
                                         << QByteArray("/file/write/settings/../../../outside.json") << ok;
    QTest::newRow("write encoded slash") << QByteArray("POST") << QByteArray("/file/write/..%2F..%2Foutside.json")
                                         << ok;
    QTest::newRow("write absolute") << QByteArray("POST") << QByteArray("/file/write/%2FABSOLUTE%2Fabs.json") << ok;
    QTest::newRow("write backslash") << QByteArray("POST") << QByteArray("/file/write/..%5C..%5Coutside.json") << ok;
    QTest::newRow("write NUL") << QByteArray("POST") << QByteArray("/file/write/settings/common.json%00.txt") << ok;
    QTest::newRow("write blank") << QByteArray("POST") << QByteArray("/file/write/settings/with%20blank.json") << ok;
    QTest::newRow("write colon") << QByteArray("POST") << QByteArray("/file/write/C:outside.json") << ok;
    QTest::newRow("write hidden") << QByteArray("POST") << QByteArray("/file/write/settings/.hidden.json") << ok;
    QTest::newRow("write dot segment") << QByteArray("POST") << QByteArray("/file/write/settings/./common.json") << ok;
    QTest::newRow("write empty segment") << QByteArray("POST") << QByteArray("/file/write/settings//common.json")
                                         << ok;
    QTest::newRow("write without .json") << QByteArray("POST") << QByteArray("/file/write/settings/common") << ok;
    QTest::newRow("write not JSON") << QByteArray("POST") << QByteArray("/file/write/settings/common.json")
                                    << QByteArray("{\"ratio\": ");
    QTest::newRow("write JSON number") << QByteArray("POST") << QByteArray("/file/write/settings/common.json")
                                       << QByteArray("42");
    QTest::newRow("write empty body") << QByteArray("POST") << QByteArray("/file/write/settings/common.json")
                                      << QByteArray();
    QTest::newRow("write oversized") << QByteArray("POST") << QByteArray("/file/write/settings/common.json")
                                     << QByteArray("{\"x\": \"" + QByteArray(4 * 1024 * 1024, 'a') + "\"}");
    QTest::newRow("object over a table") << QByteArray("POST") << QByteArray("/file/write/settings/coordinate/tool.json")
                                         << QByteArray("{}");
}

void TestVarloSim::fileRefusals()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QVERIFY(startSimulator());
    // The absolute-path case aims at a folder of this test, outside the project.
    target.replace("%2FABSOLUTE", QUrl::toPercentEncoding(m_root->path()));

    const QMap<QString, QByteArray> before = snapshot(m_root->path());
    const HttpReply r = rawRequest(kAddress, kFilePort, method, target, body);
    QVERIFY2(r.status >= 400 && r.status < 500, qPrintable(QString("status %1: %2").arg(r.status).arg(QString(r.body))));
    // The refusal says why.
    QVERIFY2(!r.json().value("error").toString().isEmpty() || r.status == 404, r.body.constData());
    QCOMPARE(snapshot(m_root->path()), before);
    QVERIFY(!QFileInfo::exists(m_root->path() + "/abs.json"));

    // The service goes on serving.
    QCOMPARE(files("GET", "/file/read/properties/axis.json").json().value("axis").toInt(), 6);
}

void TestVarloSim::defaultsWrittenOnceAndKept()
{
    QVERIFY(startSimulator());
    QVERIFY(m_sim->output().contains("(6 axes)"));

    QCOMPARE(files("GET", "/file/read/properties/axis.json").json(), QJsonObject({{"axis", 6}}));
    QVERIFY(files("GET", "/file/read/settings/common.json").json().value("ratio").isDouble());
    QCOMPARE(files("GET", "/file/read/settings/coordinate/user.json").document().array().size(), 10);
    QCOMPARE(files("GET", "/file/read/settings/playback/arch.json").document().array().size(), 10);
    const QJsonObject limits = files("GET", "/file/read/properties/default.json").json();
    QVERIFY(limits.value("common").toObject().value("ratio").toObject().contains("max"));
    QCOMPARE(limits.value("teach").toObject().value("joint").toObject().value("velocity").toArray().size(), 6);
    QVERIFY(files("GET", "/file/read/settings/function/collisionDect.json").json().contains("Level5"));
    for (const char *catalogue : {"alarm_controller", "alarm_servo"}) {
        const QJsonArray alarms =
            files("GET", QByteArray("/file/read/properties/") + catalogue + ".json").document().array();
        QVERIFY2(alarms.size() >= 20, catalogue);
        for (const QJsonValue &entry : alarms) {
            const QJsonObject e = entry.toObject();
            QVERIFY(e.value("id").isDouble());
            QVERIFY(!e.value("en").toObject().value("description").toString().isEmpty());
            QVERIFY(!e.value("zh_CN").toObject().value("description").toString().isEmpty());
        }
    }

    // Changes survive a restart; only what is missing is written again.
    QCOMPARE(files("POST", "/file/write/settings/common.json", toJson({{"ratio", 77}})).status, 200);
    QVERIFY(QFile::remove(projectFolder() + "/settings/teach/inch.json"));
    const QMap<QString, QByteArray> before = snapshot(projectFolder());
    QVERIFY(m_sim->stop());
    QVERIFY(startSimulator());
    QCOMPARE(files("GET", "/file/read/settings/common.json").json().value("ratio").toInt(), 77);
    QVERIFY(files("GET", "/file/read/settings/teach/inch.json").json().contains("distance"));
    QMap<QString, QByteArray> after = snapshot(projectFolder());
    after.remove("settings/teach/inch.json");
    QCOMPARE(after, before);

    // Another model on the same folder; without --axes the folder's model stays.
    QVERIFY(m_sim->stop());
    QVERIFY(startSimulator({"--axes", "4"}));
    QCOMPARE(files("GET", "/file/read/properties/axis.json").json().value("axis").toInt(), 4);
    QVERIFY(m_sim->stop());
    QVERIFY(startSimulator());
    QVERIFY(m_sim->output().contains("(4 axes)"));
    QCOMPARE(api("GET", "/connection/state").json().value("axis").toInt(), 4);
    QCOMPARE(files("GET", "/file/read/settings/common.json").json().value("ratio").toInt(), 77);
}

void TestVarloSim::exchangeCarriesEveryKey()
{
    QVERIFY(startSimulator());
    QCOMPARE(api("GET", "/connection/state").status, 200);
    const QJsonObject version = api("POST", "/settings/version").json();
    for (const char *key : {"control", "algs", "system", "unio", "safeio", "servo1", "servo2", "servo3", "servo4",
                            "servo5", "servo6", "terminal", "feedback"}) {
        QVERIFY2(version.value(key).isString(), key);
        QVERIFY2(version.value(key).toString().size() <= 24, key);
    }

    const QJsonObject state = exchange();
    const struct { const char *key; int size; } keys[] = {
        {"controlMode", -1}, {"dragMode", -1}, {"coordinate", -1}, {"JogMode", -1}, {"toolCoordinate", -1},
        {"userCoordinate", -1}, {"autoManual", -1}, {"armOrientation", -1}, {"rdnCoordinate", 4},
        {"jointCoordinate", 6}, {"cartesianCoordinate", 6}, {"auxJoint", 3}, {"isCollision", -1},
        {"skinCollison", -1}, {"powerState", -1}, {"dragPlayback", -1}, {"controlParams", 4},
        {"jointCurrent", 7}, {"jointVoltage", 6}, {"jointTemp", 6}, {"endAI", 2}, {"gpioAI", 2},
        {"alarms", 7}, {"outputs", 8}, {"inputs", 8}, {"extendDO", 9}, {"extendDI", 9}};
    for (const auto &k : keys) {
        QVERIFY2(state.contains(k.key), k.key);
        if (k.size >= 0)
            QCOMPARE(state.value(k.key).toArray().size(), k.size);
    }
    for (const QJsonValue &group : state.value("alarms").toArray())
        QCOMPARE(group.toArray().size(), 64);
    for (const QJsonValue &module : state.value("extendDI").toArray())
        QCOMPARE(module.toArray().size(), 12);
    QCOMPARE(state.value("powerState").toString(), QString("on"));
    QCOMPARE(state.value("controlMode").toString(), QString("disable"));
    QVERIFY(state.value("isCollision").isDouble());
    // Enabled servos draw current; the temperatures move.
    QVERIFY(enable());
    QTest::qWait(300);
    const QJsonObject live = exchange();
    QVERIFY(live.value("jointCurrent").toArray().at(1).toDouble() > 0.1);
    QVERIFY(live.value("jointVoltage").toArray().at(0).toDouble() > 40);
    QVERIFY(live.value("jointTemp").toArray() != state.value("jointTemp").toArray());
}

void TestVarloSim::exchangeAppliesRequests()
{
    QVERIFY(startSimulator());
    QJsonArray outputs{5, 0, 0, 0, 0, 0, 0, 128};
    QJsonObject state = exchange({{"outputs", QJsonObject{{"enable", true}, {"value", outputs}}},
                                  {"coordinate", "cartesian"}, {"jogMode", "step"},
                                  {"toolCoordinate", 3}, {"userCoordinate", 2}});
    QCOMPARE(state.value("outputs").toArray(), outputs);
    QCOMPARE(state.value("coordinate").toString(), QString("cartesian"));
    QCOMPARE(state.value("JogMode").toString(), QString("step"));
    QCOMPARE(state.value("toolCoordinate").toInt(), 3);
    QCOMPARE(state.value("userCoordinate").toInt(), 2);

    // Outputs without "enable" are not applied; frame numbers outside 0-9 are ignored.
    state = exchange({{"outputs", QJsonObject{{"enable", false}, {"value", QJsonArray{255, 255, 255, 255, 255, 255, 255, 255}}}},
                      {"toolCoordinate", 12}, {"userCoordinate", -1}});
    QCOMPARE(state.value("outputs").toArray(), outputs);
    QCOMPARE(state.value("toolCoordinate").toInt(), 3);
    QCOMPARE(state.value("userCoordinate").toInt(), 2);

    // Inputs come from the surroundings: the simulation endpoint or setDIValue.
    QCOMPARE(api("POST", "/sim/inputs", {{"index", 9}, {"value", true}}).status, 200);
    QCOMPARE(api("POST", "/interface/setDIValue", {{"index", 0}, {"value", 1}}).status, 200);
    QCOMPARE(api("POST", "/sim/inputs", {{"gpioAI", QJsonArray{2.5, 7.25}}}).status, 200);
    state = exchange();
    QCOMPARE(state.value("inputs").toArray().at(0).toInt(), 1);
    QCOMPARE(state.value("inputs").toArray().at(1).toInt(), 2);
    QCOMPARE(state.value("gpioAI").toArray(), QJsonArray({2.5, 7.25}));
}

void TestVarloSim::exchangeClearsAlarmsOnce()
{
    QVERIFY(startSimulator());
    // A drive alarm: servo alarm 4 of joint 2 is bit 4 of word 0 in group 2.
    QCOMPARE(api("POST", "/sim/alarm", {{"group", 2}, {"id", 4}}).status, 200);
    QCOMPARE(api("POST", "/sim/alarm", {{"group", 0}, {"id", 33}}).status, 200);
    QJsonObject state = exchange({{"alarms", false}});
    QCOMPARE(state.value("alarms").toArray().at(2).toArray().at(0).toInt(), 16);
    QCOMPARE(state.value("alarms").toArray().at(0).toArray().at(1).toInt(), 2);

    state = exchange({{"alarms", true}});
    for (const QJsonValue &group : state.value("alarms").toArray()) {
        for (const QJsonValue &word : group.toArray())
            QCOMPARE(word.toInt(), 0);
    }
    // The clear applies to the alarms present when it arrived, not to later ones.
    QCOMPARE(api("POST", "/sim/alarm", {{"group", 1}, {"id", 0}}).status, 200);
    state = exchange({{"alarms", false}});
    QCOMPARE(state.value("alarms").toArray().at(1).toArray().at(0).toInt(), 1);
}

void TestVarloSim::controlModeEchoDoesNotOverride()
{
    QVERIFY(startSimulator());
    // A client learned "disable" and echoes it in every body.
    QCOMPARE(exchange({{"controlMode", "disable"}}).value("controlMode").toString(), QString("disable"));
    QVERIFY(enable());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(exchange({{"controlMode", "disable"}}).value("controlMode").toString(), QString("enable"));
    // A change of the echoed value is a request and is applied.
    QCOMPARE(exchange({{"controlMode", "drag"}}).value("controlMode").toString(), QString("drag"));
    QCOMPARE(exchange({{"controlMode", "drag"}}).value("dragMode").toString(), QString("enable"));
    QCOMPARE(exchange({{"controlMode", "disable"}}).value("controlMode").toString(), QString("disable"));
}

void TestVarloSim::emergencyStopCycle()
{
    QVERIFY(startSimulator());
    QVERIFY(setRatio(5));
    QVERIFY(enable());
    QCOMPARE(api("POST", "/interface/moveJ", {{"joint", QJsonArray{90, 30, 30, 0, 60, 0}}, {"value", true}}).status, 200);
    QTest::qWait(200);
    QCOMPARE(api("GET", "/interface/moveJ").json().value("value").toBool(), false);
    const QJsonArray moving = exchange().value("jointCoordinate").toArray();

    QCOMPARE(api("POST", "/panel/emergencyStop", {{"value", true}}).status, 200);
    const QJsonObject status = api("GET", "/interface/moveJ").json();
    QCOMPARE(status.value("value").toBool(true), false);
    QCOMPARE(status.value("isAlarms").toBool(), true);
    QJsonObject state = exchange();
    QCOMPARE(state.value("controlMode").toString(), QString("disable"));
    QCOMPARE(state.value("alarms").toArray().at(0).toArray().at(0).toInt() & 2, 2);   // alarm 1
    // The arm stopped where it was.
    const QJsonArray stopped = state.value("jointCoordinate").toArray();
    QVERIFY(stopped.at(0).toDouble() < 90.0);
    QTest::qWait(200);
    QCOMPARE(exchange().value("jointCoordinate").toArray(), stopped);
    QVERIFY(stopped.at(0).toDouble() >= moving.at(0).toDouble());

    // While pressed: no enabling, no jogging, and clearing keeps the alarm.
    QVERIFY(!enable());
    QCOMPARE(api("POST", "/panel/jog", {{"posBtns", QJsonArray{true, false, false, false, false, false}},
                                        {"negBtns", QJsonArray{false, false, false, false, false, false}}})
                 .json().value("result").toBool(), false);
    state = exchange({{"alarms", true}});
    QCOMPARE(state.value("alarms").toArray().at(0).toArray().at(0).toInt() & 2, 2);

    // Released: the alarm stays until it is cleared, then the arm can be enabled.
    QCOMPARE(api("POST", "/panel/emergencyStop", {{"value", false}}).status, 200);
    QVERIFY(!enable());
    state = exchange({{"alarms", true}});
    QCOMPARE(state.value("alarms").toArray().at(0).toArray().at(0).toInt(), 0);
    QVERIFY(enable());
    QCOMPARE(api("POST", "/interface/moveJ", {{"joint", stopped}, {"value", true}}).status, 200);
    QJsonObject end;
    QVERIFY(waitForMotionEnd("/interface/moveJ", &end));
    QCOMPARE(end.value("isAlarms").toBool(), false);
}

void TestVarloSim::motionReachesTarget_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<QJsonArray>("joints");
    QTest::newRow("6-axis arm") << 6 << QJsonArray{30, 20, -10, 15, 70, -40};
    QTest::newRow("4-axis SCARA") << 4 << QJsonArray{30, 60, -120, 45, 0, 0};
}

void TestVarloSim::motionReachesTarget()
{
    QFETCH(int, axes);
    QFETCH(QJsonArray, joints);
    QVERIFY(startSimulator({"--axes", QString::number(axes)}));
    QVERIFY(setRatio(100));
    QVERIFY(enable());

    // Joint motion: takes its time, then reports its end and stands at the target.
    QCOMPARE(api("POST", "/interface/moveJ", {{"joint", joints}, {"value", true}}).json().value("result").toBool(), true);
    QCOMPARE(api("GET", "/interface/moveJ").json().value("value").toBool(), false);
    QJsonObject status;
    QVERIFY(waitForMotionEnd("/interface/moveJ", &status));
    QCOMPARE(status.value("isAlarms").toBool(), false);
    QJsonObject state = exchange();
    for (int i = 0; i < 6; ++i)
        QVERIFY(qAbs(state.value("jointCoordinate").toArray().at(i).toDouble() - joints.at(i).toDouble()) < 1e-3);

    // The reported pose is the forward solution of the joints.
    const QJsonArray pose = state.value("cartesianCoordinate").toArray();
    const QJsonArray solved = api("POST", "/interface/positiveSolution",
                                  {{"joint", joints}, {"tool", 0}, {"user", 0}}).json().value("coordinate").toArray();
    QCOMPARE(solved.size(), 6);
    for (int i = 0; i < 6; ++i)
        QVERIFY(qAbs(solved.at(i).toDouble() - pose.at(i).toDouble()) < 1e-3);

    // Linear motion 20 mm down and 30 mm sideways.
    QJsonArray target = pose;
    target[1] = pose.at(1).toDouble() + 30.0;
    target[2] = pose.at(2).toDouble() - 20.0;
    const QJsonObject go{{"x", target[0]}, {"y", target[1]}, {"z", target[2]}, {"a", target[3]}, {"b", target[4]},
                         {"c", target[5]}, {"tool", 0}, {"user", 0}, {"r", 0}, {"d", 0}, {"n", 0}, {"cfg", 0},
                         {"armOrientation", "right"}, {"mode", "move"}, {"value", true}};
    QCOMPARE(api("POST", "/interface/go", go).json().value("result").toBool(), true);
    QVERIFY(waitForMotionEnd("/interface/go", &status));
    QCOMPARE(status.value("isAlarms").toBool(), false);
    state = exchange();
    for (int i = 0; i < 3; ++i)
        QVERIFY(qAbs(state.value("cartesianCoordinate").toArray().at(i).toDouble() - target.at(i).toDouble()) < 1e-2);

    // The inverse solution of where the arm stands is where its joints are.
    const QJsonArray inverse = api("POST", "/interface/inverseSolution",
                                   {{"coordinate", state.value("cartesianCoordinate")}, {"r", 0}, {"d", 0}, {"n", 0},
                                    {"cfg", 0}, {"tool", 0}, {"user", 0}}).json().value("joint").toArray();
    QCOMPARE(inverse.size(), 6);
    for (int i = 0; i < axes; ++i)
        QVERIFY(qAbs(inverse.at(i).toDouble() - state.value("jointCoordinate").toArray().at(i).toDouble()) < 1e-2);

    // A target out of reach ends at once in an alarm of the motion.
    QJsonObject far = go;
    far["x"] = 5000.0;
    QCOMPARE(api("POST", "/interface/go", far).json().value("result").toBool(), false);
    status = api("GET", "/interface/go").json();
    QCOMPARE(status.value("value").toBool(true), false);
    QCOMPARE(status.value("isAlarms").toBool(), true);
    QVERIFY(api("POST", "/interface/inverseSolution", {{"coordinate", QJsonArray{5000, 0, 0, 0, 0, 0}}})
                .json().value("joint").isUndefined());
}

void TestVarloSim::motionRefusedWhenDisabled()
{
    QVERIFY(startSimulator());
    QCOMPARE(api("POST", "/interface/moveJ", {{"joint", QJsonArray{10, 0, 0, 0, 90, 0}}, {"value", true}}).status, 200);
    const QJsonObject status = api("GET", "/interface/moveJ").json();
    QCOMPARE(status.value("value").toBool(true), false);
    QCOMPARE(status.value("isAlarms").toBool(), true);
    QCOMPARE(exchange().value("jointCoordinate").toArray().at(0).toDouble(), 0.0);

    // Power off disables and keeps the arm from being enabled.
    QVERIFY(enable());
    QCOMPARE(api("POST", "/interface/powerControl", {{"value", false}}).status, 200);
    QCOMPARE(api("GET", "/interface/powerControl").json().value("value").toBool(), false);
    QJsonObject state = exchange();
    QCOMPARE(state.value("powerState").toString(), QString("off"));
    QCOMPARE(state.value("controlMode").toString(), QString("disable"));
    QVERIFY(!enable());
    QCOMPARE(api("POST", "/interface/powerControl", {{"value", true}}).status, 200);
    QVERIFY(enable());
}

void TestVarloSim::malformedRequestsKeepServing()
{
    QVERIFY(startSimulator());
    QCOMPARE(apiRaw("POST", "/protocol/exchange", "{not json").status, 400);
    QCOMPARE(apiRaw("POST", "/protocol/exchange", "[1, 2]").status, 400);
    // Keys of the wrong type are ignored, not half applied.
    const QJsonObject before = exchange();
    const QJsonObject after = exchange({{"toolCoordinate", "3"}, {"alarms", "maybe"}, {"coordinate", 1},
                                        {"outputs", QJsonObject{{"enable", true}, {"value", "zz"}}},
                                        {"controlMode", QJsonArray{}}});
    QCOMPARE(after.value("toolCoordinate"), before.value("toolCoordinate"));
    QCOMPARE(after.value("coordinate"), before.value("coordinate"));
    QCOMPARE(after.value("outputs"), before.value("outputs"));
    QCOMPARE(api("POST", "/interface/go", {{"x", "far"}}).json().value("result").toBool(), false);
    QCOMPARE(apiRaw("POST", "/interface/moveJ", "{\"joint\": [1e999]}").status, 400);
    QCOMPARE(api("POST", "/panel/jog", {{"posBtns", 7}}).json().value("result").toBool(), false);
    QCOMPARE(api("GET", "/no/such/endpoint").status, 404);
    // Settings commands without a model are stored and reported back.
    QCOMPARE(api("POST", "/interface/ethernet", {{"dhcp", false}, {"ip", "10.0.0.7"}}).status, 200);
    QCOMPARE(api("GET", "/interface/ethernet").json().value("ip").toString(), QString("10.0.0.7"));
    // A GET of a document path answers the document.
    QVERIFY(api("GET", "/settings/function/loadParams").json().contains("loadValue"));
    QCOMPARE(api("GET", "/connection/state").status, 200);
}

void TestVarloSim::twoSimulatorsOnTwoAddresses()
{
    QVERIFY(startSimulator());
    QTemporaryDir secondRoot;
    Simulator second;
    QVERIFY(second.start(secondRoot.path(), kSecondAddress, {"--axes", "4"}));
    QCOMPARE(rawRequest(kSecondAddress, kFilePort, "GET", "/file/read/properties/axis.json").json().value("axis").toInt(), 4);
    QCOMPARE(files("GET", "/file/read/properties/axis.json").json().value("axis").toInt(), 6);
    // A third one on a taken address says so and ends.
    Simulator third;
    QVERIFY(!third.start(secondRoot.path(), kSecondAddress, QStringList(), true));
    QVERIFY(second.stop());
}

void TestVarloSim::calibrations_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QJsonArray>("points");
    QTest::addColumn<QVector<double>>("expected");

    // A user frame at (100, 200, 50) turned 30 degrees about z.
    {
        const double k = M_PI / 180.0;
        const QVector<double> origin{100, 200, 50};
        const QVector<double> xDir{std::cos(30 * k), std::sin(30 * k), 0};
        const QVector<double> yDir{-std::sin(30 * k), std::cos(30 * k), 0};
        QJsonArray points;
        points.append(pointArray({origin[0], origin[1], origin[2], 180, 0, 0}));
        points.append(pointArray({origin[0] + 120 * xDir[0], origin[1] + 120 * xDir[1], 50, 180, 0, 0}));
        points.append(pointArray({origin[0] + 40 * xDir[0] + 90 * yDir[0], origin[1] + 40 * xDir[1] + 90 * yDir[1], 50,
                                  180, 0, 0}));
        QTest::newRow("user frame") << QByteArray("/calibrate/coordinate/user") << points
                                    << QVector<double>{100, 200, 50, 0, 0, 30};
    }
    // A tool tip at (10, -20, 150) on the flange, put on the point (450, 30, 120)
    // from three orientations.
    {
        const QVector<double> tip{10, -20, 150};
        const QVector<double> fixed{450, 30, 120};
        QJsonArray points;
        const double orientations[3][3] = {{180, 0, 0}, {160, 15, 10}, {200, -10, -25}};
        for (const auto &o : orientations) {
            const QVector<double> r = Rotation::fromAbc(o[0], o[1], o[2]).apply(tip);
            points.append(pointArray({fixed[0] - r[0], fixed[1] - r[1], fixed[2] - r[2], o[0], o[1], o[2]}));
        }
        QTest::newRow("tool position") << QByteArray("/calibrate/coordinate/tool/position") << points
                                       << QVector<double>{10, -20, 150};
    }
    // Flange unturned; the tool's x along the base's y, its z pointing down.
    {
        QJsonArray points;
        points.append(pointArray({300, 0, 200, 0, 0, 0}));
        points.append(pointArray({300, 50, 200, 0, 0, 0}));
        points.append(pointArray({300, 0, 150, 0, 0, 0}));
        QTest::newRow("tool orientation") << QByteArray("/calibrate/coordinate/tool/pose") << points
                                          << QVector<double>{180, 0, 90};
    }
    // Line and dot: the X axis along the base's y, the third point 40 mm
    // along that axis and 60 mm to its left.
    {
        QJsonArray points;
        points.append(pointArray({200, 0, 10, 0, 0, 0}));
        points.append(pointArray({200, 100, 10, 0, 0, 0}));
        points.append(pointArray({140, 40, 10, 0, 0, 0}));
        QTest::newRow("user line") << QByteArray("/calibrate/coordinate/userLine") << points
                                   << QVector<double>{200, 40, 10, 0, 0, 90};
        QTest::newRow("user dot") << QByteArray("/calibrate/coordinate/userDot") << points
                                  << QVector<double>{140, 40, 10, 0, 0, 90};
    }
    // A SCARA tool 30 mm along x and 40 mm along y of the hand, on the point
    // (300, 100) with the hand turned 0 and 90 degrees.
    {
        QJsonArray points;
        points.append(pointArray({270, 60, -80, 0}));
        points.append(pointArray({340, 70, -80, 90}));
        QTest::newRow("SCARA tool") << QByteArray("/calibrate/coordinate/tool") << points
                                    << QVector<double>{30, 40, 0, 0};
    }
}

void TestVarloSim::calibrations()
{
    QFETCH(QByteArray, path);
    QFETCH(QJsonArray, points);
    QFETCH(QVector<double>, expected);
    if (!m_sim)
        QVERIFY(startSimulator());
    const HttpReply r = apiRaw("POST", path, QJsonDocument(points).toJson(QJsonDocument::Compact));
    QCOMPARE(r.status, 200);
    QVERIFY2(r.json().value("result").toBool(), r.body.constData());
    const QJsonArray coordinate = r.json().value("coordinate").toArray();
    QCOMPARE(coordinate.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(std::abs(coordinate.at(i).toDouble() - expected.at(i)) < 1e-3, r.body.constData());
}

void TestVarloSim::calibrationRefusals_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("points on one line") << QByteArray("/calibrate/coordinate/user")
                                        << QByteArray("[[0,0,0,0,0,0],[100,0,0,0,0,0],[200,0,0,0,0,0]]");
    QTest::newRow("two points for three") << QByteArray("/calibrate/coordinate/user")
                                          << QByteArray("[[0,0,0,0,0,0],[100,0,0,0,0,0]]");
    QTest::newRow("same orientation thrice") << QByteArray("/calibrate/coordinate/tool/position")
                                             << QByteArray("[[0,0,0,180,0,0],[1,0,0,180,0,0],[2,0,0,180,0,0]]");
    QTest::newRow("same turn twice") << QByteArray("/calibrate/coordinate/tool")
                                     << QByteArray("[[0,0,0,10],[5,0,0,11]]");
    QTest::newRow("text for a number") << QByteArray("/calibrate/coordinate/tool/pose")
                                       << QByteArray("[[0,0,0,0,0,0],[0,\"x\",0,0,0,0],[0,0,1,0,0,0]]");
    QTest::newRow("object body") << QByteArray("/calibrate/coordinate/user") << QByteArray("{\"points\": []}");
}

void TestVarloSim::calibrationRefusals()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    if (!m_sim)
        QVERIFY(startSimulator());
    const HttpReply r = apiRaw("POST", path, body);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.json().value("result").toBool(true), false);
    QVERIFY(!r.json().contains("coordinate"));
    QVERIFY(!r.json().value("error").toString().isEmpty());
}

void TestVarloSim::scriptNotifications()
{
    NotificationListener listener(kClientAddress);
    if (!listener.isBound())
        QSKIP("the script notification ports are taken on this computer");
    QVERIFY(QDir().mkpath(projectFolder() + "/project/demo"));
    QFile script(projectFolder() + "/project/demo/main.lua");
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("-- a test program\n"
                 "print(\"hello\")\n"
                 "MovJ({0, 0, 0, 0, 90, 0})\n"
                 "\n"
                 "pause()\n"
                 "error(\"boom\")\n"
                 "print(\"never\")\n");
    script.close();
    QVERIFY(startSimulator());
    auto post = [this](const QByteArray &path, const QJsonObject &body) {
        return rawRequest(m_sim->address(), kApiPort, "POST", path, toJson(body), kClientAddress).json();
    };
    QCOMPARE(post("/debugger/start", {{"project", "demo"}}).value("result").toBool(), true);
    QCOMPARE(api("GET", "/debugger/state").json(), QJsonObject({{"value", "stop"}, {"prjname", "demo"}}));
    QCOMPARE(post("/debugger/run", {}).value("result").toBool(), true);
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("run"));

    QStringList seen;
    QVERIFY2(listener.waitFor("5000 command:pause", 5000, seen), qPrintable(seen.join(" | ")));
    // Datagrams of one line arrive together on different ports: compare as sets.
    QStringList expected{"5001 src0.lua:2", "5000 hello", "5001 src0.lua:3", "5002 src0.lua:3", "5001 src0.lua:5",
                         "5000 command:pause"};
    expected.sort();
    seen.sort();
    QCOMPARE(seen, expected);
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("pause"));
    QCOMPARE(api("GET", "/debugger/getSuspend").json().value("status").toBool(), true);
    // Paused: nothing more arrives.
    seen.clear();
    QVERIFY(!listener.waitFor("5001 src0.lua:6", 700, seen));
    QVERIFY(seen.isEmpty());

    QCOMPARE(post("/debugger/run", {}).value("result").toBool(), true);
    QVERIFY2(listener.waitFor("5000 ERROR:src0.lua:6: boom", 3000, seen), qPrintable(seen.join(" | ")));
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("stop"));
    QVERIFY(!listener.waitFor("5000 never", 700, seen));
}

void TestVarloSim::scriptRunsToTheEnd()
{
    NotificationListener listener(kClientAddress);
    if (!listener.isBound())
        QSKIP("the script notification ports are taken on this computer");
    QVERIFY(startSimulator());
    auto post = [this](const QByteArray &path, const QJsonObject &body) {
        return rawRequest(m_sim->address(), kApiPort, "POST", path, toJson(body), kClientAddress).json();
    };
    // A project without a script of its own runs the built-in program.
    QCOMPARE(post("/debugger/start", {{"project", "empty"}}).value("result").toBool(), true);
    QCOMPARE(post("/debugger/run", {}).value("result").toBool(), true);
    QStringList seen;
    QVERIFY2(listener.waitFor("5003 run script finished!", 8000, seen), qPrintable(seen.join(" | ")));
    QVERIFY(seen.filter(QRegularExpression("^5001 src0\\.lua:\\d+$")).size() >= 5);
    QVERIFY(!seen.filter(QRegularExpression("^5002 src0\\.lua:\\d+$")).isEmpty());
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("stop"));

    // The project may be named by the controller's path of its file.
    QCOMPARE(post("/debugger/start", {{"project", "/varlo/userdata/project/project/empty/prj.json"}})
                 .value("result").toBool(), true);
    QCOMPARE(api("GET", "/debugger/state").json().value("prjname").toString(), QString("empty"));
    // Names that leave the project folder are refused.
    QCOMPARE(post("/debugger/start", {{"project", "../../etc"}}).value("result").toBool(true), false);
    QCOMPARE(post("/debugger/start", {{"project", 7}}).value("result").toBool(true), false);
}

void TestVarloSim::scriptStopEndsTheRun()
{
    NotificationListener listener(kClientAddress);
    if (!listener.isBound())
        QSKIP("the script notification ports are taken on this computer");
    QVERIFY(startSimulator());
    auto post = [this](const QByteArray &path, const QJsonObject &body) {
        return rawRequest(m_sim->address(), kApiPort, "POST", path, toJson(body), kClientAddress).json();
    };
    // Run before any start: nothing to run.
    QCOMPARE(post("/debugger/run", {}).value("result").toBool(true), false);
    QCOMPARE(post("/debugger/start", {{"project", "empty"}}).value("result").toBool(), true);
    QCOMPARE(post("/debugger/run", {}).value("result").toBool(), true);
    QStringList seen;
    QVERIFY(listener.waitFor("5001 src0.lua:2", 3000, seen));
    QCOMPARE(post("/debugger/stop", {}).value("result").toBool(), true);
    QCOMPARE(api("GET", "/debugger/state").json().value("value").toString(), QString("stop"));
    listener.take();
    seen.clear();
    QVERIFY(!listener.waitFor("5003 run script finished!", 1000, seen));
    QVERIFY2(seen.isEmpty(), qPrintable(seen.join(" | ")));
}

void TestVarloSim::servicesKeepTheirState()
{
    QVERIFY(startSimulator());
    // Replay parameters become the controller's document.
    const QJsonObject replay{{"multi", 2}, {"const", 1}, {"cart", 0}, {"rev", 0}, {"sample", 50.0}, {"freq", 10.0},
                             {"loop", 3}};
    QCOMPARE(api("POST", "/settings/function/setReTraceParam", replay).json().value("result").toBool(), true);
    QCOMPARE(files("GET", "/file/read/settings/function/reTraceParams.json").json(), replay);

    // Settings without a model answer a value before anyone set one.
    QCOMPARE(api("GET", "/settings/driver/userParam").json().value("index").toInt(-1), 0);
    QCOMPARE(api("POST", "/settings/driver/userParam", {{"index", 3}}).status, 200);
    QCOMPARE(api("GET", "/settings/driver/userParam").json().value("index").toInt(), 3);
    QVERIFY(api("GET", "/settings/simulatedAxis").json().contains("joint6Simulated"));

    // Operating time runs with the power on and is cleared on request.
    const QJsonObject time = api("GET", "/settings/workTimeRec").json();
    for (const char *key : {"days", "hour", "min", "sec"}) {
        QVERIFY(time.value("powerOnTime").toObject().value(key).isDouble());
        QVERIFY(time.value("servoEnableTime").toObject().value(key).isDouble());
    }
    QCOMPARE(api("POST", "/settings/workTimeRec", {}).json().value("result").toBool(), true);
    QCOMPARE(api("GET", "/settings/workTimeRec").json().value("powerOnTime").toObject().value("sec").toInt(), 0);

    // The force sensor weighs the payload until it is zeroed.
    QJsonObject load = files("GET", "/file/read/settings/function/loadParams.json").json();
    load.insert("loadValue", 2.0);
    QCOMPARE(files("POST", "/file/write/settings/function/loadParams.json", toJson(load)).status, 200);
    QVERIFY(std::abs(api("GET", "/process/sixForce/data").json().value("value").toArray().at(2).toDouble() + 19.62) < 0.5);
    QCOMPARE(api("POST", "/process/sixForce/home", {}).status, 200);
    QVERIFY(std::abs(api("GET", "/process/sixForce/data").json().value("value").toArray().at(2).toDouble()) < 0.5);

    // Mounting posture: a base tilted 30 degrees about y.
    const QJsonObject install = api("POST", "/settings/calcInstall", {{"cartesianCoord", QJsonArray{0, 0, 0, 0, 30, 0}}}).json();
    QVERIFY2(std::abs(install.value("SlopeAngle").toDouble() - 30.0) < 1e-3, toJson(install).constData());
    QVERIFY2(std::abs(install.value("RotationAngle").toDouble()) < 1e-3, toJson(install).constData());
    QCOMPARE(api("POST", "/settings/calcInstall", {{"cartesianCoord", QJsonArray{0, 0}}}).json().value("result").toBool(true),
             false);

    // Multi-robot calibration reports whether it took the points.
    QCOMPARE(api("GET", "/calibrate/multiCalibration").json().value("state").toInt(-9), 0);
    const QJsonArray three{QJsonArray{1, 0, 0, 0, 0, 0}, QJsonArray{0, 1, 0, 0, 0, 0}, QJsonArray{0, 0, 1, 0, 0, 0}};
    api("POST", "/calibrate/multiCalibration", {{"master", three}, {"slave", three}});
    QCOMPARE(api("GET", "/calibrate/multiCalibration").json().value("state").toInt(), 1);
    api("POST", "/calibrate/multiCalibration", {{"master", three}, {"slave", QJsonArray{}}});
    QCOMPARE(api("GET", "/calibrate/multiCalibration").json().value("state").toInt(), -1);

    // Replay in debug mode runs its loops and stops on request.
    api("POST", "/interface/debugReTrace", {{"cmd", "start"}, {"addr", "a"}, {"mode", "m"}, {"loopTimes", 5}});
    QCOMPARE(api("GET", "/interface/debugReTrace").json(), QJsonObject({{"currentTimes", 0}, {"isDone", false}}));
    api("POST", "/interface/debugReTrace", {{"cmd", "stop"}, {"addr", "a"}, {"mode", "m"}, {"loopTimes", 5}});
    QCOMPARE(api("GET", "/interface/debugReTrace").json().value("isDone").toBool(), true);

    // A conveyor's encoder counts while it is listened to.
    QCOMPARE(api("POST", "/interface/readCurrentEncoder", {{"conveyor_index", 1}}).json().value("value").toDouble(-1), 0.0);
    api("POST", "/interface/listenSensor", {{"conveyor_index", 1}, {"cmd", "start"}});
    QTest::qWait(300);
    QVERIFY(api("POST", "/interface/readCurrentEncoder", {{"conveyor_index", 1}}).json().value("value").toDouble() > 0.0);
    QCOMPARE(api("POST", "/interface/readCurrentEncoder", {{"conveyor_index", 99}}).json().value("result").toBool(true),
             false);

    // The vision system answers a position.
    const QJsonObject seen = api("POST", "/interface/visionCoordinate", {{"index", 2}, {"ip", "10.0.0.9"}, {"port", "6000"}}).json();
    QVERIFY(seen.value("x").isDouble() && seen.value("y").isDouble());
}

void TestVarloSim::trajectoryCheckFindsTheUnreachablePoint()
{
    QVERIFY(startSimulator());
    const QJsonArray here = exchange().value("cartesianCoordinate").toArray();
    QJsonArray far = here;
    far[0] = 5000.0;
    const QJsonObject points{{"point", QJsonArray{QJsonObject{{"P", here}}, QJsonObject{{"P", here}},
                                                  QJsonObject{{"P", far}}}}};
    QCOMPARE(files("POST", "/file/write/process/trajectory/trajPoints.json", toJson(points)).status, 200);
    QJsonObject check = api("POST", "/interface/preHandleTrajPoints",
                            {{"addr", "trajPoints"}, {"tool", 0}, {"user", 0}, {"r", 0}, {"d", 0}, {"n", 0}, {"cfg", 0}})
                            .json();
    QCOMPARE(check.value("value").toBool(true), false);
    QCOMPARE(check.value("index").toInt(), 2);

    const QJsonObject good{{"point", QJsonArray{QJsonObject{{"P", here}}}}};
    QCOMPARE(files("POST", "/file/write/process/trajectory/trajPoints.json", toJson(good)).status, 200);
    check = api("POST", "/interface/preHandleTrajPoints", {{"addr", "trajPoints"}, {"tool", 0}, {"user", 0}}).json();
    QCOMPARE(check.value("value").toBool(), true);
    QCOMPARE(check.value("index").toInt(-1), 0);
}

QTEST_GUILESS_MAIN(TestVarloSim)
#include "tst_varlosim.moc"
