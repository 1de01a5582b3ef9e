#include "httpserver.h"

#include "log.h"
#include "routes.h"

#include <httplib.h>

#include <chrono>
#include <thread>

namespace varlosim {

struct HttpServer::Private
{
    std::string tag;
    const Routes &routes;
    httplib::Server server;
    std::thread thread;
};

HttpServer::HttpServer(std::string tag, const Routes &routes, Limits limits)
    : d(new Private{std::move(tag), routes, {}, {}})
{
    httplib::Server &server = d->server;
    server.set_payload_max_length(limits.maxBody);
    server.set_tcp_nodelay(true);
    // cpp-httplib gives each open connection a worker of the pool for as long
    // as the client keeps it alive. The library itself holds one connection at
    // a time, but a tool, a browser and a load generator may hold dozens: size
    // the pools for that and let idle connections go after a second.
    const std::size_t workers = limits.workers;
    server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    server.set_keep_alive_timeout(1);
    // The library's default closes a connection after five requests; a client
    // that polls several times a second would reconnect all the time.
    server.set_keep_alive_max_count(1000);
    // The library's default also sets SO_REUSEPORT, which lets a second
    // simulator bind the same address and silently take half of the requests.
    // Only SO_REUSEADDR: a restart may bind at once, a second copy must fail.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    server.set_logger([tag = d->tag](const httplib::Request &req, const httplib::Response &res) {
        if (isVerbose())
            logVerbose(tag + " " + req.method + " " + req.path + " " + std::to_string(res.status));
    });
    server.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
        std::string what = "internal error";
        try {
            if (ep)
                std::rethrow_exception(ep);
        } catch (const std::exception &e) {
            what = e.what();
        } catch (...) {
        }
        logWarning("request " + req.method + " " + req.path + " failed: " + what);
        const Reply reply = Reply::error(500, what);
        res.status = reply.status;
        res.set_content(reply.text, "application/json");
    });
    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return;
        std::string message;
        switch (res.status) {
        case 404: message = "unknown endpoint"; break;
        case 413: message = "body too large"; break;
        case 400: message = "bad request"; break;
        default: message = "HTTP status " + std::to_string(res.status); break;
        }
        res.set_content(Reply::error(res.status, message).text, "application/json");
    });
    const Routes *table = &d->routes;
    auto answer = [table](const httplib::Request &req, httplib::Response &res) {
        Request request;
        request.method = req.method == "HEAD" ? "GET" : req.method;
        request.path = req.path;
        request.text = req.body;
        request.client = req.remote_addr;
        const Reply reply = table->dispatch(request);
        res.status = reply.status;
        res.set_content(reply.text, "application/json");
    };
    server.Get(".*", answer);
    server.Post(".*", answer);
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::bind(const std::string &address, int port)
{
    return d->server.bind_to_port(address, port);
}

void HttpServer::start()
{
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    // Server::stop() only takes effect once the accept loop runs; a stop
    // request before that would be lost and the join in stop() would hang.
    while (!d->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void HttpServer::stop()
{
    if (!d->thread.joinable())
        return;
    d->server.stop();
    d->thread.join();
}

} // namespace varlosim
