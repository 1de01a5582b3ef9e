#include "services.h"

#include "documentstore.h"
#include "kinematics.h"
#include "robot.h"
// After Eigen: cpp-httplib brings in <resolv.h>, whose _res macro breaks
// Eigen's headers when they come later.
#include "httpjson.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <random>

using nlohmann::json;

namespace varlosim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.81;
constexpr double kEncoderCountsPerSecond = 200.0;   // conveyor speed
constexpr double kPartEverySeconds = 5.0;           // a part passes the sensor
constexpr double kReplayLoopSeconds = 2.0;
constexpr std::size_t kMaxTrajectoryPoints = 40000;
constexpr int kMaxConveyors = 8;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool readInteger(const json &o, const char *key, int &out)
{
    if (!o.is_object() || !o.contains(key) || !o[key].is_number_integer())
        return false;
    const auto v = o[key].get<long long>();
    if (v < -1000000 || v > 1000000)
        return false;
    out = static_cast<int>(v);
    return true;
}

struct ServiceState
{
    std::mutex lock;
    std::mt19937 noise{7u};
    std::array<double, 6> forceOffset{};

    struct Conveyor { bool listening = false; Clock::time_point since = Clock::now(); };
    std::map<int, Conveyor> conveyors;

    bool replayRunning = false;
    int replayLoops = 0;
    Clock::time_point replayStart = Clock::now();

    int multiCalibrationState = 0;   // 0 never run, 1 done, -1 refused
};

// The sensor's raw reading: the payload's weight and its moment about the
// sensor, with a little noise.
std::array<double, 6> rawForce(ServiceState &state, DocumentStore &store)
{
    double mass = 0.0, cx = 0.0, cy = 0.0;
    if (const auto load = store.read("/settings/function/loadParams"); load && load->is_object()) {
        if (load->contains("loadValue") && (*load)["loadValue"].is_number())
            mass = (*load)["loadValue"].get<double>();
        if (load->contains("centerX") && (*load)["centerX"].is_number())
            cx = (*load)["centerX"].get<double>();
        if (load->contains("centerY") && (*load)["centerY"].is_number())
            cy = (*load)["centerY"].get<double>();
    }
    if (!std::isfinite(mass) || mass < 0 || mass > 1000)
        mass = 0.0;
    std::normal_distribution<double> n(0.0, 0.05);
    const double fz = -mass * kGravity;
    return {n(state.noise), n(state.noise), fz + n(state.noise), fz * cy / 1000.0 + 0.01 * n(state.noise),
            -fz * cx / 1000.0 + 0.01 * n(state.noise), 0.01 * n(state.noise)};
}

double round4(double v)
{
    return std::round(v * 1e4) / 1e4 + 0.0;
}

} // namespace

void installServiceRoutes(httplib::Server &server, Robot &robot, DocumentStore &store)
{
    auto state = std::make_shared<ServiceState>();
    Robot *r = &robot;
    DocumentStore *docs = &store;

    // Force sensor: readings relative to the zero set by "home".
    server.Get("/process/sixForce/data", [state, docs](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(state->lock);
        const auto raw = rawForce(*state, *docs);
        json value = json::array();
        for (int i = 0; i < 6; ++i)
            value.push_back(round4(raw[i] - state->forceOffset[i]));
        send(res, json{{"value", value}});
    });
    server.Post("/process/sixForce/home", [state, docs](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->forceOffset = rawForce(*state, *docs);
        send(res, json{{"result", true}});
    });

    // Conveyor tracking: an encoder that counts while listened to, and the
    // count latched when the last part passed the sensor.
    auto conveyorIndex = [](const json &body, int &index) {
        return readInteger(body, "conveyor_index", index) && index >= 0 && index < kMaxConveyors;
    };
    server.Post("/interface/listenSensor", [state, conveyorIndex](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        int index = 0;
        const std::string cmd = body.is_object() && body.contains("cmd") && body["cmd"].is_string()
                                  ? body["cmd"].get<std::string>() : std::string();
        if (!conveyorIndex(body, index) || (cmd != "start" && cmd != "stop")) {
            send(res, json{{"result", false}, {"error", "conveyor_index 0 to 7 and cmd \"start\" or \"stop\""}});
            return;
        }
        std::lock_guard<std::mutex> guard(state->lock);
        auto &c = state->conveyors[index];
        c.listening = cmd == "start";
        c.since = Clock::now();
        send(res, json{{"result", true}});
    });
    for (const bool latched : {false, true}) {
        const char *path = latched ? "/interface/readSensorEncoder" : "/interface/readCurrentEncoder";
        server.Post(path, [state, conveyorIndex, latched](const httplib::Request &req, httplib::Response &res) {
            json body;
            if (!parseBody(req, res, body))
                return;
            int index = 0;
            if (!conveyorIndex(body, index)) {
                send(res, json{{"result", false}, {"error", "conveyor_index must be 0 to 7"}});
                return;
            }
            std::lock_guard<std::mutex> guard(state->lock);
            const auto it = state->conveyors.find(index);
            double seconds = 0.0;
            if (it != state->conveyors.end() && it->second.listening)
                seconds = secondsSince(it->second.since);
            if (latched)
                seconds = std::floor(seconds / kPartEverySeconds) * kPartEverySeconds;
            send(res, json{{"result", true}, {"value", std::round(seconds * kEncoderCountsPerSecond)}});
        });
    }

    // Trajectory replay in debug mode: one loop every two seconds.
    server.Post("/interface/debugReTrace", [state](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        const std::string cmd = body.is_object() && body.contains("cmd") && body["cmd"].is_string()
                                  ? body["cmd"].get<std::string>() : std::string();
        int loops = 1;
        readInteger(body, "loopTimes", loops);
        std::lock_guard<std::mutex> guard(state->lock);
        if (cmd == "stop") {
            state->replayRunning = false;
        } else {
            state->replayRunning = true;
            state->replayLoops = std::max(1, std::min(loops, 100000));
            state->replayStart = Clock::now();
        }
        send(res, json{{"result", true}});
    });
    server.Get("/interface/debugReTrace", [state](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(state->lock);
        int done = 0;
        if (state->replayRunning)
            done = std::min(state->replayLoops, static_cast<int>(secondsSince(state->replayStart) / kReplayLoopSeconds));
        const bool finished = !state->replayRunning || done >= state->replayLoops;
        send(res, json{{"currentTimes", done}, {"isDone", finished}});
    });

    // Replay parameters: the controller keeps them as its document.
    server.Post("/settings/function/setReTraceParam", [docs](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        if (!body.is_object()) {
            send(res, json{{"result", false}, {"error", "body must be an object"}});
            return;
        }
        const auto status = docs->write("/settings/function/reTraceParams", body);
        send(res, json{{"result", status == DocumentStore::Status::Ok}});
    });

    // Multi-robot calibration: accepted when both point sets hold the same
    // number of points, at least three.
    server.Post("/calibrate/multiCalibration", [state](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        bool ok = body.is_object() && body.contains("master") && body.contains("slave") && body["master"].is_array()
               && body["slave"].is_array() && body["master"].size() == body["slave"].size()
               && body["master"].size() >= 3;
        std::lock_guard<std::mutex> guard(state->lock);
        state->multiCalibrationState = ok ? 1 : -1;
        send(res, json{{"result", ok}});
    });
    server.Get("/calibrate/multiCalibration", [state](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> guard(state->lock);
        send(res, json{{"state", state->multiCalibrationState}});
    });

    // Mounting posture from the base's orientation (a, b, c of the pose):
    // the tilt of its z axis from the vertical, and the direction of the tilt.
    server.Post("/settings/calcInstall", [](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        if (!body.is_object() || !body.contains("cartesianCoord") || !body["cartesianCoord"].is_array()
            || body["cartesianCoord"].size() != 6) {
            send(res, json{{"result", false}, {"error", "cartesianCoord must be an array of 6 numbers"}});
            return;
        }
        Pose p{};
        for (int i = 0; i < 6; ++i) {
            const json &v = body["cartesianCoord"][i];
            if (!v.is_number() || !std::isfinite(v.get<double>())) {
                send(res, json{{"result", false}, {"error", "cartesianCoord must be an array of 6 numbers"}});
                return;
            }
            p[i] = v.get<double>();
        }
        const Eigen::Vector3d z = poseToTransform(p).linear().col(2);
        const double slope = std::acos(std::max(-1.0, std::min(1.0, z.z()))) * 180.0 / kPi;
        const double rotation = std::hypot(z.x(), z.y()) < 1e-9 ? 0.0 : std::atan2(z.y(), z.x()) * 180.0 / kPi;
        send(res, json{{"result", true}, {"SlopeAngle", round4(slope)}, {"RotationAngle", round4(rotation)}});
    });

    // Trajectory check: every point of the stored point list must be reachable
    // with the given tool and user frame; "index" names the first that is not.
    server.Post("/interface/preHandleTrajPoints", [r, docs](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        int tool = 0, user = 0;
        readInteger(body, "tool", tool);
        readInteger(body, "user", user);
        const auto doc = docs->read("/process/trajectory/trajPoints");
        if (!doc || !doc->is_object() || !doc->contains("point") || !(*doc)["point"].is_array()) {
            send(res, json{{"result", true}, {"value", false}, {"index", 0}});
            return;
        }
        const json &points = (*doc)["point"];
        for (std::size_t i = 0; i < points.size() && i < kMaxTrajectoryPoints; ++i) {
            const json &p = points[i];
            json coordinate = p.is_object() && p.contains("P") ? p["P"] : json();
            const json answer = r->inverseSolution(json{{"coordinate", coordinate}, {"tool", tool}, {"user", user}});
            if (!answer.value("result", false)) {
                send(res, json{{"result", true}, {"value", false}, {"index", static_cast<int>(i)}});
                return;
            }
        }
        send(res, json{{"result", true}, {"value", true}, {"index", 0}});
    });

    // Vision system: the camera of each index sees one part, 10 mm apart.
    server.Post("/interface/visionCoordinate", [](const httplib::Request &req, httplib::Response &res) {
        json body;
        if (!parseBody(req, res, body))
            return;
        int index = 0;
        if (!readInteger(body, "index", index) || index < 0 || index > 99) {
            send(res, json{{"result", false}, {"error", "index must be 0 to 99"}});
            return;
        }
        send(res, json{{"result", true}, {"x", 350.0 + 10.0 * index}, {"y", -20.0}});
    });

    server.Get("/settings/workTimeRec", [r](const httplib::Request &, httplib::Response &res) {
        send(res, r->workTime());
    });
    server.Post("/settings/workTimeRec", [r](const httplib::Request &, httplib::Response &res) {
        send(res, r->clearWorkTime());
    });
}

} // namespace varlosim
