#ifndef PORTHOLDER_H
#define PORTHOLDER_H

#include <QtCore/QString>

// Who holds a local port, so that "the port is taken" can name the program
// that took it. Reads the system's socket tables (Linux: /proc/net and the
// processes' open files); an empty text when it cannot tell (another system,
// or a process of another user).
namespace PortHolder {

enum Protocol { Udp, Tcp };

// "varlo (pid 4242)", or empty.
QString describe(quint16 port, Protocol protocol);

// "UDP port 5000 is taken by varlo (pid 4242)", or "... is taken" when the
// holder cannot be told.
QString takenText(quint16 port, Protocol protocol);

} // namespace PortHolder

#endif // PORTHOLDER_H
