#include "model/ProjectFile.h"

#include "model/Language.h"

#include "core/AtomicFile.h"
#include "core/FileAccess.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;

std::int32_t int32FromLittleEndian(const std::array<char, 4>& b)
{
    const std::uint32_t u = std::uint32_t(static_cast<std::uint8_t>(b[0])) |
                            std::uint32_t(static_cast<std::uint8_t>(b[1])) << 8 |
                            std::uint32_t(static_cast<std::uint8_t>(b[2])) << 16 |
                            std::uint32_t(static_cast<std::uint8_t>(b[3])) << 24;
    return static_cast<std::int32_t>(u);
}

void appendInt32(std::string& out, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(u >> shift)));
    }
}

// The payload after the version: a declared length N, then N bytes. The buffer grows with the
// bytes the file really holds, so a damaged length cannot make us reserve gigabytes. A file that
// ends before its length reads as an empty payload.
TessarinWin::CMemoryBuffer readPayloadBytes(std::FILE* in)
{
    TessarinWin::CMemoryBuffer buffer;
    std::array<char, 4> lengthBytes{};
    if (std::fread(lengthBytes.data(), 1, 4, in) != 4) {
        return buffer;
    }
    const std::int32_t declared = int32FromLittleEndian(lengthBytes);
    if (declared < 1) {
        return buffer;
    }
    auto left = static_cast<std::size_t>(declared);
    std::array<char, kReadChunkBytes> chunk{};
    while (left > 0) {
        const std::size_t got = std::fread(chunk.data(), 1, std::min(left, chunk.size()), in);
        buffer.append(chunk.data(), got);
        if (got == 0) {
            break;
        }
        left -= got;
    }
    return buffer;
}

} // namespace

std::string translated(std::string_view key)
{
    return translate(std::string(key));
}

std::string untranslated(std::string_view key)
{
    return std::string(key);
}

ProjectReadResult readProjectFile(const std::filesystem::path& path)
{
    ProjectReadResult result;
    std::uint64_t size = 0;
    const Tessarin::FilePtr file = Tessarin::openRegularFileStream(path, &result.error, &size);
    if (!file) {
        return result;
    }
    if (size > kLargestProjectFile) {
        result.error.failure = Tessarin::ReadFailure::tooLarge;
        result.error.limit = kLargestProjectFile;
        return result;
    }
    std::FILE* in = file.get();
    result.status = ProjectReadStatus::notProjectFile;
    std::array<char, kProjectMagic.size()> magic{};
    std::array<char, 4> versionBytes{};
    if (std::fread(magic.data(), 1, magic.size(), in) != magic.size() ||
        std::string_view(magic.data(), magic.size()) != kProjectMagic ||
        std::fread(versionBytes.data(), 1, 4, in) != 4) {
        return result;
    }
    result.fileVersion = int32FromLittleEndian(versionBytes);

    auto model = std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>();
    if (result.fileVersion > model->version) {
        result.status = ProjectReadStatus::newerVersion;
        return result;
    }
    if (result.fileVersion == model->version) {
        TessarinWin::CMemoryBuffer payload = readPayloadBytes(in);
        TSTBCurrentModel::readPayload(*model, payload);
    } else if (result.fileVersion == model->previousVersion) {
        TessarinWin::CMemoryBuffer payload = readPayloadBytes(in);
        TSTBModel_v0::CTsToolBoxProjModel old;
        TSTBModel_v0::readPayload(old, payload);
        if (!model->upgradeFrom(old)) {
            return result;
        }
    } else {
        // No version below 0 was ever written.
        return result;
    }
    result.status = ProjectReadStatus::ok;
    result.model = std::move(model);
    return result;
}

std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> loadProject(const std::filesystem::path& path,
                                                                   const ProjectMessages& messages)
{
    ProjectReadResult result = readProjectFile(path);
    if (result.status == ProjectReadStatus::newerVersion) {
        showHighVersionMessage(messages);
    }
    return std::move(result.model);
}

void showHighVersionMessage(const ProjectMessages& messages)
{
    if (!messages.show) {
        return;
    }
    const std::string text = messages.translate ? messages.translate(kHighVersionMessage)
                                                : std::string(kHighVersionMessage);
    messages.show(text, kHighVersionCaption);
}

int saveProject(const TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& path)
{
    TessarinWin::CMemoryBuffer payload;
    if (!TSTBCurrentModel::writePayload(model, payload)) {
        return -1;
    }
    std::string bytes;
    bytes.reserve(kProjectMagic.size() + 8 + payload.size());
    bytes += kProjectMagic;
    appendInt32(bytes, model.version);
    appendInt32(bytes, static_cast<std::int32_t>(payload.size()));
    bytes.append(reinterpret_cast<const char*>(payload.data()), payload.size());
    return Tessarin::writeFileAtomically(path, bytes) ? 0 : -1;
}
