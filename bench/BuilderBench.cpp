// "Build models" over the demo singer's recordings at one pitch (35 units), on one and two threads,
// and the same build as a check (lvtb check: the verdicts alone, from the f0 track), cold and after a
// build that recorded what it wrote (every unit then passes unanalysed).

#include "builder/ModelManifest.h"
#include "builder/VoiceBankBuilder.h"
#include "demo/DemoSinger.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"

#include <benchmark/benchmark.h>

#include <filesystem>

// arg 0: jobs; arg 1: 1 for the check alone, 2 for the check after a build that kept a manifest.
static void BM_BuildModelsDemo(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / "lv_bench_demo";
    lvdemo::DemoOptions options;
    options.pitches = {"C4"};
    std::string error;
    const auto demo = lvdemo::writeDemoProject(dir, error, options);
    if (!demo) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto project = readProjectFile(demo->projectFile);
    resolveProjectFolders(*project.model, demo->projectFile);
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(*project.model);
    std::filesystem::create_directories(demo->modelFolder);
    ModelManifest manifest;
    if (state.range(1) == 2) {
        BuildContext build;
        build.manifest = &manifest;
        buildModels(build, dictionary, project.model->wavLocations, demo->modelFolder.string(), std::nullopt, false);
    }
    std::int32_t units = 0;
    for (auto _ : state) {
        BuildContext context;
        context.jobs = int(state.range(0));
        context.checkOnly = state.range(1) != 0;
        context.manifest = state.range(1) == 2 ? &manifest : nullptr;
        buildModels(context, dictionary, project.model->wavLocations, demo->modelFolder.string(), std::nullopt, false);
        units += context.done;
    }
    state.counters["units_per_s"] = benchmark::Counter(double(units), benchmark::Counter::kIsRate);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BuildModelsDemo)
    ->ArgNames({"jobs", "check"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
