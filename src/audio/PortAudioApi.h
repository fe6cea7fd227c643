#pragma once

// The PortAudio functions playback uses, behind one interface, so that a simulated device can
// stand in for the library (tests and benchmarks drive the mixing callback from it). The system
// implementation forwards to the library itself.

#include <portaudio.h>

namespace TessarinEditor {

class PortAudioApi {
public:
    virtual ~PortAudioApi() = default;
    virtual const char* getErrorText(PaError error) = 0;
    virtual PaError initialize() = 0;
    virtual PaError terminate() = 0;
    virtual PaDeviceIndex getDefaultOutputDevice() = 0;
    virtual const PaDeviceInfo* getDeviceInfo(PaDeviceIndex device) = 0;
    virtual PaError openStream(PaStream** stream, const PaStreamParameters* input, const PaStreamParameters* output,
                               double sampleRate, unsigned long framesPerBuffer, PaStreamFlags flags,
                               PaStreamCallback* callback, void* userData) = 0;
    virtual PaError startStream(PaStream* stream) = 0;
    // Stops at once; returns after the callback has finished its last call.
    virtual PaError abortStream(PaStream* stream) = 0;
    virtual PaError closeStream(PaStream* stream) = 0;
    virtual const PaStreamInfo* getStreamInfo(PaStream* stream) = 0;
    virtual PaTime getStreamTime(PaStream* stream) = 0;
};

// The library, process-wide. Its initialize() first routes ALSA's and JACK's diagnostics (dozens
// of lines on a machine without a sound card) to handlers that drop them.
PortAudioApi& systemPortAudio();

} // namespace TessarinEditor
