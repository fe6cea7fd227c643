#include "cli/ProjectCommands.h"

#include "cli/JsonText.h"
#include "core/FileLock.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectDocument.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"
#include "model/TextSplit.h"

#include <filesystem>
#include <istream>
#include <iterator>
#include <ostream>

namespace lvtb {

// Reads FILE or throws the usage error that exits with 2. The "high version" message goes through
// the same message path as in the desktop program, in English on the command line.
LoadedProject loadOrFail(const std::string& file)
{
    ProjectReadResult r = readProjectFile(file);
    switch (r.status) {
    case ProjectReadStatus::ok:
        return {std::move(r.model), r.fileVersion};
    case ProjectReadStatus::cannotOpen:
        throw UsageError{file + ": " + (r.error.failure == Tessarin::ReadFailure::none ? std::string("cannot open")
                                                                                         : r.error.text())};
    case ProjectReadStatus::notProjectFile:
        throw UsageError{file + ": not a project file"};
    case ProjectReadStatus::newerVersion:
        break;
    }
    std::string shown;
    ProjectMessages messages;
    messages.translate = untranslated;
    messages.show = [&shown](std::string_view text, std::string_view) { shown = std::string(text); };
    showHighVersionMessage(messages);
    throw UsageError{file + ": " + shown};
}

LoadedProject loadResolvedOrFail(const std::string& file)
{
    LoadedProject p = loadOrFail(file);
    resolveProjectFolders(*p.model, file);
    return p;
}

std::vector<std::string> panelList(std::string_view text)
{
    std::string cleaned;
    for (const char c : text) {
        if (c != '\n' && c != '\r' && c != ' ') {
            cleaned += c;
        }
    }
    return splitText(cleaned, ',');
}

namespace {

using Model = TSTBCurrentModel::CTsToolBoxProjModel;

constexpr std::string_view kProjectUsage =
    "usage: lvtb project new FILE [--force]\n"
    "       lvtb project show FILE [--json]\n"
    "       lvtb project set FILE FIELD VALUE\n"
    "       lvtb project add-location FILE DIR\n"
    "       lvtb project remove-location FILE DIR\n"
    "\n"
    "  new              writes a new, empty project file; an existing FILE is kept unless --force\n"
    "  show             prints every field; --json prints one JSON object\n"
    "  set              sets one field and saves (lvtb project set --help explains every field)\n"
    "  add-location     adds the recordings folder DIR (stored as an absolute path) to the wav\n"
    "                   locations unless it is listed; each location holds its own voice.lvcfg\n"
    "  remove-location  removes DIR from the wav locations (exit 1 when it is not listed)\n"
    "\n"
    "Folders stored relative (models, wav/C4) are taken from the folder that holds FILE.\n";

constexpr std::string_view kProjectSetUsage =
    "usage: lvtb project set FILE FIELD VALUE\n"
    "       lvtb project set FILE FIELD - < TEXT     (the value from stdin, kept byte for byte)\n"
    "\n"
    "Sets one field of the project and saves it. The six dictionary lists hold one item per line:\n"
    "pass real line breaks ($'ka,k,a\\nsa,s,a' in bash) or a file through -. Spaces and line breaks\n"
    "inside a line are ignored; a line of the wrong shape is skipped without a message (lvtb\n"
    "check-dict says when no usable line is left). Symbols may not hold  _ . \\ / : * ? \" < > | , ;\n"
    "\n"
    "The phonetic dictionary:\n"
    "  symbolList             1 Symbol List: one consonant-vowel symbol per line as\n"
    "                         symbol,consonant,vowel. ka,k,a: the unit ka is the consonant k, then\n"
    "                         the vowel a\n"
    "  vowelList              2 Vowel List: one vowel per line as vowel,second symbol. The second\n"
    "                         symbol is the vowel it is mapped to in the bank's dictionary: the vowel\n"
    "                         itself for a plain vowel (a,a), another vowel for one sung like it\n"
    "  voicedConsonantList    3 Voiced Consonant List: one symbol per line (n, m)\n"
    "  unvoicedConsonantList  4 Unvoiced Consonant List: one symbol per line (k, s, t)\n"
    "  independentList        5 Independent Symbol List: one symbol per line; units with no vowel\n"
    "                         structure, such as breaths (br1); INDIE entries must use one of them\n"
    "  tailList               6 Tail Symbol List: one symbol per line; sounds recorded after a\n"
    "                         vowel (each vowel_tail is a unit of the bank)\n"
    "  No symbol may stand in two lists, except that a symbol of list 1 may also be a vowel.\n"
    "\n"
    "The builds:\n"
    "  pitchList              the pitches of the voice bank, separated by \",\" (C4,E4,G4); a pitch is\n"
    "                         a letter A-G, an optional # or b, and an octave digit\n"
    "  modelFolder            where build-models writes one model file per entry and pitch\n"
    "  voiceBankFolder        where build-bank writes TSI, TSC (TSC_1, ...) and voice.tssd\n"
    "  voiceBankName          the name written into voice.tssd\n"
    "  allSymbols             1: build-models analyses every entry; 0: only those of modelSymbols\n"
    "  modelSymbols           the symbols build-models analyses when allSymbols is 0, separated\n"
    "                         by \",\" (ka,sa); empty means every entry\n"
    "  browseFolder           where the desktop program's file dialogs open\n"
    "\n"
    "modelFolder and voiceBankFolder may be relative: they are then taken from the folder that holds\n"
    "FILE, so a project copied with its folders builds into the copy. The wav locations are changed\n"
    "with add-location and remove-location. An unknown FIELD is exit 2 and FILE stays as it was.\n";

constexpr std::string_view kCheckDictUsage =
    "usage: lvtb check-dict FILE\n"
    "\n"
    "The dictionary window's \"Check Dictionary\": no symbol may repeat (a symbol of list 1 may equal a\n"
    "vowel of list 2), the vowel and symbol lists must keep at least one well-formed line, and no\n"
    "symbol may hold one of  _ . \\ / : * ? \" < > | , ;  Prints \"OK! Pass!\" (exit 0) or the first\n"
    "failure (exit 1), both on stdout.\n"
    "\n"
    "The build commands check more before they start: an empty symbol list, vowel list, or both\n"
    "consonant lists empty stop them with \"Error: ... list is empty...\".\n";

constexpr std::string_view kDictUsage =
    "usage: lvtb dict FILE\n"
    "\n"
    "Prints the serialised dictionary text that the analysis engine receives.\n";

void saveOrFail(ProjectDocument& doc, const std::string& file)
{
    if (!doc.save()) {
        throw UsageError{file + ": cannot write the project file; it was left as it was"};
    }
}

// Wav locations are full paths: a folder given relative to the working directory is stored
// absolute, without "." or ".." parts or a trailing separator.
std::string locationPath(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(dir, ec);
    if (ec) {
        throw UsageError{dir + ": cannot make an absolute path of it"};
    }
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

// A field value for the human-readable listing: on its line when it has no line break, else each
// line indented below the name.
void printField(std::ostream& out, std::string_view name, std::string_view value)
{
    if (value.find('\n') == std::string_view::npos) {
        out << name << ':' << (value.empty() ? "" : " ") << value << '\n';
        return;
    }
    out << name << ":\n";
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find('\n', start);
        if (end == std::string_view::npos) {
            end = value.size();
        }
        std::string_view line = value.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        out << "  " << line << '\n';
        start = end + 1;
    }
}

int projectNew(const std::vector<std::string>& argv, Io&)
{
    const Args args(argv, {"--force"}, {});
    args.expectPositional(1, "FILE");
    const std::string& file = args.positional(0);
    std::error_code ec;
    if (std::filesystem::symlink_status(file, ec).type() != std::filesystem::file_type::not_found &&
        !args.flag("--force")) {
        throw UsageError{file + ": already exists; --force replaces it"};
    }
    if (saveProject(Model(), file) != 0) {
        throw UsageError{file + ": cannot write the project file"};
    }
    return kExitOk;
}

int projectShow(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {});
    args.expectPositional(1, "FILE");
    const LoadedProject p = loadOrFail(args.positional(0));
    const Model& m = *p.model;
    if (args.flag("--json")) {
        io.out << "{\n";
        for (const ProjectField f : kProjectFields) {
            io.out << "  " << jsonString(projectFieldName(f)) << ": " << jsonString(projectField(m, f)) << ",\n";
        }
        io.out << "  \"wavLocations\": [";
        for (std::size_t i = 0; i < m.wavLocations.size(); ++i) {
            io.out << (i == 0 ? "" : ", ") << jsonString(m.wavLocations[i]);
        }
        io.out << "],\n  \"allSymbols\": " << int(m.allSymbols) << ",\n  \"version\": " << p.fileVersion << "\n}\n";
        return kExitOk;
    }
    io.out << "version: " << p.fileVersion << '\n';
    for (const ProjectField f : kProjectFields) {
        printField(io.out, projectFieldName(f), projectField(m, f));
    }
    io.out << "allSymbols: " << int(m.allSymbols) << '\n';
    io.out << "wavLocations:" << (m.wavLocations.empty() ? "" : "\n");
    for (const std::string& location : m.wavLocations) {
        io.out << "  " << location << '\n';
    }
    if (m.wavLocations.empty()) {
        io.out << '\n';
    }
    return kExitOk;
}

int projectSet(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {});
    args.expectPositional(3, "FILE FIELD VALUE");
    const std::string& file = args.positional(0);
    const std::string& name = args.positional(1);
    const std::optional<ProjectField> field = projectFieldFromName(name);
    if (!field && name != "allSymbols") {
        if (name == "wavLocations") {
            throw UsageError{"wavLocations is changed with add-location and remove-location"};
        }
        if (name == "version") {
            throw UsageError{"the version is the program's, not a setting"};
        }
        throw UsageError{"unknown field " + name};
    }
    std::string value = args.positional(2);
    if (value == "-") {
        value.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
    }
    std::uint8_t flag = 0;
    if (!field) {
        // A value read from stdin usually ends with the line end of the shell's echo.
        std::string_view v = value;
        while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) {
            v.remove_suffix(1);
        }
        if (v != "0" && v != "1") {
            throw UsageError{"allSymbols takes 0 or 1, not " + value};
        }
        flag = v == "1" ? 1 : 0;
    }

    // Held from the read to the save, so that another writer's change made meanwhile is not lost.
    const Tessarin::UpdateLock lock(file);
    ProjectDocument doc;
    doc.replaceModel(loadOrFail(file).model, file, false);
    if (field) {
        doc.setField(*field, value);
    } else {
        doc.setAllSymbols(flag);
    }
    saveOrFail(doc, file);
    return kExitOk;
}

int projectAddLocation(const std::vector<std::string>& argv, Io&)
{
    const Args args(argv, {}, {});
    args.expectPositional(2, "FILE DIR");
    const std::string& file = args.positional(0);
    const Tessarin::UpdateLock lock(file);
    ProjectDocument doc;
    doc.replaceModel(loadOrFail(file).model, file, false);
    if (doc.addWavLocation(locationPath(args.positional(1)))) {
        saveOrFail(doc, file);
    }
    return kExitOk;
}

int projectRemoveLocation(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {});
    args.expectPositional(2, "FILE DIR");
    const std::string& file = args.positional(0);
    const std::string& dir = args.positional(1);
    const Tessarin::UpdateLock lock(file);
    ProjectDocument doc;
    doc.replaceModel(loadOrFail(file).model, file, false);
    // The folder as listed, or as add-location would have listed it.
    if (!doc.removeWavLocation(dir) && !doc.removeWavLocation(locationPath(dir))) {
        io.out << dir << " is not a wav location of " << file << '\n';
        return kExitProblems;
    }
    saveOrFail(doc, file);
    return kExitOk;
}

int runProject(const std::vector<std::string>& argv, Io& io)
{
    if (argv.empty()) {
        throw UsageError{"project needs a subcommand: new, show, set, add-location or remove-location"};
    }
    const std::vector<std::string> rest(argv.begin() + 1, argv.end());
    const std::string& sub = argv[0];
    if (sub == "new") {
        return projectNew(rest, io);
    }
    if (sub == "show") {
        return projectShow(rest, io);
    }
    if (sub == "set") {
        return projectSet(rest, io);
    }
    if (sub == "add-location") {
        return projectAddLocation(rest, io);
    }
    if (sub == "remove-location") {
        return projectRemoveLocation(rest, io);
    }
    throw UsageError{"unknown project subcommand " + sub};
}

int runCheckDict(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {});
    args.expectPositional(1, "FILE");
    const LoadedProject p = loadOrFail(args.positional(0));
    std::string message;
    if (!checkDictionaryTexts(*p.model, message)) {
        io.out << message << '\n';
        return kExitProblems;
    }
    io.out << "OK! Pass!\n";
    return kExitOk;
}

int runDict(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {});
    args.expectPositional(1, "FILE");
    const LoadedProject p = loadOrFail(args.positional(0));
    io.out << PhoneticDictionary::fromProject(*p.model).serialise() << '\n';
    return kExitOk;
}

} // namespace

Command projectCommand()
{
    return {"project", "create a project file, show it, set its fields and wav locations", std::string(kProjectUsage),
            runProject, {{"set", std::string(kProjectSetUsage)}}};
}

Command checkDictCommand()
{
    return {"check-dict", "check the project's phonetic dictionary", std::string(kCheckDictUsage), runCheckDict};
}

Command dictCommand()
{
    return {"dict", "print the serialised dictionary the engine receives", std::string(kDictUsage), runDict};
}

} // namespace lvtb
