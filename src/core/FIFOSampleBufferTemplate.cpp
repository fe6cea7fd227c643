#include "core/FIFOSampleBufferTemplate.h"

namespace Tessarin {
template class FIFOSampleBufferTemplate<char>;
template class FIFOSampleBufferTemplate<unsigned char>;
template class FIFOSampleBufferTemplate<short>;
template class FIFOSampleBufferTemplate<int>;
template class FIFOSampleBufferTemplate<float>;
template class FIFOSampleBufferTemplate<double>;
} // namespace Tessarin
