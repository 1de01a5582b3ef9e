#include "apiserver.h"

#include "documentstore.h"
#include "log.h"
#include "robot.h"

#include <httplib.h>

using nlohmann::json;

namespace varlosim {

namespace {

int httpStatusOf(DocumentStore::Status status)
{
    switch (status) {
    case DocumentStore::Status::Ok: return 200;
    case DocumentStore::Status::BadName: return 400;
    case DocumentStore::Status::OutsideFolder: return 403;
    case DocumentStore::Status::NotJson: return 400;
    case DocumentStore::Status::TooLarge: return 413;
    case DocumentStore::Status::KindMismatch: return 409;
    case DocumentStore::Status::IoError: return 500;
    }
    return 500;
}

void refuse(httplib::Response &res, DocumentStore::Status status, const std::string &name)
{
    res.status = httpStatusOf(status);
    res.set_content(json{{"result", false}, {"error", DocumentStore::describe(status)}}.dump(), "application/json");
    logVerbose(std::string("file service refused \"") + name + "\": " + DocumentStore::describe(status));
}

} // namespace

void installFileRoutes(httplib::Server &server, Robot &robot, DocumentStore &store)
{
    Robot *r = &robot;
    DocumentStore *docs = &store;
    // The names are checked by the store; the patterns only split the path.
    server.Get(R"(/file/read/(.*))", [docs](const httplib::Request &req, httplib::Response &res) {
        const std::string name = req.matches[1];
        std::string body;
        const auto status = docs->readFile(name, body);
        if (status != DocumentStore::Status::Ok) {
            refuse(res, status, name);
            return;
        }
        res.set_content(body, "application/json");
    });
    server.Post(R"(/file/write/(.*))", [r, docs](const httplib::Request &req, httplib::Response &res) {
        const std::string name = req.matches[1];
        const auto status = docs->writeFile(name, req.body);
        if (status != DocumentStore::Status::Ok) {
            refuse(res, status, name);
            return;
        }
        r->reloadSettings();
        res.set_content(json{{"result", true}}.dump(), "application/json");
    });
}

} // namespace varlosim
