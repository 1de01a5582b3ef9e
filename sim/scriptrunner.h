// The controller's script runner: a project's Lua script runs for real in an
// embedded Lua 5.4 (scriptengine.h) with the robot API of scriptapi.cpp, and
// the client that started it gets the notifications of the run by UDP:
//
//   port 5000  printed text; "command:pause" when the script pauses itself;
//              "ERROR:src0.lua:N: text" when it fails; a text with
//              "connection refused" when no debug server answers the start
//   port 5001  "src0.lua:N" for every line the script runs
//   port 5002  "src0.lua:N" for every line that moves the arm
//   port 5003  "run script finished!" when the script has ended
//
// The script is project/<name>/src0.lua (or main.lua) under the project
// folder. At the start the runner tries to reach the client's debug server
// (DebugLink); when one answers, the script runs as its debuggee, paused at its
// first line and driven by the server; otherwise it runs straight once
// /debugger/run says so. /debugger/stop ends a script wherever it is.
#pragma once

#include "debuglink.h"
#include "robot.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace varlosim {

class ScriptEngine;

class ScriptRunner
{
public:
    using json = nlohmann::json;

    static constexpr int kMessagePort = 5000;
    static constexpr int kLinePort = 5001;
    static constexpr int kMotionPort = 5002;
    static constexpr int kSpecialPort = 5003;
    // A line of a script takes at least this long, so that a loop cannot
    // flood the client with line notifications.
    static constexpr int kLineMilliseconds = 2;
    static constexpr std::size_t kMaxScriptBytes = 256 * 1024;
    // The debug server must answer the start within this.
    static constexpr int kConnectMilliseconds = 1000;

    // `address` is the controller's own: notifications and the debuggee's
    // connection come from it.
    ScriptRunner(std::filesystem::path projectFolder, Robot &robot, std::string address);
    ~ScriptRunner();

    // Puts the project "demo" with a short script into the folder when it has
    // no script yet.
    static void installDemo(const std::filesystem::path &projectFolder);

    // "/debugger/start" {"project": name}: loads the project's script (ending
    // one that runs); the client's address receives the notifications.
    json start(const json &body, const std::string &client);
    json run(const std::string &client);
    json suspend();
    json stop();
    // "/debugger/state": {"value": "run"|"pause"|"stop", "prjname": name}
    json state();
    json getSuspend();
    // For the panel page: the state, the project and the line run last.
    json panelState();
    // POST "/debugger/setb" {"path", "line"}: refused for a line of the
    // script that holds no code (blank, only a comment) or lies beyond its end,
    // where a breakpoint would never be reached.
    json checkBreakpoint(const json &body);
    // POST "/debugger/stepIn" and "stepOver" mark a step; GET "/debugger/stepIn"
    // tells whether the script has paused (or ended) since.
    json markStep();
    json stepDone();

    // ---- for the script's functions (scriptapi.cpp), on the script's thread
    Robot &robot() { return m_robot; }
    void send(int port, const std::string &text);
    int currentLine() const { return m_line; }
    // Waits, ending early (false) when the script is to stop.
    bool pauseFor(int milliseconds);
    // The script pauses itself (pause()); false when it is to stop.
    bool pauseScript();
    bool shouldStop();
    // A teach point of the running project by name or alias: its coordinate.
    bool teachPoint(const std::string &name, std::array<double, 6> &pose);

private:
    enum class State { Stopped, Running, Paused };
    enum class Step { None, FirstLine, Into, Over };
    struct Run { std::string project, text, client; unsigned long generation = 0; };

    void loop();
    void execute(const Run &run);
    bool onLine(const std::string &file, int line, int depth);
    bool debugLine(const std::string &file, int line, int depth);
    bool debugPause(const std::string &file, int line, int depth);
    // setb, delb, delallb: applied and acknowledged; false for other commands.
    bool breakpointCommand(const DebugLink::Command &command);
    bool waitWhilePaused();
    bool currentLocked() const { return m_generation == m_runGeneration && m_state != State::Stopped && !m_quit; }

    std::filesystem::path m_projectFolder;
    Robot &m_robot;
    std::string m_address;
    int m_socket = -1;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_quit = false;
    State m_state = State::Stopped;
    std::string m_project;
    std::string m_client;
    bool m_startPending = false;
    Run m_next;
    unsigned long m_generation = 0;    // bumped by every start and stop
    unsigned long m_runGeneration = 0; // the generation of the run in progress
    ScriptEngine *m_engine = nullptr;  // of the run in progress
    unsigned long m_pauses = 0;        // pauses since the runner began
    unsigned long m_stepMark = 0;
    bool m_suspendAsked = false;
    // What the panel page shows: the lines of the run in progress and the
    // line it ran last (0 before the first).
    std::vector<std::string> m_shownLines;
    int m_shownLine = 0;
    // The lines of the script started last that hold code (index: line - 1).
    std::vector<bool> m_codeLines;

    // The script's thread only.
    int m_line = 0;
    std::chrono::steady_clock::time_point m_lastLine;
    DebugLink *m_link = nullptr;
    Step m_step = Step::None;
    int m_stepDepth = 0;
    bool m_serverSuspend = false;
    std::set<int> m_breakpoints;
};

} // namespace varlosim
