#pragma once

// The f0 overlay of the wave annotation editor: for the entry as its markers stand, the f0 track
// the source check reads, the frames the check tests (the connect point pair of a voiced consonant,
// the vowel from its start to its end, a continuant's span), the unvoiced frames among them, and
// the check's verdict. The check is the build's own (checkEntry, as "lvtb check" runs it): the
// frames come from the checker as it tests them, not from a second reckoning here.
//
// No widgets: F0CheckRunner computes on a worker thread, drawF0Overlay draws a result; the editor
// owns a runner and a view draws with it.

#include "builder/VoiceBankBuilder.h"
#include "model/CTsVoiceCfg.h"
#include "model/PhoneticDictionary.h"

#include <QRect>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QPainter;

namespace TessarinEditor {

class CWavData;

inline constexpr double kF0FrameSeconds = 128.0 / 44100.0; // [s] one frame of the analysis's f0 track
inline constexpr double kLongestCheckedRegion = 20.0;       // [s] a longer entry is not checked here

struct F0CheckOutcome {
    int requestNumber = 0;
    bool ok = false;
    QString text;              // "Check: OK", or "Check: " and what the build would say
    double regionStart = 0.0;  // [s] the recording's time of frame 0
    std::vector<float> f0;     // [Hz] one value per frame, 0 where unvoiced
    std::vector<TessarinEngineV6::VoicingTest> tested;

    // Every frame the check tested, in order, each once.
    std::vector<std::int64_t> testedFrames() const;
    // Those with f0 ≤ 0 (a frame past the track counts as unvoiced, as the checker counts it).
    std::vector<std::int64_t> unvoicedFrames() const;
    // [s] where frame k begins in the recording: a marker at a time in [start(k), start(k + 1))
    // falls on frame k.
    double frameStart(std::int64_t frame) const { return regionStart + double(frame) * kF0FrameSeconds; }
};

// The check of entry (its marker fields as given) against its recording in wavFolder. The entry is
// first written and read back as voice.lvcfg holds it, so that the region and the marker frames
// are those a build of the stored entry would use. An entry whose region spans more than
// kLongestCheckedRegion is not checked (ok false, nothing tested, the text says why).
F0CheckOutcome computeF0Check(const CTsVoiceCfg& entry, const QString& wavFolder, const PhoneticDictionary& dictionary);

// Over area (the spectrogram), for the visible range of wav and the spectrogram's frequency axis:
// the tested frames lightly shaded, the unvoiced ones among them in red, and the f0 track.
void drawF0Overlay(QPainter& painter, const QRect& area, const CWavData& wav, const F0CheckOutcome& outcome);

// Runs computeF0Check on its own thread. The newest request replaces one not yet started; a request
// waits until no newer one came for the debounce time, so a drag makes one computation once it
// rests. request() only queues: it never waits for a computation.
class F0CheckRunner {
public:
    // Called on the runner's thread with each finished outcome.
    using Ready = std::function<void(std::shared_ptr<const F0CheckOutcome>)>;

    explicit F0CheckRunner(Ready ready, std::chrono::milliseconds debounce = std::chrono::milliseconds(150));
    // Drops what is pending and waits for a computation under way.
    ~F0CheckRunner();
    F0CheckRunner(const F0CheckRunner&) = delete;
    F0CheckRunner& operator=(const F0CheckRunner&) = delete;

    // Returns the request's number (the outcome carries it).
    int request(std::unique_ptr<CTsVoiceCfg> entry, const QString& wavFolder, PhoneticDictionary dictionary);
    // Forgets a request not yet started.
    void cancel();
    // Until nothing is pending or being computed, and the last outcome was handed over; false on
    // timeout.
    bool waitUntilIdle(std::chrono::milliseconds timeout);

private:
    struct Pending {
        int number = 0;
        std::unique_ptr<CTsVoiceCfg> entry;
        QString wavFolder;
        PhoneticDictionary dictionary;
        std::chrono::steady_clock::time_point due;
    };
    void run();

    Ready m_ready;
    const std::chrono::milliseconds m_debounce;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::unique_ptr<Pending> m_pending;
    bool m_working = false;
    bool m_quit = false;
    int m_counter = 0;
    std::thread m_thread;
};

} // namespace TessarinEditor
