// The controller's script runner as far as a client sees it: start a project's
// script, run, suspend, stop, ask for the state, and the notifications a
// running script sends by UDP to the client that started it:
//
//   port 5000  messages: printed text, "command:pause" when the script pauses
//              itself, "ERROR:src0.lua:N: text" when it fails
//   port 5001  "src0.lua:N" for every line the script runs
//   port 5002  "src0.lua:N" for every line that moves the arm
//   port 5003  "run script finished!" when the script has ended
//
// The script is the project's main.lua (or src0.lua) under the project folder
// project/<name>/; without one a short built-in program runs. Lines are not
// executed, only walked through at a steady pace: blank lines and comments are
// skipped, print("...") sends its text, pause() pauses, error("...") fails.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace varlosim {

class ScriptRunner
{
public:
    using json = nlohmann::json;

    // Time per script line.
    static constexpr int kLineMilliseconds = 250;
    static constexpr int kMessagePort = 5000;
    static constexpr int kLinePort = 5001;
    static constexpr int kMotionPort = 5002;
    static constexpr int kSpecialPort = 5003;

    explicit ScriptRunner(std::filesystem::path projectFolder);
    ~ScriptRunner();

    // "/debugger/start" {"project": name}: loads the project's script; the
    // client's address receives the notifications of the run.
    json start(const json &body, const std::string &client);
    json run(const std::string &client);
    json suspend();
    json stop();
    // "/debugger/state": {"value": "run"|"pause"|"stop", "prjname": name}
    json state();
    json getSuspend();
    // For the panel page: the state, the project and the line run last.
    json panelState();
    json stepIn();

private:
    enum class State { Stopped, Running, Paused };
    struct Line { int number; std::string text; };

    void loop();
    void sendLocked(int port, const std::string &text);
    bool loadLocked(const std::string &project, std::string &error);

    std::filesystem::path m_projectFolder;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_quit = false;

    State m_state = State::Stopped;
    std::string m_project;
    std::string m_client;
    std::vector<Line> m_lines;
    std::size_t m_next = 0;
    unsigned long m_generation = 0;   // bumped by every start/stop, ends a pending step
    int m_socket = -1;
};

} // namespace varlosim
