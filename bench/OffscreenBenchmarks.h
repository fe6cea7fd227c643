#pragma once

// The main of a benchmark program that makes windows: the desktop toolkit drawing offscreen (unless
// the environment names a platform) with the program's font, around Google Benchmark's own run.

#include "ui/toolkit/UiStyle.h"

#include <QApplication>

#include <benchmark/benchmark.h>

inline void runOffscreenBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TessarinEditor::installToolkitFont();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
