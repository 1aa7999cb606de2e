// The few operating-system services the engine needs.
#pragma once
#include <cstddef>
#include <cstdint>

uint32_t tickCount();  // milliseconds, wraps
void sleepMs(int ms);
// User-mode processor time of the calling thread, in microseconds.
uint64_t threadUserMicros();
// Called once before the first line is read or written. A front end that
// closes its end of the pipe must not kill the engine (the failed write is
// simply lost); lines go out with a bare line feed on every system.
void prepareStandardStreams();
// Waits until a read of standard input would not block (data, end of input
// or an error). timeoutMs 0 only tests, a negative value waits for ever.
// Returns true when a read would not block.
bool stdinReady(int timeoutMs);
// Reads up to size bytes from standard input, blocking; 0 at end of input
// or on a read error.
long stdinRead(char* buffer, size_t size);
// A zero-filled block for a big table, aligned to 2 MiB where the system
// allows, and backed by large pages when it offers them: fewer translation
// misses on the random probes. nullptr when the memory is not there.
void* allocateLargeZeroed(size_t bytes);
void releaseLarge(void* block, size_t bytes);
// Joins a directory of NalimovPath and a table file name.
#ifdef _WIN32
constexpr char DirectorySeparator = '\\';
#else
constexpr char DirectorySeparator = '/';
#endif
