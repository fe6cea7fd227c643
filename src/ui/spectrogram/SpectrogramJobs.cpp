#include "ui/spectrogram/SpectrogramJobs.h"

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {

// Views longer than this (about 115 days) are held to it, so that column numbers stay far inside
// 64 bits whatever the caller passes.
constexpr double kLongestView = 1e7; // [s]

double sane(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0) {
        return 0.0;
    }
    return std::min(seconds, kLongestView);
}

void finish(SpecJobPlan& plan, int targetWidth)
{
    plan.columnCount = plan.columnSpan / plan.stride + 1;
    plan.refinable = plan.stride > 1 && double(plan.columnCount) <= kSpecColumnsPerPixel * double(targetWidth);
    plan.backgroundColumn = plan.firstColumn + plan.columnSpan / 2;
}

bool covered(const SpecJobPlan& plan, std::int64_t stride, const SpecColumnTest& computed)
{
    for (std::int64_t i = 0; i <= plan.columnSpan / stride; ++i) {
        if (!computed(plan.firstColumn + i * stride)) {
            return false;
        }
    }
    return true;
}

} // namespace

SpecJobPlan planSpecJob(double viewStart, double viewLength, int targetWidth, const SpecColumnTest& computed)
{
    const double start = sane(viewStart);
    const double length = sane(viewLength);

    SpecJobPlan plan;
    plan.firstColumn = std::max<std::int64_t>(0, std::int64_t(std::floor(start / kSpecHopSeconds)));
    plan.columnSpan = std::int64_t(std::floor((start + length) / kSpecHopSeconds + 1.0)) - plan.firstColumn + 1;
    if (plan.columnSpan <= 0) {
        plan.columnSpan = 2;
    }

    plan.stride = 1;
    while (plan.columnSpan / plan.stride > kSpecCoarseColumns) {
        plan.stride *= 2;
    }
    for (int halving = 0; halving < 2 && plan.stride > 1; ++halving) {
        const std::int64_t finer = plan.stride / 2;
        if (!computed || !covered(plan, finer, computed)) {
            break;
        }
        plan.stride = finer;
    }
    finish(plan, targetWidth);
    return plan;
}

SpecJobPlan refineSpecJob(const SpecJobPlan& plan, int targetWidth)
{
    SpecJobPlan finer = plan;
    finer.stride = std::max<std::int64_t>(1, plan.stride / 2);
    finish(finer, targetWidth);
    return finer;
}

std::vector<SpecJobPlan> planSpecRequest(double viewStart, double viewLength, int targetWidth,
                                         const SpecColumnTest& computed)
{
    std::vector<SpecJobPlan> plans{planSpecJob(viewStart, viewLength, targetWidth, computed)};
    while (plans.back().refinable) {
        plans.push_back(refineSpecJob(plans.back(), targetWidth));
    }
    return plans;
}

} // namespace TessarinEditor
