#pragma once

// Planning the spectrogram's rendering jobs for a view of the file: which columns of the column
// store (one per 5 ms) a picture takes, coarse first (at most about 100 columns) and then finer, each
// refinement halving the stride, the last at least one column per pixel or every column.

#include <cstdint>
#include <functional>
#include <vector>

namespace TessarinEditor {

inline constexpr double kSpecHopSeconds = 0.005; // [s] between columns of the store
inline constexpr std::int64_t kSpecCoarseColumns = 100; // a first picture takes at most about this many
inline constexpr double kSpecColumnsPerPixel = 1.5; // a job this fine (or finer) is not refined further

struct SpecJobPlan {
    std::int64_t firstColumn = 0;
    std::int64_t columnSpan = 0; // columns from the first one to the end of the view
    std::int64_t stride = 1;     // store columns per picture column
    std::int64_t columnCount = 0; // picture columns: span ÷ stride + 1
    bool refinable = false;       // a job with half the stride follows
    std::int64_t backgroundColumn = 0; // where the background filling continues: the middle of the job

    friend bool operator==(const SpecJobPlan&, const SpecJobPlan&) = default;
};

// Whether column i of the store is computed.
using SpecColumnTest = std::function<bool(std::int64_t)>;

// The first job for a view of length viewLength [s] from viewStart [s] over targetWidth pixels. When
// the columns at half the stride (and again at a quarter) are already computed over the whole job,
// the job starts that much finer.
SpecJobPlan planSpecJob(double viewStart, double viewLength, int targetWidth, const SpecColumnTest& computed);

// The refinement of plan: the same columns at half the stride.
SpecJobPlan refineSpecJob(const SpecJobPlan& plan, int targetWidth);

// The whole chain of a request: the first job and its refinements, as long as each can be refined.
std::vector<SpecJobPlan> planSpecRequest(double viewStart, double viewLength, int targetWidth,
                                         const SpecColumnTest& computed);

} // namespace TessarinEditor
