#pragma once

// The wave model's visible range and display scales, and the mapping between time and pixels: the
// arithmetic behind every zoom, pan and edge move of the wave annotation editor. No widgets.

#include "audio/CWavData.h"

#include <span>

namespace TessarinEditor {

namespace WavRange {
inline constexpr float kShortestView = 0.005f; // [s] a zoom never makes the view shorter
inline constexpr float kZoomInFactor = 0.7f;
inline constexpr float kZoomOutFactor = 1.2f;
inline constexpr float kMargin = 0.06f; // [s] at each end of the file
// A recording at least this long opens zoomed around the entry's markers: shown whole, a few
// seconds of markers would share a handful of pixel columns.
inline constexpr float kLongRecording = 10.0f;    // [s]
inline constexpr float kShortestMarkerView = 0.5f; // [s] the view around markers is never shorter
} // namespace WavRange

// Zooms the time axis by factor once per step around anchor [s], which keeps its place on screen.
// A view that would be longer than the file becomes the whole file; one that would be shorter than
// 5 ms stays as it is; a view that would reach before 0 or past the end is cut there. An anchor
// outside the visible range counts as the nearer edge of it.
void zoomTime(CWavData& wav, float factor, float anchor, int steps);
// Moves the view by delta [s], held inside the file.
void panTime(CWavData& wav, float delta);
// Moves the left edge by delta, the right edge staying; at least 5 ms remain.
void moveLeftEdge(CWavData& wav, float delta);
// Moves the right edge by delta: length held in [5 ms, what is left of the file].
void moveRightEdge(CWavData& wav, float delta);
// Amplitude range × 0.8 (in) or × 1.25 (out) per step, held in [0.1, 2].
void zoomAmplitude(CWavData& wav, bool in, int steps);
// Frequency fraction × 0.9 (in) or × 1.1 (out) per step, held in [0.25, 1].
void zoomFrequency(CWavData& wav, bool in, int steps);
// Pans so that time sits at a third of the view when it lies outside the visible range.
void bringIntoView(CWavData& wav, float time);

// A long recording (kLongRecording or more): the view becomes the markers' span plus a quarter of it
// on each side, at least kShortestMarkerView, held inside the file. False (nothing changed) for a
// shorter recording or no markers.
bool zoomAroundMarkers(CWavData& wav, std::span<const float> markers);

// x = left + (t − view start) ÷ view length × width, rounded down.
int timeToPixel(const CWavData& wav, float time, int left, int width);
float pixelToTime(const CWavData& wav, int x, int left, int width);

} // namespace TessarinEditor
