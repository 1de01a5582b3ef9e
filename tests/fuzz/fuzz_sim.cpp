// libFuzzer targets for VarloSim's route tables, without the HTTP servers:
//   simrequests   "G" or "P", a path, a line end, then the body: an API request
//   simdocuments  "R" or "W", a document name, a line end, then the body: the
//                 file service, in a folder of its own
// Script runs (/debugger/...) are left out: they start threads of their own.
#include "apiroutes.h"
#include "defaults.h"
#include "documentstore.h"
#include "kinematics.h"
#include "robot.h"
#include "routes.h"
#include "scriptrunner.h"
#include "services.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace varlosim;

namespace {

struct Simulator
{
    std::filesystem::path root;
    DocumentStore store;
    Robot robot;
    ScriptRunner scripts;
    Services services;
    Routes api, files;

    explicit Simulator(const std::filesystem::path &folder)
        : root(folder), store(folder / "controllerVR" / "project"), robot(store, makeKinematics(6), "127.0.0.1"),
          scripts(store.folder(), robot, "127.0.0.1"), services(robot, store)
    {
        std::string error;
        if (!store.prepare(error))
            abort();
        installDefaults(store, *makeKinematics(6));
        robot.reloadSettings();
        installApiRoutes(api, robot, store, scripts, services);
        installFileRoutes(files, robot, store);
        robot.start();
    }
};

Simulator &simulator()
{
    static char pattern[] = "/tmp/fuzz-varlosim-XXXXXX";
    static Simulator sim(mkdtemp(pattern));
    return sim;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::size_t lineEnd = input.find('\n');
    if (input.empty() || lineEnd == std::string::npos)
        return 0;
    Request request;
    request.method = input[0] == 'P' || input[0] == 'W' ? "POST" : "GET";
    request.text = input.substr(lineEnd + 1);
    request.client = "127.0.0.1";
    request.contentType = "application/json";
    const std::string target = input.substr(1, lineEnd - 1);
    Simulator &sim = simulator();
#if FUZZ_TARGET == 7
    if (target.rfind("/debugger", 0) == 0)
        return 0;
    request.path = target;
    sim.api.dispatch(request);
#elif FUZZ_TARGET == 8
    request.path = (request.method == "POST" ? "/file/write" : "/file/read") + target + ".json";
    sim.files.dispatch(request);
#else
#error "FUZZ_TARGET names no target"
#endif
    return 0;
}
