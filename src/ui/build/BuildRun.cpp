#include "ui/build/BuildRun.h"

#include "core/AtomicFile.h"

#include <algorithm>
#include <system_error>

namespace TessarinEditor {

int defaultBuildJobs()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
}

BuildRun::BuildRun(int mode, BuildInputs inputs, std::filesystem::path logFile, Notifier notify, Clock clock)
    : m_mode(mode),
      m_inputs(std::move(inputs)),
      m_logFile(std::move(logFile)),
      m_notify(std::move(notify)),
      m_renderer(std::move(clock), [this](std::string_view piece) { appendPiece(piece); })
{
    m_context.delegate = this;
    m_context.jobs = std::max(1, m_inputs.jobs);
}

BuildRun::~BuildRun()
{
    m_context.stop.store(1);
    joinAndWriteLog();
}

void BuildRun::joinAndWriteLog()
{
    if (!m_worker.joinable()) {
        return;
    }
    m_worker.join();
    // The refreshes the worker posted last may never be handled (the window closes at once): the
    // log must not end with them missing.
    writeLog(text());
}

void BuildRun::writeLog(const std::string& text) const
{
    if (!m_logFile.empty()) {
        // A log that cannot be written is skipped; the window still shows everything.
        Tessarin::writeFileAtomically(m_logFile, text);
    }
}

void BuildRun::appendPiece(std::string_view piece)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_text += piece;
    m_lines += int(std::count(piece.begin(), piece.end(), '\n'));
}

void BuildRun::queued()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_pending;
    }
    if (m_notify) {
        m_notify();
    }
}

void BuildRun::start()
{
    if (m_mode == kBuildModels || m_mode == kBuildVoiceBank) {
        if (m_mode == kBuildModels) {
            m_renderer.beginModels();
        } else {
            m_renderer.beginVoiceBank();
            std::lock_guard<std::mutex> guard(m_lock);
            m_dots = true; // the bank has no intermediate reports: dots show it is alive
        }
        m_running.store(true);
        m_worker = std::thread([this] { work(); });
    }
    queued();
}

void BuildRun::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dots = false;
        m_stopped = m_stopped || m_running.load();
    }
    m_context.stop.store(1);
    joinAndWriteLog();
}

void BuildRun::work()
{
    // A folder that does not exist yet is made; one that cannot be made shows in the build itself.
    const std::string& folder = m_mode == kBuildModels ? m_inputs.modelFolder : m_inputs.voiceBankFolder;
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    if (m_mode == kBuildModels) {
        std::optional<std::vector<std::string>> symbols = m_inputs.symbols;
        if (symbols && symbols->empty()) {
            symbols.reset();
        }
        // The record of what each model was built from only saves time later: one that cannot be
        // written costs nothing else, and is not reported.
        buildModelsRecorded(m_context, m_inputs.dictionary, m_inputs.wavLocations, m_inputs.modelFolder, symbols,
                            m_inputs.skipExisting);
    } else {
        buildVoiceBank(m_context, m_inputs.dictionary, m_inputs.pitches, m_inputs.voiceBankName,
                       m_inputs.modelFolder, m_inputs.voiceBankFolder);
    }
    m_renderer.end();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dots = false;
        if (m_mode == kBuildModels) {
            m_done = m_context.done;
            m_total = m_context.total;
        } else {
            m_done = m_total = 1;
        }
    }
    // Not running any more before the last refresh is posted, so that refresh sees the end.
    m_running.store(false);
    queued();
}

void BuildRun::onProgress(const std::string& line)
{
    m_renderer.onProgress(line);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lastProgressLine = m_lines; // the piece began with its line end
        m_dots = true;
        m_done = m_context.done; // the builder's counters, read on the thread that writes them
        m_total = m_context.total;
    }
    queued();
}

void BuildRun::onEntryResult(const TSSrcCheckResult& result, const std::string& line)
{
    m_renderer.onEntryResult(result, line);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dots = false;
        if (!line.empty()) {
            m_done = m_context.done + 1;
        }
        if (!result.ok) {
            ++m_failed;
        }
    }
    queued();
}

void BuildRun::onEntryDone(const CTsVoiceCfg& entry, const std::string& location, const TSSrcCheckResult&)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_lastProgressLine >= 0) {
        m_entryLines[m_lastProgressLine] = EntryLine{entry.clone(), location};
        m_lastProgressLine = -1;
    }
}

void BuildRun::onFinished(const TSSrcCheckResult& result)
{
    m_renderer.onFinished(result);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dots = false;
        if (!result.ok) {
            m_failed += std::max<std::int32_t>(1, std::int32_t(result.messages.size()));
        }
    }
    queued();
}

bool BuildRun::dotsOn() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dots;
}

bool BuildRun::dotTick()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_dots) {
            return false;
        }
        m_text += '.';
    }
    queued();
    return true;
}

std::optional<BuildRun::Snapshot> BuildRun::refresh()
{
    Snapshot shot;
    int queuedBefore = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        queuedBefore = m_pending;
        --m_pending;
        if (queuedBefore >= 3) {
            return std::nullopt; // a later refresh shows the text
        }
        shot.text = m_text;
        shot.done = m_done;
        shot.total = m_total;
        shot.failed = m_failed;
        shot.stopped = m_stopped;
    }
    writeLog(shot.text);
    return shot;
}

BuildRun::Snapshot BuildRun::snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return Snapshot{m_text, m_done, m_total, m_failed, m_stopped};
}

std::optional<BuildRun::EntryLine> BuildRun::entryAtLine(int line) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_entryLines.find(line);
    if (found == m_entryLines.end()) {
        return std::nullopt;
    }
    return EntryLine{found->second.entry->clone(), found->second.location};
}

std::string BuildRun::text() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_text;
}

} // namespace TessarinEditor
