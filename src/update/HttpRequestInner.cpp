#include "update/HttpRequestInner.h"

#include "update/CurlGlobal.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace HttpFetcherNS {

struct HttpRequestInner::Library {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;

    ~Library()
    {
        curl_slist_free_all(headers);
        if (easy != nullptr) {
            curl_easy_cleanup(easy);
        }
    }
};

namespace {

// An absolute http or https URL with a host. The library's own parser decides, so that what we
// accept is exactly what it will request.
bool isHttpUrl(const std::string& text)
{
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return false;
    }
    bool ok = false;
    if (curl_url_set(parsed, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            ok = (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0) && host[0] != '\0';
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(parsed);
    return ok;
}

} // namespace

HttpRequestInner::HttpRequestInner(std::string userAgent) : library(std::make_unique<Library>()), userAgent(std::move(userAgent))
{
    ensureCurlInitialised();
    library->easy = curl_easy_init();
}

HttpRequestInner::~HttpRequestInner() = default;

void* HttpRequestInner::libraryRequest() const
{
    return library->easy;
}

void HttpRequestInner::setBody(std::string_view bytes)
{
    body.clear();
    body.append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

void HttpRequestInner::setTimeouts(long connectMs, long totalMs)
{
    connectTimeoutMs = std::max(connectMs, 1L);
    totalTimeoutMs = std::max(totalMs, 1L);
}

std::string HttpRequestInner::responseText() const
{
    const std::lock_guard lock(responseLock);
    // The buffer ends in the zero byte added after the body.
    return response.size() == 0 ? std::string() : std::string(response.data(), response.size() - 1);
}

std::size_t HttpRequestInner::receive(char* data, std::size_t size, std::size_t count, void* self)
{
    auto* request = static_cast<HttpRequestInner*>(self);
    const std::size_t n = size * count;
    const std::lock_guard lock(request->responseLock);
    if (n > kMaxResponseBytes - request->response.size()) {
        return CURL_WRITEFUNC_ERROR; // ends the transfer with an error
    }
    request->response.append(data, static_cast<std::uint32_t>(n));
    return n;
}

int setupRequest(HttpRequestInner* request, const std::string& url, bool isGet, const std::string& contentType)
{
    if (request == nullptr || request->isBusy()) {
        return kSetupBusy;
    }
    CURL* easy = request->library->easy;
    if (easy == nullptr || !isHttpUrl(url)) {
        return kSetupBadUrl;
    }
    curl_easy_reset(easy);
    if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK) {
        return kSetupBadUrl;
    }
    const CURLcode method = isGet ? curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) : curl_easy_setopt(easy, CURLOPT_POST, 1L);
    if (method != CURLE_OK) {
        return kSetupBadMethod;
    }
    if (!isGet) {
        // Copied now, so the body may change while the request runs.
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request->body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request->body.size() > 0 ? request->body.data() : "");
    }

    request->contentType = (contentType.empty() && !isGet) ? std::string(kFormContentType) : contentType;
    curl_slist_free_all(request->library->headers);
    request->library->headers = nullptr;
    if (!request->contentType.empty()) {
        const std::string line = "Content-Type: " + request->contentType;
        request->library->headers = curl_slist_append(nullptr, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request->library->headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request->userAgent.c_str());

    // Only http and https, also after a redirect (redirects are not followed anyway).
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Request threads must never receive SIGALRM/SIGPIPE from the library.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request->connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, request->totalTimeoutMs);
    // A body announced as too large is refused before it is read; one that only turns out too large
    // is cut off by receive().
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(HttpRequestInner::kMaxResponseBytes));
    // One request per connection: nothing stays open after a check.
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    // A stopped request must not wait for a host-name lookup that is still running.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpRequestInner::receive);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, request);

    request->url = url;
    return kSetupOk;
}

} // namespace HttpFetcherNS
