#include "frontend/throttle.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "search/search.h"

namespace {

enum class Signal { None, Start, Stop, Exit };

// The heartbeat thread. While running it raises pollRequest every 10 ms;
// a start (or rearm) restarts the 10 ms period, a stop makes it idle.
struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    Signal pending = Signal::None;
    bool exiting = false;
    std::thread thread;
    std::vector<std::atomic<int>*> targets;  // under mutex

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        bool running = false;
        for (;;) {
            auto signalled = [this] { return pending != Signal::None || exiting; };
            if (running) {
                if (!wake.wait_for(lock, std::chrono::milliseconds(10), signalled)) {
                    pollRequest.store(1, std::memory_order_relaxed);
                    for (std::atomic<int>* flag : targets) flag->store(1, std::memory_order_relaxed);
                    continue;
                }
            } else {
                wake.wait(lock, signalled);
            }
            if (exiting) return;
            // Only the latest signal counts: a stop followed at once by the
            // next search's start must leave the worker ticking.
            running = pending == Signal::Start;
            pending = Signal::None;
        }
    }

    void signal(Signal s) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            pending = s;
        }
        wake.notify_one();
    }

    void start() {
        if (thread.joinable()) return;
        exiting = false;
        pending = Signal::None;
        thread = std::thread([this] { run(); });
    }

    void shutdown() {
        if (!thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            exiting = true;
        }
        wake.notify_one();
        thread.join();
    }

    // An exit() from anywhere (even during a search) must not meet a
    // joinable thread, which would abort the process.
    ~Worker() { shutdown(); }
};

Worker worker;

// Read by every search thread, set by "setoption" on the main thread.
std::atomic<int> share{100};
uint32_t startTick;
uint32_t intervalTick;
uint64_t startMicros;
uint64_t intervalMicros;

}  // namespace

void initThrottle() {
    share.store(100, std::memory_order_relaxed);
    worker.start();
}

void shutdownThrottle() { worker.shutdown(); }

void setThrottleShare(int value) { share.store(value, std::memory_order_relaxed); }

void throttleStart() {
    startTick = intervalTick = tickCount();
    startMicros = intervalMicros = threadUserMicros();
    worker.signal(Signal::Start);
}

void throttleStop() { worker.signal(Signal::Stop); }

void throttleRearm() { worker.signal(Signal::Start); }

uint32_t cpuLoadSinceStart() {
    uint32_t tick = tickCount();
    if (tick == startTick) return 0;
    return uint32_t((threadUserMicros() - startMicros) / uint64_t(uint32_t(tick - startTick)));
}

uint32_t cpuLoadSinceLast() {
    uint32_t tick = tickCount();
    if (tick == intervalTick) return 0;
    uint64_t micros = threadUserMicros();
    uint32_t load = uint32_t((micros - intervalMicros) / uint64_t(uint32_t(tick - intervalTick)));
    intervalMicros = micros;
    intervalTick = tick;
    return load;
}

int throttleAllows() {
    const int s = share.load(std::memory_order_relaxed);
    if (s == 100) return 1;
    return cpuLoadSinceStart() <= uint32_t(s) * 10 ? 1 : 0;
}

int threadThrottleAllows(uint32_t startTick, uint64_t startMicros) {
    const int s = share.load(std::memory_order_relaxed);
    if (s == 100) return 1;
    const uint32_t ticks = tickCount() - startTick;
    if (ticks == 0) return 1;
    const uint64_t load = (threadUserMicros() - startMicros) / ticks;
    return load <= uint64_t(s) * 10 ? 1 : 0;
}

void setPollTargets(std::atomic<int>* const* flags, int count) {
    std::lock_guard<std::mutex> lock(worker.mutex);
    worker.targets.assign(flags, flags + count);
}
