#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

// Threaded: a pipe that cannot be probed (Wine hands Unix pipes over that
// way); a reader thread then takes its bytes and the probe looks at those.
enum class InputKind { Console, Pipe, File, Threaded };

struct StandardInput {
    HANDLE handle = INVALID_HANDLE_VALUE;
    InputKind kind = InputKind::Pipe;
    bool known = false;
};

StandardInput input;

struct ReaderThread {
    static constexpr DWORD Capacity = 65536;
    CRITICAL_SECTION lock;
    HANDLE dataEvent;  // set while bytes or the end of input wait
    HANDLE roomEvent;  // set when the main thread took bytes
    char buffer[Capacity];
    DWORD begin = 0, end = 0;
    bool ended = false;
    bool tried = false;
};

ReaderThread reader;

DWORD WINAPI readerMain(LPVOID) {
    static char chunk[4096];
    for (;;) {
        DWORD got = 0;
        bool ok = ReadFile(input.handle, chunk, sizeof chunk, &got, nullptr) && got > 0;
        EnterCriticalSection(&reader.lock);
        while (ok && ReaderThread::Capacity - (reader.end - reader.begin) < got) {
            ResetEvent(reader.roomEvent);
            LeaveCriticalSection(&reader.lock);
            WaitForSingleObject(reader.roomEvent, INFINITE);
            EnterCriticalSection(&reader.lock);
        }
        if (ok) {
            if (ReaderThread::Capacity - reader.end < got) {
                MoveMemory(reader.buffer, reader.buffer + reader.begin, reader.end - reader.begin);
                reader.end -= reader.begin;
                reader.begin = 0;
            }
            CopyMemory(reader.buffer + reader.end, chunk, got);
            reader.end += got;
        } else {
            reader.ended = true;
        }
        SetEvent(reader.dataEvent);
        LeaveCriticalSection(&reader.lock);
        if (!ok) return 0;
    }
}

// False when no thread can be started; the pipe then counts as silent.
bool startReader() {
    if (reader.tried) return false;
    reader.tried = true;
    InitializeCriticalSection(&reader.lock);
    reader.dataEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reader.roomEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!reader.dataEvent || !reader.roomEvent) return false;
    HANDLE thread = CreateThread(nullptr, 0, readerMain, nullptr, 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    input.kind = InputKind::Threaded;
    return true;
}

bool readerHasInput() {
    EnterCriticalSection(&reader.lock);
    bool ready = reader.end > reader.begin || reader.ended;
    LeaveCriticalSection(&reader.lock);
    return ready;
}

long readerTake(char* out, size_t size) {
    EnterCriticalSection(&reader.lock);
    for (;;) {
        DWORD avail = reader.end - reader.begin;
        if (avail > 0) {
            DWORD n = size < avail ? DWORD(size) : avail;
            CopyMemory(out, reader.buffer + reader.begin, n);
            reader.begin += n;
            SetEvent(reader.roomEvent);
            LeaveCriticalSection(&reader.lock);
            return long(n);
        }
        if (reader.ended) break;
        ResetEvent(reader.dataEvent);
        LeaveCriticalSection(&reader.lock);
        WaitForSingleObject(reader.dataEvent, INFINITE);
        EnterCriticalSection(&reader.lock);
    }
    LeaveCriticalSection(&reader.lock);
    return 0;
}

StandardInput& standardInput() {
    if (input.known) return input;
    input.known = true;
    input.handle = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    if (GetConsoleMode(input.handle, &mode)) {
        input.kind = InputKind::Console;
        // Window and mouse events would only wake the poll for nothing.
        SetConsoleMode(input.handle, mode & ~DWORD(ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT));
        FlushConsoleInputBuffer(input.handle);
    } else if (GetFileType(input.handle) == FILE_TYPE_DISK) {
        input.kind = InputKind::File;
    }
    return input;
}

// A key press starts a line; the read then waits for its end, as a typed
// command should. Anything else (key releases, focus changes) is dropped so
// that a stray release after a command does not freeze the next search.
bool consoleKeyWaiting(HANDLE handle) {
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(handle, &count) || count == 0) return false;
    INPUT_RECORD events[64];
    DWORD got = 0;
    if (!PeekConsoleInputA(handle, events, 64, &got)) return false;
    for (DWORD i = 0; i < got; i++)
        if (events[i].EventType == KEY_EVENT && events[i].Event.KeyEvent.bKeyDown &&
            events[i].Event.KeyEvent.uChar.AsciiChar != 0)
            return true;
    ReadConsoleInputA(handle, events, got, &got);
    return false;
}

bool inputWaiting() {
    StandardInput& in = standardInput();
    switch (in.kind) {
        case InputKind::Console:
            return consoleKeyWaiting(in.handle);
        case InputKind::File:
            return true;  // a file read never waits
        case InputKind::Threaded:
            return readerHasInput();
        case InputKind::Pipe:
            break;
    }
    DWORD avail = 0;
    if (PeekNamedPipe(in.handle, nullptr, 0, nullptr, &avail, nullptr)) return avail > 0;
    // A closed pipe: the read reports the end of input at once.
    if (GetLastError() == ERROR_BROKEN_PIPE) return true;
    return startReader() && readerHasInput();
}

}  // namespace

uint32_t tickCount() { return uint32_t(GetTickCount()); }

void sleepMs(int ms) {
    if (ms > 0) Sleep(DWORD(ms));
}

uint64_t threadUserMicros() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    // 100-nanosecond units
    return ((uint64_t(user.dwHighDateTime) << 32) | user.dwLowDateTime) / 10u;
}

void prepareStandardStreams() {
    // The C library would turn each line feed into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    standardInput();
}

bool stdinReady(int timeoutMs) {
    // No handle wait works on anonymous pipes: probe once a millisecond.
    DWORD start = GetTickCount();
    for (;;) {
        if (inputWaiting()) return true;
        if (timeoutMs >= 0 && GetTickCount() - start >= DWORD(timeoutMs)) return false;
        Sleep(1);
    }
}

long stdinRead(char* buffer, size_t size) {
    StandardInput& in = standardInput();
    if (in.kind == InputKind::Threaded) return readerTake(buffer, size);
    DWORD want = size > 65536 ? 65536 : DWORD(size);
    DWORD got = 0;
    // End of input shows as a broken pipe or as zero bytes (Ctrl+Z on a console).
    if (!ReadFile(in.handle, buffer, want, &got, nullptr)) return 0;
    return long(got);
}

void* allocateLargeZeroed(size_t bytes) {
    // Committed pages come zeroed and 64 KiB aligned; large pages need a
    // privilege ordinary users lack, so they are not asked for.
    if (bytes == 0) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseLarge(void* block, size_t) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}
#endif
