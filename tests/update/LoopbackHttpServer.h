#pragma once

// A one-thread HTTP server on 127.0.0.1 for the update tests. It answers every request with one
// fixed byte string, or (hanging) reads the request and never answers while holding the
// connection open. Connections are served one after the other.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace lvtest {

class LoopbackHttpServer {
public:
    enum class Mode { answer, hang };

    explicit LoopbackHttpServer(std::string response, Mode mode = Mode::answer);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return m_port; }
    // Every request received so far: head and body as sent.
    std::vector<std::string> requests() const;
    // Waits (at most limit) until n requests have arrived.
    bool waitForRequests(std::size_t n, std::chrono::milliseconds limit) const;

private:
    void serve();
    bool readRequest(int fd, std::string& request);
    void sendAll(int fd, std::string_view bytes);
    bool waitReadable(int fd);

    std::string m_response;
    Mode m_mode;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::vector<int> m_held; // hanging connections, closed at the end
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A complete response: status line, Content-Length (unless closeDelimited: the body then ends when
// the connection closes), "Connection: close", and the body.
std::string httpResponse(int status, std::string_view body, bool closeDelimited = false);

} // namespace lvtest
