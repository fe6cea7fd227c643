#pragma once

// The verdict "Build models" would give every entry of one folder, as lvtb check gives it: each
// entry through the build's checks with only the part of the analysis they read; nothing written.
// It runs on a worker thread of its own, so a window stays responsive while it works.
//
// Threading: start(), stop() and the destructor on one thread (the window's). onVerdict and
// onFinished are called on the worker; a window hands what they carry to its own thread (the voice
// configuration list posts an event). The destructor stops the check and waits for the worker.

#include "builder/ModelManifest.h"
#include "builder/VoiceBankBuilder.h"
#include "model/PhoneticDictionary.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class FolderCheck {
public:
    struct Verdict {
        std::string key;  // pitch + "->" + symbol
        bool ok = false;
        std::string text; // "pass", or the checker's messages
        int done = 0;     // entries reported so far, this one included
        int total = 0;    // entries of the folder
    };

    FolderCheck() = default;
    ~FolderCheck();
    FolderCheck(const FolderCheck&) = delete;
    FolderCheck& operator=(const FolderCheck&) = delete;

    // One call per entry, in the build's order.
    std::function<void(const Verdict&)> onVerdict;
    // After the last verdict; stopped when stop() ended the check early.
    std::function<void(bool stopped)> onFinished;

    // Checks the entries of folder's voice.lvcfg with jobs entries at once. modelFolder: the project's
    // (resolved); the units the last build wrote there from unchanged inputs pass without analysis, as
    // in lvtb check. Empty: every entry is analysed. A check still running is stopped first.
    void start(PhoneticDictionary dictionary, std::string folder, std::string modelFolder, int jobs);
    // Starts no further entry and waits for the worker.
    void stop();

    struct Run {
        BuildContext context;
        ModelManifest manifest; // read, never recorded in
        // buildModels() clears the context's stop flag when it begins: a stop asked for before that
        // is kept here and passed on at the next report.
        std::atomic<bool> stopAsked{false};
    };

private:
    std::unique_ptr<Run> m_run;
    std::thread m_worker;
};
