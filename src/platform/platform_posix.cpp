#ifndef _WIN32
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

uint32_t tickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms);
}

void sleepMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, long(ms % 1000) * 1000000L};
    // Resume after signals so the sleep really lasts ms.
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

uint64_t threadUserMicros() {
#if defined(RUSAGE_THREAD)
    rusage usage;
    if (getrusage(RUSAGE_THREAD, &usage) == 0)
        return uint64_t(usage.ru_utime.tv_sec) * 1000000u + uint64_t(usage.ru_utime.tv_usec);
    return 0;
#elif defined(CLOCK_THREAD_CPUTIME_ID)
    // Counts system time as well; close enough for a load average.
    timespec ts;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0)
        return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
    return 0;
#else
    rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) == 0)
        return uint64_t(usage.ru_utime.tv_sec) * 1000000u + uint64_t(usage.ru_utime.tv_usec);
    return 0;
#endif
}

void prepareStandardStreams() { std::signal(SIGPIPE, SIG_IGN); }

bool stdinReady(int timeoutMs) {
    pollfd fd{0, POLLIN, 0};
    for (;;) {
        int r = poll(&fd, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (r > 0) return true;  // data, hang-up, error or invalid descriptor
        if (r == 0) return false;
        if (errno != EINTR) return true;  // let the read report the failure
    }
}

long stdinRead(char* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(0, buffer, size);
        if (n >= 0) return long(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A descriptor inherited in non-blocking mode: wait instead.
            pollfd fd{0, POLLIN, 0};
            poll(&fd, 1, -1);
            continue;
        }
        if (errno != EINTR) return 0;
    }
}

namespace {
constexpr size_t LargePage = size_t(2) << 20;
}

void* allocateLargeZeroed(size_t bytes) {
    if (bytes == 0) return nullptr;
    // Anonymous mappings come zeroed and only take memory as pages are
    // touched. Over-map by a large page so that the block can start on one.
    const size_t pageSize = size_t(sysconf(_SC_PAGESIZE));
    bytes = (bytes + pageSize - 1) / pageSize * pageSize;
    const size_t span = bytes + LargePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(raw) + LargePage - 1) & ~uintptr_t(LargePage - 1);
    const size_t head = start - reinterpret_cast<uintptr_t>(raw);
    if (head != 0) munmap(raw, head);
    if (span - head > bytes) munmap(reinterpret_cast<char*>(start) + bytes, span - head - bytes);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(start);
}

void releaseLarge(void* block, size_t bytes) {
    // munmap takes whole pages, so the rounded tail goes with the block.
    if (block != nullptr) munmap(block, bytes);
}
#endif
