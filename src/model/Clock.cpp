#include "model/Clock.h"

#include <atomic>
#include <ctime>

namespace lvmodel {

namespace {

std::int64_t systemUnixTime()
{
    return std::int64_t(std::time(nullptr));
}

std::atomic<UnixTimeSource> g_source{&systemUnixTime};

} // namespace

std::int64_t currentUnixTime()
{
    return g_source.load()();
}

UnixTimeSource setUnixTimeSource(UnixTimeSource source)
{
    return g_source.exchange(source != nullptr ? source : &systemUnixTime);
}

} // namespace lvmodel
