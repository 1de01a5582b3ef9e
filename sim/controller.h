// One virtual controller: its documents folder, the arm, its scripts and
// services, and its servers (API, file service, panel) on one address.
// VarloSim runs one; a lab (--arms N) runs several side by side in one
// process, each on an address of its own and sharing nothing.
#pragma once

#include "httpserver.h"
#include "routes.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace varlosim {

class DocumentStore;
class Robot;
class ScriptRunner;
class Services;

class Controller
{
public:
    struct Setup
    {
        std::filesystem::path root;    // holds controllerVR/project
        std::string address;
        int axes = 0;                  // 4 or 6; 0: what the folder says (6 when new)
        bool fileService = true;
        int panelPort = 22080;         // 0: no panel
        std::size_t apiThreads = 4;    // threads that run the handlers
        std::size_t fileThreads = 2;
        std::vector<std::string> alsoHosts; // Host names accepted besides the address and localhost
        int quietTickMs = 10;          // the simulation's step while the arm neither moves nor jogs
    };

    explicit Controller(Setup setup);
    ~Controller();

    // Prepares the folder and its documents and builds the arm and its
    // routes; false with `error` set when the folder cannot be used.
    bool prepare(std::string &error);
    // Takes the ports; false with `error` set when the API or the file
    // service cannot listen. A panel port in use only costs the panel
    // (`warning` says so).
    bool listen(std::string &error, std::string &warning);
    void start();
    void stop();

    const Setup &setup() const { return m_setup; }
    int axes() const;
    bool panelServes() const { return m_panelServes; }
    std::filesystem::path projectFolder() const;

private:
    Setup m_setup;
    std::unique_ptr<DocumentStore> m_store;
    std::unique_ptr<Robot> m_robot;
    std::unique_ptr<ScriptRunner> m_scripts;
    std::unique_ptr<Services> m_services;
    Routes m_apiRoutes, m_fileRoutes, m_panelRoutes;
    std::unique_ptr<HttpServer> m_api, m_files, m_panel;
    bool m_panelServes = false;
};

} // namespace varlosim
