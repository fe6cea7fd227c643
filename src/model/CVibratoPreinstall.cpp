#include "model/CVibratoPreinstall.h"

namespace TSCurrentModel {

NodeContainer::const_iterator NodeContainer::insert(const_iterator pos, const_iterator first, const_iterator last)
{
    m_changed = true;
    return m_nodes.insert(pos, first, last);
}

NodeContainer::const_iterator NodeContainer::insert(const_iterator pos, const CurveNode& node)
{
    m_changed = true;
    return m_nodes.insert(pos, node);
}

void NodeContainer::push_back(const CurveNode& node)
{
    m_changed = true;
    m_nodes.push_back(node);
}

void NodeContainer::push_front(const CurveNode& node)
{
    m_changed = true;
    m_nodes.push_front(node);
}

NodeContainer::const_iterator NodeContainer::erase(const_iterator first, const_iterator last)
{
    m_changed = true;
    return m_nodes.erase(first, last);
}

NodeContainer::const_iterator NodeContainer::erase(const_iterator pos)
{
    m_changed = true;
    return m_nodes.erase(pos);
}

void NodeContainer::clear()
{
    m_changed = true;
    m_nodes.clear();
}

Vibrato::Vibrato()
{
    for (NodeContainer* curve : {&amplitude, &frequency}) {
        curve->push_back({-1, 0});
        curve->push_back({100001, 0});
    }
}

} // namespace TSCurrentModel

namespace {

void copyCurve(TSCurrentModel::NodeContainer& to, const TSCurrentModel::NodeContainer& from)
{
    to.clear();
    for (const auto& node : from) {
        to.push_back(node);
    }
}

Json::Value curveToJson(const TSCurrentModel::NodeContainer& curve)
{
    Json::Value points(Json::arrayValue);
    for (const auto& node : curve) {
        Json::Value point(Json::objectValue);
        point["p"] = node.p;
        point["v"] = node.v;
        points.append(point);
    }
    return points;
}

// A point member as an integer; missing, null or unusable members read as 0.
std::int32_t pointMember(const Json::Value& point, const char* key)
{
    const Json::Value* v = lvjson::member(point, key);
    return v != nullptr ? lvjson::toInt32(*v).value_or(0) : 0;
}

void curveFromJson(TSCurrentModel::NodeContainer& curve, const Json::Value& preset, const char* key)
{
    curve.clear();
    const Json::Value* points = lvjson::member(preset, key);
    if (points == nullptr || !points->isArray()) {
        return;
    }
    for (const Json::Value& point : *points) {
        curve.push_back({pointMember(point, "p"), pointMember(point, "v")});
    }
}

} // namespace

CVibratoPreinstall::CVibratoPreinstall(const CVibratoPreinstall& other) : CPreinstallCell(other)
{
    copyFrom(other);
}

CVibratoPreinstall& CVibratoPreinstall::operator=(const CVibratoPreinstall& other)
{
    if (this != &other) {
        copyFrom(other);
    }
    return *this;
}

void CVibratoPreinstall::copyFrom(const CVibratoPreinstall& other)
{
    vibName = other.vibName;
    copyCurve(vibrato.amplitude, other.vibrato.amplitude);
    copyCurve(vibrato.frequency, other.vibrato.frequency);
    copyCurve(vibrato.third, other.vibrato.third);
}

Json::Value& CVibratoPreinstall::toJsonValue()
{
    Json::Value& v = resetJsonValue();
    v["vibName"] = vibName;
    v["vibAmp"] = curveToJson(vibrato.amplitude);
    v["vibFreq"] = curveToJson(vibrato.frequency);
    return v;
}

bool CVibratoPreinstall::fromJsonValue(const Json::Value& value)
{
    vibName = lvjson::memberText(value, "vibName").value_or(std::string());
    curveFromJson(vibrato.amplitude, value, "vibAmp");
    curveFromJson(vibrato.frequency, value, "vibFreq");
    return !vibName.empty();
}
