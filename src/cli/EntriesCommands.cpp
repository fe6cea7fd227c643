// lvtb entries: list and change the entries of a folder's voice.lvcfg, as the voice configuration
// list and the wave editor's store do.

#include "cli/Cli.h"

#include "audio/CWavData.h"
#include "builder/EntryScan.h"
#include "cli/ProjectCommands.h"
#include "core/FileLock.h"
#include "model/CTsVoiceCfgMgr.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <system_error>

namespace lvtb {

namespace {

constexpr const char* kEntriesUsage =
    "usage: lvtb entries list DIR [--json]\n"
    "       lvtb entries put DIR --kind CV|VX|INDIE --wav NAME --pitch P --symbol S --markers T1,T2,...\n"
    "       lvtb entries rename DIR KEY --symbol S --pitch P\n"
    "       lvtb entries copy DIR KEY --symbol S --pitch P\n"
    "       lvtb entries delete DIR KEY\n"
    "       lvtb entries scan FILE LOCATION --pitch P [--estimate] [--dry-run]\n"
    "\n"
    "The entries of the voice configuration file DIR/voice.lvcfg.\n"
    "\n"
    "  list     one line per entry in key order, the columns separated by tabs:\n"
    "             key (pitch->symbol), srcType (CV, VX or INDIE), wavName, then the markers in\n"
    "             seconds from the start of the WAV file, six decimals:\n"
    "               CV     connectPoint preutterance vowelStart vowelEnd tailPoint\n"
    "               VX     connectPoint tailPoint\n"
    "               INDIE  startPoint endPoint\n"
    "           The CV tailPoint is vowelEnd + 0.055 s whenever the entry is stored; list shows it\n"
    "           as the file holds it. --json prints the file's JSON object (markers there are\n"
    "           relative to startTime)\n"
    "  put      stores an entry as the wave editor does. Markers are absolute seconds in the WAV\n"
    "           file DIR/NAME: CV connectPoint,preutterance,vowelStart,vowelEnd; VX\n"
    "           connectPoint,tailPoint; INDIE startPoint,endPoint. They must be in order and\n"
    "           outside the 0.06 s margins at both ends of the file. A refusal prints the\n"
    "           editor's message on stdout and one line on stderr saying what was wrong\n"
    "  rename   moves the entry KEY (pitch->symbol) to a new symbol and pitch; for VX the\n"
    "           symbol is vowel_consonant\n"
    "  copy     as rename, keeping the original\n"
    "  delete   removes the entry KEY\n"
    "  scan     makes an entry at pitch P for every WAV file in the folder LOCATION that no entry\n"
    "           uses yet. The symbol is the file's stem, without a leading \"P_\" (C4_ka.wav at C4 is\n"
    "           ka); the kind comes from the dictionary of the project FILE: a CV symbol or \"-\" and\n"
    "           a CV symbol is CV, vowel_consonant (or a vowel, a tail symbol or \"-\" after the\n"
    "           \"_\") is VX, an independent symbol is INDIE. Markers start where the wave editor\n"
    "           first puts them in a new file; with --estimate, where the marker estimator\n"
    "           proposes them for the recording (as lvtb estimate), and where the editor first\n"
    "           puts them when it proposes nothing the editor would store. A name that is no unit,\n"
    "           a unit that has an entry at P already and a recording the editor cannot open are\n"
    "           reported and left alone. One line per file: made (or, with --dry-run, would make)\n"
    "           KEY, kind and file, and with --estimate \"estimated markers\" or \"no proposal:\n"
    "           first markers\"; exists KEY and file; unmatched file; unusable file and why.\n"
    "           --dry-run writes nothing\n"
    "\n"
    "Exit status: 0 done; 1 the entry was refused, or scan left a file alone (message on\n"
    "stdout); 2 bad usage or a folder or file that cannot be read or written.\n";

std::string configPathText(const std::string& dir)
{
    return dir + "/" + kVoiceCfgFileName;
}

// Loads DIR's entries. A voice.lvcfg that exists but cannot be read is refused; for writing, so is
// one that is read only in part, so that no command ever writes over what it could not read.
// Writers pass a lock, taken before the read and held until their save, so that a change made
// meanwhile by another writer is never lost.
void loadFolder(CTsVoiceCfgMgr& mgr, const std::string& dir, bool forWriting,
                std::optional<Tessarin::UpdateLock>* lock = nullptr)
{
    if (dir.empty()) {
        throw UsageError{"DIR must not be empty"};
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        throw UsageError{dir + ": no such folder"};
    }
    if (lock != nullptr) {
        lock->emplace(configPathText(dir));
    }
    if (mgr.loadFolder(dir) == CTsVoiceCfgMgr::LoadStatus::Unreadable) {
        const std::string& why = mgr.unreadableReason();
        const bool notJson = why.rfind("is not JSON", 0) == 0 || why.rfind("is not a JSON", 0) == 0;
        throw UsageError{configPathText(dir) + (notJson ? ": not a voice configuration file" : ": " + why) +
                         (forWriting ? "; nothing written" : "")};
    }
    if (forWriting && !mgr.writable()) {
        throw UsageError{configPathText(dir) + ": " + mgr.keptAsIsReason() + "; nothing written (the file is kept as it is)"};
    }
}

std::string seconds(double t)
{
    char buffer[400]; // room for the largest finite double in fixed notation
    std::snprintf(buffer, sizeof buffer, "%.6f", t);
    return buffer;
}

std::vector<double> markersOf(const CTsVoiceCfg& e)
{
    if (const auto* cv = dynamic_cast<const CTsVoiceCfg_CV*>(&e)) {
        return {cv->connectPoint, cv->preutterance, cv->vowelStart, cv->vowelEnd, cv->tailPoint};
    }
    if (const auto* vx = dynamic_cast<const CTsVoiceCfg_VC*>(&e)) {
        return {vx->connectPoint, vx->tailPoint};
    }
    if (const auto* in = dynamic_cast<const CTsVoiceCfg_INDIE*>(&e)) {
        return {in->startPoint, in->endPoint};
    }
    return {};
}

int listEntries(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {});
    args.expectPositional(1, "DIR");
    CTsVoiceCfgMgr mgr;
    const std::string& dir = args.positional(0);
    loadFolder(mgr, dir, false);
    for (const auto& [key, member] : mgr.skippedMembers()) {
        io.err << "skipped: " << key << ": " << member.reason << '\n';
    }
    if (!mgr.writable()) {
        io.err << "lvtb: " << configPathText(dir) << ": " << mgr.keptAsIsReason()
               << "; listed as read, but no command writes it\n";
    }
    if (args.flag("--json")) {
        io.out << mgr.toJsonText();
        return kExitOk;
    }
    for (const auto& [key, entry] : mgr.entryMap()) {
        io.out << key << '\t' << entry->srcType << '\t' << entry->wavName;
        for (const double t : markersOf(*entry)) {
            io.out << '\t' << seconds(t);
        }
        io.out << '\n';
    }
    return kExitOk;
}

std::string requiredOption(const Args& args, const std::string& name)
{
    const auto value = args.option(name);
    if (!value) {
        throw UsageError{name + " is required"};
    }
    if (value->empty()) {
        throw UsageError{name + " must not be empty"};
    }
    // The file is UTF-8 JSON: bytes of another encoding would not survive being written.
    if (!lvjson::isValidUtf8(*value)) {
        throw UsageError{name + " must be UTF-8 text"};
    }
    return *value;
}

// Times separated by ",", each a finite decimal number of seconds.
std::vector<double> parseMarkers(const std::string& text)
{
    std::vector<double> times;
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = text.find(',', pos);
        const std::string piece = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        double t = 0.0;
        const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), t);
        if (piece.empty() || ec != std::errc() || end != piece.data() + piece.size() || !std::isfinite(t)) {
            throw UsageError{"--markers: \"" + piece + "\" is not a time in seconds"};
        }
        times.push_back(t);
        if (comma == std::string::npos) {
            return times;
        }
        pos = comma + 1;
    }
}

void requireVxSymbol(const std::string& symbol)
{
    if (symbol.find('_') == std::string::npos || symbol == "_") {
        throw UsageError{"a VX symbol is vowel_consonant, got \"" + symbol + "\""};
    }
}

constexpr double kMarginSec = 0.06; // the editor's margin at each end of the file

std::vector<std::string_view> markerNames(const std::string& kind)
{
    if (kind == "CV") {
        return {"connectPoint", "preutterance", "vowelStart", "vowelEnd"};
    }
    if (kind == "VX") {
        return {"connectPoint", "tailPoint"};
    }
    return {"startPoint", "endPoint"};
}

int putEntry(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {"--kind", "--wav", "--pitch", "--symbol", "--markers"});
    args.expectPositional(1, "DIR");
    const std::string& dir = args.positional(0);
    const std::string kind = requiredOption(args, "--kind");
    const std::string wavName = requiredOption(args, "--wav");
    const std::string pitch = requiredOption(args, "--pitch");
    const std::string symbol = requiredOption(args, "--symbol");
    const std::vector<double> t = parseMarkers(requiredOption(args, "--markers"));

    std::unique_ptr<CTsVoiceCfg> entry;
    if (kind == "CV") {
        if (t.size() != 4) {
            throw UsageError{"--markers: a CV entry takes 4 times: connectPoint,preutterance,vowelStart,vowelEnd"};
        }
        auto cv = std::make_unique<CTsVoiceCfg_CV>();
        cv->connectPoint = t[0];
        cv->preutterance = t[1];
        cv->vowelStart = t[2];
        cv->vowelEnd = t[3];
        entry = std::move(cv);
    } else if (kind == "VX") {
        requireVxSymbol(symbol);
        if (t.size() != 2) {
            throw UsageError{"--markers: a VX entry takes 2 times: connectPoint,tailPoint"};
        }
        auto vx = std::make_unique<CTsVoiceCfg_VC>();
        vx->connectPoint = t[0];
        vx->tailPoint = t[1];
        entry = std::move(vx);
    } else if (kind == "INDIE") {
        if (t.size() != 2) {
            throw UsageError{"--markers: an INDIE entry takes 2 times: startPoint,endPoint"};
        }
        auto in = std::make_unique<CTsVoiceCfg_INDIE>();
        in->startPoint = t[0];
        in->endPoint = t[1];
        entry = std::move(in);
    } else {
        throw UsageError{"--kind must be CV, VX or INDIE"};
    }
    entry->wavName = wavName;
    entry->pitch = pitch;
    entry->symbol = symbol;

    std::optional<Tessarin::UpdateLock> lock;
    CTsVoiceCfgMgr mgr;
    loadFolder(mgr, dir, true, &lock);

    // The editor's checks need only the recording's duration, not its samples.
    const std::string wavPath = dir + "/" + wavName;
    TessarinEditor::EditorProbe wav;
    Tessarin::ReadError why;
    const TessarinEditor::WavLoadStatus loaded = TessarinEditor::probeForEditor(std::filesystem::path(wavPath), wav, &why);
    noteTruncatedData(wavPath, wav.info, io);
    if (wav.duration == 0.0f) {
        io.out << "Wav data not exists !\n";
        io.err << "lvtb: " << wavPath << ": " << whyRecordingNotLoaded(loaded, wav, why) << '\n';
        return kExitProblems;
    }
    // The editor's checks: order first (strict comparisons), then the margins.
    const std::vector<std::string_view> names = markerNames(kind);
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!(t[i + 1] > t[i])) {
            io.out << "The order of markers is wrong...\n";
            io.err << "lvtb: " << names[i + 1] << " (" << seconds(t[i + 1]) << " s) must come after " << names[i]
                   << " (" << seconds(t[i]) << " s)\n";
            return kExitProblems;
        }
    }
    const double lastAllowed = double(wav.duration) - kMarginSec;
    const bool firstInMargin = !(t.front() > kMarginSec);
    if (firstInMargin || !(t.back() < lastAllowed)) {
        io.out << "Markers should not in the margin ...\n";
        const std::size_t which = firstInMargin ? 0 : t.size() - 1;
        io.err << "lvtb: " << names[which] << " (" << seconds(t[which]) << " s) lies in the "
               << (firstInMargin ? "first" : "last") << " 0.06 s of " << wavName << ", which lasts "
               << seconds(wav.duration) << " s; markers must lie between 0.060000 and " << seconds(lastAllowed)
               << " s\n";
        return kExitProblems;
    }

    switch (storeEditedEntry(mgr, *entry, mgr.folder())) {
    case EntryUpdate::Done:
        io.out << "stored " << entryKey(*entry) << '\n';
        return kExitOk;
    case EntryUpdate::NotWritable:
        throw UsageError{configPathText(dir) + ": not a voice configuration file; nothing written"};
    default:
        throw UsageError{configPathText(dir) + ": cannot be written"};
    }
}

// The list's message for a key with no entry: pitch + " : " + symbol + " is not exists!".
std::string notExistsMessage(const std::string& key)
{
    const std::size_t arrow = key.find("->");
    if (arrow == std::string::npos) {
        return key + " :  is not exists!";
    }
    return key.substr(0, arrow) + " : " + key.substr(arrow + 2) + " is not exists!";
}

int renameOrCopy(const std::vector<std::string>& argv, Io& io, bool keepOriginal)
{
    const Args args(argv, {}, {"--symbol", "--pitch"});
    args.expectPositional(2, "DIR KEY");
    const std::string& dir = args.positional(0);
    const std::string& key = args.positional(1);
    const std::string symbol = requiredOption(args, "--symbol");
    const std::string pitch = requiredOption(args, "--pitch");

    std::optional<Tessarin::UpdateLock> lock;
    CTsVoiceCfgMgr mgr;
    loadFolder(mgr, dir, true, &lock);
    const CTsVoiceCfg* entry = mgr.findKey(key);
    if (entry == nullptr) {
        io.out << notExistsMessage(key) << '\n';
        return kExitProblems;
    }
    if (entry->kind() == CTsVoiceCfg::kVX) {
        requireVxSymbol(symbol);
    }
    const std::string newKey = pitch + "->" + symbol;
    // The list replaces an entry already stored under the new key without asking; say which.
    const bool replaces = newKey != key && (mgr.findKey(newKey) != nullptr || mgr.skippedMembers().count(newKey) != 0);
    switch (keepOriginal ? copyEntry(mgr, key, symbol, pitch) : renameEntry(mgr, key, symbol, pitch)) {
    case EntryUpdate::Done:
        io.out << (keepOriginal ? "copied " : "renamed ") << key << " to " << newKey << '\n';
        if (replaces) {
            io.err << "lvtb: replaced the entry that was stored under " << newKey << '\n';
        }
        return kExitOk;
    case EntryUpdate::Unchanged:
        io.out << "unchanged " << key << '\n';
        return kExitOk;
    case EntryUpdate::NotFound:
        io.out << notExistsMessage(key) << '\n';
        return kExitProblems;
    default:
        throw UsageError{configPathText(dir) + ": cannot be written"};
    }
}

int deleteOne(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {});
    args.expectPositional(2, "DIR KEY");
    const std::string& dir = args.positional(0);
    const std::string& key = args.positional(1);
    std::optional<Tessarin::UpdateLock> lock;
    CTsVoiceCfgMgr mgr;
    loadFolder(mgr, dir, true, &lock);
    switch (deleteEntry(mgr, key)) {
    case EntryUpdate::Done:
        io.out << "deleted " << key << '\n';
        return kExitOk;
    case EntryUpdate::NotFound:
        io.out << notExistsMessage(key) << '\n';
        return kExitProblems;
    default:
        throw UsageError{configPathText(dir) + ": cannot be written"};
    }
}

int scanEntries(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--dry-run", "--estimate"}, {"--pitch"});
    args.expectPositional(2, "FILE LOCATION");
    const std::string pitch = requiredOption(args, "--pitch");
    const bool dryRun = args.flag("--dry-run");
    const bool estimate = args.flag("--estimate");
    const LoadedProject project = loadOrFail(args.positional(0));
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(*project.model);
    const std::string& dir = args.positional(1);

    // The estimates are made from a plan of the file as it stands, without the lock: reading and
    // analysing every recording takes long, and another writer need not wait for it.
    std::vector<ScannedFile> estimated;
    if (estimate) {
        CTsVoiceCfgMgr unlocked;
        loadFolder(unlocked, dir, !dryRun);
        estimated = planEntryScan(unlocked, pitch, dictionary);
        estimateScannedMarkers(estimated, unlocked.folder());
    }
    // Planned under the lock: the entries seen are those the store adds to.
    std::optional<Tessarin::UpdateLock> lock;
    CTsVoiceCfgMgr mgr;
    loadFolder(mgr, dir, !dryRun, dryRun ? nullptr : &lock);
    std::vector<ScannedFile> plan = planEntryScan(mgr, pitch, dictionary);
    if (estimate) {
        // A file that came meanwhile is estimated now.
        carryEstimates(estimated, plan);
        estimateScannedMarkers(plan, mgr.folder());
    }
    if (!dryRun) {
        switch (storeScannedEntries(mgr, plan)) {
        case EntryUpdate::Done:
        case EntryUpdate::Unchanged: break;
        case EntryUpdate::NotWritable:
            throw UsageError{configPathText(dir) + ": not a voice configuration file; nothing written"};
        default: throw UsageError{configPathText(dir) + ": cannot be written"};
        }
    }
    bool leftAlone = false;
    for (const ScannedFile& file : plan) {
        switch (file.verdict) {
        case ScannedFile::Verdict::Make:
            io.out << (dryRun ? "would make " : "made ") << entryKey(*file.entry) << '\t' << file.entry->srcType << '\t'
                   << file.wavName;
            if (file.markers == ScannedFile::Markers::Estimated) {
                io.out << "\testimated markers";
            } else if (file.markers == ScannedFile::Markers::NoProposal) {
                io.out << "\tno proposal: first markers";
            }
            io.out << '\n';
            break;
        case ScannedFile::Verdict::Exists:
            io.out << "exists " << pitch << "->" << file.name->symbol << '\t' << file.wavName << '\n';
            leftAlone = true;
            break;
        case ScannedFile::Verdict::Unmatched:
            io.out << "unmatched " << file.wavName << '\n';
            leftAlone = true;
            break;
        case ScannedFile::Verdict::Unusable:
            io.out << "unusable " << file.wavName << ": " << file.detail << '\n';
            leftAlone = true;
            break;
        }
    }
    return leftAlone ? kExitProblems : kExitOk;
}

int runEntries(const std::vector<std::string>& argv, Io& io)
{
    if (argv.empty()) {
        throw UsageError{"entries needs a subcommand: list, put, rename, copy, delete or scan"};
    }
    const std::string& sub = argv[0];
    const std::vector<std::string> rest(argv.begin() + 1, argv.end());
    if (sub == "list") {
        return listEntries(rest, io);
    }
    if (sub == "put") {
        return putEntry(rest, io);
    }
    if (sub == "rename") {
        return renameOrCopy(rest, io, false);
    }
    if (sub == "copy") {
        return renameOrCopy(rest, io, true);
    }
    if (sub == "delete") {
        return deleteOne(rest, io);
    }
    if (sub == "scan") {
        return scanEntries(rest, io);
    }
    throw UsageError{"unknown entries subcommand " + sub + " (lvtb entries --help lists them)"};
}

} // namespace

Command entriesCommand()
{
    return {"entries", "list, store, rename, copy, delete and scan for the entries of a folder", kEntriesUsage, &runEntries};
}

} // namespace lvtb
