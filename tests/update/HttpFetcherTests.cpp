#include "update/HttpFetcher.h"
#include "update/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using namespace HttpFetcherNS;
using lvtest::httpResponse;
using lvtest::LoopbackHttpServer;

namespace {

constexpr auto kPatience = 30s;

class CountingDelegate : public HttpRequestCallbackDelegate {
public:
    void responseReceived(HttpRequestInner* /*request*/, const char* body, std::uint32_t length) override
    {
        const std::lock_guard lock(m_lock);
        ++received;
        lastBody.assign(body, length);
        terminated = body[length] == '\0';
    }
    void requestFailed(HttpRequestInner* /*request*/) override
    {
        const std::lock_guard lock(m_lock);
        ++failed;
    }
    int received = 0;
    int failed = 0;
    std::string lastBody;
    bool terminated = false;
    std::mutex m_lock;
};

bool waitIdle(const HttpRequestInner& request)
{
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (request.isBusy()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::string urlOf(const LoopbackHttpServer& server, const std::string& path = "/")
{
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

} // namespace

TEST(HttpFetcher, SetupAndStartReturnCodes)
{
    HttpRequestInner request("Agent/1");
    CountingDelegate delegate;

    for (const char* url : {"", "not a url", "file:///etc/passwd", "ftp://127.0.0.1/", "http://", "127.0.0.1/x"}) {
        EXPECT_EQ(setupRequest(&request, url, true, ""), kSetupBadUrl) << url;
    }
    EXPECT_EQ(setupRequest(nullptr, "http://127.0.0.1/", true, ""), kSetupBusy);

    HttpFetcher fetcher;
    EXPECT_EQ(startRequest(nullptr, &request, &delegate), kStartMissing);
    EXPECT_EQ(startRequest(&fetcher, nullptr, &delegate), kStartMissing);

    // While a request runs it can be neither set up again nor started twice.
    LoopbackHttpServer silent("", LoopbackHttpServer::Mode::hang);
    ASSERT_EQ(setupRequest(&request, urlOf(silent), true, ""), kSetupOk);
    ASSERT_EQ(startRequest(&fetcher, &request, &delegate), kStartOk);
    EXPECT_EQ(setupRequest(&request, urlOf(silent), true, ""), kSetupBusy);
    EXPECT_EQ(startRequest(&fetcher, &request, &delegate), kStartMissing);
    ASSERT_TRUE(silent.waitForRequests(1, kPatience));
    stopAll(&fetcher);
    ASSERT_TRUE(waitIdle(request));
    EXPECT_EQ(delegate.received + delegate.failed, 0) << "a stopped request reported";

    // Once idle it is reusable: a POST without a content type sends the form type, and the body
    // reaches the delegate with a terminating zero.
    LoopbackHttpServer echo(httpResponse(200, "pong"));
    request.setBody("a=1&b=2");
    ASSERT_EQ(setupRequest(&request, urlOf(echo, "/post"), false, ""), kSetupOk);
    EXPECT_EQ(request.getUrl(), urlOf(echo, "/post"));
    ASSERT_EQ(startRequest(&fetcher, &request, &delegate), kStartOk);
    ASSERT_TRUE(waitIdle(request));
    EXPECT_EQ(delegate.received, 1);
    EXPECT_EQ(delegate.lastBody, "pong");
    EXPECT_TRUE(delegate.terminated);
    EXPECT_EQ(request.responseText(), "pong");
    ASSERT_EQ(echo.requests().size(), 1u);
    const std::string sent = echo.requests()[0];
    EXPECT_EQ(sent.rfind("POST /post HTTP/1.1\r\n", 0), 0u) << sent;
    EXPECT_NE(sent.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\nUser-Agent: Agent/1\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.size() - 7), "a=1&b=2");

    // The cleaner deletes finished threads on its own.
    EXPECT_TRUE([&] {
        const auto end = std::chrono::steady_clock::now() + kPatience;
        while (fetcher.threadCount() != 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(10ms);
        }
        return fetcher.threadCount() == 0;
    }());

    fetcher.shutdown();
    ASSERT_EQ(setupRequest(&request, urlOf(echo), true, ""), kSetupOk);
    EXPECT_EQ(startRequest(&fetcher, &request, &delegate), kStartShuttingDown);
    EXPECT_FALSE(request.isBusy());
}

TEST(HttpFetcher, SilentServerFailsAtTheTotalTimeout)
{
    LoopbackHttpServer silent("", LoopbackHttpServer::Mode::hang);
    HttpRequestInner request;
    request.setTimeouts(1'000, 200);
    CountingDelegate delegate;
    HttpFetcher fetcher;
    ASSERT_EQ(setupRequest(&request, urlOf(silent), true, ""), kSetupOk);
    ASSERT_EQ(startRequest(&fetcher, &request, &delegate), kStartOk);
    ASSERT_TRUE(waitIdle(request));
    EXPECT_EQ(delegate.failed, 1);
    EXPECT_EQ(delegate.received, 0);
}
