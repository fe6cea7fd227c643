#include "update/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

namespace HttpFetcherNS {

void ensureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace HttpFetcherNS
