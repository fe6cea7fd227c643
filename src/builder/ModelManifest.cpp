#include "builder/ModelManifest.h"

#include "core/AtomicFile.h"
#include "core/FileAccess.h"
#include "engine/AnalysisPipeline.h"

#include <xxhash.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <vector>

namespace {

constexpr std::string_view kHeader = "lvtb model manifest 1";
constexpr std::size_t kHashChars = 32;

std::string hex(const XXH128_hash_t& h)
{
    char text[kHashChars + 1];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(h.high64),
                  static_cast<unsigned long long>(h.low64));
    return text;
}

bool isHash(std::string_view text)
{
    if (text.size() != kHashChars) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// The hash of a regular file's bytes; none when it cannot be read. Checked on the open file, so a
// FIFO or device put in the file's place after a look at its name cannot hold the build up.
std::optional<std::string> hashFile(const std::filesystem::path& path)
{
    const Tessarin::FilePtr file = Tessarin::openRegularFileStream(path);
    if (!file) {
        return std::nullopt;
    }
    XXH3_state_t* state = XXH3_createState();
    if (state == nullptr) {
        return std::nullopt;
    }
    XXH3_128bits_reset(state);
    std::vector<char> block(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        XXH3_128bits_update(state, block.data(), got);
    }
    const bool complete = std::ferror(file.get()) == 0;
    const XXH128_hash_t h = XXH3_128bits_digest(state);
    XXH3_freeState(state);
    if (!complete) {
        return std::nullopt;
    }
    return hex(h);
}

// Fields are written with their lengths, so that no two different inputs give the same stream.
class InputStream {
public:
    InputStream() : m_state(XXH3_createState())
    {
        if (m_state != nullptr) {
            XXH3_128bits_reset(m_state);
        }
    }
    ~InputStream() { XXH3_freeState(m_state); }
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    void bytes(const void* data, std::size_t n)
    {
        const std::uint64_t length = n;
        XXH3_128bits_update(m_state, &length, sizeof length);
        XXH3_128bits_update(m_state, data, n);
    }
    void text(std::string_view s) { bytes(s.data(), s.size()); }
    std::string digest() const { return hex(XXH3_128bits_digest(m_state)); }
    bool valid() const { return m_state != nullptr; }

private:
    XXH3_state_t* m_state;
};

} // namespace

ModelManifest::ModelManifest(ModelManifest&& other) noexcept
{
    std::lock_guard<std::mutex> guard(other.m_lock);
    m_records = std::move(other.m_records);
}

ModelManifest& ModelManifest::operator=(ModelManifest&& other) noexcept
{
    if (this != &other) {
        std::scoped_lock guard(m_lock, other.m_lock);
        m_records = std::move(other.m_records);
    }
    return *this;
}

ModelManifest ModelManifest::load(const std::filesystem::path& modelFolder)
{
    ModelManifest manifest;
    const std::filesystem::path path = modelFolder / kModelManifestName;
    // About a hundred bytes a model: far more than any voice bank has. A file that is not a regular
    // file, cannot be read or is larger is no record at all (everything is built again).
    constexpr std::uint64_t kLargestManifest = std::uint64_t(64) << 20;
    const std::optional<std::string> text = Tessarin::readRegularFile(path, kLargestManifest);
    if (!text) {
        return manifest;
    }
    std::istringstream lines(*text);
    std::string line;
    const std::string version = "analysis " + std::to_string(TessarinEngineV6::kAnalysisVersion);
    if (!std::getline(lines, line) || line != kHeader || !std::getline(lines, line) || line != version) {
        return manifest; // another format or another analysis: everything is built again
    }
    std::map<std::string, Record> records;
    while (std::getline(lines, line)) {
        if (line.rfind("end ", 0) == 0) {
            // The closing count proves the file was written whole; nothing may follow it.
            std::string rest;
            if (line != "end " + std::to_string(records.size()) || std::getline(lines, rest)) {
                return manifest;
            }
            manifest.m_records = std::move(records);
            return manifest;
        }
        const std::size_t a = line.find('\t');
        const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos || a == 0) {
            return manifest;
        }
        Record r{line.substr(a + 1, b - a - 1), line.substr(b + 1)};
        if (!isHash(r.inputs) || !isHash(r.model) || !records.emplace(line.substr(0, a), std::move(r)).second) {
            return manifest;
        }
    }
    return manifest; // no closing line: cut short
}

bool ModelManifest::save(const std::filesystem::path& modelFolder) const
{
    std::string text(kHeader);
    text += "\nanalysis " + std::to_string(TessarinEngineV6::kAnalysisVersion) + "\n";
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [name, r] : m_records) {
        text += name + "\t" + r.inputs + "\t" + r.model + "\n";
    }
    text += "end " + std::to_string(m_records.size()) + "\n";
    return Tessarin::writeFileAtomically(modelFolder / kModelManifestName, text);
}

bool ModelManifest::has(const std::string& modelName) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records.count(modelName) != 0;
}

bool ModelManifest::upToDate(const std::string& modelName, const std::string& inputs,
                             const std::filesystem::path& modelFile) const
{
    std::string recordedModel;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_records.find(modelName);
        if (it == m_records.end() || it->second.inputs != inputs) {
            return false;
        }
        recordedModel = it->second.model;
    }
    const std::optional<std::string> now = hashFile(modelFile);
    return now && *now == recordedModel;
}

void ModelManifest::record(const std::string& modelName, const std::string& inputs,
                           const std::filesystem::path& modelFile)
{
    // A name that would break a line of the file is not recorded: its entry is simply built again.
    if (modelName.empty() || modelName.find_first_of("\t\n\r") != std::string::npos || inputs.size() != kHashChars) {
        return;
    }
    const std::optional<std::string> model = hashFile(modelFile);
    std::lock_guard<std::mutex> guard(m_lock);
    if (model) {
        m_records[modelName] = Record{inputs, *model};
    } else {
        m_records.erase(modelName);
    }
}

std::size_t ModelManifest::size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records.size();
}

std::string hashUnitInputs(int kind, std::string_view symbol, std::string_view pitch, std::span<const float> markers,
                           std::string_view facts, std::span<const float> samples)
{
    InputStream s;
    if (!s.valid()) {
        return {}; // never matches a record, so the entry is built
    }
    const std::int32_t version = TessarinEngineV6::kAnalysisVersion;
    s.bytes(&version, sizeof version);
    s.bytes(&kind, sizeof kind);
    s.text(symbol);
    s.text(pitch);
    s.bytes(markers.data(), markers.size_bytes());
    s.text(facts);
    s.bytes(samples.data(), samples.size_bytes());
    return s.digest();
}
