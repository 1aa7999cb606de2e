// Ranges of an index space handed out to a few threads as they become free:
// the generator's levels, the writing of its files and the compressor's
// blocks all split their work this way.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tbgen {

// Runs body(begin, end) over [0, total) in chunks; the calling thread is one
// of the threads.
template <class F>
void parallelFor(int threads, uint64_t total, uint64_t chunk, F&& body) {
    std::atomic<uint64_t> next{0};
    auto work = [&] {
        for (;;) {
            const uint64_t begin = next.fetch_add(chunk);
            if (begin >= total) return;
            body(begin, std::min(total, begin + chunk));
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads && uint64_t(t) * chunk < total; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
}

}  // namespace tbgen
