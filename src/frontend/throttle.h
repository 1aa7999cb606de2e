// CPU share limit and the 10 ms poll heartbeat of the search.
#pragma once
#include <atomic>
#include <cstdint>

void initThrottle();
void shutdownThrottle();
void setThrottleShare(int share);
void throttleStart();
void throttleStop();
void throttleRearm();
uint32_t cpuLoadSinceStart();
uint32_t cpuLoadSinceLast();
int throttleAllows();
// The same rule for a helper search thread, from its own processor time
// since its search began (startMicros) and the tick it began at.
int threadThrottleAllows(uint32_t startTick, uint64_t startMicros);
// Flags the heartbeat raises besides pollRequest: the helper threads' own.
// Only while no search runs.
void setPollTargets(std::atomic<int>* const* flags, int count);
