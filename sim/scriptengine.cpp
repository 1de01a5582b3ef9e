#include "scriptengine.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include <cstdlib>
#include <cstring>

// Lua reports errors by longjmp: every function below that can raise one
// keeps no C++ object with a destructor alive across the raise.

namespace varlosim {

namespace {

// The address that marks the error a stop raises.
const char kStopKey = 0;
const char kUserSource[] = "@src0.lua";
const char kSystemSource[] = "@/varlo/bin/lua/varlo.lua";
constexpr std::size_t kMaxVariablesText = 64 * 1024;

const char kSystemScript[] = "-- the controller's system script: it runs the project's script\n"
                             "local main = ...\n"
                             "main()\n"
                             "return\n";

// Runs before the sandbox closes: it keeps the unrestricted load for its own
// evaluations. Gives describe(value) -> type, literal, address and
// evaluate(code, isExpression, names, locals) -> ok, text, changedNames.
const char kInspector[] = R"lua(
local rawload, next, rawget, rawlen, type, tostring, pcall, setmetatable =
      load, next, rawget, rawlen, type, tostring, pcall, setmetatable
local format, concat, mathtype, min = string.format, table.concat, math.type, math.min
local G = _G

-- Strings as Lua writes them in single quotes: the quote, the backslash and
-- control characters escaped, everything else as it is.
local escapes = { ["\\"] = "\\\\", ["'"] = "\\'", ["\n"] = "\\n", ["\r"] = "\\r", ["\t"] = "\\t" }

local function literal(v, depth)
  local t = type(v)
  if t == "string" then
    return "'" .. v:gsub("[%c\\']", function(c) return escapes[c] or format("\\%03d", c:byte()) end) .. "'"
  elseif t == "number" or t == "boolean" or t == "nil" then
    return tostring(v)
  elseif t == "table" then
    if depth > 2 then return "{...}" end
    local parts, length = {}, rawlen(v)
    for i = 1, min(length, 50) do parts[#parts + 1] = literal(rawget(v, i), depth + 1) end
    local others = 0
    for k, value in next, v do
      if not (mathtype(k) == "integer" and k >= 1 and k <= length) then
        others = others + 1
        if others > 50 or length > 50 then parts[#parts + 1] = "..." break end
        local key = type(k) == "string" and k:match("^[%a_][%w_]*$") or ("[" .. literal(k, 3) .. "]")
        parts[#parts + 1] = key .. " = " .. literal(value, depth + 1)
      end
    end
    return "{" .. concat(parts, ", ") .. "}"
  end
  return t .. ": " .. format("%p", v)
end

local function describe(v)
  local t = type(v)
  local address = (t == "table" or t == "function" or t == "thread" or t == "userdata")
                  and (t .. ": " .. format("%p", v)) or ""
  return t, literal(v, 0), address
end

local function evaluate(code, expression, names, locals)
  local changed = {}
  local env = setmetatable({}, {
    __index = function(_, k) if names[k] then return locals[k] end return G[k] end,
    __newindex = function(_, k, v)
      if names[k] then locals[k] = v changed[k] = true else G[k] = v end
    end })
  local chunk, problem = rawload(expression and ("return " .. code) or code, "=eval", "t", env)
  if not chunk then return false, problem, changed end
  local ok, value = pcall(chunk)
  if not ok then return false, tostring(value), changed end
  return true, expression and literal(value, 0) or "", changed
end

return describe, evaluate
)lua";

// The script's own load() takes text only; dofile and loadfile are gone.
const char kSandbox[] = R"lua(
local rawload, select = load, select
load = function(chunk, name, _, ...)
  if select("#", ...) > 0 then return rawload(chunk, name, "t", (...)) end
  return rawload(chunk, name, "t")
end
dofile, loadfile = nil, nil
)lua";

ScriptEngine *engineOf(lua_State *L)
{
    return *static_cast<ScriptEngine **>(lua_getextraspace(L));
}

} // namespace

ScriptEngine::ScriptEngine(LineHook hook) : m_hook(std::move(hook))
{
    m_lua = lua_newstate(&ScriptEngine::allocate, this);
    *static_cast<ScriptEngine **>(lua_getextraspace(m_lua)) = this;
    openSandbox();
}

ScriptEngine::~ScriptEngine()
{
    if (m_lua)
        lua_close(m_lua);
}

void *ScriptEngine::allocate(void *self, void *block, std::size_t oldSize, std::size_t newSize)
{
    auto *engine = static_cast<ScriptEngine *>(self);
    const std::size_t old = block ? oldSize : 0;
    if (newSize == 0) {
        std::free(block);
        engine->m_memory -= old;
        return nullptr;
    }
    if (newSize > old && engine->m_memory - old + newSize > kMemoryLimit)
        return nullptr;
    void *grown = std::realloc(block, newSize);
    if (grown)
        engine->m_memory = engine->m_memory - old + newSize;
    return grown;
}

void ScriptEngine::openSandbox()
{
    lua_State *L = m_lua;
    static const luaL_Reg libraries[] = {
        {LUA_GNAME, luaopen_base},         {LUA_TABLIBNAME, luaopen_table}, {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},   {LUA_UTF8LIBNAME, luaopen_utf8}, {LUA_COLIBNAME, luaopen_coroutine},
    };
    for (const luaL_Reg &library : libraries) {
        luaL_requiref(L, library.name, library.func, 1);
        lua_pop(L, 1);
    }
    if (luaL_dostring(L, kInspector) == LUA_OK) {
        m_evaluateRef = luaL_ref(L, LUA_REGISTRYINDEX);
        m_describeRef = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    luaL_dostring(L, kSandbox);
    lua_settop(L, 0);
}

void ScriptEngine::define(const char *name, Function function)
{
    lua_register(m_lua, name, function);
}

int ScriptEngine::raiseStop(lua_State *L)
{
    lua_pushlightuserdata(L, const_cast<char *>(&kStopKey));
    return lua_error(L);
}

void *ScriptEngine::context(lua_State *L)
{
    return engineOf(L)->m_context;
}

void ScriptEngine::onHook(lua_State *L, lua_Debug *ar)
{
    ScriptEngine *self = engineOf(L);
    if (self->m_inspecting) {
        // An evaluation may not hang the paused script.
        if (self->m_stop || std::chrono::steady_clock::now() - self->m_inspectionStart
                                > std::chrono::milliseconds(kEvaluationMilliseconds))
            luaL_error(L, "evaluation stopped: it took too long");
        return;
    }
    if (self->m_stop)
        raiseStop(L);
    if (ar->event != LUA_HOOKLINE)
        return;
    lua_getinfo(L, "S", ar);
    const bool user = std::strcmp(ar->source, kUserSource) == 0;
    if (!user && std::strcmp(ar->source, kSystemSource) != 0)
        return;
    if (user)
        self->m_lastLine = ar->currentline;
    int depth = 0;
    lua_Debug frame;
    while (lua_getstack(L, depth, &frame))
        ++depth;
    if (!self->m_hook(user ? kUserFile : kSystemFile, ar->currentline, depth) || self->m_stop)
        raiseStop(L);
}

ScriptEngine::End ScriptEngine::run(const std::string &text, std::string &message)
{
    lua_State *L = m_lua;
    m_inspecting = false;
    // What the script finds defined is not its own.
    m_builtInGlobals.clear();
    lua_pushglobaltable(L);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        if (lua_type(L, -2) == LUA_TSTRING)
            m_builtInGlobals.insert(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    lua_settop(L, 0);

    if (luaL_loadbufferx(L, kSystemScript, sizeof kSystemScript - 1, kSystemSource, "t") != LUA_OK
        || luaL_loadbufferx(L, text.data(), text.size(), kUserSource, "t") != LUA_OK) {
        message = lua_isstring(L, -1) ? lua_tostring(L, -1) : "not enough memory";
        lua_settop(L, 0);
        return End::Failed;
    }
    lua_sethook(L, &ScriptEngine::onHook, LUA_MASKLINE | LUA_MASKCOUNT, 1000);
    const int status = lua_pcall(L, 1, 0, 0);
    lua_sethook(L, nullptr, 0, 0);
    End end = End::Finished;
    if (status != LUA_OK) {
        if (m_stop || lua_touserdata(L, -1) == &kStopKey) {
            end = End::Stopped;
        } else {
            end = End::Failed;
            if (status == LUA_ERRMEM)
                message = "not enough memory";
            else if (lua_type(L, -1) == LUA_TSTRING)
                message = lua_tostring(L, -1);
            else
                message = std::string("(error object is a ") + luaL_typename(L, -1) + " value)";
            if (message.rfind(std::string(kUserFile) + ":", 0) != 0)
                message = std::string(kUserFile) + ":" + std::to_string(m_lastLine) + ": " + message;
        }
    }
    lua_settop(L, 0);
    return end;
}

void ScriptEngine::describe(int index, std::string &type, std::string &text, std::string &address)
{
    lua_State *L = m_lua;
    lua_rawgeti(L, LUA_REGISTRYINDEX, m_describeRef);
    lua_pushvalue(L, index);
    if (lua_pcall(L, 1, 3, 0) == LUA_OK) {
        type = lua_tostring(L, -3);
        text = lua_tostring(L, -2);
        address = lua_tostring(L, -1);
        lua_pop(L, 3);
    } else {
        type = text = "?";
        address.clear();
        lua_pop(L, 1);
    }
}

bool ScriptEngine::evaluate(const std::string &code, bool expression, std::string &result)
{
    lua_State *L = m_lua;
    m_inspecting = true;
    m_inspectionStart = std::chrono::steady_clock::now();
    const int top = lua_gettop(L);
    lua_Debug frame;
    const bool hasFrame = lua_getstack(L, 0, &frame);
    lua_newtable(L); // names of the paused function's locals
    lua_newtable(L); // their values
    const int names = top + 1;
    const int values = top + 2;
    for (int i = 1; hasFrame; ++i) {
        const char *name = lua_getlocal(L, &frame, i);
        if (!name)
            break;
        if (name[0] == '(') {
            lua_pop(L, 1);
            continue;
        }
        lua_setfield(L, values, name);
        lua_pushboolean(L, 1);
        lua_setfield(L, names, name);
    }
    lua_rawgeti(L, LUA_REGISTRYINDEX, m_evaluateRef);
    lua_pushlstring(L, code.data(), code.size());
    lua_pushboolean(L, expression);
    lua_pushvalue(L, names);
    lua_pushvalue(L, values);
    bool ok = false;
    if (lua_pcall(L, 4, 3, 0) != LUA_OK) {
        result = lua_isstring(L, -1) ? lua_tostring(L, -1) : "not enough memory";
    } else {
        ok = lua_toboolean(L, -3);
        result = lua_isstring(L, -2) ? lua_tostring(L, -2) : "";
        // Locals the code assigned go back into the paused function.
        for (int i = 1; hasFrame; ++i) {
            const char *name = lua_getlocal(L, &frame, i);
            if (!name)
                break;
            lua_pop(L, 1);
            if (lua_getfield(L, -1, name) != LUA_TNIL) {
                lua_getfield(L, values, name);
                lua_setlocal(L, &frame, i);
            }
            lua_pop(L, 1);
        }
    }
    lua_settop(L, top);
    m_inspecting = false;
    return ok;
}

std::string ScriptEngine::variables()
{
    lua_State *L = m_lua;
    m_inspecting = true;
    m_inspectionStart = std::chrono::steady_clock::now();
    const int top = lua_gettop(L);
    std::string text;
    std::string type, literal, address;
    auto add = [&](const char *name, int index) {
        if (text.size() > kMaxVariablesText)
            return;
        describe(index, type, literal, address);
        text += std::string(name) + '\t' + type + '\t' + literal + '\t' + address + '\n';
    };
    lua_pushglobaltable(L);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        if (lua_type(L, -2) == LUA_TSTRING && !m_builtInGlobals.count(lua_tostring(L, -2)))
            add(lua_tostring(L, -2), lua_gettop(L));
        lua_pop(L, 1);
    }
    lua_settop(L, top);
    // The script's active functions, the outermost first.
    int levels = 0;
    lua_Debug frame;
    while (lua_getstack(L, levels, &frame))
        ++levels;
    for (int level = levels - 1; level >= 0; --level) {
        lua_getstack(L, level, &frame);
        lua_getinfo(L, "S", &frame);
        if (std::strcmp(frame.source, kUserSource) != 0)
            continue;
        for (int i = 1;; ++i) {
            const char *name = lua_getlocal(L, &frame, i);
            if (!name)
                break;
            if (name[0] != '(')
                add(name, lua_gettop(L));
            lua_pop(L, 1);
        }
    }
    lua_settop(L, top);
    m_inspecting = false;
    return text;
}

} // namespace varlosim
