#include "ui/spectrogram/CSpecBuilder.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace TessarinEditor {

namespace {

using namespace std::chrono_literals;

constexpr auto kColumnWait = 2000ms; // the column thread's longest sleep while requests are served
constexpr auto kWorkerWait = 2000ms; // every other worker wait is bounded as well
constexpr auto kIdlePoll = 100ms;    // stop() re-checks at least this often

} // namespace

CSpecBuildingListener::~CSpecBuildingListener() = default;

void drawSpecPicture(QPainter& painter, const SpecPicture& picture, double viewStart, double viewLength,
                     double lowHz, double highHz, const QRect& target)
{
    if (picture.image.isNull() || target.isEmpty() || !(viewLength > 0.0) || !(highHz > lowHz)
        || !(picture.sampleRate > 0.0) || picture.stride <= 0) {
        return;
    }
    const double secondsPerColumn = double(picture.stride) * kSpecHopSeconds;
    const double firstTime = double(picture.firstColumn) * kSpecHopSeconds;
    const double binHz = picture.sampleRate / SpecColumnComputer::kFrameLength;
    const double bottomRow = SpecColumnStore::kRows - 1; // bin 0
    // Column j is centred on its time at x = j + 0.5, row r on its frequency at y = r + 0.5.
    const auto xOf = [&](double t) { return (t - firstTime) / secondsPerColumn + 0.5; };
    const auto yOf = [&](double hz) { return bottomRow - hz / binHz + 0.5; };

    const QRectF source(QPointF(xOf(viewStart), yOf(highHz)), QPointF(xOf(viewStart + viewLength), yOf(lowHz)));
    const QRectF clipped = source.intersected(QRectF(picture.image.rect()));
    if (clipped.isEmpty()) {
        return;
    }
    const double sx = target.width() / source.width();
    const double sy = target.height() / source.height();
    const QRectF dest(target.left() + (clipped.left() - source.left()) * sx,
                      target.top() + (clipped.top() - source.top()) * sy, clipped.width() * sx,
                      clipped.height() * sy);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRect(target, Qt::IntersectClip);
    painter.drawImage(dest, picture.image, clipped);
    painter.restore();
}

CSpecBuilder::CSpecBuilder(CSpecBuildingListener* listener) : CSpecBuilder(listener, Params{}) {}

CSpecBuilder::CSpecBuilder(CSpecBuildingListener* listener, Params params)
    : m_listener(listener), m_params(params)
{
    m_emptyColumn.assign(SpecColumnStore::kRows, spectrogramColourIndex(-1000.0f));
    for (const SpecRgb& c : spectrogramPalette()) {
        m_palette.push_back(qRgb(c.r, c.g, c.b));
        m_brightness.push_back(std::max({c.r, c.g, c.b}));
    }
    m_disposalThread = std::thread([this] { disposalThread(); });
    m_columnThread = std::thread([this] { columnThread(); });
    m_jobThread = std::thread([this] { jobThread(); });
}

CSpecBuilder::~CSpecBuilder()
{
    {
        const std::lock_guard lock(m_lock);
        m_quit = true;
        cancelAllLocked();
    }
    m_jobWake.notify_all();
    m_columnWake.notify_all();
    m_jobThread.join();
    m_columnThread.join();
    {
        const std::lock_guard lock(m_discardLock);
        m_discardQuit = true;
    }
    m_discardWake.notify_all();
    m_disposalThread.join();
}

void CSpecBuilder::cancelAllLocked()
{
    for (const auto& job : m_queue) {
        job->cancelled.store(true, std::memory_order_relaxed);
    }
    if (m_rendering) {
        m_rendering->cancelled.store(true, std::memory_order_relaxed);
    }
}

void CSpecBuilder::waitIdleLocked(std::unique_lock<std::mutex>& lock)
{
    while (m_rendering || m_columnWorking) {
        m_idle.wait_for(lock, kIdlePoll);
    }
}

int CSpecBuilder::request(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate, double viewStart,
                          double viewLength, const QRect& target)
{
    std::unique_lock lock(m_lock);
    const bool sameData = samples == m_store.samples() && sampleCount == m_store.sampleCount()
        && sampleRate == m_store.sampleRate();
    if (!m_needsReset && !sameData) {
        // Other samples without a stop: stop here, so that no worker reads the old ones again.
        cancelAllLocked();
        m_needsReset = true;
        m_fileGeneration.fetch_add(1, std::memory_order_release);
        m_jobWake.notify_all();
        m_columnWake.notify_all();
    }
    if (m_needsReset) {
        waitIdleLocked(lock);
        // The store spans the first view after a load, the whole file; never less than the file.
        const double fileSeconds = (samples && sampleRate > 0.0 && sampleCount > 0) ? double(sampleCount) / sampleRate : 0.0;
        const double spanned = std::isfinite(viewLength) ? std::max(viewLength, fileSeconds) : fileSeconds;
        const auto columns = std::int64_t(std::floor(std::min(spanned, 1e7) / kSpecHopSeconds * 1.01 + 16.0));
        if (!m_store.reset(samples, sampleCount, sampleRate, fileSeconds > 0.0 ? columns : 0)) {
            m_store.clear();
        }
        m_needsReset = false;
        m_backgroundColumn = 0;
        m_columnWake.notify_all();
    }

    cancelAllLocked();
    const int number = ++m_requestCounter;
    if (m_store.columnCount() > 0) {
        const int width = target.width();
        const auto plans = planSpecRequest(viewStart, viewLength, width,
                                           [this](std::int64_t column) { return m_store.isComputed(column); });
        for (const SpecJobPlan& plan : plans) {
            auto job = std::make_unique<Job>();
            job->requestNumber = number;
            job->fileGeneration = m_fileGeneration.load(std::memory_order_relaxed);
            job->viewStart = viewStart;
            job->viewLength = viewLength;
            job->targetWidth = width;
            job->plan = plan;
            m_queue.push_back(std::move(job));
        }
        m_backgroundColumn = std::clamp<std::int64_t>(plans.front().backgroundColumn, 0, m_store.columnCount() - 1);
        m_jobWake.notify_one();
    }
    return number;
}

void CSpecBuilder::stop()
{
    std::unique_lock lock(m_lock);
    cancelAllLocked();
    m_needsReset = true;
    m_fileGeneration.fetch_add(1, std::memory_order_release);
    m_jobWake.notify_all();
    m_columnWake.notify_all();
    waitIdleLocked(lock);
    // No worker reads the store any more: its memory goes now, not at the next file's first request.
    m_store.clear();
}

void CSpecBuilder::renderJob(Job& job, SpecColumnComputer& computer)
{
    const SpecJobPlan& plan = job.plan;
    SpecPicture& picture = job.picture;
    picture.requestNumber = job.requestNumber;
    picture.fileGeneration = job.fileGeneration;
    picture.firstColumn = plan.firstColumn;
    picture.stride = plan.stride;
    picture.columnCount = plan.columnCount;
    picture.sampleRate = m_store.sampleRate();
    // 32-bit pixels: what the painter draws without converting the picture first at every paint.
    picture.image = QImage(int(plan.columnCount), SpecColumnStore::kRows, QImage::Format_RGB32);
    if (picture.image.isNull()) { // no memory for it: nothing to show
        job.cancelled.store(true, std::memory_order_relaxed);
        return;
    }
    std::uint8_t* const bits = picture.image.bits();
    const auto bytesPerLine = std::size_t(picture.image.bytesPerLine());
    const std::int64_t storeColumns = m_store.columnCount();
    // A picture column stands for stride columns of the store. Showing only the first of them would
    // stripe a zoomed-out picture (a short sound between two taken columns vanishes): each row takes
    // the loudest of the covered columns instead. The colour map's brightness (the largest channel)
    // rises with the level, so the brightest pixel is the loudest. The last job of a request looks
    // at every covered column, computing what is missing; the coarse ones before it only at those
    // already computed, so that they stay quick.
    const bool everyColumn = !plan.refinable;
    std::array<std::uint8_t, SpecColumnStore::kRows> brightest{};
    for (std::int64_t i = 0; i < plan.columnCount; ++i) {
        if (job.cancelled.load(std::memory_order_relaxed)) {
            return;
        }
        const std::int64_t column = plan.firstColumn + i * plan.stride;
        const SpecColourIndex* from = column < storeColumns ? m_store.ensureColumn(column, computer) : m_emptyColumn.data();
        std::uint8_t* const top = bits + std::size_t(i) * sizeof(QRgb);
        std::uint8_t* to = top;
        for (int row = 0; row < SpecColumnStore::kRows; ++row, to += bytesPerLine, ++from) {
            *reinterpret_cast<QRgb*>(to) = m_palette[*from];
            brightest[std::size_t(row)] = m_brightness[*from];
        }
        const std::int64_t end = std::min({column + plan.stride, plan.firstColumn + plan.columnSpan, storeColumns});
        for (std::int64_t other = column + 1; other < end; ++other) {
            if (!everyColumn && !m_store.isComputed(other)) {
                continue;
            }
            if (job.cancelled.load(std::memory_order_relaxed)) {
                return;
            }
            const SpecColourIndex* index = m_store.ensureColumn(other, computer);
            to = top;
            for (int row = 0; row < SpecColumnStore::kRows; ++row, to += bytesPerLine, ++index) {
                const std::uint8_t v = m_brightness[*index];
                if (v > brightest[std::size_t(row)]) {
                    brightest[std::size_t(row)] = v;
                    *reinterpret_cast<QRgb*>(to) = m_palette[*index];
                }
            }
        }
    }
}

void CSpecBuilder::jobThread()
{
    SpecColumnComputer computer;
    std::unique_lock lock(m_lock);
    while (!m_quit) {
        if (m_queue.empty()) {
            m_jobWake.wait_for(lock, kWorkerWait);
            continue;
        }
        std::unique_ptr<Job> job = std::move(m_queue.front());
        m_queue.pop_front();
        if (job->cancelled.load(std::memory_order_relaxed) || m_needsReset) {
            ++m_cancelledJobs;
            if (m_queue.empty()) {
                m_idle.notify_all();
            }
            lock.unlock();
            discard(std::move(job));
            lock.lock();
            continue;
        }

        m_rendering = job.get();
        lock.unlock();
        renderJob(*job, computer);
        lock.lock();

        // Published before the job counts as done, so that whoever waits for the workers finds it.
        std::unique_ptr<Job> replaced;
        const bool finished = !job->cancelled.load(std::memory_order_relaxed);
        if (finished) {
            ++m_renderedJobs;
            const std::lock_guard pictureLock(m_pictureLock);
            replaced = std::exchange(m_finished, std::move(job));
        } else {
            ++m_cancelledJobs;
            replaced = std::move(job);
        }
        m_rendering = nullptr;
        m_announcing = finished;
        m_idle.notify_all();
        lock.unlock();
        if (replaced) {
            discard(std::move(replaced));
        }
        if (finished && m_listener) {
            m_listener->onSpecRenderingReady();
        }
        lock.lock();
        m_announcing = false;
        if (m_queue.empty()) {
            m_columnWake.notify_all(); // requests served: the background filling goes on
        }
        m_idle.notify_all();
    }
}

void CSpecBuilder::columnThread()
{
    SpecColumnComputer computer;
    std::unique_lock lock(m_lock);
    while (!m_quit) {
        const std::int64_t columns = m_store.columnCount();
        const bool mayWork = m_params.backgroundColumns && !m_needsReset && columns > 0 && !m_store.isComplete()
            && !jobsPendingLocked();
        if (!mayWork) {
            m_columnWake.wait_for(lock, kColumnWait);
            continue;
        }
        std::int64_t next = -1;
        for (std::int64_t k = 0; k < columns; ++k) {
            const std::int64_t column = (m_backgroundColumn + k) % columns;
            if (!m_store.isComputed(column)) {
                next = column;
                break;
            }
        }
        if (next < 0) {
            m_idle.notify_all();
            m_columnWake.wait_for(lock, kColumnWait);
            continue;
        }
        m_backgroundColumn = next + 1 < columns ? next + 1 : 0;
        m_columnWorking = true;
        lock.unlock();
        m_store.tryComputeColumn(next, computer);
        lock.lock();
        m_columnWorking = false;
        m_idle.notify_all();
    }
}

void CSpecBuilder::discard(std::unique_ptr<Job> job)
{
    {
        const std::lock_guard lock(m_discardLock);
        m_discarded.push_back(std::move(job));
    }
    m_discardWake.notify_one();
}

void CSpecBuilder::disposalThread()
{
    std::unique_lock lock(m_discardLock);
    for (;;) {
        if (m_discarded.empty()) {
            if (m_discardQuit) {
                return;
            }
            m_discardWake.wait_for(lock, kWorkerWait);
            continue;
        }
        std::vector<std::unique_ptr<Job>> doomed;
        doomed.swap(m_discarded);
        lock.unlock();
        doomed.clear(); // pictures are freed here, away from the UI and job threads
        lock.lock();
    }
}

bool CSpecBuilder::draw(QPainter& painter, double viewStart, double viewLength, double lowHz, double highHz,
                        const QRect& target, int requestNumber) const
{
    const std::lock_guard lock(m_pictureLock);
    if (!m_finished || m_finished->requestNumber != requestNumber) {
        return false;
    }
    drawSpecPicture(painter, m_finished->picture, viewStart, viewLength, lowHz, highHz, target);
    return true;
}

bool CSpecBuilder::drawLatest(QPainter& painter, double viewStart, double viewLength, double lowHz, double highHz,
                              const QRect& target, int requestNumber) const
{
    const int generation = m_fileGeneration.load(std::memory_order_acquire);
    const std::lock_guard lock(m_pictureLock);
    if (!m_finished || m_finished->requestNumber > requestNumber || m_finished->fileGeneration != generation) {
        return false;
    }
    drawSpecPicture(painter, m_finished->picture, viewStart, viewLength, lowHz, highHz, target);
    return true;
}

std::optional<int> CSpecBuilder::finishedRequest() const
{
    const std::lock_guard lock(m_pictureLock);
    if (!m_finished) {
        return std::nullopt;
    }
    return m_finished->requestNumber;
}

std::optional<SpecPicture> CSpecBuilder::finishedPicture() const
{
    const std::lock_guard lock(m_pictureLock);
    if (!m_finished) {
        return std::nullopt;
    }
    return m_finished->picture;
}

CSpecBuilder::Stats CSpecBuilder::stats() const
{
    const std::lock_guard lock(m_lock);
    Stats s;
    s.columnCount = m_store.columnCount();
    s.computedColumns = m_store.computedColumns();
    s.computations = m_store.computations();
    s.requestCounter = m_requestCounter;
    s.queuedJobs = std::int64_t(m_queue.size());
    s.renderedJobs = m_renderedJobs;
    s.cancelledJobs = m_cancelledJobs;
    return s;
}

bool CSpecBuilder::waitUntilIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, timeout, [this] { return m_queue.empty() && !m_rendering && !m_announcing; });
}

bool CSpecBuilder::waitUntilComplete(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, timeout, [this] { return m_store.columnCount() > 0 && m_store.isComplete(); });
}

} // namespace TessarinEditor
