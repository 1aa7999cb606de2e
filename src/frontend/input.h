// Line reader on standard input that can tell, without blocking, whether a
// complete line is waiting.
#pragma once
#include <cstddef>

constexpr int LineBufferSize = 4096;
constexpr int MaxLineLength = LineBufferSize - 1;

// Cuts a byte stream into lines: at a line feed, after MaxLineLength
// characters without one (the rest follows as further lines), or at the end
// of the input. Carriage returns are dropped on arrival. Pure bookkeeping,
// no input of its own.
class LineSplitter {
public:
    static constexpr size_t Capacity = 2 * LineBufferSize;

    void reset();
    // Makes room and returns how many bytes may be written at writePtr();
    // at least LineBufferSize while no line is complete.
    size_t prepareWrite() {
        compact();
        return Capacity - end_;
    }
    char* writePtr() { return data_ + end_; }
    // Accepts n bytes just written at writePtr() (after prepareWrite).
    void commit(size_t n);
    void append(const char* bytes, size_t n);
    void markEnded() { ended_ = true; }
    bool ended() const { return ended_; }
    bool empty() const { return begin_ == end_; }
    bool hasLine() const { return lineLength(nullptr); }
    // Moves the next complete line into out (LineBufferSize bytes, zero
    // terminated); false when none is complete yet.
    bool takeLine(char* out);

private:
    bool lineLength(size_t* length, size_t* consumed = nullptr) const;
    void compact();

    char data_[Capacity];
    size_t begin_ = 0;
    size_t end_ = 0;
    bool ended_ = false;
};

void initInputChannel();
// mode 1 waits for a line, 0 polls. Returns the line or nullptr; nullptr in
// blocking mode means end of input.
const char* readLine(int mode);
// True once standard input is closed and every line of it was delivered.
bool inputEnded();
