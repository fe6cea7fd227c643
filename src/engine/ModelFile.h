#pragma once

// The per-unit model file, written next to the voice bank after a unit passes its checks and read
// back when the bank is assembled. Named pitch + "." + escaped symbol + ".LVModel"; no magic number,
// no version: the file is recognised by its name. The payload is a 32-bit length followed by the
// source's markers, the model and one record per frame.

#include "core/AnalysisRandom.h"
#include "core/FileAccess.h"
#include "engine/VoiceModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace TSVM_V0 {

inline constexpr int kVoiceMarkerCount = 8;      // p0 … p7 of a voiced unit
inline constexpr int kContinuantMarkerCount = 7; // q0 … q6 of a continuant
inline constexpr int kTrailingRecords = 10;      // frame records after the payload proper, never read

// "uppercase" before every character A … Z; every other byte as it is.
std::string escapeSymbol(std::string_view symbol);
std::string unescapeSymbol(std::string_view escaped);
std::string modelFileName(std::string_view symbol, std::string_view pitch);
std::filesystem::path modelFilePath(const std::filesystem::path& outputDir, std::string_view symbol,
                                    std::string_view pitch);

// The payload of a model file (without its length prefix). The filler values come from random.
bool buildModelPayload(std::span<const std::int32_t> markers, const TsVoiceModelCompact& material,
                       Tessarin::AnalysisRandom& random, CMemoryBuffer& payload);

// Writes the file through a temporary beside it, renamed over the target when complete, so an
// interrupted write never leaves half a model. The filler values come from the unit's own generator,
// so the same unit always gives the same bytes. False when the file cannot be written.
bool writeModelFile(std::span<const std::int32_t> markers, const TsVoiceModelCompact& material,
                    const std::filesystem::path& outputDir, std::string_view symbol, std::string_view pitch);

struct ModelFileContents {
    std::vector<std::int32_t> markers;
    TsVoiceModel model;
    bool headerRead = false;        // the markers and everything up to the frame count
    std::int32_t declaredFrames = 0;
    bool complete = false;          // every section up to reservedTrack was read
    std::string missing;            // the first section that could not be read, for a message
};

// Reads a model payload with the given number of markers. Reads stop at the first section that
// would pass the end of the payload; what was read before stays. The trailing records are not read.
ModelFileContents readModelPayload(CMemoryBuffer& payload, int markerCount);
// The largest model file read [bytes]: a unit of a minute takes about 60 MB.
inline constexpr std::uint64_t kLargestModelFile = 1024ull * 1024 * 1024;

// None when the file cannot be opened (why says why: missing, not a regular file, too large …); a
// file shorter than its length prefix reads as an empty payload.
std::optional<ModelFileContents> readModelFile(const std::filesystem::path& path, int markerCount,
                                               Tessarin::ReadError* why = nullptr);

// The markers and the f0 track of a model file: what the unit checks look at.
struct ModelCheckFields {
    std::vector<std::int32_t> markers;
    std::vector<float> f0;
};
enum class CheckFieldsRead {
    Read,
    CannotOpen,    // missing, or not a regular file
    NeedsFullRead, // the file holds harmonic peaks or fields too large for a compact model: only
                   // readModelFile and the conversion to a compact model give what the checks see
};
// Reads the markers and the f0 track as readModelFile reads them (a cut-short file keeps the whole
// frame records it holds) without decoding or keeping the other fields, for checking many models
// quickly. The f0 track is the one the compact form made from readModelFile's model would hold.
CheckFieldsRead readModelCheckFields(const std::filesystem::path& path, int markerCount, ModelCheckFields& out);
// The same over a payload (the file's bytes after its length), as readModelPayload reads it.
CheckFieldsRead readModelCheckFields(std::span<const char> payload, int markerCount, ModelCheckFields& out);

} // namespace TSVM_V0
