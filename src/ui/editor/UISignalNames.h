#pragma once

// The signals of the wave annotation editor's views and what their argument points to.

#include <string_view>

namespace TessarinEditor {

// Argument of "zoomInWav" and "zoomOutWav".
struct WavZoomArgument {
    float anchorTime = 0.0f; // [s] keeps its place on screen
    int steps = 1;           // ≥ 1
};

class CTag;

// Argument of "tagMoving".
struct TagMovingArgument {
    CTag* tag = nullptr;     // the marker or the play cursor that is dragged
    float delta = 0.0f;      // [s]
    bool allMarkers = false; // Ctrl held: every marker of the kind moves (not the play cursor)
};

namespace UISignalNames {
inline constexpr std::string_view kZoomInWav = "zoomInWav";         // WavZoomArgument
inline constexpr std::string_view kZoomOutWav = "zoomOutWav";       // WavZoomArgument
inline constexpr std::string_view kOffsetDispArea = "offsetDispArea"; // float: delta time [s]
inline constexpr std::string_view kOffsetLeftPt = "offsetLeftPt";   // float: delta time [s]
inline constexpr std::string_view kOffsetRightPt = "offsetRightPt"; // float: delta time [s]
inline constexpr std::string_view kZoomInAmp = "zoomInAmp";         // int: steps
inline constexpr std::string_view kZoomOutAmp = "zoomOutAmp";       // int: steps
inline constexpr std::string_view kZoomInFreq = "zoomInFreq";       // int: steps
inline constexpr std::string_view kZoomOutFreq = "zoomOutFreq";     // int: steps
inline constexpr std::string_view kTagMoving = "tagMoving";         // TagMovingArgument
inline constexpr std::string_view kMovePlayPos = "movePlayPos";     // float: time [s]
inline constexpr std::string_view kUpdateVoiceCfg = "updateVoiceCfg"; // none
inline constexpr std::string_view kGotoNextCfg = "gotoNextCfg";     // unsigned char: 0 preceding, 1 following
} // namespace UISignalNames

} // namespace TessarinEditor
