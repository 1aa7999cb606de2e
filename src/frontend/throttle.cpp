#include "frontend/throttle.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        bool running = false;
        for (;;) {
            auto signalled = [this] { return pending != Signal::None || exiting; };
            if (running) {
                if (!wake.wait_for(lock, std::chrono::milliseconds(10), signalled)) {
                    pollRequest.store(1, std::memory_order_relaxed);
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

int share = 100;
uint32_t startTick;
uint32_t intervalTick;
uint64_t startMicros;
uint64_t intervalMicros;

}  // namespace

void initThrottle() {
    share = 100;
    worker.start();
}

void shutdownThrottle() { worker.shutdown(); }

void setThrottleShare(int value) { share = value; }

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
    if (share == 100) return 1;
    return cpuLoadSinceStart() <= uint32_t(share) * 10 ? 1 : 0;
}
