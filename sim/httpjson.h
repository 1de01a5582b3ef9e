// JSON bodies of the API's requests and answers, shared by the route tables.
#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace varlosim {

inline void send(httplib::Response &res, const nlohmann::json &body, int status = 200)
{
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

inline void sendError(httplib::Response &res, int status, const std::string &message)
{
    send(res, nlohmann::json{{"result", false}, {"error", message}}, status);
}

// The request body as JSON; an empty body counts as {}. False (and a 400
// answer) when it is not JSON.
inline bool parseBody(const httplib::Request &req, httplib::Response &res, nlohmann::json &body)
{
    if (req.body.empty()) {
        body = nlohmann::json::object();
        return true;
    }
    body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded()) {
        sendError(res, 400, "body is not JSON");
        return false;
    }
    return true;
}

} // namespace varlosim
