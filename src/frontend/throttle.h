// CPU share limit and the 10 ms poll heartbeat of the search.
#pragma once
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
