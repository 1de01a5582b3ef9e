// One HTTP server of VarloSim (the API, the file service, the panel): listens
// on an address and port and answers every request from a table of routes.
//
// Whatever a client sends, one connection costs a bounded amount: the request
// line and headers at most kHeaderLimit bytes and read within a deadline, the
// body at most Limits::maxBody bytes (chunked or not) and read within a
// deadline, large bodies only while the server's body budget lasts. Idle and
// slow connections hold no thread: a few threads serve every connection.
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
        std::size_t maxBody = 1024 * 1024;          // larger bodies are answered 413
        std::size_t threads = 2;                    // threads that run the handlers
        std::size_t bodyBudget = 64 * 1024 * 1024;  // bodies over 64 KiB in flight at once
    };
    static constexpr std::size_t kHeaderLimit = 16 * 1024;
    static constexpr std::size_t kMaxConnections = 4096;

    // `tag` names the server in --verbose lines ("api", "file", "panel").
    HttpServer(std::string tag, const Routes &routes, Limits limits);
    ~HttpServer();

    // Takes the address; false when it is in use or not this machine's.
    bool bind(const std::string &address, int port);
    // Serves in threads of its own until stop().
    void start();
    void stop();

    struct Private;

private:
    std::shared_ptr<Private> d;
};

} // namespace varlosim
