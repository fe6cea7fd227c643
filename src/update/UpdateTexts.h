#pragma once

// The texts of the update dialog, and which download addresses may be handed to the browser.
// UTF-8 throughout; the dialog converts them for display.

#include <string>
#include <string_view>

namespace lvupdate {

inline constexpr std::string_view kDownloadButtonCaption = "Download url";
// Shown under the button once it was pressed.
inline constexpr std::string_view kDownloadNote = "Note:If download page not opened, copy the url and paste to your browser.";

// "LirvaneToolBox Update ^_^"
std::string updateDialogCaption();

// The dialog's read-only text, lines ending in CR LF:
//   LirvaneToolBox Update!
//   Current ver:<current>
//   Latest ver:<latest>
//   (empty line)
//   Download url:<address>
//   Click the button and download it~
std::string updateDialogText(std::string_view currentVersion, std::string_view latestVersion,
                             std::string_view downloadUrl);

// True only for an absolute http:// or https:// address with a host and without spaces, control
// characters or backslashes. Every other address is shown to the user, never opened.
bool mayOpenInBrowser(std::string_view address);

} // namespace lvupdate
