#pragma once

// Runs HTTP requests on threads of their own: one HttpThread per request, one HttpCleanerThread
// that deletes finished ones, and the HttpFetcher that owns them.
//
// Threading contract: the running list of every fetcher is guarded by one process-wide lock
// (HttpFetcher::processLock()). A request thread reports to its delegate at most once, and never
// after it was asked to stop: stopAll() waits for a report in progress, so once it returns no
// delegate is called for the requests it stopped. A stop wakes a waiting request at once. Destroying
// the fetcher stops every request and waits for all its threads, so delegates and requests must
// outlive it.

#include "update/CThread.h"
#include "update/HttpRequestInner.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace HttpFetcherNS {

// Results of startRequest().
inline constexpr int kStartOk = 0;
inline constexpr int kStartMissing = -1;
inline constexpr int kStartShuttingDown = -2;

class HttpFetcher;

class HttpThread : public CThread {
public:
    HttpThread(HttpRequestInner* request, HttpRequestCallbackDelegate* delegate);
    ~HttpThread() override;

    void run() override;
    // Sets the stop flag and wakes the thread if it waits for the network. Waits while the thread
    // reports, so that no report starts or runs after it returns.
    void requestStop() override;

    HttpRequestInner* getRequest() const { return request; }

private:
    void report(bool done, long status);

    HttpRequestInner* request;
    HttpRequestCallbackDelegate* delegate;
    void* multi; // the library's multi handle; lives as long as this object
    std::recursive_mutex reportLock; // recursive: a delegate may stop its own request
};

class HttpCleanerThread : public CThread {
public:
    // Every tick the first finished thread of the fetcher is removed and deleted.
    static constexpr int kTickMs = 100;

    explicit HttpCleanerThread(HttpFetcher* fetcher);
    ~HttpCleanerThread() override;

    void run() override;
    void requestStop() override;

private:
    HttpFetcher* fetcher;
    std::mutex wakeLock;
    std::condition_variable wake;
};

class HttpFetcher {
public:
    HttpFetcher();
    ~HttpFetcher();
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // The lock over the running lists of all fetchers.
    static std::mutex& processLock();

    // See startRequest(). A request that is running already is refused with kStartMissing.
    int start(HttpRequestInner* request, HttpRequestCallbackDelegate* delegate);
    // Asks every running request to stop; they end without reporting.
    void stopAll();
    // Refuses new requests, stops the running ones and the cleaner, and waits for every thread.
    void shutdown();

    bool isShuttingDown() const;
    // Request threads not yet deleted by the cleaner.
    std::size_t threadCount() const;

private:
    friend class HttpCleanerThread;
    // Removes the first thread that has ended and deletes it. False when none has.
    bool deleteOneFinished();

    // Guarded by processLock(). Shared, so that stopping a thread does not hold the process lock
    // while a report runs (a delegate may start a request of its own).
    std::vector<std::shared_ptr<HttpThread>> threads;
    bool shuttingDown = false; // guarded by processLock()
    std::unique_ptr<HttpCleanerThread> cleaner; // made by the first start(); guarded by processLock()
};

// Starts request on a new thread of fetcher, reporting to delegate (may be null). Returns kStartOk;
// kStartMissing when fetcher or request is null (or the request runs already, or no thread can be
// made); kStartShuttingDown once the fetcher shuts down.
int startRequest(HttpFetcher* fetcher, HttpRequestInner* request, HttpRequestCallbackDelegate* delegate);

// Stops every running request of fetcher (see HttpFetcher::stopAll()).
void stopAll(HttpFetcher* fetcher);

} // namespace HttpFetcherNS
