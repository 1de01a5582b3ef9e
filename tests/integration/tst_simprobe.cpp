// ConnectVarlo("127.0.0.1") with VarloSim running on this computer: the
// library finds the simulator by its running program, takes the folder it
// keeps its documents in (its --root, not the program's folder), and reads and
// writes the controller's documents there when the file service fails. Needs
// 127.0.0.1 and no other simulator running.
#include "Varlo.h"
#include "api/library.h"
#include "logcapture.h"
#include "Varlo/qrobot.h"
#include "Varlo/qrobotprotocol.h"
#include "simprocess.h"
#include "Varlo/qhttpmanager.h"
#include "robot/simulatorprobe.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>


class tst_SimProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void probeFindsTheRunningSimulator();
    void documentsFromTheFolderWhenTheFileServiceFails();
    void noSimulatorNoFolder();

private:
    QRobot *robot() const { return VarloLibrary::components(); }

    QTemporaryDir m_folder;
    QTemporaryDir m_emptyShare;
    SimProcess m_sim;
};

void tst_SimProbe::initTestCase()
{
    qputenv("VARLO_SHARE_ROOT", m_emptyShare.path().toLocal8Bit());
    QString other;
    if (SimulatorProbe::detectVirtualController(&other))
        QSKIP(qPrintable(QStringLiteral("another VarloSim serves 127.0.0.1 (%1); the probe would find it").arg(other)));
    // A controller whose file service is down: the library has to use the
    // simulator's folder for every document.
    if (!m_sim.start(m_folder.path(), QStringLiteral("127.0.0.1"), {"--no-file-service"}))
        QSKIP(qPrintable(QStringLiteral("VarloSim cannot run on 127.0.0.1 here: ") + m_sim.reason()));
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
    const QString expectedRoot = QDir(m_folder.path()).canonicalPath() + QLatin1Char('/');
    QCOMPARE(VarloLibrary::simulatorRoot(), expectedRoot);
    QVERIFY(log.hasLine(QStringLiteral("virtual robot root path: \"%1\"").arg(expectedRoot)));
    QCOMPARE(result, VARLO_OK);
}

void tst_SimProbe::documentsFromTheFolderWhenTheFileServiceFails()
{
    QHttpManager *transport = robot()->transport();
    const QString file = m_sim.projectFolder() + QStringLiteral("/settings/common.json");
    QByteArray text;
    QVERIFY(transport->getPara(text, QStringLiteral("/settings/common")));
    QCOMPARE(QJsonDocument::fromJson(text), readJsonFile(file));

    QJsonObject common = QJsonDocument::fromJson(text).object();
    common.insert(QStringLiteral("ratio"), 44);
    QVERIFY(transport->setPara(QJsonDocument(common).toJson(), QStringLiteral("/settings/common")));
    QCOMPARE(readJsonFile(file).object().value(QLatin1String("ratio")).toDouble(), 44.0);
    // The change notification reached the simulator, which reloaded the file.
    QTRY_COMPARE_WITH_TIMEOUT(robot()->protocol()->controllerParams().params[0], 44.0f, 3000);
}

void tst_SimProbe::noSimulatorNoFolder()
{
    // With the simulator gone the probe fails and the folder found before is
    // kept; the connection attempt then fails for want of a controller.
    DisconnectVarlo();
    const QString root = VarloLibrary::simulatorRoot();
    m_sim.stop();
    QString other;
    if (SimulatorProbe::detectVirtualController(&other))
        QSKIP("another VarloSim serves 127.0.0.1");
    VarloTest::LogCapture log;
    QCOMPARE(ConnectVarlo("127.0.0.1"), VARLO_NO_CONNECTION);
    QVERIFY(log.contains(QStringLiteral("VarloSim.exe is not detected, please open VarloSim.exe first!!!")));
    QCOMPARE(VarloLibrary::simulatorRoot(), root);
}

QTEST_GUILESS_MAIN(tst_SimProbe)
#include "tst_simprobe.moc"
