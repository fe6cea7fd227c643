#pragma once

// estimateScannedMarkers() over a plan on a worker thread of its own, so that a window stays
// responsive while every recording of a folder is read and analysed.
//
// Threading: start(), stop(), takePlan() and the destructor on one thread (the window's).
// onProgress and onFinished are called on the worker; a window hands what they carry to its own
// thread (posts an event). The destructor stops the run and waits for the worker.

#include "builder/EntryScan.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

class ScanEstimation {
public:
    ScanEstimation() = default;
    ~ScanEstimation();
    ScanEstimation(const ScanEstimation&) = delete;
    ScanEstimation& operator=(const ScanEstimation&) = delete;

    // After each file: files estimated so far, and how many there are.
    std::function<void(std::size_t done, std::size_t total)> onProgress;
    // After the last file, or when stop() ended the run early (stopped).
    std::function<void(bool stopped)> onFinished;

    // Estimates the markers of plan's Make entries, whose recordings lie in folder. A run still
    // going is stopped first.
    void start(std::vector<ScannedFile> plan, std::filesystem::path folder);
    // Starts no further file and waits for the worker.
    void stop();
    // Once onFinished has been called: waits for the worker to end and hands over the plan with
    // its estimates.
    std::vector<ScannedFile> takePlan();

private:
    std::vector<ScannedFile> m_plan; // the worker's while it runs
    std::atomic<bool> m_stopAsked{false};
    std::thread m_worker;
};
