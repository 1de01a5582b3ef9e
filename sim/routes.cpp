#include "routes.h"

#include "jsonfields.h"

#include <algorithm>
#include <cctype>

#include <arpa/inet.h>

namespace varlosim {

namespace {

Reply run(const Handler &handler, bool parseBody, Request &request)
{
    if (parseBody) {
        if (request.text.empty()) {
            request.body = nlohmann::json::object();
        } else if (nestingDepth(request.text) > kMaxNesting) {
            return Reply::error(400, "body nested too deeply");
        } else {
            request.body = nlohmann::json::parse(request.text, nullptr, false);
            if (request.body.is_discarded())
                return Reply::error(400, "body is not JSON");
        }
    }
    return handler(request);
}

// "application/json", with or without parameters, in any case.
bool isJson(std::string type)
{
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string json = "application/json";
    return type.rfind(json, 0) == 0 && (type.size() == json.size() || type[json.size()] == ';' || type[json.size()] == ' ');
}

bool isIPv4Literal(const std::string &text)
{
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

} // namespace

bool Routes::hostAccepted(const std::string &host) const
{
    // "name", "name:port", "[v6]:port"; names compare without case and
    // without a final dot.
    std::string name = host;
    if (!name.empty() && name.front() == '[') {
        name = name.substr(0, name.find(']') + 1);
    } else {
        name = name.substr(0, name.find(':'));
    }
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name == "localhost" || name == m_address
        || std::find(m_alsoHosts.begin(), m_alsoHosts.end(), name) != m_alsoHosts.end())
        return true;
    return m_address == "0.0.0.0" && isIPv4Literal(name);
}

Reply Routes::dispatch(Request &request) const
{
    if (m_guarded && !hostAccepted(request.host))
        return Reply::error(421, "the Host header must name this controller's address");
    if (m_guarded && request.method == "POST" && !isJson(request.contentType))
        return Reply::error(415, "POST bodies must be application/json");
    const auto exact = m_exact.find({request.method, request.path});
    if (exact != m_exact.end())
        return run(exact->second.handler, exact->second.parseBody, request);
    for (const PatternRoute &p : m_patterns) {
        std::smatch m;
        if (p.method != request.method || !std::regex_match(request.path, m, p.pattern))
            continue;
        request.matches.clear();
        for (std::size_t i = 1; i < m.size(); ++i)
            request.matches.push_back(m[i].str());
        return run(p.route.handler, p.route.parseBody, request);
    }
    const auto fallback = m_fallbacks.find(request.method);
    if (fallback != m_fallbacks.end())
        return run(fallback->second.handler, fallback->second.parseBody, request);
    return Reply::error(404, "unknown endpoint");
}

} // namespace varlosim
