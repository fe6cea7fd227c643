// lvtb check: the verdict "Build models" would give every entry of the project's wav locations, from
// only what the checks read of the analysis (the f0 track). Nothing is written.

#include "builder/BuildTextRenderer.h"
#include "builder/ModelManifest.h"
#include "builder/VoiceBankBuilder.h"
#include "cli/Cli.h"
#include "cli/ProjectCommands.h"
#include "model/CTsVoiceCfg.h"
#include "model/PhoneticDictionary.h"

#include <json/json.h>

#include <ostream>
#include <string>
#include <vector>

namespace lvtb {

namespace {

constexpr std::string_view kUsage =
    "usage: lvtb check FILE [--json] [--jobs N]\n"
    "\n"
    "What build-models would refuse, without building: every entry of every wav location of project\n"
    "FILE goes through the checks of the build (the symbol and pitch names, the marker order, the\n"
    "voicing of the consonant, the vowel and the continuants) with only the part of the analysis those\n"
    "checks read, the f0 track. No model file is written. An entry whose model the last build wrote\n"
    "from the same recording, markers and dictionary (by the model folder's build-models.manifest), and\n"
    "that is still as written, passed then and passes without analysis.\n"
    "Prints one line per entry as the build text does (its progress line, then OK or the error), then\n"
    "a summary line.\n"
    "  --json    one JSON object instead: \"entries\", an array of {\"key\", \"location\", \"ok\",\n"
    "            \"codes\", \"messages\"} in build order, and \"summary\" {\"entries\", \"passing\",\n"
    "            \"failing\", \"unchangedSinceLastBuild\", \"locationProblems\"}\n"
    "  --jobs N  check N entries at once, N from 1 to 256 (default: the number of processors)\n"
    "Before checking, the build panel's checks run (empty lists, the dictionary check).\n"
    "Exit status: 0 every entry passes; 1 an entry fails, a wav location cannot be read or the\n"
    "dictionary check fails; 2 bad usage or a project that cannot be read.\n";

// Keeps every entry's verdict and passes the text on to the renderer (when there is one).
class Verdicts : public CTSVoiceBankUtilDelegate {
public:
    Verdicts(BuildTextRenderer* text, Io& io) : m_text(text), m_truncated(io) {}

    struct Entry {
        std::string key;
        std::string location;
        TSSrcCheckResult result;
    };

    void onProgress(const std::string& line) override
    {
        if (m_text != nullptr) {
            m_text->onProgress(line);
        }
    }
    void onEntryResult(const TSSrcCheckResult& result, const std::string& line) override
    {
        if (m_text != nullptr) {
            m_text->onEntryResult(result, line);
        }
    }
    void onEntryDone(const CTsVoiceCfg& entry, const std::string& location, const TSSrcCheckResult& result) override
    {
        entries.push_back({entry.entryKey(), location, result});
        (result.ok ? passing : failing) += 1;
        m_truncated.recordingOf(location, entry.wavName);
    }
    void onFinished(const TSSrcCheckResult&) override {}
    void onLocationProblem(const TSSrcCheckResult& result) override
    {
        if (m_text != nullptr) {
            m_text->onLocationProblem(result);
        }
        locationProblems.push_back(result.messages.empty() ? std::string() : resultTexts(result).front());
    }

    std::vector<Entry> entries;
    std::vector<std::string> locationProblems;
    int passing = 0;
    int failing = 0;
    int unchanged = 0; // passed as the last build found them, without analysis

private:
    BuildTextRenderer* m_text;
    TruncatedDataNotes m_truncated;
};

void printJson(const Verdicts& verdicts, std::ostream& out)
{
    Json::Value root(Json::objectValue);
    root["entries"] = Json::Value(Json::arrayValue);
    for (const Verdicts::Entry& e : verdicts.entries) {
        Json::Value entry(Json::objectValue);
        entry["key"] = e.key;
        entry["location"] = e.location;
        entry["ok"] = e.result.ok;
        entry["codes"] = Json::Value(Json::arrayValue);
        for (const std::int32_t code : e.result.codes) {
            entry["codes"].append(code);
        }
        entry["messages"] = Json::Value(Json::arrayValue);
        if (!e.result.ok) {
            for (const std::string& text : resultTexts(e.result)) {
                entry["messages"].append(text);
            }
        }
        root["entries"].append(entry);
    }
    Json::Value summary(Json::objectValue);
    summary["entries"] = Json::UInt64(verdicts.entries.size());
    summary["passing"] = verdicts.passing;
    summary["failing"] = verdicts.failing;
    summary["unchangedSinceLastBuild"] = verdicts.unchanged;
    summary["locationProblems"] = Json::Value(Json::arrayValue);
    for (const std::string& problem : verdicts.locationProblems) {
        summary["locationProblems"].append(problem);
    }
    root["summary"] = summary;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    out << Json::writeString(writer, root) << '\n';
}

int runCheck(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {"--jobs"});
    args.expectPositional(1, "FILE");
    const int jobs = jobsOption(args);
    const LoadedProject loaded = loadResolvedOrFail(args.positional(0));
    std::string message;
    if (!checkProjectDictionary(*loaded.model, message)) {
        if (args.flag("--json")) {
            Json::Value root(Json::objectValue);
            root["dictionaryError"] = message;
            io.out << Json::writeString(Json::StreamWriterBuilder(), root) << '\n';
        } else {
            io.out << message << '\n';
        }
        return kExitProblems;
    }

    const bool json = args.flag("--json");
    BuildTextRenderer text(BuildTextRenderer::localTimeText, [&io](std::string_view piece) {
        io.out << piece;
        io.out.flush();
    });
    Verdicts verdicts(json ? nullptr : &text, io);
    BuildContext context;
    context.jobs = jobs;
    context.checkOnly = true;
    context.delegate = &verdicts;
    // Read only: what the last build wrote spares the analysis of the units it wrote unchanged.
    const std::string& modelFolder = loaded.model->modelFolder;
    ModelManifest manifest = ModelManifest::load(modelFolder);
    context.manifest = &manifest;
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(*loaded.model);
    buildModels(context, dictionary, loaded.model->wavLocations, modelFolder, std::nullopt, false);
    verdicts.unchanged = context.unchangedSinceBuild.load();

    if (json) {
        printJson(verdicts, io.out);
    } else {
        io.out << "\r\n\r\n"
               << verdicts.entries.size() << " entries checked: " << verdicts.passing << " pass, " << verdicts.failing
               << " fail";
        if (!verdicts.locationProblems.empty()) {
            io.out << ", " << verdicts.locationProblems.size() << " wav locations not read";
        }
        if (verdicts.unchanged > 0) {
            io.out << "; " << verdicts.unchanged << " unchanged since the last build";
        }
        io.out << "\r\n";
    }
    return verdicts.failing == 0 && verdicts.locationProblems.empty() ? kExitOk : kExitProblems;
}

} // namespace

Command checkCommand()
{
    return {"check", "what build-models would refuse, per entry, without building", std::string(kUsage), runCheck};
}

} // namespace lvtb
