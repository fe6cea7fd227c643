#include "builder/FolderCheck.h"

#include <utility>

namespace {

class Reporter : public CTSVoiceBankUtilDelegate {
public:
    Reporter(const std::function<void(const FolderCheck::Verdict&)>& onVerdict, const BuildContext& context)
        : m_onVerdict(onVerdict), m_context(context)
    {
    }

    void onProgress(const std::string&) override {}
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
        v.total = m_context.total;
        if (m_onVerdict) {
            m_onVerdict(v);
        }
    }

private:
    const std::function<void(const FolderCheck::Verdict&)>& m_onVerdict;
    const BuildContext& m_context;
    int m_done = 0;
};

} // namespace

FolderCheck::~FolderCheck()
{
    stop();
}

void FolderCheck::start(PhoneticDictionary dictionary, std::string folder, int jobs)
{
    stop();
    m_context = std::make_unique<BuildContext>();
    m_context->checkOnly = true;
    m_context->jobs = jobs < 1 ? 1 : jobs;
    BuildContext* context = m_context.get();
    m_worker = std::thread([this, context, dictionary = std::move(dictionary), folder = std::move(folder)] {
        Reporter reporter(onVerdict, *context);
        context->delegate = &reporter;
        buildModels(*context, dictionary, {folder}, std::string(), std::nullopt, false);
        context->delegate = nullptr;
        if (onFinished) {
            onFinished(context->stop.load() != 0);
        }
    });
}

void FolderCheck::stop()
{
    if (m_context) {
        m_context->stop = 1;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
}
