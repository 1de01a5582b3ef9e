// VarloSim: a virtual robot controller. It plays the controller's HTTP API on
// port 22000 and its file service on port 22001, keeps the settings documents
// in a project folder, and simulates an arm that moves, jogs, raises alarms and
// reports its state.
#include "apiserver.h"
#include "defaults.h"
#include "documentstore.h"
#include "kinematics.h"
#include "log.h"
#include "options.h"
#include "robot.h"
#include "scriptrunner.h"

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <thread>

using namespace varlosim;

namespace {

constexpr int kApiPort = 22000;
constexpr int kFilePort = 22001;
constexpr std::size_t kApiWorkers = 64;
constexpr std::size_t kFileWorkers = 16;

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

    const std::filesystem::path project = std::filesystem::path(options.root) / "controllerVR" / "project";
    DocumentStore store(project);
    std::string error;
    if (!store.prepare(error)) {
        logWarning(error);
        return 1;
    }
    const int axes = chooseAxes(options, store);
    auto model = makeKinematics(axes);
    const int written = installDefaults(store, *model);
    if (written > 0)
        logVerbose("wrote " + std::to_string(written) + " default documents");

    Robot robot(store, std::move(model), options.address);
    robot.reloadSettings();

    httplib::Server api;
    httplib::Server files;
    configureServer(api, "api", 1024 * 1024);
    configureServer(files, "file", DocumentStore::kMaxDocumentBytes);
    // cpp-httplib gives each open connection a worker of the pool for as long
    // as the client keeps it alive. The library itself holds one connection at
    // a time, but a tool, a browser and a load generator may hold dozens: size
    // the pools for that and let idle connections go after a second.
    api.new_task_queue = [] { return new httplib::ThreadPool(kApiWorkers); };
    files.new_task_queue = [] { return new httplib::ThreadPool(kFileWorkers); };
    api.set_keep_alive_timeout(1);
    files.set_keep_alive_timeout(1);
    ScriptRunner scripts(store.folder());
    installApiRoutes(api, robot, store, scripts);
    installFileRoutes(files, robot, store);

    if (!api.bind_to_port(options.address, kApiPort)) {
        logWarning("cannot listen on " + options.address + ":" + std::to_string(kApiPort)
                   + " (in use, or not an address of this machine)");
        return 1;
    }
    if (options.fileService && !files.bind_to_port(options.address, kFilePort)) {
        logWarning("cannot listen on " + options.address + ":" + std::to_string(kFilePort)
                   + " (in use, or not an address of this machine)");
        return 1;
    }

    robot.start();
    std::thread apiThread([&api] { api.listen_after_bind(); });
    std::thread fileThread;
    if (options.fileService)
        fileThread = std::thread([&files] { files.listen_after_bind(); });
    // Server::stop() only takes effect once the accept loop runs; a stop
    // request before that would be lost and the join below would hang. So the
    // simulator is ready (and takes signals) only from then on.
    while (!api.is_running() || (options.fileService && !files.is_running()))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    logInfo("VarloSim ready on " + options.address + " (" + std::to_string(axes) + " axes), project folder "
            + store.folder().string() + (options.fileService ? "" : ", file service off"));

    int received = 0;
    sigwait(&stopSignals, &received);
    logInfo(std::string("VarloSim stopping (") + (received == SIGINT ? "SIGINT" : "SIGTERM") + ")");

    api.stop();
    files.stop();
    apiThread.join();
    if (fileThread.joinable())
        fileThread.join();
    robot.stop();
    logInfo("VarloSim stopped");
    return 0;
}
