#include "defaults.h"

#include "documentstore.h"
#include "kinematics.h"
#include "log.h"

using nlohmann::json;

namespace varlosim {

namespace {

json limit(double def, double min, double max)
{
    return json{{"def", def}, {"max", max}, {"min", min}};
}

json limitArray(const std::vector<double> &defs, double minFactor, double maxFactor)
{
    json a = json::array();
    for (double d : defs)
        a.push_back(limit(d, d * minFactor, d * maxFactor));
    return a;
}

json coordinateTable(const char *prefix)
{
    json table = json::array();
    for (int i = 0; i < 10; ++i) {
        table.push_back({{"enable", i == 0},
                         {"alias", std::string(prefix) + std::to_string(i)},
                         {"params", {0, 0, 0, 0, 0, 0}}});
    }
    return table;
}

json safeModeLimits(double diff, double velj, const Kinematics &model)
{
    json set = json::object();
    for (int j = 1; j <= 6; ++j) {
        const auto &l = model.limits()[j - 1];
        const std::string n = std::to_string(j);
        set["diff" + n] = diff;
        set["velj" + n] = velj;
        // Both spellings of the range keys are in use by clients.
        set["rangeMin" + n] = l.min;
        set["rangeMax" + n] = l.max;
        set["rangMin" + n] = l.min;
        set["rangMax" + n] = l.max;
    }
    return set;
}

json structureDocument(const Kinematics &model)
{
    const auto v = model.structureValues();
    json s = json::object();
    for (int i = 0; i < 6; ++i) {
        s["L" + std::to_string(i + 1)] = v[i];
        s["a" + std::to_string(i + 1)] = v[6 + i];
        s["alpha" + std::to_string(i + 1)] = v[12 + i];
    }
    json limits = json::array();
    for (int i = 0; i < 6; ++i)
        limits.push_back({model.limits()[i].min, model.limits()[i].max});
    s["limits"] = limits;
    json motors = json::array();
    for (int i = 0; i < 6; ++i) {
        const bool present = i < model.axes();
        motors.push_back({{"simulated", true},
                          {"motor", {{"inverted", false}, {"rated", present ? 1.27 : 0.0}, {"limit", present ? 3.8 : 0.0}}},
                          {"encoder", {{"bitNum", 17}}},
                          {"gearBox", {{"num", present ? (i < 3 ? 101 : 81) : 1}, {"den", 1}}}});
    }
    return json{{"model", model.modelName()}, {"axis", model.axes()}, {"structure", s}, {"motors", motors}};
}

json ioControlMap(const char *inKey, const char *outKey)
{
    return json{{inKey, {{"clear_alarm", 1}, {"continue", 2}, {"pause_pin", 3}, {"stop_pin", 4},
                         {"start_pin", 5}, {"emergencystop", 6}}},
                {outKey, {{"readystatus", 1}, {"pausestatus", 2}, {"alarmstatus", 3}, {"runstatus", 4}}}};
}

json functionCatalogue()
{
    auto num = [](int min, int max) { return json{{"type", "num"}, {"min", min}, {"max", max}}; };
    json point = {{"type", "point"}, {"min", 0}, {"max", 0}};
    json sw = {{"type", "switch"}, {"min", 0}, {"max", 1}};
    json c = {{"function", {"MovJ", "MovL", "JointMovJ", "RelMovJ", "RelMovL", "Wait", "SetDO", "GetDI",
                            "WaitDI", "SetSpeed", "SetTool", "SetUser", "Arch", "Print"}}};
    c["MovJ"] = {point, num(1, 100)};
    c["MovL"] = {point, num(1, 100)};
    c["JointMovJ"] = {point};
    c["RelMovJ"] = {num(-1000, 1000), num(-1000, 1000), num(-1000, 1000)};
    c["RelMovL"] = {num(-1000, 1000), num(-1000, 1000), num(-1000, 1000)};
    c["Wait"] = {num(0, 600000)};
    c["SetDO"] = {num(1, 64), sw};
    c["GetDI"] = {num(1, 64)};
    c["WaitDI"] = {num(1, 64), sw, num(0, 600000)};
    c["SetSpeed"] = {num(1, 100)};
    c["SetTool"] = {num(0, 9)};
    c["SetUser"] = {num(0, 9)};
    c["Arch"] = {num(0, 9)};
    c["Print"] = json::array();
    return c;
}

} // namespace

std::vector<std::pair<std::string, json>> defaultDocuments(const Kinematics &model)
{
    const bool scara = model.axes() == 4;
    std::vector<std::pair<std::string, json>> d;

    // What the controller is.
    d.emplace_back("/properties/axis", json{{"axis", model.axes()}});
    d.emplace_back("/properties/controllerType",
                   json{{"version", scara ? 4 : 6}, {"name", "VarloSim " + model.modelName()}});
    d.emplace_back("/properties/structure", structureDocument(model));

    // Motion parameters.
    const std::vector<double> teachJointVel = scara ? std::vector<double>{40, 40, 100, 60, 0, 0}
                                                    : std::vector<double>{40, 40, 40, 60, 60, 60};
    const std::vector<double> teachJointAcc = scara ? std::vector<double>{120, 120, 400, 180, 0, 0}
                                                    : std::vector<double>{120, 120, 120, 180, 180, 180};
    const std::vector<double> playJointVel = scara ? std::vector<double>{240, 360, 800, 1200, 0, 0}
                                                   : std::vector<double>{180, 180, 180, 225, 225, 225};
    const std::vector<double> playJointAcc = scara ? std::vector<double>{720, 1080, 3000, 3600, 0, 0}
                                                   : std::vector<double>{360, 360, 360, 450, 450, 450};
    const std::vector<double> playJointJerk = scara ? std::vector<double>{3600, 5400, 15000, 18000, 0, 0}
                                                    : std::vector<double>{1800, 1800, 1800, 2250, 2250, 2250};
    const std::vector<double> teachCoorVel{250, 250, 250, 60, 60, 60};
    const std::vector<double> teachCoorAcc{500, 500, 500, 120, 120, 120};
    const std::vector<double> playCoorVel{1000, 180}, playCoorAcc{2000, 360}, playCoorJerk{10000, 1800};

    d.emplace_back("/settings/common", json{{"ratio", 50}});
    d.emplace_back("/settings/teach/joint", json{{"velocity", teachJointVel}, {"acceleration", teachJointAcc}});
    d.emplace_back("/settings/teach/coordinate", json{{"velocity", teachCoorVel}, {"acceleration", teachCoorAcc}});
    d.emplace_back("/settings/teach/inch", json{{"distance", 1.0}, {"angle", 1.0}});
    d.emplace_back("/settings/teach/auxJoint", json{{"velocity", {30, 30, 30}}, {"acceleration", {90, 90, 90}}});
    d.emplace_back("/settings/playback/joint",
                   json{{"velocity", playJointVel}, {"acceleration", playJointAcc}, {"jerk", playJointJerk}});
    d.emplace_back("/settings/playback/coordinate",
                   json{{"velocity", playCoorVel}, {"acceleration", playCoorAcc}, {"jerk", playCoorJerk}});
    d.emplace_back("/settings/playback/auxJoint",
                   json{{"velocity", {90, 90, 90}}, {"acceleration", {180, 180, 180}}, {"jerk", {900, 900, 900}}});
    json arch = json::array();
    for (int i = 0; i < 10; ++i)
        arch.push_back({{"enable", i == 0}, {"params", {{"startHeight", 20 + 5 * i}, {"endHeight", 20 + 5 * i}, {"zLimit", 100}}}});
    d.emplace_back("/settings/playback/arch", arch);
    d.emplace_back("/settings/function/hasAuxJoint", json{{"value", false}});

    // Allowed ranges of the above.
    json limits;
    limits["common"] = {{"ratio", limit(50, 1, 100)}};
    limits["teach"] = {{"joint", {{"velocity", limitArray(teachJointVel, 0.0, 2.5)},
                                  {"acceleration", limitArray(teachJointAcc, 0.0, 2.5)}}},
                       {"coordinate", {{"velocity", limitArray(teachCoorVel, 0.0, 2.0)},
                                       {"acceleration", limitArray(teachCoorAcc, 0.0, 2.0)}}}};
    limits["playback"] = {{"joint", {{"velocity", limitArray(playJointVel, 0.0, 1.0)},
                                     {"acceleration", limitArray(playJointAcc, 0.0, 1.0)},
                                     {"jerk", limitArray(playJointJerk, 0.0, 1.0)}}},
                          {"coordinate", {{"velocity", limitArray(playCoorVel, 0.0, 1.5)},
                                          {"acceleration", limitArray(playCoorAcc, 0.0, 1.5)},
                                          {"jerk", limitArray(playCoorJerk, 0.0, 1.5)}}},
                          {"arch", {{"startHeight", limit(20, 0, 200)}, {"endHeight", limit(20, 0, 200)},
                                    {"zLimit", limit(100, 0, 500)}}}};
    json drag = json::object();
    for (int j = 1; j <= 6; ++j)
        drag["j" + std::to_string(j)] = limit(5, 1, 10);
    limits["dragSensivity"] = drag;
    d.emplace_back("/properties/default", limits);

    // Frames and loads.
    d.emplace_back("/settings/coordinate/tool", coordinateTable("tool"));
    d.emplace_back("/settings/coordinate/user", coordinateTable("user"));
    json pointLoads = json::array();
    for (int i = 0; i < 10; ++i)
        pointLoads.push_back({{"enable", false}, {"params", {0, 0}}});
    d.emplace_back("/settings/function/pointLoad", pointLoads);
    d.emplace_back("/settings/function/loadParams",
                   json{{"centerX", 0.0}, {"centerY", 0.0}, {"centerZ", 50.0}, {"inertiaX", 0.0},
                        {"inertiaY", 0.0}, {"inertiaZ", 0.0}, {"loadValue", 0.5}});
    d.emplace_back("/settings/torqueParams", json{{"value", 1.0}});
    d.emplace_back("/settings/function/install", json{{"SlopeAngle", 0.0}, {"RotationAngle", 0.0}});
    json dragSens = json::object();
    for (int j = 1; j <= 6; ++j)
        dragSens["j" + std::to_string(j)] = 5;
    d.emplace_back("/settings/function/dragSensivity", dragSens);
    d.emplace_back("/process/sixForce/switch", json{{"value", false}});
    d.emplace_back("/interface/jointBrake", json{{"jointBrake", false}});

    // Safety.
    json collision = {{"value", true}, {"mode", 0}, {"resumeType", 0}, {"level", 3}};
    const int levels[5][2] = {{30, 10}, {25, 8}, {20, 6}, {15, 4}, {10, 3}};
    for (int l = 0; l < 5; ++l) {
        const int a = levels[l][0], b = levels[l][1];
        collision["Level" + std::to_string(l + 1)] = {a, a, a, b, b, b};
    }
    d.emplace_back("/settings/function/collisionDect", collision);
    d.emplace_back("/settings/function/elecSkin", json{{"value", false}});
    d.emplace_back("/settings/function/elecSkinParams",
                   json{{"avoidDistance", 50.0}, {"avoidVel", 100.0}, {"avoidAcc", 500.0},
                        {"resumeVel", 50.0}, {"resumeAcc", 250.0}, {"mode", 0}});
    d.emplace_back("/settings/function/elecSkinDefault",
                   json{{"avoidDistance", limit(50, 10, 150)}, {"avoidVel", limit(100, 10, 300)},
                        {"avoidAcc", limit(500, 50, 2000)}, {"resumeVel", limit(50, 10, 300)},
                        {"resumeAcc", limit(250, 50, 2000)}});
    d.emplace_back("/settings/safemode",
                   json{{"high", safeModeLimits(5, 180, model)}, {"middle", safeModeLimits(3, 120, model)},
                        {"low", safeModeLimits(2, 60, model)}, {"valid", safeModeLimits(2, 60, model)},
                        {"payload", 3}, {"mode", 0}});
    d.emplace_back("/settings/function/stopMode",
                   json{{"enable", false}, {"x", 0.0}, {"y", 0.0}, {"z", 0.0}, {"a", 0.0}, {"b", 0.0}, {"c", 0.0},
                        {"tool", 0}, {"user", 0}, {"r", 0}, {"d", 0}, {"n", 0}, {"cfg", 0},
                        {"mode", "go"}, {"arch", 0}, {"speed", 20}});

    // IO and grippers.
    d.emplace_back("/settings/function/endAI", json::array({{{"mode", 0}, {"value", 0}}, {{"mode", 0}, {"value", 0}}}));
    d.emplace_back("/settings/function/gpioAI", json{{"mode1", 0}, {"mode2", 0}});
    d.emplace_back("/settings/function/gpioAO", json::array({{{"mode", 0}, {"value", 0}}, {{"mode", 0}, {"value", 0}}}));
    d.emplace_back("/settings/function/robotiqGripperEnable", json{{"enable", false}});
    d.emplace_back("/settings/function/hitbotGripperEnable", json{{"enable", false}});
    d.emplace_back("/settings/function/modbus_io_config", json{{"modbusTCPDev", json::array()}});
    d.emplace_back("/settings/function/ioctrl", ioControlMap("in", "out"));
    d.emplace_back("/settings/function/modbusctrl", ioControlMap("coils", "inBits"));
    json offline = {{"name", "main"}};
    offline["in"] = {{"start", {{"io", 1}, {"level", 1}}}, {"pause", {{"io", 2}, {"level", 1}}},
                     {"resume", {{"io", 3}, {"level", 1}}}, {"stop", {{"io", 4}, {"level", 1}}},
                     {"force_stop", {{"io", 5}, {"level", 1}}}};
    offline["out"] = {{"alarm", {{"io", 1}, {"level", 1}}}, {"running", {{"io", 2}, {"level", 1}}}};
    d.emplace_back("/settings/offline", offline);
    d.emplace_back("/settings/function/remoteControl", json{{"name", ""}, {"mode", "local"}});
    d.emplace_back("/settings/function/modbusConf", json{{"id", 1}, {"mode", "tcp"}});
    d.emplace_back("/settings/function/runToMode", json{{"mode", "go"}});

    // Identification, catalogues.
    d.emplace_back("/settings/productInfo/hardwareInfo",
                   json{{"SNcode", scara ? "VS4-SIM-000001" : "VR6-SIM-000001"},
                        {"ControllerVersion", "VC-3.2.1"}, {"ServoVersion", "SV-2.4.0"},
                        {"PowerVersion", "PW-1.3.2"}});
    d.emplace_back("/properties/alarm_controller", controllerAlarmCatalogue());
    d.emplace_back("/properties/alarm_servo", servoAlarmCatalogue());
    d.emplace_back("/settings/function/functionApi", functionCatalogue());
    d.emplace_back("/settings/function/functionSystem",
                   json{{"Operators", {{"and", "logical and"}, {"or", "logical or"}, {"not", "logical not"},
                                       {"==", "equal"}, {"~=", "not equal"}}},
                        {"Function", {{"MovJ", "joint motion to a point"}, {"MovL", "linear motion to a point"},
                                      {"Wait", "wait milliseconds"}, {"SetDO", "set a digital output"},
                                      {"GetDI", "read a digital input"}}}});
    json driver = json::array();
    for (int g = 0; g < 10; ++g) {
        driver.push_back({{"velocityP", {60, 60, 50, 40, 40, 30}}, {"velocityI", {15, 15, 12, 10, 10, 8}},
                          {"positionP", {80, 80, 70, 60, 60, 50}}, {"speedFeedForward", {0, 0, 0, 0, 0, 0}},
                          {"loadInertiaRatio", {3, 3, 2, 1, 1, 1}}});
    }
    d.emplace_back("/properties/driverParams", driver);
    d.emplace_back("/settings/driver/userParams", driver);
    return d;
}

int installDefaults(DocumentStore &store, const Kinematics &model)
{
    // These describe the running model; they follow it when it changes.
    static const char *const modelDocuments[] = {"/properties/axis", "/properties/controllerType",
                                                 "/properties/structure"};
    int written = 0;
    for (auto &[name, value] : defaultDocuments(model)) {
        bool isModel = false;
        for (const char *m : modelDocuments)
            isModel = isModel || name == m;
        bool needed = !store.exists(name);
        if (!needed && isModel && name == "/properties/axis") {
            const auto current = store.read(name);
            needed = !current || !current->is_object() || current->value("axis", 0) != model.axes();
        } else if (!needed && isModel) {
            const auto current = store.read(name);
            needed = !current || !current->is_object()
                  || (name == "/properties/structure" && current->value("axis", 0) != model.axes())
                  || (name == "/properties/controllerType"
                      && current->value("name", std::string()) != value.value("name", std::string()));
        }
        if (!needed)
            continue;
        const auto status = store.write(name, value);
        if (status != DocumentStore::Status::Ok) {
            logWarning("cannot write the default document " + name + ": " + DocumentStore::describe(status));
            continue;
        }
        ++written;
    }
    return written;
}

} // namespace varlosim
