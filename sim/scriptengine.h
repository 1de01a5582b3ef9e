// An embedded Lua 5.4 for a project's script.
//
// The script gets no io, os, package or debug library, cannot load files or
// precompiled chunks, and has a memory limit. It runs inside the controller's
// system script ("/varlo/bin/lua/varlo.lua"), which calls it and returns, so
// that a debugger stepping off the script's last line lands there. Before
// every line of either script the line hook runs; it may pause (block) there,
// and while it does, the paused script's variables can be read and changed.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>

struct lua_State;
struct lua_Debug;

namespace varlosim {

class ScriptEngine
{
public:
    static constexpr const char *kUserFile = "src0.lua";
    static constexpr const char *kSystemFile = "/varlo/bin/lua/varlo.lua";
    static constexpr std::size_t kMemoryLimit = 32u << 20;
    // An evaluation in a paused script may take this long.
    static constexpr int kEvaluationMilliseconds = 1000;

    enum class End { Finished, Failed, Stopped };

    // Before each line: the file (kUserFile or kSystemFile), the line and the
    // depth of the call stack. Returns false to stop the script.
    using LineHook = std::function<bool(const std::string &file, int line, int depth)>;
    // A function the script can call: reads its arguments from the Lua stack
    // and pushes its results (the count is returned). Raise errors with
    // luaL_error.
    using Function = int (*)(lua_State *L);

    explicit ScriptEngine(LineHook hook);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine &) = delete;
    ScriptEngine &operator=(const ScriptEngine &) = delete;

    // A global function of the script; `context` comes back through context().
    void define(const char *name, Function function);
    static void *context(lua_State *L);
    // Ends the running script from a function it called (does not return).
    static int raiseStop(lua_State *L);
    void setContext(void *context) { m_context = context; }

    // Runs the script to its end. Failed: `message` is "src0.lua:N: text".
    End run(const std::string &text, std::string &message);

    // Ends the script at its next line (from any thread).
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

    // While the line hook pauses the script: evaluates an expression (or runs
    // a statement) with the paused function's locals in sight and the
    // script's globals; `result` is the value as a Lua literal, or the error.
    bool evaluate(const std::string &code, bool expression, std::string &result);
    // The script's own globals and the locals of its active functions (the
    // innermost last), one line each: NAME \t TYPE \t LITERAL \t ADDRESS.
    std::string variables();

private:
    static void onHook(lua_State *L, lua_Debug *ar);
    static void *allocate(void *self, void *block, std::size_t oldSize, std::size_t newSize);
    void openSandbox();
    void describe(int index, std::string &type, std::string &text, std::string &address);

    lua_State *m_lua = nullptr;
    LineHook m_hook;
    void *m_context = nullptr;
    std::atomic<bool> m_stop{false};
    std::size_t m_memory = 0;
    int m_lastLine = 0;
    bool m_inspecting = false;
    int m_describeRef = -2; // registry references of the inspector's functions
    int m_evaluateRef = -2;
    std::chrono::steady_clock::time_point m_inspectionStart;
    std::set<std::string> m_builtInGlobals;
};

} // namespace varlosim
