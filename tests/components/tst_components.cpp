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
// getter reads into a fresh record and the setter writes that back. `held`:
// the document as the controller holds it (one entry of a table), written
// from the controller's own description of it, to pin the binding's keys.
struct Trip
{
    const char *document;
    const char *held;
    std::function<bool(Components &, bool sample)> write;
};
template <class T> struct Box
{
    T value{};
};
#define TRIP(document, held, Type, adjust, read, write)                                                               \
    Trip{ document, held, [](Components &x, bool sample) {                                                                  \
             const auto box = std::make_unique<Box<Type>>();                                                          \
             Type &v = box->value;                                                                                    \
             if (sample) { pattern(v); adjust; } else { read; }                                                       \
             return write;                                                                                            \
         } }

// The usual shapes: the getter returns the record (VAL) or fills it (REF);
// S the settings component, C the collaborative one.
#define S_VAL(document, held, Type, get, set) TRIP(document, held, Type, , v = x.s.get(), x.s.set(v))
#define S_REF(document, held, Type, get, set) TRIP(document, held, Type, , x.s.get(v), x.s.set(v))
#define C_REF(document, held, Type, get, set) TRIP(document, held, Type, , x.c.get(v), x.c.set(v))

QList<Trip> trips()
{
    return {
        S_VAL("/settings/coordinate/tool", R"([{"enable": true, "alias": "t", "params": [1]}])", CoordinateTable, toolCoordinates, setToolCoordinates),
        S_VAL("/settings/coordinate/user", R"([{"enable": true, "alias": "u", "params": [1]}])", CoordinateTable, userCoordinates, setUserCoordinates),
        S_VAL("/settings/function/pointLoad", R"([{"enable": true, "params": [1]}])", PointLoadTable, pointLoads, setPointLoads),
        S_VAL("/settings/common", R"({"ratio": 1})", float, commonRatio, setCommonRatio),
        S_VAL("/settings/teach/joint", R"({"velocity": [1], "acceleration": [1]})", TeachParams, teachJoint, setTeachJoint),
        S_VAL("/settings/teach/coordinate", R"({"velocity": [1], "acceleration": [1]})", TeachParams, teachCoordinate, setTeachCoordinate),
        S_VAL("/settings/teach/inch", R"({"distance": 1, "angle": 1})", QRobotType::TeachInch, teachInch, setTeachInch),
        S_VAL("/settings/playback/joint", R"({"velocity": [1], "acceleration": [1], "jerk": [1]})", PlaybackJointParams, playbackJoint, setPlaybackJoint),
        S_VAL("/settings/playback/coordinate", R"({"velocity": [1], "acceleration": [1], "jerk": [1]})", PlaybackCoordinateParams, playbackCoordinate, setPlaybackCoordinate),
        S_VAL("/settings/playback/arch", R"([{"enable": true, "params": {"startHeight": 1, "endHeight": 1, "zLimit": 1}}])", ArchTable, playbackArch, setPlaybackArch),
        S_VAL("/settings/teach/auxJoint", R"({"velocity": [1], "acceleration": [1]})", AuxTeachParams, teachAuxJoint, setTeachAuxJoint),
        S_VAL("/settings/playback/auxJoint", R"({"velocity": [1], "acceleration": [1], "jerk": [1]})", AuxPlaybackParams, playbackAuxJoint, setPlaybackAuxJoint),
        S_REF("/settings/function/hasAuxJoint", R"({"value": true})", bool, hasAuxJoint, setHasAuxJoint),
        S_REF("/properties/default", R"({"common": {"ratio": {"def": 1, "max": 2, "min": 0}}, "teach": {"joint": {"velocity": [{"def": 1, "max": 2, "min": 0}], "acceleration": [{"def": 1, "max": 2, "min": 0}]}, "coordinate": {"velocity": [{"def": 1, "max": 2, "min": 0}], "acceleration": [{"def": 1, "max": 2, "min": 0}]}}, "playback": {"joint": {"velocity": [{"def": 1, "max": 2, "min": 0}], "acceleration": [{"def": 1, "max": 2, "min": 0}], "jerk": [{"def": 1, "max": 2, "min": 0}]}, "coordinate": {"velocity": [{"def": 1, "max": 2, "min": 0}], "acceleration": [{"def": 1, "max": 2, "min": 0}], "jerk": [{"def": 1, "max": 2, "min": 0}]}, "arch": {"startHeight": {"def": 1, "max": 2, "min": 0}, "endHeight": {"def": 1, "max": 2, "min": 0}, "zLimit": {"def": 1, "max": 2, "min": 0}}}, "dragSensivity": {"J1": {"def": 1, "max": 2, "min": 0}, "J2": {"def": 1, "max": 2, "min": 0}, "J3": {"def": 1, "max": 2, "min": 0}, "J4": {"def": 1, "max": 2, "min": 0}, "J5": {"def": 1, "max": 2, "min": 0}, "J6": {"def": 1, "max": 2, "min": 0}}})", DefaultLimits, defaultLimits, setDefaultLimits),
        S_REF("/settings/productInfo/hardwareInfo", R"({"SNcode": "s", "ControllerVersion": "c", "ServoVersion": "v", "PowerVersion": "p"})", QRobotType::HWVersion, versionHW, setVersionHW),
        S_REF("/settings/function/stopMode", R"({"enable": true, "x": 1, "y": 1, "z": 1, "a": 1, "b": 1, "c": 1, "tool": 1, "user": 1, "r": 1, "d": 1, "n": 1, "cfg": 1, "mode": "m", "arch": 1, "speed": 1})", StopModeSettings, stopMode, setStopMode),
        S_REF("/settings/function/remoteControl", R"({"name": "n", "mode": "m"})", RemoteControl, remoteControl, setRemoteControl),
        S_REF("/settings/function/modbusConf", R"({"id": 1, "mode": "m"})", ModbusConf, modbusConf, setModbusConf),
        S_REF("/settings/function/runToMode", R"({"mode": "m"})", QString, runToMode, setRunToMode),
        S_REF("/settings/offline", R"({"name": "o", "in": {"start": {"io": 1, "level": 1}, "pause": {"io": 1, "level": 1}, "resume": {"io": 1, "level": 1}, "stop": {"io": 1, "level": 1}, "force_stop": {"io": 1, "level": 1}}, "out": {"alarm": {"io": 1, "level": 1}, "running": {"io": 1, "level": 1}}})", OfflineSettings, offline, setOffline),
        S_REF("/process/flyPhoto/latchPos", R"({"x": 1, "y": 1, "r": 1, "jointAngle": [1]})", LatchPos, latchPos, setLatchPos),
        S_REF("/process/vision_calibrate", R"([{"name": "n", "fixed": 1, "method": "m", "matrix": [1], "coordinate": [1], "error": [1], "angle": 1}])", Vision, visionCalibration, setVisionCalibration),
        S_REF("/properties/driverParams", R"([{"velocityP": [1], "velocityI": [1], "positionP": [1], "speedFeedForward": [1], "loadInertiaRatio": [1]}])", QRobotType::DriverParamsGroup, getBasicDriverParams, setBasicDriverParams),
        S_REF("/settings/driver/userParams", R"([{"velocityP": [1], "velocityI": [1], "positionP": [1], "speedFeedForward": [1], "loadInertiaRatio": [1]}])", QRobotType::DriverParamsGroup, getUserDriverParams, setUserDriverParams),
        TRIP("/process/tracking", R"([{"conveyor_index": 1, "conveyor_type": 1, "encoder_channel": 1, "user_coord": 1, "data_source": 1, "direction": 1, "resolution": 1, "sensor": {"communication_DI": 1, "trigger_type": 1, "repeat_threshold": 1, "sensor_coord": [1]}, "camera": {"width": 1, "height": 1, "trigger_DO": 1, "trigger_type": 1, "repeat_threshold": 1, "shot_interval": 1, "data_uint_type": 1, "camera_coord": [1], "camera_mat": [1]}, "work_min": 1, "pick_max": 1, "work_max": 1, "stop_distance": 1}])", TrackingSettings, v.count = 2, x.s.tracking(v), x.s.setTracking(v)),
        S_REF("/properties/structure", R"({"structure": {"L1": 1, "L2": 1, "L3": 1, "L4": 1, "L5": 1, "L6": 1, "a1": 1, "a2": 1, "a3": 1, "a4": 1, "a5": 1, "a6": 1, "alpha1": 1, "alpha2": 1, "alpha3": 1, "alpha4": 1, "alpha5": 1, "alpha6": 1, "limits": [[-1, 1]]}, "motors": [{"simulated": true, "motor": {"inverted": true, "rated": 1, "limit": 1}, "encoder": {"bitNum": 17}, "gearBox": {"num": 1, "den": 2}}]})", RobotStructure, structure, setStructure),
        S_REF("/settings/function/CustomPoint", R"({"joint": [1]})", F6, customPoint, setCustomPoint),
        // "direction" is not read back.
        TRIP("/process/pallet", R"([{"id": 1, "userCoord": 1, "name": "p", "direction": 1, "count": {"x": 1, "y": 1, "z": 1}, "distance": {"x": 1, "y": 1, "z": 1}, "firstPoint": {"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6}, "safePoint": {"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6, "auto": true}, "preparePoint": {"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6}}])", Pallets, for (PalletDef &p : v) p.direction = 0,
             x.s.pallets("//127.0.0.40/project/process/pallet.json", v), x.s.setPallets(v)),
        TRIP("/project/demo/points", R"([{"name": "P1", "alias": "a", "armOrientation": [1, 0, 0, 1], "coordinate": [1], "auxJoint": [1], "tool": 1, "user": 1, "load": 1}])", TeachPointTable, , x.s.loadTeachPoints(Points, 6, v), x.s.saveTeachPoints(Points, v, 6)),
        TRIP("/project/demo/points", R"([{"name": "P1", "alias": "a", "armOrientation": "left", "coordinate": [1], "auxJoint": [1], "tool": 1, "user": 1, "load": 1}])", TeachPointTable, , x.s.loadTeachPoints(Points, 4, v), x.s.saveTeachPoints(Points, v, 4)),
        TRIP("/process/pallet/box", R"([{"name": "P1", "armOrientation": [1, 0, 0, 1], "coordinate": [1], "tool": 1, "user": 1, "load": 1}])", TeachPointTable, , x.s.palletPoints("box", 6, v), x.s.setPalletPoints("box", v, 6)),
        // The layer heights are read back through the layout sequence; each
        // layout's points end at the first empty one.
        TRIP("/process/pallet/teachPallet", R"([{"id": 1, "userCoord": 1, "circleLayer": 1, "countLayer": 1, "name": "t", "transPoint": {"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6}, "layoutSeq": [1], "auto": true, "layout": [{"layerHigh": 1, "points": [{"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6}]}]}])", TeachPallets, for (TeachPalletDef &p : v) {
                 p.name[0] = 'n';
                 for (int k = 0; k < PalletLayoutCount; ++k) {
                     p.layoutSeq[k] = k + 1;
                     std::memset(&p.layouts[k].point[2], 0, sizeof(TeachPoint));
                 }
             }, x.s.teachPallets(v), x.s.setTeachPallets(v)),
        Trip{ "/settings/function/collisionDect", R"({"value": true, "mode": 1, "resumeType": 1, "level": 2, "Level1": [1], "Level2": [1], "Level3": [1], "Level4": [1], "Level5": [1]})", [](Components &x, bool sample) {
                 bool value = sample, mode = sample, resume = false;
                 int level = sample ? 4 : 0;
                 if (!sample)
                     x.c.getCollisionDect(value, mode, resume, level);
                 return x.c.setCollisionDect(value, mode, resume, level);
             } },
        C_REF("/settings/function/elecSkin", R"({"value": true})", bool, getElecSkin, setElecSkin),
        // "mode" is not read back.
        TRIP("/settings/function/elecSkinParams", R"({"avoidDistance": 1, "avoidVel": 1, "avoidAcc": 1, "resumeVel": 1, "resumeAcc": 1, "mode": 1})", QRobotCoor::ElecSkinPars, v.mode = 0, x.c.getElecSkinParams(v),
             x.c.setElecSkinParams(v)),
        C_REF("/settings/safemode", R"({"high": {"diff1": 1, "diff2": 1, "diff3": 1, "diff4": 1, "diff5": 1, "diff6": 1, "velj1": 1, "velj2": 1, "velj3": 1, "velj4": 1, "velj5": 1, "velj6": 1, "rangMin1": 1, "rangMin2": 1, "rangMin3": 1, "rangMin4": 1, "rangMin5": 1, "rangMin6": 1, "rangMax1": 1, "rangMax2": 1, "rangMax3": 1, "rangMax4": 1, "rangMax5": 1, "rangMax6": 1}, "middle": {"diff1": 1, "diff2": 1, "diff3": 1, "diff4": 1, "diff5": 1, "diff6": 1, "velj1": 1, "velj2": 1, "velj3": 1, "velj4": 1, "velj5": 1, "velj6": 1, "rangMin1": 1, "rangMin2": 1, "rangMin3": 1, "rangMin4": 1, "rangMin5": 1, "rangMin6": 1, "rangMax1": 1, "rangMax2": 1, "rangMax3": 1, "rangMax4": 1, "rangMax5": 1, "rangMax6": 1}, "low": {"diff1": 1, "diff2": 1, "diff3": 1, "diff4": 1, "diff5": 1, "diff6": 1, "velj1": 1, "velj2": 1, "velj3": 1, "velj4": 1, "velj5": 1, "velj6": 1, "rangMin1": 1, "rangMin2": 1, "rangMin3": 1, "rangMin4": 1, "rangMin5": 1, "rangMin6": 1, "rangMax1": 1, "rangMax2": 1, "rangMax3": 1, "rangMax4": 1, "rangMax5": 1, "rangMax6": 1}, "valid": {"diff1": 1, "diff2": 1, "diff3": 1, "diff4": 1, "diff5": 1, "diff6": 1, "velj1": 1, "velj2": 1, "velj3": 1, "velj4": 1, "velj5": 1, "velj6": 1, "rangMin1": 1, "rangMin2": 1, "rangMin3": 1, "rangMin4": 1, "rangMin5": 1, "rangMin6": 1, "rangMax1": 1, "rangMax2": 1, "rangMax3": 1, "rangMax4": 1, "rangMax5": 1, "rangMax6": 1}, "payload": 1, "mode": 1})", SafeModeParams, getSafeMode, setSafeMode),
        C_REF("/settings/function/loadParams", R"({"centerX": 1, "centerY": 1, "centerZ": 1, "loadValue": 1})", QRobotCoor::Load, getLoadCenter, setLoadCenter),
        C_REF("/settings/function/loadParams", R"({"inertiaX": 1, "inertiaY": 1, "inertiaZ": 1, "loadValue": 1})", QRobotCoor::Load, getLoadInertia, setLoadInertia),
        C_REF("/process/sixForce/switch", R"({"value": true})", bool, getForceSensor, setForceSensor),
        C_REF("/settings/torqueParams", R"({"value": 1})", float, getTorqueParams, setTorqueParams),
        C_REF("/settings/function/install", R"({"SlopeAngle": 1, "RotationAngle": 1})", QRobotCoor::InstallPosture, getInstallPosture, setInstallPosture),
        C_REF("/settings/function/dragSensivity", R"({"j1": 1, "j2": 1, "j3": 1, "j4": 1, "j5": 1, "j6": 1})", QRobotCoor::DragSensivity, getDragSensivity, setDragSensivity),
        C_REF("/settings/function/endAI", R"([{"mode": 1, "value": 1}])", QRobotCoor::EndAI, getEndAI, setEndAI),
        C_REF("/settings/function/gpioAI", R"({"mode1": 1, "mode2": 1})", QRobotCoor::GPIOAI, getGPIOAI, setGPIOAI),
        C_REF("/settings/function/gpioAO", R"([{"mode": 1, "value": 1}])", QRobotCoor::GPIOAO, getGPIOAO, setGPIOAO),
        C_REF("/settings/function/robotiqGripperEnable", R"({"enable": true})", bool, getIQGripperEnable, setIQGripperEnable),
        C_REF("/settings/function/hitbotGripperEnable", R"({"enable": true})", bool, getHitbotGripperEnable, setHitbotGripperEnable),
        C_REF("/settings/function/modbus_io_config", R"({"modbusTCPDev": [{"DI": {"addr": 1, "number": 1, "index": 1}, "DO": {"addr": 1, "number": 1, "index": 1}, "id": 1, "ip": "i", "name": "n", "period": 1, "port": 1}]})", QRobotCoor::ExtendIOParams, getExtendIOParams, setExtendIOParams),
        TRIP("/settings/coordinate/user", R"([{"enable": true, "type": "t", "alias": "u", "params": [1]}])", UserFrameTable, , v = x.c.userFrames(), x.c.setUserFrames(v)),
    };
}

// Every key path of a document ("/params", "[]/params[]"): what a binding
// reads and writes, whatever the values and the length of the arrays.
void addKeyPaths(const QJsonValue &value, const QString &path, QStringList &paths)
{
    paths << path;
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            addKeyPaths(element, path + "[]", paths);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            addKeyPaths(it.value(), path + "/" + it.key(), paths);
    }
}
QStringList keyPaths(const QJsonDocument &document)
{
    QStringList paths;
    addKeyPaths(document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()), QString(), paths);
    paths.removeDuplicates();
    paths.sort();
    return paths;
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
        START_OR_SKIP(f, f.start());
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
        // The document as the controller holds it, read and written back: the
        // same keys (a key spelt otherwise by the binding would show here; a
        // round trip of the binding's own writing cannot see it).
        const QJsonDocument held = QJsonDocument::fromJson(trip.held);
        QVERIFY(!held.isNull());
        ctl.setDocument(trip.document, held.toJson());
        QVERIFY(trip.write(*x, false));
        QCOMPARE(keyPaths(ctl.document(trip.document)), keyPaths(held));

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
