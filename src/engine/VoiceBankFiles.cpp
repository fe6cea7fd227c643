#include "engine/VoiceBankFiles.h"

#include "core/AnalysisConstants.h"
#include "core/AnalysisRandom.h"
#include "core/AtomicFile.h"
#include "core/MemoryStream.h"
#include "core/PitchName.h"
#include "engine/VoiceSources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <stdexcept>

namespace TessarinEngineV6 {

using namespace Tessarin;

namespace {

constexpr std::array<const char*, 12> kNoteNames{"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
const std::string kOpenFailedMessage = " ";

bool putString(CMemoryStream& s, std::string_view text)
{
    return writePlain(s, static_cast<std::int32_t>(text.size())) &&
           (text.empty() || writeBytes(s, text.data(), std::uint32_t(text.size())));
}

std::string_view bytesOf(const CMemoryBuffer& b)
{
    return {b.data(), b.size()};
}

// The bank's global settings, as the index file starts.
CMemoryBuffer indexHeader(std::string_view dictionaryText, const std::string& tableText, AnalysisRandom& random)
{
    CMemoryBuffer b;
    CMemoryStream s(&b);
    writePlain(s, std::int32_t(6));
    writePlain(s, std::int32_t(2));
    writePlain(s, std::int32_t(random.next()));
    writePlain(s, std::int32_t(128));  // hop
    writePlain(s, 44100.0f);           // sample rate
    writePlain(s, -26.35f);
    writePlain(s, -0.0002f);
    writePlain(s, 69.0f);
    writePlain(s, 20000.0f);
    writePlain(s, std::int32_t(30));
    writePlain(s, std::int32_t(1));
    writePlain(s, 20.0f);
    writePlain(s, 5000.0f);
    writePlain(s, 4000.0f);
    putString(s, "C1");
    putString(s, "C9");
    putString(s, dictionaryText);
    putString(s, tableText);
    writePlain(s, std::int32_t(1000));
    writePlain(s, std::int32_t(850));
    writePlain(s, std::int32_t(1250));
    writePlain(s, 1.0f);
    writePlain(s, 1.0f);
    writePlain(s, 0.0f);
    writePlain(s, std::int32_t(128));
    writePlain(s, std::int32_t(kNoiseBandCount)); // the bands' upper edges
    for (const float edge : std::span(kNoiseBandEdges).subspan<1>()) {
        writePlain(s, edge);
    }
    writePlain(s, std::int32_t(256));
    return b;
}

bool appendBlock(AtomicFileWriter& file, const CMemoryBuffer& block)
{
    const auto length = static_cast<std::int32_t>(block.size());
    return file.append(std::string_view(reinterpret_cast<const char*>(&length), 4)) && file.append(bytesOf(block));
}

std::filesystem::path contentPath(const std::filesystem::path& folder, int number)
{
    return folder / (number == 0 ? std::string("TSC") : "TSC_" + std::to_string(number));
}

// Continuation files numbered from `count` on belong to an older, larger bank (or to a bank whose
// numbering had gaps): nothing refers to them any more.
void removeStaleContinuations(const std::filesystem::path& folder, int count)
{
    std::error_code ec;
    std::vector<std::filesystem::path> stale;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Only the names the bank writes: "TSC_" and a decimal number without leading zeros.
        if (name.size() < 5 || name.size() > 14 || name.compare(0, 4, "TSC_") != 0 || name[4] == '0' ||
            name.find_first_not_of("0123456789", 4) != std::string::npos) {
            continue;
        }
        if (std::stoll(name.substr(4)) >= count) {
            stale.push_back(it->path());
        }
    }
    for (const std::filesystem::path& p : stale) {
        std::filesystem::remove(p, ec);
    }
}

} // namespace

int noteNumber(std::string_view pitch)
{
    const std::optional<PitchName> name = parsePitchName(pitch);
    if (!name) {
        throw std::invalid_argument("not a pitch name: " + std::string(pitch));
    }
    if (name->octave == 0) {
        return -12 + name->accidental;
    }
    return 12 * (name->octave - 2) + name->letter + name->accidental;
}

std::string noteName(int note)
{
    if (note <= -12) {
        return "C1";
    }
    const int shifted = note + 12;
    return std::string(kNoteNames[std::size_t(shifted % 12)]) + std::to_string(shifted / 12 + 1);
}

std::vector<PitchRange> pitchTable(const std::vector<std::string>& pitches)
{
    struct Note {
        int note;
        std::string pitch;
    };
    std::vector<Note> notes;
    for (const std::string& p : pitches) {
        if (isValidPitchName(p)) {
            notes.push_back({noteNumber(p), p});
        }
    }
    std::stable_sort(notes.begin(), notes.end(), [](const Note& x, const Note& y) { return x.note < y.note; });
    std::vector<PitchRange> table;
    for (std::size_t j = 0; j < notes.size(); ++j) {
        const int a = notes[j].note;
        const int c = j == 0 ? a - 3 : notes[j - 1].note;
        int b = notes.size() == 1 ? a + 1 : (j + 1 == notes.size() ? a + 3 : notes[j + 1].note);
        if (b - a >= 3) {
            b -= 2;
        } else {
            b = std::max(b - 1, a);
        }
        const int low = a - c > 2 ? a - 1 : a;
        table.push_back({noteName(low), noteName(b), notes[j].pitch});
    }
    return table;
}

std::string pitchTableText(const std::vector<PitchRange>& table)
{
    std::string text;
    for (const PitchRange& r : table) {
        for (const std::string* field : {&r.low, &r.high, &r.pitch}) {
            if (!text.empty()) {
                text += '/';
            }
            text += *field;
        }
    }
    return text;
}

std::vector<std::string> unitList(const CVVCMgr& d)
{
    std::vector<std::string> units(d.symbols.begin(), d.symbols.end());
    for (const std::string& s : d.symbols) {
        units.push_back("-" + s);
    }
    for (const std::string& v : d.vowels) {
        units.push_back(v + "_-");
    }
    for (const std::string& v : d.vowels) {
        for (const std::string& c : d.voicedConsonants) {
            units.push_back(v + "_" + c);
        }
        for (const std::string& c : d.unvoicedConsonants) {
            units.push_back(v + "_" + c);
        }
    }
    for (const std::string& v : d.vowels) {
        for (const std::string& w : d.vowels) {
            if (w != v) {
                units.push_back(v + "_" + w);
            }
        }
    }
    for (const std::string& v : d.vowels) {
        for (const std::string& t : d.tails) {
            units.push_back(v + "_" + t);
        }
    }
    units.insert(units.end(), d.independents.begin(), d.independents.end());
    return units;
}

bool assembleVoiceBank(std::string_view dictionaryText, TSSrcCheckResult& result,
                       const std::filesystem::path& modelFolder, const std::filesystem::path& voiceBankFolder,
                       const std::vector<std::string>& pitches, std::uint32_t contentLimit)
{
    SourceChecker checker;
    checker.load(dictionaryText);
    auto finish = [&] {
        result.messages = checker.messages;
        result.codes = checker.codes;
        result.ok = checker.codes.empty();
    };
    const std::string tableText = pitchTableText(pitchTable(pitches));

    const std::filesystem::path indexPath = voiceBankFolder / "TSI";
    AtomicFileWriter index;
    std::vector<AtomicFileWriter> contents(1);
    if (!index.open(indexPath) || !contents[0].open(contentPath(voiceBankFolder, 0))) {
        checker.messages.push_back(kOpenFailedMessage);
        checker.codes.push_back(-1);
        finish();
        return false;
    }
    AnalysisRandom random = AnalysisRandom::forUnit("TSI", "");
    bool written = index.append(bytesOf(indexHeader(dictionaryText, tableText, random)));

    const std::vector<std::string> units = unitList(checker.dictionary);
    std::uint32_t offset = 0;
    std::int32_t fileNumber = 0;
    bool reported = false; // a failure to open a file has been recorded
    AtomicFileWriter* content = &contents[0];
    for (const std::string& pitch : pitches) {
        for (const std::string& unit : units) {
            CMemoryBuffer block;
            CMemoryStream blockStream(&block);
            bool passed = false;
            if (unit.find('_') != std::string::npos) {
                const auto source = loadContinuantSource(modelFolder, unit, pitch);
                passed = checker.checkContinuantSource(unit, pitch, source.get(), false);
                if (passed) {
                    for (const std::int32_t q : source->q) {
                        writePlain(blockStream, q);
                    }
                    TSVM_V0::writeCompact(blockStream, *source->material);
                }
            } else {
                const auto source = loadVoiceSource(modelFolder, unit, pitch);
                passed = checker.checkVoiceSource(unit, pitch, source.get(), false);
                if (passed) {
                    for (const std::int32_t p : source->p) {
                        writePlain(blockStream, p);
                    }
                    TSVM_V0::writeCompact(blockStream, *source->material);
                }
            }
            if (!passed) {
                continue;
            }
            CMemoryBuffer record;
            CMemoryStream recordStream(&record);
            writePlain(recordStream, std::int32_t(0));
            putString(recordStream, unit);
            putString(recordStream, pitch);
            writePlain(recordStream, static_cast<std::int32_t>(offset));
            writePlain(recordStream, fileNumber);
            written = appendBlock(index, record) && written;
            if (content != nullptr) {
                written = appendBlock(*content, block) && written;
            }
            offset += block.size() + 4;

            if (offset >= contentLimit) {
                ++fileNumber;
                contents.emplace_back();
                AtomicFileWriter& next = contents.back();
                const auto path = contentPath(voiceBankFolder, fileNumber);
                if (next.open(path)) {
                    content = &next;
                    offset = 0;
                } else {
                    checker.messages.push_back(kOpenFailedMessage);
                    checker.codes.push_back(-1);
                    content = nullptr; // blocks of this file have nowhere to go: the bank is not installed
                    written = false;
                    reported = true;
                }
            }
        }
    }

    // Everything flushed first; then the content files take their places, and the index last, so the
    // new index never points into old content.
    written = index.finish() && written;
    for (AtomicFileWriter& c : contents) {
        if (c.isOpen()) {
            written = c.finish() && written;
        }
    }
    bool replaced = written;
    for (std::size_t i = 0; replaced && i < contents.size(); ++i) {
        replaced = contents[i].replace();
    }
    replaced = replaced && index.replace();
    if (!replaced) {
        // Whatever was not renamed is removed with its writer; an earlier bank stays as it was, up to
        // content files already replaced when a later rename failed.
        if (!reported) {
            checker.messages.push_back(kOpenFailedMessage); // a full disk reads as a file that cannot be made
            checker.codes.push_back(-1);
        }
    } else {
        removeStaleContinuations(voiceBankFolder, int(contents.size()));
    }
    finish();
    return replaced;
}

namespace {

class IndexReader {
public:
    explicit IndexReader(std::vector<char> bytes) : m_bytes(std::move(bytes)) {}

    template <class T>
    bool read(T& value)
    {
        if (m_bytes.size() - m_pos < sizeof(T)) {
            return false;
        }
        std::memcpy(&value, m_bytes.data() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    bool read(std::string& text)
    {
        std::int32_t length = 0;
        if (!read(length) || length < 0 || std::size_t(length) > m_bytes.size() - m_pos) {
            return false;
        }
        text.assign(m_bytes.data() + m_pos, std::size_t(length));
        m_pos += std::size_t(length);
        return true;
    }
    std::size_t remaining() const { return m_bytes.size() - m_pos; }

private:
    std::vector<char> m_bytes;
    std::size_t m_pos = 0;
};

std::vector<char> readWhole(const std::filesystem::path& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = bool(in);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::optional<BankIndex> readBankIndex(const std::filesystem::path& folder)
{
    bool opened = false;
    IndexReader r(readWhole(folder / "TSI", opened));
    if (!opened) {
        return std::nullopt;
    }
    BankIndex idx;
    BankIndex::Settings& s = idx.settings;
    std::int32_t six = 0, two = 0, filler = 0, edges = 0;
    if (!r.read(six) || !r.read(two) || !r.read(filler) || !r.read(s.hop) || !r.read(s.sampleRate) ||
        !r.read(s.setting2) || !r.read(s.setting3) || !r.read(s.setting4) || !r.read(s.setting5) ||
        !r.read(s.setting6) || !r.read(s.setting7) || !r.read(s.setting8) || !r.read(s.setting9) ||
        !r.read(s.setting10) || !r.read(s.lowestPitch) || !r.read(s.highestPitch) || !r.read(s.dictionaryText) ||
        !r.read(s.pitchTable) || !r.read(s.setting14) || !r.read(s.setting15) || !r.read(s.setting16) ||
        !r.read(s.setting17) || !r.read(s.setting18) || !r.read(s.setting19) || !r.read(s.setting20) ||
        !r.read(edges) || edges < 0 || std::size_t(edges) > r.remaining() / 4) {
        return std::nullopt;
    }
    s.bandEdges.resize(std::size_t(edges));
    for (float& e : s.bandEdges) {
        r.read(e);
    }
    if (!r.read(s.setting22)) {
        return std::nullopt;
    }
    // Content files are opened once each, as the records ask for them; only the length prefixes are read.
    std::map<std::int32_t, std::ifstream> contents;
    while (r.remaining() > 0) {
        std::int32_t length = 0;
        std::int32_t zero = 0;
        BankIndex::Record rec;
        if (!r.read(length) || !r.read(zero) || !r.read(rec.unit) || !r.read(rec.pitch) || !r.read(rec.offset) ||
            !r.read(rec.file)) {
            return idx;
        }
        auto it = contents.find(rec.file);
        if (it == contents.end()) {
            it = contents.emplace(rec.file, std::ifstream()).first;
            if (rec.file >= 0) {
                it->second.open(contentPath(folder, rec.file), std::ios::binary);
            }
        }
        std::ifstream& content = it->second;
        std::int32_t prefix = 0;
        if (content.is_open() && rec.offset >= 0) {
            content.clear();
            content.seekg(rec.offset);
            if (content.read(reinterpret_cast<char*>(&prefix), 4)) {
                rec.length = prefix;
            }
        }
        idx.records.push_back(std::move(rec));
    }
    idx.complete = true;
    return idx;
}

} // namespace TessarinEngineV6
