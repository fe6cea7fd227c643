#include "update/UpdateCheck.h"

#include <json/json.h>

#include <cstdlib>
#include <memory>

#ifndef LV_UPDATE_HOST_DEFAULT
#define LV_UPDATE_HOST_DEFAULT ""
#endif

namespace lvupdate {

namespace {

bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A name or IPv4 address (letters, digits, '-', '.') or a bracketed IPv6 address. Anything else
// (a user part, a path, a port, spaces) would change what the URL asks for.
bool isPlainHost(std::string_view host)
{
    if (host.empty()) {
        return false;
    }
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']') {
            return false;
        }
        for (const char c : host.substr(1, host.size() - 2)) {
            if (!isHexDigit(c) && c != ':' && c != '.') {
                return false;
            }
        }
        return true;
    }
    for (const char c : host) {
        if (!isAsciiAlnum(c) && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

std::string percentEncoded(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        if (isAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

} // namespace

std::string configuredUpdateHost()
{
    if (const char* value = std::getenv(kHostVariable)) {
        return value;
    }
    return LV_UPDATE_HOST_DEFAULT;
}

UpdateCheckSettings defaultUpdateCheckSettings(std::string version)
{
    UpdateCheckSettings settings;
    settings.host = configuredUpdateHost();
    settings.version = std::move(version);
    return settings;
}

std::string updateCheckUrl(const UpdateCheckSettings& settings)
{
    if (!isPlainHost(settings.host) || settings.port < 1 || settings.port > 65535) {
        return {};
    }
    return "http://" + settings.host + ":" + std::to_string(settings.port) + std::string(kCheckPath) +
           percentEncoded(settings.version);
}

std::optional<UpdateInfo> parseUpdateResponse(std::string_view body)
{
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors)) {
            return std::nullopt;
        }
    } catch (const Json::Exception&) {
        // The reader throws instead of failing when arrays or objects nest too deep.
        return std::nullopt;
    }
    if (!root.isObject()) {
        return std::nullopt;
    }
    const Json::Value& answer = root; // const: looking a member up must not add it
    const Json::Value& update = answer["update"];
    if (!update.isString()) {
        return std::nullopt;
    }
    UpdateInfo info;
    info.latestVersion = update.asString();
    if (const Json::Value& url = answer["updateUrl"]; url.isString()) {
        info.downloadUrl = url.asString();
    }
    return info;
}

UpdateChecker::UpdateChecker(UpdateListener& listener) : listener(listener) {}

UpdateChecker::~UpdateChecker()
{
    fetcher.shutdown();
}

UpdateCheckStart UpdateChecker::start(const UpdateCheckSettings& settings)
{
    if (settings.host.empty()) {
        return UpdateCheckStart::noHost;
    }
    if (request.isBusy()) {
        return UpdateCheckStart::busy;
    }
    const std::string url = updateCheckUrl(settings);
    if (url.empty()) {
        return UpdateCheckStart::badAddress;
    }
    request.setUserAgent(std::string(kUserAgentPrefix) + settings.version);
    request.setTimeouts(settings.connectTimeoutMs, settings.totalTimeoutMs);
    switch (HttpFetcherNS::setupRequest(&request, url, true, {})) {
    case HttpFetcherNS::kSetupOk:
        break;
    case HttpFetcherNS::kSetupBusy:
        return UpdateCheckStart::busy;
    default:
        return UpdateCheckStart::badAddress;
    }
    return HttpFetcherNS::startRequest(&fetcher, &request, this) == HttpFetcherNS::kStartOk ? UpdateCheckStart::started
                                                                                           : UpdateCheckStart::refused;
}

void UpdateChecker::stop()
{
    fetcher.stopAll();
}

void UpdateChecker::responseReceived(HttpFetcherNS::HttpRequestInner* from, const char* body, std::uint32_t length)
{
    if (from != &request) {
        return;
    }
    if (const std::optional<UpdateInfo> info = parseUpdateResponse(std::string_view(body, length))) {
        listener.updateAvailable(info->latestVersion, info->downloadUrl);
    }
}

void UpdateChecker::requestFailed(HttpFetcherNS::HttpRequestInner* /*from*/)
{
    // A check that fails is silent: the program goes on as if there were no update.
}

} // namespace lvupdate
