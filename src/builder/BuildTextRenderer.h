#pragma once

// The text of a build as the progress dialog shows it and as its log file holds it: a header line,
// one line per entry ("[1/2] type=CV  pitch=C4  symbol=ka    >> OK "), the bank's outcome, and an end
// line. The desktop dialog and lvtb render builds with this one class. Appends may come from any
// thread; each is passed on to the sink under the renderer's lock, in order.

#include "builder/VoiceBankBuilder.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class BuildTextRenderer : public CTSVoiceBankUtilDelegate {
public:
    // The current local time as "%Y-%m-%d %H:%M:%S".
    using Clock = std::function<std::string()>;
    // Receives every piece of text as it is appended.
    using Sink = std::function<void(std::string_view appended)>;

    static std::string localTimeText();

    explicit BuildTextRenderer(Clock clock = localTimeText, Sink sink = {});

    void beginModels();    // "-------------Start to build models <time>-------------\r\n"
    void beginVoiceBank(); // "-------------Start to build voice bank <time>-------------\r\n"
    void end();            // "\r\n\r\n-------------End <time>------------"

    void onProgress(const std::string& line) override;
    void onEntryResult(const TSSrcCheckResult& result, const std::string& line) override;
    void onFinished(const TSSrcCheckResult& result) override;
    // "Error  > " and the message on a line of its own (a line end before it when the text is not
    // at the start of a line, and one after it).
    void onLocationProblem(const TSSrcCheckResult& result) override;

    std::string text() const;
    // An entry or the bank was reported with ok false.
    bool sawError() const;
    int entriesReported() const;

private:
    void append(std::string_view piece);

    Clock m_clock;
    Sink m_sink;
    mutable std::mutex m_lock;
    std::string m_text;
    bool m_sawError = false;
    int m_entries = 0;
};
