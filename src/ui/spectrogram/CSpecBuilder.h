#pragma once

// The spectrogram builder: computes the column store of the loaded file in the background and
// renders pictures of the visible range progressively, a coarse one first and finer ones after.
//
// Threads. The UI thread only queues requests, stops the builder before a new file and draws the
// finished picture. Three workers run inside:
//   - the job thread renders the queued jobs, oldest first, publishes each finished picture and
//     tells the listener (from the job thread: the listener must hand over to its own thread);
//   - the column thread fills the store in the background while no request is being served;
//   - the disposal thread deletes the jobs and pictures that are no longer needed.
// Locks: m_lock guards the queue, the request state and the store's life (reset, stop); m_discardLock
// the discard list; m_pictureLock the finished picture. None is held while calling the listener, and
// no two are held at once except m_lock and then m_pictureLock (never the other way).

#include "ui/spectrogram/SpectrogramColumns.h"
#include "ui/spectrogram/SpectrogramJobs.h"

#include <QImage>
#include <QRect>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QPainter;

namespace TessarinEditor {

class CSpecBuildingListener {
public:
    virtual ~CSpecBuildingListener();
    // A new picture is ready. Called on the builder's job thread, with no lock of the builder held.
    virtual void onSpecRenderingReady() = 0;
};

// One rendered picture: picture column j shows store column firstColumn + j × stride (time
// (firstColumn + j × stride) × 0.005 s); row r shows bin 512 − r (frequency (512 − r) × rate ÷ 1024).
struct SpecPicture {
    int requestNumber = 0;
    int fileGeneration = 0; // changes with every stop and reset: pictures of another file differ
    std::int64_t firstColumn = 0;
    std::int64_t stride = 1;
    std::int64_t columnCount = 0;
    double sampleRate = 0.0;
    QImage image; // columnCount × 513, RGB32
};

// Draws the part of picture that shows [viewStart, viewStart + viewLength] × [lowHz, highHz] into
// target, stretched without smoothing, each column and row centred on its time and frequency.
// Nothing where the picture has no data.
void drawSpecPicture(QPainter& painter, const SpecPicture& picture, double viewStart, double viewLength,
                     double lowHz, double highHz, const QRect& target);

class CSpecBuilder {
public:
    struct Params {
        // Fill the store in the background between requests. Tests switch it off to count exactly
        // the columns that requests compute.
        bool backgroundColumns = true;
    };

    struct Stats {
        std::int64_t columnCount = 0;
        std::int64_t computedColumns = 0;
        std::int64_t computations = 0; // every column computation since the last reset
        int requestCounter = 0;
        std::int64_t queuedJobs = 0;
        std::int64_t renderedJobs = 0; // jobs rendered to the end, in the builder's life
        std::int64_t cancelledJobs = 0; // jobs cancelled before or while rendering
    };

    explicit CSpecBuilder(CSpecBuildingListener* listener);
    CSpecBuilder(CSpecBuildingListener* listener, Params params);
    // Stops the three workers and waits for them.
    ~CSpecBuilder();
    CSpecBuilder(const CSpecBuilder&) = delete;
    CSpecBuilder& operator=(const CSpecBuilder&) = delete;

    // A picture of [viewStart, viewStart + viewLength] for target's width, queued behind the
    // cancellation of every earlier job; returns the request's number. The samples are not owned:
    // they must stay unchanged until stop() (call it before they change). Samples other than those
    // of the store stop the builder and reset the store first.
    int request(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate, double viewStart,
                double viewLength, const QRect& target);

    // Before a new file is loaded: cancels every job, waits until the job and column threads are
    // idle, and marks the store for a reset at the next request. Afterwards no worker touches the
    // samples.
    void stop();

    // Draws the finished picture if it belongs to requestNumber; false (nothing drawn) otherwise.
    bool draw(QPainter& painter, double viewStart, double viewLength, double lowHz, double highHz,
              const QRect& target, int requestNumber) const;
    // Draws the finished picture if it belongs to requestNumber or, until that request's first
    // picture is ready, to an earlier request on the same file (placed by its own times, so it is
    // right where it has data). False when there is no such picture.
    bool drawLatest(QPainter& painter, double viewStart, double viewLength, double lowHz, double highHz,
                    const QRect& target, int requestNumber) const;

    // The request number of the finished picture, none before the first one.
    std::optional<int> finishedRequest() const;
    // A copy of the finished picture's description and image (shares the pixels).
    std::optional<SpecPicture> finishedPicture() const;

    Stats stats() const;
    // Waits until no job is queued or rendering and the listener heard of the last picture; false
    // on timeout.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;
    // Waits until every column of the store is computed; false on timeout or without a store.
    bool waitUntilComplete(std::chrono::milliseconds timeout) const;

private:
    struct Job {
        int requestNumber = 0;
        int fileGeneration = 0;
        double viewStart = 0.0;
        double viewLength = 0.0;
        int targetWidth = 0;
        SpecJobPlan plan;
        std::atomic<bool> cancelled{false};
        SpecPicture picture;
    };

    void jobThread();
    void columnThread();
    void disposalThread();
    void renderJob(Job& job, SpecColumnComputer& computer);
    void discard(std::unique_ptr<Job> job);
    // Under m_lock: cancels the queued jobs and the one rendering.
    void cancelAllLocked();
    // Under m_lock (held by lock): waits until neither the job nor the column thread is working.
    void waitIdleLocked(std::unique_lock<std::mutex>& lock);
    bool jobsPendingLocked() const { return !m_queue.empty() || m_rendering != nullptr; }

    CSpecBuildingListener* const m_listener;
    const Params m_params;

    mutable std::mutex m_lock;
    std::condition_variable m_jobWake;
    std::condition_variable m_columnWake;
    mutable std::condition_variable m_idle;
    std::deque<std::unique_ptr<Job>> m_queue;
    Job* m_rendering = nullptr; // the job thread's current job
    bool m_announcing = false;  // the job thread tells the listener of a picture
    bool m_columnWorking = false;
    bool m_needsReset = true;
    bool m_quit = false;
    int m_requestCounter = 0;
    std::atomic<int> m_fileGeneration{0}; // written under m_lock
    std::int64_t m_backgroundColumn = 0;
    std::int64_t m_renderedJobs = 0;
    std::int64_t m_cancelledJobs = 0;
    SpecColumnStore m_store;
    std::vector<SpecColourIndex> m_emptyColumn; // the colour of silence, for columns past the store
    std::vector<QRgb> m_palette;                // the colour map's palette as pixels
    std::vector<std::uint8_t> m_brightness;     // and the largest channel of each

    std::mutex m_discardLock;
    std::condition_variable m_discardWake;
    std::vector<std::unique_ptr<Job>> m_discarded;
    bool m_discardQuit = false;

    mutable std::mutex m_pictureLock;
    std::unique_ptr<Job> m_finished;

    std::thread m_jobThread;
    std::thread m_columnThread;
    std::thread m_disposalThread;
};

} // namespace TessarinEditor
