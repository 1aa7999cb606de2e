#include "frontend/threads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "frontend/game_record.h"
#include "frontend/throttle.h"
#include "platform/platform.h"
#include "search/host.h"
#include "search/search.h"

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;

// Which depths helper i passes over: its iterations come in blocks of
// SkipSize[k] depths, searched and skipped by turns, shifted by SkipPhase[k]
// (k = (i - 1) mod 20). Helper 1 searches the even depths only, so it is
// always about a ply ahead of the main search; further helpers spread over
// other depths, so that the table receives results the main search is about
// to need instead of the ones it has just made.
constexpr int SkipCycle = 20;
constexpr int SkipSize[SkipCycle] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
constexpr int SkipPhase[SkipCycle] = {0, 1, 0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 6, 7};

struct Helper;

// A helper's answers to its search: no output, no input, no limits of its
// own; it publishes its counters at each poll and keeps to the CPU share by
// its own processor time.
class HelperHost final : public SearchHost {
public:
    explicit HelperHost(Helper& h) : helper(h) {}
    bool pollInput(uint64_t nodes) override;
    bool throttleAllows() override;
    bool skipIteration(int depth) override;

private:
    Helper& helper;
};

struct Helper {
    int index = 0;  // 1 for the first helper; the main search is 0
    SearchWorker worker;
    HelperHost host{*this};
    std::atomic<int> pollFlag{0};
    SearchEngine settings{};
    // The game since the last irreversible move, copied: the main thread may
    // rewrite the game record while a search runs.
    uint64_t gameKeys[GameRecordSize] = {};
    bool haveGameKeys = false;
    int mateTarget = 0;
    uint32_t startTick = 0;
    uint64_t startMicros = 0;
    std::atomic<uint64_t> nodes{0};
    std::atomic<int> tbHits{0};
    std::thread thread;

    Helper() {
        worker.helper = true;
        worker.host = &host;
        worker.settings = &settings;
        worker.pollSignal = &pollFlag;
    }
    void publish() {
        nodes.store(worker.nodeCount, Relaxed);
        tbHits.store(worker.eval.tbHits, Relaxed);
    }
};

bool HelperHost::pollInput(uint64_t) {
    helper.publish();
    return false;  // the stop signal is read at every node
}

bool HelperHost::throttleAllows() { return threadThrottleAllows(helper.startTick, helper.startMicros) != 0; }

bool HelperHost::skipIteration(int depth) {
    const int k = (helper.index - 1) % SkipCycle;
    return ((depth + SkipPhase[k]) / SkipSize[k]) % 2 != 0;
}

class Pool {
public:
    // A process that exits with helpers parked (or even searching) must not
    // meet a joinable thread.
    ~Pool() { end(); }

    int count() const { return int(helpers.size()) + 1; }

    void end() {
        stop();
        {
            std::lock_guard<std::mutex> lock(mutex);
            exiting = true;
        }
        wake.notify_all();
        for (auto& h : helpers) h->thread.join();
        helpers.clear();
        exiting = false;
    }

    bool resize(int helperCount) {
        // The old helpers end first: their memory goes to the new ones.
        end();
        bool complete = true;
        for (int i = 1; i <= helperCount; ++i) {
            std::unique_ptr<Helper> h(new (std::nothrow) Helper);
            if (!h) {
                complete = false;
                break;
            }
            h->index = i;
            Helper* raw = h.get();
            try {
                // A new helper waits for the next search, not the last one.
                h->thread = std::thread([this, raw, seen = searchId] { run(*raw, seen); });
            } catch (...) {
                complete = false;
                break;
            }
            helpers.push_back(std::move(h));
        }
        std::vector<std::atomic<int>*> flags;
        for (auto& h : helpers) flags.push_back(&h->pollFlag);
        setPollTargets(flags.data(), int(flags.size()));
        return complete;
    }

    void start(const SearchWorker& main, const uint64_t* gameKeys, int mateTarget) {
        if (helpers.empty() || active.load(Relaxed)) return;
        const int keyCount = std::clamp(main.pos.fiftyCount, 0, GameRecordSize - 1) + 1;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto& h : helpers) {
                h->worker.pos = main.pos;
                h->settings = *main.settings;
                h->haveGameKeys = gameKeys != nullptr;
                if (gameKeys) std::copy(gameKeys, gameKeys + keyCount, h->gameKeys);
                h->mateTarget = mateTarget;
                h->nodes.store(0, Relaxed);
                h->tbHits.store(0, Relaxed);
            }
            running = int(helpers.size());
            ++searchId;
        }
        active.store(true, Relaxed);
        wake.notify_all();
    }

    void stop() {
        if (!active.load(Relaxed)) return;
        stopFlag.store(1, Relaxed);
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return running == 0; });
        active.store(false, Relaxed);
    }

    bool busy() const { return active.load(Relaxed); }

    uint64_t nodes() const {
        uint64_t sum = 0;
        for (auto& h : helpers) sum += h->nodes.load(Relaxed);
        return sum;
    }
    int tbHits() const {
        int sum = 0;
        for (auto& h : helpers) sum += h->tbHits.load(Relaxed);
        return sum;
    }

private:
    void run(Helper& h, uint64_t seen) {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return exiting || searchId != seen; });
                if (exiting) return;
                seen = searchId;
            }
            h.startTick = tickCount();
            h.startMicros = threadUserMicros();
            h.worker.think(h.haveGameKeys ? h.gameKeys : nullptr, h.mateTarget, 0);
            h.publish();
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (--running == 0) done.notify_all();
            }
        }
    }

    std::vector<std::unique_ptr<Helper>> helpers;
    std::mutex mutex;
    std::condition_variable wake, done;
    uint64_t searchId = 0;   // under mutex
    int running = 0;         // under mutex
    bool exiting = false;    // under mutex
    std::atomic<bool> active{false};
};

Pool& pool() {
    static Pool p;
    return p;
}

}  // namespace

int maxSearchThreads() {
    const int hardware = int(std::thread::hardware_concurrency());
    return hardware > 256 ? hardware : 256;
}

int searchThreadCount() { return pool().count(); }

bool setSearchThreads(int count) { return pool().resize(std::clamp(count, 1, maxSearchThreads()) - 1); }

void startHelpers(const SearchWorker& main, const uint64_t* gameKeys, int mateTarget) {
    pool().start(main, gameKeys, mateTarget);
}

void stopHelpers() { pool().stop(); }

bool helpersRunning() { return pool().busy(); }

uint64_t helperNodes() { return pool().nodes(); }

int helperTbHits() { return pool().tbHits(); }

void shutdownSearchThreads() { pool().resize(0); }
