#pragma once

// The markers of the entry being edited and the play cursor, as the wave annotation editor shows
// them. Positions are absolute times in the recording [s].

#include "model/CTsVoiceCfg.h"

#include <QRgb>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace TessarinEditor {

class CTag {
public:
    CTag() = default;
    CTag(float position, std::string name, QRgb colour) : position(position), name(std::move(name)), colour(colour) {}

    float position = 0.0f; // [s] from the first sample of the file
    std::string name;      // the label; empty for the play cursor
    QRgb colour = 0;
};

// One marker of a kind: its label, colour and the entry field it edits.
struct TagLook {
    const char* label;
    QRgb colour;
};

// The markers of kind (CTsVoiceCfg::kCV, kVX, kINDIE) in label order; empty for any other kind.
std::span<const TagLook> tagLooksOf(int kind);

// Where the markers of kind go in a newly loaded file, as fractions of the duration.
std::span<const float> defaultTagFractions(int kind);
// Where they go in a file already shown, as fractions of the visible range.
std::span<const float> visibleTagFractions(int kind);

class CTagSet {
public:
    CTag playCursor{0.0f, std::string(), qRgb(200, 0, 0)};
    std::vector<std::unique_ptr<CTag>> markers; // the kind's markers, in label order

    // Removes every marker and creates those of kind at position 0.
    void createMarkersOf(int kind);
    void clearMarkers() { markers.clear(); }

    std::vector<float> positions() const;
    // Puts the markers at positions (as many as both have).
    void setPositions(std::span<const float> positions);
    // Index of marker in the list; -1 when it is not one of them (the play cursor).
    int indexOf(const CTag* tag) const;
};

// The entry's first marker field (CV connectPoint, VX connectPoint, INDIE startPoint).
double firstMarkerField(const CTsVoiceCfg& entry);

// Undo and redo of marker moves for one loaded entry. A step is the marker positions before a move
// (a whole drag, or one number key); undoing it brings them back and keeps the positions it left for
// a redo. Cleared when another entry is loaded.
class CTagMoveHistory {
public:
    // Before a move: remembers before as the state to come back to, and forgets what could be redone.
    void recordBefore(std::vector<float> before);
    // The positions to restore, with current remembered for a redo; none when nothing is undone.
    std::optional<std::vector<float>> undo(std::vector<float> current);
    std::optional<std::vector<float>> redo(std::vector<float> current);
    void clear();
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }

    static constexpr std::size_t kMaxSteps = 200;

private:
    std::vector<std::vector<float>> m_undo;
    std::vector<std::vector<float>> m_redo;
};

} // namespace TessarinEditor
