#include "model/CTsVoiceCfgMgr.h"

#include <system_error>
#include <typeinfo>

CTsVoiceCfgMgr::LoadStatus CTsVoiceCfgMgr::loadFolder(const std::filesystem::path& folder)
{
    clear();
    m_folder = folder;
    m_fileUnreadable = false;
    if (folder.empty()) {
        m_filePath.clear();
        return LoadStatus::NoFile;
    }
    m_filePath = std::filesystem::path(folder.native() + "/" + kVoiceCfgFileName);

    std::error_code ec;
    const auto status = std::filesystem::symlink_status(m_filePath, ec);
    if (ec || status.type() == std::filesystem::file_type::not_found) {
        if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
            m_fileUnreadable = true; // the folder itself cannot be searched
            return LoadStatus::Unreadable;
        }
        return LoadStatus::NoFile;
    }
    if (!loadFile(m_filePath)) {
        clear();
        m_fileUnreadable = true;
        return LoadStatus::Unreadable;
    }
    return LoadStatus::Loaded;
}

bool CTsVoiceCfgMgr::save()
{
    if (m_filePath.empty() || m_fileUnreadable) {
        return false;
    }
    return saveFile(m_filePath);
}

void CTsVoiceCfgMgr::put(const std::string& key, std::unique_ptr<CTsVoiceCfg> entry)
{
    if (!entry) {
        return;
    }
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
    return m_entries.erase(key) != 0;
}

void CTsVoiceCfgMgr::clear()
{
    m_entries.clear();
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
    if (!lvjson::isValidUtf8(text)) {
        return false;
    }
    return fromJsonTextChecked(text, true);
}

Json::Value& CTsVoiceCfgMgr::toJsonValue()
{
    Json::Value& v = resetJsonValue();
    for (const auto& [key, entry] : m_entries) {
        v[key] = entry->toJsonValue();
    }
    return v;
}

bool CTsVoiceCfgMgr::fromJsonValue(const Json::Value& value)
{
    clear();
    if (!value.isObject()) {
        return false;
    }
    // The writer ends a member name at its first NUL byte ("\u0000" in the file), so such a key
    // would come back shortened and could fall onto another entry's key: refuse the whole file.
    for (const std::string& name : value.getMemberNames()) {
        if (name.find('\0') != std::string::npos) {
            return false;
        }
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string name = it.name();
        CTsVoiceCfg probe;
        if (!probe.fromJsonValue(*it)) {
            continue;
        }
        auto entry = makeVoiceCfg(probe.srcType);
        if (!entry || !entry->fromJsonValue(*it)) {
            continue;
        }
        put(name, std::move(entry));
    }
    return true;
}

// ---- the four changes ----

EntryUpdate storeEditedEntry(CTsVoiceCfgMgr& mgr, CTsVoiceCfg& edited, const std::filesystem::path& folder)
{
    if (folder.native() != mgr.folder().native()) {
        return EntryUpdate::OtherFolder;
    }
    if (mgr.fileUnreadable()) {
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
    if (mgr.fileUnreadable()) {
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
    if (mgr.fileUnreadable()) {
        return EntryUpdate::NotWritable;
    }
    if (!mgr.removeKey(key)) {
        return EntryUpdate::NotFound;
    }
    return mgr.save() ? EntryUpdate::Done : EntryUpdate::SaveFailed;
}
