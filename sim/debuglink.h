// The debuggee's end of Varlo's debug protocol: a TCP connection from the
// controller to the host's debug server (the Lua module `mobdebug`), which
// sends commands, one a line, and reads the script's pauses and answers.
// sim/README.md describes the protocol.
#pragma once

#include <string>

namespace varlosim {

class DebugLink
{
public:
    static constexpr int kPort = 8172;

    struct Command
    {
        std::string word;      // run, step, over, suspend, setb, delb, delallb, eval, exec, stack
        std::string arguments; // the rest of the line
        std::string payload;   // the code of eval and exec
    };

    DebugLink() = default;
    ~DebugLink() { close(); }
    DebugLink(const DebugLink &) = delete;
    DebugLink &operator=(const DebugLink &) = delete;

    // Connects from the address `from` to the server on `host` within
    // `timeoutMs`, and greets it. False with the reason ("connection
    // refused", ...) when there is none.
    bool connect(const std::string &from, const std::string &host, int timeoutMs, std::string &reason);
    bool isOpen() const { return m_socket >= 0; }
    void close();

    // The next command, waiting up to `timeoutMs` (0: only what has arrived).
    // False when none came; the link is closed when the server went away or
    // broke the protocol.
    bool receive(Command &command, int timeoutMs);

    void sendPaused(int line, const std::string &file);
    void sendAnswer(bool ok, const std::string &payload);

private:
    bool send(const std::string &text);
    bool takeCommand(Command &command);

    int m_socket = -1;
    std::string m_buffer;
};

} // namespace varlosim
