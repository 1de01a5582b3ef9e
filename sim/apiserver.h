// The controller API on port 22000 and the file service on port 22001.
#pragma once

namespace httplib { class Server; }

namespace varlosim {

class DocumentStore;
class Robot;
class ScriptRunner;

void installApiRoutes(httplib::Server &server, Robot &robot, DocumentStore &store, ScriptRunner &scripts);
void installFileRoutes(httplib::Server &server, Robot &robot, DocumentStore &store);

// Logging, error bodies and limits that both servers share.
void configureServer(httplib::Server &server, const char *name, unsigned long maxBody);

} // namespace varlosim
