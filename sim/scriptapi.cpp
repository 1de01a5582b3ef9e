// The robot API of a project's script (sim/README.md lists it). Each function
// does its work in a helper that returns before the Lua function raises an
// error, so that no C++ object is alive when Lua unwinds past it.
#include "scriptengine.h"
#include "scriptrunner.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <cstdio>
#include <cstring>
#include <vector>

namespace varlosim {

namespace {

constexpr int kMaxWaitMilliseconds = 3600 * 1000;
constexpr std::size_t kMaxPrint = 1024;

enum class Outcome { Done, Failed, Stopped };

ScriptRunner &runnerOf(lua_State *L)
{
    return *static_cast<ScriptRunner *>(ScriptEngine::context(L));
}

// Raises "src0.lua:N: text" (or the stop) for an outcome other than Done.
int finish(lua_State *L, Outcome outcome, const char *error)
{
    if (outcome == Outcome::Stopped)
        return ScriptEngine::raiseStop(L);
    if (outcome == Outcome::Failed)
        return luaL_error(L, "%s", error);
    return 0;
}

// A Cartesian target: a teach point's name or alias, or {x, y, z, a, b, c}.
Outcome readPose(lua_State *L, ScriptRunner &runner, std::array<double, 6> &pose, char *error, std::size_t size)
{
    if (lua_type(L, 1) == LUA_TSTRING) {
        if (runner.teachPoint(lua_tostring(L, 1), pose))
            return Outcome::Done;
        std::snprintf(error, size, "no teach point named %s in the project", lua_tostring(L, 1));
        return Outcome::Failed;
    }
    static const char *const keys[6] = {"x", "y", "z", "a", "b", "c"};
    for (int i = 0; i < 6 && lua_istable(L, 1); ++i) {
        lua_geti(L, 1, i + 1);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            lua_getfield(L, 1, keys[i]);
        }
        int isNumber = 0;
        pose[static_cast<std::size_t>(i)] = lua_tonumberx(L, -1, &isNumber);
        lua_pop(L, 1);
        if (!isNumber) {
            std::snprintf(error, size, "the target needs the number %s", keys[i]);
            return Outcome::Failed;
        }
    }
    if (!lua_istable(L, 1)) {
        std::snprintf(error, size, "the target must be a teach point's name or {x, y, z, a, b, c}");
        return Outcome::Failed;
    }
    return Outcome::Done;
}

// Commands a motion and waits for its end (a stop of the script stops it).
Outcome move(ScriptRunner &runner, MotionKind kind, const nlohmann::json &body, char *error, std::size_t size)
{
    Robot &robot = runner.robot();
    const nlohmann::json reply = robot.command(kind, body);
    if (!reply.value("result", false)) {
        const std::string why = reply.contains("error") && reply["error"].is_string() ? reply["error"].get<std::string>()
                                                                                       : "refused";
        std::snprintf(error, size, "motion refused: %s", why.c_str());
        return Outcome::Failed;
    }
    runner.send(ScriptRunner::kMotionPort, std::string(ScriptEngine::kUserFile) + ":" + std::to_string(runner.currentLine()));
    while (true) {
        const nlohmann::json status = robot.motionStatus(kind);
        if (status.value("isAlarms", false)) {
            std::snprintf(error, size, "motion stopped by an alarm");
            return Outcome::Failed;
        }
        if (status.value("value", false))
            return Outcome::Done;
        if (!runner.pauseFor(10)) {
            robot.command(kind, nlohmann::json{{"value", false}});
            return Outcome::Stopped;
        }
    }
}

Outcome cartesianMove(lua_State *L, const char *mode, char *error, std::size_t size)
{
    ScriptRunner &runner = runnerOf(L);
    std::array<double, 6> pose{};
    const Outcome read = readPose(L, runner, pose, error, size);
    if (read != Outcome::Done)
        return read;
    const nlohmann::json body{{"x", pose[0]}, {"y", pose[1]}, {"z", pose[2]}, {"a", pose[3]},
                              {"b", pose[4]}, {"c", pose[5]}, {"mode", mode}};
    return move(runner, MotionKind::Go, body, error, size);
}

int movJ(lua_State *L)
{
    char error[256];
    return finish(L, cartesianMove(L, "go", error, sizeof error), error);
}

int movL(lua_State *L)
{
    char error[256];
    return finish(L, cartesianMove(L, "move", error, sizeof error), error);
}

Outcome jointMove(lua_State *L, char *error, std::size_t size)
{
    double values[6];
    int count = 0;
    for (int i = 1; i <= 6; ++i) {
        lua_geti(L, 1, i);
        if (lua_isnumber(L, -1))
            values[count++] = lua_tonumber(L, -1);
        lua_pop(L, 1);
    }
    const nlohmann::json body{{"joint", std::vector<double>(values, values + count)}};
    return move(runnerOf(L), MotionKind::MoveJ, body, error, size);
}

int jointMovJ(lua_State *L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    char error[256];
    return finish(L, jointMove(L, error, sizeof error), error);
}

int setDO(lua_State *L)
{
    const lua_Integer index = luaL_checkinteger(L, 1);
    const bool value = lua_isnumber(L, 2) ? lua_tonumber(L, 2) != 0 : lua_toboolean(L, 2);
    runnerOf(L).robot().setDigitalOutput(static_cast<int>(index), value);
    return 0;
}

int getDO(lua_State *L)
{
    lua_pushboolean(L, runnerOf(L).robot().digitalOutput(static_cast<int>(luaL_checkinteger(L, 1))));
    return 1;
}

int getDI(lua_State *L)
{
    lua_pushboolean(L, runnerOf(L).robot().digitalInput(static_cast<int>(luaL_checkinteger(L, 1))));
    return 1;
}

int wait(lua_State *L)
{
    const lua_Integer ms = luaL_checkinteger(L, 1);
    const int bounded = static_cast<int>(ms < 0 ? 0 : (ms > kMaxWaitMilliseconds ? kMaxWaitMilliseconds : ms));
    if (!runnerOf(L).pauseFor(bounded))
        return ScriptEngine::raiseStop(L);
    return 0;
}

// print(...): the values as tostring() writes them, tab-separated, on port 5000.
int print(lua_State *L)
{
    const int count = lua_gettop(L);
    luaL_Buffer buffer;
    luaL_buffinit(L, &buffer);
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            luaL_addchar(&buffer, '\t');
        luaL_tolstring(L, i, nullptr);
        luaL_addvalue(&buffer);
    }
    luaL_pushresult(&buffer);
    std::size_t length = 0;
    const char *text = lua_tolstring(L, -1, &length);
    runnerOf(L).send(ScriptRunner::kMessagePort, std::string(text, length < kMaxPrint ? length : kMaxPrint));
    return 0;
}

int pause(lua_State *L)
{
    if (!runnerOf(L).pauseScript())
        return ScriptEngine::raiseStop(L);
    return 0;
}

} // namespace

void installScriptApi(ScriptEngine &engine)
{
    engine.define("MovJ", &movJ);
    engine.define("MovL", &movL);
    engine.define("JointMovJ", &jointMovJ);
    engine.define("SetDO", &setDO);
    engine.define("GetDO", &getDO);
    engine.define("GetDI", &getDI);
    engine.define("Wait", &wait);
    engine.define("print", &print);
    engine.define("pause", &pause);
}

} // namespace varlosim
