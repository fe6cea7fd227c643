#include "model/ProjectDocument.h"

#include "core/FileLock.h"

#include <algorithm>
#include <sys/stat.h>

ProjectDocument::ProjectDocument() : m_model(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>()) {}

void ProjectDocument::replaceModel(std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model,
                                   const std::filesystem::path& path, bool modified)
{
    m_model = std::move(model);
    m_path = path;
    m_modified = modified ? 1 : 0;
    m_known = path.empty() ? FileStamp{} : stampOf(path);
    refreshTitle();
}

bool ProjectDocument::open(const std::filesystem::path& path)
{
    auto loaded = loadProject(path, messages);
    if (!loaded) {
        return false;
    }
    replaceModel(std::move(loaded), path, false);
    return true;
}

std::string ProjectDocument::field(ProjectField which) const
{
    return m_model ? projectField(*m_model, which) : std::string();
}

bool ProjectDocument::setField(ProjectField which, std::string_view text)
{
    if (!m_model) {
        return false;
    }
    projectField(*m_model, which) = std::string(text);
    markModified();
    return true;
}

bool ProjectDocument::addWavLocation(std::string_view folder)
{
    if (!m_model) {
        return false;
    }
    auto& list = m_model->wavLocations;
    if (std::find(list.begin(), list.end(), folder) != list.end()) {
        return false;
    }
    list.emplace_back(folder);
    markModified();
    return true;
}

bool ProjectDocument::removeWavLocation(std::string_view folder)
{
    if (!m_model) {
        return false;
    }
    auto& list = m_model->wavLocations;
    const auto it = std::find(list.begin(), list.end(), folder);
    if (it == list.end()) {
        return false;
    }
    list.erase(it);
    markModified();
    return true;
}

bool ProjectDocument::setAllSymbols(std::uint8_t flag)
{
    if (!m_model) {
        return false;
    }
    m_model->allSymbols = flag;
    markModified();
    return true;
}

bool ProjectDocument::save()
{
    if (!m_model || m_path.empty()) {
        return false;
    }
    if (saveProject(*m_model, m_path) != 0) {
        return false;
    }
    m_known = stampOf(m_path);
    m_modified = 0;
    refreshTitle();
    return true;
}

ProjectDocument::FileStamp ProjectDocument::stampOf(const std::filesystem::path& file)
{
    struct stat st {};
    FileStamp stamp;
    if (::stat(file.c_str(), &st) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.device = std::uint64_t(st.st_dev);
    stamp.inode = std::uint64_t(st.st_ino);
    stamp.size = std::uint64_t(st.st_size);
    stamp.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

ProjectDocument::SaveOutcome ProjectDocument::saveUnlessChanged(const std::optional<FileStamp>& accepted)
{
    if (!m_model || m_path.empty()) {
        return SaveOutcome::failed;
    }
    const Tessarin::UpdateLock lock(m_path);
    const FileStamp now = stampOf(m_path);
    if (now != m_known && (!accepted || now != *accepted)) {
        return SaveOutcome::changedOnDisk;
    }
    return save() ? SaveOutcome::saved : SaveOutcome::failed;
}

void ProjectDocument::markModified()
{
    m_modified = 1;
    refreshTitle();
}

void ProjectDocument::refreshTitle()
{
    if (onTitleChanged) {
        onTitleChanged();
    }
}
