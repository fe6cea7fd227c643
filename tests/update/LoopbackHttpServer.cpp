#include "update/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace lvtest {

namespace {

// Requests larger than this are not ours; reading stops there [bytes].
constexpr std::size_t kMaxRequestBytes = 1 << 20;

std::size_t contentLength(std::string_view head)
{
    const std::string_view key = "\r\nContent-Length:";
    for (std::size_t at = 0; at + key.size() <= head.size(); ++at) {
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(head[at + i])) ==
                   std::tolower(static_cast<unsigned char>(key[i]));
        }
        if (same) {
            return std::stoul(std::string(head.substr(at + key.size(), 20)));
        }
    }
    return 0;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(std::string response, Mode mode) : m_response(std::move(response)), m_mode(mode)
{
    if (::pipe(m_wake) != 0) {
        throw std::runtime_error("pipe");
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listen, 8) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    const char byte = 1;
    (void)!::write(m_wake[1], &byte, 1);
    m_thread.join();
    for (const int fd : m_held) {
        ::close(fd);
    }
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::vector<std::string> LoopbackHttpServer::requests() const
{
    const std::lock_guard lock(m_lock);
    return m_requests;
}

bool LoopbackHttpServer::waitForRequests(std::size_t n, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_lock);
    return m_arrived.wait_for(lock, limit, [&] { return m_requests.size() >= n; });
}

// Waits until fd can be read; false when the server is told to end.
bool LoopbackHttpServer::waitReadable(int fd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0 && (fds[1].revents & POLLIN) == 0;
    }
}

bool LoopbackHttpServer::readRequest(int fd, std::string& request)
{
    std::size_t needed = std::string::npos;
    char chunk[4096];
    while (request.size() < kMaxRequestBytes) {
        if (needed == std::string::npos) {
            const std::size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos) {
                needed = end + 4 + contentLength(std::string_view(request).substr(0, end + 2));
            }
        }
        if (needed != std::string::npos && request.size() >= needed) {
            return true;
        }
        if (!waitReadable(fd)) {
            return false;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            return false;
        }
        request.append(chunk, static_cast<std::size_t>(n));
    }
    return false;
}

void LoopbackHttpServer::sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        // MSG_NOSIGNAL: a client that hangs up early (as it should for a huge body) ends the
        // send with EPIPE instead of killing the test with SIGPIPE.
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void LoopbackHttpServer::serve()
{
    for (;;) {
        if (!waitReadable(m_listen)) {
            return;
        }
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // A client that stops reading without hanging up must not stall the server for good.
        const timeval sendLimit{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof(sendLimit));
        std::string request;
        const bool complete = readRequest(fd, request);
        {
            const std::lock_guard lock(m_lock);
            m_requests.push_back(request);
        }
        m_arrived.notify_all();
        if (complete && m_mode == Mode::answer) {
            sendAll(fd, m_response);
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
        } else {
            m_held.push_back(fd);
        }
    }
}

std::string httpResponse(int status, std::string_view body, bool closeDelimited)
{
    std::string text = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") + "\r\n";
    text += "Content-Type: application/json\r\n";
    if (!closeDelimited) {
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    text += "Connection: close\r\n\r\n";
    text += body;
    return text;
}

} // namespace lvtest
