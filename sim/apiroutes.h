// The endpoint tables: every endpoint of the controller API (port 22000) and
// of the file service (port 22001), each in one line or one short block.
#pragma once

namespace varlosim {

class DocumentStore;
class Robot;
class Routes;
class ScriptRunner;
class Services;

void installApiRoutes(Routes &routes, Robot &robot, DocumentStore &store, ScriptRunner &scripts, Services &services);
void installFileRoutes(Routes &routes, Robot &robot, DocumentStore &store);

} // namespace varlosim
