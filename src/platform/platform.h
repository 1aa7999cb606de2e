// The few operating-system services the engine needs.
#pragma once
#include <cstddef>
#include <cstdint>

uint32_t tickCount();  // milliseconds, wraps
void sleepMs(int ms);
// User-mode processor time of the calling thread, in microseconds.
uint64_t threadUserMicros();
// Bytes that can be read from standard input without blocking (0 when
// unknown); sets eof when the input has been closed and nothing is left.
size_t stdinAvailable(bool& eof);
// Reads up to size bytes from standard input, blocking; 0 at end of input.
long stdinRead(char* buffer, size_t size);
