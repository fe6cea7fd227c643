#pragma once

// A pretend audio library with one output device, for driving playback without a sound card.
// Streams open, start, abort and close as the library's do; the device runs the callbacks of the
// running streams one buffer at a time when told (runBuffer), on a clock of its own that advances
// by one buffer each time. Like a strict device it refuses any stream format but the one the
// mixer is written for (stereo 16-bit output at 44100 Hz), so a test never passes on a format the
// mixer does not produce.
//
// Thread-safe in the ways the library is: runBuffer() may run on a "device" thread while another
// thread starts and aborts streams; aborting waits for a callback under way. Read recordings only
// while no buffer runs.

#include "audio/CCommonMutex.h"
#include "audio/PortAudioApi.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace lvtest {

class SimulatedAudioDevice final : public TessarinEditor::PortAudioApi {
public:
    static constexpr double kRate = 44100.0;

    // What the device and library do; change before the first stream opens.
    bool hasDevice = true;
    PaError initializeError = paNoError;
    PaError openError = paNoError;
    PaError startError = paNoError;
    double defaultLowOutputLatency = 0.0087; // [s]
    double outputLatency = 0.0116;           // [s] what an opened stream reports
    bool record = true;                      // keep every buffer a stream produces

    int initializeCalls = 0;
    int terminateCalls = 0;
    int openCalls = 0;

    const char* getErrorText(PaError error) override
    {
        m_errorText = "simulated error " + std::to_string(error);
        return m_errorText.c_str();
    }

    PaError initialize() override
    {
        ++initializeCalls;
        return initializeError;
    }

    PaError terminate() override
    {
        ++terminateCalls;
        return paNoError;
    }

    PaDeviceIndex getDefaultOutputDevice() override { return hasDevice ? 0 : paNoDevice; }

    const PaDeviceInfo* getDeviceInfo(PaDeviceIndex device) override
    {
        if (device != 0 || !hasDevice) {
            return nullptr;
        }
        m_deviceInfo.name = "simulated output";
        m_deviceInfo.maxOutputChannels = 2;
        m_deviceInfo.defaultLowOutputLatency = defaultLowOutputLatency;
        m_deviceInfo.defaultSampleRate = kRate;
        return &m_deviceInfo;
    }

    PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                       double sampleRate, unsigned long framesPerBuffer, PaStreamFlags /*flags*/,
                       PaStreamCallback* callback, void* userData) override
    {
        ++openCalls;
        if (openError != paNoError) {
            return openError;
        }
        if (input != nullptr || output == nullptr || output->device != 0) {
            return paInvalidDevice;
        }
        if (output->channelCount != 2) {
            return paInvalidChannelCount;
        }
        if (output->sampleFormat != paInt16) {
            return paSampleFormatNotSupported;
        }
        if (sampleRate != kRate) {
            return paInvalidSampleRate;
        }
        if (framesPerBuffer == 0 || callback == nullptr) {
            return paBadIODeviceCombination;
        }
        const std::lock_guard guard(m_callbackMutex);
        Stream& s = m_streams.emplace_back();
        s.callback = callback;
        s.userData = userData;
        s.buffer.assign(framesPerBuffer * 2, 0);
        s.info.structVersion = 1;
        s.info.outputLatency = outputLatency;
        s.info.sampleRate = sampleRate;
        *stream = &s;
        return paNoError;
    }

    PaError startStream(PaStream* stream) override
    {
        if (startError != paNoError) {
            return startError;
        }
        const std::lock_guard guard(m_callbackMutex);
        Stream* s = find(stream);
        if (s == nullptr) {
            return paBadStreamPtr;
        }
        if (s->running) {
            return paStreamIsNotStopped;
        }
        s->running = true;
        ++s->starts;
        return paNoError;
    }

    PaError abortStream(PaStream* stream) override
    {
        const std::lock_guard guard(m_callbackMutex); // waits for a callback under way
        Stream* s = find(stream);
        if (s == nullptr) {
            return paBadStreamPtr;
        }
        if (!s->running) {
            return paStreamIsStopped;
        }
        s->running = false;
        return paNoError;
    }

    PaError closeStream(PaStream* stream) override
    {
        const std::lock_guard guard(m_callbackMutex);
        Stream* s = find(stream);
        if (s == nullptr) {
            return paBadStreamPtr;
        }
        s->running = false;
        s->closed = true;
        return paNoError;
    }

    const PaStreamInfo* getStreamInfo(PaStream* stream) override
    {
        const std::lock_guard guard(m_callbackMutex);
        Stream* s = find(stream);
        return s != nullptr ? &s->info : nullptr;
    }

    // Called from inside callbacks: reads only the clock.
    PaTime getStreamTime(PaStream* /*stream*/) override { return m_time.load(); }

    // Runs one buffer of every running stream at the device's time, then moves the time on by
    // one buffer of 256 frames.
    void runBuffer()
    {
        {
            const std::lock_guard guard(m_callbackMutex);
            PaStreamCallbackTimeInfo timeInfo{};
            timeInfo.currentTime = m_time.load();
            timeInfo.outputBufferDacTime = timeInfo.currentTime + outputLatency;
            for (Stream& s : m_streams) {
                if (!s.running) {
                    continue;
                }
                const unsigned long frames = s.buffer.size() / 2;
                s.callback(nullptr, s.buffer.data(), frames, &timeInfo, 0, s.userData);
                ++s.callbacks;
                if (record) {
                    s.recording.insert(s.recording.end(), s.buffer.begin(), s.buffer.end());
                }
            }
        }
        m_time.store(m_time.load() + TessarinEditor::CCommonMutex::kFramesPerBuffer / kRate);
    }

    void runBuffers(int n)
    {
        for (int i = 0; i < n; ++i) {
            runBuffer();
        }
    }

    double time() const { return m_time.load(); }          // [s]
    void setTime(double seconds) { m_time.store(seconds); } // [s]

    bool isRunning(const TessarinEditor::CCommonMutex& stream)
    {
        const std::lock_guard guard(m_callbackMutex);
        const Stream* s = find(stream.handle());
        return s != nullptr && s->running;
    }

    // Interleaved stereo values of the last buffer the stream produced.
    std::span<const std::int16_t> lastBuffer(const TessarinEditor::CCommonMutex& stream)
    {
        const Stream* s = find(stream.handle());
        return s != nullptr ? std::span<const std::int16_t>(s->buffer) : std::span<const std::int16_t>();
    }

    // One channel (0 left, 1 right) of everything the stream produced while recording.
    std::vector<std::int16_t> recorded(int channel, const TessarinEditor::CCommonMutex& stream)
    {
        const std::lock_guard guard(m_callbackMutex);
        std::vector<std::int16_t> out;
        if (const Stream* s = find(stream.handle()); s != nullptr) {
            for (std::size_t i = std::size_t(channel); i < s->recording.size(); i += 2) {
                out.push_back(s->recording[i]);
            }
        }
        return out;
    }

    void forgetRecording(const TessarinEditor::CCommonMutex& stream)
    {
        const std::lock_guard guard(m_callbackMutex);
        if (Stream* s = find(stream.handle()); s != nullptr) {
            s->recording.clear();
        }
    }

    // Callbacks run on the stream so far.
    int callbacks(const TessarinEditor::CCommonMutex& stream)
    {
        const std::lock_guard guard(m_callbackMutex);
        const Stream* s = find(stream.handle());
        return s != nullptr ? s->callbacks : 0;
    }

    // Streams opened and not yet closed.
    int openStreams()
    {
        const std::lock_guard guard(m_callbackMutex);
        int n = 0;
        for (const Stream& s : m_streams) {
            n += s.closed ? 0 : 1;
        }
        return n;
    }

private:
    struct Stream {
        PaStreamCallback* callback = nullptr;
        void* userData = nullptr;
        bool running = false;
        bool closed = false;
        int starts = 0;
        int callbacks = 0;
        PaStreamInfo info{};
        std::vector<std::int16_t> buffer;
        std::vector<std::int16_t> recording;
    };

    Stream* find(const void* handle)
    {
        for (Stream& s : m_streams) {
            if (&s == handle && !s.closed) {
                return &s;
            }
        }
        return nullptr;
    }

    std::mutex m_callbackMutex;
    std::list<Stream> m_streams;
    std::atomic<double> m_time{0.0};
    PaDeviceInfo m_deviceInfo{};
    std::string m_errorText;
};

} // namespace lvtest
