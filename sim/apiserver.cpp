#include "apiserver.h"

#include "calibration.h"
#include "documentstore.h"
#include "httpjson.h"
#include "log.h"
#include "robot.h"
#include "scriptrunner.h"
#include "services.h"

#include <httplib.h>

#include <cmath>
#include <map>
#include <vector>
#include <memory>
#include <mutex>

using nlohmann::json;

namespace varlosim {

namespace {

constexpr std::size_t kMaxStoredEndpoints = 256;
constexpr std::size_t kMaxStoredBody = 64 * 1024;

using Action = std::function<json(const json &)>;

void post(httplib::Server &server, const std::string &path, Action action)
{
    server.Post(path, [action](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (parseBody(req, res, body))
            send(res, action(body));
    });
}

void get(httplib::Server &server, const std::string &path, std::function<json()> action)
{
    server.Get(path, [action](const httplib::Request &, httplib::Response &res) { send(res, action()); });
}

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
            if (!point[i].is_number() || !std::isfinite(point[i].get<double>())) {
                error = "each point must be an array of " + std::to_string(values) + " numbers";
                return false;
            }
            p[i] = point[i].get<double>();
        }
        points.push_back(p);
    }
    return true;
}

json calibrationReply(const CalibrationResult &result)
{
    if (!result.ok)
        return json{{"result", false}, {"error", result.error}};
    json coordinate = json::array();
    for (double v : result.coordinate)
        coordinate.push_back(std::round(v * 1e4) / 1e4 + 0.0);
    return json{{"result", true}, {"coordinate", coordinate}, {"residual", std::round(result.residual * 1e3) / 1e3}};
}

void calibration(httplib::Server &server, const std::string &path, std::size_t count, std::size_t values,
                 CalibrationResult (*compute)(const std::vector<Pose> &))
{
    server.Post(path, [count, values, compute](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        std::vector<Pose> points;
        std::string error;
        if (!readPoints(body, count, values, points, error)) {
            send(res, json{{"result", false}, {"error", error}});
            return;
        }
        send(res, calibrationReply(compute(points)));
    });
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

void configureServer(httplib::Server &server, const char *name, unsigned long maxBody)
{
    server.set_payload_max_length(maxBody);
    server.set_tcp_nodelay(true);
    // The library's default closes a connection after five requests; a client
    // that polls several times a second would reconnect all the time.
    server.set_keep_alive_max_count(1000);
    // The library's default also sets SO_REUSEPORT, which lets a second
    // simulator bind the same address and silently take half of the requests.
    // Only SO_REUSEADDR: a restart may bind at once, a second copy must fail.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    const std::string tag = name;
    server.set_logger([tag](const httplib::Request &req, const httplib::Response &res) {
        if (isVerbose())
            logVerbose(tag + " " + req.method + " " + req.path + " " + std::to_string(res.status));
    });
    server.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
        std::string what = "internal error";
        try {
            if (ep)
                std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            what = e.what();
        } catch (...) {
        }
        logWarning("request " + req.method + " " + req.path + " failed: " + what);
        sendError(res, 500, what);
    });
    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return;
        std::string message = "error";
        switch (res.status) {
        case 404: message = "unknown endpoint"; break;
        case 413: message = "body too large"; break;
        case 400: message = "bad request"; break;
        default: message = "HTTP status " + std::to_string(res.status); break;
        }
        sendError(res, res.status, message);
    });
}

void installApiRoutes(httplib::Server &server, Robot &robot, DocumentStore &store, ScriptRunner &scripts)
{
    ScriptRunner *sr = &scripts;
    Robot *r = &robot;
    DocumentStore *docs = &store;
    auto stored = std::make_shared<StoredEndpoints>();

    get(server, "/connection/state", [r] { return r->connectionState(); });
    get(server, "/settings/version", [r] { return r->version(); });
    post(server, "/settings/version", [r](const json &) { return r->version(); });

    server.Get("/protocol/exchange", [r](const httplib::Request &, httplib::Response &res) {
        std::string reply, error;
        r->exchange(nullptr, reply, error);
        res.set_content(reply, "application/json");
    });
    server.Post("/protocol/exchange", [r](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        std::string reply, error;
        if (!r->exchange(&body, reply, error))
            sendError(res, 400, error);
        else
            res.set_content(reply, "application/json");
    });

    post(server, "/panel/autoManual", [r](const json &b) { return r->panelAutoManual(b); });
    post(server, "/panel/threeSwitch", [r](const json &b) { return r->panelThreeSwitch(b); });
    post(server, "/panel/emergencyStop", [r](const json &b) { return r->panelEmergencyStop(b); });
    post(server, "/panel/jog", [r](const json &b) { return r->panelJog(b, false); });
    post(server, "/panel/auxJog", [r](const json &b) { return r->panelJog(b, true); });
    server.Get(R"(/panel/(autoManual|threeSwitch|emergencyStop|jog|auxJog))",
               [r](const httplib::Request &req, httplib::Response &res) { send(res, r->panelState(req.matches[1])); });

    post(server, "/settings/controlMode", [r](const json &b) { return r->setControlMode(b); });
    get(server, "/settings/controlMode", [r] { return r->controlMode(); });
    post(server, "/interface/powerControl", [r](const json &b) { return r->setPower(b); });
    get(server, "/interface/powerControl", [r] { return r->power(); });

    const char *motionPattern = R"(/interface/(go|moveJ|goR|moveR|auxGo|goHome))";
    server.Post(motionPattern, [r](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (parseBody(req, res, body))
            send(res, r->command(motionKindOf(req.matches[1]), body));
    });
    server.Get(motionPattern, [r](const httplib::Request &req, httplib::Response &res) {
        send(res, r->motionStatus(motionKindOf(req.matches[1])));
    });

    post(server, "/interface/positiveSolution", [r](const json &b) { return r->positiveSolution(b); });
    post(server, "/interface/inverseSolution", [r](const json &b) { return r->inverseSolution(b); });
    post(server, "/interface/manualCommon", [r](const json &b) { return r->setManualCommon(b); });
    get(server, "/interface/manualCommon", [r] { return r->manualCommon(); });
    post(server, "/interface/resetCollision", [r](const json &) { return r->resetCollision(); });
    post(server, "/interface/resetElecSkin", [r](const json &) { return r->resetElecSkin(); });
    post(server, "/interface/6axisJointBrake", [r](const json &b) { return r->setJointBrakes(b); });
    get(server, "/interface/6axisJointBrake", [r] { return r->jointBrakes(); });
    post(server, "/interface/dynamicBrake", [r](const json &b) { return r->setDynamicBrake(b); });
    post(server, "/interface/setDIMode", [r](const json &b) { return r->setDIMode(b); });
    post(server, "/interface/getDIMode", [r](const json &b) { return r->getDIMode(b); });
    post(server, "/interface/setDIValue", [r](const json &b) { return r->setDIValue(b); });
    post(server, "/interface/extendIO", [r](const json &b) { return r->setExtendIO(b); });
    // The joint brake switch is read back as a document.
    post(server, "/interface/jointBrake", [docs](const json &b) {
        if (!b.is_object() || !b.contains("jointBrake") || !b["jointBrake"].is_boolean())
            return json{{"result", false}, {"error", "jointBrake must be a boolean"}};
        const auto status = docs->write("/interface/jointBrake", json{{"jointBrake", b["jointBrake"]}});
        return json{{"result", status == DocumentStore::Status::Ok}};
    });
    post(server, "/interface/updateFile", [r](const json &) {
        r->reloadSettings();
        return json{{"result", true}};
    });
    post(server, "/interface/reboot", [](const json &) {
        logInfo("reboot requested (a simulator keeps running)");
        return json{{"result", true}};
    });

    // Script run control; the notifications of a run go to the client that
    // started or continued it.
    server.Post("/debugger/start", [sr](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (parseBody(req, res, body))
            send(res, sr->start(body, req.remote_addr));
    });
    server.Post("/debugger/run", [sr](const httplib::Request &req, httplib::Response &res) {
        send(res, sr->run(req.remote_addr));
    });
    post(server, "/debugger/suspend", [sr](const json &) { return sr->suspend(); });
    post(server, "/debugger/stop", [sr](const json &) { return sr->stop(); });
    get(server, "/debugger/state", [sr] { return sr->state(); });
    get(server, "/debugger/getSuspend", [sr] { return sr->getSuspend(); });
    get(server, "/debugger/stepIn", [sr] { return sr->stepIn(); });

    calibration(server, "/calibrate/coordinate/tool", 2, 4, &calibrateScaraTool);
    calibration(server, "/calibrate/coordinate/tool/position", 3, 6, &calibrateToolPosition);
    calibration(server, "/calibrate/coordinate/tool/pose", 3, 6, &calibrateToolPose);
    calibration(server, "/calibrate/coordinate/user", 3, 6, &calibrateUser);
    calibration(server, "/calibrate/coordinate/userLine", 3, 6, &calibrateUserLine);
    calibration(server, "/calibrate/coordinate/userDot", 3, 6, &calibrateUserDot);

    installServiceRoutes(server, robot, store);
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

    post(server, "/sim/inputs", [r](const json &b) { return r->simInputs(&b); });
    get(server, "/sim/inputs", [r] { return r->simInputs(nullptr); });
    post(server, "/sim/collision", [r](const json &b) { return r->simCollision(b); });
    post(server, "/sim/alarm", [r](const json &b) { return r->simAlarm(b); });

    // Everything else: a POST to a document's own path is the change
    // notification that follows a file write; other POSTs are stored and
    // reported back by a GET of the same path; a GET of a document's path
    // answers the document.
    server.Post(R"(/.*)", [r, docs, stored](const httplib::Request &req, httplib::Response &res) {
        const std::string name = DocumentStore::fileNameOf(req.path);
        if (name.empty() || docs->checkName(name, nullptr) != DocumentStore::Status::Ok) {
            sendError(res, 404, "unknown endpoint");
            return;
        }
        json body;
        if (!parseBody(req, res, body))
            return;
        if (docs->exists(req.path)) {
            r->reloadSettings();
            send(res, json{{"result", true}});
            return;
        }
        if (!body.is_object() || req.body.size() > kMaxStoredBody) {
            sendError(res, 400, "body must be a JSON object of at most 64 KiB");
            return;
        }
        if (!body.empty() && !stored->store(req.path, body)) {
            sendError(res, 507, "too many stored endpoints");
            return;
        }
        send(res, json{{"result", true}});
    });
    server.Get(R"(/.*)", [docs, stored](const httplib::Request &req, httplib::Response &res) {
        json value;
        if (stored->find(req.path, value)) {
            send(res, value);
            return;
        }
        const std::string name = DocumentStore::fileNameOf(req.path);
        if (!name.empty() && docs->checkName(name, nullptr) == DocumentStore::Status::Ok) {
            if (const auto doc = docs->read(req.path)) {
                send(res, *doc);
                return;
            }
        }
        sendError(res, 404, "unknown endpoint");
    });
}

} // namespace varlosim
