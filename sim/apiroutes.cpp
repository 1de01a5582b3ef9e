// The controller API on port 22000. To add an endpoint, add one line to the
// table in installApiRoutes(): the path and a function from the request to
// the answer, which usually calls a member of Robot, Services or
// ScriptRunner that reads the body with the helpers of jsonfields.h.
#include "apiroutes.h"

#include "calibration.h"
#include "documentstore.h"
#include "jsonfields.h"
#include "log.h"
#include "robot.h"
#include "routes.h"
#include "scriptrunner.h"
#include "services.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace varlosim {

namespace {

constexpr std::size_t kMaxStoredEndpoints = 256;
constexpr double kMaxPointValue = 1e6;   // millimetres or degrees of a taught point
constexpr std::size_t kMaxStoredBody = 64 * 1024;

// Endpoints that only store what they are given and report it back: enough for
// the settings commands whose effect the simulation does not model.
class StoredEndpoints
{
public:
    bool store(const std::string &path, const json &body)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_values.size() >= kMaxStoredEndpoints && m_values.find(path) == m_values.end())
            return false;
        m_values[path] = body;
        return true;
    }
    bool find(const std::string &path, json &body) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_values.find(path);
        if (it == m_values.end())
            return false;
        body = it->second;
        return true;
    }

private:
    mutable std::mutex m_lock;
    std::map<std::string, json> m_values;
};

// Calibration points: a JSON array of `count` arrays of `values` numbers.
bool readPoints(const json &body, std::size_t count, std::size_t values, std::vector<Pose> &points, std::string &error)
{
    if (!body.is_array() || body.size() != count) {
        error = "body must be an array of " + std::to_string(count) + " points";
        return false;
    }
    points.clear();
    for (const json &point : body) {
        if (!point.is_array() || point.size() < values) {
            error = "each point must be an array of " + std::to_string(values) + " numbers";
            return false;
        }
        Pose p{};
        for (std::size_t i = 0; i < values; ++i) {
            if (!point[i].is_number() || !(std::abs(point[i].get<double>()) <= kMaxPointValue)) {
                error = "each point must be an array of " + std::to_string(values) + " numbers within 1e6";
                return false;
            }
            p[i] = point[i].get<double>();
        }
        points.push_back(p);
    }
    return true;
}

using Calibration = CalibrationResult (*)(const std::vector<Pose> &);

Handler calibration(std::size_t count, std::size_t values, Calibration compute)
{
    return [count, values, compute](const Request &req) -> Reply {
        std::vector<Pose> points;
        std::string error;
        if (!readPoints(req.body, count, values, points, error))
            return refusal(error);
        const CalibrationResult result = compute(points);
        if (!result.ok)
            return refusal(result.error);
        const bool finite = std::isfinite(result.residual)
                         && std::all_of(result.coordinate.begin(), result.coordinate.end(), [](double v) { return std::isfinite(v); });
        if (!finite)
            return refusal("the points give no finite frame");
        json coordinate = json::array();
        for (double v : result.coordinate)
            coordinate.push_back(reported(v));
        return json{{"result", true}, {"coordinate", coordinate}, {"residual", std::round(result.residual * 1e3) / 1e3}};
    };
}

MotionKind motionKindOf(const std::string &name)
{
    if (name == "go") return MotionKind::Go;
    if (name == "moveJ") return MotionKind::MoveJ;
    if (name == "goR") return MotionKind::GoR;
    if (name == "moveR") return MotionKind::MoveR;
    if (name == "auxGo") return MotionKind::AuxGo;
    return MotionKind::GoHome;
}

} // namespace

void installPendantRoutes(Routes &routes, Robot &robot)
{
    Robot *r = &robot;
    routes.post("/panel/autoManual", [r](const Request &q) { return r->panelAutoManual(q.body); });
    routes.post("/panel/threeSwitch", [r](const Request &q) { return r->panelThreeSwitch(q.body); });
    routes.post("/panel/emergencyStop", [r](const Request &q) { return r->panelEmergencyStop(q.body); });
    routes.post("/panel/jog", [r](const Request &q) { return r->panelJog(q.body, false); });
    routes.post("/panel/auxJog", [r](const Request &q) { return r->panelJog(q.body, true); });
    routes.post("/settings/controlMode", [r](const Request &q) { return r->setControlMode(q.body); });
    routes.post("/interface/powerControl", [r](const Request &q) { return r->setPower(q.body); });
    routes.post("/sim/inputs", [r](const Request &q) { return r->simInputs(&q.body); });
}

void installApiRoutes(Routes &api, Robot &robot, DocumentStore &store, ScriptRunner &scripts, Services &services)
{
    Robot *r = &robot;
    DocumentStore *docs = &store;
    ScriptRunner *sr = &scripts;
    Services *sv = &services;
    auto stored = std::make_shared<StoredEndpoints>();

    // Connection and the state exchange.
    api.get("/connection/state", [r](const Request &) { return r->connectionState(); });
    api.get("/settings/version", [r](const Request &) { return r->version(); });
    api.post("/settings/version", [r](const Request &) { return r->version(); });
    api.get("/protocol/exchange", [r](const Request &) {
        std::string reply, error;
        r->exchange(nullptr, reply, error);
        return Reply::raw(reply);
    });
    api.post("/protocol/exchange", [r](const Request &q) {
        std::string reply, error;
        if (!r->exchange(&q.body, reply, error, q.connection))
            return Reply::error(400, error);
        return Reply::raw(reply);
    });

    // The teach pendant, control mode and power (the panel page has the same).
    installPendantRoutes(api, robot);
    api.getPattern(R"(/panel/(autoManual|threeSwitch|emergencyStop|jog|auxJog))",
                   [r](const Request &q) { return r->panelState(q.matches[0]); });
    api.get("/settings/controlMode", [r](const Request &) { return r->controlMode(); });
    api.get("/interface/powerControl", [r](const Request &) { return r->power(); });

    // Motions and kinematics.
    const char *motions = R"(/interface/(go|moveJ|goR|moveR|auxGo|goHome))";
    api.postPattern(motions, [r](const Request &q) { return r->command(motionKindOf(q.matches[0]), q.body); });
    api.getPattern(motions, [r](const Request &q) { return r->motionStatus(motionKindOf(q.matches[0])); });
    api.post("/interface/positiveSolution", [r](const Request &q) { return r->positiveSolution(q.body); });
    api.post("/interface/inverseSolution", [r](const Request &q) { return r->inverseSolution(q.body); });
    api.post("/interface/manualCommon", [r](const Request &q) { return r->setManualCommon(q.body); });
    api.get("/interface/manualCommon", [r](const Request &) { return r->manualCommon(); });

    // Safety, brakes and IO.
    api.post("/interface/resetCollision", [r](const Request &) { return r->resetCollision(); });
    api.post("/interface/resetElecSkin", [r](const Request &) { return r->resetElecSkin(); });
    api.post("/interface/6axisJointBrake", [r](const Request &q) { return r->setJointBrakes(q.body); });
    api.get("/interface/6axisJointBrake", [r](const Request &) { return r->jointBrakes(); });
    api.post("/interface/dynamicBrake", [r](const Request &q) { return r->setDynamicBrake(q.body); });
    api.post("/interface/setDIMode", [r](const Request &q) { return r->setDIMode(q.body); });
    api.post("/interface/getDIMode", [r](const Request &q) { return r->getDIMode(q.body); });
    api.post("/interface/setDIValue", [r](const Request &q) { return r->setDIValue(q.body); });
    api.post("/interface/extendIO", [r](const Request &q) { return r->setExtendIO(q.body); });
    // The joint brake switch is read back as a document.
    api.post("/interface/jointBrake", [docs](const Request &q) {
        bool on = false;
        if (!q.body.is_object() || !q.body.contains("jointBrake") || !q.body["jointBrake"].is_boolean())
            return refusal("jointBrake must be a boolean");
        on = q.body["jointBrake"].get<bool>();
        return json{{"result", docs->write("/interface/jointBrake", json{{"jointBrake", on}}) == DocumentStore::Status::Ok}};
    });
    api.post("/interface/updateFile", [r](const Request &) {
        r->reloadSettings();
        return json{{"result", true}};
    });
    api.post("/interface/reboot", [](const Request &) {
        logInfo("reboot requested (a simulator keeps running)");
        return json{{"result", true}};
    });

    // Script run control; the notifications of a run go to the client that
    // started or continued it.
    api.post("/debugger/start", [sr](const Request &q) { return sr->start(q.body, q.client); });
    api.post("/debugger/run", [sr](const Request &q) { return sr->run(q.client); });
    api.post("/debugger/suspend", [sr](const Request &) { return sr->suspend(); });
    api.post("/debugger/stop", [sr](const Request &) { return sr->stop(); });
    api.get("/debugger/state", [sr](const Request &) { return sr->state(); });
    api.get("/debugger/getSuspend", [sr](const Request &) { return sr->getSuspend(); });
    api.get("/debugger/stepIn", [sr](const Request &) { return sr->stepDone(); });
    // Steps and breakpoints reach a debuggee through its debug server; the
    // controller takes note of a step and checks that a breakpoint can be hit.
    api.post("/debugger/stepIn", [sr](const Request &) { return sr->markStep(); });
    api.post("/debugger/stepOver", [sr](const Request &) { return sr->markStep(); });
    api.post("/debugger/setb", [sr](const Request &q) { return sr->checkBreakpoint(q.body); });
    for (const char *path : {"/debugger/delb", "/debugger/delallb"})
        api.post(path, [](const Request &) { return Reply(json{{"result", true}}); });

    // Calibration from taught points.
    api.post("/calibrate/coordinate/tool", calibration(2, 4, &calibrateScaraTool));
    api.post("/calibrate/coordinate/tool/position", calibration(3, 6, &calibrateToolPosition));
    api.post("/calibrate/coordinate/tool/pose", calibration(3, 6, &calibrateToolPose));
    api.post("/calibrate/coordinate/user", calibration(3, 6, &calibrateUser));
    api.post("/calibrate/coordinate/userLine", calibration(3, 6, &calibrateUserLine));
    api.post("/calibrate/coordinate/userDot", calibration(3, 6, &calibrateUserDot));

    // Process and maintenance services.
    api.get("/process/sixForce/data", [sv](const Request &) { return sv->forceData(); });
    api.post("/process/sixForce/home", [sv](const Request &) { return sv->forceHome(); });
    api.post("/interface/listenSensor", [sv](const Request &q) { return sv->listenSensor(q.body); });
    api.post("/interface/readCurrentEncoder", [sv](const Request &q) { return sv->readEncoder(q.body, false); });
    api.post("/interface/readSensorEncoder", [sv](const Request &q) { return sv->readEncoder(q.body, true); });
    api.post("/interface/debugReTrace", [sv](const Request &q) { return sv->startReplay(q.body); });
    api.get("/interface/debugReTrace", [sv](const Request &) { return sv->replayState(); });
    api.post("/settings/function/setReTraceParam", [sv](const Request &q) { return sv->setReplayParams(q.body); });
    api.post("/calibrate/multiCalibration", [sv](const Request &q) { return sv->multiCalibration(q.body); });
    api.get("/calibrate/multiCalibration", [sv](const Request &) { return sv->multiCalibrationState(); });
    api.post("/settings/calcInstall", [sv](const Request &q) { return sv->calcInstall(q.body); });
    api.post("/interface/preHandleTrajPoints", [sv](const Request &q) { return sv->checkTrajectory(q.body); });
    api.post("/interface/visionCoordinate", [sv](const Request &q) { return sv->visionCoordinate(q.body); });
    api.get("/settings/workTimeRec", [r](const Request &) { return r->workTime(); });
    api.post("/settings/workTimeRec", [r](const Request &) { return r->clearWorkTime(); });

    // Simulation controls: what a real controller gets from its surroundings.
    api.get("/sim/inputs", [r](const Request &) { return r->simInputs(nullptr); });
    api.post("/sim/collision", [r](const Request &q) { return r->simCollision(q.body); });
    api.post("/sim/alarm", [r](const Request &q) { return r->simAlarm(q.body); });

    // What the settings commands without a model report before a client set
    // them.
    stored->store("/settings/driver/userParam", json{{"index", 0}});
    stored->store("/settings/autoIdentify", json{{"value", false}, {"name", ""}});
    stored->store("/interface/setAP", json{{"ssid", "VarloSim"}, {"passwd", "varlo-sim"}});
    stored->store("/interface/recurrentTrack", json{{"getpos", false}});
    json simulated = json::object();
    for (int j = 1; j <= 6; ++j)
        simulated["joint" + std::to_string(j) + "Simulated"] = true;
    stored->store("/settings/simulatedAxis", simulated);

    // Everything else: a POST to a document's own path is the change
    // notification that follows a file write; other POSTs are stored and
    // reported back by a GET of the same path; a GET of a document's path
    // answers the document.
    api.fallback("POST", [r, docs, stored](const Request &q) -> Reply {
        const std::string name = DocumentStore::fileNameOf(q.path);
        if (name.empty() || docs->checkName(name, nullptr) != DocumentStore::Status::Ok)
            return Reply::error(404, "unknown endpoint");
        if (docs->exists(q.path)) {
            r->reloadSettings();
            return json{{"result", true}};
        }
        if (!q.body.is_object() || q.text.size() > kMaxStoredBody)
            return Reply::error(400, "body must be a JSON object of at most 64 KiB");
        if (!q.body.empty() && !stored->store(q.path, q.body))
            return Reply::error(507, "too many stored endpoints");
        return json{{"result", true}};
    });
    api.fallback("GET", [docs, stored](const Request &q) -> Reply {
        json value;
        if (stored->find(q.path, value))
            return value;
        const std::string name = DocumentStore::fileNameOf(q.path);
        if (!name.empty() && docs->checkName(name, nullptr) == DocumentStore::Status::Ok) {
            if (const auto doc = docs->read(q.path))
                return *doc;
        }
        return Reply::error(404, "unknown endpoint");
    });
}

} // namespace varlosim
