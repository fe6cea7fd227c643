#include "builder/BuildTextRenderer.h"

#include <ctime>

std::string BuildTextRenderer::localTimeText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

BuildTextRenderer::BuildTextRenderer(Clock clock, Sink sink) : m_clock(std::move(clock)), m_sink(std::move(sink)) {}

void BuildTextRenderer::append(std::string_view piece)
{
    // Called with the lock held, so pieces reach the sink in the order they join the text.
    m_text += piece;
    if (m_sink) {
        m_sink(piece);
    }
}

void BuildTextRenderer::beginModels()
{
    std::lock_guard<std::mutex> guard(m_lock);
    append("-------------Start to build models " + m_clock() + "-------------\r\n");
}

void BuildTextRenderer::beginVoiceBank()
{
    std::lock_guard<std::mutex> guard(m_lock);
    append("-------------Start to build voice bank " + m_clock() + "-------------\r\n");
}

void BuildTextRenderer::end()
{
    std::lock_guard<std::mutex> guard(m_lock);
    append("\r\n\r\n-------------End " + m_clock() + "------------");
}

void BuildTextRenderer::onProgress(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_lock);
    append("\r\n" + line + "    >> ");
}

void BuildTextRenderer::onEntryResult(const TSSrcCheckResult& result, const std::string&)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_entries;
    if (result.ok) {
        std::string piece = "OK ";
        if (!result.messages.empty()) {
            piece += " > " + result.messages.front();
        }
        append(piece);
        return;
    }
    m_sawError = true;
    std::string piece = "Error  > ";
    if (!result.messages.empty()) {
        if (result.codes.empty()) {
            piece += result.messages.front();
        } else {
            piece += "  ";
            piece += resultCodeText(result.codes.front());
        }
    }
    append(piece);
}

void BuildTextRenderer::onLocationProblem(const TSSrcCheckResult& result)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sawError = true;
    // A line of its own: the reports of listed symbols that a location lacks, which may come just
    // before or after it, end no line.
    const bool atLineStart = m_text.empty() || m_text.back() == '\n';
    append(std::string(atLineStart ? "" : "\r\n") + "Error  > " +
           (result.messages.empty() ? std::string() : result.messages.front()) + "\r\n");
}

void BuildTextRenderer::onFinished(const TSSrcCheckResult& result)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (result.ok) {
        append("\r\nVoice bank complete !!! \r\n");
        return;
    }
    m_sawError = true;
    if (result.messages.empty()) {
        return;
    }
    std::string piece = "\r\nError list :";
    for (std::size_t i = 0; i < result.messages.size(); ++i) {
        piece += "\r\n" + std::to_string(i + 1) + "\t| " + result.messages[i] + "  ";
        if (i < result.codes.size()) {
            piece += resultCodeText(result.codes[i]);
        }
    }
    append(piece);
}

std::string BuildTextRenderer::text() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_text;
}

bool BuildTextRenderer::sawError() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sawError;
}

int BuildTextRenderer::entriesReported() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_entries;
}
