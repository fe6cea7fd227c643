#include "builder/ScanEstimation.h"

#include <utility>

ScanEstimation::~ScanEstimation()
{
    stop();
}

void ScanEstimation::start(std::vector<ScannedFile> plan, std::filesystem::path folder)
{
    stop();
    m_stopAsked.store(false);
    m_plan = std::move(plan);
    // The worker calls its own copies: the owner may set new callbacks while the last of it ends.
    m_worker = std::thread([this, onProgress = onProgress, onFinished = onFinished, folder = std::move(folder)] {
        const bool complete = estimateScannedMarkers(m_plan, folder, [&](std::size_t done, std::size_t total) {
            if (onProgress) {
                onProgress(done, total);
            }
            return !m_stopAsked.load();
        });
        if (onFinished) {
            onFinished(!complete);
        }
    });
}

void ScanEstimation::stop()
{
    m_stopAsked.store(true);
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::vector<ScannedFile> ScanEstimation::takePlan()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
    return std::exchange(m_plan, {});
}
