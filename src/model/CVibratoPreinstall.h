#pragma once

// The vibrato preset kept in the application settings: a named vibrato shape made of an amplitude
// curve and a frequency curve of integer points. This program only reads, keeps and writes it back.

#include "model/JsonInfo.h"

#include <array>
#include <cstdint>
#include <list>
#include <string>

namespace TSCurrentModel {

struct CurveNode {
    std::int32_t p = 0; // position
    std::int32_t v = 0; // value

    bool operator==(const CurveNode&) const = default;
};

// A curve: points in list order. Every modifying operation marks the curve changed, so that
// whoever derives values from it knows to recompute them; the points are read through const
// iterators only, so no change can bypass the mark.
class NodeContainer {
public:
    using List = std::list<CurveNode>;
    using const_iterator = List::const_iterator;

    NodeContainer() = default;
    virtual ~NodeContainer() = default;
    NodeContainer(const NodeContainer&) = default;
    NodeContainer& operator=(const NodeContainer&) = default;
    NodeContainer(NodeContainer&&) = default;
    NodeContainer& operator=(NodeContainer&&) = default;

    virtual const_iterator insert(const_iterator pos, const_iterator first, const_iterator last);
    virtual const_iterator insert(const_iterator pos, const CurveNode& node);
    virtual void push_back(const CurveNode& node);
    virtual void push_front(const CurveNode& node);
    virtual const_iterator erase(const_iterator first, const_iterator last);
    virtual const_iterator erase(const_iterator pos);
    virtual void clear();

    const_iterator begin() const { return m_nodes.begin(); }
    const_iterator end() const { return m_nodes.end(); }
    std::size_t size() const { return m_nodes.size(); }
    bool empty() const { return m_nodes.empty(); }
    const List& nodes() const { return m_nodes; }

    bool changed() const { return m_changed; }
    void clearChanged() { m_changed = false; }

private:
    List m_nodes;
    bool m_changed = false;
};

struct Vibrato {
    // A new shape has flat amplitude and frequency curves spanning the whole note.
    Vibrato();

    std::array<std::int32_t, 2> amplitudeParams{};
    NodeContainer amplitude;
    std::array<std::int32_t, 2> frequencyParams{};
    NodeContainer frequency;
    std::array<std::int32_t, 2> thirdParams{};
    NodeContainer third; // empty by default; not part of the preset's JSON form
};

} // namespace TSCurrentModel

// Base of the presets kept in the settings.
class CPreinstallCell : public JsonInfo {
};

class CVibratoPreinstall : public CPreinstallCell {
public:
    CVibratoPreinstall() = default;
    // Copies the name and the three curves point by point.
    CVibratoPreinstall(const CVibratoPreinstall& other);
    CVibratoPreinstall& operator=(const CVibratoPreinstall& other);

    std::string vibName; // UTF-8
    TSCurrentModel::Vibrato vibrato;

    // The name and the curves; the target curves are emptied first and marked changed.
    void copyFrom(const CVibratoPreinstall& other);

    Json::Value& toJsonValue() override;
    // True only when the preset has a name. "vibAmp" and "vibFreq" that are not arrays leave their
    // curve empty.
    bool fromJsonValue(const Json::Value& value) override;
};
