#include "book/book.h"

#include <cstdio>
#include <cstring>
#include <ctime>


namespace {

struct OpeningBook {
    std::FILE* file = nullptr;
    uint32_t count = 0;
    uint32_t randomState = 0;
};
OpeningBook book;

void keyBytes(uint64_t key, unsigned char out[8]) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(key >> (8 * i));
}

bool seekEntry(uint32_t index) {
    return std::fseek(book.file, long(index) * BookEntrySize, SEEK_SET) == 0;
}

}  // namespace

int nextBookRandom() {
    book.randomState = book.randomState * 214013u + 2531011u;
    return int((book.randomState >> 16) & 0x7FFF);
}

void encodeBookEntry(uint64_t key, int32_t weight, unsigned char out[BookEntrySize]) {
    keyBytes(key, out);
    const uint32_t w = uint32_t(weight);
    for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<unsigned char>(w >> (8 * i));
    std::memset(out + 12, 0, 4);
}

bool bookKeyBefore(uint64_t a, uint64_t b) {
    unsigned char x[8], y[8];
    keyBytes(a, x);
    keyBytes(b, y);
    return std::memcmp(x, y, 8) < 0;
}

void openBook(const char* path) {
    closeBook();
    book.file = std::fopen(path, "rb");
    if (book.file != nullptr) {
        long size = -1;
        if (std::fseek(book.file, 0, SEEK_END) == 0) size = std::ftell(book.file);
        if (size < 0) {
            std::fclose(book.file);
            book.file = nullptr;
        } else {
            book.count = uint32_t(size / BookEntrySize);
        }
    }
    const uint32_t seconds = uint32_t(std::time(nullptr));
    book.randomState = seconds;
    for (uint32_t i = 0; i < (seconds & 255) + 1; ++i) nextBookRandom();
}

void closeBook() {
    if (book.file != nullptr) std::fclose(book.file);
    book.file = nullptr;
    book.count = 0;
}

uint32_t bookEntryCount() { return book.count; }

bool bookLookup(uint64_t key, int32_t& weight) {
    if (book.file == nullptr) return false;
    unsigned char wanted[8];
    keyBytes(key, wanted);
    uint32_t lo = 0, hi = book.count, mid = book.count / 2;
    if (!seekEntry(mid)) return false;
    for (;;) {
        unsigned char entry[BookEntrySize];
        if (std::fread(entry, 1, BookEntrySize, book.file) != BookEntrySize) return false;
        const int order = std::memcmp(entry, wanted, 8);
        if (order == 0) {
            weight = int32_t(uint32_t(entry[8]) | uint32_t(entry[9]) << 8 | uint32_t(entry[10]) << 16 |
                             uint32_t(entry[11]) << 24);
            return true;
        }
        if (order < 0) {
            if (lo == mid) return false;
            lo = mid;
        } else {
            if (hi == mid) return false;
            hi = mid;
        }
        mid = (lo + hi) / 2;
        if (!seekEntry(mid)) return false;
    }
}

void sortBookCandidates(BookCandidate* list, int count) {
    for (int i = 0; i < count - 1; ++i)
        for (int j = i + 1; j < count; ++j)
            if (list[j].weight > list[i].weight) {
                const BookCandidate t = list[i];
                list[i] = list[j];
                list[j] = t;
            }
}

void bookShare(int32_t weight, int64_t total, char* out) {
    const int64_t percent = total > 0 ? int64_t(weight) * 100 / total : 0;
    if (percent < 1)
        std::snprintf(out, 16, "<1");
    else
        std::snprintf(out, 16, "%d", int(percent));
}
