#include "update/CThread.h"

#include <pthread.h>
#include <system_error>

namespace HttpFetcherNS {

CThread::CThread(std::string name) : name(std::move(name)) {}

CThread::~CThread()
{
    join();
}

bool CThread::start()
{
    if (started) {
        return false;
    }
    running.store(true, std::memory_order_release);
    try {
        handle = std::thread([this] {
            // Linux keeps at most 15 characters of a thread's name; the rest is cut.
            const std::string shortName = name.substr(0, 15);
            pthread_setname_np(pthread_self(), shortName.c_str());
            run();
            running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        running.store(false, std::memory_order_release);
        return false;
    }
    started = true;
    return true;
}

void CThread::join()
{
    if (handle.joinable()) {
        handle.join();
    }
}

} // namespace HttpFetcherNS
