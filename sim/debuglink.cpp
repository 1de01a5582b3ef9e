#include "debuglink.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varlosim {

namespace {

constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxPayload = 64 * 1024;

bool toAddress(const std::string &text, int port, sockaddr_in &address)
{
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
}

} // namespace

bool DebugLink::connect(const std::string &from, const std::string &host, int timeoutMs, std::string &reason)
{
    close();
    sockaddr_in local{}, server{};
    if (!toAddress(from, 0, local) || !toAddress(host, kPort, server)) {
        reason = "no IPv4 address";
        return false;
    }
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // From the controller's own address: the server takes no one else.
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        reason = std::strerror(errno);
        close();
        return false;
    }
    int error = 0;
    if (::connect(m_socket, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd waiting{m_socket, POLLOUT, 0};
            socklen_t size = sizeof error;
            if (::poll(&waiting, 1, timeoutMs) <= 0)
                error = ETIMEDOUT;
            else
                ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size);
        }
    }
    if (error != 0) {
        reason = error == ECONNREFUSED ? "connection refused" : std::strerror(error);
        close();
        return false;
    }
    m_buffer.clear();
    // The server greets back; one that does not (it takes debuggees from
    // another controller only) refuses this one.
    Command greeting;
    if (!send("hello varlo-debug 1\n") || !receive(greeting, timeoutMs) || greeting.word != "hello") {
        reason = "connection refused";
        close();
        return false;
    }
    return true;
}

void DebugLink::close()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

bool DebugLink::send(const std::string &text)
{
    std::size_t sent = 0;
    while (m_socket >= 0 && sent < text.size()) {
        const ssize_t n = ::send(m_socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd waiting{m_socket, POLLOUT, 0};
            if (::poll(&waiting, 1, 1000) <= 0)
                close();
        } else {
            close();
        }
    }
    return isOpen();
}

void DebugLink::sendPaused(int line, const std::string &file)
{
    send("paused " + std::to_string(line) + " " + file + "\n");
}

void DebugLink::sendAnswer(bool ok, const std::string &payload)
{
    send((ok ? "ok " : "error ") + std::to_string(payload.size()) + "\n" + payload);
}

bool DebugLink::takeCommand(Command &command)
{
    const std::size_t end = m_buffer.find('\n');
    if (end == std::string::npos) {
        if (m_buffer.size() > kMaxLine)
            close();
        return false;
    }
    const std::string line = m_buffer.substr(0, end);
    const std::size_t space = line.find(' ');
    command.word = line.substr(0, space);
    command.arguments = space == std::string::npos ? std::string() : line.substr(space + 1);
    command.payload.clear();
    std::size_t used = end + 1;
    if (command.word == "eval" || command.word == "exec") {
        const std::size_t length = std::strtoul(command.arguments.c_str(), nullptr, 10);
        if (length > kMaxPayload) {
            close();
            return false;
        }
        if (m_buffer.size() < used + length)
            return false; // the code is still on its way
        command.payload = m_buffer.substr(used, length);
        used += length;
    }
    m_buffer.erase(0, used);
    return true;
}

bool DebugLink::receive(Command &command, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (isOpen()) {
        if (takeCommand(command))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count()))) <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (n > 0)
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            close();
    }
    return false;
}

} // namespace varlosim
