#include "scriptrunner.h"

#include "log.h"
#include "scriptengine.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>

namespace varlosim {

void installScriptApi(ScriptEngine &engine); // scriptapi.cpp

namespace {

bool isProjectName(const std::string &name)
{
    if (name.empty() || name.size() > 128 || name == "." || name == "..")
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
                     || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return name.find("..") == std::string::npos;
}

bool readFile(const std::filesystem::path &path, std::size_t limit, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return text.size() <= limit;
}

// Breakpoints name the user's script by its file name, with or without a
// folder; other files have none here.
bool isUserScript(const std::string &file)
{
    const std::string name = file.substr(file.find_last_of('/') + 1);
    return name == ScriptEngine::kUserFile || name == "main.lua";
}

// At `at` a long bracket opens ("[[", "[==["): its level (the "=" count),
// or -1.
int longBracket(const std::string &text, std::size_t at)
{
    if (at >= text.size() || text[at] != '[')
        return -1;
    std::size_t end = at + 1;
    while (end < text.size() && text[end] == '=')
        ++end;
    return end < text.size() && text[end] == '[' ? int(end - at - 1) : -1;
}

// Which lines of a Lua text hold code: a token begins on them. Blank lines,
// comments and the inner lines of long strings and comments hold none.
std::vector<bool> codeLines(const std::string &text)
{
    std::vector<bool> code(1, false);
    std::size_t at = 0;
    // Moves past text[at] up to `end`, counting the lines it crosses.
    const auto skipTo = [&](std::size_t end) {
        for (end = std::min(end, text.size()); at < end; ++at) {
            if (text[at] == '\n')
                code.push_back(false);
        }
    };
    while (at < text.size()) {
        const char c = text[at];
        if (c == '-' && text.compare(at, 2, "--") == 0) {
            const int level = longBracket(text, at + 2);
            if (level < 0) {
                skipTo(text.find('\n', at));
            } else {
                const std::string close = "]" + std::string(std::size_t(level), '=') + "]";
                const std::size_t end = text.find(close, at);
                skipTo(end == std::string::npos ? end : end + close.size());
            }
            continue;
        }
        if (c == '\n' || std::isspace(static_cast<unsigned char>(c))) {
            skipTo(at + 1);
            continue;
        }
        code.back() = true;
        const int level = longBracket(text, at);
        if (level >= 0) {
            const std::string close = "]" + std::string(std::size_t(level), '=') + "]";
            const std::size_t end = text.find(close, at);
            skipTo(end == std::string::npos ? end : end + close.size());
        } else if (c == '"' || c == '\'') {
            std::size_t end = at + 1;
            while (end < text.size() && text[end] != c && text[end] != '\n')
                end += text[end] == '\\' ? 2 : 1;
            skipTo(end + 1);
        } else {
            skipTo(at + 1);
        }
    }
    return code;
}

} // namespace

ScriptRunner::ScriptRunner(std::filesystem::path projectFolder, Robot &robot, std::string address)
    : m_projectFolder(std::move(projectFolder)), m_robot(robot), m_address(std::move(address))
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    // Notifications come from the controller's own address.
    if (m_socket >= 0 && inet_pton(AF_INET, m_address.c_str(), &local.sin_addr) == 1)
        ::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local);
    m_thread = std::thread(&ScriptRunner::loop, this);
}

ScriptRunner::~ScriptRunner()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
        if (m_engine)
            m_engine->requestStop();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_socket >= 0)
        ::close(m_socket);
}

void ScriptRunner::installDemo(const std::filesystem::path &projectFolder)
{
    const std::filesystem::path folder = projectFolder / "project" / "demo";
    std::error_code error;
    if (std::filesystem::exists(folder / ScriptEngine::kUserFile, error) || std::filesystem::exists(folder / "main.lua", error))
        return;
    std::filesystem::create_directories(folder, error);
    std::ofstream out(folder / ScriptEngine::kUserFile);
    out << "-- Varlo's demo program: three cycles of an output, without moving the arm\n"
           "print(\"demo program started\")\n"
           "local total = 0\n"
           "for cycle = 1, 3 do\n"
           "  SetDO(1, true)\n"
           "  Wait(100)\n"
           "  SetDO(1, false)\n"
           "  total = total + cycle\n"
           "end\n"
           "print(\"three cycles done, total \" .. total)\n";
}

// ---- endpoints -----------------------------------------------------------------

ScriptRunner::json ScriptRunner::start(const json &body, const std::string &client)
{
    std::string project;
    if (body.is_object() && body.contains("project") && body["project"].is_string())
        project = body["project"].get<std::string>();
    // A client may name the project by its folder ("demo"), by its file
    // ("demo/prj.json") or by the controller's path of that file
    // (".../project/project/demo/prj.json").
    const std::string marker = "project/project/";
    const auto at = project.rfind(marker);
    if (at != std::string::npos)
        project = project.substr(at + marker.size());
    const auto slash = project.find('/');
    if (slash != std::string::npos)
        project = project.substr(0, slash);
    if (!isProjectName(project))
        return json{{"result", false}, {"error", "project must be a project folder name"}};
    std::string text;
    bool found = false;
    for (const char *file : {ScriptEngine::kUserFile, "main.lua"}) {
        if (readFile(m_projectFolder / "project" / project / file, kMaxScriptBytes, text)) {
            found = true;
            break;
        }
        if (text.size() > kMaxScriptBytes)
            return json{{"result", false}, {"error", "script larger than 256 KiB"}};
    }
    if (!found)
        return json{{"result", false}, {"error", "project " + project + " has no src0.lua or main.lua"}};

    std::lock_guard<std::mutex> guard(m_lock);
    if (m_engine)
        m_engine->requestStop();
    m_next = Run{project, text, client, ++m_generation};
    m_startPending = true;
    m_state = State::Paused;
    m_project = project;
    m_client = client;
    m_suspendAsked = false;
    m_codeLines = codeLines(text);
    m_wake.notify_all();
    logVerbose("script of project " + project + " started for " + client);
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::run(const std::string &client)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State::Stopped)
        return json{{"result", false}, {"error", "no script started"}};
    // A debuggee goes on when its debug server says so.
    if (!m_link) {
        if (!client.empty())
            m_client = client;
        m_state = State::Running;
        m_wake.notify_all();
    }
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::suspend()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State::Running) {
        if (m_link)
            m_suspendAsked = true; // the debuggee pauses at its next line
        else
            m_state = State::Paused;
    }
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_state = State::Stopped;
    ++m_generation;
    m_startPending = false;
    if (m_engine)
        m_engine->requestStop();
    m_wake.notify_all();
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::state()
{
    std::lock_guard<std::mutex> guard(m_lock);
    const char *value = m_state == State::Running ? "run" : (m_state == State::Paused ? "pause" : "stop");
    return json{{"value", value}, {"prjname", m_project}};
}

ScriptRunner::json ScriptRunner::panelState()
{
    std::lock_guard<std::mutex> guard(m_lock);
    const char *value = m_state == State::Running ? "run" : (m_state == State::Paused ? "pause" : "stop");
    json line = nullptr;
    if (m_state != State::Stopped && m_shownLine > 0 && size_t(m_shownLine) <= m_shownLines.size())
        line = json{{"number", m_shownLine}, {"text", m_shownLines[size_t(m_shownLine) - 1]}};
    return json{{"value", value}, {"prjname", m_project}, {"line", line}};
}

ScriptRunner::json ScriptRunner::getSuspend()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return json{{"status", m_state == State::Paused}};
}

ScriptRunner::json ScriptRunner::checkBreakpoint(const json &body)
{
    const json path = body.is_object() ? body.value("path", json()) : json();
    const json line = body.is_object() ? body.value("line", json()) : json();
    if (!path.is_string() || !line.is_number_integer())
        return json{{"result", false}, {"error", "a breakpoint needs a \"path\" and a \"line\""}};
    if (!isUserScript(path.get<std::string>()))
        return json{{"result", true}}; // other files hold no breakpoints here
    std::lock_guard<std::mutex> guard(m_lock);
    const long long number = line.get<long long>();
    if (m_codeLines.empty())
        return json{{"result", true}}; // no script yet: nothing to check against
    if (number < 1 || number > static_cast<long long>(m_codeLines.size()))
        return json{{"result", false},
                    {"error", std::string(ScriptEngine::kUserFile) + " has lines 1 to " + std::to_string(m_codeLines.size())}};
    if (!m_codeLines[std::size_t(number - 1)])
        return json{{"result", false},
                    {"error", "line " + std::to_string(number) + " of " + ScriptEngine::kUserFile + " holds no code"}};
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::markStep()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stepMark = m_pauses;
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::stepDone()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return json{{"status", m_pauses > m_stepMark || m_state == State::Stopped}};
}

// ---- the script's thread ---------------------------------------------------------

void ScriptRunner::send(int port, const std::string &text)
{
    std::string client;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        client = m_client;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (m_socket < 0 || inet_pton(AF_INET, client.c_str(), &to.sin_addr) != 1)
        return;
    ::sendto(m_socket, text.data(), text.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void ScriptRunner::loop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        if (!m_startPending) {
            m_wake.wait(lock);
            continue;
        }
        m_startPending = false;
        const Run run = m_next;
        lock.unlock();
        execute(run);
        lock.lock();
    }
}

void ScriptRunner::execute(const Run &run)
{
    DebugLink link;
    std::string reason;
    const bool debugging = link.connect(m_address, run.client, kConnectMilliseconds, reason);
    ScriptEngine engine([this](const std::string &file, int line, int depth) { return onLine(file, line, depth); });
    engine.setContext(this);
    installScriptApi(engine);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_generation != run.generation)
            return; // stopped or started anew meanwhile
        m_runGeneration = run.generation;
        m_engine = &engine;
        m_shownLines.clear();
        std::istringstream lines(run.text);
        for (std::string text; std::getline(lines, text) && m_shownLines.size() < 100000;)
            m_shownLines.push_back(text.size() > 200 ? text.substr(0, 200) : text);
        m_shownLine = 0;
        m_link = debugging ? &link : nullptr;
    }
    m_step = debugging ? Step::FirstLine : Step::None;
    m_breakpoints.clear();
    m_serverSuspend = false;
    m_line = 0;
    if (!debugging) {
        send(kMessagePort, "debugger: the script runs straight, no debug server at " + run.client + ":"
                               + std::to_string(DebugLink::kPort) + ": " + reason);
    }
    std::string message;
    const ScriptEngine::End end = waitWhilePaused() ? engine.run(run.text, message) : ScriptEngine::End::Stopped;
    bool current = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_engine = nullptr;
        m_link = nullptr;
        current = m_generation == run.generation;
        if (current)
            m_state = State::Stopped;
    }
    link.close();
    if (!current || end == ScriptEngine::End::Stopped)
        return;
    if (end == ScriptEngine::End::Failed)
        send(kMessagePort, "ERROR:" + message);
    else
        send(kSpecialPort, "run script finished!");
    logVerbose("script of project " + run.project + (end == ScriptEngine::End::Failed ? " failed: " + message : " finished"));
}

bool ScriptRunner::waitWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_state == State::Paused && !m_link && currentLocked())
        m_wake.wait(lock);
    return currentLocked();
}

bool ScriptRunner::shouldStop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return !currentLocked();
}

bool ScriptRunner::pauseFor(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (currentLocked() && m_wake.wait_until(lock, until) != std::cv_status::timeout) {
    }
    return currentLocked();
}

bool ScriptRunner::onLine(const std::string &file, int line, int depth)
{
    if (file == ScriptEngine::kUserFile) {
        // The pace of a line, then its notification.
        const auto due = m_lastLine + std::chrono::milliseconds(kLineMilliseconds);
        if (std::chrono::steady_clock::now() < due)
            std::this_thread::sleep_until(due);
        m_lastLine = std::chrono::steady_clock::now();
        m_line = line;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_shownLine = line;
        }
        send(kLinePort, std::string(ScriptEngine::kUserFile) + ":" + std::to_string(line));
    }
    if (m_link)
        return debugLine(file, line, depth);
    return waitWhilePaused();
}

bool ScriptRunner::pauseScript()
{
    send(kMessagePort, "command:pause");
    if (m_link)
        return debugPause(ScriptEngine::kUserFile, m_line, std::numeric_limits<int>::max());
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (currentLocked()) {
            m_state = State::Paused;
            ++m_pauses;
        }
    }
    return waitWhilePaused();
}

bool ScriptRunner::breakpointCommand(const DebugLink::Command &command)
{
    if (command.word == "delallb") {
        m_breakpoints.clear();
    } else if (command.word == "setb" || command.word == "delb") {
        // "setb LINE FILE"
        std::istringstream in(command.arguments);
        int line = 0;
        std::string file;
        in >> line;
        std::getline(in >> std::ws, file);
        if (isUserScript(file) && command.word == "setb")
            m_breakpoints.insert(line);
        else if (isUserScript(file))
            m_breakpoints.erase(line);
    } else {
        return false;
    }
    m_link->sendAnswer(true, "");
    return true;
}

bool ScriptRunner::debugLine(const std::string &file, int line, int depth)
{
    DebugLink::Command command;
    while (m_link->receive(command, 0)) {
        if (command.word == "suspend")
            m_serverSuspend = true;
        else
            breakpointCommand(command);
    }
    bool asked = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!currentLocked())
            return false;
        asked = m_suspendAsked;
        if (!m_link->isOpen()) {
            // The debug server went away: the script goes on by itself.
            m_link = nullptr;
            m_state = State::Running;
            return true;
        }
    }
    const bool user = file == ScriptEngine::kUserFile;
    const bool pause = asked || m_serverSuspend || m_step == Step::Into
                    || (m_step == Step::Over && depth <= m_stepDepth)
                    || (user && (m_step == Step::FirstLine || m_breakpoints.count(line)));
    return pause ? debugPause(file, line, depth) : true;
}

bool ScriptRunner::debugPause(const std::string &file, int line, int depth)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!currentLocked())
            return false;
        m_state = State::Paused;
        m_suspendAsked = false;
        ++m_pauses;
    }
    m_step = Step::None;
    m_serverSuspend = false;
    m_link->sendPaused(line, file);
    ScriptEngine *engine = m_engine;
    DebugLink::Command command;
    while (!shouldStop()) {
        if (!m_link->receive(command, 50)) {
            if (m_link->isOpen())
                continue;
            std::lock_guard<std::mutex> guard(m_lock);
            if (!currentLocked())
                return false;
            m_link = nullptr; // the server went away: run on by itself
            m_state = State::Running;
            return true;
        }
        const std::string &word = command.word;
        if (word == "run" || word == "step" || word == "over") {
            m_step = word == "run" ? Step::None : (word == "step" ? Step::Into : Step::Over);
            m_stepDepth = depth;
            std::lock_guard<std::mutex> guard(m_lock);
            m_state = State::Running;
            return true;
        }
        if (breakpointCommand(command) || word == "suspend")
            continue;
        std::string result;
        if (word == "eval" || word == "exec") {
            const bool ok = engine->evaluate(command.payload, word == "eval", result);
            m_link->sendAnswer(ok, result);
        } else if (word == "stack") {
            m_link->sendAnswer(true, engine->variables());
        } else {
            m_link->sendAnswer(false, "unknown command " + word);
        }
    }
    return false;
}

bool ScriptRunner::teachPoint(const std::string &name, std::array<double, 6> &pose)
{
    std::string project;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        project = m_project;
    }
    std::string text;
    if (!readFile(m_projectFolder / "project" / project / "points.json", 4u << 20, text))
        return false;
    const json points = json::parse(text, nullptr, false);
    if (!points.is_array())
        return false;
    for (const json &point : points) {
        if (!point.is_object())
            continue;
        const bool named = (point.contains("name") && point["name"] == name)
                        || (point.contains("alias") && point["alias"] == name);
        const auto coordinate = point.find("coordinate");
        if (!named || coordinate == point.end() || !coordinate->is_array() || coordinate->size() < 6)
            continue;
        for (std::size_t i = 0; i < 6; ++i) {
            if (!(*coordinate)[i].is_number())
                return false;
            pose[i] = (*coordinate)[i].get<double>();
        }
        return true;
    }
    return false;
}

} // namespace varlosim
