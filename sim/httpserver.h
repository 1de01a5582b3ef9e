// One HTTP server of VarloSim (the API or the file service): listens on an
// address and port and answers every request from a table of routes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace varlosim {

class Routes;

class HttpServer
{
public:
    struct Limits
    {
        std::size_t maxBody = 1024 * 1024;   // larger bodies are answered 413
        std::size_t workers = 16;            // connections served at once
    };

    // `tag` names the server in --verbose lines ("api", "file").
    HttpServer(std::string tag, const Routes &routes, Limits limits);
    ~HttpServer();

    // Takes the address; false when it is in use or not this machine's.
    bool bind(const std::string &address, int port);
    // Serves in a thread of its own until stop(); returns once it accepts.
    void start();
    void stop();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace varlosim
