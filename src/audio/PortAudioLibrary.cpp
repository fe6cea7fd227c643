#include "audio/PortAudioLibrary.h"

#include "audio/CCommonMutex.h"
#include "audio/PortAudioApi.h"

#include <algorithm>
#include <cstdint>

namespace TessarinEditor {

PortAudioLibrary::PortAudioLibrary(PortAudioApi& api, std::FILE* errorSink)
    : m_api(api), m_errorSink(errorSink != nullptr ? errorSink : stderr), m_soundSource(std::make_unique<WavAudioSrc>())
{
}

PortAudioLibrary::~PortAudioLibrary()
{
    m_defaultStream.reset();
    if (m_state == State::Started) {
        m_api.terminate();
    }
}

PortAudioLibrary& PortAudioLibrary::process()
{
    // Never destroyed: at exit a stream may still be running on the audio thread.
    static PortAudioLibrary* library = new PortAudioLibrary(systemPortAudio());
    return *library;
}

bool PortAudioLibrary::start()
{
    const std::lock_guard guard(m_mutex);
    if (m_state == State::NotStarted) {
        const PaError error = m_api.initialize();
        if (error != paNoError) {
            m_state = State::Failed;
            m_api.terminate();
            printError(error);
            return false;
        }
        m_state = State::Started;
        m_defaultStream = std::make_unique<CCommonMutex>(*this);
    }
    return m_state == State::Started;
}

CCommonMutex& PortAudioLibrary::defaultStream()
{
    const std::lock_guard guard(m_mutex);
    if (!m_defaultStream) {
        // Only reached when the start failed: a stream that stays closed keeps the callers simple.
        start();
        if (!m_defaultStream) {
            m_defaultStream = std::make_unique<CCommonMutex>(*this);
        }
    }
    return *m_defaultStream;
}

void PortAudioLibrary::playSound(std::span<const std::int16_t> samples)
{
    const std::lock_guard guard(m_mutex);
    CCommonMutex& stream = defaultStream();
    {
        const auto streamLock = stream.lock();
        m_soundSamples.assign(samples.begin(), samples.end());
        m_soundSource->setUp(m_soundSamples.data(), static_cast<std::int32_t>(std::min<std::size_t>(m_soundSamples.size(), INT32_MAX)), 0, 0);
    }
    WavAudioSrc* const sources[] = {m_soundSource.get()};
    stream.startWith(sources);
}

void PortAudioLibrary::printError(int error)
{
    const std::lock_guard guard(m_mutex);
    const char* text = m_api.getErrorText(error);
    std::fprintf(m_errorSink, "An error occured while using the portaudio \n");
    std::fprintf(m_errorSink, "Error number: %d\n", error);
    std::fprintf(m_errorSink, "Error message: %s\n", text != nullptr ? text : "");
    std::fflush(m_errorSink);
}

void PortAudioLibrary::reportNoDevice()
{
    const std::lock_guard guard(m_mutex);
    if (!m_noDeviceReported) {
        m_noDeviceReported = true;
        std::fwrite(kNoDefaultOutputDeviceMessage.data(), 1, kNoDefaultOutputDeviceMessage.size(), m_errorSink);
        std::fflush(m_errorSink);
    }
}

} // namespace TessarinEditor
