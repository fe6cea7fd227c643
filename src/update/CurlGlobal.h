#pragma once

namespace HttpFetcherNS {

// Initialises the HTTP library once per process, before its first handle is made. It stays
// initialised until the process ends.
void ensureCurlInitialised();

} // namespace HttpFetcherNS
