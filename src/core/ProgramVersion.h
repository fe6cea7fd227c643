#pragma once

// The program's version, one text for every face of it: lvtb's --version, the desktop program's
// update check (request path and user agent) and its update dialog.

#include <string_view>

namespace Tessarin {

inline constexpr std::string_view kProgramVersion = "beta_1.1.6";

} // namespace Tessarin
