#include "search/search.h"

#include <cstring>

#include "board/attacks.h"
#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "frontend/timeman.h"
#include "search/alphabeta.h"
#include "search/ordering.h"
#include "search/root.h"
#include "search/tt.h"

SearchEngine searchEngine;
MoveEntry moveBuffer[MoveBufferSize];
int stopFlag;
std::atomic<int> pollRequest{0};
uint32_t nodeCount;
int iterationDepthLimit = 64;

void initSearchEngine() {
    searchEngine.tablebaseMaxMen = 0;
    searchEngine.drawScore = 0;
    searchEngine.sideToMove = 0;
    searchEngine.nullMoveReduction = 3;
    initTables();
}

void prepareSearch(int side) {
    prepareRootPosition(side);
    clearOrderingTables();
    std::memset(undoStack.move, 0, sizeof undoStack.move);
    std::memset(undoStack.key, 0, sizeof undoStack.key);
    std::memset(moveBuffer, 0, sizeof moveBuffer);
    nodeCount = 0;
    tbHits = 0;
    moveBufferPeak = 0;
}

Move earlyStopCandidate(const MoveEntry* list, int count) {
    int best = -30000;
    Move candidate = 0;
    for (int i = 0; i < count; ++i) {
        const int s = list[i].score;
        if (s > best + 200)
            candidate = moveOf(list[i].move);
        else if (s > best - 200)
            candidate = 0;
        if (s > best) best = s;
    }
    return candidate;
}

int mateSearchLimit(int mateTarget) { return mateTarget > MateThreshold ? MateBase - 2 - mateTarget : 64; }

const char* loadedPositionProblem() {
    const Square whiteKing = pieceList[White][0];
    const Square blackKing = pieceList[Black][0];
    if (distance[whiteKing][blackKing] < 2) return "the kings stand next to each other";
    const int side = searchEngine.sideToMove;
    const int attacked = side == White ? isAttackedByWhite(blackKing) : isAttackedByBlack(whiteKing);
    if (attacked) return "the side not to move is in check";
    return nullptr;
}

void ensureTranspositionTable() {
    if (transpositionTable.buckets != nullptr) return;
    if (ttResize(4096) < 0) ttResize(64);
}

namespace {
// Legal moves at the root of the last think; its list stays at the start of moveBuffer.
int rootMoveCount;
}  // namespace

void think(const uint64_t* gameKeys, int mateTarget, int multiPv) {
    ensureTranspositionTable();
    // 1.
    const int side = searchEngine.sideToMove;
    prepareSearch(side);
    // 2. The repetition range: the game since the last irreversible move.
    const uint64_t* gameKeysEnd = gameKeys ? gameKeys + (fiftyCount > 0 ? fiftyCount : 0) + 1 : nullptr;
    // 3. An illegal position gets an empty list and so no move.
    const int n = loadedPositionProblem() ? 0 : generateRootMoves(moveBuffer, side, 0);
    rootMoveCount = n;
    // 4.
    setEasyMove(earlyStopCandidate(moveBuffer, n));
    // 5.
    const int limit = mateSearchLimit(mateTarget);
    // 6. The MultiPV lines are no mate search, but "go mate" with several
    // lines still ends after as many iterations as its ply limit.
    if (multiPv == 0)
        searchRoot(side, moveBuffer, n, gameKeys, gameKeysEnd, limit);
    else
        searchRootMultiPv(side, moveBuffer, n, gameKeys, gameKeysEnd, multiPv, limit);
}

Move firstRootMove() { return rootMoveCount > 0 ? moveOf(moveBuffer[0].move) : 0; }

int legalRootMoves(Move* out, uint32_t& inCheck) {
    const int side = searchEngine.sideToMove;
    prepareSearch(side);
    // The root generator leaves the ply-0 tables as scratch: read them first.
    inCheck = attackTables[0][side ^ 1][pieceList[side][0]];
    const int n = loadedPositionProblem() ? 0 : generateRootMoves(moveBuffer, side, 0);
    for (int i = 0; i < n; ++i) out[i] = moveOf(moveBuffer[i].move);
    out[n] = 0;
    return n;
}
