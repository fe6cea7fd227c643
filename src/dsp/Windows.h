#pragma once

// The analysis windows, computed in single precision with 2π as the float 6.2831855 and
// x = i / (N − 1), and unit-sum normalisation.

#include "core/AnalysisConstants.h"

#include <span>

namespace Tessarin {

void blackmanHarrisWindow(std::span<float> w); // 4 terms, symmetric
void blackmanWindow(std::span<float> w);       // first and last value exactly 0
void hannWindow(std::span<float> w);
void triangularWindow(std::span<float> w);

// Multiplies every value by 1 / Σw (the sum in single precision).
void normaliseToUnitSum(std::span<float> w);

} // namespace Tessarin
