#pragma once

// One reusable HTTP request of the update check (HttpRequestInner), the interface that receives its
// result (HttpRequestCallbackDelegate), and setting a request up.
//
// Threading contract: the owner's thread sets a request up and starts it (HttpFetcher.h); from then
// until isBusy() turns false the request belongs to its request thread, and setting it up again is
// refused. The response buffer has its own lock. The owner destroys a request only after the fetcher
// that ran it has been shut down (or the request is no longer busy).

#include "core/MemoryStream.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace HttpFetcherNS {

class HttpRequestInner;

// Results of setupRequest().
inline constexpr int kSetupOk = 0;
inline constexpr int kSetupBusy = -1;
inline constexpr int kSetupBadUrl = -2;
inline constexpr int kSetupBadMethod = -3;

// Sent when no content type is given for a POST.
inline constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";

class HttpRequestCallbackDelegate {
public:
    virtual ~HttpRequestCallbackDelegate() = default;
    // Runs on the request thread. body holds length bytes followed by a zero byte; it is valid
    // only during the call. Handlers stay short (parse, copy, post) and never wait for the window.
    virtual void responseReceived(HttpRequestInner* request, const char* body, std::uint32_t length) = 0;
    // Runs on the request thread: no connection, an error status, a timeout, an empty or
    // oversized body.
    virtual void requestFailed(HttpRequestInner* request) = 0;
};

class HttpRequestInner {
public:
    // A body larger than this is dropped and the request counts as failed [bytes].
    static constexpr std::uint32_t kMaxResponseBytes = 64 * 1024;
    static constexpr long kDefaultConnectTimeoutMs = 10'000;
    static constexpr long kDefaultTotalTimeoutMs = 30'000;

    explicit HttpRequestInner(std::string userAgent = {});
    ~HttpRequestInner();
    HttpRequestInner(const HttpRequestInner&) = delete;
    HttpRequestInner& operator=(const HttpRequestInner&) = delete;

    // These change the next setup; they have no effect on a request already set up.
    void setUserAgent(std::string text) { userAgent = std::move(text); }
    void setBody(std::string_view bytes);
    // Connecting, and the whole request from start to last byte [ms]; values below 1 are raised to 1.
    void setTimeouts(long connectMs, long totalMs);

    const std::string& getUserAgent() const { return userAgent; }
    // The URL of the last successful setup.
    const std::string& getUrl() const { return url; }
    bool isBusy() const { return busy.load(std::memory_order_acquire); }
    // A copy of the last response body (empty while none was received).
    std::string responseText() const;

private:
    friend int setupRequest(HttpRequestInner* request, const std::string& url, bool isGet,
                            const std::string& contentType);
    friend class HttpThread;
    friend class HttpFetcher;

    struct Library; // the library's request object and its header list
    void* libraryRequest() const; // the library's request object (CURL*), null if it could not be made
    std::unique_ptr<Library> library;
    Tessarin::CMemoryBuffer body;
    Tessarin::CMemoryBuffer response; // guarded by responseLock
    mutable std::mutex responseLock;
    std::string userAgent;
    std::string contentType;
    std::string url;
    std::atomic<bool> busy{false};
    long connectTimeoutMs = kDefaultConnectTimeoutMs;
    long totalTimeoutMs = kDefaultTotalTimeoutMs;

    static std::size_t receive(char* data, std::size_t size, std::size_t count, void* self);
};

// Prepares request for url (http or https only) with GET (isGet) or POST. The User-Agent header is
// always the request's user agent; a content type, when given, is sent as Content-Type, and a POST
// without one sends kFormContentType. Returns kSetupOk; kSetupBusy while the request runs (or when
// request is null); kSetupBadUrl for a URL that is not an http(s) URL with a host; kSetupBadMethod
// when the library refuses the method.
int setupRequest(HttpRequestInner* request, const std::string& url, bool isGet, const std::string& contentType);

} // namespace HttpFetcherNS
