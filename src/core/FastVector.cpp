#include "core/FastVector.h"

namespace Tessarin {
template class FastVector<short>;
template class FastVector<int>;
template class FastVector<float>;
template class FastVector<double>;
} // namespace Tessarin
