#pragma once

// The one millisecond clock of the desktop program (tooltips, throttles). Tests replace it so that
// timed behaviour does not depend on when they run.

#include <cstdint>

namespace TessarinEditor {

using TickSource = std::int64_t (*)();

// Milliseconds from an arbitrary start; never decreases.
std::int64_t tickMs();

// Installs another source (nullptr: the steady clock again) and returns the one it replaces.
TickSource setTickSource(TickSource source);

} // namespace TessarinEditor
