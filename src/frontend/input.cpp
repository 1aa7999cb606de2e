#include "frontend/input.h"

#include <cstring>

#include "frontend/engine_state.h"
#include "frontend/text_io.h"
#include "platform/platform.h"

void LineSplitter::reset() {
    begin_ = end_ = 0;
    ended_ = false;
}

void LineSplitter::compact() {
    if (begin_ == 0) return;
    std::memmove(data_, data_ + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
}

void LineSplitter::commit(size_t n) {
    if (n > Capacity - end_) n = Capacity - end_;
    // Front ends on other systems end lines with CR LF; drop the CR.
    char* p = data_ + end_;
    size_t kept = 0;
    for (size_t i = 0; i < n; i++)
        if (p[i] != '\r') p[kept++] = p[i];
    end_ += kept;
}

void LineSplitter::append(const char* bytes, size_t n) {
    while (n > 0) {
        size_t space = prepareWrite();
        size_t chunk = n < space ? n : space;
        if (chunk == 0) return;  // caller must take lines first
        std::memcpy(writePtr(), bytes, chunk);
        commit(chunk);
        bytes += chunk;
        n -= chunk;
    }
}

bool LineSplitter::lineLength(size_t* length, size_t* consumed) const {
    size_t avail = end_ - begin_;
    if (avail == 0) return false;
    // A line feed right after MaxLineLength characters still ends that line.
    size_t scan = avail < size_t(MaxLineLength) + 1 ? avail : size_t(MaxLineLength) + 1;
    const void* lf = std::memchr(data_ + begin_, '\n', scan);
    size_t len, used;
    if (lf) {
        len = size_t(static_cast<const char*>(lf) - (data_ + begin_));
        used = len + 1;
    } else if (avail > size_t(MaxLineLength)) {
        len = used = MaxLineLength;  // an overlong line goes out in pieces
    } else if (ended_) {
        len = used = avail;  // last line without a line feed
    } else {
        return false;
    }
    if (length) *length = len;
    if (consumed) *consumed = used;
    return true;
}

bool LineSplitter::takeLine(char* out) {
    size_t len, used;
    if (!lineLength(&len, &used)) return false;
    std::memcpy(out, data_ + begin_, len);
    out[len] = '\0';
    begin_ += used;
    if (begin_ == end_) begin_ = end_ = 0;
    return true;
}

static_assert(OutputLineSize >= LineBufferSize + 16, "an echoed input line must fit");

namespace {
LineSplitter splitter;
char lineBuffer[LineBufferSize];
}  // namespace

void initInputChannel() {
    splitter.reset();
    lineBuffer[0] = '\0';
}

const char* readLine(int mode) {
    if (testMode) return nullptr;
    for (;;) {
        if (splitter.takeLine(lineBuffer)) {
            if (debugFlag) sendLine("info string %s", lineBuffer);
            return lineBuffer;
        }
        if (splitter.ended()) return nullptr;
        // Polling must never wait for the rest of a line: read only what is
        // already there, and give up once nothing more is.
        if (mode == 0 && !stdinReady(0)) return nullptr;
        size_t space = splitter.prepareWrite();
        long n = stdinRead(splitter.writePtr(), space);
        if (n <= 0)
            splitter.markEnded();
        else
            splitter.commit(size_t(n));
    }
}

bool inputEnded() { return splitter.ended() && splitter.empty(); }
