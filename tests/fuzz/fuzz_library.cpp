// libFuzzer targets for what the library reads from the outside: one source,
// one program per target (FUZZ_TARGET names it, see CMakeLists.txt).
//   exchange   a state-exchange reply, decoded into the live state
//   documents  a parameter document, read by one reader (the first byte picks it)
//   alarms     the alarm catalogues, looked up by id
//   replies    a calibration or kinematics reply from the controller double
//   jogframes  bytes from the jog-button board, fed in pieces
//   debugger   a notification datagram or debug-server answer, every parser
#include "debugger/debuggertexts.h"
#include "fakecontroller.h"
#include "robot/jogframedecoder.h"
#include "robot/qrobotprotocol_p.h"
#include "transport/timings.h"
#include "types/qjsonreaders.h"
#include "Varlo/coordinatetypes.h"
#include "Varlo/qhttpmanager.h"
#include "Varlo/qrobotcollaborative.h"
#include "Varlo/qrobotsettings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>

namespace {

QCoreApplication *app = nullptr;

// A record of type T on the heap (some are megabytes), read into.
template <class T> void into(const std::function<void(T &)> &read)
{
    struct Box { T value; };
    const auto box = std::make_unique<Box>();
    read(box->value);
}

// Components that read documents from a simulator folder: requests fail at
// once (dispatching stopped), so every read falls back to the folder.
struct Local
{
    QTemporaryDir root;
    QHttpManager http{ nullptr };
    QRobotSettings s{ &http, nullptr };
    QRobotCollaborative c{ &http, nullptr };
    Local()
    {
        http.setHost(QStringLiteral("127.0.0.1"));
        http.setSimulatorRoot(root.path());
        http.setDispatching(false);
    }
    void put(const QString &name, const QByteArray &bytes)
    {
        const QString path = http.fallbackFilePath(name);
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
};

using Reader = std::function<void(Local &)>;
const QList<QPair<const char *, Reader>> &readers()
{
    static const QList<QPair<const char *, Reader>> list = {
        { "/settings/coordinate/tool", [](Local &l) { l.s.toolCoordinates(); into<CoordinateTable>([&](CoordinateTable &t) { l.s.toolCoordinatesForEdit(t); }); } },
        { "/settings/function/pointLoad", [](Local &l) { l.s.pointLoads(); } },
        { "/settings/teach/joint", [](Local &l) { l.s.teachJoint(); } },
        { "/settings/playback/coordinate", [](Local &l) { l.s.playbackCoordinate(); } },
        { "/settings/playback/arch", [](Local &l) { l.s.playbackArch(); } },
        { "/properties/default", [](Local &l) { into<DefaultLimits>([&](DefaultLimits &r) { l.s.defaultLimits(r); }); } },
        { "/settings/productInfo/hardwareInfo", [](Local &l) { into<QRobotType::HWVersion>([&](auto &r) { l.s.versionHW(r); }); } },
        { "/settings/function/stopMode", [](Local &l) { into<StopModeSettings>([&](auto &r) { l.s.stopMode(r); }); } },
        { "/settings/offline", [](Local &l) { into<OfflineSettings>([&](auto &r) { l.s.offline(r); }); } },
        { "/settings/function/ioctrl", [](Local &l) { into<ControlMap>([&](auto &r) { l.s.ioCtrl(r); }); } },
        { "/process/vision_calibrate", [](Local &l) { into<VisionCalibration[VisionCalibrationCount]>([&](auto &r) { l.s.visionCalibration(r); }); } },
        { "/properties/driverParams", [](Local &l) { into<QRobotType::DriverParamsGroup>([&](auto &r) { l.s.getBasicDriverParams(r); }); } },
        { "/process/tracking", [](Local &l) { into<TrackingSettings>([&](auto &r) { l.s.tracking(r); }); } },
        { "/properties/structure", [](Local &l) { into<RobotStructure>([&](auto &r) { l.s.structure(r); l.s.structureShort(r); }); } },
        { "/settings/function/functionApi", [](Local &l) { l.s.functionApiList(); } },
        { "/settings/function/functionSystem", [](Local &l) { QList<FunctionSystemEntry> e; l.s.functionSystem(e); } },
        { "/project/demo/points", [](Local &l) { into<TeachPointTable>([&](auto &r) { l.s.loadTeachPoints("//h/project/project/demo/points.json", 6, r); l.s.loadTeachPoints("//h/project/project/demo/points.json", 4, r); }); } },
        { "/process/pallet", [](Local &l) { into<PalletDef[PalletCount]>([&](auto &r) { l.s.pallets("//h/project/process/pallet.json", r); }); } },
        { "/process/pallet/teachPallet", [](Local &l) { into<TeachPalletDef[PalletCount]>([&](auto &r) { l.s.teachPallets(r); }); } },
        { "/settings/function/collisionDect", [](Local &l) { bool v = false, m = false, r = false; int level = 0; l.c.getCollisionDect(v, m, r, level); } },
        { "/settings/safemode", [](Local &l) { into<SafeModeParams>([&](auto &r) { l.c.getSafeMode(r); }); } },
        { "/settings/function/elecSkinDefault", [](Local &l) { into<QRobotCoor::ElecSkinDefault>([&](auto &r) { l.c.getElecSkinDefault(r); }); } },
        { "/settings/function/modbus_io_config", [](Local &l) { into<QRobotCoor::ExtendIOParams>([&](auto &r) { l.c.getExtendIOParams(r); }); } },
        { "/settings/coordinate/user", [](Local &l) { l.c.userFrames(); } },
        { "/process/trajectory/trajPoints", [](Local &l) { l.c.setTrajParams({}, 1, 2); } },
    };
    return list;
}

void runTarget(const QByteArray &data)
{
#if FUZZ_TARGET == 1 // exchange
    static QRobotProtocol protocol(nullptr, nullptr);
    QRobotProtocolPrivate::get(&protocol)->decodeReply(QRobotJson::parse(data).object());
#elif FUZZ_TARGET == 2 // documents
    static Local local;
    if (data.isEmpty())
        return;
    const auto &reader = readers().at(uchar(data.at(0)) % readers().size());
    local.put(QLatin1String(reader.first), data.mid(1));
    reader.second(local);
#elif FUZZ_TARGET == 3 // alarms: 4 bytes of id, then the catalogue
    static Local local;
    if (data.size() < 4)
        return;
    int id;
    memcpy(&id, data.constData(), 4);
    local.put(QStringLiteral("/properties/alarm_servo"), data.mid(4));
    AlarmInfo info{};
    local.s.alarmInfo(id, 1, info, id & 1);
#elif FUZZ_TARGET == 4 // replies
    static VarloTest::FakeController ctl(QStringLiteral("127.0.0.57"));
    static QHttpManager http(nullptr);
    static QRobotSettings settings(&http, nullptr);
    static QByteArray answer;
    static const bool ready = [] {
        VarloTimings::setForTesting(VarloTimings::DispatchTick, 1);
        http.setHost(QStringLiteral("127.0.0.57"));
        ctl.on(QStringLiteral("POST"), QStringLiteral("*"), [](const VarloTest::Request &) { return VarloTest::Reply::raw(answer); });
        return ctl.listen();
    }();
    if (!ready)
        abort();
    answer = data;
    CalibrationPoint result{};
    const CalibrationPoints points{};
    settings.calibrateCoordinateUser(points, result);
    settings.calibrateCoordinateToolPose(points, result);
    settings.calibrateCoordinateTool(result, result, result);
    QRobotType::CartesianCoordinate pose{};
    QRobotType::JointCoordinate joints{};
    settings.positiveSolution(joints, 1, 2, pose);
    settings.inverseSolution(pose, QRobotType::RDNCoordinate{}, 1, 2, joints);
#elif FUZZ_TARGET == 5 // jogframes: the first byte is the piece size
    if (data.isEmpty())
        return;
    JogFrameDecoder decoder;
    const int piece = 1 + uchar(data.at(0)) % 16;
    for (int at = 1; at < data.size(); at += piece)
        decoder.feed(data.mid(at, piece));
#elif FUZZ_TARGET == 6 // debugger
    const QString text = DebuggerTexts::decode(data);
    int line = 0;
    DebuggerTexts::scriptLine(text, &line);
    DebuggerTexts::errorLine(text);
    DebuggerTexts::beforePrompt(text);
    DebuggerTexts::evalValue(text);
    DebuggerTexts::stack(text);
    QString file;
    for (int next = 0; DebuggerTexts::pauseIn(text, next, &file, &line, &next);) {
    }
    // The same bytes read in pieces, as the debug server's output arrives:
    // UTF-8 reads the same however it is cut.
    QByteArray pending;
    QString streamed;
    const int piece = 1 + data.size() % 7;
    for (int at = 0; at < data.size(); at += piece)
        streamed += DebuggerTexts::decodeStream(&pending, data.mid(at, piece), at + piece >= data.size());
    if (!data.contains('\0') && QString::fromUtf8(data).toUtf8() == data && streamed != text)
        abort();
#else
#error "FUZZ_TARGET names no target"
#endif
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = { name, nullptr };
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    app = new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    runTarget(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
