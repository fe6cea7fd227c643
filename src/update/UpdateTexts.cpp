#include "update/UpdateTexts.h"

#include <curl/curl.h>

#include <cstring>

namespace lvupdate {

namespace {

constexpr std::string_view kUpdateTitle = "LirvaneToolBox Update";

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The library's URL parser must agree that there is a host, so that the browser gets what was shown.
bool hasHost(const std::string& address)
{
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return false;
    }
    bool ok = false;
    if (curl_url_set(parsed, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        ok = curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host[0] != '\0';
        curl_free(host);
    }
    curl_url_cleanup(parsed);
    return ok;
}

} // namespace

std::string updateDialogCaption()
{
    return std::string(kUpdateTitle) + " ^_^";
}

std::string updateDialogText(std::string_view currentVersion, std::string_view latestVersion,
                             std::string_view downloadUrl)
{
    std::string text(kUpdateTitle);
    text += "!\r\n";
    text += "Current ver";
    text += ":";
    text += currentVersion;
    text += "\r\n";
    text += "Latest ver";
    text += ":";
    text += latestVersion;
    text += "\r\n\r\n";
    text += kDownloadButtonCaption;
    text += ":";
    text += downloadUrl;
    text += "\r\n";
    text += "Click the button and download it";
    text += "~";
    return text;
}

bool mayOpenInBrowser(std::string_view address)
{
    const std::size_t schemeEnd = startsWithNoCase(address, "http://")    ? 7
                                  : startsWithNoCase(address, "https://") ? 8
                                                                          : 0;
    // "http:///x": the library would take "x" for the host, a browser the empty host.
    if (schemeEnd == 0 || address.size() == schemeEnd || address[schemeEnd] == '/') {
        return false;
    }
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        // Spaces and control characters could make the browser (or the launcher) read something
        // else than what the dialog showed; a backslash is read as a slash by some parsers only.
        if (byte <= 0x20 || byte == 0x7f || c == '\\') {
            return false;
        }
    }
    return hasHost(std::string(address));
}

} // namespace lvupdate
