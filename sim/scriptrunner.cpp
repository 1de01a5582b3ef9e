#include "scriptrunner.h"

#include "log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>

namespace varlosim {

namespace {

constexpr std::size_t kMaxScriptLines = 10000;
constexpr std::size_t kMaxLineLength = 400;

// A program to walk through when the project brings none.
const char *const kBuiltInScript[] = {
    "-- built-in demonstration program",
    "local home = {0, 0, 0, 0, 90, 0}",
    "print(\"demo program started\")",
    "MovJ(home)",
    "for i = 1, 2 do",
    "  MovL({400, -100, 300, 180, 0, 180})",
    "  SetDO(1, true)",
    "  MovL({400, 100, 300, 180, 0, 180})",
    "  SetDO(1, false)",
    "end",
    "MovJ(home)",
    "print(\"demo program done\")",
};

bool isMotion(const std::string &line)
{
    static const std::regex motion(R"(\b(MovJ|MovL|JointMovJ|RelMovJ|RelMovL|MovC|Go|Move|moveJ|go|goHome)\s*\()");
    return std::regex_search(line, motion);
}

// The text of a call such as print("x") or error('x'); empty when absent.
bool callArgument(const std::string &line, const char *function, std::string &text)
{
    const std::regex call(std::string(R"(\b)") + function + R"re(\s*\(\s*(?:"([^"]*)"|'([^']*)')?)re");
    std::smatch m;
    if (!std::regex_search(line, m, call))
        return false;
    text = m[1].matched ? m[1].str() : m[2].str();
    return true;
}

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

} // namespace

ScriptRunner::ScriptRunner(std::filesystem::path projectFolder)
    : m_projectFolder(std::move(projectFolder))
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    m_thread = std::thread(&ScriptRunner::loop, this);
}

ScriptRunner::~ScriptRunner()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_socket >= 0)
        ::close(m_socket);
}

bool ScriptRunner::loadLocked(const std::string &project, std::string &error)
{
    m_lines.clear();
    std::vector<std::string> text;
    bool found = false;
    for (const char *file : {"main.lua", "src0.lua"}) {
        std::ifstream in(m_projectFolder / "project" / project / file);
        if (!in)
            continue;
        found = true;
        std::string line;
        while (std::getline(in, line)) {
            if (text.size() >= kMaxScriptLines) {
                error = "script longer than " + std::to_string(kMaxScriptLines) + " lines";
                return false;
            }
            text.push_back(line.substr(0, kMaxLineLength));
        }
        break;
    }
    if (!found)
        text.assign(std::begin(kBuiltInScript), std::end(kBuiltInScript));
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string line = text[i];
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line.compare(first, 2, "--") == 0)
            continue;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        m_lines.push_back({static_cast<int>(i + 1), line});
    }
    return true;
}

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
    std::lock_guard<std::mutex> guard(m_lock);
    std::string error;
    if (!loadLocked(project, error))
        return json{{"result", false}, {"error", error}};
    ++m_generation;
    m_state = State::Stopped;
    m_project = project;
    m_client = client;
    m_next = 0;
    logVerbose("script of project " + project + " loaded, " + std::to_string(m_lines.size()) + " lines");
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::run(const std::string &client)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_project.empty())
        return json{{"result", false}, {"error", "no script started"}};
    if (m_state == State::Stopped) {
        if (m_next >= m_lines.size())
            m_next = 0;
        ++m_generation;
    }
    if (!client.empty())
        m_client = client;
    m_state = State::Running;
    m_wake.notify_all();
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::suspend()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State::Running)
        m_state = State::Paused;
    return json{{"result", true}};
}

ScriptRunner::json ScriptRunner::stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_state = State::Stopped;
    m_next = 0;
    ++m_generation;
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
    if (m_state != State::Stopped && m_next > 0 && m_next <= m_lines.size())
        line = json{{"number", m_lines[m_next - 1].number}, {"text", m_lines[m_next - 1].text}};
    return json{{"value", value}, {"prjname", m_project}, {"line", line}};
}

ScriptRunner::json ScriptRunner::getSuspend()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return json{{"status", m_state == State::Paused}};
}

ScriptRunner::json ScriptRunner::stepIn()
{
    // Single steps belong to the remote debugger, which this runner does not
    // offer.
    return json{{"status", false}};
}

void ScriptRunner::sendLocked(int port, const std::string &text)
{
    if (m_socket < 0 || m_client.empty())
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, m_client.c_str(), &to.sin_addr) != 1)
        return;
    ::sendto(m_socket, text.data(), text.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void ScriptRunner::loop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        if (m_state != State::Running) {
            m_wake.wait(lock);
            continue;
        }
        // One line per period; a stop or a new start in between ends the step.
        const unsigned long generation = m_generation;
        m_wake.wait_for(lock, std::chrono::milliseconds(kLineMilliseconds));
        if (m_quit)
            break;
        if (m_state != State::Running || generation != m_generation)
            continue;
        if (m_next >= m_lines.size()) {
            m_state = State::Stopped;
            m_next = 0;
            sendLocked(kSpecialPort, "run script finished!");
            logVerbose("script of project " + m_project + " finished");
            continue;
        }
        const Line line = m_lines[m_next++];
        const std::string where = "src0.lua:" + std::to_string(line.number);
        sendLocked(kLinePort, where);
        if (isMotion(line.text))
            sendLocked(kMotionPort, where);
        std::string text;
        if (callArgument(line.text, "error", text)) {
            sendLocked(kMessagePort, "ERROR:" + where + ": " + (text.empty() ? "error" : text));
            m_state = State::Stopped;
            m_next = 0;
        } else if (callArgument(line.text, "pause", text)) {
            m_state = State::Paused;
            sendLocked(kMessagePort, "command:pause");
        } else if (callArgument(line.text, "print", text)) {
            sendLocked(kMessagePort, text);
        }
    }
}

} // namespace varlosim
