#include "routes.h"

namespace varlosim {

namespace {

Reply run(const Handler &handler, bool parseBody, Request &request)
{
    if (parseBody) {
        if (request.text.empty()) {
            request.body = nlohmann::json::object();
        } else {
            request.body = nlohmann::json::parse(request.text, nullptr, false);
            if (request.body.is_discarded())
                return Reply::error(400, "body is not JSON");
        }
    }
    return handler(request);
}

} // namespace

Reply Routes::dispatch(Request &request) const
{
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
