#include "engine/VoiceBankFiles.h"

#include "core/AnalysisConstants.h"
#include "core/AnalysisRandom.h"
#include "core/AtomicFile.h"
#include "core/FileSet.h"
#include "core/MemoryStream.h"
#include "core/PitchName.h"
#include "engine/VoiceSources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <stdexcept>
#include <type_traits>

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

// The index file's header: its leading values, the filler drawn from random, then the settings.
CMemoryBuffer indexHeader(const BankSettings& settings, AnalysisRandom& random)
{
    CMemoryBuffer b;
    CMemoryStream s(&b);
    writePlain(s, kIndexLeadingValues[0]);
    writePlain(s, kIndexLeadingValues[1]);
    writePlain(s, std::int32_t(random.next()));
    forEachBankSetting(settings, [&s](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
            return putString(s, value);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
            bool ok = writePlain(s, static_cast<std::int32_t>(value.size()));
            for (const float v : value) {
                ok = writePlain(s, v) && ok;
            }
            return ok;
        } else {
            return writePlain(s, value);
        }
    });
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

// The names a bank's files take: "TSI", "TSC", and "TSC_" with a decimal number without leading
// zeros; with a description, its name too.
bool isBankMemberName(const std::string& name, bool withDescription)
{
    if (name == "TSI" || name == "TSC" || (withDescription && name == kBankDescriptionName)) {
        return true;
    }
    return name.size() >= 5 && name.size() <= 14 && name.compare(0, 4, "TSC_") == 0 && name[4] != '0' &&
           name.find_first_not_of("0123456789", 4) == std::string::npos;
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

namespace {

// A file of the bank that cannot be made (or written): code −1 with a message of a single space.
void recordFileFailure(SourceChecker& checker)
{
    checker.messages.push_back(kOpenFailedMessage);
    checker.codes.push_back(-1);
}

// The unit's model file read back and checked in full; when it passes, its content block: the
// source's markers, then its compact model.
bool contentBlock(SourceChecker& checker, const std::filesystem::path& modelFolder, const std::string& unit,
                  const std::string& pitch, CMemoryBuffer& block)
{
    CMemoryStream stream(&block);
    if (unit.find('_') != std::string::npos) {
        const auto source = loadContinuantSource(modelFolder, unit, pitch);
        if (!checker.checkContinuantSource(unit, pitch, source.get(), false)) {
            return false;
        }
        for (const std::int32_t q : source->q) {
            writePlain(stream, q);
        }
        TSVM_V0::writeCompact(stream, *source->material);
        return true;
    }
    const auto source = loadVoiceSource(modelFolder, unit, pitch);
    if (!checker.checkVoiceSource(unit, pitch, source.get(), false)) {
        return false;
    }
    for (const std::int32_t p : source->p) {
        writePlain(stream, p);
    }
    TSVM_V0::writeCompact(stream, *source->material);
    return true;
}

// The index record of a block: a leading 0, the unit, the pitch, the block's offset and content file.
CMemoryBuffer indexRecord(const std::string& unit, const std::string& pitch, std::uint32_t offset, std::int32_t file)
{
    CMemoryBuffer record;
    CMemoryStream stream(&record);
    writePlain(stream, std::int32_t(0));
    putString(stream, unit);
    putString(stream, pitch);
    writePlain(stream, static_cast<std::int32_t>(offset));
    writePlain(stream, file);
    return record;
}

// The bank's files while they are written: the index and the content files, in a set of their own
// beside the bank's current one, exchanged for it as a whole.
class BankFiles {
public:
    BankFiles(const std::filesystem::path& folder, std::uint32_t contentLimit)
        : m_bankFolder(folder), m_contentLimit(contentLimit), m_contents(1)
    {
    }

    // False when the set, the index or the first content file cannot be made.
    bool open()
    {
        if (!m_set.open(m_bankFolder)) {
            return false;
        }
        m_folder = m_set.stagedPath("");
        return m_index.open(m_folder / "TSI") && m_contents[0].open(contentPath(m_folder, 0));
    }

    void appendHeader(const BankSettings& settings)
    {
        AnalysisRandom random = AnalysisRandom::forUnit("TSI", "");
        m_written = m_index.append(bytesOf(indexHeader(settings, random))) && m_written;
    }

    // The block's record into the index and the block into the current content file; past the size
    // limit, the next content file is started.
    void appendUnit(const std::string& unit, const std::string& pitch, const CMemoryBuffer& block, SourceChecker& checker)
    {
        m_written = appendBlock(m_index, indexRecord(unit, pitch, m_offset, m_fileNumber)) && m_written;
        if (m_content) {
            m_written = appendBlock(m_contents[*m_content], block) && m_written;
        }
        m_offset += block.size() + 4;
        if (m_offset >= m_contentLimit) {
            startNextContentFile(checker);
        }
    }

    // Everything flushed first; then the new set takes the old one's place in one step, so the
    // index never points into content of another build. True when the new bank replaced the old one.
    bool install(SourceChecker& checker, std::string_view description)
    {
        m_written = m_index.finish() && m_written;
        for (AtomicFileWriter& c : m_contents) {
            if (c.isOpen()) {
                m_written = c.finish() && m_written;
            }
        }
        bool replaced = m_written;
        std::vector<std::string> names{"TSI"};
        for (std::size_t i = 0; replaced && i < m_contents.size(); ++i) {
            replaced = m_contents[i].replace();
            names.push_back(contentPath({}, int(i)).string());
        }
        replaced = replaced && m_index.replace();
        const bool withDescription = !description.empty();
        if (replaced && withDescription) {
            replaced = writeFileAtomically(m_folder / kBankDescriptionName, description);
            names.emplace_back(kBankDescriptionName);
        }
        replaced = replaced && m_set.install(names, [withDescription](const std::string& name) {
            return isBankMemberName(name, withDescription);
        });
        if (!replaced && !m_reported) {
            // The new set is removed with its writer; the bank stays as it was.
            recordFileFailure(checker); // a full disk reads as a file that cannot be made
        }
        return replaced;
    }

private:
    void startNextContentFile(SourceChecker& checker)
    {
        ++m_fileNumber;
        m_contents.emplace_back();
        if (m_contents.back().open(contentPath(m_folder, m_fileNumber))) {
            m_content = m_contents.size() - 1;
            m_offset = 0;
        } else {
            recordFileFailure(checker);
            m_content.reset(); // blocks of this file have nowhere to go: the bank is not installed
            m_written = false;
            m_reported = true;
        }
    }

    std::filesystem::path m_bankFolder;
    FileSetWriter m_set;
    std::filesystem::path m_folder; // where the new set is written
    std::uint32_t m_contentLimit;
    AtomicFileWriter m_index;
    std::vector<AtomicFileWriter> m_contents;
    std::optional<std::size_t> m_content = 0; // the content file blocks go to
    std::uint32_t m_offset = 0;                // of the next block in it
    std::int32_t m_fileNumber = 0;
    bool m_written = true;
    bool m_reported = false; // a failure to open a file has been recorded
};

} // namespace

bool assembleVoiceBank(std::string_view dictionaryText, TSSrcCheckResult& result,
                       const std::filesystem::path& modelFolder, const std::filesystem::path& voiceBankFolder,
                       const std::vector<std::string>& pitches, std::uint32_t contentLimit,
                       std::string_view description)
{
    SourceChecker checker;
    checker.load(dictionaryText);
    auto finish = [&](bool replaced) {
        result.messages = checker.messages;
        result.codes = checker.codes;
        result.ok = checker.codes.empty();
        return replaced;
    };
    BankSettings settings;
    settings.dictionaryText = dictionaryText;
    settings.pitchTable = pitchTableText(pitchTable(pitches));

    BankFiles files(voiceBankFolder, contentLimit);
    if (!files.open()) {
        recordFileFailure(checker);
        return finish(false);
    }
    files.appendHeader(settings);
    const std::vector<std::string> units = unitList(checker.dictionary);
    for (const std::string& pitch : pitches) {
        for (const std::string& unit : units) {
            CMemoryBuffer block;
            if (contentBlock(checker, modelFolder, unit, pitch, block)) {
                files.appendUnit(unit, pitch, block, checker);
            }
        }
    }
    return finish(files.install(checker, description));
}

namespace {

// Past this many distinct content file numbers a damaged index is not worth counting further.
constexpr std::size_t kMostContentFilesCounted = 1024;

} // namespace

bool BankIndexReader::readBytes(void* into, std::size_t n)
{
    if (m_size - m_position < n || std::fread(into, 1, n, m_index.get()) != n) {
        return false;
    }
    m_position += n;
    return true;
}

bool BankIndexReader::read(std::string& text)
{
    std::int32_t length = 0;
    if (!read(length) || length < 0 || std::uint64_t(length) > m_size - m_position) {
        return false;
    }
    text.resize(std::size_t(length));
    return length == 0 || readBytes(text.data(), std::size_t(length));
}

bool BankIndexReader::read(std::vector<float>& values)
{
    std::int32_t count = 0;
    if (!read(count) || count < 0 || std::uint64_t(count) > (m_size - m_position) / sizeof(float)) {
        return false;
    }
    values.resize(std::size_t(count));
    for (float& v : values) {
        read(v);
    }
    return true;
}

bool BankIndexReader::open(const std::filesystem::path& folder, Tessarin::ReadError* why)
{
    m_folder = folder;
    m_position = 0;
    m_records = 0;
    m_headerCut = false;
    m_complete = false;
    m_contentNumber = -1;
    m_content.reset();
    m_lastFound = false;
    m_problems.clear();
    m_fitFile = -1;
    m_fitEnd = 0;
    m_index = Tessarin::openRegularFileStream(folder / "TSI", why, &m_size);
    if (!m_index) {
        return false;
    }
    m_settings = BankIndex::Settings{};
    std::int32_t leading[2] = {0, 0};
    std::int32_t filler = 0;
    if (!read(leading[0]) || !read(leading[1]) || !read(filler) ||
        !forEachBankSetting(m_settings, [this](auto& value) { return read(value); })) {
        m_headerCut = true;
        return false;
    }
    return true;
}

bool BankIndexReader::next(BankIndex::Record& rec, bool lookUpLengths)
{
    if (!m_index || m_headerCut) {
        return false;
    }
    if (m_position == m_size) {
        m_complete = true;
        if (lookUpLengths) {
            checkEndOfFit();
            m_fitFile = -1;
        }
        return false;
    }
    std::int32_t length = 0;
    std::int32_t zero = 0;
    rec = BankIndex::Record{};
    if (!read(length) || !read(zero) || !read(rec.unit) || !read(rec.pitch) || !read(rec.offset) || !read(rec.file)) {
        return false;
    }
    ++m_records;
    if (lookUpLengths) {
        if (rec.file != m_fitFile) {
            checkEndOfFit();
            m_fitFile = rec.file;
            m_fitEnd = 0;
        }
        rec.length = lookUpLength(rec.file, rec.offset);
        if (m_content != nullptr && m_contentNumber == rec.file && rec.length != -1) {
            const bool fits = rec.length >= 0 && std::uint64_t(rec.offset) == m_fitEnd &&
                              std::uint64_t(rec.offset) + 4 + std::uint64_t(rec.length) <= m_contentSize;
            if (!fits) {
                if (ContentProblem* p = problemOf(rec.file)) {
                    ++p->misfit;
                }
            }
            m_fitEnd = std::uint64_t(rec.offset) + 4 + std::uint64_t(std::max(rec.length, 0));
        }
    }
    return true;
}

BankIndexReader::ContentProblem* BankIndexReader::problemOf(std::int32_t file)
{
    auto it = m_problems.find(file);
    if (it == m_problems.end()) {
        if (m_problems.size() >= kMostContentFilesCounted) {
            return nullptr;
        }
        it = m_problems.emplace(file, ContentProblem{}).first;
    }
    return &it->second;
}

void BankIndexReader::checkEndOfFit()
{
    if (m_fitFile < 0 || m_content == nullptr || m_contentNumber != m_fitFile || m_fitEnd >= m_contentSize) {
        return;
    }
    if (ContentProblem* p = problemOf(m_fitFile)) {
        p->bytesAfterLastBlock = m_contentSize - m_fitEnd;
    }
}

std::int32_t BankIndexReader::lookUpLength(std::int32_t file, std::int32_t offset)
{
    if (m_lastFound && file == m_contentNumber && offset == m_lastOffset) {
        return m_lastLength; // a damaged index repeating one record costs no read per record
    }
    m_lastFound = false;
    const std::int32_t length = lookUpLengthUncached(file, offset);
    m_lastFound = m_lastFound && m_content != nullptr;
    m_lastOffset = offset;
    m_lastLength = length;
    return length;
}

std::int32_t BankIndexReader::lookUpLengthUncached(std::int32_t file, std::int32_t offset)
{
    if (file != m_contentNumber) {
        m_contentNumber = file;
        m_content.reset();
        m_contentSize = 0;
        if (file >= 0) {
            m_content = Tessarin::openRegularFileStream(
                m_folder / (file == 0 ? std::string("TSC") : "TSC_" + std::to_string(file)), nullptr, &m_contentSize);
        }
    }
    auto problem = [&] { return problemOf(file); };
    if (!m_content) {
        if (ContentProblem* p = problem()) {
            ++p->missingFile;
        }
        return -1;
    }
    std::int32_t prefix = 0;
    if (offset < 0 || std::uint64_t(offset) + 4 > m_contentSize || std::fseek(m_content.get(), offset, SEEK_SET) != 0 ||
        std::fread(&prefix, 1, 4, m_content.get()) != 4) {
        if (ContentProblem* p = problem()) {
            ++p->pastEnd;
        }
        return -1;
    }
    m_lastFound = true;
    return prefix;
}

std::optional<BankIndex> readBankIndex(const std::filesystem::path& folder)
{
    BankIndexReader reader;
    if (!reader.open(folder)) {
        return std::nullopt;
    }
    BankIndex idx;
    idx.settings = reader.settings();
    BankIndex::Record rec;
    while (reader.next(rec)) {
        idx.records.push_back(std::move(rec));
    }
    idx.complete = reader.complete();
    return idx;
}

} // namespace TessarinEngineV6
