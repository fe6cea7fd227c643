#include "ui/editor/F0CheckOverlay.h"

#include "audio/CWavData.h"
#include "ui/editor/WavViewRange.h"
#include "ui/toolkit/UiStyle.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <set>

#include <malloc.h>

namespace TessarinEditor {

std::vector<std::int64_t> F0CheckOutcome::testedFrames() const
{
    std::set<std::int64_t> frames;
    for (const TessarinEngineV6::VoicingTest& test : tested) {
        for (std::int64_t k = test.first; k <= test.last; ++k) {
            frames.insert(k);
        }
    }
    return {frames.begin(), frames.end()};
}

std::vector<std::int64_t> F0CheckOutcome::unvoicedFrames() const
{
    std::vector<std::int64_t> out;
    for (const std::int64_t k : testedFrames()) {
        if (k < 0 || k >= std::int64_t(f0.size()) || !(f0[std::size_t(k)] > 0.0f)) {
            out.push_back(k);
        }
    }
    return out;
}

namespace {

constexpr int kF0BarHeight = 5; // [px]
constexpr auto kIdleWait = std::chrono::seconds(2); // the worker's longest sleep

// The build text's words for a result: the text of each code, else the builder's own message.
QString verdictText(const TSSrcCheckResult& result)
{
    QStringList parts;
    for (const std::int32_t code : result.codes) {
        const std::string_view text = resultCodeText(code);
        if (!text.empty()) {
            parts << QString::fromUtf8(text.data(), qsizetype(text.size()));
        }
    }
    if (parts.isEmpty()) {
        for (const std::string& message : result.messages) {
            parts << QString::fromStdString(message).trimmed();
        }
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

F0CheckOutcome computeF0Check(const CTsVoiceCfg& entry, const QString& wavFolder, const PhoneticDictionary& dictionary)
{
    F0CheckOutcome outcome;
    // As the list stores it and a build reads it back: the region and the marker times relative to it.
    std::unique_ptr<CTsVoiceCfg> stored = entry.clone();
    std::unique_ptr<CTsVoiceCfg> read = entry.clone();
    if (!read->fromJsonText(stored->toJsonText())) {
        outcome.text = QStringLiteral("Check: the entry cannot be stored");
        return outcome;
    }
    // A region longer than any unit (markers not yet placed on a long take) is not analysed here:
    // its f0 stage would take seconds and hundreds of megabytes.
    const double span = read->endTime - std::max(0.0, read->startTime);
    if (span > kLongestCheckedRegion) {
        outcome.text = QStringLiteral("Check: not run, the entry spans %1 s (the editor checks up to %2 s)")
                           .arg(span, 0, 'f', 1)
                           .arg(kLongestCheckedRegion, 0, 'f', 0);
        return outcome;
    }
    EntryCheckTrace trace;
    std::optional<TSSrcCheckResult> result;
    try {
        result = checkEntry(dictionary, dictionary.serialise(), *read, wavFolder.toStdString(), &trace);
    } catch (const std::exception& e) {
        outcome.text = QStringLiteral("Check: ") + QString::fromUtf8(e.what());
        return outcome;
    }
    if (!result) {
        return outcome;
    }
    outcome.ok = result->ok;
    outcome.text = result->ok ? QStringLiteral("Check: OK") : QStringLiteral("Check: ") + verdictText(*result);
    outcome.regionStart = trace.regionStart;
    outcome.f0 = std::move(trace.check.f0);
    outcome.tested = std::move(trace.check.tested);
    return outcome;
}

void drawF0Overlay(QPainter& painter, const QRect& area, const CWavData& wav, const F0CheckOutcome& outcome)
{
    const double highHz = spectrogramHighHz(wav);
    if (area.isEmpty() || !(wav.viewLength > 0.0f) || !(highHz > 0.0)) {
        return;
    }
    const auto xOf = [&](double t) { return timeToPixel(wav, float(t), area.left(), area.width()); };
    const auto frameBox = [&](std::int64_t first, std::int64_t last) {
        const int x0 = std::max(area.left(), xOf(outcome.frameStart(first)));
        const int x1 = std::min(area.left() + area.width(), std::max(x0 + 1, xOf(outcome.frameStart(last + 1))));
        return QRect(x0, area.top(), x1 - x0, area.height());
    };
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Shaded, and marked by a bar along the top edge that reads whatever the spectrogram's colours
    // under it (its own map runs through red).
    const auto bar = [&](const QRect& box) { return QRect(box.left(), area.top(), box.width(), kF0BarHeight); };
    for (const TessarinEngineV6::VoicingTest& test : outcome.tested) {
        const QRect box = frameBox(test.first, test.last);
        painter.fillRect(box, QColor::fromRgba(UiColours::kF0Tested));
        painter.fillRect(bar(box), uiColour(UiColours::kF0TestedBar));
    }
    for (const std::int64_t k : outcome.unvoicedFrames()) {
        const QRect box = frameBox(k, k);
        painter.fillRect(box, QColor::fromRgba(UiColours::kF0Unvoiced));
        painter.fillRect(bar(box), uiColour(UiColours::kF0UnvoicedBar));
    }
    // The track, point by point at each frame's centre, broken where a frame is unvoiced.
    painter.setPen(QPen(uiColour(UiColours::kF0Track), 0));
    const double bottom = double(area.top() + area.height() - 1);
    QPolygon run;
    const auto flush = [&] {
        if (run.size() == 1) {
            painter.drawPoint(run.front());
        } else if (run.size() > 1) {
            painter.drawPolyline(run);
        }
        run.clear();
    };
    const double viewEnd = double(wav.viewStart) + double(wav.viewLength);
    for (std::size_t k = 0; k < outcome.f0.size(); ++k) {
        const double t = outcome.frameStart(std::int64_t(k)) + kF0FrameSeconds / 2.0;
        if (t < double(wav.viewStart) - kF0FrameSeconds || t > viewEnd + kF0FrameSeconds || !(outcome.f0[k] > 0.0f)) {
            flush();
            continue;
        }
        const double y = bottom - double(outcome.f0[k]) / highHz * double(area.height());
        run << QPoint(xOf(t), int(std::lround(std::clamp(y, -1.0e6, 1.0e6))));
    }
    flush();
    painter.restore();
}

F0CheckRunner::F0CheckRunner(Ready ready, std::chrono::milliseconds debounce)
    : m_ready(std::move(ready)), m_debounce(debounce)
{
    m_thread = std::thread([this] { run(); });
}

F0CheckRunner::~F0CheckRunner()
{
    {
        const std::lock_guard lock(m_lock);
        m_quit = true;
        m_pending.reset();
    }
    m_wake.notify_all();
    m_thread.join();
}

int F0CheckRunner::request(std::unique_ptr<CTsVoiceCfg> entry, const QString& wavFolder, PhoneticDictionary dictionary)
{
    auto pending = std::make_unique<Pending>();
    pending->entry = std::move(entry);
    pending->wavFolder = wavFolder;
    pending->dictionary = std::move(dictionary);
    pending->due = std::chrono::steady_clock::now() + m_debounce;
    int number = 0;
    {
        const std::lock_guard lock(m_lock);
        number = pending->number = ++m_counter;
        m_pending = std::move(pending);
    }
    m_wake.notify_all();
    return number;
}

void F0CheckRunner::cancel()
{
    {
        const std::lock_guard lock(m_lock);
        m_pending.reset();
    }
    m_idle.notify_all();
}

bool F0CheckRunner::waitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, timeout, [this] { return !m_pending && !m_working; });
}

void F0CheckRunner::run()
{
    std::unique_lock lock(m_lock);
    while (!m_quit) {
        if (!m_pending) {
            m_idle.notify_all();
            m_wake.wait_for(lock, kIdleWait); // the loop re-checks what it waits for
            continue;
        }
        // Until the newest request has rested for the debounce time.
        // The deadline is copied: a newer request replaces (frees) the pending one while this waits.
        if (const auto due = m_pending->due; std::chrono::steady_clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        std::unique_ptr<Pending> job = std::move(m_pending);
        m_working = true;
        lock.unlock();
        auto outcome = std::make_shared<F0CheckOutcome>(computeF0Check(*job->entry, job->wavFolder, job->dictionary));
        outcome->requestNumber = job->number;
        m_ready(std::move(outcome));
        job.reset();
        // The f0 stage's buffers go back to the system, not only to the heap.
        malloc_trim(0);
        lock.lock();
        m_working = false;
        m_idle.notify_all();
    }
}

} // namespace TessarinEditor
