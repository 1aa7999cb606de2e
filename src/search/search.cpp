#include "search/search.h"

#include <cstring>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/psq.h"
#include "search/alphabeta.h"
#include "search/tt.h"

SearchEngine searchEngine;
std::atomic<int> stopFlag{0};
std::atomic<int> pollRequest{0};

void initSearchEngine() {
    searchEngine.tablebaseMaxMen = 0;
    searchEngine.drawScore = 0;
    searchEngine.sideToMove = 0;
    searchEngine.nullMoveReduction = 3;
}

SearchWorker::SearchWorker() : pos{}, ordering{}, moveBuffer{}, pvLine{} { pos.clearBoard(); }

void clearOrderingTables(MoveOrdering& ordering) { ordering = MoveOrdering{}; }

void SearchWorker::prepareSearch(int side) {
    prepareRootPosition(pos, side);
    // The pawn-structure cache starts afresh with every root.
    eval.clearPawnHash();
    eval.drawScore = settings->drawScore;
    eval.tablebaseMaxMen = settings->tablebaseMaxMen;
    clearOrderingTables(ordering);
    std::memset(pos.undoStack.move, 0, sizeof pos.undoStack.move);
    std::memset(pos.undoStack.key, 0, sizeof pos.undoStack.key);
    std::memset(moveBuffer, 0, sizeof moveBuffer);
    nodeCount = 0;
    eval.tbHits = 0;
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

const char* SearchWorker::loadedPositionProblem() const {
    const Square whiteKing = pos.pieceList[White][0];
    const Square blackKing = pos.pieceList[Black][0];
    if (distance[whiteKing][blackKing] < 2) return "the kings stand next to each other";
    const int side = settings->sideToMove;
    const int attacked = side == White ? pos.isAttackedByWhite(blackKing) : pos.isAttackedByBlack(whiteKing);
    if (attacked) return "the side not to move is in check";
    return nullptr;
}

void ensureTranspositionTable() {
    if (transpositionTable.buckets != nullptr) return;
    if (ttResize(4096) < 0) ttResize(64);
}

void SearchWorker::think(const uint64_t* gameKeys, int mateTarget, int multiPv) {
    // A helper starts inside the main search, which has made sure of it.
    if (!helper) ensureTranspositionTable();
    thinkGameKeys = gameKeys;
    thinkMateTarget = mateTarget;
    // Root preparation.
    const int side = settings->sideToMove;
    prepareSearch(side);
    // The repetition range: the game since the last irreversible move.
    const uint64_t* gameKeysEnd = gameKeys ? gameKeys + (pos.fiftyCount > 0 ? pos.fiftyCount : 0) + 1 : nullptr;
    // An illegal position gets an empty list and so no move.
    const int n = loadedPositionProblem() ? 0 : generateRootMoves(pos, ordering, moveBuffer, side, 0);
    rootMoveCount = n;
    // The easy move.
    host->setEasyMove(earlyStopCandidate(moveBuffer, n));
    // Mate search limit.
    const int limit = mateSearchLimit(mateTarget);
    // The MultiPV lines are no mate search, but "go mate" with several
    // lines still ends after as many iterations as its ply limit.
    if (multiPv == 0)
        searchRoot(side, moveBuffer, n, gameKeys, gameKeysEnd, limit);
    else
        searchRootMultiPv(side, moveBuffer, n, gameKeys, gameKeysEnd, multiPv, limit);
}

Move SearchWorker::firstRootMove() const { return rootMoveCount > 0 ? moveOf(moveBuffer[0].move) : 0; }

int SearchWorker::legalRootMoves(Move* out, uint32_t& inCheck) {
    const int side = settings->sideToMove;
    prepareSearch(side);
    // The root generator leaves the ply-0 tables as scratch: read them first.
    inCheck = pos.attackTables[0][side ^ 1][pos.pieceList[side][0]];
    const int n = loadedPositionProblem() ? 0 : generateRootMoves(pos, ordering, moveBuffer, side, 0);
    for (int i = 0; i < n; ++i) out[i] = moveOf(moveBuffer[i].move);
    out[n] = 0;
    return n;
}
