// The panel simulator's requests, and how the facade drives it.
#include "robot/qpanelsimulator.h"
#include "robot/qrobot.h"
#include "robot/qrobotprotocol.h"
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>


namespace {

const char Address[] = "127.0.0.22";

QJsonArray bools(std::initializer_list<bool> values)
{
    QJsonArray array;
    for (bool v : values)
        array.append(v);
    return array;
}

} // namespace

class tst_PanelSimulator : public QObject, public VarloTest::ComponentTest<QPanelSimulator>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent(6);
        ctl->on("POST", "/panel/*").reply(QJsonObject{ { "ok", true } });
    }
    void cleanup() { cleanupComponent(); }

    void switches_data();
    void switches();
    void jogReadsExactlySixEntries();
    void auxJogReadsExactlyThreeEntries();
    void releasingEveryButton();
    void nullArraysReleaseTheButtons();
    void failedPostIsNotReported();

    void facadeCreatesThePanelBetweenProtocolAndSettings();
    void facadeSignalsDriveThePanel();
    void panelPrintReachesTheFacade();

private:
    QPanelSimulator *&panel = component;
};

void tst_PanelSimulator::switches_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("auto") << 0 << true << "/panel/autoManual" << QJsonValue("auto");
    QTest::newRow("manual") << 0 << false << "/panel/autoManual" << QJsonValue("manual");
    QTest::newRow("three switch pressed") << 1 << true << "/panel/threeSwitch" << QJsonValue("pressed");
    QTest::newRow("three switch released") << 1 << false << "/panel/threeSwitch" << QJsonValue("released");
    QTest::newRow("emergency stop") << 2 << true << "/panel/emergencyStop" << QJsonValue(true);
    QTest::newRow("emergency stop released is a bool") << 2 << false << "/panel/emergencyStop" << QJsonValue(false);
}

void tst_PanelSimulator::switches()
{
    QFETCH(int, which);
    QFETCH(bool, on);
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    switch (which) {
    case 0: panel->switchAutoManual(on); break;
    case 1: panel->switchThreeSwitch(on); break;
    default: panel->switchEmergencyStop(on); break;
    }
    QCOMPARE(ctl->count("POST", "/panel/*"), 1);
    QCOMPARE(ctl->lastRequest("POST", path).json(), (QJsonObject{ { "value", value } }));
}

void tst_PanelSimulator::jogReadsExactlySixEntries()
{
    // The entries after the sixth are set and must not show.
    bool positive[8] = { false, true, false, false, false, true, true, true };
    bool negative[8] = { true, false, false, true, false, false, true, true };
    panel->switchJogButtons(positive, negative);
    const QJsonObject body = ctl->lastRequest("POST", "/panel/jog").json();
    QCOMPARE(body.keys(), (QStringList{ "negBtns", "posBtns" }));
    QCOMPARE(body.value("posBtns").toArray(), bools({ false, true, false, false, false, true }));
    QCOMPARE(body.value("negBtns").toArray(), bools({ true, false, false, true, false, false }));
}

void tst_PanelSimulator::auxJogReadsExactlyThreeEntries()
{
    bool positive[6] = { true, false, true, true, true, true };
    bool negative[6] = { false, true, false, true, true, true };
    panel->switchAuxJogButtons(positive, negative);
    const QJsonObject body = ctl->lastRequest("POST", "/panel/auxJog").json();
    QCOMPARE(body.value("posBtns").toArray(), bools({ true, false, true }));
    QCOMPARE(body.value("negBtns").toArray(), bools({ false, true, false }));
}

void tst_PanelSimulator::releasingEveryButton()
{
    bool none[6] = {};
    panel->switchJogButtons(none, none);
    const QJsonObject body = ctl->lastRequest("POST", "/panel/jog").json();
    const QJsonArray released = bools({ false, false, false, false, false, false });
    QCOMPARE(body.value("posBtns").toArray(), released);
    QCOMPARE(body.value("negBtns").toArray(), released);
}

void tst_PanelSimulator::nullArraysReleaseTheButtons()
{
    bool positive[6] = { true, true, true, true, true, true };
    panel->switchJogButtons(positive, nullptr);
    QJsonObject body = ctl->lastRequest("POST", "/panel/jog").json();
    QCOMPARE(body.value("negBtns").toArray(), bools({ false, false, false, false, false, false }));
    panel->switchAuxJogButtons(nullptr, nullptr);
    body = ctl->lastRequest("POST", "/panel/auxJog").json();
    QCOMPARE(body.value("posBtns").toArray(), bools({ false, false, false }));
}

void tst_PanelSimulator::failedPostIsNotReported()
{
    ctl->on("POST", "/panel/*").status(500);
    VarloTest::LogCapture log;
    panel->switchEmergencyStop(true);
    QCOMPARE(ctl->count("POST", "/panel/emergencyStop"), 1);
    QVERIFY(!log.contains("QPanelSimulator"));
}

void tst_PanelSimulator::facadeCreatesThePanelBetweenProtocolAndSettings()
{
    QRobot robot;
    robot.initialize();
    QVERIFY(robot.panel());
    QCOMPARE(robot.panel()->parent(), &robot);
    const QObjectList children = robot.children();
    const int protocol = children.indexOf(robot.protocol());
    const int panelIndex = children.indexOf(robot.panel());
    const int settings = children.indexOf(robot.settings());
    QVERIFY(protocol >= 0 && protocol < panelIndex);
    QVERIFY(panelIndex < settings);

    // A repeated setup keeps the one panel.
    QPanelSimulator *first = robot.panel();
    robot.initialize();
    QCOMPARE(robot.panel(), first);
    QCOMPARE(robot.findChildren<QPanelSimulator *>().size(), 1);
    robot.disconnectController();
}

void tst_PanelSimulator::facadeSignalsDriveThePanel()
{
    QRobot robot;
    robot.initialize();
    robot.setHostIP(QLatin1String(Address));
    robot.setHostPort(22000);

    Q_EMIT robot.switchAutoManual(true);
    Q_EMIT robot.switchThreeSwitch(false);
    Q_EMIT robot.switchEmergencyStop(false);
    bool positive[6] = { false, false, true, false, false, false };
    bool negative[6] = {};
    Q_EMIT robot.switchJogButtons(positive, negative);

    // Each emission reached the controller before it returned, in order.
    const QList<VarloTest::Request> posts = ctl->requests("POST", "/panel/*");
    QCOMPARE(posts.size(), 4);
    QCOMPARE(posts.at(0).path, QStringLiteral("/panel/autoManual"));
    QCOMPARE(posts.at(0).json().value("value"), QJsonValue("auto"));
    QCOMPARE(posts.at(1).path, QStringLiteral("/panel/threeSwitch"));
    QCOMPARE(posts.at(1).json().value("value"), QJsonValue("released"));
    QCOMPARE(posts.at(2).path, QStringLiteral("/panel/emergencyStop"));
    QCOMPARE(posts.at(2).json().value("value"), QJsonValue(false));
    QCOMPARE(posts.at(3).path, QStringLiteral("/panel/jog"));
    QCOMPARE(posts.at(3).json().value("posBtns").toArray(), bools({ false, false, true, false, false, false }));
    robot.disconnectController();
}

void tst_PanelSimulator::panelPrintReachesTheFacade()
{
    QRobot robot;
    robot.initialize();
    QSignalSpy spy(&robot, &QRobot::printQRobot);
    Q_EMIT robot.panel()->printQPanelSimulator(QStringLiteral("panel says"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("panel says"));
    robot.disconnectController();
}

QTEST_GUILESS_MAIN(tst_PanelSimulator)
#include "tst_panelsimulator.moc"
