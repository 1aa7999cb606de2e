#include "polyglot.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "book_writer.h"
#include "polyglot_random.h"

namespace {

struct PolyglotEntry {
    uint64_t key;
    uint16_t move;
    uint16_t weight;
};

uint64_t bigEndian(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

struct Walk {
    std::vector<PolyglotEntry> book;
    std::unordered_map<uint64_t, int64_t>* entries;
    // Shallowest ply at which each position was expanded.
    std::unordered_map<uint64_t, int> expanded;
    int maxPly;
    long positions = 0;

    std::pair<std::vector<PolyglotEntry>::const_iterator, std::vector<PolyglotEntry>::const_iterator> find(
        uint64_t key) const {
        return std::equal_range(book.begin(), book.end(), PolyglotEntry{key, 0, 0},
                                [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.key < b.key; });
    }

    void visit(int ply) {
        GameRecord& g = gameRecord;
        const PositionRecord here = g.positions[g.ply];
        const auto [first, last] = find(polyglotKey(here));
        if (first == last || ply >= maxPly) return;
        const auto seen = expanded.find(g.keys[g.ply]);
        if (seen != expanded.end() && seen->second <= ply) return;
        expanded[g.keys[g.ply]] = ply;
        if (++positions % 20000 == 0)
            std::fprintf(stderr, "positions walked: %ld, entries: %zu\n", positions, entries->size());
        Move moves[MaxGeneratedMoves + 1];
        const int n = currentLegalMoves(moves);
        const int at = g.ply;
        for (int i = 0; i < n; ++i) {
            const uint16_t code = polyglotMove(here, moves[i]);
            // Castling is king takes rook in the format, but some books write
            // the king's own move (e1g1); both count.
            const uint16_t kingMove = uint16_t(moveTo(moves[i]) | moveFrom(moves[i]) << 6);
            const bool castling = (code & 63) != moveTo(moves[i]);
            int weight = -1;
            for (auto it = first; it != last; ++it)
                if (it->move == code || (castling && it->move == kingMove)) weight = std::max(weight, int(it->weight));
            if (playMove(moves[i]) != at + 1) continue;
            const auto child = find(polyglotKey(g.positions[g.ply]));
            if (weight >= 0 || child.first != child.second) {
                int64_t& stored = (*entries)[g.keys[g.ply]];
                stored = std::max<int64_t>(stored, weight);
            }
            if (child.first != child.second) visit(ply + 1);
            g.ply = at;
        }
    }
};

}  // namespace

uint64_t polyglotKey(const PositionRecord& p) {
    // Kind of each piece letter: 2 * (pawn..king = 0..5) + (white ? 1 : 0); -1 for no man.
    static const auto kinds = [] {
        std::array<int, 256> k;
        k.fill(-1);
        const char* letters = "pnbrqk";
        for (int i = 0; i < 6; ++i) {
            k[uint8_t(letters[i])] = 2 * i;
            k[uint8_t(std::toupper(letters[i]))] = 2 * i + 1;
        }
        return k;
    }();
    uint64_t key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const int kind = kinds[uint8_t(p.board[sq])];
        if (kind >= 0) key ^= PolyglotRandom[64 * kind + sq];
    }
    if (p.whiteShort) key ^= PolyglotRandom[768];
    if (p.whiteLong) key ^= PolyglotRandom[769];
    if (p.blackShort) key ^= PolyglotRandom[770];
    if (p.blackLong) key ^= PolyglotRandom[771];
    // The format, too, counts the en-passant file only when a pawn can take.
    if (enPassantUsable(p)) key ^= PolyglotRandom[772 + fileOf(p.epSquare & 63)];
    if ((p.sideToMove & 1) == 0) key ^= PolyglotRandom[780];
    return key;
}

uint16_t polyglotMove(const PositionRecord& p, Move move) {
    const Square from = moveFrom(move);
    Square to = moveTo(move);
    const char man = p.board[from];
    if ((man == 'K' || man == 'k') && (to == from + 2 || to == from - 2)) to = to > from ? from + 3 : from - 4;
    const int promotion = movePromotion(move);
    return uint16_t(to | from << 6 | (promotion ? promotion - 1 : 0) << 12);
}

long importPolyglot(const std::string& path, int maxPly, std::unordered_map<uint64_t, int64_t>& entries) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return -1;
    Walk walk;
    walk.entries = &entries;
    walk.maxPly = maxPly;
    unsigned char record[16];
    while (std::fread(record, 1, sizeof record, file) == sizeof record)
        walk.book.push_back(PolyglotEntry{bigEndian(record, 8), uint16_t(bigEndian(record + 8, 2)),
                                          uint16_t(bigEndian(record + 10, 2))});
    std::fclose(file);
    // Sorted by key already when well made; a stable sort keeps it so otherwise.
    std::stable_sort(walk.book.begin(), walk.book.end(),
                     [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.key < b.key; });
    setFromFen(StartFen);
    // The start position must be known for the engine to look further.
    const auto root = walk.find(polyglotKey(gameRecord.positions[0]));
    if (root.first != root.second) entries.emplace(gameRecord.keys[0], 0);
    walk.visit(0);
    return long(walk.book.size());
}
