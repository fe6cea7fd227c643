#pragma once

// The record an incremental "Build models" keeps in the model folder: for each model file, a hash of
// everything that determined it (the analysis version, the entry's kind, symbol, pitch and markers as
// handed to the engine, what the unit's checks read of the dictionary, and the samples of its
// region) and a hash of the file as it was written. An entry whose inputs hash as recorded, and whose
// model file still hashes as recorded, would be analysed into the same bytes again: it is skipped.
//
// The file is text: a header naming the format and the analysis version, one line per model file,
// and a closing line with the count. A file that is missing, damaged in any way or written by
// another analysis version gives an empty manifest, so everything is built: never a wrong skip.
//
// Threading: upToDate and record may be called from the build's worker threads at once.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::string_view kModelManifestName = "build-models.manifest";

class ModelManifest {
public:
    // The manifest of modelFolder, or an empty one.
    static ModelManifest load(const std::filesystem::path& modelFolder);
    // Written atomically. False when it could not be written.
    bool save(const std::filesystem::path& modelFolder) const;

    ModelManifest() = default;
    ModelManifest(ModelManifest&& other) noexcept;
    ModelManifest& operator=(ModelManifest&& other) noexcept;

    // True when some inputs are recorded for the model file.
    bool has(const std::string& modelName) const;
    // True when the model file was written from these inputs and has not changed since.
    bool upToDate(const std::string& modelName, const std::string& inputs, const std::filesystem::path& modelFile) const;
    // The model file was just written from these inputs.
    void record(const std::string& modelName, const std::string& inputs, const std::filesystem::path& modelFile);

    std::size_t size() const;

private:
    struct Record {
        std::string inputs; // hex hash
        std::string model;  // hex hash of the file's bytes
    };
    mutable std::mutex m_lock;
    std::map<std::string, Record> m_records;
};

// The hash of a unit's inputs, as hex. markers are the times handed to the engine; facts what the
// checks read of the dictionary (checkFacts).
std::string hashUnitInputs(int kind, std::string_view symbol, std::string_view pitch, std::span<const float> markers,
                           std::string_view facts, std::span<const float> samples);
