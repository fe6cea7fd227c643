#include "audio/PortAudioApi.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

namespace TessarinEditor {

namespace {

// ALSA's handler is variadic; it is never called with anything we want to show.
void dropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
void dropJackMessage(const char*) {}

class SystemPortAudio final : public PortAudioApi {
public:
    const char* getErrorText(PaError error) override { return Pa_GetErrorText(error); }

    PaError initialize() override
    {
        // Both libraries are probed while PortAudio enumerates its host APIs, so the handlers must be
        // in place before. (Pointing ALSA_CONFIG_PATH elsewhere instead makes PortAudio abort.)
        snd_lib_error_set_handler(dropAlsaMessage);
        jack_set_error_function(dropJackMessage);
        jack_set_info_function(dropJackMessage);
        return Pa_Initialize();
    }

    PaError terminate() override { return Pa_Terminate(); }
    PaDeviceIndex getDefaultOutputDevice() override { return Pa_GetDefaultOutputDevice(); }
    const PaDeviceInfo* getDeviceInfo(PaDeviceIndex device) override { return Pa_GetDeviceInfo(device); }

    PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                       double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags,
                       PaStreamCallback* callback, void* userData) override
    {
        return Pa_OpenStream(stream, input, output, sampleRate, framesPerBuffer, flags, callback, userData);
    }

    PaError startStream(PaStream* stream) override { return Pa_StartStream(stream); }
    PaError abortStream(PaStream* stream) override { return Pa_AbortStream(stream); }
    PaError closeStream(PaStream* stream) override { return Pa_CloseStream(stream); }
    const PaStreamInfo* getStreamInfo(PaStream* stream) override { return Pa_GetStreamInfo(stream); }
    PaTime getStreamTime(PaStream* stream) override { return Pa_GetStreamTime(stream); }
};

} // namespace

PortAudioApi& systemPortAudio()
{
    static SystemPortAudio api;
    return api;
}

} // namespace TessarinEditor
