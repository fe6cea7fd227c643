#pragma once

// The thread objects of the update check: something a thread runs (Runnable) and a named thread
// with a running flag and a stop flag (CThread).
//
// Threading contract: start() is called once, by the owner. The running flag is set before the
// thread exists and cleared only after run() has returned, so a thread seen as not running may be
// joined without waiting. The stop flag is only a request; run() reads it. A derived class must
// join in its own destructor (the base's join would come after the derived members are gone).

#include <atomic>
#include <string>
#include <thread>

namespace HttpFetcherNS {

class Runnable {
public:
    virtual ~Runnable() = default;
    virtual void run() = 0;
};

class CThread : public Runnable {
public:
    explicit CThread(std::string name);
    ~CThread() override;
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Launches run() on a new thread. False when the thread cannot be created or was started before.
    bool start();
    // Waits for the thread to end; does nothing when it never started or was joined already.
    // Never call it from the thread itself.
    void join();

    bool isRunning() const { return running.load(std::memory_order_acquire); }
    bool isStopRequested() const { return stop.load(std::memory_order_acquire); }
    // Sets the stop flag. Derived threads that sleep override it to wake themselves as well.
    virtual void requestStop() { stop.store(true, std::memory_order_release); }

    const std::string& threadName() const { return name; }

protected:
    std::thread handle;
    std::string name;

private:
    std::atomic<bool> running{false};
    std::atomic<bool> stop{false};
    bool started = false;
};

} // namespace HttpFetcherNS
