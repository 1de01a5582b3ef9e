// The motion parameter documents: what the writers store, what the readers
// make of the controller's documents, including hostile ones.
#include "settings/qrobotsettings.h"
#include "transport/qhttpmanager.h"

#include "componenttest.h"
#include "logcapture.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#include <functional>

using VarloTest::LogCapture;
using VarloTest::numbers;

namespace {

const char Address[] = "127.0.0.21";

QList<float> listOf(const float *values, int count)
{
    QList<float> list;
    for (int i = 0; i < count; ++i)
        list.append(values[i]);
    return list;
}

QJsonObject limit(double def, double max, double min)
{
    return QJsonObject{ { "def", def }, { "max", max }, { "min", min } };
}

bool sameTriple(const LimitTriple &t, float def, float max, float min)
{
    return t.def == def && t.max == max && t.min == min;
}

// A limits record whose every triple differs: triple i is (i+0.5, i+100, -i).
DefaultLimits distinctLimits()
{
    DefaultLimits limits{};
    LimitTriple *t = reinterpret_cast<LimitTriple *>(&limits);
    for (int i = 0; i < 70; ++i)
        t[i] = LimitTriple{ float(i + 100), float(-i), float(i) + 0.5f };
    return limits;
}

// A record of motion-parameter arrays (velocity, acceleration and, with three
// arrays, jerk; each `size` numbers), written and read as the flat float array
// it is.
struct ArrayRecord
{
    int size = 0;
    int arrays = 0;
    std::function<bool(QRobotSettings *, const float *)> write;
    std::function<void(QRobotSettings *, float *)> read;
};

template <class Record>
ArrayRecord arrayRecord(int size, int arrays, bool (QRobotSettings::*set)(const Record &),
                        Record (QRobotSettings::*get)())
{
    static_assert(sizeof(Record) % sizeof(float) == 0, "a record of floats only");
    Q_ASSERT(int(sizeof(Record)) == size * arrays * int(sizeof(float)));
    ArrayRecord r;
    r.size = size;
    r.arrays = arrays;
    r.write = [set](QRobotSettings *s, const float *values) {
        Record record;
        std::memcpy(&record, values, sizeof record);
        return (s->*set)(record);
    };
    r.read = [get](QRobotSettings *s, float *values) {
        const Record record = (s->*get)();
        std::memcpy(values, &record, sizeof record);
    };
    return r;
}

} // namespace

Q_DECLARE_METATYPE(ArrayRecord)

class tst_MotionParameters : public QObject, public VarloTest::ComponentTest<QRobotSettings>
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { startController(Address); }
    void init()
    {
        initComponent(6);
        ctl->on("POST", "/settings/*").reply(QJsonObject{});
        ctl->on("POST", "/properties/*").reply(QJsonObject{});
    }
    void cleanup() { cleanupComponent(); }

    void commonRatio_data();
    void commonRatio();
    void arrayDocumentsRoundTrip_data();
    void arrayDocumentsRoundTrip();
    void hostileArrayDocuments_data();
    void hostileArrayDocuments();
    void unreadableDocumentsGiveZeros();
    void teachInch();
    void teachInchWriteFailureIsLogged();
    void archTable_data();
    void archTable();
    void archRoundTrip();
    void hasAuxJoint_data();
    void hasAuxJoint();
    void hasAuxJointFailures();
    void controllerType();
    void limitsWireForm();
    void limitsRoundTrip();
    void limitsReadPrefersTheControllersSpelling();
    void hostileLimits_data();
    void hostileLimits();
    void longerLimitArraysStayInTheirBranch();
    void readAxisCount_data();
    void readAxisCount();

private:
    QRobotSettings *&settings = component;
};

void tst_MotionParameters::commonRatio_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<float>("ratio");
    QTest::newRow("number") << QByteArray(R"({"ratio": 49.9})") << 49.9f;
    QTest::newRow("no ratio") << QByteArray(R"({"speed": 3})") << 0.f;
    QTest::newRow("ratio as text") << QByteArray(R"({"ratio": "50"})") << 0.f;
    QTest::newRow("array document") << QByteArray(R"([{"ratio": 5}])") << 0.f;
    QTest::newRow("beyond float range") << QByteArray(R"({"ratio": 1e300})") << std::numeric_limits<float>::max();
}

void tst_MotionParameters::commonRatio()
{
    QFETCH(QByteArray, document);
    QFETCH(float, ratio);
    ctl->setDocument("/settings/common", document);
    QCOMPARE(settings->commonRatio(), ratio);
}

void tst_MotionParameters::arrayDocumentsRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<ArrayRecord>("record");
    QTest::newRow("teach joint") << "/settings/teach/joint"
                                 << arrayRecord(6, 2, &QRobotSettings::setTeachJoint, &QRobotSettings::teachJoint);
    QTest::newRow("teach coordinate") << "/settings/teach/coordinate"
                                      << arrayRecord(6, 2, &QRobotSettings::setTeachCoordinate,
                                                     &QRobotSettings::teachCoordinate);
    QTest::newRow("playback joint") << "/settings/playback/joint"
                                    << arrayRecord(6, 3, &QRobotSettings::setPlaybackJoint,
                                                   &QRobotSettings::playbackJoint);
    QTest::newRow("playback coordinate") << "/settings/playback/coordinate"
                                         << arrayRecord(2, 3, &QRobotSettings::setPlaybackCoordinate,
                                                        &QRobotSettings::playbackCoordinate);
    QTest::newRow("teach aux joint") << "/settings/teach/auxJoint"
                                     << arrayRecord(3, 2, &QRobotSettings::setTeachAuxJoint,
                                                    &QRobotSettings::teachAuxJoint);
    QTest::newRow("playback aux joint") << "/settings/playback/auxJoint"
                                        << arrayRecord(3, 3, &QRobotSettings::setPlaybackAuxJoint,
                                                       &QRobotSettings::playbackAuxJoint);
}

void tst_MotionParameters::arrayDocumentsRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(ArrayRecord, record);
    // Every number distinct and not a whole one, so that a value in the wrong
    // array or place shows.
    QVector<float> written(record.size * record.arrays);
    for (int i = 0; i < written.size(); ++i)
        written[i] = 1.25f * (i + 1) * (i % 2 ? -1 : 1);
    QVERIFY(record.write(settings, written.constData()));

    const char *const keys[] = { "velocity", "acceleration", "jerk" };
    QJsonObject expected;
    for (int a = 0; a < record.arrays; ++a) {
        QJsonArray values;
        for (int i = 0; i < record.size; ++i)
            values.append(double(written.at(a * record.size + i)));
        expected.insert(keys[a], values);
    }
    QCOMPARE(ctl->documentObject(name), expected);

    QVector<float> read(written.size(), 99.0f);
    record.read(settings, read.data());
    QCOMPARE(read, written);
}

void tst_MotionParameters::hostileArrayDocuments_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QList<float>>("velocity");
    QTest::addColumn<QList<float>>("acceleration");
    const QList<float> zeros{ 0, 0, 0, 0, 0, 0 };
    QTest::newRow("velocity a number") << QByteArray(R"({"velocity": 5, "acceleration": [1,2,3,4,5,6]})") << zeros
                                       << QList<float>{ 1, 2, 3, 4, 5, 6 };
    QTest::newRow("missing acceleration") << QByteArray(R"({"velocity": [1,2,3,4,5,6]})")
                                          << QList<float>{ 1, 2, 3, 4, 5, 6 } << zeros;
    QTest::newRow("short and long arrays") << QByteArray(R"({"velocity": [1,2], "acceleration": [1,2,3,4,5,6,7,8,9]})")
                                           << QList<float>{ 1, 2, 0, 0, 0, 0 } << QList<float>{ 1, 2, 3, 4, 5, 6 };
    QTest::newRow("mixed element types")
        << QByteArray(R"({"velocity": [1,"2",null,{"a":1},[5],true], "acceleration": {"0": 1}})")
        << QList<float>{ 1, 0, 0, 0, 0, 0 } << zeros;
    QTest::newRow("top level array") << QByteArray(R"([[1,2,3,4,5,6]])") << zeros << zeros;
    QTest::newRow("huge numbers clamp")
        << QByteArray(R"({"velocity": [1e300,-1e300,0,0,0,0]})")
        << QList<float>{ std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 0, 0, 0, 0 } << zeros;
}

void tst_MotionParameters::hostileArrayDocuments()
{
    QFETCH(QByteArray, document);
    QFETCH(QList<float>, velocity);
    QFETCH(QList<float>, acceleration);
    ctl->setDocument("/settings/teach/joint", document);
    const TeachParams p = settings->teachJoint();
    QCOMPARE(listOf(p.velocity, 6), velocity);
    QCOMPARE(listOf(p.acceleration, 6), acceleration);

    // Records with shorter arrays take their own length from the same kind of document.
    ctl->setDocument("/settings/playback/coordinate", document);
    const PlaybackCoordinateParams pc = settings->playbackCoordinate();
    QCOMPARE(listOf(pc.velocity, 2), velocity.mid(0, 2));
    QCOMPARE(listOf(pc.acceleration, 2), acceleration.mid(0, 2));
    QCOMPARE(listOf(pc.jerk, 2), (QList<float>{ 0, 0 }));
}

void tst_MotionParameters::unreadableDocumentsGiveZeros()
{
    // Nothing stored and no share: every reader gives a record of zeros.
    const TeachParams zeroTeach{};
    const TeachParams teach = settings->teachCoordinate();
    QCOMPARE(std::memcmp(&teach, &zeroTeach, sizeof teach), 0);
    const QRobotType::TeachInch inch = settings->teachInch();
    QCOMPARE(inch.distance, 0.f);
    QCOMPARE(inch.angle, 0.f);
    const ArchTable arch = settings->playbackArch();
    for (const ArchEntry &e : arch.entry)
        QVERIFY(!e.enable && e.startHeight == 0 && e.endHeight == 0 && e.zLimit == 0);
    QCOMPARE(settings->commonRatio(), 0.f);

    // Text that is not JSON, from the share.
    putShareFile("/settings/playback/joint", "velocity=1,2,3");
    const PlaybackJointParams zeroJoint{};
    const PlaybackJointParams joint = settings->playbackJoint();
    QCOMPARE(std::memcmp(&joint, &zeroJoint, sizeof joint), 0);
}

void tst_MotionParameters::teachInch()
{
    QVERIFY(settings->setTeachInch(QRobotType::TeachInch{ 0.5f, 2.25f }));
    QCOMPARE(ctl->documentObject("/settings/teach/inch"), (QJsonObject{ { "distance", 0.5 }, { "angle", 2.25 } }));
    const QRobotType::TeachInch back = settings->teachInch();
    QCOMPARE(back.distance, 0.5f);
    QCOMPARE(back.angle, 2.25f);

    ctl->setDocument("/settings/teach/inch", QByteArray(R"({"angle": [1], "distance": 3})"));
    const QRobotType::TeachInch hostile = settings->teachInch();
    QCOMPARE(hostile.distance, 3.f);
    QCOMPARE(hostile.angle, 0.f);
}

void tst_MotionParameters::teachInchWriteFailureIsLogged()
{
    ctl->onWrite("/settings/teach/inch").status(500);
    ctl->onWrite("/settings/teach/joint").status(500);
    LogCapture log;
    QVERIFY(!settings->setTeachInch(QRobotType::TeachInch{ 1, 1 }));
    QVERIFY(log.hasLine("bool QRobotSettings::setTeachInch(const QRobotType::TeachInch&) setParaError"));
    QVERIFY(!ctl->hasDocument("/settings/teach/inch"));

    log.clear();
    QVERIFY(!settings->setTeachJoint(TeachParams{}));
    QVERIFY(!log.contains("QRobotSettings"));
}

void tst_MotionParameters::archTable_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("4 entries fill 0 to 3") << 4;
    QTest::newRow("10 entries") << 10;
    QTest::newRow("14 entries, the excess ignored") << 14;
}

void tst_MotionParameters::archTable()
{
    QFETCH(int, entries);
    QJsonArray document;
    for (int i = 0; i < entries; ++i) {
        document.append(QJsonObject{ { "enable", i % 2 == 0 },
                                     { "params", QJsonObject{ { "startHeight", 10.0 + i },
                                                              { "endHeight", 20.0 + i },
                                                              { "zLimit", 30.0 + i } } } });
    }
    ctl->setDocument("/settings/playback/arch", document);

    // Bytes right after the table show whether a reader wrote past its end.
    struct Guarded
    {
        ArchTable table;
        unsigned char guard[64];
    } guarded;
    std::memset(&guarded, 0xA5, sizeof guarded);
    guarded.table = settings->playbackArch();
    for (unsigned char byte : guarded.guard)
        QCOMPARE(int(byte), 0xA5);

    for (int i = 0; i < ArchTable::Size; ++i) {
        const ArchEntry &e = guarded.table.entry[i];
        if (i < entries) {
            QCOMPARE(e.enable, i % 2 == 0);
            QCOMPARE(e.startHeight, float(10 + i));
            QCOMPARE(e.endHeight, float(20 + i));
            QCOMPARE(e.zLimit, float(30 + i));
        } else {
            QCOMPARE(e.enable, false);
            QCOMPARE(e.startHeight, 0.f);
            QCOMPARE(e.endHeight, 0.f);
            QCOMPARE(e.zLimit, 0.f);
        }
    }
}

void tst_MotionParameters::archRoundTrip()
{
    ArchTable table{};
    for (int i = 0; i < ArchTable::Size; ++i)
        table.entry[i] = ArchEntry{ i == 3, float(i), float(i) * 2, float(i) * -3 };
    QVERIFY(settings->setPlaybackArch(table));

    const QJsonArray stored = ctl->document("/settings/playback/arch").array();
    QCOMPARE(stored.size(), 10);
    QCOMPARE(stored.at(3).toObject(),
             (QJsonObject{ { "enable", true },
                           { "params", QJsonObject{ { "startHeight", 3.0 }, { "endHeight", 6.0 }, { "zLimit", -9.0 } } } }));

    const ArchTable back = settings->playbackArch();
    for (int i = 0; i < ArchTable::Size; ++i) {
        QCOMPARE(back.entry[i].enable, table.entry[i].enable);
        QCOMPARE(back.entry[i].startHeight, table.entry[i].startHeight);
        QCOMPARE(back.entry[i].endHeight, table.entry[i].endHeight);
        QCOMPARE(back.entry[i].zLimit, table.entry[i].zLimit);
    }

    // Elements of the wrong kind keep their place: entry 1 stays zero, entry 2 is read.
    ctl->setDocument("/settings/playback/arch",
                    QByteArray(R"([{"enable": true}, 7, {"params": {"zLimit": 4}}, {"params": [1,2,3]}])"));
    const ArchTable odd = settings->playbackArch();
    QCOMPARE(odd.entry[0].enable, true);
    QCOMPARE(odd.entry[1].enable, false);
    QCOMPARE(odd.entry[2].zLimit, 4.f);
    QCOMPARE(odd.entry[3].startHeight, 0.f);

    // An object document is no table.
    ctl->setDocument("/settings/playback/arch", QByteArray(R"({"enable": true})"));
    const ArchTable none = settings->playbackArch();
    QCOMPARE(none.entry[0].enable, false);
}

void tst_MotionParameters::hasAuxJoint_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("value");
    QTest::newRow("true") << QByteArray(R"({"value": true})") << true << true;
    QTest::newRow("false") << QByteArray(R"({"value": false})") << true << false;
    QTest::newRow("missing key") << QByteArray(R"({"other": true})") << true << false;
    QTest::newRow("number is no bool") << QByteArray(R"({"value": 1})") << true << false;
}

void tst_MotionParameters::hasAuxJoint()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, result);
    QFETCH(bool, value);
    ctl->setDocument("/settings/function/hasAuxJoint", document);
    bool has = !value;
    QCOMPARE(settings->hasAuxJoint(has), result);
    QCOMPARE(has, value);

    QVERIFY(settings->setHasAuxJoint(!value));
    QCOMPARE(ctl->documentObject("/settings/function/hasAuxJoint"), (QJsonObject{ { "value", !value } }));
    QVERIFY(settings->hasAuxJoint(has));
    QCOMPARE(has, !value);
}

void tst_MotionParameters::hasAuxJointFailures()
{
    LogCapture log;
    bool has = true;
    QVERIFY(!settings->hasAuxJoint(has));
    QVERIFY(log.hasLine("hasAuxJoint_getParaError"));

    log.clear();
    putShareFile("/settings/function/hasAuxJoint", "yes");
    QVERIFY(!settings->hasAuxJoint(has));
    QVERIFY(!log.contains("hasAuxJoint_getParaError"));
}

void tst_MotionParameters::controllerType()
{
    ControllerType type;
    type.version = 9;
    type.name = QStringLiteral("old");
    QVERIFY(!settings->controllerType(type));
    QCOMPARE(type.version, 9);

    ctl->setDocument("/properties/controllerType", QByteArray(R"({"version": 3, "name": "V-Arm"})"));
    QVERIFY(settings->controllerType(type));
    QCOMPARE(type.version, 3);
    QCOMPARE(type.name, QStringLiteral("V-Arm"));

    // Present keys only; a fractional version is no version.
    ctl->setDocument("/properties/controllerType", QByteArray(R"({"version": 2.5})"));
    QVERIFY(settings->controllerType(type));
    QCOMPARE(type.version, 0);
    QCOMPARE(type.name, QStringLiteral("V-Arm"));

    ctl->setDocument("/properties/controllerType", QByteArray(R"([{"version": 1}])"));
    QVERIFY(!settings->controllerType(type));
}

void tst_MotionParameters::limitsWireForm()
{
    const DefaultLimits limits = distinctLimits();
    QVERIFY(settings->setDefaultLimits(limits));
    const QJsonObject doc = ctl->documentObject("/properties/default");
    QCOMPARE(doc.keys(), (QStringList{ "common", "dragSensivity", "playback", "teach" }));
    QCOMPARE(doc.value("common").toObject().value("ratio").toObject(), limit(0.5, 100, 0));
    const QJsonArray teachJointVelocity =
        doc.value("teach").toObject().value("joint").toObject().value("velocity").toArray();
    QCOMPARE(teachJointVelocity.size(), 6);
    QCOMPARE(teachJointVelocity.at(5).toObject(), limit(6.5, 106, -6));
    const QJsonObject playback = doc.value("playback").toObject();
    QCOMPARE(playback.value("coordinate").toObject().value("jerk").toArray().size(), 6);
    QCOMPARE(playback.value("arch").toObject().value("zLimit").toObject(), limit(63.5, 163, -63));
    const QJsonObject drag = doc.value("dragSensivity").toObject();
    QCOMPARE(drag.keys(), (QStringList{ "J1", "J2", "J3", "J4", "J5", "J6" }));
    QCOMPARE(drag.value("J6").toObject(), limit(69.5, 169, -69));
}

void tst_MotionParameters::limitsRoundTrip()
{
    // The document written here names the drag sensitivity "J1".."J6"; it
    // reads back as written, drag sensitivity included.
    const DefaultLimits limits = distinctLimits();
    QVERIFY(settings->setDefaultLimits(limits));
    DefaultLimits back;
    std::memset(&back, 0x7F, sizeof back);
    QVERIFY(settings->defaultLimits(back));
    QCOMPARE(std::memcmp(&back, &limits, sizeof back), 0);
}

void tst_MotionParameters::limitsReadPrefersTheControllersSpelling()
{
    ctl->setDocument("/properties/default",
                    QJsonObject{ { "dragSensivity", QJsonObject{ { "j1", limit(1, 2, 3) }, { "J1", limit(7, 8, 9) },
                                                                 { "J2", limit(4, 5, 6) } } } });
    DefaultLimits limits;
    QVERIFY(settings->defaultLimits(limits));
    QVERIFY(sameTriple(limits.dragSensitivity[0], 1, 2, 3));
    QVERIFY(sameTriple(limits.dragSensitivity[1], 4, 5, 6));
    QVERIFY(sameTriple(limits.dragSensitivity[2], 0, 0, 0));
}

void tst_MotionParameters::hostileLimits_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("result");
    QTest::newRow("not an object") << QByteArray(R"([1,2])") << false;
    QTest::newRow("branches of wrong types")
        << QByteArray(R"({"common": 5, "teach": [1], "playback": {"joint": "x", "arch": []}, "dragSensivity": 1})")
        << true;
    QTest::newRow("limits of wrong types")
        << QByteArray(R"({"common": {"ratio": [1,2,3]}, "teach": {"joint": {"velocity": [1, "a", null, [], true, {}]}}})")
        << true;
}

void tst_MotionParameters::hostileLimits()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, result);
    ctl->setDocument("/properties/default", document);
    DefaultLimits limits;
    std::memset(&limits, 0x7F, sizeof limits);
    QCOMPARE(settings->defaultLimits(limits), result);
    const DefaultLimits zeros{};
    QCOMPARE(std::memcmp(&limits, &zeros, sizeof limits), 0);
}

void tst_MotionParameters::longerLimitArraysStayInTheirBranch()
{
    QJsonArray eight;
    for (int i = 0; i < 8; ++i)
        eight.append(limit(i + 1, 10 * (i + 1), -i));
    ctl->setDocument("/properties/default",
                    QJsonObject{ { "teach", QJsonObject{ { "joint", QJsonObject{ { "velocity", eight } } } } },
                                 { "playback", QJsonObject{ { "coordinate", QJsonObject{ { "jerk", eight } } } } } });
    DefaultLimits limits;
    QVERIFY(settings->defaultLimits(limits));
    for (int i = 0; i < 6; ++i) {
        QVERIFY(sameTriple(limits.teachJointVelocity[i], i + 1, 10 * (i + 1), -i));
        QVERIFY(sameTriple(limits.playbackCoordinateJerk[i], i + 1, 10 * (i + 1), -i));
        // The branches that follow in the record are untouched.
        QVERIFY(sameTriple(limits.teachJointAcceleration[i], 0, 0, 0));
    }
    QVERIFY(sameTriple(limits.archStartHeight, 0, 0, 0));
}

void tst_MotionParameters::readAxisCount_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("axes");
    QTest::newRow("six") << QByteArray(R"({"axis": 6})") << 6;
    QTest::newRow("four") << QByteArray(R"({"axis": 4})") << 4;
    QTest::newRow("no key") << QByteArray(R"({"axes": 6})") << 0;
    QTest::newRow("array") << QByteArray(R"([6])") << 0;
}

void tst_MotionParameters::readAxisCount()
{
    QFETCH(QByteArray, document);
    QFETCH(int, axes);
    ctl->setDocument("/properties/axis", document);
    QCOMPARE(settings->readAxisCount(), axes);
}

QTEST_GUILESS_MAIN(tst_MotionParameters)
#include "tst_motionparameters.moc"
