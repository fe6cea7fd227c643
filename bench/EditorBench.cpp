// The wave annotation editor's speed at 1920 × 1080: opening a 10-minute 44.1 kHz recording until
// the first frame is painted (waveform and the spectrogram's coarse picture), and the repaint after
// a zoom or a pan. Windows are offscreen; times are wall-clock. And its memory: the resident size
// with the 10-minute recording open, and after a short entry replaced it.

#include "OffscreenBenchmarks.h"
#include "SungTone.h"
#include "audio/WavWriter.h"
#include "ui/spectrogram/CSpecBuilder.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/editor/UISignalNames.h"
#include "ui/toolkit/UiStyle.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

using namespace TessarinEditor;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Ten minutes of the sung tone, tiled from one second of it, written once per run.
const std::filesystem::path& tenMinuteWav()
{
    static std::filesystem::path path;
    if (path.empty()) {
        const auto tone = lvbench::sungTone(1.0);
        std::vector<float> samples;
        samples.reserve(tone.size() * 600);
        for (int s = 0; s < 600; ++s) {
            samples.insert(samples.end(), tone.begin(), tone.end());
        }
        path = std::filesystem::temp_directory_path() / ("lvtb-editor-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        writeWav16(path / "ten.wav", samples);
    }
    return path;
}

// A 2-second take beside the long one, for the entry opened after it.
void writeShortWav()
{
    const auto tone = lvbench::sungTone(2.0);
    writeWav16(tenMinuteWav() / "short.wav", std::vector<float>(tone.begin(), tone.end()));
}

// A line of /proc/self/status ("VmRSS", "VmHWM") in MB; 0 when it cannot be read.
double statusMegabytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stod(line.substr(key.size() + 1)) / 1024.0; // the kernel writes kB
        }
    }
    return 0.0;
}

// Starts a new peak: VmHWM falls back to the present resident size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void waitForPicture(CWavMgrDlg& dlg)
{
    CSpectrogramImgView& spectrogram = dlg.view().spectrogram();
    while (spectrogram.builder().finishedRequest() != std::optional<int>(spectrogram.latestRequest())) {
        std::this_thread::yield();
    }
}

void paint(CWavMgrDlg& dlg, QImage& frame)
{
    QPainter painter(&frame);
    dlg.board().paintTree(QRect(0, 0, kWidth, kHeight), painter);
}

CTsVoiceCfg_CV entryAt(double cp)
{
    CTsVoiceCfg_CV entry;
    entry.wavName = "ten.wav";
    entry.pitch = "C4";
    entry.symbol = "ka";
    entry.connectPoint = cp;
    entry.preutterance = cp + 0.1;
    entry.vowelStart = cp + 0.2;
    entry.vowelEnd = cp + 0.5;
    return entry;
}

// An editor of the window's size with the 10-minute file loaded at an entry near cp.
std::unique_ptr<CWavMgrDlg> loadedEditor(double cp)
{
    auto dlg = std::make_unique<CWavMgrDlg>();
    dlg->board().resize(kWidth, kHeight);
    dlg->board().relayout();
    dlg->loadCVEntry(entryAt(cp), QString::fromStdString(tenMinuteWav().string()));
    return dlg;
}

// The same with a 10 s view from 295 s.
std::unique_ptr<CWavMgrDlg> tenSecondView()
{
    auto dlg = loadedEditor(300.0);
    dlg->wavData().viewStart = 295.0f;
    dlg->wavData().viewLength = 10.0f;
    dlg->view().syncAll();
    return dlg;
}

} // namespace

// Load (read, convert, hand to the views), the coarse spectrogram picture of the whole file, and the
// first paint of the window. A new editor per iteration, so that the file is read every time.
static void BM_EditorOpenTenMinutesFirstFrame(benchmark::State& state)
{
    const QString folder = QString::fromStdString(tenMinuteWav().string());
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        auto dlg = std::make_unique<CWavMgrDlg>();
        dlg->board().resize(kWidth, kHeight);
        dlg->board().relayout();
        state.ResumeTiming();
        dlg->loadCVEntry(entryAt(0.0), folder);
        waitForPicture(*dlg);
        paint(*dlg, frame);
        state.PauseTiming();
        dlg.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EditorOpenTenMinutesFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One zoom step in or out (alternately) around the middle of a 10 s view of the 10-minute file, and
// the repaint; the spectrogram shows the picture it has while the new one is computed.
static void BM_EditorZoomRepaint(benchmark::State& state)
{
    const std::unique_ptr<CWavMgrDlg> dlg = tenSecondView();
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    bool in = true;
    for (auto _ : state) {
        WavZoomArgument zoom{300.0f, 1};
        dlg->onSignal(in ? UISignalNames::kZoomInWav : UISignalNames::kZoomOutWav, &zoom, nullptr);
        in = !in;
        paint(*dlg, frame);
    }
}
BENCHMARK(BM_EditorZoomRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// Panning a 10 s view by 0.2 s back and forth, and the repaint.
static void BM_EditorPanRepaint(benchmark::State& state)
{
    const std::unique_ptr<CWavMgrDlg> dlg = tenSecondView();
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    float delta = 0.2f;
    for (auto _ : state) {
        dlg->onSignal(UISignalNames::kOffsetDispArea, &delta, nullptr);
        delta = -delta;
        paint(*dlg, frame);
    }
}
BENCHMARK(BM_EditorPanRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole file in view (the widest columns of the stride rule): a repaint alone.
static void BM_EditorRepaintWholeFile(benchmark::State& state)
{
    const std::unique_ptr<CWavMgrDlg> dlg = loadedEditor(0.0);
    WavZoomArgument zoom{0.0f, 100};
    dlg->onSignal(UISignalNames::kZoomOutWav, &zoom, nullptr);
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        paint(*dlg, frame);
    }
}
BENCHMARK(BM_EditorRepaintWholeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resident memory: before the editor has a recording (base), the peak while the 10-minute recording
// opens, the f0 overlay checks the entry and the spectrogram's background fills its whole store (the
// most the editor holds for it),
// what stays after that, and what stays after a 2-second entry was opened in its place. Counters in
// MB; the time is not the point.
static void BM_EditorMemoryTenMinutes(benchmark::State& state)
{
    writeShortWav();
    const QString folder = QString::fromStdString(tenMinuteWav().string());
    QImage frame(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        auto dlg = std::make_unique<CWavMgrDlg>();
        dlg->board().resize(kWidth, kHeight);
        dlg->board().relayout();
        paint(*dlg, frame);
        const double base = statusMegabytes("VmRSS");
        resetPeak();
        // An entry with its markers, 300 s in: the f0 overlay's check runs on its region.
        dlg->loadCVEntry(entryAt(300.0), folder);
        waitForPicture(*dlg);
        paint(*dlg, frame);
        dlg->view().spectrogram().builder().waitUntilComplete(std::chrono::minutes(5));
        dlg->waitForF0Check(std::chrono::minutes(1));
        paint(*dlg, frame);
        const double peak = statusMegabytes("VmHWM");
        const double open = statusMegabytes("VmRSS");
        CTsVoiceCfg_CV shortEntry = entryAt(0.5);
        shortEntry.wavName = "short.wav";
        dlg->loadCVEntry(shortEntry, folder);
        waitForPicture(*dlg);
        paint(*dlg, frame);
        dlg->view().spectrogram().builder().waitUntilComplete(std::chrono::minutes(1));
        dlg->waitForF0Check(std::chrono::minutes(1));
        const double afterShort = statusMegabytes("VmRSS");
        state.counters["baseMB"] = base;
        state.counters["peakMB"] = peak;
        state.counters["openMB"] = open;
        state.counters["afterShortMB"] = afterShort;
        state.counters["shortOverBaseMB"] = afterShort - base;
    }
}
BENCHMARK(BM_EditorMemoryTenMinutes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
    runOffscreenBenchmarks(argc, argv);
    std::error_code ec;
    std::filesystem::remove_all(tenMinuteWav(), ec);
    return 0;
}
