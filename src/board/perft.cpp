#include "board/perft.h"

#include <cassert>
#include <memory>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"

namespace {

// A generous bound on the pseudo-legal moves of one position; plies stack
// their lists, so the buffer covers the deepest line the stack allows.
constexpr int PlyRoom = 400;
constexpr int BufferSize = MaxPly * PlyRoom;

uint64_t perftNode(Position& pos, int side, int ply, int depth, MoveEntry* list, const MoveEntry* bufferEnd) {
    assert(ply < MaxPly - 1 && list + PlyRoom <= bufferEnd);
    // As in the search: a node starts without attack tables.
    pos.attackCacheValid[ply] = 0;
    const int n = generateMovesUnscored(pos, list, side, ply);
    assert(n <= PlyRoom);
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
        pos.makeMove(side, ply, &list[i]);
        if (!pos.ownKingAttacked(side))
            total += depth == 1 ? 1 : perftNode(pos, side ^ 1, ply + 1, depth - 1, list + n, bufferEnd);
        pos.unmakeMove(ply);
    }
    return total;
}

}  // namespace

uint64_t perftDivide(Position& pos, int side, int depth, PerftRootResult* results, int* resultCount) {
    *resultCount = 0;
    if (depth <= 0) return 1;
    std::vector<MoveEntry> buffer(BufferSize);
    MoveEntry* const perftBuffer = buffer.data();
    // The root generator scores its list; the scores play no part here.
    const auto noOrdering = std::make_unique<MoveOrdering>();
    const int n = generateRootMoves(pos, *noOrdering, perftBuffer, side, 0);
    assert(n <= MaxRootMoves);
    uint64_t total = 0;
    for (int i = 0; i < n && i < MaxRootMoves; ++i) {
        pos.makeMove(side, 0, &perftBuffer[i]);
        const uint64_t nodes =
            depth == 1 ? 1 : perftNode(pos, side ^ 1, 1, depth - 1, perftBuffer + n, perftBuffer + BufferSize);
        pos.unmakeMove(0);
        if (results) results[*resultCount] = PerftRootResult{moveOf(perftBuffer[i].move), nodes};
        ++*resultCount;
        total += nodes;
    }
    return total;
}

uint64_t perft(Position& pos, int side, int depth) {
    int count = 0;
    return perftDivide(pos, side, depth, nullptr, &count);
}
