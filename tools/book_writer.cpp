#include "book_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "board/board.h"
#include "board/movegen.h"
#include "book/book.h"
#include "frontend/game_record.h"
#include "eval/psq.h"
#include "frontend/poll.h"
#include "search/search.h"

int currentLegalMoves(Move* out) {
    // The root generator alone: the search's own preparation clears tables
    // that a walk over many positions does not need.
    SearchWorker& w = engineWorker();
    loadCurrentPosition(w.pos);
    const int side = gameRecord.positions[gameRecord.ply].sideToMove & 1;
    // A board without its kings cannot even have its attacks counted.
    if (recordProblem(gameRecord.positions[gameRecord.ply]) || w.loadedPositionProblem()) {
        out[0] = 0;
        return 0;
    }
    prepareRootPosition(w.pos, side);
    MoveEntry* const list = w.moveBuffer;
    const int n = generateRootMoves(w.pos, w.ordering, list, side, 0);
    for (int i = 0; i < n; ++i) out[i] = moveOf(list[i].move);
    out[n] = 0;
    return n;
}

long writeBook(const std::string& path, const std::unordered_map<uint64_t, int64_t>& entries) {
    std::vector<std::pair<uint64_t, int32_t>> sorted;
    sorted.reserve(entries.size());
    for (const auto& [key, weight] : entries)
        sorted.emplace_back(key, int32_t(std::clamp<int64_t>(weight, 0, INT32_MAX)));
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return bookKeyBefore(a.first, b.first); });
    const std::string part = path + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) return -1;
    bool ok = true;
    for (const auto& [key, weight] : sorted) {
        unsigned char record[BookEntrySize];
        encodeBookEntry(key, weight, record);
        ok = ok && std::fwrite(record, 1, BookEntrySize, file) == BookEntrySize;
    }
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok) std::filesystem::rename(part, path, error);  // replaces an existing book
    if (!ok || error) {
        std::remove(part.c_str());
        return -1;
    }
    return long(sorted.size());
}

bool enPassantUsable(const PositionRecord& r) {
    const Square ep = r.epSquare & 63;
    if (ep == 0) return false;
    const bool white = (r.sideToMove & 1) == 0;
    // The square behind a pawn of the other side that has just made a double step.
    if (rankOf(ep) != (white ? 5 : 2)) return false;
    const Square pawn = white ? ep - 8 : ep + 8;
    const char own = white ? 'P' : 'p';
    if (r.board[pawn] != (white ? 'p' : 'P')) return false;
    return (fileOf(ep) > 0 && r.board[pawn - 1] == own) || (fileOf(ep) < 7 && r.board[pawn + 1] == own);
}

bool setBookPosition(const char* fen, Square& dropped) {
    dropped = 0;
    if (!setFromFen(fen)) return false;
    PositionRecord& start = gameRecord.positions[0];
    if (start.epSquare != 0 && !enPassantUsable(start)) {
        dropped = start.epSquare & 63;
        start.epSquare = 0;
        gameRecord.keys[0] = recordKey(start);
    }
    return true;
}
