// VarloSim: a virtual robot controller. It plays the controller's HTTP API on
// port 22000 and its file service on port 22001, keeps the settings documents
// in a project folder, and simulates an arm that moves, jogs, raises alarms and
// reports its state.
#include "controller.h"
#include "log.h"
#include "options.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace varlosim;

namespace {

// Threads that run one controller's handlers; connections need none of their
// own. A lab's controllers each get one per server: a lab is many quiet arms.
constexpr std::size_t kApiThreads = 4;
constexpr std::size_t kFileThreads = 2;
// A lab's quiet arms (neither moving nor jogging) advance every 50 ms instead
// of 10: a hundred arms would otherwise wake ten thousand times a second.
constexpr int kLabQuietTickMs = 50;
// After a stop request, the longest a clean stop may take.
constexpr int kStopSeconds = 5;

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

    // One controller, or a lab of them: arm i on the i-th address after the
    // first, in the folder named after its address.
    std::vector<std::unique_ptr<Controller>> controllers;
    const bool lab = options.arms > 1;
    for (int i = 0; i < options.arms; ++i) {
        Controller::Setup setup;
        setup.address = addressAfter(options.address, i);
        setup.root = lab ? std::filesystem::path(options.root) / setup.address : std::filesystem::path(options.root);
        setup.axes = options.axes;
        setup.fileService = options.fileService;
        setup.panelPort = options.panelPort;
        setup.apiThreads = lab ? 1 : kApiThreads;
        setup.fileThreads = lab ? 1 : kFileThreads;
        setup.alsoHosts = options.alsoHosts;
        setup.quietTickMs = lab ? kLabQuietTickMs : 10;
        auto controller = std::make_unique<Controller>(setup);
        std::string error, warning;
        if (!controller->prepare(error) || !controller->listen(error, warning)) {
            logWarning(error);
            return 1;
        }
        if (!warning.empty())
            logWarning(warning);
        controllers.push_back(std::move(controller));
    }

    // The first controller's root is the working folder, so that the
    // library's simulator probe finds a running simulator's documents there,
    // whichever folder it was started in or installed to.
    std::error_code inRoot;
    std::filesystem::current_path(controllers.front()->setup().root, inRoot);
    if (inRoot) {
        logWarning("cannot work in " + controllers.front()->setup().root.string() + ": " + inRoot.message());
        return 1;
    }

    for (const auto &controller : controllers) {
        controller->start();
        const Controller::Setup &setup = controller->setup();
        if (lab && !isVerbose())
            continue;
        if (controller->panelServes())
            logInfo("VarloSim panel on http://" + setup.address + ":" + std::to_string(setup.panelPort) + "/");
        logInfo("VarloSim ready on " + setup.address + " (" + std::to_string(controller->axes()) + " axes), project folder "
                + controller->projectFolder().string() + (options.fileService ? "" : ", file service off"));
    }
    if (lab) {
        const std::string last = addressAfter(options.address, options.arms - 1);
        logInfo("VarloSim ready: a lab of " + std::to_string(options.arms) + " arms on " + options.address + " to " + last
                + ", project folders under " + (std::filesystem::path(options.root) / "ADDRESS").string()
                + (options.panelPort != 0 ? ", panels on http://ADDRESS:" + std::to_string(options.panelPort) + "/" : ""));
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    logInfo(std::string("VarloSim stopping (") + (received == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    // Nothing a request does may keep the simulator from ending.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(kStopSeconds));
        logWarning("VarloSim did not stop within " + std::to_string(kStopSeconds) + " s; ending now");
        std::_Exit(1);
    }).detach();

    for (const auto &controller : controllers)
        controller->stop();
    logInfo("VarloSim stopped");
    return 0;
}
