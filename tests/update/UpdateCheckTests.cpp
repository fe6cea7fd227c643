#include "update/LoopbackHttpServer.h"
#include "update/UpdateCheck.h"
#include "update/UpdateTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using lvtest::httpResponse;
using lvtest::LoopbackHttpServer;

namespace {

constexpr const char* kVersion = "beta_1.1.6";
// Generous: a loaded machine under ThreadSanitizer may be slow, but a working request takes
// milliseconds. Only a wait that never ends fails.
constexpr auto kPatience = 30s;

struct Report {
    std::string latest;
    std::string url;
};

class RecordingListener : public lvupdate::UpdateListener {
public:
    void updateAvailable(const std::string& latestVersion, const std::string& downloadUrl) override
    {
        const std::lock_guard lock(m_lock);
        m_reports.push_back({latestVersion, downloadUrl});
    }
    std::vector<Report> reports() const
    {
        const std::lock_guard lock(m_lock);
        return m_reports;
    }

private:
    mutable std::mutex m_lock;
    std::vector<Report> m_reports;
};

template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = kPatience)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

lvupdate::UpdateCheckSettings settingsFor(const LoopbackHttpServer& server)
{
    lvupdate::UpdateCheckSettings settings;
    settings.host = "127.0.0.1";
    settings.port = server.port();
    settings.version = kVersion;
    return settings;
}

// Runs one check against a server that answers with response; returns what was reported and
// checks the request the server saw.
std::vector<Report> checkAgainst(const std::string& response)
{
    LoopbackHttpServer server(response);
    RecordingListener listener;
    {
        lvupdate::UpdateChecker checker(listener);
        EXPECT_EQ(checker.start(settingsFor(server)), lvupdate::UpdateCheckStart::started);
        EXPECT_TRUE(waitUntil([&] { return !checker.isRunning(); })) << "the check never ended";
    }
    const std::vector<std::string> requests = server.requests();
    EXPECT_EQ(requests.size(), 1u);
    if (!requests.empty()) {
        EXPECT_EQ(requests[0].rfind("GET /check_toolbox_version?ver=beta_1.1.6 HTTP/1.1\r\n", 0), 0u) << requests[0];
        EXPECT_NE(requests[0].find("\r\nUser-Agent: LirvaneToolBox/beta_1.1.6\r\n"), std::string::npos) << requests[0];
    }
    return listener.reports();
}

std::string paddedAnswer(std::size_t bodyBytes)
{
    // {"update":"beta_9","pad":"xxx…"}: a valid answer naming an update, of exactly bodyBytes.
    const std::string head = R"({"update":"beta_9","pad":")";
    const std::string tail = R"("})";
    return head + std::string(bodyBytes - head.size() - tail.size(), 'x') + tail;
}

} // namespace

TEST(UpdateCheck, ReportsOnlyAnAnswerThatNamesAnUpdate)
{
    {
        const auto reports = checkAgainst(
            httpResponse(200, R"({"update":"beta_1.2.0","updateUrl":"https://example.com/lirvane"})"));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].latest, "beta_1.2.0");
        EXPECT_EQ(reports[0].url, "https://example.com/lirvane");
    }
    {
        // "update" without "updateUrl": the dialog shows an empty address.
        const auto reports = checkAgainst(httpResponse(200, R"({"update":"beta_1.2.0"})"));
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].latest, "beta_1.2.0");
        EXPECT_EQ(reports[0].url, "");
        EXPECT_EQ(lvupdate::updateDialogText(kVersion, reports[0].latest, reports[0].url),
                  "LirvaneToolBox Update!\r\nCurrent ver:beta_1.1.6\r\nLatest ver:beta_1.2.0\r\n\r\n"
                  "Download url:\r\nClick the button and download it~");
        EXPECT_EQ(lvupdate::updateDialogCaption(), "LirvaneToolBox Update ^_^");
    }

    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    const std::pair<const char*, std::string> noUpdate[] = {
        {"update null", httpResponse(200, R"({"update":null,"updateUrl":"https://example.com/"})")},
        {"update absent", httpResponse(200, R"({"updateUrl":"https://example.com/"})")},
        {"update not a text", httpResponse(200, R"({"update":{"ver":"beta_2"}})")},
        {"not JSON", httpResponse(200, "<html>update beta_2</html>")},
        {"not an object", httpResponse(200, R"(["update","beta_2"])")},
        {"nested too deep for the reader", httpResponse(200, deep)},
        {"empty body", httpResponse(200, "")},
        // An error page never names an update, whatever it holds.
        {"404", httpResponse(404, R"({"update":"beta_2"})")},
        {"500", httpResponse(500, R"({"update":"beta_2"})")},
    };
    for (const auto& [what, response] : noUpdate) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(checkAgainst(response).empty());
    }
}

TEST(UpdateCheck, AnswersLargerThan64KiBAreDropped)
{
    constexpr std::size_t kLimit = 64 * 1024;
    // The limit itself still passes, announced or not.
    EXPECT_EQ(checkAgainst(httpResponse(200, paddedAnswer(kLimit), true)).size(), 1u);
    EXPECT_EQ(checkAgainst(httpResponse(200, paddedAnswer(kLimit))).size(), 1u);
    // One byte more is refused, both when its length is announced and when it only shows while
    // reading; so is a 10 MB answer.
    EXPECT_TRUE(checkAgainst(httpResponse(200, paddedAnswer(kLimit + 1))).empty());
    EXPECT_TRUE(checkAgainst(httpResponse(200, paddedAnswer(kLimit + 1), true)).empty());
    EXPECT_TRUE(checkAgainst(httpResponse(200, paddedAnswer(10 << 20), true)).empty());
}

TEST(UpdateCheck, ClosingWhileTheServerNeverAnswersEndsAtOnceWithoutAReport)
{
    // The request's own timeouts are far beyond the wait below: only the stop can end it.
    for (const bool stopFirst : {true, false}) {
        SCOPED_TRACE(stopFirst ? "stop, then destroy" : "destroy only");
        LoopbackHttpServer server("", LoopbackHttpServer::Mode::hang);
        RecordingListener listener;
        auto checker = std::make_unique<lvupdate::UpdateChecker>(listener);
        lvupdate::UpdateCheckSettings settings = settingsFor(server);
        settings.connectTimeoutMs = 600'000;
        settings.totalTimeoutMs = 600'000;
        ASSERT_EQ(checker->start(settings), lvupdate::UpdateCheckStart::started);
        ASSERT_TRUE(server.waitForRequests(1, kPatience));
        // Past the library's own timer of the connect phase (200 ms), the request waits for the
        // answer until its total timeout: from then on only the stop's wake-up can end the wait.
        std::this_thread::sleep_for(600ms);

        auto closing = std::async(std::launch::async, [&] {
            if (stopFirst) {
                checker->stop();
                EXPECT_TRUE(waitUntil([&] { return !checker->isRunning(); }));
            }
            checker.reset();
        });
        ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready) << "closing waited for the server";
        EXPECT_TRUE(listener.reports().empty());
    }
}

TEST(UpdateCheck, NoRequestWithoutAHost)
{
    LoopbackHttpServer server(httpResponse(200, R"({"update":"beta_2"})"));
    RecordingListener listener;
    lvupdate::UpdateChecker checker(listener);

    ASSERT_EQ(::setenv(lvupdate::kHostVariable, "", 1), 0);
    EXPECT_EQ(lvupdate::configuredUpdateHost(), "");
    lvupdate::UpdateCheckSettings settings = lvupdate::defaultUpdateCheckSettings(kVersion);
    settings.port = server.port();
    EXPECT_EQ(checker.start(settings), lvupdate::UpdateCheckStart::noHost);
    EXPECT_FALSE(checker.isRunning());

    // A host that is more than a host would redirect the question elsewhere.
    for (const char* host : {"127.0.0.1/x?", "user@127.0.0.1", "127.0.0.1:80", "local host"}) {
        settings.host = host;
        EXPECT_EQ(checker.start(settings), lvupdate::UpdateCheckStart::badAddress) << host;
    }

    ASSERT_EQ(::setenv(lvupdate::kHostVariable, "127.0.0.1", 1), 0);
    settings = lvupdate::defaultUpdateCheckSettings(kVersion);
    EXPECT_EQ(lvupdate::updateCheckUrl(settings), "http://127.0.0.1:8888/check_toolbox_version?ver=beta_1.1.6");
    ::unsetenv(lvupdate::kHostVariable);

    EXPECT_TRUE(listener.reports().empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST(UpdateTexts, OnlyHttpAndHttpsAddressesMayOpen)
{
    for (const char* address : {"http://example.com/download", "https://example.com/a?b=c#d", "HTTPS://Example.com",
                                "http://127.0.0.1:8080/", "https://例え.jp/ダウンロード"}) {
        EXPECT_TRUE(lvupdate::mayOpenInBrowser(address)) << address;
    }
    for (const char* address :
         {"", "file:///etc/passwd", "FILE:///home", "javascript:alert(1)", "JavaScript://%0aalert(1)",
          "data:text/html,<script>alert(1)</script>", "ftp://example.com/", "example.com/download",
          "//example.com/", "http://", "https://", "http:///path", " http://example.com/",
          "http://example.com/a b", "http://example.com/\n", "http:\\\\example.com\\x",
          // Parsers differ on a backslash: the HTTP library reads the host evil.com, browsers example.com.
          "http://example.com\\@evil.com/", "mailto:a@example.com"}) {
        EXPECT_FALSE(lvupdate::mayOpenInBrowser(address)) << address;
    }
}
