#pragma once

// The audio library as the program uses it: started once, the first time any stream is made, with
// a default output stream made at the same time (the confirmation sounds play on it). The process
// has one instance over the system library; tests make their own over a simulated device.
//
// Diagnostics go to the error sink (standard error): a failed start or open in three lines with the
// library's error number and text, and a missing output device in one line, once per instance, so a
// machine without a sound card gets one line however many players the program makes.
//
// Thread-safe. Streams made from an instance must be destroyed before it.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

namespace TessarinEditor {

class CCommonMutex;
class PortAudioApi;
class WavAudioSrc;

inline constexpr std::string_view kNoDefaultOutputDeviceMessage = "Error: No default output device.\n";

class PortAudioLibrary {
public:
    explicit PortAudioLibrary(PortAudioApi& api, std::FILE* errorSink = stderr);
    ~PortAudioLibrary();
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

    // The instance over the system library; made on first use and never destroyed, so a stream's
    // callback can never outlive it.
    static PortAudioLibrary& process();

    // Initialises the library the first time (terminating it again and printing the error when that
    // fails) and makes the default stream. False when the library could not be started.
    bool start();

    // Starts the library when needed.
    CCommonMutex& defaultStream();

    // Plays a copy of 16-bit mono samples on the default stream, replacing the sound playing there.
    void playSound(std::span<const std::int16_t> samples);

    PortAudioApi& api() { return m_api; }

    // "An error occured while using the portaudio " with the error's number and text.
    void printError(int error);
    // The missing-device line, the first time only.
    void reportNoDevice();

private:
    enum class State { NotStarted, Started, Failed };

    PortAudioApi& m_api;
    std::FILE* m_errorSink;
    // Recursive: making the default stream starts the library, which is what is under way.
    std::recursive_mutex m_mutex;
    State m_state = State::NotStarted;
    bool m_noDeviceReported = false;
    std::unique_ptr<CCommonMutex> m_defaultStream;
    std::unique_ptr<WavAudioSrc> m_soundSource;
    std::vector<std::int16_t> m_soundSamples;
};

} // namespace TessarinEditor
