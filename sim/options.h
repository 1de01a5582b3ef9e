// Command-line options of VarloSim.
#pragma once

#include <string>
#include <vector>

namespace varlosim {

struct Options
{
    std::string root;              // folder that holds controllerVR/project
    std::string address = "127.0.0.1";
    int axes = 0;                  // 4 or 6; 0: keep what the folder says (6 when new)
    bool verbose = false;
    bool fileService = true;       // false: port 22001 stays closed, as on a controller whose file service is down
    int panelPort = 22080;         // 0: no panel page
    bool exitWithParent = false;   // end when the process that started it ends (test harnesses)
    std::vector<std::string> alsoHosts; // Host names accepted besides the address and "localhost"
    int arms = 1;                  // a lab: this many controllers on consecutive addresses from `address`
};

// The largest lab.
constexpr int kMaxArms = 1000;

// The address `offset` places after `address` ("127.0.0.255" + 1 is
// "127.0.1.0"); empty when that would leave the IPv4 space.
std::string addressAfter(const std::string &address, int offset);

// Parses the arguments. On a usage error or --help it prints the reason or the
// usage text and returns false with exitCode set (2 for errors, 0 for help).
bool parseOptions(int argc, char **argv, Options &options, int &exitCode);

// The folder that holds the running executable (where a simulator installation
// keeps its controllerVR folder).
std::string executableFolder();

// The folder of the panel page that an installation put beside the program
// (share/varlo/panel); empty when the program does not run from an
// installation (a build tree, a copy).
std::string installedPanelFolder();

// The folder that holds controllerVR when the command line names none: the
// program's folder, unless the program is installed or this user may not
// write there, then the user's data folder "varlosim" (never /usr/bin).
std::string defaultRoot(const std::string &programFolder, bool installed);

} // namespace varlosim
