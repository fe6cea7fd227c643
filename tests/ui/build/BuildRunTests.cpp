// The run behind the progress dialog without any window: the test's own thread plays the window
// thread (a plain queue of refresh messages instead of posted events), so that the worker, the
// builder's parallel jobs, the dots and the refreshes run side by side under ThreadSanitizer.

#include "demo/DemoSinger.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectDocument.h"
#include "support/TestSupport.h"
#include "builder/ModelManifest.h"
#include "ui/build/BuildRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <regex>

namespace fs = std::filesystem;
using namespace TessarinEditor;

namespace {

const std::string kEndLine = "\r\n\r\n-------------End T------------";

// What the dialog's event queue does for the run: the worker posts, the window thread takes.
class Mailbox {
public:
    void post()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_posted;
        }
        m_changed.notify_all();
    }
    // Waits at most `wait` for messages; returns how many were taken.
    int take(std::chrono::milliseconds wait)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait_for(guard, wait, [&] { return m_posted > 0; });
        const int n = m_posted;
        m_posted = 0;
        return n;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_posted = 0;
};

using lvtest::readText;

// The text without the dots that the window thread's ticks put after a progress line while its
// entry was still running (with two jobs a tick can fall between a progress line and its result).
std::string withoutDots(const std::string& text)
{
    static const std::regex dots(">> \\.+");
    return std::regex_replace(text, dots, ">> ");
}


class BuildRunThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        const lvdemo::DemoOptions o = lvdemo::smallDemoOptions();
        std::string error;
        auto demo = lvdemo::writeDemoProject(m_dir.path(), error, o);
        ASSERT_TRUE(demo) << error;
        m_demo = *demo;
        ProjectDocument document;
        ASSERT_TRUE(document.open(m_demo.projectFile));
        m_inputs.dictionary = PhoneticDictionary::fromProject(*document.model());
        for (const fs::path& location : m_demo.wavLocations) {
            m_inputs.wavLocations.push_back(location.string());
        }
        m_inputs.modelFolder = m_demo.modelFolder.string();
        m_inputs.voiceBankFolder = (m_dir / "bank").string();
        m_inputs.voiceBankName = "Demo";
        m_inputs.pitches = {"C4"};
        m_inputs.skipExisting = false;
        m_inputs.jobs = 2;
    }

    lvtest::TempDir m_dir;
    lvdemo::DemoProject m_demo;
    BuildInputs m_inputs;
    Mailbox m_mail;
};

// The window thread's loop: every message refreshes, and a dot is tried between messages, until
// the refresh that shows the end line. Every shown text and counter pair is kept.
std::vector<BuildRun::Snapshot> follow(BuildRun& run, Mailbox& mail)
{
    std::vector<BuildRun::Snapshot> shown;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < giveUp) {
        for (int n = mail.take(std::chrono::milliseconds(5)); n > 0; --n) {
            if (auto shot = run.refresh()) {
                shown.push_back(std::move(*shot));
            }
        }
        if (!shown.empty() && shown.back().text.find("-------------End ") != std::string::npos) {
            break;
        }
        run.dotTick();
    }
    return shown;
}

} // namespace

TEST_F(BuildRunThreads, TheWindowThreadShowsAGrowingTextWhileTwoJobsBuild)
{
    const fs::path log = m_dir / "log.txt";
    BuildRun run(BuildRun::kBuildModels, m_inputs, log, [this] { m_mail.post(); }, [] { return std::string("T"); });
    run.start();
    const std::vector<BuildRun::Snapshot> shown = follow(run, m_mail);
    ASSERT_FALSE(shown.empty());
    EXPECT_FALSE(run.running());

    // The text only grows and the bar only moves forward.
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text.compare(0, shown[i - 1].text.size(), shown[i - 1].text), 0) << i;
        EXPECT_GE(shown[i].done, shown[i - 1].done) << i;
        if (shown[i].total > 0) {
            EXPECT_LE(shown[i].done, shown[i].total) << i;
        }
    }
    const BuildRun::Snapshot& last = shown.back();
    EXPECT_EQ(last.text, run.text());
    EXPECT_EQ(last.done, 8);
    EXPECT_EQ(last.total, 8);
    EXPECT_EQ(last.text.rfind(kEndLine), last.text.size() - kEndLine.size()) << last.text;
    EXPECT_EQ(lvtest::occurrences(last.text, "\r\n["), 8u) << last.text;
    EXPECT_EQ(lvtest::occurrences(withoutDots(last.text), "    >> OK "), 8u) << last.text;
    EXPECT_EQ(readText(log), last.text);
    EXPECT_FALSE(run.dotTick()); // nothing in progress any more
    EXPECT_EQ(lvtest::modelFileCount(m_demo.modelFolder), 8);
    // What each was built from is recorded, as lvtb's builds record it: a check passes them unanalysed.
    EXPECT_EQ(ModelManifest::load(m_demo.modelFolder).size(), 8u);
    EXPECT_EQ(last.failed, 0);
    EXPECT_FALSE(last.stopped);

    // Each entry's line of the text leads back to that entry and its location; no other line does.
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> out(1);
        for (const char c : last.text) {
            if (c == '\n') {
                out.emplace_back();
            } else if (c != '\r') {
                out.back() += c;
            }
        }
        return out;
    }();
    int entries = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::optional<BuildRun::EntryLine> at = run.entryAtLine(int(i));
        EXPECT_EQ(at.has_value(), lines[i].rfind("[", 0) == 0) << i << ": " << lines[i];
        if (at) {
            ++entries;
            const std::string named = "  pitch=" + at->entry->pitch + "  symbol=" + at->entry->symbol + "    >> ";
            EXPECT_NE(lines[i].find(named), std::string::npos) << lines[i];
            EXPECT_EQ(at->location, m_inputs.wavLocations[0]);
        }
    }
    EXPECT_EQ(entries, 8);
}

TEST_F(BuildRunThreads, AWindowThatFallsBehindShowsOnlyTheLastRefreshesAndTheWholeText)
{
    // The window thread does nothing until the bank is built: every report is queued.
    BuildInputs models = m_inputs;
    {
        Mailbox ignored;
        BuildRun build(BuildRun::kBuildModels, models, {}, [&] { ignored.post(); });
        build.start();
        follow(build, ignored);
    }
    const fs::path log = m_dir / "bank.txt";
    BuildRun run(BuildRun::kBuildVoiceBank, m_inputs, log, [this] { m_mail.post(); }, [] { return std::string("T"); });
    run.start();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (run.running() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(run.running());
    run.stop(); // the bank is built: this only waits for the worker, whose last report comes after it stops running
    const int queued = m_mail.take(std::chrono::milliseconds(0));
    ASSERT_GE(queued, 3); // the header, the finish and the end at least
    std::vector<BuildRun::Snapshot> shown;
    for (int n = queued; n > 0; --n) {
        if (auto shot = run.refresh()) {
            shown.push_back(std::move(*shot));
        }
    }
    // Refreshes taken with three or more still queued show nothing; the last two show all of it.
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, shown[1].text);
    EXPECT_EQ(shown[1].text, run.text());
    EXPECT_NE(shown[1].text.find("Voice bank complete !!! "), std::string::npos) << shown[1].text;
    EXPECT_EQ(shown[1].text.rfind(kEndLine), shown[1].text.size() - kEndLine.size()) << shown[1].text;
    EXPECT_EQ(shown[1].done, 1);
    EXPECT_EQ(shown[1].total, 1);
    EXPECT_EQ(readText(log), shown[1].text);
}

TEST_F(BuildRunThreads, StopInTheMiddleEndsTheTextAndKeepsTheFinishedEntries)
{
    const fs::path log = m_dir / "stopped.txt";
    BuildRun run(BuildRun::kBuildModels, m_inputs, log, [this] { m_mail.post(); }, [] { return std::string("T"); });
    run.start();
    std::vector<BuildRun::Snapshot> shown;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while ((shown.empty() || shown.back().text.find(">> OK") == std::string::npos) &&
           std::chrono::steady_clock::now() < giveUp) {
        for (int n = m_mail.take(std::chrono::milliseconds(5)); n > 0; --n) {
            if (auto shot = run.refresh()) {
                shown.push_back(std::move(*shot));
            }
        }
    }
    ASSERT_FALSE(shown.empty());
    run.stop();
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(run.stopRequested());
    EXPECT_FALSE(run.dotsOn());
    const std::vector<BuildRun::Snapshot> after = follow(run, m_mail);
    ASSERT_FALSE(after.empty());
    const std::string& text = after.back().text;
    EXPECT_TRUE(after.back().stopped);
    EXPECT_EQ(text, run.text());
    EXPECT_EQ(text.rfind(kEndLine), text.size() - kEndLine.size()) << text;
    // Every entry begun was finished (a stop never leaves a half-built entry), and fewer than all began.
    const auto begun = std::ptrdiff_t(lvtest::occurrences(text, "\r\n["));
    EXPECT_EQ(std::ptrdiff_t(lvtest::occurrences(withoutDots(text), "    >> OK ")), begun) << text;
    EXPECT_LT(begun, 8) << text;
    EXPECT_EQ(lvtest::modelFileCount(m_demo.modelFolder), begun);
    EXPECT_EQ(std::ptrdiff_t(ModelManifest::load(m_demo.modelFolder).size()), begun);
    EXPECT_EQ(readText(log), text);
}
