#include "httpserver.h"

#include "log.h"
#include "routes.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace varlosim {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

namespace {

// Time for the request line and headers of a new connection, and for the next
// request on a kept-alive one (its idle time).
constexpr auto kFirstHeaderTime = 2s;
constexpr auto kIdleTime = 1s;
// Time for a body, and for writing an answer.
constexpr auto kBodyTime = 5s;
constexpr auto kWriteTime = 5s;
// Bodies up to this size do not count against the body budget.
constexpr std::size_t kSmallBody = 64 * 1024;
constexpr unsigned kMaxRequestsPerConnection = 1000;
// Before a connection is closed, what the client still sends is read and
// dropped for a moment (up to so many bytes): closing with unread data would
// reset the connection and could lose the answer on its way.
constexpr auto kLingerTime = 1s;
constexpr std::size_t kMaxLingerBytes = 16 * 1024 * 1024;
// Event streams (the panel's live updates) open at once on one server.
constexpr std::size_t kMaxEventStreams = 32;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path of a request target, percent-decoded, without the query.
std::string decodedPath(beast::string_view target)
{
    const auto query = target.find('?');
    if (query != beast::string_view::npos)
        target = target.substr(0, query);
    std::string path;
    path.reserve(target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size()) {
            const int hi = hexValue(target[i + 1]), lo = hexValue(target[i + 2]);
            if (hi >= 0 && lo >= 0) {
                path.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        path.push_back(target[i]);
    }
    return path;
}

} // namespace

// The connections and handlers of a server point at it without owning it:
// the server owns its io_context, which owns every pending handler and, through
// them, every connection. Destroying the io_context (after the threads ended)
// destroys them all; no reference cycle keeps them alive past the server.
struct HttpServer::Private
{
    Private(std::string t, const Routes &r, Limits l) : tag(std::move(t)), routes(r), limits(l) {}

    void accept();

    // Reserves room for a body of `size` bytes; false when the budget is spent.
    bool reserve(std::size_t size)
    {
        if (size <= kSmallBody)
            return true;
        std::size_t left = budgetUsed.load();
        do {
            if (left + size > limits.bodyBudget)
                return false;
        } while (!budgetUsed.compare_exchange_weak(left, left + size));
        return true;
    }
    void release(std::size_t size)
    {
        if (size > kSmallBody)
            budgetUsed -= size;
    }

    std::string tag;
    const Routes &routes;
    Limits limits;
    std::vector<std::thread> threads;
    std::atomic<std::size_t> budgetUsed{0};
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> eventStreams{0};
    // Last, so destroyed first: the connections its handlers still hold
    // count themselves out of the members above.
    net::io_context ioc;
    tcp::acceptor acceptor{ioc};
};

namespace {

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, HttpServer::Private *server)
        : m_stream(std::move(socket)), m_server(server)
    {
        ++m_server->connections;
        beast::error_code ec;
        const tcp::endpoint remote = m_stream.socket().remote_endpoint(ec);
        m_client = remote.address().to_string();
        m_connection = m_client + ":" + std::to_string(remote.port());
        m_stream.socket().set_option(tcp::no_delay(true), ec);
    }
    ~Session()
    {
        if (m_streaming)
            --m_server->eventStreams;
        m_server->release(m_reserved);
        --m_server->connections;
    }

    void start() { readHeader(); }

private:
    void readHeader()
    {
        m_parser.emplace();
        m_parser->header_limit(HttpServer::kHeaderLimit);
        m_parser->body_limit(m_server->limits.maxBody);
        m_stream.expires_after(m_served == 0 ? std::chrono::steady_clock::duration(kFirstHeaderTime)
                                             : std::chrono::steady_clock::duration(kIdleTime));
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onHeader(ec); });
    }

    void onHeader(beast::error_code ec)
    {
        if (ec) {
            refuseBroken(ec);
            return;
        }
        const auto &header = m_parser->get();
        // A declared body over the limit is refused before it is read.
        const auto length = m_parser->content_length();
        const std::size_t size = length ? static_cast<std::size_t>(*length)
                               : (m_parser->chunked() ? m_server->limits.maxBody : 0);
        if (!m_server->reserve(size)) {
            answer(Reply::error(503, "too many large requests at once; try again"), false);
            return;
        }
        m_reserved = size;
        if (beast::iequals(header[http::field::expect], "100-continue")) {
            // Clients that wait for a go-ahead before sending the body.
            static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
            m_stream.expires_after(kWriteTime);
            net::async_write(m_stream, net::buffer(kContinue, sizeof kContinue - 1),
                             [self = shared_from_this()](beast::error_code e, std::size_t) {
                                 if (e)
                                     self->close();
                                 else
                                     self->readBody();
                             });
            return;
        }
        readBody();
    }

    void readBody()
    {
        m_stream.expires_after(kBodyTime);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onBody(ec); });
    }

    void onBody(beast::error_code ec)
    {
        m_server->release(m_reserved);
        m_reserved = 0;
        if (ec) {
            refuseBroken(ec);
            return;
        }
        ++m_served;
        const auto &message = m_parser->get();
        Request request;
        const bool head = message.method() == http::verb::head;
        request.method = head ? "GET" : std::string(message.method_string());
        request.path = decodedPath(message.target());
        request.text = message.body();
        request.client = m_client;
        request.connection = m_connection;
        request.contentType = std::string(message[http::field::content_type]);
        request.host = std::string(message[http::field::host]);
        Reply reply = m_server->routes.dispatch(request);
        if (isVerbose())
            logVerbose(m_server->tag + " " + request.method + " " + request.path + " " + std::to_string(reply.status));
        if (head)
            reply.text.clear();
        if (reply.events)
            startEvents(std::move(reply));
        else
            answer(std::move(reply), message.keep_alive() && m_served < kMaxRequestsPerConnection);
    }

    // Server-sent events until the client leaves: the header once, then one
    // event per period. The body ends with the connection.
    void startEvents(Reply reply)
    {
        if (++m_server->eventStreams > kMaxEventStreams) {
            --m_server->eventStreams;
            answer(Reply::error(503, "too many open pages"), false);
            return;
        }
        m_streaming = true;
        m_events = std::move(reply.events);
        m_period = std::chrono::milliseconds(reply.eventPeriodMs);
        m_out = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                "Connection: close\r\n\r\n";
        writeEvent();
    }

    void writeEvent()
    {
        m_stream.expires_after(kWriteTime);
        net::async_write(m_stream, net::buffer(m_out), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) {
                self->closeNow();
                return;
            }
            self->m_timer.expires_after(self->m_period);
            self->m_timer.async_wait([self](beast::error_code e) {
                if (e) {
                    self->closeNow();
                    return;
                }
                self->m_out = "data: " + self->m_events() + "\n\n";
                self->writeEvent();
            });
        });
    }

    // A request that could not be read: answer what can be answered, then close.
    void refuseBroken(beast::error_code ec)
    {
        if (ec == http::error::header_limit)
            answer(Reply::error(431, "request line or headers too large"), false);
        else if (ec == http::error::body_limit)
            answer(Reply::error(413, "body too large"), false);
        else if (ec == beast::error::timeout || ec == http::error::end_of_stream || ec == net::error::eof
                 || ec == net::error::connection_reset || ec == net::error::operation_aborted
                 || ec == http::error::partial_message)
            closeNow();
        else
            answer(Reply::error(400, "bad request: " + ec.message()), false);
    }

    void answer(Reply reply, bool keepAlive)
    {
        auto response = std::make_shared<http::response<http::string_body>>();
        response->version(11);
        response->result(static_cast<unsigned>(reply.status));
        response->set(http::field::content_type, reply.contentType);
        if (!reply.cacheable)
            response->set(http::field::cache_control, "no-store");
        response->keep_alive(keepAlive);
        response->body() = std::move(reply.text);
        response->prepare_payload();
        m_stream.expires_after(kWriteTime);
        http::async_write(m_stream, *response,
                          [self = shared_from_this(), response, keepAlive](beast::error_code ec, std::size_t) {
                              if (ec || !keepAlive)
                                  self->close();
                              else
                                  self->readHeader();
                          });
    }

    void close()
    {
        beast::error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ec);
        m_stream.expires_after(kLingerTime);
        drain();
    }

    void drain()
    {
        m_stream.async_read_some(net::buffer(m_drain), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            self->m_drained += n;
            if (ec || self->m_drained > kMaxLingerBytes)
                self->closeNow();
            else
                self->drain();
        });
    }

    void closeNow()
    {
        beast::error_code ec;
        m_stream.socket().close(ec);
    }

    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    HttpServer::Private *m_server;
    std::string m_client;
    std::string m_connection;
    unsigned m_served = 0;
    std::size_t m_reserved = 0;
    std::array<char, 16 * 1024> m_drain{};
    std::size_t m_drained = 0;
    bool m_streaming = false;
    std::function<std::string()> m_events;
    std::chrono::milliseconds m_period{40};
    std::string m_out;
    net::steady_timer m_timer{m_stream.get_executor()};
};

} // namespace

void HttpServer::Private::accept()
{
    acceptor.async_accept(net::make_strand(ioc), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors or similar: wait a little instead of spinning.
            auto timer = std::make_shared<net::steady_timer>(ioc, 50ms);
            timer->async_wait([this, timer](beast::error_code) { accept(); });
            return;
        }
        if (connections < kMaxConnections)
            std::make_shared<Session>(std::move(socket), this)->start();
        accept();
    });
}

HttpServer::HttpServer(std::string tag, const Routes &routes, Limits limits)
    : d(std::make_shared<Private>(std::move(tag), routes, limits))
{
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::bind(const std::string &address, int port)
{
    beast::error_code ec;
    const auto ip = net::ip::make_address(address, ec);
    if (ec)
        return false;
    const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    d->acceptor.open(endpoint.protocol(), ec);
    // Only SO_REUSEADDR: a restart may bind at once, a second copy must fail
    // rather than share the address and take half of the requests.
    if (!ec)
        d->acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        d->acceptor.bind(endpoint, ec);
    if (!ec)
        d->acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        d->acceptor.close(ec);
        return false;
    }
    return true;
}

void HttpServer::start()
{
    d->accept();
    for (std::size_t i = 0; i < d->limits.threads; ++i)
        d->threads.emplace_back([server = d] { server->ioc.run(); });
}

void HttpServer::stop()
{
    if (d->threads.empty())
        return;
    net::post(d->ioc, [server = d.get()] {
        beast::error_code ec;
        server->acceptor.close(ec);
    });
    d->ioc.stop();
    for (std::thread &t : d->threads)
        t.join();
    d->threads.clear();
}

} // namespace varlosim
