// Opening book "Tavik.book": 16-byte records of a position key and a weight,
// sorted by the key's little-endian byte string and searched on disk.
#pragma once
#include <cstdint>

#include "board/types.h"

constexpr int BookEntrySize = 16;
constexpr int MaxBookCandidates = 32;

struct BookCandidate {
    Move move;
    int32_t weight;
};

// Opens the book (the engine's is "Tavik.book" in the working directory) and
// seeds the move draw from the calendar clock. A missing file means no book.
void openBook(const char* path = "Tavik.book");
void closeBook();
uint32_t bookEntryCount();
// Weight stored for key; false when the book does not hold it.
bool bookLookup(uint64_t key, int32_t& weight);

// Heaviest first; equal weights keep an order fixed by the swap sort.
void sortBookCandidates(BookCandidate* list, int count);
// weight * 100 / total in decimal, or "<1" below one percent; out holds 16.
void bookShare(int32_t weight, int64_t total, char* out);
// The book's own 15-bit draws, seeded by openBook.
int nextBookRandom();

// Record layout shared with the book writer.
void encodeBookEntry(uint64_t key, int32_t weight, unsigned char out[BookEntrySize]);
// Order of the file: the key's bytes, least significant first, compared as
// unsigned bytes.
bool bookKeyBefore(uint64_t a, uint64_t b);
