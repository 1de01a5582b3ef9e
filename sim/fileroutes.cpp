// The file service on port 22001: the settings documents read and written
// whole, by file name.
#include "apiroutes.h"

#include "documentstore.h"
#include "log.h"
#include "robot.h"
#include "routes.h"

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
    case DocumentStore::Status::TooDeep: return 400;
    case DocumentStore::Status::IoError: return 500;
    case DocumentStore::Status::Damaged: return 500;
    }
    return 500;
}

Reply refuse(DocumentStore::Status status, const std::string &name)
{
    logVerbose(std::string("file service refused \"") + name + "\": " + DocumentStore::describe(status));
    return Reply::error(httpStatusOf(status), DocumentStore::describe(status));
}

} // namespace

void installFileRoutes(Routes &files, Robot &robot, DocumentStore &store)
{
    Robot *r = &robot;
    DocumentStore *docs = &store;
    // The names are checked by the store; the patterns only split the path.
    files.getPattern(R"(/file/read/(.*))", [docs](const Request &q) {
        std::string body;
        const auto status = docs->readFile(q.matches[0], body);
        return status == DocumentStore::Status::Ok ? Reply::raw(body) : refuse(status, q.matches[0]);
    });
    files.postRawPattern(R"(/file/write/(.*))", [r, docs](const Request &q) {
        const auto status = docs->writeFile(q.matches[0], q.text);
        if (status != DocumentStore::Status::Ok)
            return refuse(status, q.matches[0]);
        r->reloadSettings();
        return Reply(nlohmann::json{{"result", true}});
    });
}

} // namespace varlosim
