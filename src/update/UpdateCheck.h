#pragma once

// The start-up update check: asks the update server whether a newer version exists and tells a
// listener when one does. No window code: the main window owns an UpdateChecker, implements
// UpdateListener, and turns the report into its update-available message.
//
// Threading contract: start(), stop() and destruction belong to one thread (the window's). The
// listener is called on the request thread, at most once per start(), and never after stop() or
// the destructor has returned.

#include "update/HttpFetcher.h"
#include "update/HttpRequestInner.h"

#include <optional>
#include <string>
#include <string_view>

namespace lvupdate {

// The update server's port and the path and query of the version question.
inline constexpr long kUpdatePort = 8888;
inline constexpr std::string_view kCheckPath = "/check_toolbox_version?ver=";
inline constexpr std::string_view kUserAgentPrefix = "LirvaneToolBox/";
// Names the update server's host at run time, overriding the build's choice; set but empty, it
// turns the check off.
inline constexpr const char* kHostVariable = "LVTB_UPDATE_HOST";

struct UpdateCheckSettings {
    std::string host;    // the update server; empty: no request at all
    long port = kUpdatePort;
    std::string version; // the program's version, sent in the query and the user agent
    long connectTimeoutMs = HttpFetcherNS::HttpRequestInner::kDefaultConnectTimeoutMs;
    long totalTimeoutMs = HttpFetcherNS::HttpRequestInner::kDefaultTotalTimeoutMs;
};

// The host named by LVTB_UPDATE_HOST when it is set, else the one chosen when building (the
// LV_UPDATE_HOST option, empty unless given).
std::string configuredUpdateHost();

// Settings for the program's own check: the configured host, port 8888, default timeouts.
UpdateCheckSettings defaultUpdateCheckSettings(std::string version);

// "http://" + host + ":" + port + the check path + the version (percent-encoded where needed).
// Empty when host is not a plain host name, IPv4 address or bracketed IPv6 address.
std::string updateCheckUrl(const UpdateCheckSettings& settings);

struct UpdateInfo {
    std::string latestVersion; // UTF-8, as the server sent it
    std::string downloadUrl;   // UTF-8; empty when the answer names none
};

// Reads the server's answer: a JSON object whose "update" is a string names an update; its
// "updateUrl", when a string, is the download address. Anything else (not JSON, not an object,
// "update" null, absent or not a string) is no update.
std::optional<UpdateInfo> parseUpdateResponse(std::string_view body);

class UpdateListener {
public:
    virtual ~UpdateListener() = default;
    // Runs on the request thread: copy the texts and hand them to the window thread.
    virtual void updateAvailable(const std::string& latestVersion, const std::string& downloadUrl) = 0;
};

enum class UpdateCheckStart {
    started,
    noHost,     // the host setting is empty: nothing was sent
    busy,       // the previous check still runs
    badAddress, // the host does not make an http URL
    refused,    // the fetcher shuts down or no thread could be made
};

class UpdateChecker final : private HttpFetcherNS::HttpRequestCallbackDelegate {
public:
    explicit UpdateChecker(UpdateListener& listener);
    // Stops a running check and waits for its thread (which ends at once), without a report.
    ~UpdateChecker() override;
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    UpdateCheckStart start(const UpdateCheckSettings& settings);
    // Stops a running check; no report follows. Returns without waiting for the thread.
    void stop();
    // True from start() until the check has ended (and reported, if it does).
    bool isRunning() const { return request.isBusy(); }

private:
    void responseReceived(HttpFetcherNS::HttpRequestInner* from, const char* body, std::uint32_t length) override;
    void requestFailed(HttpFetcherNS::HttpRequestInner* from) override;

    UpdateListener& listener;
    HttpFetcherNS::HttpRequestInner request;
    // Declared after the request: destroyed first, so its threads are gone before the request is.
    HttpFetcherNS::HttpFetcher fetcher;
};

} // namespace lvupdate
