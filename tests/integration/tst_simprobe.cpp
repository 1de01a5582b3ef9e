// ConnectVarlo("127.0.0.1") with VarloSim running on this computer: the
// library finds the simulator by its running program, takes the folder it runs
// from, and reads and writes the controller's documents there when the file
// service fails. Needs 127.0.0.1 and no other simulator running.
#include "Varlo.h"
#include "api/library.h"
#include "logcapture.h"
#include "robot/qrobot.h"
#include "robot/qrobotprotocol.h"
#include "simprocess.h"
#include "transport/qhttpmanager.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

QJsonDocument readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonDocument();
    return QJsonDocument::fromJson(file.readAll());
}

} // namespace

class tst_SimProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void probeFindsTheRunningSimulator();
    void documentsFromTheFolderWhenTheFileServiceFails();
    void tablesFromTheFolder();
    void exchangeRunsMeanwhile();
    void noSimulatorNoFolder();

private:
    QRobot *robot() const { return VarloLibrary::components(); }
    QString simulatorFolder() const { return m_folder.filePath(QStringLiteral("sim")); }

    QTemporaryDir m_folder;
    QTemporaryDir m_emptyShare;
    SimProcess m_sim;
};

void tst_SimProbe::initTestCase()
{
    QVERIFY(m_folder.isValid());
    qputenv("VARLO_SHARE_ROOT", m_emptyShare.path().toLocal8Bit());
    const QStringList others = SimProcess::runningSimulators();
    if (!others.isEmpty())
        QSKIP(qPrintable(QStringLiteral("another VarloSim runs on this computer (%1); the probe would find it")
                             .arg(others.join(QLatin1String(", ")))));
    QDir(m_folder.path()).mkpath(QStringLiteral("sim"));
    // A controller whose file service is down: the library has to use the
    // simulator's folder for every document.
    if (!m_sim.start(simulatorFolder(), QStringLiteral("127.0.0.1"), {"--no-file-service"}))
        QSKIP(qPrintable(QStringLiteral("VarloSim cannot run on 127.0.0.1 here: ") + m_sim.reason()));
}

// The functions build on the connection made by the first one; run alone,
// the others have nothing to talk to.
void tst_SimProbe::init()
{
    if (!VarloLibrary::components() && qstrcmp(QTest::currentTestFunction(), "probeFindsTheRunningSimulator") != 0)
        QSKIP("needs the connection made by probeFindsTheRunningSimulator()");
}

void tst_SimProbe::cleanupTestCase()
{
    DisconnectVarlo();
    m_sim.stop();
}

void tst_SimProbe::probeFindsTheRunningSimulator()
{
    VarloTest::LogCapture log;
    const int32_t result = ConnectVarlo("127.0.0.1");
    const QString expectedRoot = QDir(simulatorFolder()).canonicalPath() + QLatin1Char('/');
    if (VarloLibrary::simulatorRoot() != expectedRoot && SimProcess::runningSimulators().size() > 1)
        QSKIP("another VarloSim started meanwhile and the probe found that one");
    QCOMPARE(VarloLibrary::simulatorRoot(), expectedRoot);
    QVERIFY(log.hasLine(QStringLiteral("virtual robot root path: \"%1\"").arg(expectedRoot)));
    QVERIFY(!log.contains(QStringLiteral("VarloSim.exe is not detected")));
    QCOMPARE(result, VARLO_OK);
    QCOMPARE(VarloLibrary::axisCount(), 6);
    QCOMPARE(robot()->transport()->simulatorRoot(), expectedRoot);
}

void tst_SimProbe::documentsFromTheFolderWhenTheFileServiceFails()
{
    QHttpManager *transport = robot()->transport();
    const QString file = m_sim.projectFolder() + QStringLiteral("/settings/common.json");
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/common")));
    QCOMPARE(QJsonDocument::fromJson(text), readFile(file));

    QJsonObject common = QJsonDocument::fromJson(text).object();
    common.insert(QStringLiteral("ratio"), 44);
    QVERIFY(transport->setPara(QJsonDocument(common).toJson(), QStringLiteral("/settings/common")));
    QCOMPARE(readFile(file).object().value(QLatin1String("ratio")).toDouble(), 44.0);
    // The change notification reached the simulator, which reloaded the file.
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->controllerParams().params[0], 44.0f, 3000);
    QCOMPARE(m_sim.get(QStringLiteral("/protocol/exchange")).value(QLatin1String("controlParams")).toArray().at(0).toDouble(),
             44.0);
}

void tst_SimProbe::tablesFromTheFolder()
{
    QHttpManager *transport = robot()->transport();
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/coordinate/user")));
    QJsonArray users = QJsonDocument::fromJson(text).array();
    QCOMPARE(users.size(), 10);
    QJsonObject entry = users.at(1).toObject();
    entry.insert(QStringLiteral("alias"), QStringLiteral("table"));
    users.replace(1, entry);
    QVERIFY(transport->setPara(QJsonDocument(users).toJson(), QStringLiteral("/settings/coordinate/user")));
    const QJsonDocument stored = readFile(m_sim.projectFolder() + QStringLiteral("/settings/coordinate/user.json"));
    QCOMPARE(stored.array().at(1).toObject().value(QLatin1String("alias")).toString(), QStringLiteral("table"));
}

void tst_SimProbe::exchangeRunsMeanwhile()
{
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->jointCoordinate().joint[4], 90.0f, 3000);
    QVERIFY(robot()->protocol()->isPower());
}

void tst_SimProbe::noSimulatorNoFolder()
{
    // With the simulator gone the probe fails and the folder found before is
    // kept; the connection attempt then fails for want of a controller.
    DisconnectVarlo();
    const QString root = VarloLibrary::simulatorRoot();
    m_sim.stop();
    if (!SimProcess::runningSimulators().isEmpty())
        QSKIP("another VarloSim runs on this computer");
    VarloTest::LogCapture log;
    QCOMPARE(ConnectVarlo("127.0.0.1"), VARLO_NO_CONNECTION);
    QVERIFY(log.contains(QStringLiteral("VarloSim.exe is not detected, please open VarloSim.exe first!!!")));
    QCOMPARE(VarloLibrary::simulatorRoot(), root);
}

QTEST_GUILESS_MAIN(tst_SimProbe)
#include "tst_simprobe.moc"
