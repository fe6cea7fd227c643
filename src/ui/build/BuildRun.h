#pragma once

// One run of a build command behind the progress dialog, without any window: the worker thread
// that runs the builder, the build text (the builder's text renderer is the delegate), the dots of a
// long entry, the counters of the progress bar, the refresh rule and the log file. The dialog owns
// one BuildRun and only draws what it hands out; tests drive it without a window.
//
// Threads: start(), stop(), dotTick(), refresh() and destruction belong to the window thread. The
// worker appends to the text under the run's lock and then calls the notifier (the dialog posts
// its refresh message from it); the notifier must not block and must not call back into the run.
// The worker never waits for the window thread, so stop() and the destructor can wait for it.

#include "builder/BuildTextRenderer.h"
#include "builder/VoiceBankBuilder.h"
#include "model/PhoneticDictionary.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace TessarinEditor {

// What a command needs, taken from the project when the command starts. Folders are resolved
// (absolute) UTF-8 paths.
struct BuildInputs {
    PhoneticDictionary dictionary;
    std::vector<std::string> wavLocations;
    std::string modelFolder;
    std::optional<std::vector<std::string>> symbols; // none: every entry
    bool skipExisting = true;
    std::string voiceBankName;
    std::string voiceBankFolder;
    std::vector<std::string> pitches;
    int jobs = 1; // entries analysed at once by "Build models"
};

// Entries analysed at once when nothing else is asked: one per processor.
int defaultBuildJobs();

class BuildRun final : private CTSVoiceBankUtilDelegate {
public:
    enum Mode { kBuildModels = 1, kBuildVoiceBank = 2 };

    // What the window shows after a refresh.
    struct Snapshot {
        std::string text;
        std::int32_t done = 0;   // units handled
        std::int32_t total = 0;  // units to do; 0 while not known
        std::int32_t failed = 0; // reports with an error: entries, listed symbols missing, unreadable
                                 // locations; for the bank, the problems of its error list
        bool stopped = false;    // "Stop" was asked before the run ended
    };

    // The entry whose progress line is a given line of the text, and its wav location.
    struct EntryLine {
        std::unique_ptr<CTsVoiceCfg> entry;
        std::string location;
    };

    using Notifier = std::function<void()>;
    using Clock = BuildTextRenderer::Clock;

    // logFile: the file rewritten with the whole text at each shown refresh (empty: none).
    BuildRun(int mode, BuildInputs inputs, std::filesystem::path logFile, Notifier notify,
             Clock clock = BuildTextRenderer::localTimeText);
    // Asks the builder to stop and waits for the worker.
    ~BuildRun() override;
    BuildRun(const BuildRun&) = delete;
    BuildRun& operator=(const BuildRun&) = delete;

    // Writes the header and starts the worker (modes 1 and 2; any other mode only notifies).
    void start();
    // Asks "Build models" to start no further entry and waits until the worker has ended. The
    // entry in progress is completed. Stops the dots. The log file then holds the whole text (every
    // entry handled and the end line), also when the window closes before its queued refreshes run.
    void stop();

    int mode() const { return m_mode; }
    bool running() const { return m_running.load(); }
    bool stopRequested() const { return m_context.stop.load() != 0; }
    // Whether a dot would be appended now (between a progress line and its result).
    bool dotsOn() const;

    // The one-second timer: appends "." and notifies while the dots are on. True when it did.
    bool dotTick();

    // Handles one refresh message: returns what to show, or none when three or more reports are
    // still queued (a later refresh shows them). When it returns a snapshot, the log file has been
    // rewritten with exactly that text.
    std::optional<Snapshot> refresh();

    // What the window shows now, whatever is queued: the whole text and the counters.
    Snapshot snapshot() const;

    // The text so far (under the lock).
    std::string text() const;
    // The entry reported on line (counted from 0 in the text), when that line is an entry's.
    std::optional<EntryLine> entryAtLine(int line) const;
    const std::filesystem::path& logFile() const { return m_logFile; }

private:
    void onProgress(const std::string& line) override;
    void onEntryResult(const TSSrcCheckResult& result, const std::string& line) override;
    void onFinished(const TSSrcCheckResult& result) override;
    void onEntryDone(const CTsVoiceCfg& entry, const std::string& location, const TSSrcCheckResult& result) override;

    void work();
    // Waits for the worker; when there was one, rewrites the log with the whole text.
    void joinAndWriteLog();
    void writeLog(const std::string& text) const;
    // Appended by the renderer, with the renderer's lock held (never the other way round).
    void appendPiece(std::string_view piece);
    void queued(); // pending += 1, then notify

    const int m_mode;
    BuildInputs m_inputs;
    const std::filesystem::path m_logFile;
    Notifier m_notify;
    BuildContext m_context;
    BuildTextRenderer m_renderer;

    mutable std::mutex m_lock; // text, pending, dots, done, total
    std::string m_text;
    int m_pending = 0;
    bool m_dots = false;
    std::int32_t m_done = 0;
    std::int32_t m_total = 0;
    std::int32_t m_failed = 0;
    bool m_stopped = false;
    int m_lines = 0;              // line ends in m_text
    int m_lastProgressLine = -1;  // the line the last progress line began
    std::map<int, EntryLine> m_entryLines;

    std::atomic<bool> m_running{false};
    std::thread m_worker;
};

} // namespace TessarinEditor
