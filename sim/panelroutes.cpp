// The panel page on its own port (22080 by default): its own files, the
// three.js library installed with the system, the live state pushed as
// server-sent events, and the pendant's buttons, which go through the same
// checks as on the API. Nothing here polls the API port.
#include "apiroutes.h"

#include "documentstore.h"
#include "options.h"
#include "robot.h"
#include "routes.h"
#include "scriptrunner.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace varlosim {

namespace {

// Updates per second pushed to each open page.
constexpr int kEventsPerSecond = 25;

// A file of the page, read when asked for, so that the page can be changed
// without building VarloSim again. Only the files named in the table below are
// ever read.
Handler file(const std::string &path, const char *contentType, bool cacheable)
{
    return [path, contentType, cacheable](const Request &) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return Reply::error(404, "panel file missing: " + path);
        std::ostringstream text;
        text << in.rdbuf();
        Reply reply = Reply::raw(text.str());
        reply.contentType = contentType;
        reply.cacheable = cacheable;
        return reply;
    };
}

// The page's folder: where the installation put it beside the program, else
// the source tree's.
std::string panelFolder()
{
    const std::string installed = installedPanelFolder();
    return installed.empty() ? std::string(VARLOSIM_PANEL_DIR) : installed;
}

} // namespace

void installPanelRoutes(Routes &panel, Robot &robot, DocumentStore &store, ScriptRunner &scripts)
{
    Robot *r = &robot;
    DocumentStore *docs = &store;
    ScriptRunner *sr = &scripts;
    // "time": seconds since the panel started, to the millisecond, so that
    // the page's plot places each state and computes speeds exactly however
    // the updates travel.
    const auto started = std::chrono::steady_clock::now();
    auto snapshot = [r, sr, started] {
        json state = r->panelSnapshot();
        state["script"] = sr->panelState();
        const auto elapsed = std::chrono::steady_clock::now() - started;
        state["time"] = double(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) / 1000;
        return state;
    };

    const std::string folder = panelFolder();
    panel.get("/", file(folder + "/index.html", "text/html; charset=utf-8", false));
    panel.get("/panel.css", file(folder + "/panel.css", "text/css; charset=utf-8", false));
    panel.get("/panel.js", file(folder + "/panel.js", "text/javascript; charset=utf-8", false));
    panel.get("/plot.js", file(folder + "/plot.js", "text/javascript; charset=utf-8", false));
    panel.get("/three.min.js", file(VARLOSIM_THREE_JS, "text/javascript; charset=utf-8", true));

    panel.get("/state", [snapshot](const Request &) { return Reply(snapshot()); });
    panel.get("/events", [snapshot](const Request &) {
        return Reply::eventStream([snapshot] { return snapshot().dump(); }, 1000 / kEventsPerSecond);
    });
    panel.get("/catalogue", [docs](const Request &) {
        return json{{"controller", docs->read("/properties/alarm_controller").value_or(json::array())},
                    {"servo", docs->read("/properties/alarm_servo").value_or(json::array())}};
    });
    installPendantRoutes(panel, robot);
    panel.post("/alarms/clear", [r](const Request &) { return r->clearAlarms(); });
}

} // namespace varlosim
