#include "search/root.h"

#include <cassert>
#include <cstring>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/alphabeta.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr int Exact = 0, LowerBound = 1, UpperBound = 2;

inline bool mateClass(int score) { return score > MateThreshold; }

// Who wins a result equal to the test value. A leading move is first pinned
// exactly; after its fail high the opponent wins ties (only a better result
// counts), after its fail low the side to move does. Any other move must
// beat the value.
inline int rootTieSide(bool leading, int state, int side) {
    if (!leading || state == 1) return side ^ 1;
    return state == 0 ? NoTieSide : side;
}

// Entry i goes to position to (to < i), the entries between move down one.
void moveEntryUp(MoveEntry* list, int i, int to) {
    const MoveEntry moving = list[i];
    for (int j = i; j > to; --j) list[j] = list[j - 1];
    list[to] = moving;
}

}  // namespace

// What the common set-up of a root move hands to every test of that move.
struct SearchWorker::RootChild {
    int opp;
    int horizon;
    int budget;
    int swing;
    int checkCount;
    MoveEntry* entry;
    MoveEntry* childList;
};

// Stop test, exchange value, front-end callback, make, child horizon and
// budget. False when the search must end (the move is then not made).
bool SearchWorker::startRootMove(int side, MoveEntry* list, int count, int index, int iteration, RootChild& c) {
    if (stopRequested()) return false;
    MoveEntry* entry = &list[index];
    const MoveWord m = entry->move;
    c.swing = (m & CaptureFlag) ? pieceValue[pos.board[moveTo(m)].piece] : 0;
    if (host->rootMoveStart(moveOf(m), index)) return false;
    pos.makeMove(side, 0, entry);
    c.opp = side ^ 1;
    c.horizon = iteration;
    c.checkCount = 0;
    c.budget = iteration < 6 ? 14 - iteration : 8;
    if (entry->move & CheckFlag) {
        c.checkCount = 1;
    } else if (entry->move & SeventhRankFlag) {
        c.horizon += 1;
        c.budget -= 1;
    }
    c.entry = entry;
    c.childList = list + count;
    return true;
}

// One zero-window test of the made root move against e.
inline int SearchWorker::testRootMove(const RootChild& c, int e, int tieSide) {
    return -alphaBeta({c.opp, 1, c.horizon, c.childList, c.entry, -e, c.budget, -c.swing, tieSide, c.checkCount});
}

void sortRootMoves(MoveEntry* list, int count) {
    for (int i = 0; i < count; ++i)
        if (list[i].move & CheckFlag) list[i].score += 300;
    for (int i = 0; i + 1 < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (list[j].score > list[i].score) {
                const MoveEntry t = list[i];
                list[i] = list[j];
                list[j] = t;
            }
}

int SearchWorker::collectPv(Move* pv, MoveEntry* listEnd, int side, Move rootMove) {
    std::memset(pv, 0, PvSlots * sizeof(Move));
    pv[0] = moveOf(rootMove);
    int toMove = side ^ 1;
    int p = 1;
    for (; p < PvMoveLimit; ++p) {
        const Move m = ttBestMove(pos.hashKey);
        if (m == 0) break;
        pos.attackCacheValid[0] = 0;
        const int n = generateMoves(pos, ordering, listEnd, toMove, 0);
        MoveEntry* found = nullptr;
        for (int i = 0; i < n; ++i)
            if (moveOf(listEnd[i].move) == m) {
                found = &listEnd[i];
                break;
            }
        if (found == nullptr) break;
        pos.makeMove(toMove, p, found);
        // A key collision may hand out a move that is only pseudo-legal here.
        const Square king = pos.pieceList[toMove][0];
        if (toMove == White ? pos.isAttackedByBlack(king) : pos.isAttackedByWhite(king)) {
            pos.unmakeMove(p);
            break;
        }
        pv[p] = m;
        toMove ^= 1;
    }
    for (int q = p - 1; q >= 1; --q) pos.unmakeMove(q);
    pos.attackCacheValid[0] = 0;
    // A reply the table has lost is taken from the previous line.
    if (pv[0] == lastPvMove && pv[1] == 0) pv[1] = lastPvReply;
    lastPvMove = pv[0];
    lastPvReply = pv[1];
    return p;
}

void SearchWorker::searchRoot(int side, MoveEntry* list, int count, const uint64_t* gameKeys,
                              const uint64_t* gameKeysEnd, int limit) {
    assert(count >= 0 && count <= MaxGeneratedMoves);
    const int opp = side ^ 1;
    // New table generation.
    if (!helper) ttNewSearch();
    // Repetition range and mate limit of this search.
    pos.gameKeyList = gameKeys;
    pos.gameKeyListEnd = gameKeysEnd;
    eval.iterationDepthLimit = limit;
    pollSignal->store(0, std::memory_order_relaxed);
    // Root value: the first move is tested against the static score of the root.
    MoveEntry* const rootEnd = list + count;
    *rootEnd = MoveEntry{0, 0};
    int status = EvalNormal;
    int e = eval.evaluate(side, pos.psqScore[side] - pos.psqScore[opp], 1, 0, rootEnd, status);
    int v0 = e;
    if (e > MateThreshold) e = v0 = 0;
    // Counters.
    nodeCount = 0;
    eval.tbHits = 0;
    // Root order.
    sortRootMoves(list, count);
    if (stopRequested()) return;

    // A report: PV, node count, the front end's line; true = stop.
    auto report = [&](Move rootMove, int score, int bound) {
        collectPv(pvLine, rootEnd, side, rootMove);
        host->setCurrentNodes(nodeCount);
        return host->reportRootLine(score, bound, pvLine) != 0;
    };

    // Iterations.
    for (int iteration = 1; iteration <= eval.iterationDepthLimit; ++iteration) {
        // Iteration start: the front end may stop here.
        host->setCurrentNodes(nodeCount);
        if (host->iterationStart(iteration)) return;
        if (host->skipIteration(iteration)) continue;
        // Value to beat: only a mate result carries over as the value to beat.
        if (e < MateThreshold) v0 = NoScore;
        // Root moves, each tested until its value is pinned or bracketed.
        for (int i = 0; i < count; ++i) {
            if (list[i].score <= -MateThreshold) continue;  // proven loss
            RootChild c;
            if (!startRootMove(side, list, count, i, iteration, c)) return;
            const Move move = moveOf(list[i].move);
            int state = 0;
            bool moved = false;
            for (;;) {
                const int v = testRootMove(c, e, rootTieSide(i == 0, state, side));
                if (stopRequested()) return leaveRoot();
                list[i].score = v;
                if (v == e) {
                    // Pinned. A later move that merely equals the value is not better.
                    if (i == 0 || state == 1) {
                        v0 = v;
                        if (report(move, v, Exact)) return leaveRoot();
                    }
                    break;
                }
                if ((v > e && state == -1) || (v < e && state == 1)) {
                    // Bracketed between two tests: the earlier bound is the value.
                    if (report(move, v0, Exact)) return leaveRoot();
                    break;
                }
                if (v > e) {
                    state = 1;
                    if (i != 0) moved = true;
                    v0 = v;
                    e = v + 1;
                    if (report(move, v, LowerBound)) return leaveRoot();
                    if (mateClass(v)) eval.iterationDepthLimit = MateBase - 2 - v;
                    continue;
                }
                state = -1;
                if (i != 0 || e >= MateThreshold) break;
                v0 = v;
                e = v - 1;
                if (report(move, v, UpperBound)) return leaveRoot();
            }
            pos.unmakeMove(0);
            e = v0;
            if (moved) moveEntryUp(list, i, 0);
        }
        // Tablebase root: it needs no deeper look.
        if (status == EvalTablebase) return;
        // Single move: with one move that is not lost, no need to go on.
        if (!host->infinite()) {
            int alive = 0;
            for (int i = 0; i < count && alive < 2; ++i)
                if (list[i].score > -MateThreshold) ++alive;
            if (alive < 2 && iteration > 4) return;
        }
        // Stop.
        if (stopRequested()) return;
        e = v0;
    }
}

void SearchWorker::searchRootMultiPv(int side, MoveEntry* list, int count, const uint64_t* gameKeys,
                                     const uint64_t* gameKeysEnd, int lines, int lastIteration) {
    assert(count >= 0 && count <= MaxGeneratedMoves);
    // Lines, table generation, repetition range and counters.
    const int K = lines < count ? lines : count;
    if (!helper) ttNewSearch();
    pos.gameKeyList = gameKeys;
    pos.gameKeyListEnd = gameKeysEnd;
    pollSignal->store(0, std::memory_order_relaxed);
    eval.iterationDepthLimit = 64;
    nodeCount = 0;
    eval.tbHits = 0;
    // Root order.
    sortRootMoves(list, count);
    if (stopRequested()) return;
    MoveEntry* const rootEnd = list + count;

    auto report = [&](Move rootMove, int score, int bound) {
        collectPv(pvLine, rootEnd, side, rootMove);
        host->setCurrentNodes(nodeCount);
        host->updateMultiPV(score, bound, pvLine);
    };

    // Iterations.
    if (lastIteration > 64) lastIteration = 64;
    for (int iteration = 1; iteration <= lastIteration; ++iteration) {
        host->setCurrentNodes(nodeCount);
        if (host->iterationStart(iteration)) return;
        for (int i = 0; i < count; ++i) {
            RootChild c;
            if (!startRootMove(side, list, count, i, iteration, c)) return;
            const Move move = moveOf(list[i].move);
            int& own = list[i].score;
            const bool top = i < K;
            int state = 0;
            int e = 0;
            for (;;) {
                // Test value.
                if (state == 0) {
                    if (i == 0)
                        e = own;
                    else if (top)
                        e = own < list[i - 1].score ? own : list[i - 1].score;
                    else
                        e = list[K - 1].score;
                    if (mateClass(e)) {
                        eval.iterationDepthLimit = MateBase - 2 - e;
                        if (iteration > eval.iterationDepthLimit) {
                            // The line is proven already.
                            if (!top) return leaveRoot();
                            report(move, NoStoredScore, Exact);
                            break;
                        }
                    } else {
                        eval.iterationDepthLimit = 64;
                    }
                } else if (state == 1) {
                    e = own + 1;
                    eval.iterationDepthLimit = mateClass(own) ? MateBase - 2 - own : 64;
                } else {
                    if (mateClass(e)) {
                        if (top) report(move, NoStoredScore, Exact);
                        break;
                    }
                    e = own - 1;
                }
                // Test.
                const int v = testRootMove(c, e, rootTieSide(top, state, side));
                if (stopRequested()) return leaveRoot();
                if (v == e) {
                    own = v;
                    if (!top && state == 0) break;
                    report(move, v, Exact);
                    break;
                }
                if ((v > e && state == -1) || (v < e && state == 1)) {
                    if (e >= MateThreshold) {
                        report(move, NoStoredScore, Exact);
                    } else {
                        own = v;
                        report(move, v, Exact);
                    }
                    break;
                }
                if (v > e) {
                    own = v;
                    state = 1;
                    report(move, v, LowerBound);
                    continue;
                }
                state = -1;
                if (!top) {
                    if (e < MateThreshold) own = v;
                    break;
                }
                if (e >= MateThreshold) {
                    report(move, NoStoredScore, Exact);
                } else {
                    own = v;
                    report(move, v, UpperBound);
                }
            }
            // Keep the best K in order.
            pos.unmakeMove(0);
            if (i == 0) continue;
            int pos = top ? i : K - 1;
            if (!top && list[i].score > list[K - 1].score) moveEntryUp(list, i, K - 1);
            while (pos > 0 && list[pos].score > list[pos - 1].score) {
                const MoveEntry t = list[pos];
                list[pos] = list[pos - 1];
                list[pos - 1] = t;
                --pos;
            }
        }
        // Stop.
        if (stopRequested()) return;
    }
}
