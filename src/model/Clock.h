#pragma once

// The wall clock behind every "last changed" time of the model. Tests replace it so that stored
// times do not depend on when they run.

#include <cstdint>

namespace lvmodel {

using UnixTimeSource = std::int64_t (*)();

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t currentUnixTime();

// Installs another source (nullptr: the system clock again) and returns the one it replaces.
UnixTimeSource setUnixTimeSource(UnixTimeSource source);

} // namespace lvmodel
