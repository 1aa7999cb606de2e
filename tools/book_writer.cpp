#include "book_writer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "book/book.h"
#include "frontend/game_record.h"
#include "search/search.h"

int currentLegalMoves(Move* out) {
    loadCurrentPosition();
    uint32_t inCheck;
    return legalRootMoves(out, inCheck);
}

long writeBook(const std::string& path, const std::unordered_map<uint64_t, int64_t>& entries) {
    std::vector<std::pair<uint64_t, int32_t>> sorted;
    sorted.reserve(entries.size());
    for (const auto& [key, weight] : entries)
        sorted.emplace_back(key, int32_t(std::clamp<int64_t>(weight, 0, INT32_MAX)));
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return bookKeyBefore(a.first, b.first); });
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return -1;
    bool ok = true;
    for (const auto& [key, weight] : sorted) {
        unsigned char record[BookEntrySize];
        encodeBookEntry(key, weight, record);
        ok = ok && std::fwrite(record, 1, BookEntrySize, file) == BookEntrySize;
    }
    ok = std::fclose(file) == 0 && ok;
    return ok ? long(sorted.size()) : -1;
}
