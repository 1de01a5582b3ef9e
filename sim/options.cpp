#include "options.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace varlosim {

namespace {

const char kUsage[] =
    "Usage: VarloSim [OPTION]...\n"
    "\n"
    "A virtual robot controller: serves the controller API on port 22000 and the\n"
    "file service on port 22001 of address A (default 127.0.0.1), and keeps its\n"
    "settings documents under DIR/controllerVR/project. DIR defaults to the\n"
    "folder of this program; for an installed VarloSim (or where that folder is\n"
    "not writable) it is $XDG_DATA_HOME/varlosim (~/.local/share/varlosim).\n"
    "VarloSim works in DIR, where the library finds the documents of a\n"
    "simulator on 127.0.0.1. The panel page, http://A:22080/, shows the arm in\n"
    "3D with its IO, alarms, pendant buttons. Ctrl-C or SIGTERM stops it.\n"
    "\n"
    "Options:\n"
    "  --root DIR          folder that holds controllerVR/project\n"
    "  --address A         IPv4 address to serve on\n"
    "  --axes 4|6          robot model: 4-axis SCARA or 6-axis arm (default: the\n"
    "                      axis count the folder already holds, else 6)\n"
    "  --no-file-service   leave port 22001 closed, as on a controller whose file\n"
    "                      service is down (clients then use the project folder)\n"
    "  --panel-port N      port of the panel page on address A (default 22080)\n"
    "  --no-panel          serve no panel page\n"
    "  --arms N            a lab of N controllers (1-1000) on N consecutive\n"
    "                      addresses from A (on loopback: 127.0.0.1 and up serve\n"
    "                      without set-up), each with its own arm, panel and folder\n"
    "                      DIR/ADDRESS (with N 1, the default: DIR itself)\n"
    "  --allow-host NAME   also serve requests whose Host is NAME (an address or\n"
    "                      name of a proxy or port forward in front); without it\n"
    "                      only A and localhost, so that other sites' web pages\n"
    "                      stay out\n"
    "  --exit-with-parent  end when the process that started it ends (for test\n"
    "                      harnesses, so that a crashed one leaves no simulator)\n"
    "  -v, --verbose       one line per request\n"
    "  -h, --help          this text\n"
    "\n"
    "Exit status: 0 after a clean stop or --help, 1 when the project folder or a\n"
    "port cannot be used, 2 for a wrong command line.\n";

bool isIPv4(const std::string &text)
{
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

} // namespace

std::string installedPanelFolder()
{
    const std::filesystem::path folder = std::filesystem::path(executableFolder()) / VARLOSIM_PANEL_FROM_BINDIR;
    std::error_code error;
    if (!std::filesystem::is_regular_file(folder / "index.html", error))
        return std::string();
    return folder.lexically_normal().string();
}

std::string defaultRoot(const std::string &programFolder, bool installed)
{
    if (!installed && access(programFolder.c_str(), W_OK) == 0)
        return programFolder;
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return (std::filesystem::path(data) / "varlosim").string();
    const char *home = std::getenv("HOME");
    return (std::filesystem::path(home && *home ? home : "/tmp") / ".local/share/varlosim").string();
}

std::string addressAfter(const std::string &address, int offset)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1 || offset < 0)
        return std::string();
    const unsigned long long next = static_cast<unsigned long long>(ntohl(parsed.s_addr)) + static_cast<unsigned>(offset);
    if (next > 0xFFFFFFFEull)
        return std::string();
    parsed.s_addr = htonl(static_cast<std::uint32_t>(next));
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &parsed, text, sizeof text) ? std::string(text) : std::string();
}

std::string executableFolder()
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return std::filesystem::current_path(error).string();
    return self.parent_path().string();
}

bool parseOptions(int argc, char **argv, Options &options, int &exitCode)
{
    exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char *name) -> const char * {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "VarloSim: %s needs a value\n%s", name, kUsage);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return false;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--exit-with-parent") {
            options.exitWithParent = true;
        } else if (arg == "--no-file-service") {
            options.fileService = false;
        } else if (arg == "--no-panel") {
            options.panelPort = 0;
        } else if (arg == "--panel-port") {
            const char *v = value("--panel-port");
            if (!v) { exitCode = 2; return false; }
            char *end = nullptr;
            const long port = std::strtol(v, &end, 10);
            if (*v == '\0' || *end != '\0' || port < 1 || port > 65535 || port == 22000 || port == 22001) {
                std::fprintf(stderr, "VarloSim: --panel-port takes a port 1-65535 other than 22000 and 22001, not \"%s\"\n", v);
                exitCode = 2;
                return false;
            }
            options.panelPort = static_cast<int>(port);
        } else if (arg == "--arms") {
            const char *v = value("--arms");
            if (!v) { exitCode = 2; return false; }
            char *end = nullptr;
            const long arms = std::strtol(v, &end, 10);
            if (*v == '\0' || *end != '\0' || arms < 1 || arms > kMaxArms) {
                std::fprintf(stderr, "VarloSim: --arms takes a number from 1 to %d, not \"%s\"\n", kMaxArms, v);
                exitCode = 2;
                return false;
            }
            options.arms = static_cast<int>(arms);
        } else if (arg == "--allow-host") {
            const char *v = value("--allow-host");
            if (!v) { exitCode = 2; return false; }
            std::string host = v;
            for (char &c : host)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            options.alsoHosts.push_back(host);
        } else if (arg == "--root") {
            const char *v = value("--root");
            if (!v) { exitCode = 2; return false; }
            options.root = v;
        } else if (arg == "--address") {
            const char *v = value("--address");
            if (!v) { exitCode = 2; return false; }
            if (!isIPv4(v)) {
                std::fprintf(stderr, "VarloSim: --address needs an IPv4 address, not \"%s\"\n", v);
                exitCode = 2;
                return false;
            }
            options.address = v;
        } else if (arg == "--axes") {
            const char *v = value("--axes");
            if (!v) { exitCode = 2; return false; }
            if (std::strcmp(v, "4") == 0) {
                options.axes = 4;
            } else if (std::strcmp(v, "6") == 0) {
                options.axes = 6;
            } else {
                std::fprintf(stderr, "VarloSim: --axes takes 4 or 6, not \"%s\"\n", v);
                exitCode = 2;
                return false;
            }
        } else {
            std::fprintf(stderr, "VarloSim: unknown option \"%s\"\n%s", arg.c_str(), kUsage);
            exitCode = 2;
            return false;
        }
    }
    if (options.root.empty())
        options.root = defaultRoot(executableFolder(), !installedPanelFolder().empty());
    // Absolute, because the simulator changes into it once it is prepared.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(options.root, error);
    if (!error)
        options.root = absolute.lexically_normal().string();
    if (addressAfter(options.address, options.arms - 1).empty()) {
        std::fprintf(stderr, "VarloSim: %d arms from %s would leave the IPv4 addresses\n", options.arms,
                     options.address.c_str());
        exitCode = 2;
        return false;
    }
    return true;
}

} // namespace varlosim
