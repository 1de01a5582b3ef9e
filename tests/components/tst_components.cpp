// The settings and collaborative components against the controller double:
// every document get/set pair in one round-trip table, the bounds of what a
// reader fills, texts cut to their fields, the documents with rules of their
// own, the project paths, and the commands whose wire form has a rule.
#include "Varlo/qrobotcollaborative.h"
#include "fixture.h"
#include "Varlo/coordinatetypes.h"
#include "Varlo/qrobotsettings.h"
#include "Varlo/qhttpmanager.h"

#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>

using namespace VarloTest;

namespace {

const char Address[] = "127.0.0.40";
const char Points[] = "//127.0.0.40/project/project/demo/points.json";

struct Components
{
    QHttpManager http{ nullptr };
    QRobotSettings s{ &http, nullptr };
    QRobotCollaborative c{ &http, nullptr };
};

// A sample for a record: bytes of 0 and 1 in an irregular pattern, different
// at every call, so that every field holds a valid value of its own and a
// value that lands in another field shows.
template <class T> void pattern(T &record)
{
    static_assert(std::is_trivially_copyable<T>::value, "a plain record");
    static quint32 n = 1;
    auto *bytes = reinterpret_cast<unsigned char *>(&record);
    for (size_t k = 0; k < sizeof record; ++k) {
        n = n * 1103515245u + 12345u;
        bytes[k] = (n >> 16) & 1;
    }
}
void pattern(bool &b) { b = true; }
void pattern(float &f) { f = 12.375f; }
void pattern(QString &s)
{
    static int n = 0;
    s = QStringLiteral("text \u00e9 %1").arg(++n);
}
void pattern(StopModeSettings &r) { pattern(r.x); r.speed = 7; r.cfg = 3; pattern(r.mode); r.enable = true; }
void pattern(RemoteControl &r) { pattern(r.name); pattern(r.mode); }
void pattern(ModbusConf &r) { r.id = 9; pattern(r.mode); }
void pattern(VisionCalibration (&table)[VisionCalibrationCount])
{
    for (VisionCalibration &v : table) {
        pattern(v.name);
        pattern(v.method);
        pattern(v.matrix);
        pattern(v.coordinate);
        v.fixed = 1;
    }
}
void pattern(QRobotCoor::ExtendIOParams &r)
{
    for (QRobotCoor::ExtendIODevice &d : r.device) {
        pattern(d.DI);
        pattern(d.DO);
        d.id = d.DI.addr + 1;
        pattern(d.ip);
        pattern(d.name);
    }
}

using F6 = float[6];
using Vision = VisionCalibration[VisionCalibrationCount];
using Pallets = PalletDef[PalletCount];
using TeachPallets = TeachPalletDef[PalletCount];

// One document pair: with `sample` true the setter writes a sample; else the
// getter reads into a fresh record and the setter writes that back.
struct Trip
{
    const char *document;
    std::function<bool(Components &, bool sample)> write;
};
template <class T> struct Box
{
    T value{};
};
#define TRIP(document, Type, adjust, read, write)                                                                     \
    Trip{ document, [](Components &x, bool sample) {                                                                  \
             const auto box = std::make_unique<Box<Type>>();                                                          \
             Type &v = box->value;                                                                                    \
             if (sample) { pattern(v); adjust; } else { read; }                                                       \
             return write;                                                                                            \
         } }

// The usual shapes: the getter returns the record (VAL) or fills it (REF);
// S the settings component, C the collaborative one.
#define S_VAL(document, Type, get, set) TRIP(document, Type, , v = x.s.get(), x.s.set(v))
#define S_REF(document, Type, get, set) TRIP(document, Type, , x.s.get(v), x.s.set(v))
#define C_REF(document, Type, get, set) TRIP(document, Type, , x.c.get(v), x.c.set(v))

QList<Trip> trips()
{
    return {
        S_VAL("/settings/coordinate/tool", CoordinateTable, toolCoordinates, setToolCoordinates),
        S_VAL("/settings/coordinate/user", CoordinateTable, userCoordinates, setUserCoordinates),
        S_VAL("/settings/function/pointLoad", PointLoadTable, pointLoads, setPointLoads),
        S_VAL("/settings/common", float, commonRatio, setCommonRatio),
        S_VAL("/settings/teach/joint", TeachParams, teachJoint, setTeachJoint),
        S_VAL("/settings/teach/coordinate", TeachParams, teachCoordinate, setTeachCoordinate),
        S_VAL("/settings/teach/inch", QRobotType::TeachInch, teachInch, setTeachInch),
        S_VAL("/settings/playback/joint", PlaybackJointParams, playbackJoint, setPlaybackJoint),
        S_VAL("/settings/playback/coordinate", PlaybackCoordinateParams, playbackCoordinate, setPlaybackCoordinate),
        S_VAL("/settings/playback/arch", ArchTable, playbackArch, setPlaybackArch),
        S_VAL("/settings/teach/auxJoint", AuxTeachParams, teachAuxJoint, setTeachAuxJoint),
        S_VAL("/settings/playback/auxJoint", AuxPlaybackParams, playbackAuxJoint, setPlaybackAuxJoint),
        S_REF("/settings/function/hasAuxJoint", bool, hasAuxJoint, setHasAuxJoint),
        S_REF("/properties/default", DefaultLimits, defaultLimits, setDefaultLimits),
        S_REF("/settings/productInfo/hardwareInfo", QRobotType::HWVersion, versionHW, setVersionHW),
        S_REF("/settings/function/stopMode", StopModeSettings, stopMode, setStopMode),
        S_REF("/settings/function/remoteControl", RemoteControl, remoteControl, setRemoteControl),
        S_REF("/settings/function/modbusConf", ModbusConf, modbusConf, setModbusConf),
        S_REF("/settings/function/runToMode", QString, runToMode, setRunToMode),
        S_REF("/settings/offline", OfflineSettings, offline, setOffline),
        S_REF("/process/flyPhoto/latchPos", LatchPos, latchPos, setLatchPos),
        S_REF("/process/vision_calibrate", Vision, visionCalibration, setVisionCalibration),
        S_REF("/properties/driverParams", QRobotType::DriverParamsGroup, getBasicDriverParams, setBasicDriverParams),
        S_REF("/settings/driver/userParams", QRobotType::DriverParamsGroup, getUserDriverParams, setUserDriverParams),
        TRIP("/process/tracking", TrackingSettings, v.count = 2, x.s.tracking(v), x.s.setTracking(v)),
        S_REF("/properties/structure", RobotStructure, structure, setStructure),
        S_REF("/settings/function/CustomPoint", F6, customPoint, setCustomPoint),
        // "direction" is not read back.
        TRIP("/process/pallet", Pallets, for (PalletDef &p : v) p.direction = 0,
             x.s.pallets("//127.0.0.40/project/process/pallet.json", v), x.s.setPallets(v)),
        TRIP("/project/demo/points", TeachPointTable, , x.s.loadTeachPoints(Points, 6, v), x.s.saveTeachPoints(Points, v, 6)),
        TRIP("/project/demo/points", TeachPointTable, , x.s.loadTeachPoints(Points, 4, v), x.s.saveTeachPoints(Points, v, 4)),
        TRIP("/process/pallet/box", TeachPointTable, , x.s.palletPoints("box", 6, v), x.s.setPalletPoints("box", v, 6)),
        // The layer heights are read back through the layout sequence; each
        // layout's points end at the first empty one.
        TRIP("/process/pallet/teachPallet", TeachPallets, for (TeachPalletDef &p : v) {
                 p.name[0] = 'n';
                 for (int k = 0; k < PalletLayoutCount; ++k) {
                     p.layoutSeq[k] = k + 1;
                     std::memset(&p.layouts[k].point[2], 0, sizeof(TeachPoint));
                 }
             }, x.s.teachPallets(v), x.s.setTeachPallets(v)),
        Trip{ "/settings/function/collisionDect", [](Components &x, bool sample) {
                 bool value = sample, mode = sample, resume = false;
                 int level = sample ? 4 : 0;
                 if (!sample)
                     x.c.getCollisionDect(value, mode, resume, level);
                 return x.c.setCollisionDect(value, mode, resume, level);
             } },
        C_REF("/settings/function/elecSkin", bool, getElecSkin, setElecSkin),
        // "mode" is not read back.
        TRIP("/settings/function/elecSkinParams", QRobotCoor::ElecSkinPars, v.mode = 0, x.c.getElecSkinParams(v),
             x.c.setElecSkinParams(v)),
        C_REF("/settings/safemode", SafeModeParams, getSafeMode, setSafeMode),
        C_REF("/settings/function/loadParams", QRobotCoor::Load, getLoadCenter, setLoadCenter),
        C_REF("/settings/function/loadParams", QRobotCoor::Load, getLoadInertia, setLoadInertia),
        C_REF("/process/sixForce/switch", bool, getForceSensor, setForceSensor),
        C_REF("/settings/torqueParams", float, getTorqueParams, setTorqueParams),
        C_REF("/settings/function/install", QRobotCoor::InstallPosture, getInstallPosture, setInstallPosture),
        C_REF("/settings/function/dragSensivity", QRobotCoor::DragSensivity, getDragSensivity, setDragSensivity),
        C_REF("/settings/function/endAI", QRobotCoor::EndAI, getEndAI, setEndAI),
        C_REF("/settings/function/gpioAI", QRobotCoor::GPIOAI, getGPIOAI, setGPIOAI),
        C_REF("/settings/function/gpioAO", QRobotCoor::GPIOAO, getGPIOAO, setGPIOAO),
        C_REF("/settings/function/robotiqGripperEnable", bool, getIQGripperEnable, setIQGripperEnable),
        C_REF("/settings/function/hitbotGripperEnable", bool, getHitbotGripperEnable, setHitbotGripperEnable),
        C_REF("/settings/function/modbus_io_config", QRobotCoor::ExtendIOParams, getExtendIOParams, setExtendIOParams),
        TRIP("/settings/coordinate/user", UserFrameTable, , v = x.c.userFrames(), x.c.setUserFrames(v)),
    };
}

// Reads into a record followed by guard bytes; true when no guard byte changed.
template <class T> bool staysInside(const std::function<void(T &)> &read)
{
    struct Guarded
    {
        T record;
        unsigned char guard[64];
    };
    const auto g = std::make_unique<Guarded>();
    std::memset(g->guard, 0xA5, sizeof g->guard);
    read(g->record);
    return QByteArray(reinterpret_cast<char *>(g->guard), 64) == QByteArray(64, char(0xA5));
}

using Read = std::function<bool(Components &)>;
using Call = std::function<bool(Components &)>;

} // namespace

Q_DECLARE_METATYPE(Trip)
Q_DECLARE_METATYPE(Read)

class tst_Components : public QObject
{
    Q_OBJECT
    Fixture f{ Address };
    FakeController &ctl = f.ctl;
    Components *x = nullptr;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(f.start());
        x = new Components;
        x->http.setHost(Address);
    }
    void cleanupTestCase() { delete x; }
    void init() {
        f.reset();
        for (const char *commands : { "/interface/*", "/settings/*", "/panel/*", "/calibrate/*" })
            ctl.on("*", commands, QJsonObject());
    }

    // Written through the setter, read back through the getter into a fresh
    // record and written again: the same document. A failed write reports
    // false and changes nothing.
    void roundTrip_data() {
        QTest::addColumn<Trip>("trip");
        for (const Trip &trip : trips())
            QTest::newRow(trip.document) << trip;
    }
    void roundTrip() {
        QFETCH(Trip, trip);
        ctl.setDocument(trip.document, QJsonObject{ { "kept", true } }); // what a read-modify-write keeps
        QVERIFY(trip.write(*x, true));
        const QJsonDocument written = ctl.document(trip.document);
        QVERIFY(!written.isNull());
        QVERIFY(trip.write(*x, false));
        QCOMPARE(ctl.document(trip.document).toJson(QJsonDocument::Compact), written.toJson(QJsonDocument::Compact));
        ctl.on("POST", "/file/write/*", Reply::error());
        QVERIFY(!trip.write(*x, true));
        QCOMPARE(ctl.document(trip.document), written);
    }

    // Documents with more entries, longer arrays and longer texts than the
    // records hold: nothing is written past a record.
    void readersStayInTheirRecords_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QJsonValue>("content");
        QTest::addColumn<Read>("read");
        const QString long40 = QString(40, 'b');
        const QJsonArray nine = numbers({ 1, 2, 3, 4, 5, 6, 7, 8, 9 });
        const QJsonObject frame{ { "enable", true }, { "alias", long40 }, { "type", long40 }, { "params", nine } };
// A row reading `document` with `content` into a `Type` followed by guard bytes.
#define BOUND(name, document, content, Type, read)                                                                     \
    QTest::newRow(name) << document << QJsonValue(content)                                                            \
                        << Read([](Components &x) { return staysInside<Type>([&](Type &r) { read; }); })
        BOUND("tool table", "/settings/coordinate/tool", many(11, frame), CoordinateTable, r = x.s.toolCoordinates());
        BOUND("point loads", "/settings/function/pointLoad", many(11, frame), PointLoadTable, r = x.s.pointLoads());
        BOUND("user frames", "/settings/coordinate/user", many(11, frame), UserFrameTable, r = x.c.userFrames());
        BOUND("arch", "/settings/playback/arch", many(14, QJsonObject{ { "enable", true } }), ArchTable, r = x.s.playbackArch());
        BOUND("teach joint", "/settings/teach/joint", (QJsonObject{ { "velocity", nine }, { "acceleration", nine } }), TeachParams,
              r = x.s.teachJoint());
        BOUND("points", "/project/demo/points", many(1005, QJsonObject{ { "name", "P1" }, { "alias", long40 } }), TeachPointTable,
              QCOMPARE(x.s.loadTeachPoints(Points, 6, r), 999));
        BOUND("pallets", "/process/pallet", many(12, QJsonObject{ { "name", long40 } }), Pallets,
              QCOMPARE(x.s.pallets("//h/project/process/pallet.json", r), 10));
        BOUND("vision", "/process/vision_calibrate", many(10, QJsonObject{ { "matrix", nine } }), Vision, x.s.visionCalibration(r));
        BOUND("driver gains", "/properties/driverParams", many(12, QJsonObject{ { "velocityP", nine } }),
              QRobotType::DriverParamsGroup, x.s.getBasicDriverParams(r));
        BOUND("trackers", "/process/tracking", many(3, QJsonObject{ { "camera", QJsonObject{ { "camera_mat", nine } } } }),
              TrackingSettings, x.s.tracking(r); QCOMPARE(int(r.count), 2));
        BOUND("offline name", "/settings/offline", (QJsonObject{ { "name", long40 } }), OfflineSettings,
              x.s.offline(r); QCOMPARE(QByteArray(r.name), QByteArray(19, 'b')));
#undef BOUND
        QTest::newRow("devices") << "/settings/function/modbus_io_config"
            << QJsonValue(QJsonObject{ { "modbusTCPDev", many(50, QJsonObject{ { "name", "d" } }) } })
            << Read([](Components &x) {
                   QRobotCoor::ExtendIOParams r;
                   r.device[8].name = "kept";
                   return x.c.getExtendIOParams(r) && r.device[8].name == "d"; });
    }
    void readersStayInTheirRecords() {
        QFETCH(QString, document);
        QFETCH(QJsonValue, content);
        QFETCH(Read, read);
        ctl.setDocument(document, QJsonDocument::fromVariant(content.toVariant()).toJson());
        QVERIFY(read(*x));
    }

    // Texts longer than their fields are cut at a character boundary.
    void textsCutToTheirFields() {
        const QString e = QString::fromUtf8("\xc3\xa9"), han = QString::fromUtf8("\xe4\xb8\xad");
        ctl.setDocument("/settings/coordinate/tool", QJsonArray{ QJsonObject{ { "alias", "a" + e.repeated(11) } } });
        QCOMPARE(QString::fromUtf8(x->s.toolCoordinates().entry[0].alias), "a" + e.repeated(10));
        ctl.setDocument("/settings/productInfo/hardwareInfo", QJsonObject{ { "SNcode", han.repeated(14) } });
        QRobotType::HWVersion hw;
        QVERIFY(x->s.versionHW(hw));
        QCOMPARE(QString::fromUtf8(hw.SNcode), han.repeated(13));
        QCOMPARE(QString::fromUtf8(hw.ServoVersion), QString("NULL"));
        ctl.on("POST", "/settings/version", QJsonObject{ { "control", "ab" + han.repeated(8) } });
        VersionInfo version;
        QVERIFY(x->s.version(version));
        QCOMPARE(QString::fromUtf8(version.control), "ab" + han.repeated(7));
        // Host fields without a terminator are read to their end, not beyond.
        const auto table = std::make_unique<CoordinateTable>();
        std::memset(static_cast<void *>(table.get()), 'z', sizeof(CoordinateTable));
        for (CoordinateEntry &entry : table->entry)
            entry.enable = true; // a bool holds 0 or 1, whatever the bytes around it
        QVERIFY(x->s.setToolCoordinates(*table));
        QCOMPARE(ctl.document("/settings/coordinate/tool").array().at(2).toObject().value("alias").toString(), QString(22, 'z'));
        std::memset(&hw, 'C', sizeof hw);
        QVERIFY(x->s.setVersionHW(hw));
        QCOMPARE(ctl.document("/settings/productInfo/hardwareInfo").object().value("PowerVersion").toString(), QString(40, 'C'));
    }

    void collisionDocument() {
        // Created with the default level table when missing.
        ctl.removeDocument("/settings/function/collisionDect");
        QVERIFY(x->c.setCollisionDect(true, true, false, 3));
        QCOMPARE(ctl.document("/settings/function/collisionDect").object(), QJsonDocument::fromJson(R"({"value": true, "mode": 1,
            "resumeType": 0, "level": 3, "Level1": [30, 30, 30, 10, 10, 10], "Level2": [25, 25, 25, 8, 8, 8],
            "Level3": [20, 20, 20, 6, 6, 6], "Level4": [15, 15, 15, 4, 4, 4], "Level5": [10, 10, 10, 3, 3, 3]})").object());
        // "mode" reads true for 1 only.
        ctl.setDocument("/settings/function/collisionDect", QJsonObject{ { "mode", 2 } });
        bool value = true, mode = true, resume = true;
        int level = 9;
        QVERIFY(x->c.getCollisionDect(value, mode, resume, level));
        QVERIFY(value && !mode && resume && level == 9);
        // A document that is no object is left alone, and the call fails.
        ctl.clearRequests();
        for (const QByteArray &bytes : { QByteArray("{\"value\": tru"), QByteArray("[1, 2, 3]") }) {
            ctl.removeDocument("/settings/function/collisionDect");
            f.putShareFile("/settings/function/collisionDect", bytes);
            QVERIFY(!x->c.setCollisionDect(true, false, false, 2));
            QCOMPARE(ctl.count("POST", "/file/write/*"), 0);
        }
    }

    // The readers take the spellings the library writes and those the
    // controller writes; the controller's wins when both are there.
    void spellings() {
        ctl.setDocument("/settings/safemode", QJsonObject{ { "high", QJsonObject{ { "rangeMin1", -1 }, { "rangMin1", -100 } } } });
        SafeModeParams safe;
        QVERIFY(x->c.getSafeMode(safe));
        QCOMPARE(safe.high.rangeMin[0], -1.0f);
        const QJsonObject j1{ { "def", 1 }, { "max", 2 }, { "min", 3 } }, J1{ { "def", 7 }, { "max", 8 }, { "min", 9 } };
        ctl.setDocument("/properties/default", QJsonObject{ { "dragSensivity", QJsonObject{ { "j1", j1 }, { "J1", J1 } } } });
        DefaultLimits limits;
        QVERIFY(x->s.defaultLimits(limits));
        QCOMPARE(limits.dragSensitivity[0].def, 1.0f);
    }

    // Readers of a document that is not JSON report it.
    void unreadableDocuments() {
        f.putShareFile("/settings/safemode", "payload: 3");
        SafeModeParams safe;
        std::memset(&safe, 0x5A, sizeof safe);
        QVERIFY(!x->c.getSafeMode(safe));
        QCOMPARE(safe.payload, 0);
        bool has = true;
        QVERIFY(!x->s.hasAuxJoint(has));
    }

    // A points file is a file of the project folder; nothing else is read or written.
    void pointsFilePaths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("document"); // empty: refused
        QTest::newRow("share") << Points << "/project/demo/points";
        QTest::newRow("mounted share") << "/mnt/robots/10.0.0.2/project/project/cell 1/a.json" << "/project/cell 1/a";
        QTest::newRow("backslashes") << "\\\\host\\project\\project\\demo\\b.json" << "/project/demo/b";
        QTest::newRow("folder named project") << "//h/project/project/project/c.json" << "/project/project/c";
        QTest::newRow("parent folder") << "//h/project/project/../settings/common.json" << "";
        QTest::newRow("parent in the middle") << "//h/project/project/demo/../../x.json" << "";
        QTest::newRow("backslash parent") << "//h/project/project/demo\\..\\..\\x.json" << "";
        QTest::newRow("no project folder") << "//h/project/process/pallet.json" << "";
        QTest::newRow("nothing after the folder") << "//h/project/project/" << "";
        QTest::newRow("empty") << "" << "";
    }
    void pointsFilePaths() {
        QFETCH(QString, path);
        QFETCH(QString, document);
        const auto table = std::make_unique<TeachPointTable>();
        table->point[0].index = 1;
        QCOMPARE(x->s.saveTeachPoints(path, *table, 6), !document.isEmpty());
        QCOMPARE(x->s.loadTeachPoints(path, 6, *table), document.isEmpty() ? 0 : 1);
        if (document.isEmpty()) {
            QCOMPARE(ctl.count(), 0);
            return;
        }
        QVERIFY(ctl.hasDocument(document));
        QCOMPARE(ctl.last("POST", "/project/teachFileUpdate").json().value("file").toString(),
                 QString(path).replace('\\', '/').section("/project/project/", 1));
        // Pallet point lists: names that would leave the pallet folder are refused.
        for (const char *name : { "..", "../../settings/common", "..\\x", "", "box/" })
            QVERIFY(!x->s.setPalletPoints(name, *table, 6));
        QVERIFY(!ctl.hasDocument("/settings/common"));
    }

    // The lists end at their first empty entry.
    void listsEndAtTheFirstEmptyEntry() {
        const auto table = std::make_unique<TeachPointTable>();
        table->point[0].index = 1;
        table->point[1].alias[0] = 'x'; // an alias alone makes no point
        table->point[2].index = 3;
        QVERIFY(x->s.saveTeachPoints(Points, *table, 6) && ctl.document("/project/demo/points").array().size() == 1);
        table->point[0].index = 0; // an empty list, still announced
        QVERIFY(x->s.saveTeachPoints(Points, *table, 6) && ctl.document("/project/demo/points").array().isEmpty());
        QCOMPARE(ctl.count("POST", "/project/teachFileUpdate"), 2);

        Pallets pallets{};
        pallets[0].count[0] = 1;
        pallets[2].count[2] = 1;
        QVERIFY(x->s.setPallets(pallets) && ctl.document("/process/pallet").array().size() == 1);
        QRobotCoor::ExtendIOParams devices;
        devices.device[0].name = "a";
        devices.device[2].name = "c";
        QVERIFY(x->c.setExtendIOParams(devices));
        QCOMPARE(ctl.document("/settings/function/modbus_io_config").object().value("modbusTCPDev").toArray().size(), 1);

        QRobotType::CartesianCoordinate points[4] = { { { 1 } }, { { 2 } }, {}, { { 4 } } };
        const auto listed = [this] { return ctl.document("/process/trajectory/trajPoints").object().value("point").toArray().size(); };
        QVERIFY(x->c.setTrajPoints(points, 4) && listed() == 2);
        QVERIFY(x->c.setTrajPoints(points, 1) && listed() == 1); // the caller's count ends it too
        std::vector<QRobotType::CartesianCoordinate> longest(40000, points[0]);
        VarloTimings::setForTesting(VarloTimings::RequestAbort, 10000); // 2 MB: slow under the sanitizers
        QVERIFY(x->c.setTrajPoints(longest.data(), int(longest.size())) && listed() == 39999);
        VarloTimings::setForTesting(VarloTimings::RequestAbort, 0);
        float poses[CalibrationPointLimit][6] = {};
        poses[0][0] = poses[1][0] = poses[3][0] = 1;
        QVERIFY(x->c.multiCalibration(poses, poses, MultiCalibrationParams{}));
        QCOMPARE(ctl.last("POST", "/calibrate/multiCalibration").json().value("master").toArray().size(), 2);
    }

    // Texts in a document are written as they are (not whitespace-folded),
    // and the keys of others kept.
    void trajectoryParametersKeepThePoints() {
        const QJsonObject stored{ { "point", QJsonArray{ QJsonObject{ { "P", numbers({ 1, 2, 3, 4, 5, 6 }) } } } },
                                  { "note", "two  spaces\nand a line" } };
        ctl.setDocument("/process/trajectory/trajPoints", stored);
        QVERIFY(x->c.setTrajParams(QRobotType::RDNCoordinate{ { 1, -1, 0, 2 } }, 3, 4));
        QJsonObject expected = stored;
        expected.insert("handtype", numbers({ 1, -1, 0, 2 }));
        expected.insert("tool", 3);
        expected.insert("user", 4);
        QCOMPARE(ctl.document("/process/trajectory/trajPoints").object(), expected);
    }

    // Commands whose body has a rule of its own.
    void commands_data() {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // empty: nothing is sent, and the call fails
        QTest::newRow("unknown control mode") << Call([](Components &x) { return x.c.setControlMode(3); })
                                              << "/settings/controlMode" << QByteArray("{}");
        QTest::newRow("brake joint 6") << Call([](Components &x) { return x.c.setJointBrake(6, false); })
                                       << "/interface/6axisJointBrake" << QByteArray(R"({"joint6": false})");
        QTest::newRow("brake joint 7") << Call([](Components &x) { return x.c.setJointBrake(7, true); })
                                       << "/interface/6axisJointBrake" << QByteArray("{}");
        QTest::newRow("extended outputs") << Call([](Components &x) {
            QRobotType::ExtendIO io{};
            io.value[4][42] = io.value[8][95] = true;
            return x.c.setExtendIO(io); }) << "/interface/extendIO" << QByteArray(R"({"enable": true, "extendDO": {"enable": false,
                "value": [[0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],
                [0,0,0,0,0,4,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],[0,0,0,0,0,0,0,0,0,0,0,0],
                [0,0,0,0,0,0,0,0,0,0,0,128]]}})");
        QTest::newRow("tool from two points") << Call([](Components &x) {
            CalibrationPoint a{ { 1, 2, 3, 4, 5, 6 } }, result{ { 9, 9, 9, 9, 9, 9 } };
            return x.c.transport() && x.s.calibrateCoordinateTool(a, a, result) && result.pose[3] == 4 && result.pose[4] == 0;
        }) << "/calibrate/coordinate/tool" << QByteArray("[[1, 2, 3, 4], [1, 2, 3, 4]]");
        QTest::newRow("null switch") << Call([](Components &x) { return x.c.setThreeSwitch(nullptr); }) << "*" << QByteArray();
        QTest::newRow("null recording") << Call([](Components &x) { return x.c.setRecurrentTrack(nullptr); }) << "*" << QByteArray();
        QTest::newRow("null loops") << Call([](Components &x) { return x.c.debugReTrace("start", "a", "b", nullptr); })
                                    << "*" << QByteArray();
        QTest::newRow("null points") << Call([](Components &x) { return x.c.setTrajPoints(nullptr, 5); }) << "*" << QByteArray();
        QTest::newRow("null check result") << Call([](Components &x) {
            int index = 0;
            return x.c.preHandleTrajPoints("a", 0, 0, QRobotType::RDNCoordinate{}, nullptr, &index); }) << "*" << QByteArray();
    }
    void commands() {
        QFETCH(Call, call);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        ctl.on("POST", "/calibrate/*", QJsonObject{ { "coordinate", numbers({ 1, 2, 3, 4, 5, 6 }) }, { "result", true } });
        ctl.clearRequests();
        QCOMPARE(call(*x), !body.isEmpty());
        QCOMPARE(ctl.count("*", path), body.isEmpty() ? 0 : 1);
        if (!body.isEmpty())
            QCOMPARE(QJsonDocument::fromJson(ctl.last("POST", path).body), QJsonDocument::fromJson(body));
    }

    // The script-function catalogue: bounded, and a local file preferred.
    void functionCatalogue() {
        QJsonObject catalogue;
        QJsonArray names{ QString(150, 'n') };
        for (int i = 0; i < 60; ++i) {
            names.append(QString("F%1").arg(i));
            catalogue.insert(QString("F%1").arg(i), many(7, QJsonObject{ { "type", "point" }, { "max", 3 } }));
        }
        catalogue.insert("function", names);
        ctl.setDocument("/settings/function/functionApi", catalogue);
        FunctionApiEntry entry;
        QVERIFY(x->s.functionApi(QString(150, 'n'), entry));
        QCOMPARE(QByteArray(entry.name), QByteArray(99, 'n'));
        QVERIFY(x->s.functionApi("F46", entry));
        QCOMPARE(entry.paramCount, 5);
        QVERIFY(entry.params[4].type == FunctionApiEntry::Point && entry.params[4].max == 3);
        QVERIFY(!x->s.functionApi("F47", entry)); // only the first 48 names count
        QCOMPARE(x->s.functionApiList().size(), 48);
        QJsonObject operators;
        for (int i = 0; i < 5000; ++i)
            operators.insert(QString("op%1").arg(i), "text");
        ctl.setDocument("/settings/function/functionSystem", QJsonObject{ { "Operators", operators } });
        QList<FunctionSystemEntry> entries;
        QCOMPARE(x->s.functionSystem(entries), 4096);

        // The local catalogue: the working directory's, else the one beside the program.
        QTemporaryDir work;
        const QString previous = QDir::currentPath(), local = work.path() + "/update/functionApi.json";
        const QString besideProgram = QCoreApplication::applicationDirPath() + "/update/functionApi.json";
        QVERIFY(QDir::setCurrent(work.path()));
        QVERIFY(writeFile(besideProgram, R"({"function": ["Beside"]})"));
        QVERIFY(writeFile(local, R"({"function": ["Local"]})"));
        ctl.clearRequests();
        QCOMPARE(QByteArray(x->s.functionApiList().value(0).name), QByteArray("Local"));
        QFile::remove(local);
        QCOMPARE(QByteArray(x->s.functionApiList().value(0).name), QByteArray("Beside"));
        QCOMPARE(ctl.count(), 0);
        QFile::remove(besideProgram);
        QDir::setCurrent(previous);
    }

    // Setters that edit a document whole (read, change, write back) never
    // write over a document they could not read; one the controller does not
    // have yet is started.
    void editsNeedTheDocument_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<Read>("edit");
        QTest::addColumn<Reply>("read");
        QTest::addColumn<bool>("written");
        const QList<QPair<QString, Read>> edits{
            { "/settings/function/collisionDect", [](Components &x) { return x.c.setCollisionDect(true, true, false, 3); } },
            { "/properties/structure", [](Components &x) { return x.s.setStructure(RobotStructure{}); } },
            { "/process/trajectory/trajPoints", [](Components &x) { return x.c.setTrajParams({}, 1, 2); } },
        };
        for (const auto &e : edits) {
            QTest::addRow("%s, no answer", qPrintable(e.first)) << e.first << e.second << Reply::error() << false;
            QTest::addRow("%s, cut short", qPrintable(e.first)) << e.first << e.second << Reply::raw(R"({"kept": tr)") << false;
            QTest::addRow("%s, missing", qPrintable(e.first)) << e.first << e.second << Reply::raw("{}") << true;
        }
    }
    void editsNeedTheDocument() {
        QFETCH(QString, document);
        QFETCH(Read, edit);
        QFETCH(Reply, read);
        QFETCH(bool, written);
        ctl.on("GET", "/file/read" + document + ".json", read, 1);
        QCOMPARE(edit(*x), written);
        QCOMPARE(ctl.count("POST", "/file/write" + document + ".json"), written ? 1 : 0);
    }

    // The function settings' readers fail on a document of the other kind (an
    // array where their object belongs, or the reverse): nothing was read.
    void functionSettingsOfTheOtherKind_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Read>("read");
#define KIND(document, content, Type, get)                                                                            \
    QTest::newRow(document) << QString(document) << QByteArray(content)                                               \
                            << Read([](Components &x) { const auto r = std::make_unique<Box<Type>>(); return x.s.get(r->value); })
        KIND("/settings/function/stopMode", "[1]", StopModeSettings, stopMode);
        KIND("/settings/function/remoteControl", "[1]", RemoteControl, remoteControl);
        KIND("/settings/function/modbusConf", "[1]", ModbusConf, modbusConf);
        KIND("/settings/function/runToMode", "[1]", QString, runToMode);
        KIND("/settings/function/ioctrl", "[1]", ControlMap, ioCtrl);
        KIND("/settings/function/modbusctrl", "[1]", ControlMap, modbusCtrl);
        KIND("/settings/offline", "[1]", OfflineSettings, offline);
        KIND("/interface/jointBrake", "[1]", bool, jointBrakeState);
        KIND("/process/flyPhoto/latchPos", "[1]", LatchPos, latchPos);
        KIND("/properties/structure", "[1]", RobotStructure, structure);
        KIND("/process/vision_calibrate", R"({"a": 1})", Vision, visionCalibration);
        KIND("/properties/driverParams", R"({"a": 1})", QRobotType::DriverParamsGroup, getBasicDriverParams);
        KIND("/settings/driver/userParams", R"({"a": 1})", QRobotType::DriverParamsGroup, getUserDriverParams);
        KIND("/process/tracking", R"({"a": 1})", TrackingSettings, tracking);
#undef KIND
    }
    void functionSettingsOfTheOtherKind() {
        QFETCH(QString, document);
        QFETCH(QByteArray, content);
        QFETCH(Read, read);
        ctl.setDocument(document, content);
        QVERIFY(!read(*x));
    }

    // Byte fields take 0 to 255: larger values are clamped, not wrapped.
    void byteFieldsAreClamped() {
        ctl.setDocument("/process/pallet", QJsonArray{ QJsonObject{ { "id", 300 }, { "userCoord", -5 } } });
        Pallets pallets{};
        QCOMPARE(x->s.pallets("//h/project/process/pallet.json", pallets), 1);
        QCOMPARE(int(pallets[0].id), 255);
        QCOMPARE(int(pallets[0].userCoord), 0);
    }

    // The copy of the replay parameters goes to the share, and never outside it.
    void replayParametersCopy() {
        const QString copy = f.share.path() + "/127.0.0.40/project/settings/function/reTraceParams.json";
        QDir().mkpath(QFileInfo(copy).absolutePath());
        QVERIFY(x->c.setRunTrajectoryParams({ 1.5f, true, 4 }));
        QRobotCoor::ReTraceParams back{};
        QVERIFY(x->c.getRunTrajectoryParams(back));
        QVERIFY(back.multi == 1.5f && back.constant && back.loop == 4);
        QHttpManager http(nullptr);
        http.setHost("../..");
        QRobotCollaborative other(&http, nullptr);
        other.setRunTrajectoryParams({ 1.5f, true, 4 });
        QVERIFY(!QFile::exists(f.share.path() + "/../settings/function/reTraceParams.json"));
    }
};

QTEST_GUILESS_MAIN(tst_Components)
#include "tst_components.moc"
