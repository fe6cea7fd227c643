#include "model/ProjectDocument.h"

#include <algorithm>

ProjectDocument::ProjectDocument() : m_model(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>()) {}

void ProjectDocument::replaceModel(std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model,
                                   const std::filesystem::path& path, bool modified)
{
    m_model = std::move(model);
    m_path = path;
    m_modified = modified ? 1 : 0;
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
    m_modified = 0;
    refreshTitle();
    return true;
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
