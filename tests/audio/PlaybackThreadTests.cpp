// Playback with the device on a thread of its own, as the library runs it: the editor's thread
// plays, stops and requests clips while callbacks mix and report. Run under ThreadSanitizer in CI.

#include "audio/CToolBoxWavClipPlayer.h"
#include "audio/CWavFilePlayer.h"
#include "audio/PortAudioLibrary.h"
#include "core/MillisecondClock.h"
#include "support/SimulatedAudioDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace TessarinEditor;

namespace {

// Counts finished reports; the editor's thread waits for them.
class WaitingListener final : public AudioStreamListener {
public:
    void progress(double /*timeSec*/) override {}
    void finished(double timeSec) override
    {
        {
            const std::lock_guard guard(m_mutex);
            ++m_finished;
            m_lastTime = timeSec;
        }
        m_changed.notify_all();
    }
    // False when no finished report arrives within the time.
    bool waitForFinished(std::chrono::milliseconds limit, double& timeSec)
    {
        std::unique_lock lock(m_mutex);
        const bool arrived = m_changed.wait_for(lock, limit, [&] { return m_finished > 0; });
        timeSec = m_lastTime;
        m_finished = 0;
        return arrived;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_finished = 0;
    double m_lastTime = 0.0;
};

} // namespace

TEST(PlaybackThreads, ReportsReachTheEditorWhileItPlaysStopsAndAuditions)
{
    Tessarin::ManualMillisecondClock clock(1000);
    const Tessarin::ScopedProcessClock useClock(clock);
    lvtest::SimulatedAudioDevice device;
    device.record = false;
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        PortAudioLibrary library(device, sink);
        std::vector<std::int16_t> data(4000);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = std::int16_t(i % 2000);
        }

        std::atomic<bool> running{true};
        std::thread deviceThread([&] {
            while (running.load()) {
                device.runBuffer();
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });

        {
            auto filePlayer = std::make_unique<CWavFilePlayer>(library);
            auto clipPlayer = std::make_unique<CToolBoxWavClipPlayer>(library);
            WaitingListener listener;
            for (int round = 0; round < 20; ++round) {
                // A file of 2000 samples ends after 8 buffers; the report says so.
                ASSERT_TRUE(filePlayer->play(data.data(), 2000, -0.001 * (round % 3), &listener));
                double finishedAt = 0.0;
                ASSERT_TRUE(listener.waitForFinished(std::chrono::seconds(10), finishedAt)) << "round " << round;
                EXPECT_GE(finishedAt, 2000 / 44100.0);
                filePlayer->stop();
                for (int clip = 0; clip < 8; ++clip) {
                    clock.advance(clip % 3 == 0 ? 10 : 30);
                    clipPlayer->playClip(data.data(), 4000, 0.001 * clip);
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                }
                if (round % 4 == 3) {
                    clipPlayer->stop();
                }
                if (round % 5 == 4) {
                    // The editor closing and coming back: players go while the device runs.
                    filePlayer->stream().setListener(nullptr);
                    filePlayer = std::make_unique<CWavFilePlayer>(library);
                    clipPlayer = std::make_unique<CToolBoxWavClipPlayer>(library);
                }
            }
        }
        running.store(false);
        deviceThread.join();
    }
    std::fclose(sink);
}
