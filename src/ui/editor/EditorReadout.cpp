#include "ui/editor/EditorReadout.h"

#include "model/CTsVoiceCfg.h"

namespace TessarinEditor {

QString millisecondsText(double seconds)
{
    return QString::number(seconds * 1000.0, 'f', 1) + QStringLiteral(" ms");
}

std::vector<ReadoutItem> timeReadout(const CWavData& wav, const CTagSet& tags, int kind, std::optional<float> pointer)
{
    std::vector<ReadoutItem> items;
    if (wav.duration <= 0.0f) {
        return items;
    }
    if (pointer) {
        items.push_back({QStringLiteral("Pointer ") + millisecondsText(*pointer), Readout::kPlain});
    }
    items.push_back({QStringLiteral("Play ") + millisecondsText(tags.playCursor.position), Readout::kPlayCursorText});
    for (const auto& marker : tags.markers) {
        items.push_back({QString::fromStdString(marker->name) + QLatin1Char(' ') + millisecondsText(marker->position),
                         marker->colour});
    }
    if (kind == CTsVoiceCfg::kCV && tags.markers.size() == 4) {
        const auto at = [&](std::size_t i) { return double(tags.markers[i]->position); };
        items.push_back({QStringLiteral("Consonant ") + millisecondsText(at(1) - at(0)), Readout::kLength, 1});
        items.push_back({QStringLiteral("Vowel ") + millisecondsText(at(3) - at(2)), Readout::kLength, 1});
    }
    return items;
}

} // namespace TessarinEditor
