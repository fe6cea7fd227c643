#include "audio/AudioReader.h"

#include "core/FileAccess.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace TessarinEditor {

namespace {

using Tessarin::FilePtr;

// Only a regular file: a FIFO or a device under a recording's name would block the reader or never end.
FilePtr openForReading(const std::filesystem::path& path, Tessarin::ReadError* why)
{
    return Tessarin::openRegularFileStream(path, why);
}

// Byte sources for the RIFF parser. Both know their total size, so skips past the end and
// declared sizes larger than the file are caught without allocating by them.
class MemorySource {
public:
    explicit MemorySource(std::span<const unsigned char> bytes) : m_bytes(bytes) {}

    bool read(void* dst, std::size_t n)
    {
        if (n > remaining()) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        std::memcpy(dst, m_bytes.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    std::size_t readSome(unsigned char* dst, std::size_t n)
    {
        n = std::min<std::uint64_t>(n, remaining());
        read(dst, n);
        return n;
    }
    void skip(std::uint64_t n) { m_pos += n; }
    std::uint64_t remaining() const { return m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0; }

private:
    std::span<const unsigned char> m_bytes;
    std::uint64_t m_pos = 0;
};

class FileSource {
public:
    explicit FileSource(std::FILE* file) : m_file(file)
    {
        if (std::fseek(m_file, 0, SEEK_END) == 0) {
            const long end = std::ftell(m_file);
            m_size = end > 0 ? std::uint64_t(end) : 0;
        }
        std::fseek(m_file, 0, SEEK_SET);
    }

    bool read(void* dst, std::size_t n) { return readSome(static_cast<unsigned char*>(dst), n) == n; }
    std::size_t readSome(unsigned char* dst, std::size_t n)
    {
        n = std::min<std::uint64_t>(n, remaining());
        if (n == 0) {
            return 0;
        }
        if (m_seekPending) {
            if (std::fseek(m_file, long(m_pos), SEEK_SET) != 0) {
                return 0;
            }
            m_seekPending = false;
        }
        const std::size_t got = std::fread(dst, 1, n, m_file);
        m_pos += got;
        return got;
    }
    void skip(std::uint64_t n)
    {
        m_pos += n;
        m_seekPending = true;
    }
    std::uint64_t remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }

private:
    std::FILE* m_file;
    std::uint64_t m_size = 0;
    std::uint64_t m_pos = 0;
    bool m_seekPending = false;
};

template <class Source>
bool readU32(Source& src, std::uint32_t& value)
{
    unsigned char b[4];
    if (!src.read(b, 4)) {
        return false;
    }
    value = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    return true;
}

template <class Source>
bool readI32(Source& src, std::int32_t& value)
{
    std::uint32_t u = 0;
    if (!readU32(src, u)) {
        return false;
    }
    value = static_cast<std::int32_t>(u);
    return true;
}

template <class Source>
bool readU16(Source& src, std::uint16_t& value)
{
    unsigned char b[2];
    if (!src.read(b, 2)) {
        return false;
    }
    value = std::uint16_t(b[0] | b[1] << 8);
    return true;
}

bool looksLikeChunkId(const char id[4])
{
    for (int i = 0; i < 4; ++i) {
        if (static_cast<unsigned char>(id[i]) < 0x20 || static_cast<unsigned char>(id[i]) > 0x7E) {
            return false;
        }
    }
    return true;
}

// Reads chunk ids until one whose first `matchLength` bytes equal `id`, skipping every other chunk by
// its size. RIFF pads an odd-sized chunk to an even length and most writers do so, some do not: after
// an odd-sized chunk the next id is taken where the size says, and when no chunk id stands there (the
// pad byte is not text), one byte later. afterOddChunk tells whether the source stands right after an
// odd-sized chunk. Fails when the file ends first.
template <class Source>
bool findChunk(Source& src, const char* id, std::size_t matchLength, bool afterOddChunk = false)
{
    for (;;) {
        char found[4];
        if (!src.read(found, 4)) {
            return false;
        }
        if (afterOddChunk && !looksLikeChunkId(found)) {
            std::memmove(found, found + 1, 3);
            if (!src.read(found + 3, 1)) {
                return false;
            }
        }
        if (std::memcmp(found, id, matchLength) == 0) {
            return true;
        }
        std::uint32_t size = 0;
        if (!readU32(src, size)) {
            return false;
        }
        src.skip(size);
        afterOddChunk = (size & 1u) != 0;
    }
}

// The format of a RIFF file and the number of data bytes really present; the source is left at
// the first data byte.
struct RiffHeader {
    std::int32_t bytesPerSample = 0;
    std::int32_t channels = 0;
    std::int32_t sampleRate = 0;
    bool isFloat = false;
    std::uint32_t dataBytes = 0;
    std::uint32_t declaredDataBytes = 0;
};

template <class Source>
bool parseRiffHeader(Source& src, RiffHeader& header)
{
    char tag[4];
    std::int32_t riffSize = 0;
    if (!src.read(tag, 4) || std::memcmp(tag, "RIFF", 4) != 0) {
        return false;
    }
    if (!readI32(src, riffSize) || riffSize <= 0) {
        return false;
    }
    if (!src.read(tag, 4) || std::memcmp(tag, "WAVE", 4) != 0) {
        return false;
    }

    // The fourth byte of the format chunk's id is not examined.
    if (!findChunk(src, "fmt", 3)) {
        return false;
    }
    std::int32_t formatSize = 0;
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    if (!readI32(src, formatSize) || !readU16(src, formatTag) || !readU16(src, channels) ||
        !readU32(src, sampleRate) || !readU32(src, byteRate) || !readU16(src, blockAlign) ||
        !readU16(src, bitsPerSample)) {
        return false;
    }
    if (formatTag != 1 && formatTag != 3) {
        return false;
    }
    if (formatSize < 16) {
        return false;
    }
    src.skip(std::uint64_t(formatSize) - 16);

    if (!findChunk(src, "data", 4, (formatSize & 1) != 0)) {
        return false;
    }
    std::int32_t dataSize = 0;
    if (!readI32(src, dataSize) || dataSize <= 0) {
        return false;
    }

    header.bytesPerSample = bitsPerSample / 8;
    header.channels = channels;
    header.sampleRate = static_cast<std::int32_t>(sampleRate);
    header.isFloat = formatTag == 3 && (header.bytesPerSample == 4 || header.bytesPerSample == 8);
    // A data chunk that declares more than the file holds keeps only the bytes really there.
    header.declaredDataBytes = std::uint32_t(dataSize);
    header.dataBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(header.declaredDataBytes, src.remaining()));
    return true;
}

template <class Source>
bool parseRiff(Source& src, CWavBuf& out)
{
    RiffHeader header;
    if (!parseRiffHeader(src, header)) {
        return false;
    }
    CWavBuf wav;
    wav.bytesPerSample = header.bytesPerSample;
    wav.channels = header.channels;
    wav.sampleRate = header.sampleRate;
    wav.isFloat = header.isFloat;
    wav.bytes.grow(header.dataBytes);
    const std::size_t got = src.readSome(wav.bytes.begin(), header.dataBytes);
    wav.bytes.resize(static_cast<std::uint32_t>(got));
    out = std::move(wav);
    return true;
}

// Asks the decoder for 16-bit signed output at every rate and channel layout it offers, so that
// the stored bytes are always the 2-byte samples the buffer declares.
void requestShortOutput(mpg123_handle* handle)
{
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    mpg123_format_none(handle);
    for (std::size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
}

struct HandleDeleter {
    void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};

} // namespace

std::string audioFileExtension(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    std::string ext(dot == std::string_view::npos ? path : path.substr(dot + 1));
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return ext;
}

namespace {

// A name that neither reader takes is not opened for its contents; but when what stands there is no
// regular file at all (a FIFO, a device, a folder, nothing), that is what the caller is told, as the
// readers tell it. The open does not block and reads nothing.
bool refuseByExtension(const std::filesystem::path& path, Tessarin::ReadError* why)
{
    if (why != nullptr) {
        Tessarin::openRegularFile(path, why);
    }
    return false;
}

} // namespace

bool readAudioFile(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why)
{
    const std::string ext = audioFileExtension(path.native());
    if (ext == "wav") {
        return readRiffFile(path, out, why);
    }
    if (ext == "mp3") {
        return readMp3File(path, out, why);
    }
    return refuseByExtension(path, why);
}

bool readRiffFile(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why)
{
    const FilePtr file = openForReading(path, why);
    if (!file) {
        return false;
    }
    FileSource src(file.get());
    return parseRiff(src, out);
}

bool readRiffBytes(std::span<const unsigned char> file, CWavBuf& out)
{
    MemorySource src(file);
    return parseRiff(src, out);
}

namespace {

// The decoding loop over any source of input pieces: read(buffer, capacity) returns the bytes it put
// there, 0 at the end or on an error.
// keepSamples false: the decoded bytes are counted into out's format fields only (bytes stay empty),
// decodedBytes receives their number.
template <class Read>
bool decodeMp3(Read read, CWavBuf& out, bool keepSamples = true, std::uint64_t* decodedBytes = nullptr)
{
    constexpr std::size_t kInputPiece = 16384;
    constexpr std::size_t kOutputBlock = 32768;
    constexpr int kMaxIdleAnswers = 64;

    mpg123_init(); // a no-op on current libraries, required by old ones; mpg123_exit is never needed
    int err = MPG123_OK;
    const std::unique_ptr<mpg123_handle, HandleDeleter> handle(mpg123_new(nullptr, &err));
    if (!handle) {
        return false;
    }
    mpg123_param(handle.get(), MPG123_VERBOSE, 2, 0);
    // The library's notes ("Xing/Lame/Info header detected") would land on stderr, where a command
    // line program prints only its errors.
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    requestShortOutput(handle.get());
    if (mpg123_open_feed(handle.get()) != MPG123_OK) {
        return false;
    }

    CWavBuf wav;
    std::uint64_t decoded = 0;
    bool formatSeen = false;
    bool failed = false;
    std::vector<unsigned char> input(kInputPiece);
    std::vector<unsigned char> output(kOutputBlock);

    // Handles one decoder answer; returns false when decoding must stop with failure.
    auto take = [&](int ret, std::size_t done) {
        if (ret == MPG123_NEW_FORMAT && !formatSeen) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle.get(), &rate, &channels, &encoding);
            wav.sampleRate = static_cast<std::int32_t>(rate);
            wav.channels = channels;
            wav.bytesPerSample = 2;
            wav.isFloat = false;
            wav.bytes.clear();
            decoded = 0;
            formatSeen = true;
        }
        if (ret == MPG123_ERR) {
            return false;
        }
        if (done > 0) {
            if (decoded + done > UINT32_MAX) {
                return false; // over 4 GiB of samples: not a recording anyone marks
            }
            decoded += done;
            if (keepSamples) {
                wav.bytes.append(output.data(), static_cast<std::uint32_t>(done));
            }
        }
        return true;
    };

    while (!failed) {
        const std::size_t got = read(input.data(), input.size());
        if (got == 0) {
            break;
        }
        std::size_t done = 0;
        int ret = mpg123_decode(handle.get(), input.data(), got, output.data(), output.size(), &done);
        failed = !take(ret, done);
        // The decoder always makes progress on valid data; a long run of answers without output
        // is a damaged stream, not something to wait out.
        int idleAnswers = 0;
        while (!failed && ret != MPG123_NEED_MORE && ret != MPG123_ERR && ret != MPG123_DONE) {
            ret = mpg123_decode(handle.get(), nullptr, 0, output.data(), output.size(), &done);
            failed = !take(ret, done);
            idleAnswers = done == 0 ? idleAnswers + 1 : 0;
            if (idleAnswers > kMaxIdleAnswers) {
                failed = true;
            }
        }
    }

    if (!formatSeen || failed) {
        return false;
    }
    if (decodedBytes != nullptr) {
        *decodedBytes = decoded;
    }
    out = std::move(wav);
    return true;
}

} // namespace

bool readMp3File(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why)
{
    const FilePtr file = openForReading(path, why);
    if (!file) {
        return false;
    }
    std::FILE* f = file.get();
    return decodeMp3(
        [f](unsigned char* buffer, std::size_t capacity) {
            const std::size_t got = std::fread(buffer, 1, capacity, f);
            return std::ferror(f) ? std::size_t(0) : got; // a stream error ends the reading
        },
        out);
}

bool readMp3Bytes(std::span<const unsigned char> file, CWavBuf& out)
{
    std::size_t position = 0;
    return decodeMp3(
        [&](unsigned char* buffer, std::size_t capacity) {
            const std::size_t n = std::min(capacity, file.size() - position);
            std::memcpy(buffer, file.data() + position, n);
            position += n;
            return n;
        },
        out);
}

bool probeAudioFile(const std::filesystem::path& path, AudioFileInfo& info, Tessarin::ReadError* why)
{
    const std::string ext = audioFileExtension(path.native());
    if (ext != "wav" && ext != "mp3") {
        return refuseByExtension(path, why);
    }
    const FilePtr file = openForReading(path, why);
    if (!file) {
        return false;
    }
    AudioFileInfo found;
    if (ext == "wav") {
        FileSource src(file.get());
        RiffHeader header;
        if (!parseRiffHeader(src, header)) {
            return false;
        }
        found.bytesPerSample = header.bytesPerSample;
        found.channels = header.channels;
        found.sampleRate = header.sampleRate;
        found.isFloat = header.isFloat;
        found.dataBytes = header.dataBytes;
        found.declaredDataBytes = header.declaredDataBytes;
    } else {
        std::FILE* f = file.get();
        CWavBuf format;
        std::uint64_t decoded = 0;
        const bool ok = decodeMp3(
            [f](unsigned char* buffer, std::size_t capacity) {
                const std::size_t got = std::fread(buffer, 1, capacity, f);
                return std::ferror(f) ? std::size_t(0) : got;
            },
            format, false, &decoded);
        if (!ok) {
            return false;
        }
        found.bytesPerSample = format.bytesPerSample;
        found.channels = format.channels;
        found.sampleRate = format.sampleRate;
        found.isFloat = format.isFloat;
        found.dataBytes = static_cast<std::uint32_t>(decoded);
        found.declaredDataBytes = found.dataBytes;
    }
    info = found;
    return true;
}

RegionRead readGatedRegion(const std::filesystem::path& path, double startSec, double endSec,
                           Tessarin::FastVector<float>& region, Tessarin::ReadError* why, std::uint32_t mostSamples,
                           std::uint32_t* regionSamples, AudioFileInfo* fileInfo)
{
    region.clear();
    if (audioFileExtension(path.native()) != "wav") {
        AudioFileInfo info;
        if (!probeAudioFile(path, info, why)) {
            return RegionRead::readFailed;
        }
        if (fileInfo != nullptr) {
            *fileInfo = info;
        }
        return RegionRead::formatError;
    }
    const FilePtr file = openForReading(path, why);
    if (!file) {
        return RegionRead::readFailed;
    }
    FileSource src(file.get());
    RiffHeader header;
    if (!parseRiffHeader(src, header)) {
        return RegionRead::readFailed;
    }
    AudioFileInfo info;
    info.bytesPerSample = header.bytesPerSample;
    info.channels = header.channels;
    info.sampleRate = header.sampleRate;
    info.isFloat = header.isFloat;
    info.dataBytes = header.dataBytes;
    info.declaredDataBytes = header.declaredDataBytes;
    if (fileInfo != nullptr) {
        *fileInfo = info;
    }
    if (!passesFormatGate(info, path.native())) {
        return RegionRead::formatError;
    }
    const auto indexes = regionIndexes(startSec, endSec, info.sampleCount());
    if (!indexes) {
        return RegionRead::ok;
    }
    const auto [first, last] = *indexes;
    if (regionSamples != nullptr) {
        *regionSamples = last - first + 1;
    }
    if (last - first >= mostSamples) {
        return RegionRead::tooLong;
    }
    src.skip(std::uint64_t(first) * 2);
    // In pieces, converted as they come: no copy of the region's bytes is kept.
    constexpr std::size_t kPieceSamples = 65536;
    std::vector<unsigned char> piece(2 * kPieceSamples);
    region.resize(last - first + 1);
    std::uint32_t done = 0;
    while (done < region.size()) {
        const std::size_t want = std::min<std::size_t>(kPieceSamples, region.size() - done);
        const std::size_t got = src.readSome(piece.data(), 2 * want) / 2;
        for (std::size_t i = 0; i < got; ++i) {
            region[done + std::uint32_t(i)] = sampleOf16(piece[2 * i], piece[2 * i + 1]);
        }
        done += std::uint32_t(got);
        if (got < want) {
            region.resize(done); // the file ended early (it shrank while read): keep what was there
            break;
        }
    }
    return RegionRead::ok;
}

std::uint32_t AudioFileInfo::sampleCount() const
{
    return bytesPerSample > 0 ? dataBytes / std::uint32_t(bytesPerSample) : 0;
}

bool passesFormatGate(const AudioFileInfo& info, std::string_view path)
{
    return info.bytesPerSample == 2 && info.channels == 1 && info.sampleRate == 44100 &&
           audioFileExtension(path) == "wav";
}

bool passesFormatGate(const CWavBuf& wav, std::string_view path)
{
    return wav.bytesPerSample == 2 && wav.channels == 1 && wav.sampleRate == 44100 &&
           audioFileExtension(path) == "wav";
}

std::string audioFormatText(const AudioFileInfo& info)
{
    std::string text = std::to_string(info.sampleRate) + " Hz, " + std::to_string(info.bytesPerSample * 8) + "-bit";
    if (info.isFloat) {
        text += " float";
    }
    switch (info.channels) {
    case 1: text += ", mono"; break;
    case 2: text += ", stereo"; break;
    default: text += ", " + std::to_string(info.channels) + " channels"; break;
    }
    return text;
}

std::string wavFormatErrorText(const std::filesystem::path& path)
{
    std::string text = std::string(kWavFormatErrorMessage) + "\n" + path.filename().string();
    AudioFileInfo info;
    if (!probeAudioFile(path, info)) {
        return text;
    }
    text += ": " + audioFormatText(info);
    // An MP3 may decode to the right format: what fails is that it is no WAV file.
    if (audioFileExtension(path.string()) == "mp3") {
        text += ", MP3";
    }
    return text;
}

} // namespace TessarinEditor
