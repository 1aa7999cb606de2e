// The search worker and the search driver.
#pragma once
#include <cstdint>

#include "board/board.h"
#include "board/movegen.h"
#include "board/types.h"
#include "eval/evaluate.h"
#include "search/host.h"
#include "search/shared.h"

constexpr int MoveBufferSize = 2000;
constexpr int PvSlots = 256;
constexpr int PvMoveLimit = 32;

// Ply by ply the state of the line a search node continues.
struct NodeRecord {
    int side;
    int ply;
    int horizon;
    MoveEntry* list;          // where this node writes its moves
    MoveEntry* parentEntry;   // the move that led here
    int bound;
    int extensionBudget;
    int materialSwing;        // material won along the line, for the recapture extension
    int tieSide;              // who wins a result exactly equal to the bound
    int checkCount;           // checks in a row by the side that gave the last one
};

// What one search thread owns: its position, the evaluation with its caches,
// the ordering tables, the move lists of the current line, the counters and
// the principal variation.
struct SearchWorker {
    SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    Position pos;
    Evaluator eval{pos};
    MoveOrdering ordering;
    MoveEntry moveBuffer[MoveBufferSize];
    uint32_t nodeCount = 0;
    // Highest moveBuffer index written by a node's generator since the last
    // reset (0 = none), for tests and benchmarks.
    int moveBufferPeak = 0;
    // Legal moves at the root of the last think; its list stays at the start of moveBuffer.
    int rootMoveCount = 0;
    Move pvLine[PvSlots];
    // First two moves of the last PV built; they survive from search to search.
    Move lastPvMove = 0;
    Move lastPvReply = 0;
    // Who the search reports to and asks for input; by default nobody, and
    // the search runs to its own limits.
    SearchHost quietHost;
    SearchHost* host = &quietHost;
    // The option values the search reads: the engine's own for the main
    // search, a copy for a helper.
    const SearchEngine* settings = &searchEngine;
    // Raised when this search should poll.
    std::atomic<int>* pollSignal = &pollRequest;
    // A helper searches beside the main search: it leaves the table's
    // generation and the engine's settings alone.
    bool helper = false;
    // The arguments of the running think, for helpers to search the same.
    const uint64_t* thinkGameKeys = nullptr;
    int thinkMateTarget = 0;

    void prepareSearch(int side);
    void think(const uint64_t* gameKeys, int mateTarget, int multiPv);
    // Legal moves of the loaded position, 0-terminated; out needs room for
    // MaxGeneratedMoves + 1 entries. inCheck: non-zero when the side to move is
    // in check. Returns the count.
    int legalRootMoves(Move* out, uint32_t& inCheck);
    // A legal move of the last think's root list (0 when there was none): the
    // answer of a search stopped before any root move was finished.
    Move firstRootMove() const;
    // Why the loaded position (pieces lists built) cannot be searched: the side
    // to move could take the enemy king. nullptr when it can.
    const char* loadedPositionProblem() const;

    // The recursive search (alphabeta.cpp).
    int alphaBeta(const NodeRecord& node);
    // The null move's conditions: a full-width node reached by a real move, static
    // score above the bound, no mate search, the option on, enough material, not
    // in check. H is the node's working horizon.
    bool nullMoveAllowed(int side, int ply, int H, const MoveEntry* parentEntry, int e, int bound) const;
    // Enhanced transposition cutoff probe of a child not yet made, known by its
    // key and fifty-move count: 0 for a repetition, the table score on a hit,
    // InfiniteScore otherwise.
    int probeChildOf(uint64_t key, int fifty, int ply, int horizon, int bound) const;
    // 1 when, were `side` to pass, the opponent has a safe check that leaves the
    // king of `side` no flight square.
    int mateThreat(int ply, int side);
    // Move ordering updates made by the search.
    void updateKillers(Move move, int ply);
    void rewardHistory(int side, Move move, int depth);

    // Iterative deepening over the root list (root.cpp).
    void searchRoot(int side, MoveEntry* list, int count, const uint64_t* gameKeys, const uint64_t* gameKeysEnd,
                    int limit);
    // Iterations 1..lastIteration (at most 64); a mate search passes its ply
    // limit so that it ends like the single-line search.
    void searchRootMultiPv(int side, MoveEntry* list, int count, const uint64_t* gameKeys,
                           const uint64_t* gameKeysEnd, int lines, int lastIteration = 64);
    // Fills pv (PvSlots entries) with rootMove and the table moves that follow
    // it; rootMove must be made at ply 0, and `side` is the side that made it.
    // Generates at listEnd. Returns the number of moves.
    int collectPv(Move* pv, MoveEntry* listEnd, int side, Move rootMove);

private:
    bool pollStops();
    struct RootChild;
    bool startRootMove(int side, MoveEntry* list, int count, int index, int iteration, RootChild& c);
    int testRootMove(const RootChild& c, int e, int tieSide);
    // The search ends with a root move made: back to the root position.
    void leaveRoot() { pos.unmakeMove(0); }
};

void clearOrderingTables(MoveOrdering& ordering);

// The move that stands out by more than 200 points in a scored root list,
// or 0 (a recapture of it may end a clock search early).
Move earlyStopCandidate(const MoveEntry* list, int count);
// Ply limit of a search for the mateTarget passed to think (64 = no mate search).
int mateSearchLimit(int mateTarget);
// The search needs a table; when none could be allocated, a smaller one.
void ensureTranspositionTable();
// Construction: settings to their defaults.
void initSearchEngine();
