#include "audio/CCommonMutex.h"

#include "audio/PortAudioApi.h"

#include <algorithm>

namespace TessarinEditor {

namespace {

int mixingCallback(const void* /*input*/, void* output, unsigned long frameCount,
                   const PaStreamCallbackTimeInfo* /*timeInfo*/, PaStreamCallbackFlags /*statusFlags*/, void* userData)
{
    auto* stream = static_cast<CCommonMutex*>(userData);
    stream->mix(static_cast<std::int16_t*>(output), static_cast<std::uint32_t>(frameCount), stream->streamTime());
    return paContinue;
}

} // namespace

CCommonMutex::CCommonMutex(PortAudioLibrary& library) : m_library(library)
{
    if (!m_library.start()) {
        return;
    }
    PortAudioApi& api = m_library.api();
    const PaDeviceIndex device = api.getDefaultOutputDevice();
    if (device == paNoDevice) {
        m_library.reportNoDevice();
        return;
    }
    PaStreamParameters output{};
    output.device = device;
    output.channelCount = kChannels;
    output.sampleFormat = paInt16;
    const PaDeviceInfo* info = api.getDeviceInfo(device);
    output.suggestedLatency = info != nullptr ? info->defaultLowOutputLatency : 0.0;
    output.hostApiSpecificStreamInfo = nullptr;

    PaStream* stream = nullptr;
    const PaError error = api.openStream(&stream, nullptr, &output, kSampleRate, kFramesPerBuffer, paClipOff,
                                         mixingCallback, this);
    if (error != paNoError) {
        m_library.printError(error);
        return;
    }
    m_stream = stream;
    if (const PaStreamInfo* streamInfo = api.getStreamInfo(stream); streamInfo != nullptr) {
        m_outputLatency = streamInfo->outputLatency;
        if (streamInfo->sampleRate > 0.0) {
            m_streamRate = streamInfo->sampleRate;
        }
    }
}

CCommonMutex::~CCommonMutex()
{
    if (m_stream != nullptr) {
        m_library.api().abortStream(m_stream);
        // Closing gives the device back: an editor opened and closed all day would otherwise hold
        // a stream per visit.
        m_library.api().closeStream(m_stream);
    }
}

void CCommonMutex::setListener(AudioStreamListener* listener)
{
    const std::lock_guard guard(m_lock);
    m_listener = listener;
}

bool CCommonMutex::startWith(std::span<WavAudioSrc* const> sources)
{
    abort();
    {
        const std::lock_guard guard(m_lock);
        m_sources.assign(sources.begin(), sources.end());
        m_framesPlayed = 0;
    }
    if (m_stream == nullptr) {
        return false;
    }
    // The time read before the start only serves a callback that runs before the one read after.
    const double before = streamTime();
    {
        const std::lock_guard guard(m_lock);
        m_startTime = before;
    }
    const PaError error = m_library.api().startStream(m_stream);
    if (error != paNoError) {
        m_library.printError(error);
        return false;
    }
    const double started = streamTime();
    const std::lock_guard guard(m_lock);
    m_startTime = started;
    return true;
}

void CCommonMutex::abort()
{
    if (m_stream != nullptr) {
        m_library.api().abortStream(m_stream);
    }
}

double CCommonMutex::streamTime()
{
    return m_stream != nullptr ? m_library.api().getStreamTime(m_stream) : 0.0;
}

void CCommonMutex::mix(std::int16_t* stereo, std::uint32_t frames, double streamTimeSec)
{
    const std::lock_guard guard(m_lock);
    std::fill_n(stereo, std::size_t(frames) * kChannels, std::int16_t(0));
    bool finished = true;
    for (WavAudioSrc* source : m_sources) {
        source->mixInto(stereo, static_cast<std::int32_t>(frames));
        finished = finished && source->atEnd();
    }
    if (m_listener == nullptr) {
        return;
    }
    m_framesPlayed += frames;
    if (finished) {
        m_listener->finished(double(m_framesPlayed) / m_streamRate);
    } else {
        m_listener->progress(streamTimeSec - m_startTime - m_outputLatency);
    }
}

} // namespace TessarinEditor
