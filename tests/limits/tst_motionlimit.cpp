// The 20 s limit of a blocking motion at its real value: a motion whose end
// is never reported gives 2, after asking all along.
#include "Varlo.h"
#include "fixture.h"

using namespace VarloTest;

class tst_MotionLimit : public QObject
{
    Q_OBJECT
    Fixture f{ "127.0.0.24" };

private Q_SLOTS:
    void neverFinished() {
        START_OR_SKIP(f, f.start());
        f.ctl.on("POST", "/interface/*", QJsonObject());
        f.ctl.on("GET", "/interface/go", QJsonObject{ { "value", false }, { "isAlarms", false } });
        QCOMPARE(ConnectVarlo(qPrintable(f.ctl.address())), VARLO_OK);
        VarloTimings::resetForTesting();
        const VarloRunCmd cmd = {};
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(MovJ(&cmd, true), VARLO_MOTION_TIMEOUT);
        QVERIFY2(clock.elapsed() >= 20000 && clock.elapsed() < 22000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(f.ctl.count("GET", "/interface/go") > 100);
    }
};

QTEST_GUILESS_MAIN(tst_MotionLimit)
#include "tst_motionlimit.moc"
