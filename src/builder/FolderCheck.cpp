#include "builder/FolderCheck.h"

#include <utility>

namespace {

class Reporter : public CTSVoiceBankUtilDelegate {
public:
    Reporter(const std::function<void(const FolderCheck::Verdict&)>& onVerdict, FolderCheck::Run& run)
        : m_onVerdict(onVerdict), m_run(run)
    {
    }

    void onProgress(const std::string&) override { passOnStop(); }
    void onEntryResult(const TSSrcCheckResult&, const std::string&) override {}
    void onFinished(const TSSrcCheckResult&) override {}
    void onLocationProblem(const TSSrcCheckResult&) override {}
    void onEntryDone(const CTsVoiceCfg& entry, const std::string&, const TSSrcCheckResult& result) override
    {
        FolderCheck::Verdict v;
        v.key = entry.entryKey();
        v.ok = result.ok;
        if (result.ok) {
            v.text = "pass";
        } else {
            for (const std::string& text : resultTexts(result)) {
                v.text += (v.text.empty() ? "" : " ") + text;
            }
        }
        v.done = ++m_done;
        v.total = m_run.context.total;
        passOnStop();
        if (m_onVerdict) {
            m_onVerdict(v);
        }
    }

private:
    void passOnStop()
    {
        if (m_run.stopAsked.load()) {
            m_run.context.stop.store(1);
        }
    }

    const std::function<void(const FolderCheck::Verdict&)>& m_onVerdict;
    FolderCheck::Run& m_run;
    int m_done = 0;
};

} // namespace

FolderCheck::~FolderCheck()
{
    stop();
}

void FolderCheck::start(PhoneticDictionary dictionary, std::string folder, std::string modelFolder, int jobs)
{
    stop();
    m_run = std::make_unique<Run>();
    m_run->context.checkOnly = true;
    m_run->context.jobs = jobs < 1 ? 1 : jobs;
    Run* run = m_run.get();
    // The worker calls its own copies: the owner may set new callbacks while the last of it ends.
    m_worker = std::thread([run, onVerdict = onVerdict, onFinished = onFinished, dictionary = std::move(dictionary),
                            folder = std::move(folder), modelFolder = std::move(modelFolder)] {
        Reporter reporter(onVerdict, *run);
        run->context.delegate = &reporter;
        if (!modelFolder.empty()) {
            run->manifest = ModelManifest::load(modelFolder);
            run->context.manifest = &run->manifest;
        }
        buildModels(run->context, dictionary, {folder}, modelFolder, std::nullopt, false);
        run->context.delegate = nullptr;
        if (onFinished) {
            onFinished(run->stopAsked.load());
        }
    });
}

void FolderCheck::stop()
{
    if (m_run) {
        m_run->stopAsked.store(true);
        m_run->context.stop.store(1);
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
}
