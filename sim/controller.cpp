#include "controller.h"

#include "apiroutes.h"
#include "defaults.h"
#include "documentstore.h"
#include "kinematics.h"
#include "log.h"
#include "robot.h"
#include "scriptrunner.h"
#include "services.h"

namespace varlosim {

namespace {

constexpr int kApiPort = 22000;
constexpr int kFilePort = 22001;

// The model the folder was set up for, unless the command line names one.
int chooseAxes(int asked, const DocumentStore &store)
{
    if (asked != 0)
        return asked;
    if (const auto doc = store.read("/properties/axis")) {
        if (doc->is_object() && doc->contains("axis") && (*doc)["axis"].is_number_integer()) {
            const int axes = (*doc)["axis"].get<int>();
            if (axes == 4 || axes == 6)
                return axes;
        }
    }
    return 6;
}

std::string cannotListen(const std::string &address, int port)
{
    return "cannot listen on " + address + ":" + std::to_string(port) + " (in use, or not an address of this machine)";
}

} // namespace

Controller::Controller(Setup setup) : m_setup(std::move(setup)) {}

Controller::~Controller()
{
    stop();
}

bool Controller::prepare(std::string &error)
{
    m_store = std::make_unique<DocumentStore>(m_setup.root / "controllerVR" / "project");
    if (!m_store->prepare(error))
        return false;
    auto model = makeKinematics(chooseAxes(m_setup.axes, *m_store));
    const int written = installDefaults(*m_store, *model);
    if (written > 0)
        logVerbose(m_setup.address + ": wrote " + std::to_string(written) + " default documents");

    m_robot = std::make_unique<Robot>(*m_store, std::move(model), m_setup.address);
    m_robot->reloadSettings();
    m_robot->setQuietTickMs(m_setup.quietTickMs);
    ScriptRunner::installDemo(m_store->folder());
    m_scripts = std::make_unique<ScriptRunner>(m_store->folder(), *m_robot, m_setup.address);
    m_services = std::make_unique<Services>(*m_robot, *m_store);
    installApiRoutes(m_apiRoutes, *m_robot, *m_store, *m_scripts, *m_services);
    installFileRoutes(m_fileRoutes, *m_robot, *m_store);
    installPanelRoutes(m_panelRoutes, *m_robot, *m_store, *m_scripts);
    for (Routes *routes : {&m_apiRoutes, &m_fileRoutes, &m_panelRoutes})
        routes->acceptOnly(m_setup.address, m_setup.alsoHosts);
    m_api = std::make_unique<HttpServer>("api", m_apiRoutes,
                                         HttpServer::Limits{1024 * 1024, m_setup.apiThreads, 32 * 1024 * 1024});
    m_files = std::make_unique<HttpServer>(
        "file", m_fileRoutes, HttpServer::Limits{DocumentStore::kMaxDocumentBytes, m_setup.fileThreads, 32 * 1024 * 1024});
    m_panel = std::make_unique<HttpServer>("panel", m_panelRoutes, HttpServer::Limits{64 * 1024, 1, 1024 * 1024});
    return true;
}

bool Controller::listen(std::string &error, std::string &warning)
{
    if (!m_api->bind(m_setup.address, kApiPort)) {
        error = cannotListen(m_setup.address, kApiPort);
        return false;
    }
    if (m_setup.fileService && !m_files->bind(m_setup.address, kFilePort)) {
        error = cannotListen(m_setup.address, kFilePort);
        return false;
    }
    // The panel is a convenience: without its port the controller still serves.
    m_panelServes = m_setup.panelPort != 0;
    if (m_panelServes && !m_panel->bind(m_setup.address, m_setup.panelPort)) {
        warning = "cannot listen on " + m_setup.address + ":" + std::to_string(m_setup.panelPort)
                + "; running without the panel page";
        m_panelServes = false;
    }
    return true;
}

void Controller::start()
{
    m_robot->start();
    m_api->start();
    if (m_setup.fileService)
        m_files->start();
    if (m_panelServes)
        m_panel->start();
}

void Controller::stop()
{
    if (m_panel)
        m_panel->stop();
    if (m_api)
        m_api->stop();
    if (m_files)
        m_files->stop();
    if (m_robot)
        m_robot->stop();
}

int Controller::axes() const
{
    return m_robot ? m_robot->axes() : 0;
}

std::filesystem::path Controller::projectFolder() const
{
    return m_store ? m_store->folder() : std::filesystem::path();
}

} // namespace varlosim
