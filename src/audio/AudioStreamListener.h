#pragma once

namespace TessarinEditor {

// Receives a stream's reports. Both operations are called on the audio callback thread while the
// stream's lock is held: an implementation hands the report on (the wave editor posts an event)
// and must not call back into the stream or its players.
class AudioStreamListener {
public:
    virtual ~AudioStreamListener() = default;
    // [s] stream time since the start, less the output latency: roughly what the listener hears now.
    virtual void progress(double timeSec) = 0;
    // [s] frames produced since the start ÷ the stream's rate; repeated at every buffer until the
    // owner stops the stream.
    virtual void finished(double timeSec) = 0;
};

} // namespace TessarinEditor
