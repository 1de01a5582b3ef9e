// Endpoints of the controller's process and maintenance services that keep a
// little state of their own: force sensor readings, conveyor encoders,
// trajectory replay in debug mode, multi-robot calibration, the mounting
// computation, trajectory checks, the vision system, operating time.
#pragma once

namespace httplib { class Server; }

namespace varlosim {

class DocumentStore;
class Robot;

void installServiceRoutes(httplib::Server &server, Robot &robot, DocumentStore &store);

} // namespace varlosim
