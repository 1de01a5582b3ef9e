// VarloSim: a virtual robot controller. It plays the controller's HTTP API on
// port 22000 and its file service on port 22001, keeps the settings documents
// in a project folder, and simulates an arm that moves, jogs, raises alarms and
// reports its state.
#include "apiroutes.h"
#include "defaults.h"
#include "documentstore.h"
#include "kinematics.h"
#include "log.h"
#include "options.h"
#include "httpserver.h"
#include "robot.h"
#include "routes.h"
#include "scriptrunner.h"
#include "services.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

using namespace varlosim;

namespace {

constexpr int kApiPort = 22000;
constexpr int kFilePort = 22001;
// Threads that run the handlers; connections need none of their own.
constexpr std::size_t kApiThreads = 4;
constexpr std::size_t kFileThreads = 2;
// After a stop request, the longest a clean stop may take.
constexpr int kStopSeconds = 5;

// The model the folder was set up for, unless the command line names one.
int chooseAxes(const Options &options, const DocumentStore &store)
{
    if (options.axes != 0)
        return options.axes;
    if (const auto doc = store.read("/properties/axis")) {
        if (doc->is_object() && doc->contains("axis") && (*doc)["axis"].is_number_integer()) {
            const int axes = (*doc)["axis"].get<int>();
            if (axes == 4 || axes == 6)
                return axes;
        }
    }
    return 6;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int exitCode = 0;
    if (!parseOptions(argc, argv, options, exitCode))
        return exitCode;
    setVerbose(options.verbose);
    if (options.exitWithParent) {
        // SIGTERM when the parent ends, taken by sigwait() below like any
        // other stop request. A parent that ended before this line is caught
        // by the check after it.
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            return 0;
    }

    // Signals are taken by sigwait() below; every thread started from here on
    // inherits the blocked mask, so none of them is interrupted by them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Every open connection is a descriptor; take what the system allows.
    rlimit descriptors{};
    if (getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur < descriptors.rlim_max) {
        descriptors.rlim_cur = descriptors.rlim_max;
        setrlimit(RLIMIT_NOFILE, &descriptors);
    }

    const std::filesystem::path project = std::filesystem::path(options.root) / "controllerVR" / "project";
    DocumentStore store(project);
    std::string error;
    if (!store.prepare(error)) {
        logWarning(error);
        return 1;
    }
    // The root is the working folder, so that the library's simulator probe
    // finds a running simulator's documents there, whichever folder it was
    // started in or installed to.
    std::error_code inRoot;
    std::filesystem::current_path(options.root, inRoot);
    if (inRoot) {
        logWarning("cannot work in " + options.root + ": " + inRoot.message());
        return 1;
    }
    const int axes = chooseAxes(options, store);
    auto model = makeKinematics(axes);
    const int written = installDefaults(store, *model);
    if (written > 0)
        logVerbose("wrote " + std::to_string(written) + " default documents");

    Robot robot(store, std::move(model), options.address);
    robot.reloadSettings();

    ScriptRunner::installDemo(store.folder());
    ScriptRunner scripts(store.folder(), robot, options.address);
    Services services(robot, store);
    Routes apiRoutes, fileRoutes;
    installApiRoutes(apiRoutes, robot, store, scripts, services);
    installFileRoutes(fileRoutes, robot, store);
    HttpServer api("api", apiRoutes, {1024 * 1024, kApiThreads, 32 * 1024 * 1024});
    HttpServer files("file", fileRoutes, {DocumentStore::kMaxDocumentBytes, kFileThreads, 32 * 1024 * 1024});
    Routes panelRoutes;
    installPanelRoutes(panelRoutes, robot, store, scripts);
    HttpServer panel("panel", panelRoutes, {64 * 1024, 1, 1024 * 1024});

    if (!api.bind(options.address, kApiPort)) {
        logWarning("cannot listen on " + options.address + ":" + std::to_string(kApiPort)
                   + " (in use, or not an address of this machine)");
        return 1;
    }
    if (options.fileService && !files.bind(options.address, kFilePort)) {
        logWarning("cannot listen on " + options.address + ":" + std::to_string(kFilePort)
                   + " (in use, or not an address of this machine)");
        return 1;
    }

    // The panel is a convenience: without its port the controller still serves.
    bool panelServes = options.panelPort != 0;
    if (panelServes && !panel.bind(options.address, options.panelPort)) {
        logWarning("cannot listen on " + options.address + ":" + std::to_string(options.panelPort)
                   + "; running without the panel page");
        panelServes = false;
    }

    robot.start();
    api.start();
    if (options.fileService)
        files.start();
    if (panelServes) {
        panel.start();
        logInfo("VarloSim panel on http://" + options.address + ":" + std::to_string(options.panelPort) + "/");
    }
    logInfo("VarloSim ready on " + options.address + " (" + std::to_string(axes) + " axes), project folder "
            + store.folder().string() + (options.fileService ? "" : ", file service off"));

    int received = 0;
    sigwait(&stopSignals, &received);
    logInfo(std::string("VarloSim stopping (") + (received == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    // Nothing a request does may keep the simulator from ending.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(kStopSeconds));
        logWarning("VarloSim did not stop within " + std::to_string(kStopSeconds) + " s; ending now");
        std::_Exit(1);
    }).detach();

    panel.stop();
    api.stop();
    files.stop();
    robot.stop();
    logInfo("VarloSim stopped");
    return 0;
}
