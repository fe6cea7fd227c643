#include "dsp/LfModel.h"
#include "dsp/LfTemplateData.h"

#include <algorithm>

namespace Tessarin {

double lfMainExcitation(int index)
{
    if (index < 0 || index >= kLfTemplateCount) {
        return 0.5;
    }
    return kLfMainExcitationTable[std::size_t(index)];
}

void lfTemplateLevels(int index, FastVector<float>& out)
{
    // Indexes come from lfTemplateIndex, which reaches 369 for the largest shape values; those
    // read the last template rather than past the table.
    const int row = std::clamp(index, 0, kLfTemplateCount - 1);
    out.resize(kLfTemplateHarmonics);
    const float* src = kLfTemplateLevelTable.data() + std::size_t(row) * kLfTemplateHarmonics;
    std::copy(src, src + kLfTemplateHarmonics, out.data());
}

} // namespace Tessarin
