#include "ui/editor/WavViewRange.h"

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
// Held inside [low, high]; when they cross, high wins.
float hold(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}
} // namespace

void zoomTime(CWavData& wav, float factor, float anchor, int steps)
{
    const float d = wav.duration;
    for (int i = 0; i < steps; ++i) {
        const float s = wav.viewStart;
        const float l = wav.viewLength;
        float n = factor * l;
        if (n > d) {
            wav.viewStart = 0.0f;
            wav.viewLength = d;
            continue;
        }
        if (n < WavRange::kShortestView || l <= 0.0f) {
            continue;
        }
        // An anchor outside the view (the overview's area is at least 3 pixels wide) would move the
        // view away from it, and past the end of the file: it is held inside the view.
        const float a = std::min(std::max(anchor, s), s + l);
        float p = a - n * (a - s) / l;
        if (p >= 0.0f && p + n <= d) {
            wav.viewStart = p;
            wav.viewLength = n;
            continue;
        }
        if (p < 0.0f) {
            n = n + p;
            p = 0.0f;
        }
        if (p + n > d) {
            n = d - p;
        }
        wav.viewStart = p;
        wav.viewLength = n;
    }
}

void panTime(CWavData& wav, float delta)
{
    wav.viewStart = std::max(std::min(wav.viewStart + delta, wav.duration - wav.viewLength), 0.0f);
}

void moveLeftEdge(CWavData& wav, float delta)
{
    const float end = wav.viewStart + wav.viewLength;
    wav.viewStart = std::max(std::min(wav.viewStart + delta, end - WavRange::kShortestView), 0.0f);
    wav.viewLength = end - wav.viewStart;
}

void moveRightEdge(CWavData& wav, float delta)
{
    wav.viewLength = hold(wav.viewLength + delta, WavRange::kShortestView, wav.duration - wav.viewStart);
}

void zoomAmplitude(CWavData& wav, bool in, int steps)
{
    for (int i = 0; i < steps; ++i) {
        wav.amplitudeRange = hold(wav.amplitudeRange * (in ? 0.8f : 1.25f), 0.1f, 2.0f);
    }
}

void zoomFrequency(CWavData& wav, bool in, int steps)
{
    for (int i = 0; i < steps; ++i) {
        wav.frequencyRange = hold(wav.frequencyRange * (in ? 0.9f : 1.1f), 0.25f, 1.0f);
    }
}

void bringIntoView(CWavData& wav, float time)
{
    if (time < wav.viewStart || time > wav.viewStart + wav.viewLength) {
        panTime(wav, (time - wav.viewLength / 3.0f) - wav.viewStart);
    }
}

bool zoomAroundMarkers(CWavData& wav, std::span<const float> markers)
{
    if (markers.empty() || wav.duration < WavRange::kLongRecording) {
        return false;
    }
    const auto [low, high] = std::minmax_element(markers.begin(), markers.end());
    const float span = *high - *low;
    const float length = std::min(wav.duration, std::max(span * 1.5f, WavRange::kShortestMarkerView));
    wav.viewLength = length;
    wav.viewStart = std::clamp(*low - (length - span) / 2.0f, 0.0f, wav.duration - length);
    return true;
}

int timeToPixel(const CWavData& wav, float time, int left, int width)
{
    if (wav.viewLength <= 0.0f) {
        return left;
    }
    const double x = double(time - wav.viewStart) / double(wav.viewLength) * double(width);
    return left + int(std::floor(std::clamp(x, -1.0e6, 1.0e6)));
}

float pixelToTime(const CWavData& wav, int x, int left, int width)
{
    if (width <= 0) {
        return wav.viewStart;
    }
    return wav.viewStart + float(x - left) / float(width) * wav.viewLength;
}

} // namespace TessarinEditor
