// The endpoint tables of VarloSim's servers, apart from the HTTP library that
// carries them: an endpoint is a method, a path (or a pattern) and a function
// from a Request to a Reply. The tables themselves are filled in
// apiroutes.cpp (port 22000) and fileroutes.cpp (port 22001).
#pragma once

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace varlosim {

struct Request
{
    std::string method;           // "GET" or "POST"
    std::string path;             // decoded, without the query
    std::vector<std::string> matches;   // groups of a pattern route
    std::string text;             // the body as sent
    nlohmann::json body;          // the body as JSON ({} when empty); raw routes leave it null
    std::string client;           // the client's address
    std::string connection;       // the client's address and port: one TCP connection
    std::string contentType;      // of the body, as the client named it
    std::string host;             // the Host header as sent ("" when missing)
};

struct Reply
{
    int status = 200;
    std::string text;             // the body: JSON text unless contentType says otherwise
    std::string contentType = "application/json";
    bool cacheable = false;       // static files may be kept by a browser

    Reply() = default;
    // Most endpoints answer a JSON object with status 200.
    Reply(const nlohmann::json &body, int code = 200) : status(code), text(body.dump()) {}
    static Reply raw(std::string jsonText, int code = 200)
    {
        Reply r;
        r.status = code;
        r.text = std::move(jsonText);
        return r;
    }
    // Server-sent events instead of one answer: every `periodMs` the next
    // event's data, for as long as the client stays.
    std::function<std::string()> events;
    int eventPeriodMs = 0;
    static Reply eventStream(std::function<std::string()> next, int periodMs)
    {
        Reply r;
        r.events = std::move(next);
        r.eventPeriodMs = periodMs;
        return r;
    }

    static Reply error(int code, const std::string &message)
    {
        return Reply(nlohmann::json{{"result", false}, {"error", message}}, code);
    }
};

using Handler = std::function<Reply(const Request &)>;

class Routes
{
public:
    // Handlers of POST routes get the body parsed; a body that is not JSON is
    // answered 400 before the handler runs. postRaw() routes get it as sent.
    void get(const std::string &path, Handler handler) { add("GET", path, std::move(handler), false); }
    void post(const std::string &path, Handler handler) { add("POST", path, std::move(handler), true); }
    void postRaw(const std::string &path, Handler handler) { add("POST", path, std::move(handler), false); }
    // Paths given as regular expressions; their groups land in Request::matches.
    void getPattern(const std::string &pattern, Handler handler) { addPattern("GET", pattern, std::move(handler), true); }
    void postPattern(const std::string &pattern, Handler handler) { addPattern("POST", pattern, std::move(handler), true); }
    void postRawPattern(const std::string &pattern, Handler handler)
    {
        addPattern("POST", pattern, std::move(handler), false);
    }
    // What answers a path that no route names, per method; 404 without one.
    void fallback(const std::string &method, Handler handler, bool parseBody = true)
    {
        m_fallbacks[method] = {std::move(handler), parseBody};
    }

    // Keeps other sites' web pages out. POSTs must name their body
    // application/json (415 otherwise): a page of another site cannot send
    // those without the browser asking this server first, which it never
    // allows. Requests must name `address` (the one the server listens on) or
    // "localhost" as their Host (421 otherwise): a page whose site name was
    // made to point at this machine (DNS rebinding) names its own site there.
    // The address 0.0.0.0 takes any IPv4 address as the Host; `alsoHosts`
    // are further names (a proxy or port forward in front of the server).
    void acceptOnly(const std::string &address, const std::vector<std::string> &alsoHosts = {})
    {
        m_address = address;
        m_alsoHosts = alsoHosts;
        m_guarded = true;
    }

    // Runs the route of the request. `request.body` is filled here.
    Reply dispatch(Request &request) const;

private:
    struct Route { Handler handler; bool parseBody = true; };
    struct PatternRoute { std::string method; std::regex pattern; Route route; };

    void add(const std::string &method, const std::string &path, Handler handler, bool parseBody)
    {
        m_exact[{method, path}] = {std::move(handler), parseBody};
    }
    void addPattern(const std::string &method, const std::string &pattern, Handler handler, bool parseBody)
    {
        m_patterns.push_back({method, std::regex(pattern), {std::move(handler), parseBody}});
    }

    std::map<std::pair<std::string, std::string>, Route> m_exact;
    std::vector<PatternRoute> m_patterns;
    std::map<std::string, Route> m_fallbacks;
    bool hostAccepted(const std::string &host) const;

    std::string m_address;
    std::vector<std::string> m_alsoHosts;
    bool m_guarded = false;
};

} // namespace varlosim
