#include "model/CTsVoiceCfgMgr.h"

#include "core/FileAccess.h"

#include <span>
#include <string_view>
#include <system_error>
#include <typeinfo>

namespace {

// The members an entry of each kind cannot do without, in the order a message names the first one
// missing: (name, number or text).
struct Required {
    const char* name;
    bool number;
};
constexpr Required kBaseMembers[] = {{"srcType", false}, {"wavName", false}, {"symbol", false},
                                     {"pitch", false},   {"startTime", true}, {"endTime", true}};
constexpr Required kCvMarkers[] = {{"connectPoint", true}, {"preutterance", true}, {"vowelStart", true},
                                   {"vowelEnd", true}, {"tailPoint", true}};
constexpr Required kVxMarkers[] = {{"connectPoint", true}, {"tailPoint", true}};
constexpr Required kIndieMarkers[] = {{"startPoint", true}, {"endPoint", true}};

// The first required member that is absent or of the wrong type, as a reason for a message.
std::string firstProblem(const Json::Value& value, std::span<const Required> required)
{
    for (const Required& r : required) {
        const char* name = r.name;
        // A CV entry of older files names its preutterance "beatPoint".
        if (std::string_view(name) == "preutterance" && lvjson::member(value, "preutterance") == nullptr &&
            lvjson::member(value, "beatPoint") != nullptr) {
            name = "beatPoint";
        }
        if (lvjson::member(value, name) == nullptr) {
            return std::string("no \"") + name + "\"";
        }
        if (r.number ? !lvjson::memberNumber(value, name) : !lvjson::memberText(value, name)) {
            return std::string("\"") + name + (r.number ? "\" is not a finite number" : "\" is not text");
        }
    }
    return "not an entry";
}

// The entry a member holds, or none with the reason.
std::unique_ptr<CTsVoiceCfg> loadEntry(const Json::Value& value, std::string& reason)
{
    if (!value.isObject()) {
        reason = "not an entry object";
        return nullptr;
    }
    CTsVoiceCfg probe;
    if (!probe.fromJsonValue(value)) {
        reason = firstProblem(value, kBaseMembers);
        return nullptr;
    }
    auto entry = makeVoiceCfg(probe.srcType);
    if (!entry) {
        reason = "unknown srcType \"" + probe.srcType + "\"";
        return nullptr;
    }
    if (!entry->fromJsonValue(value)) {
        switch (entry->kind()) {
        case CTsVoiceCfg::kCV:
            reason = firstProblem(value, kCvMarkers);
            break;
        case CTsVoiceCfg::kVX:
            reason = firstProblem(value, kVxMarkers);
            break;
        default:
            reason = firstProblem(value, kIndieMarkers);
            break;
        }
        return nullptr;
    }
    return entry;
}

// A member value's own bytes in the text it was parsed from; its styled form when there is none.
std::string memberText(const Json::Value& value, std::string_view source)
{
    const std::ptrdiff_t start = value.getOffsetStart();
    const std::ptrdiff_t limit = value.getOffsetLimit();
    if (!source.empty() && start >= 0 && start < limit && std::size_t(limit) <= source.size()) {
        return std::string(source.substr(std::size_t(start), std::size_t(limit - start)));
    }
    std::string text = lvjson::styledText(value);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The styled writer's text of a value with its final line end removed and every later line indented
// by one level, as it stands inside the file's object.
std::string nestedText(const Json::Value& value)
{
    const std::string alone = lvjson::styledText(value);
    std::string nested;
    nested.reserve(alone.size() + alone.size() / 8);
    std::string_view rest(alone);
    while (rest.size() >= 2 && rest.substr(rest.size() - 2) == "\r\n") {
        rest.remove_suffix(2);
    }
    for (std::size_t at = 0; at < rest.size();) {
        const std::size_t end = rest.find("\r\n", at);
        if (end == std::string_view::npos) {
            nested.append(rest.substr(at));
            break;
        }
        nested.append(rest.substr(at, end + 2 - at));
        nested.append("   ");
        at = end + 2;
    }
    return nested;
}

} // namespace

CTsVoiceCfgMgr::LoadStatus CTsVoiceCfgMgr::loadFolder(const std::filesystem::path& folder)
{
    clear();
    m_folder = folder;
    m_fileUnreadable = false;
    m_unreadableReason.clear();
    m_keptAsIsReason.clear();
    if (folder.empty()) {
        m_filePath.clear();
        return LoadStatus::NoFile;
    }
    m_filePath = std::filesystem::path(folder.native() + "/" + kVoiceCfgFileName);

    Tessarin::ReadError why;
    const std::optional<std::string> text = Tessarin::readRegularFile(m_filePath, kLargestFile, &why);
    if (!text) {
        if (why.failure == Tessarin::ReadFailure::notFound) {
            return LoadStatus::NoFile;
        }
        m_fileUnreadable = true;
        m_unreadableReason = why.text();
        return LoadStatus::Unreadable;
    }
    if (!fromJsonText(*text)) {
        clear();
        m_fileUnreadable = true;
        return LoadStatus::Unreadable;
    }
    return LoadStatus::Loaded;
}

bool CTsVoiceCfgMgr::save()
{
    if (m_filePath.empty() || !writable()) {
        return false;
    }
    return saveFile(m_filePath);
}

void CTsVoiceCfgMgr::put(const std::string& key, std::unique_ptr<CTsVoiceCfg> entry)
{
    if (!entry) {
        return;
    }
    m_skipped.erase(key);
    m_entries[key] = std::move(entry);
}

bool CTsVoiceCfgMgr::putCopy(const CTsVoiceCfg& entry)
{
    if (entry.kind() == CTsVoiceCfg::kNoKind) {
        return false;
    }
    // A bare entry whose srcType was set by hand still has no markers to store.
    if (typeid(entry) == typeid(CTsVoiceCfg)) {
        return false;
    }
    auto copy = entry.clone();
    put(entryKey(entry), std::move(copy));
    return true;
}

CTsVoiceCfg* CTsVoiceCfgMgr::find(const std::string& symbol, const std::string& pitch) const
{
    return findKey(pitch + "->" + symbol);
}

CTsVoiceCfg* CTsVoiceCfgMgr::findVc(const std::string& vowel, const std::string& consonant, const std::string& pitch) const
{
    return find(vowel + "_" + consonant, pitch);
}

CTsVoiceCfg* CTsVoiceCfgMgr::findKey(const std::string& key) const
{
    const auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second.get();
}

std::optional<std::string> CTsVoiceCfgMgr::storedKeyOf(const CTsVoiceCfg& entry) const
{
    for (const auto& [key, stored] : m_entries) {
        if (stored.get() == &entry) {
            return key;
        }
    }
    return std::nullopt;
}

void CTsVoiceCfgMgr::remove(const CTsVoiceCfg& entry)
{
    // By identity first: an entry loaded under a member name other than its pitch and symbol must
    // not take another entry with it.
    const std::string key = storedKeyOf(entry).value_or(entryKey(entry));
    removeKey(key);
}

bool CTsVoiceCfgMgr::removeKey(const std::string& key)
{
    return (m_entries.erase(key) + m_skipped.erase(key)) != 0;
}

void CTsVoiceCfgMgr::clear()
{
    m_entries.clear();
    m_skipped.clear();
}

std::vector<CTsVoiceCfg*> CTsVoiceCfgMgr::entries() const
{
    std::vector<CTsVoiceCfg*> list;
    list.reserve(m_entries.size());
    for (const auto& [key, entry] : m_entries) {
        list.push_back(entry.get());
    }
    return list;
}

bool CTsVoiceCfgMgr::fromJsonText(std::string_view text)
{
    clear();
    m_unreadableReason.clear();
    m_keptAsIsReason.clear();
    // Read as the desktop program always read it: text after the object ignored, the last of a
    // member named twice kept.
    Json::Value value;
    std::string error;
    if (!lvjson::parse(text, value, lvjson::ParseRules{false, false}, &error)) {
        m_unreadableReason = "is not JSON (" + error + ")";
        return false;
    }
    if (!value.isObject()) {
        m_unreadableReason = "is not a JSON object of entries";
        return false;
    }
    // What that reader passes over would be lost by a save: such a file is only read.
    Json::Value strict;
    if (!lvjson::parse(text, strict, lvjson::ParseRules{false, true}, &error)) {
        m_keptAsIsReason = "has text after its JSON object (" + error + ")";
    } else if (!lvjson::parse(text, strict, lvjson::ParseRules{true, true}, &error)) {
        m_keptAsIsReason = "names a member twice (" + error + ")";
    } else if (!lvjson::isValidUtf8(text)) {
        // The writer would replace the bytes that are not UTF-8 (a wavName typed in another encoding).
        m_keptAsIsReason = "is not UTF-8 text";
    }
    return loadMembers(value, text);
}

const std::string& CTsVoiceCfgMgr::toJsonText()
{
    // Written member by member so that skipped members keep their bytes and every member name,
    // a NUL byte included, is written whole; the rest is the styled writer's text.
    std::string& text = m_jsonText;
    text.clear();
    auto entry = m_entries.begin();
    auto skipped = m_skipped.begin();
    bool first = true;
    while (entry != m_entries.end() || skipped != m_skipped.end()) {
        const bool takeEntry = skipped == m_skipped.end() || (entry != m_entries.end() && entry->first < skipped->first);
        const std::string& name = takeEntry ? entry->first : skipped->first;
        text += first ? "{\r\n   " : ",\r\n   ";
        first = false;
        text += nestedText(Json::Value(name));
        text += " : ";
        if (takeEntry) {
            text += nestedText(entry->second->toJsonValue());
            ++entry;
        } else {
            text += skipped->second.text;
            ++skipped;
        }
    }
    text += first ? "{}\r\n" : "\r\n}\r\n";
    return text;
}

Json::Value& CTsVoiceCfgMgr::toJsonValue()
{
    Json::Value& v = resetJsonValue();
    for (const auto& [key, entry] : m_entries) {
        v[key] = entry->toJsonValue();
    }
    for (const auto& [key, member] : m_skipped) {
        Json::Value parsed;
        if (lvjson::parse(member.text, parsed)) {
            v[key] = parsed;
        }
    }
    return v;
}

bool CTsVoiceCfgMgr::fromJsonValue(const Json::Value& value)
{
    return loadMembers(value, {});
}

bool CTsVoiceCfgMgr::loadMembers(const Json::Value& value, std::string_view sourceText)
{
    clear();
    if (!value.isObject()) {
        return false;
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string name = it.name();
        std::string reason;
        if (auto entry = loadEntry(*it, reason)) {
            put(name, std::move(entry));
        } else {
            m_skipped[name] = SkippedMember{memberText(*it, sourceText), std::move(reason)};
        }
    }
    return true;
}

// ---- the four changes ----

EntryUpdate storeEditedEntry(CTsVoiceCfgMgr& mgr, CTsVoiceCfg& edited, const std::filesystem::path& folder)
{
    if (folder.native() != mgr.folder().native()) {
        return EntryUpdate::OtherFolder;
    }
    if (!mgr.writable()) {
        return EntryUpdate::NotWritable;
    }
    edited.touch();
    CTsVoiceCfg* stored = mgr.findKey(entryKey(edited));
    const bool overwritten = stored != nullptr && stored->kind() == edited.kind() && stored->assignFrom(edited);
    if (!overwritten && !mgr.putCopy(edited)) {
        return EntryUpdate::NotFound; // a bare entry of no kind cannot be stored
    }
    return mgr.save() ? EntryUpdate::Done : EntryUpdate::SaveFailed;
}

namespace {

EntryUpdate storeUnderNewName(CTsVoiceCfgMgr& mgr, const std::string& key, const std::string& newSymbol,
                              const std::string& newPitch, bool keepOriginal)
{
    if (!mgr.writable()) {
        return EntryUpdate::NotWritable;
    }
    const CTsVoiceCfg* original = mgr.findKey(key);
    if (original == nullptr) {
        return EntryUpdate::NotFound;
    }
    if (newSymbol == original->symbol && newPitch == original->pitch) {
        return EntryUpdate::Unchanged;
    }
    auto copy = original->clone();
    copy->symbol = newSymbol;
    copy->pitch = newPitch;
    copy->touch();
    const std::string newKey = entryKey(*copy);
    // Storing under the new key may replace the original itself (when it was stored under a name
    // that is not its pitch and symbol); it is then not removed a second time.
    mgr.put(newKey, std::move(copy));
    if (!keepOriginal && newKey != key) {
        mgr.removeKey(key);
    }
    return mgr.save() ? EntryUpdate::Done : EntryUpdate::SaveFailed;
}

} // namespace

EntryUpdate renameEntry(CTsVoiceCfgMgr& mgr, const std::string& key, const std::string& newSymbol, const std::string& newPitch)
{
    return storeUnderNewName(mgr, key, newSymbol, newPitch, false);
}

EntryUpdate copyEntry(CTsVoiceCfgMgr& mgr, const std::string& key, const std::string& newSymbol, const std::string& newPitch)
{
    return storeUnderNewName(mgr, key, newSymbol, newPitch, true);
}

EntryUpdate deleteEntry(CTsVoiceCfgMgr& mgr, const std::string& key)
{
    if (!mgr.writable()) {
        return EntryUpdate::NotWritable;
    }
    if (!mgr.removeKey(key)) {
        return EntryUpdate::NotFound;
    }
    return mgr.save() ? EntryUpdate::Done : EntryUpdate::SaveFailed;
}
