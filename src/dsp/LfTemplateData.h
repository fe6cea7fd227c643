#pragma once

// The glottal template tables as computed by buildLfTemplateTables. The definitions are not kept in
// the sources: lv_lf_table_writer computes them while lv_dsp is built and writes them out as exact
// hexadecimal literals (LfTemplateData.cpp in the build tree), so that no process pays for 270
// transforms of 65536 points when it starts.

#include "core/AnalysisConstants.h"

#include <array>
#include <cstddef>

namespace Tessarin {

inline constexpr std::size_t kLfTemplateLevelCount = std::size_t(kLfTemplateCount) * kLfTemplateHarmonics;

// kLfTemplateCount rows of kLfTemplateHarmonics levels [dB], row i for Rd = 0.01 · (i + 1).
extern const std::array<float, kLfTemplateLevelCount> kLfTemplateLevelTable;
// te / T0 of each template.
extern const std::array<double, kLfTemplateCount> kLfMainExcitationTable;

} // namespace Tessarin
