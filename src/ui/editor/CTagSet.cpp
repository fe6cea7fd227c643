#include "ui/editor/CTagSet.h"

#include "model/EntryNaming.h"

#include <algorithm>
#include <array>

namespace TessarinEditor {

namespace {
constexpr std::array<TagLook, 4> kCvTags{{
    {"1.CP", qRgb(0, 200, 200)},
    {"2.PP", qRgb(230, 230, 0)},
    {"3.VSP", qRgb(0, 200, 0)},
    {"4.VEP", qRgb(200, 0, 208)},
}};
constexpr std::array<TagLook, 2> kTwoTags{{
    {"1.SP", qRgb(0, 200, 200)},
    {"2.EP", qRgb(0, 200, 0)},
}};
constexpr std::array<float, 4> kCvDefault{0.2f, 0.3f, 0.7f, 0.8f};
constexpr std::array<float, 2> kTwoVisible{0.2f, 0.7f};
} // namespace

std::span<const TagLook> tagLooksOf(int kind)
{
    switch (kind) {
    case CTsVoiceCfg::kCV: return kCvTags;
    case CTsVoiceCfg::kVX:
    case CTsVoiceCfg::kINDIE: return kTwoTags;
    default: return {};
    }
}

std::span<const float> defaultTagFractions(int kind)
{
    // One home for them: new entries made from the list or by lvtb start where the editor would.
    return defaultMarkerFractions(kind);
}

std::span<const float> visibleTagFractions(int kind)
{
    switch (kind) {
    case CTsVoiceCfg::kCV: return kCvDefault;
    case CTsVoiceCfg::kVX:
    case CTsVoiceCfg::kINDIE: return kTwoVisible;
    default: return {};
    }
}

void CTagSet::createMarkersOf(int kind)
{
    markers.clear();
    for (const TagLook& look : tagLooksOf(kind)) {
        markers.push_back(std::make_unique<CTag>(0.0f, look.label, look.colour));
    }
}

std::vector<float> CTagSet::positions() const
{
    std::vector<float> out;
    out.reserve(markers.size());
    for (const auto& tag : markers) {
        out.push_back(tag->position);
    }
    return out;
}

void CTagSet::setPositions(std::span<const float> positions)
{
    const std::size_t n = std::min(positions.size(), markers.size());
    for (std::size_t i = 0; i < n; ++i) {
        markers[i]->position = positions[i];
    }
}

int CTagSet::indexOf(const CTag* tag) const
{
    for (std::size_t i = 0; i < markers.size(); ++i) {
        if (markers[i].get() == tag) {
            return int(i);
        }
    }
    return -1;
}

double firstMarkerField(const CTsVoiceCfg& entry)
{
    if (const auto* cv = dynamic_cast<const CTsVoiceCfg_CV*>(&entry)) {
        return cv->connectPoint;
    }
    if (const auto* vx = dynamic_cast<const CTsVoiceCfg_VC*>(&entry)) {
        return vx->connectPoint;
    }
    if (const auto* indie = dynamic_cast<const CTsVoiceCfg_INDIE*>(&entry)) {
        return indie->startPoint;
    }
    return 0.0;
}

void CTagMoveHistory::recordBefore(std::vector<float> before)
{
    if (!m_undo.empty() && m_undo.back() == before) {
        m_redo.clear();
        return;
    }
    m_undo.push_back(std::move(before));
    if (m_undo.size() > kMaxSteps) {
        m_undo.erase(m_undo.begin());
    }
    m_redo.clear();
}

std::optional<std::vector<float>> CTagMoveHistory::undo(std::vector<float> current)
{
    // A recorded step that moved nothing is passed over.
    while (!m_undo.empty() && m_undo.back() == current) {
        m_undo.pop_back();
    }
    if (m_undo.empty()) {
        return std::nullopt;
    }
    std::vector<float> target = std::move(m_undo.back());
    m_undo.pop_back();
    m_redo.push_back(std::move(current));
    return target;
}

std::optional<std::vector<float>> CTagMoveHistory::redo(std::vector<float> current)
{
    if (m_redo.empty()) {
        return std::nullopt;
    }
    std::vector<float> target = std::move(m_redo.back());
    m_redo.pop_back();
    m_undo.push_back(std::move(current));
    return target;
}

void CTagMoveHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
}

} // namespace TessarinEditor
