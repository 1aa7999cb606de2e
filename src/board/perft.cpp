#include "board/perft.h"

#include <cassert>

#include "board/attacks.h"
#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "search/search.h"

namespace {

// A generous bound on the pseudo-legal moves of one position; plies stack
// their lists, so the buffer covers the deepest line the stack allows.
constexpr int PlyRoom = 400;
MoveEntry perftBuffer[MaxPly * PlyRoom];

uint64_t perftNode(int side, int ply, int depth, MoveEntry* list) {
    assert(ply < MaxPly - 1 && list + PlyRoom <= perftBuffer + MaxPly * PlyRoom);
    // As in the search: a node starts without attack tables and with a
    // fresh stamp for the evasion marks.
    ++nodeCount;
    attackCacheValid[ply] = 0;
    const int n = generateMovesUnscored(list, side, ply);
    assert(n <= PlyRoom);
    uint64_t total = 0;
    for (int i = 0; i < n; ++i) {
        makeMove(side, ply, &list[i]);
        if (!ownKingAttacked(side)) total += depth == 1 ? 1 : perftNode(side ^ 1, ply + 1, depth - 1, list + n);
        unmakeMove(ply);
    }
    return total;
}

}  // namespace

bool ownKingAttacked(int side) {
    const Square king = pieceList[side][0];
    // The single-square tests ignore kings; two kings side by side are
    // caught by their distance.
    if (distance[king][pieceList[side ^ 1][0]] <= 1) return true;
    return side == White ? isAttackedByBlack(king) != 0 : isAttackedByWhite(king) != 0;
}

uint64_t perftDivide(int side, int depth, PerftRootResult* results, int* resultCount) {
    *resultCount = 0;
    if (depth <= 0) return 1;
    const int n = generateRootMoves(perftBuffer, side, 0);
    assert(n <= MaxRootMoves);
    uint64_t total = 0;
    for (int i = 0; i < n && i < MaxRootMoves; ++i) {
        makeMove(side, 0, &perftBuffer[i]);
        const uint64_t nodes = depth == 1 ? 1 : perftNode(side ^ 1, 1, depth - 1, perftBuffer + n);
        unmakeMove(0);
        if (results) results[*resultCount] = PerftRootResult{moveOf(perftBuffer[i].move), nodes};
        ++*resultCount;
        total += nodes;
    }
    return total;
}

uint64_t perft(int side, int depth) {
    int count = 0;
    return perftDivide(side, depth, nullptr, &count);
}
