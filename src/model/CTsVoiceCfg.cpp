#include "model/CTsVoiceCfg.h"

#include "model/Clock.h"

#include <charconv>
#include <ctime>
#include <typeinfo>

namespace {

// Reads one to maxDigits decimal digits starting at pos and moves pos past them.
std::optional<int> readNumber(const std::string& text, std::size_t& pos, std::size_t maxDigits)
{
    std::size_t end = pos;
    while (end < text.size() && end - pos < maxDigits && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    if (end == pos) {
        return std::nullopt;
    }
    int value = 0;
    std::from_chars(text.data() + pos, text.data() + end, value);
    pos = end;
    return value;
}

bool expect(const std::string& text, std::size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::optional<std::int64_t> parseLocalTimeText(const std::string& text)
{
    std::size_t pos = 0;
    const auto year = readNumber(text, pos, 4);
    if (!year || !expect(text, pos, '-')) {
        return std::nullopt;
    }
    const auto month = readNumber(text, pos, 2);
    if (!month || !expect(text, pos, '-')) {
        return std::nullopt;
    }
    const auto day = readNumber(text, pos, 2);
    if (!day || !expect(text, pos, ' ')) {
        return std::nullopt;
    }
    const auto hour = readNumber(text, pos, 2);
    if (!hour || !expect(text, pos, ':')) {
        return std::nullopt;
    }
    const auto minute = readNumber(text, pos, 2);
    if (!minute || !expect(text, pos, ':')) {
        return std::nullopt;
    }
    const auto second = readNumber(text, pos, 2);
    if (!second || pos != text.size()) {
        return std::nullopt;
    }
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    if (*year < 1900) {
        return 0;
    }
    std::tm tm{};
    tm.tm_year = *year - 1900;
    tm.tm_mon = *month - 1;
    tm.tm_mday = *day;
    tm.tm_hour = *hour;
    tm.tm_min = *minute;
    tm.tm_sec = *second;
    tm.tm_isdst = -1; // let the zone rules decide whether summer time applies
    return std::int64_t(std::mktime(&tm));
}

// ---- base entry ----

Json::Value& CTsVoiceCfg::toJsonValue()
{
    Json::Value& v = resetJsonValue();
    v["srcType"] = srcType;
    v["wavName"] = wavName;
    v["symbol"] = symbol;
    v["pitch"] = pitch;
    v["startTime"] = startTime;
    v["endTime"] = endTime;
    v["updateTime"] = updateTimeText();
    return v;
}

bool CTsVoiceCfg::fromJsonValue(const Json::Value& value)
{
    bool complete = true;
    if (const auto type = lvjson::memberText(value, "srcType")) {
        srcType = *type == "VC" ? std::string("VX") : *type;
    } else {
        complete = false;
    }
    const auto readText = [&](const char* key, std::string& field) {
        if (const auto t = lvjson::memberText(value, key)) {
            field = *t;
        } else {
            complete = false;
        }
    };
    readText("wavName", wavName);
    readText("symbol", symbol);
    readText("pitch", pitch);
    const auto readTime = [&](const char* key, double& field) {
        if (const auto t = lvjson::memberNumber(value, key)) {
            field = *t;
        } else {
            complete = false;
        }
    };
    readTime("startTime", startTime);
    readTime("endTime", endTime);

    // An unreadable time is treated like a missing one: the entry loads, dated now.
    const auto timeText = lvjson::memberText(value, "updateTime");
    const auto parsed = timeText ? parseLocalTimeText(*timeText) : std::nullopt;
    updateTime = parsed ? *parsed : lvmodel::currentUnixTime();
    return complete;
}

std::unique_ptr<CTsVoiceCfg> CTsVoiceCfg::clone() const
{
    auto copy = std::make_unique<CTsVoiceCfg>();
    copy->copyBaseFrom(*this);
    return copy;
}

bool CTsVoiceCfg::assignFrom(const CTsVoiceCfg& other)
{
    if (typeid(other) != typeid(CTsVoiceCfg)) {
        return false;
    }
    copyBaseFrom(other);
    return true;
}

void CTsVoiceCfg::copyBaseFrom(const CTsVoiceCfg& other)
{
    srcType = other.srcType;
    updateTime = other.updateTime;
    wavName = other.wavName;
    symbol = other.symbol;
    pitch = other.pitch;
    startTime = other.startTime;
    endTime = other.endTime;
}

int CTsVoiceCfg::kind() const
{
    if (srcType == "CV") {
        return kCV;
    }
    if (srcType == "VX") {
        return kVX;
    }
    if (srcType == "INDIE") {
        return kINDIE;
    }
    return kNoKind;
}

std::string CTsVoiceCfg::entryKey() const
{
    return pitch + "->" + symbol;
}

std::string entryKey(const CTsVoiceCfg& entry)
{
    return entry.entryKey();
}

std::string CTsVoiceCfg::updateTimeText() const
{
    const std::time_t t = std::time_t(updateTime);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) {
        return {};
    }
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(buffer, n);
}

void CTsVoiceCfg::touch()
{
    updateTime = lvmodel::currentUnixTime();
}

void CTsVoiceCfg::splitVcSymbol(std::string& vowel, std::string& consonant) const
{
    const std::size_t cut = symbol.find('_');
    if (cut == std::string::npos) {
        vowel.clear();
        consonant.clear();
        return;
    }
    vowel = symbol.substr(0, cut);
    consonant = symbol.substr(cut + 1);
}

void CTsVoiceCfg::joinVcSymbol(const std::string& vowel, const std::string& consonant)
{
    symbol = vowel + "_" + consonant;
}

std::unique_ptr<CTsVoiceCfg> makeVoiceCfg(const std::string& srcType)
{
    if (srcType == "CV") {
        return std::make_unique<CTsVoiceCfg_CV>();
    }
    if (srcType == "VX") {
        return std::make_unique<CTsVoiceCfg_VC>();
    }
    if (srcType == "INDIE") {
        return std::make_unique<CTsVoiceCfg_INDIE>();
    }
    return nullptr;
}

// ---- the three kinds ----

namespace {

// Reads a marker stored relative to the region start.
bool readMarker(const Json::Value& value, const char* key, double startTime, double& field)
{
    const auto relative = lvjson::memberNumber(value, key);
    if (!relative) {
        return false;
    }
    field = *relative + startTime;
    return true;
}

} // namespace

Json::Value& CTsVoiceCfg_CV::toJsonValue()
{
    startTime = connectPoint - kVoiceCfgMargin;
    endTime = vowelEnd + kVoiceCfgMargin;
    tailPoint = vowelEnd + kVoiceCfgTailMargin;
    Json::Value& v = CTsVoiceCfg::toJsonValue();
    v["connectPoint"] = connectPoint - startTime;
    v["preutterance"] = preutterance - startTime;
    v["vowelStart"] = vowelStart - startTime;
    v["vowelEnd"] = vowelEnd - startTime;
    v["tailPoint"] = tailPoint - startTime;
    return v;
}

bool CTsVoiceCfg_CV::fromJsonValue(const Json::Value& value)
{
    bool ok = CTsVoiceCfg::fromJsonValue(value);
    ok = readMarker(value, "connectPoint", startTime, connectPoint) && ok;
    // Older files call the preutterance "beatPoint".
    ok = (readMarker(value, "preutterance", startTime, preutterance) ||
          readMarker(value, "beatPoint", startTime, preutterance)) &&
        ok;
    ok = readMarker(value, "vowelStart", startTime, vowelStart) && ok;
    ok = readMarker(value, "vowelEnd", startTime, vowelEnd) && ok;
    ok = readMarker(value, "tailPoint", startTime, tailPoint) && ok;
    return ok;
}

std::unique_ptr<CTsVoiceCfg> CTsVoiceCfg_CV::clone() const
{
    auto copy = std::make_unique<CTsVoiceCfg_CV>();
    copy->assignFrom(*this);
    return copy;
}

bool CTsVoiceCfg_CV::assignFrom(const CTsVoiceCfg& other)
{
    const auto* o = dynamic_cast<const CTsVoiceCfg_CV*>(&other);
    if (o == nullptr) {
        return false;
    }
    copyBaseFrom(*o);
    connectPoint = o->connectPoint;
    preutterance = o->preutterance;
    vowelStart = o->vowelStart;
    vowelEnd = o->vowelEnd;
    tailPoint = o->tailPoint;
    return true;
}

Json::Value& CTsVoiceCfg_VC::toJsonValue()
{
    startTime = connectPoint - kVoiceCfgMargin;
    endTime = tailPoint + kVoiceCfgMargin;
    Json::Value& v = CTsVoiceCfg::toJsonValue();
    v["connectPoint"] = connectPoint - startTime;
    v["tailPoint"] = tailPoint - startTime;
    return v;
}

bool CTsVoiceCfg_VC::fromJsonValue(const Json::Value& value)
{
    bool ok = CTsVoiceCfg::fromJsonValue(value);
    ok = readMarker(value, "connectPoint", startTime, connectPoint) && ok;
    ok = readMarker(value, "tailPoint", startTime, tailPoint) && ok;
    return ok;
}

std::unique_ptr<CTsVoiceCfg> CTsVoiceCfg_VC::clone() const
{
    auto copy = std::make_unique<CTsVoiceCfg_VC>();
    copy->assignFrom(*this);
    return copy;
}

bool CTsVoiceCfg_VC::assignFrom(const CTsVoiceCfg& other)
{
    const auto* o = dynamic_cast<const CTsVoiceCfg_VC*>(&other);
    if (o == nullptr) {
        return false;
    }
    copyBaseFrom(*o);
    connectPoint = o->connectPoint;
    tailPoint = o->tailPoint;
    return true;
}

Json::Value& CTsVoiceCfg_INDIE::toJsonValue()
{
    startTime = startPoint - kVoiceCfgMargin;
    endTime = endPoint + kVoiceCfgMargin;
    Json::Value& v = CTsVoiceCfg::toJsonValue();
    v["startPoint"] = startPoint - startTime;
    v["endPoint"] = endPoint - startTime;
    return v;
}

bool CTsVoiceCfg_INDIE::fromJsonValue(const Json::Value& value)
{
    bool ok = CTsVoiceCfg::fromJsonValue(value);
    ok = readMarker(value, "startPoint", startTime, startPoint) && ok;
    ok = readMarker(value, "endPoint", startTime, endPoint) && ok;
    return ok;
}

std::unique_ptr<CTsVoiceCfg> CTsVoiceCfg_INDIE::clone() const
{
    auto copy = std::make_unique<CTsVoiceCfg_INDIE>();
    copy->assignFrom(*this);
    return copy;
}

bool CTsVoiceCfg_INDIE::assignFrom(const CTsVoiceCfg& other)
{
    const auto* o = dynamic_cast<const CTsVoiceCfg_INDIE*>(&other);
    if (o == nullptr) {
        return false;
    }
    copyBaseFrom(*o);
    startPoint = o->startPoint;
    endPoint = o->endPoint;
    return true;
}

std::vector<float> entryMarkerTimes(const CTsVoiceCfg& entry)
{
    if (const auto* cv = dynamic_cast<const CTsVoiceCfg_CV*>(&entry)) {
        return {float(cv->connectPoint), float(cv->preutterance), float(cv->vowelStart), float(cv->vowelEnd)};
    }
    if (const auto* vx = dynamic_cast<const CTsVoiceCfg_VC*>(&entry)) {
        return {float(vx->connectPoint), float(vx->tailPoint)};
    }
    if (const auto* indie = dynamic_cast<const CTsVoiceCfg_INDIE*>(&entry)) {
        return {float(indie->startPoint), float(indie->endPoint)};
    }
    return {};
}

void storeMarkerTimes(std::span<const float> p, CTsVoiceCfg& entry)
{
    if (auto* cv = dynamic_cast<CTsVoiceCfg_CV*>(&entry); cv && p.size() >= 4) {
        cv->connectPoint = p[0];
        cv->preutterance = p[1];
        cv->vowelStart = p[2];
        cv->vowelEnd = p[3];
    } else if (auto* vx = dynamic_cast<CTsVoiceCfg_VC*>(&entry); vx && p.size() >= 2) {
        vx->connectPoint = p[0];
        vx->tailPoint = p[1];
    } else if (auto* indie = dynamic_cast<CTsVoiceCfg_INDIE*>(&entry); indie && p.size() >= 2) {
        indie->startPoint = p[0];
        indie->endPoint = p[1];
    }
}
