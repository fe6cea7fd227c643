// The playback mixer and players, driven by a simulated output device one buffer at a time.

#include "audio/AudioReader.h"
#include "audio/AudioSrc.h"
#include "audio/CCommonMutex.h"
#include "audio/CToolBoxWavClipPlayer.h"
#include "audio/CWavFilePlayer.h"
#include "audio/PortAudioLibrary.h"
#include "core/MillisecondClock.h"
#include "support/SimulatedAudioDevice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace TessarinEditor;

namespace {

constexpr double kRate = 44100.0;
constexpr int kBuffer = CCommonMutex::kFramesPerBuffer; // 256 frames
constexpr int kClip = CToolBoxWavClipPlayer::kClipBufferLength; // 1410 samples

struct Report {
    bool finished;
    double timeSec;
};

class RecordingListener final : public AudioStreamListener {
public:
    void progress(double timeSec) override { reports.push_back({false, timeSec}); }
    void finished(double timeSec) override { reports.push_back({true, timeSec}); }
    std::vector<Report> reports;
};

// Everything written to a FILE*, read back.
class CapturedSink {
public:
    CapturedSink() : m_file(std::tmpfile()) {}
    ~CapturedSink() { std::fclose(m_file); }
    CapturedSink(const CapturedSink&) = delete;
    CapturedSink& operator=(const CapturedSink&) = delete;
    std::FILE* file() { return m_file; }
    std::string text()
    {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string out;
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file)) {
            out.push_back(char(c));
        }
        return out;
    }

private:
    std::FILE* m_file;
};

// Index of the first difference, or −1; sizes must match.
::testing::AssertionResult sameSamples(const std::vector<std::int16_t>& actual, const std::vector<std::int16_t>& expected)
{
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << actual.size() << " samples, expected " << expected.size();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure() << "sample " << i << " is " << actual[i] << ", expected " << expected[i];
        }
    }
    return ::testing::AssertionSuccess();
}

// The clip heard for a start sample: 1410 samples of the recording from the start (silence
// outside it), the first 88 scaled by j/88 and the last 88 by (1410 − j)/88, toward zero. Computed
// as s·w/88 in double, where the product is exact and the quotient rounded once, apart from the
// player's integer arithmetic. (s·(w/88) would not do: 88·(15/88.0) is 14.999….)
std::vector<std::int16_t> expectedClip(const std::vector<std::int16_t>& data, std::int64_t start)
{
    std::vector<std::int16_t> clip(kClip);
    for (int j = 0; j < kClip; ++j) {
        const std::int64_t i = start + j;
        const double s = i >= 0 && i < std::int64_t(data.size()) ? data[std::size_t(i)] : 0;
        int weight = 88;
        if (j < 88) {
            weight = j;
        } else if (j >= kClip - 88) {
            weight = kClip - j;
        }
        clip[std::size_t(j)] = std::int16_t(std::trunc(s * weight / 88.0));
    }
    return clip;
}

} // namespace

TEST(PlaybackMixer, TwoSourcesArePannedSummedClippedAndFinishOnlyWhenBothEnd)
{
    lvtest::SimulatedAudioDevice device;
    CapturedSink sink;
    PortAudioLibrary library(device, sink.file());
    CCommonMutex stream(library);
    RecordingListener listener;
    stream.setListener(&listener);

    // A: 300 samples of ±30000, pan +0.5 (left × 0.5). B: 600 samples of ±10000, pan −0.5 (right × 0.5).
    std::vector<std::int16_t> a(300), b(600);
    for (std::size_t i = 0; i < b.size(); ++i) {
        const std::int16_t sign = i % 2 == 0 ? 1 : -1;
        if (i < a.size()) {
            a[i] = std::int16_t(30000 * sign);
        }
        b[i] = std::int16_t(10000 * sign);
    }
    WavAudioSrc srcA, srcB;
    srcA.setUp(a.data(), 300, 0, 0);
    srcA.pan = 0.5f;
    srcB.setUp(b.data(), 600, 0, 0);
    srcB.pan = -0.5f;

    device.setTime(2.0);
    WavAudioSrc* const sources[] = {&srcB, &srcA}; // the longer first: the end of the last is not enough
    ASSERT_TRUE(stream.startWith(sources));
    device.runBuffers(4);

    // Frames below 300: left ±(15000 + 10000); right ±(30000 + 5000), beyond 16 bits, so held at
    // 32767 / −32768. Frames 300 … 599: B alone, ±10000 and ±5000. Then silence.
    std::vector<std::int16_t> left(4 * kBuffer), right(4 * kBuffer);
    for (std::size_t i = 0; i < 600; ++i) {
        const bool positive = i % 2 == 0;
        left[i] = std::int16_t(i < 300 ? (positive ? 25000 : -25000) : (positive ? 10000 : -10000));
        right[i] = std::int16_t(i < 300 ? (positive ? 32767 : -32768) : (positive ? 5000 : -5000));
    }
    EXPECT_TRUE(sameSamples(device.recorded(0, stream), left));
    EXPECT_TRUE(sameSamples(device.recorded(1, stream), right));

    // Buffer 2 ends A but not B: progress. Buffer 3 ends B: finished, again at buffer 4. Progress
    // time: stream clock − start (2.0) − output latency; finished time: frames played ÷ rate.
    ASSERT_EQ(listener.reports.size(), 4u);
    const double latency = device.outputLatency;
    EXPECT_FALSE(listener.reports[0].finished);
    EXPECT_TRUE(lvtest::near(listener.reports[0].timeSec, -latency, 1e-12, "first buffer at the start time"));
    EXPECT_FALSE(listener.reports[1].finished);
    EXPECT_TRUE(lvtest::near(listener.reports[1].timeSec, kBuffer / kRate - latency, 1e-12, "one buffer later"));
    EXPECT_TRUE(listener.reports[2].finished);
    EXPECT_DOUBLE_EQ(listener.reports[2].timeSec, 3 * kBuffer / kRate);
    EXPECT_TRUE(listener.reports[3].finished);
    EXPECT_DOUBLE_EQ(listener.reports[3].timeSec, 4 * kBuffer / kRate);
}

TEST(PlaybackFilePlayer, StartBeforeZeroPlaysSilenceFirstThenTheFileWhileRepeatedPlaysAreIgnored)
{
    lvtest::SimulatedAudioDevice device;
    CapturedSink sink;
    PortAudioLibrary library(device, sink.file());
    CWavFilePlayer player(library);
    RecordingListener listener;

    std::vector<std::int16_t> data(1000), other(1000, 7);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = std::int16_t(i + 1);
    }

    // From −0.5 s: a delay of 22050 frames = 86 whole buffers and 34 frames, longer than a buffer
    // at first and shorter than one in buffer 87, which carries samples 0 … 221 from frame 34 on.
    // The position then reaches 1000 in buffer 91.
    ASSERT_TRUE(player.play(data.data(), 1000, -0.5, &listener));
    device.runBuffers(10);
    EXPECT_TRUE(player.play(other.data(), 1000, 0.0, &listener)); // already playing: nothing changes
    device.runBuffers(82);

    std::vector<std::int16_t> expected(92 * kBuffer, 0);
    std::copy(data.begin(), data.end(), expected.begin() + 22050);
    EXPECT_TRUE(sameSamples(device.recorded(0, player.stream()), expected));
    EXPECT_TRUE(sameSamples(device.recorded(1, player.stream()), expected));
    device.forgetRecording(player.stream());
    ASSERT_EQ(listener.reports.size(), 92u);
    for (std::size_t i = 0; i < 90; ++i) {
        EXPECT_FALSE(listener.reports[i].finished) << "buffer " << i + 1;
    }
    EXPECT_TRUE(listener.reports[90].finished);
    EXPECT_DOUBLE_EQ(listener.reports[90].timeSec, 91 * kBuffer / kRate);

    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(device.isRunning(player.stream()));

    // From 0.25 s: sample 11025 on, in frame 0 at once.
    std::vector<std::int16_t> longer(12000);
    for (std::size_t i = 0; i < longer.size(); ++i) {
        longer[i] = std::int16_t(i % 30000);
    }
    ASSERT_TRUE(player.play(longer.data(), 12000, 0.25, &listener));
    device.runBuffer();
    const std::vector<std::int16_t> head(longer.begin() + 11025, longer.begin() + 11025 + kBuffer);
    EXPECT_TRUE(sameSamples(device.recorded(0, player.stream()), head));
}

TEST(PlaybackClipPlayer, ClipsAtTheStartInTheMiddleInTheLastTenMillisecondsAndBeforeTheStart)
{
    Tessarin::ManualMillisecondClock clock(5000);
    const Tessarin::ScopedProcessClock useClock(clock);
    lvtest::SimulatedAudioDevice device;
    CapturedSink sink;
    PortAudioLibrary library(device, sink.file());
    CToolBoxWavClipPlayer player(library);

    // 22491 samples: from 0.5 s (sample 22050) on only the last 441 (10 ms) remain.
    std::vector<std::int16_t> data(22491);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = std::int16_t(int(i * 37 % 20001) - 10000);
    }
    // −1/128 s is −344.53 samples: 344 samples of silence come first.
    const struct {
        double startSec;
        std::int64_t startSample;
    } cases[] = {{0.0, 0}, {0.25, 11025}, {0.5, 22050}, {-1.0 / 128, -344}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.startSec);
        clock.advance(100);
        player.stop();
        player.playClip(data.data(), std::int32_t(data.size()), c.startSec);
        ASSERT_TRUE(player.isActive());
        device.runBuffers(6); // 1536 frames: the clip, then silence
        std::vector<std::int16_t> expected = expectedClip(data, c.startSample);
        expected.resize(6 * kBuffer, 0);
        EXPECT_TRUE(sameSamples(device.recorded(0, player.stream()), expected));
        device.forgetRecording(player.stream());
    }
    // The last-10-ms clip: 441 samples, then silence through the faded end.
    const std::vector<std::int16_t> tail = expectedClip(data, 22050);
    EXPECT_EQ(tail[440], data[22490]);
    EXPECT_EQ(tail[441], 0);
    // The middle clip's fade-out: its last sample is scaled by 1/88, toward zero.
    EXPECT_EQ(expectedClip(data, 11025)[kClip - 1], std::int16_t(data[11025 + kClip - 1] / 88));
}

TEST(PlaybackClipPlayer, ThrottleQueueCapAndTheNextClipOnFinished)
{
    Tessarin::ManualMillisecondClock clock(1000);
    const Tessarin::ScopedProcessClock useClock(clock);
    lvtest::SimulatedAudioDevice device;
    CapturedSink sink;
    PortAudioLibrary library(device, sink.file());
    CToolBoxWavClipPlayer player(library);

    // Region k (2000 samples from 2000·k) holds 88·(k + 1), so frame j of its clip is (k + 1)·j
    // in the fade-in, 88·(k + 1) in the body and (k + 1)·(1410 − j) in the fade-out.
    constexpr int kRegions = 13;
    std::vector<std::int16_t> data(kRegions * 2000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = std::int16_t(88 * (i / 2000 + 1));
    }
    const auto request = [&](std::uint64_t tick, int region) {
        clock.set(tick);
        player.playClip(data.data(), std::int32_t(data.size()), region * 2000 / kRate);
    };
    request(1000, 0);  // starts the stream
    request(1010, 10); // 10 ms after the last accepted: dropped
    request(1024, 11); // 24 ms: dropped
    request(1025, 1);  // 25 ms: waits behind 0
    request(1050, 2);  // overtakes 1 before it started: 1 is dropped
    request(1075, 3);
    request(1100, 4);
    request(1125, 5);
    request(1150, 6);
    request(1175, 7);  // the queue: 0 playing, 7 waiting
    request(1190, 12); // dropped (throttle)
    device.runBuffers(6 * 6 + 4);

    // Each clip fills 6 buffers (1410 samples, then silence up to 1536) and the next starts in the
    // buffer after its predecessor's end: 0, then straight to the latest, 7; nothing after it.
    const auto clipOf = [&](int region) { return expectedClip(data, region * 2000); };
    std::vector<std::int16_t> expected;
    for (int region : {0, 7}) {
        std::vector<std::int16_t> clip = clipOf(region);
        clip.resize(6 * kBuffer, 0);
        expected.insert(expected.end(), clip.begin(), clip.end());
    }
    expected.resize(40 * kBuffer, 0);
    EXPECT_TRUE(sameSamples(device.recorded(0, player.stream()), expected));
    device.forgetRecording(player.stream());

    // All played, the stream still running: a new clip is taken by the very next buffer.
    request(2000, 8);
    device.runBuffer();
    const std::vector<std::int16_t> clip8 = clipOf(8);
    EXPECT_TRUE(sameSamples(device.recorded(0, player.stream()), std::vector<std::int16_t>(clip8.begin(), clip8.begin() + kBuffer)));
    EXPECT_EQ(device.callbacks(player.stream()), 41);
}

TEST(PlaybackLibrary, WithoutAnOutputDeviceOneLineIsPrintedAndEveryPlayerStaysSilent)
{
    Tessarin::ManualMillisecondClock clock(1000);
    const Tessarin::ScopedProcessClock useClock(clock);
    lvtest::SimulatedAudioDevice device;
    device.hasDevice = false;
    CapturedSink sink;
    {
        PortAudioLibrary library(device, sink.file());
        CWavFilePlayer filePlayer(library);
        CToolBoxWavClipPlayer clipPlayer(library);
        RecordingListener listener;
        const std::vector<std::int16_t> data(5000, 1000);

        EXPECT_FALSE(filePlayer.play(data.data(), 5000, 0.0, &listener));
        EXPECT_FALSE(filePlayer.isPlaying());
        for (int i = 0; i < 3; ++i) {
            clock.advance(30);
            clipPlayer.playClip(data.data(), 5000, 0.01 * i);
            EXPECT_FALSE(clipPlayer.isActive());
        }
        library.playSound(data);
        clipPlayer.stop();
        filePlayer.stop();
        EXPECT_TRUE(listener.reports.empty());
    }
    EXPECT_EQ(sink.text(), kNoDefaultOutputDeviceMessage);
    EXPECT_EQ(device.openCalls, 0);
}

TEST(PlaybackLibrary, FailedStartOrOpenIsPrintedWithTheLibrarysNumberAndTextAndLeavesStreamsSilent)
{
    const std::vector<std::int16_t> data(5000, 1000);
    {
        // Initialisation fails: one report, the library terminated again, no stream tried.
        lvtest::SimulatedAudioDevice device;
        device.initializeError = paInsufficientMemory;
        CapturedSink sink;
        {
            PortAudioLibrary library(device, sink.file());
            CWavFilePlayer first(library);
            CWavFilePlayer second(library);
            EXPECT_FALSE(first.play(data.data(), 5000, 0.0, nullptr));
        }
        EXPECT_EQ(sink.text(), "An error occured while using the portaudio \nError number: -9992\n"
                               "Error message: simulated error -9992\n");
        EXPECT_EQ(device.initializeCalls, 1);
        EXPECT_EQ(device.terminateCalls, 1);
        EXPECT_EQ(device.openCalls, 0);
    }
    {
        // Opening fails: each stream (the default one, then the player's) reports it.
        lvtest::SimulatedAudioDevice device;
        device.openError = paDeviceUnavailable;
        CapturedSink sink;
        {
            PortAudioLibrary library(device, sink.file());
            CWavFilePlayer player(library);
            EXPECT_FALSE(player.play(data.data(), 5000, 0.0, nullptr));
        }
        const std::string report = "An error occured while using the portaudio \nError number: -9985\n"
                                   "Error message: simulated error -9985\n";
        EXPECT_EQ(sink.text(), report + report);
        EXPECT_EQ(device.openStreams(), 0);
    }
    {
        // The streams that did open are closed with their owners.
        lvtest::SimulatedAudioDevice device;
        CapturedSink sink;
        {
            PortAudioLibrary library(device, sink.file());
            CWavFilePlayer filePlayer(library);
            CToolBoxWavClipPlayer clipPlayer(library);
            EXPECT_EQ(device.openStreams(), 3);
        }
        EXPECT_EQ(device.openStreams(), 0);
        EXPECT_EQ(sink.text(), "");
    }
}

// The real library on this machine: with or without a sound card, starting it prints nothing of
// ALSA's or JACK's, at most the one missing-device line, and a second player adds nothing.
TEST(PlaybackLibrary, SystemLibraryStartsWithoutNoise)
{
    lvtest::TempDir dir;
    const auto capturePath = dir / "stderr.txt";
    std::FILE* capture = std::fopen(capturePath.c_str(), "w");
    ASSERT_NE(capture, nullptr);
    std::fflush(stderr);
    const int saved = ::dup(2);
    ASSERT_GE(saved, 0);
    ::dup2(::fileno(capture), 2);
    {
        CWavFilePlayer first;
        CToolBoxWavClipPlayer second;
    }
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::fclose(capture);

    const auto bytes = lvtest::readFile(capturePath);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(text.empty() || text == kNoDefaultOutputDeviceMessage) << text;
}

TEST(PlaybackSounds, ConfirmationSoundsAreShortPlayableRecordingsAndReplaceEachOther)
{
    const std::filesystem::path folder = LV_SOUNDS_DIR;
    std::vector<std::vector<std::int16_t>> sounds;
    for (const char* name : {"entry-stored.wav", "entry-opened.wav"}) {
        SCOPED_TRACE(name);
        const auto path = folder / name;
        CWavBuf wav;
        ASSERT_TRUE(readAudioFile(path, wav));
        ASSERT_TRUE(passesFormatGate(wav, path.string()));
        sounds.push_back(pcm16Samples(wav));
        const auto& s = sounds.back();
        // Short enough to confirm without holding anything up; loud enough to hear, not clipped.
        EXPECT_GT(s.size(), std::size_t(0.05 * kRate));
        EXPECT_LT(s.size(), std::size_t(0.3 * kRate));
        int peak = 0;
        for (std::int16_t v : s) {
            peak = std::max(peak, std::abs(int(v)));
        }
        EXPECT_GT(peak, 32767 / 10);
        EXPECT_LT(peak, 32767 * 9 / 10);
    }

    // On the default stream a new sound replaces the one playing, from the next buffer on.
    lvtest::SimulatedAudioDevice device;
    CapturedSink sink;
    PortAudioLibrary library(device, sink.file());
    library.playSound(sounds[0]);
    device.runBuffers(2);
    library.playSound(sounds[1]);
    device.runBuffers(int(sounds[1].size()) / kBuffer + 2);
    const std::vector<std::int16_t> left = device.recorded(0, library.defaultStream());
    std::vector<std::int16_t> expected(sounds[0].begin(), sounds[0].begin() + 2 * kBuffer);
    expected.insert(expected.end(), sounds[1].begin(), sounds[1].end());
    expected.resize(left.size(), 0);
    EXPECT_TRUE(sameSamples(left, expected));
}
