// The endpoint tables: every endpoint of the controller API (port 22000), of
// the file service (port 22001) and of the panel page (port 22080), each in
// one line or one short block.
#pragma once

namespace varlosim {

class DocumentStore;
class Robot;
class Routes;
class ScriptRunner;
class Services;

void installApiRoutes(Routes &routes, Robot &robot, DocumentStore &store, ScriptRunner &scripts, Services &services);
void installFileRoutes(Routes &routes, Robot &robot, DocumentStore &store);
void installPanelRoutes(Routes &routes, Robot &robot, DocumentStore &store, ScriptRunner &scripts);
// The pendant's buttons, control mode, power and simulated inputs, which the
// API and the panel page offer alike.
void installPendantRoutes(Routes &routes, Robot &robot);

} // namespace varlosim
