#include "update/HttpFetcher.h"

#include "update/CurlGlobal.h"

#include <curl/curl.h>

#include <chrono>

namespace HttpFetcherNS {

namespace {

// The longest single wait for the network [ms]. The library shortens it to its own next timeout
// (connect, total) and a stop wakes it at once, so this bound is only a backstop.
constexpr int kPollCapMs = 60'000;

} // namespace

// ---------------------------------------------------------------------------------------------
// HttpThread

HttpThread::HttpThread(HttpRequestInner* request, HttpRequestCallbackDelegate* delegate)
    : CThread("lv-http-request"), request(request), delegate(delegate)
{
    ensureCurlInitialised();
    multi = curl_multi_init();
}

HttpThread::~HttpThread()
{
    join();
    if (multi != nullptr) {
        curl_multi_cleanup(static_cast<CURLM*>(multi));
    }
}

void HttpThread::run()
{
    auto* m = static_cast<CURLM*>(multi);
    CURL* easy = static_cast<CURL*>(request->libraryRequest());
    {
        const std::lock_guard lock(request->responseLock);
        request->response.clear();
    }

    bool done = false;
    long status = 0;
    if (m != nullptr && easy != nullptr && curl_multi_add_handle(m, easy) == CURLM_OK) {
        while (!isStopRequested()) {
            int active = 0;
            if (curl_multi_perform(m, &active) != CURLM_OK) {
                break;
            }
            if (active == 0) {
                int left = 0;
                while (CURLMsg* message = curl_multi_info_read(m, &left)) {
                    if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                        done = message->data.result == CURLE_OK;
                    }
                }
                if (done) {
                    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
                }
                break;
            }
            // Sleeps until the socket is ready, the library's next timeout, or a stop's wake-up.
            if (curl_multi_poll(m, nullptr, 0, kPollCapMs, nullptr) != CURLM_OK) {
                break;
            }
        }
        // Closes the connection of an unfinished transfer.
        curl_multi_remove_handle(m, easy);
    }

    report(done, status);
    // The last touch of the request: from here on its owner may set it up again.
    request->busy.store(false, std::memory_order_release);
}

void HttpThread::report(bool done, long status)
{
    const std::lock_guard lock(reportLock);
    if (isStopRequested()) {
        return;
    }
    // Only a successful answer carries a version; an error page is no answer.
    const bool answered = done && status >= 200 && status < 300;
    std::uint32_t length = 0;
    {
        const std::lock_guard responseGuard(request->responseLock);
        if (answered && request->response.size() > 0) {
            length = request->response.size();
            const char zero = '\0';
            request->response.append(&zero, 1);
        } else {
            request->response.clear();
        }
    }
    if (delegate == nullptr) {
        return;
    }
    // No other thread writes the response while the request is busy, so the delegate reads it
    // without the lock (and may call responseText() itself).
    if (length > 0) {
        delegate->responseReceived(request, request->response.data(), length);
    } else {
        delegate->requestFailed(request);
    }
}

void HttpThread::requestStop()
{
    const std::lock_guard lock(reportLock);
    CThread::requestStop();
    if (multi != nullptr) {
        curl_multi_wakeup(static_cast<CURLM*>(multi));
    }
}

// ---------------------------------------------------------------------------------------------
// HttpCleanerThread

HttpCleanerThread::HttpCleanerThread(HttpFetcher* fetcher) : CThread("lv-http-cleaner"), fetcher(fetcher) {}

HttpCleanerThread::~HttpCleanerThread()
{
    requestStop();
    join();
}

void HttpCleanerThread::run()
{
    std::unique_lock lock(wakeLock);
    while (!isStopRequested()) {
        if (wake.wait_for(lock, std::chrono::milliseconds(kTickMs), [this] { return isStopRequested(); })) {
            break;
        }
        lock.unlock();
        fetcher->deleteOneFinished();
        lock.lock();
    }
}

void HttpCleanerThread::requestStop()
{
    {
        const std::lock_guard lock(wakeLock);
        CThread::requestStop();
    }
    wake.notify_all();
}

// ---------------------------------------------------------------------------------------------
// HttpFetcher

HttpFetcher::HttpFetcher() = default;

HttpFetcher::~HttpFetcher()
{
    shutdown();
}

std::mutex& HttpFetcher::processLock()
{
    static std::mutex lock;
    return lock;
}

int HttpFetcher::start(HttpRequestInner* request, HttpRequestCallbackDelegate* delegate)
{
    if (request == nullptr) {
        return kStartMissing;
    }
    const std::lock_guard lock(processLock());
    if (shuttingDown) {
        return kStartShuttingDown;
    }
    // Two threads on one request would share its library handle.
    if (request->busy.exchange(true, std::memory_order_acq_rel)) {
        return kStartMissing;
    }
    if (!cleaner) {
        // Made with the first request, so that a program that never asks has no thread ticking.
        // Without a cleaner, finished threads would stay until shutdown; requests still run.
        cleaner = std::make_unique<HttpCleanerThread>(this);
        cleaner->start();
    }
    auto thread = std::make_shared<HttpThread>(request, delegate);
    threads.push_back(thread);
    if (!thread->start()) {
        threads.pop_back();
        request->busy.store(false, std::memory_order_release);
        return kStartMissing;
    }
    return kStartOk;
}

void HttpFetcher::stopAll()
{
    std::vector<std::shared_ptr<HttpThread>> running;
    {
        const std::lock_guard lock(processLock());
        running = threads;
    }
    for (const auto& thread : running) {
        thread->requestStop();
    }
}

void HttpFetcher::shutdown()
{
    {
        const std::lock_guard lock(processLock());
        shuttingDown = true;
    }
    stopAll();
    std::unique_ptr<HttpCleanerThread> ending;
    {
        const std::lock_guard lock(processLock());
        ending = std::move(cleaner);
    }
    // Its destructor stops and joins it; outside the lock, which its last tick may be waiting for.
    ending.reset();
    std::vector<std::shared_ptr<HttpThread>> rest;
    {
        const std::lock_guard lock(processLock());
        rest.swap(threads);
    }
    // Each destructor joins its thread; stopped threads end at once.
    rest.clear();
}

bool HttpFetcher::isShuttingDown() const
{
    const std::lock_guard lock(processLock());
    return shuttingDown;
}

std::size_t HttpFetcher::threadCount() const
{
    const std::lock_guard lock(processLock());
    return threads.size();
}

bool HttpFetcher::deleteOneFinished()
{
    std::shared_ptr<HttpThread> finished;
    {
        const std::lock_guard lock(processLock());
        for (auto it = threads.begin(); it != threads.end(); ++it) {
            if (!(*it)->isRunning()) {
                finished = std::move(*it);
                threads.erase(it);
                break;
            }
        }
    }
    // Joined outside the lock; its run() has returned, so the join does not wait.
    return finished != nullptr;
}

int startRequest(HttpFetcher* fetcher, HttpRequestInner* request, HttpRequestCallbackDelegate* delegate)
{
    if (fetcher == nullptr || request == nullptr) {
        return kStartMissing;
    }
    return fetcher->start(request, delegate);
}

void stopAll(HttpFetcher* fetcher)
{
    if (fetcher != nullptr) {
        fetcher->stopAll();
    }
}

} // namespace HttpFetcherNS
