#include "search/alphabeta.h"

#include <cassert>

#include "board/attacks.h"
#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "frontend/throttle.h"
#include "frontend/poll.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/tt.h"

int moveBufferPeak;

namespace {

constexpr int HistoryCap = 1048576;
// Deepest ply that still searches moves; its children only evaluate.
constexpr int LastSearchPly = 60;

inline void store(int bound, int ply, int horizon, int score, Move move) {
    ttStore(hashKey, bound, ply, horizon, score, move);
}

inline bool hasRoomForList(const MoveEntry* list) {
    return list + MaxGeneratedMoves <= moveBuffer + MoveBufferSize;
}

inline void notePeak(const MoveEntry* list, int count) {
    const int end = int(list - moveBuffer) + count;
    if (end > moveBufferPeak) moveBufferPeak = end;
}

// Input, clock and CPU share, about every 10 ms. True when the search must end.
bool pollStops() {
    pollRequest.store(0, std::memory_order_relaxed);
    if (pollInput(nodeCount)) return true;
    while (!throttleAllows()) {
        sleepMs(1);
        if (pollInput(nodeCount)) return true;
    }
    throttleRearm();
    // A "setoption name Hash" read by the poll may have left no table.
    ensureTranspositionTable();
    return false;
}

}  // namespace

bool nullMoveAllowed(int side, int ply, int H, const MoveEntry* parentEntry, int e, int bound) {
    const int* count = &pieceCount[side * 8];
    // With too little material, passing may be the only thing that does not
    // lose (zugzwang); a mate search needs every move.
    const bool material = count[Queen] + count[Rook] > 0 || count[Knight] + count[Bishop] > 1;
    return ply < H && moveOf(parentEntry->move) != 0 && e > bound && iterationDepthLimit == 64 &&
           searchEngine.nullMoveReduction != 0 && material && !(parentEntry->move & CheckFlag);
}

int nullMoveHorizon(int horizon, int ply, int reduction) {
    const int nh = horizon - reduction;
    return nh <= ply + 1 ? nh + 1 : nh;
}

void pickBest(MoveEntry* position, MoveEntry* end) {
    // Without branches: which score wins is a coin toss to the predictor.
    MoveEntry* best = position;
    int bestScore = position->score;
    for (MoveEntry* e = position + 1; e < end; ++e) {
        const bool better = e->score > bestScore;
        bestScore = better ? e->score : bestScore;
        best = better ? e : best;
    }
    if (best != position) {
        const MoveEntry t = *position;
        *position = *best;
        *best = t;
    }
}

void updateKillers(Move move, int ply) {
    assert(ply >= 1 && ply < MaxPly);
    // Recaptures are found by the capture scores anyway.
    if (moveTo(move) == moveTo(undoStack.move[ply - 1])) return;
    if (move == killerMove1[ply]) return;
    killerMove2[ply] = killerMove1[ply];
    killerMove1[ply] = move;
}

void rewardHistory(int side, Move move, int depth) {
    int32_t& h = historyTable[side][moveFrom(move)][moveTo(move)];
    h += depth * depth;
    if (h > HistoryCap) h = HistoryCap;
}

int probeChildOf(uint64_t key, int fifty, int ply, int horizon, int bound) {
    if (isRepetitionOf(key, ply, fifty)) return 0;
    int score = 0;
    Move move = 0;
    if (ttProbe(key, bound, ply, horizon, score, move)) return score;
    return InfiniteScore;
}

int mateThreat(int ply, int side) {
    assert(ply >= 1 && ply + 1 < MaxPly);
    const int opp = side ^ 1;
    makeNullMove(side, ply);
    // The board is this node's, so the ply's attack tables still describe it.
    MoveEntry checks[128];
    const int n = generateChecks(checks, opp, ply);
    assert(n <= 128);
    int threat = 0;
    for (int i = 0; i < n && !threat; ++i) {
        makeMove(opp, ply + 1, &checks[i]);
        AttackTable attacked;
        computeAttacks(opp, attacked);
        const Square king = pieceList[side][0];
        threat = 1;
        const uint8_t* ring = nextDirection[King][king];
        for (Square s = ring[king]; s != king; s = ring[s]) {
            if (attacked[s] == 0 && board[s].colour != side) {
                threat = 0;
                break;
            }
        }
        unmakeMove(ply + 1);
    }
    unmakeNullMove(ply);
    return threat;
}

int alphaBeta(int side, int ply, int horizon, MoveEntry* list, MoveEntry* parentEntry, int bound,
              int extensionBudget, int materialSwing, int tieSide, int checkCount) {
    assert(side == White || side == Black);
    assert(ply >= 1 && ply <= LastSearchPly + 2);
    assert(list >= moveBuffer && list <= moveBuffer + MoveBufferSize);
    assert(tieSide == White || tieSide == Black || tieSide == NoTieSide);

    const int opp = side ^ 1;
    const int h = horizon;  // every table write stores this one, never H
    int H = horizon;
    int b = bound;
    int best = NoScore;
    Move bestMove = 0;
    Move tm = 0;

    // 1. Count the node; a stop unwinds every level at once.
    ++nodeCount;
    if (stopFlag) return 0;

    // 2. Polling, only when the throttle worker asked for it.
    if (pollRequest.load(std::memory_order_relaxed) && pollStops()) {
        stopFlag = 1;
        return 0;
    }

    // 3. Any earlier occurrence since the last irreversible move is a draw.
    if (isRepetition(ply)) return drawScoreAtPly(ply);

    // 4. Table probe; the stored move orders the moves even without a cut.
    // The pawn entry the evaluation needs loads while the bucket does.
    pawnHashPrefetch();
    {
        int score = 0;
        if (ttProbe(hashKey, bound, ply, h, score, tm)) return score;
    }

    // The children most likely searched first, the table move's and the
    // null move's, get their buckets loaded while this node evaluates.
    if (tm != 0) ttPrefetch(keyAfterMove(side, tm));
    if (ply < H) ttPrefetch(keyAfterNullMove(side));

    // 5. The generators' attack tables of this ply belong to another node.
    attackCacheValid[ply] = 0;

    // 6. Static score and status.
    int status = EvalNormal;
    const int e = evaluate(side, bound, h, ply, parentEntry, status);
    if (status == EvalIllegal) return InfiniteScore;
    if (status == EvalTablebase || status == EvalDraw || status == EvalLeaf) {
        const bool proven = status == EvalTablebase && e > -MateThreshold && e < MateThreshold;
        ttStore(hashKey, e, ply, proven ? h + 64 : h, e, 0);
        return e;
    }
    const bool inCheck = (parentEntry->move & CheckFlag) != 0;

    // 6a. No room left in moveBuffer for this node's list (or the null
    // child's): a stand-pat leaf. Nothing is stored, so a shallower path to
    // the same position still searches it.
    if (!hasRoomForList(list)) return e;

    // 7. Null move: if passing still beats the bound, so will a real move.
    if (nullMoveAllowed(side, ply, H, parentEntry, e, bound)) {
        // 7.1
        const int nh = nullMoveHorizon(h, ply, searchEngine.nullMoveReduction);
        // 7.2
        MoveEntry nullEntry{0, 0};
        makeNullMove(side, ply);
        const int v = -alphaBeta(opp, ply + 1, nh, list + 1, &nullEntry, -bound, extensionBudget, -materialSwing,
                                 tieSide, checkCount);
        if (stopFlag) return 0;
        unmakeNullMove(ply);
        // 7.3
        if (v > bound) {
            store(bound, ply, h, v, tm);
            return v;
        }
        // 7.4
        if (tieSide == side && v == bound) {
            store(bound - 1, ply, h, v, tm);
            return v;
        }
        // 7.5 Passing gets us mated: look one ply deeper if a mate is in the air.
        if (extensionBudget > 0 && v < -10000 && mateThreat(ply, side) == 1) {
            H = H + 1;
            extensionBudget -= 1;
        }
    }

    // 8. Won positions and the end of the ply tables need no search.
    if (e >= MateThreshold || ply > LastSearchPly) {
        store(e, ply, h, e, 0);
        return e;
    }
    // 9. The generators give the table move the first place.
    ttMove = tm;

    // 10. Moves.
    const bool quiescence = ply >= H && !inCheck;
    int n;
    if (quiescence) {
        if (e > bound) {
            store(bound, ply, h, e, tm);
            return e;
        }
        n = generateCaptures(list, side, ply, ply - H < 3 ? 1 : 0);
        best = e;
    } else {
        n = generateMoves(list, side, ply);
        // Single reply: a forced move costs no depth.
        if (n == 1 && !(list[0].move & TacticalMask) && ply <= H) H = H + 1;
    }
    assert(n >= 0 && n <= MaxGeneratedMoves);
    notePeak(list, n);
    MoveEntry* const end = list + n;

    // 11. Enhanced transposition cutoff: a child the table already refutes.
    bool sorted = false;
    if (ply < H - 2 && n > 0) {
        for (const MoveEntry* entry = list; entry < end; ++entry) ttPrefetch(keyAfterMove(side, entry->move));
        for (MoveEntry* entry = list; entry < end; ++entry) {
            pickBest(entry, end);
            // The child's key and count tell all the probe needs: no make.
            // Only the list order a make and unmake would leave is kept, as
            // the generators of the nodes below read the lists in order.
            const Move m = moveOf(entry->move);
            const int v = -probeChildOf(keyAfterMove(side, m), fiftyCountAfter(m), ply + 1, H, -b);
            reorderAsAfterCapture(side, entry->move);
            const bool tie = tieSide == side && v == b;
            if (v > b || tie) {
                if (tie) b = b - 1;
                updateKillers(m, ply);
                store(b, ply, h, v, m);
                return v;
            }
        }
        sorted = true;
    }

    // 12. Move loop in score order.
    for (MoveEntry* entry = list; entry < end; ++entry) {
        if (!sorted) {
            // Picking one move ahead lets the next child's bucket load while
            // this child is searched; the order comes out the same.
            if (entry == list) {
                pickBest(entry, end);
                if (moveOf(entry->move) != tm) ttPrefetch(keyAfterMove(side, entry->move));
            }
            if (entry + 1 < end) {
                pickBest(entry + 1, end);
                ttPrefetch(keyAfterMove(side, entry[1].move));
            }
        }
        // 12.1 Delta cut: the list is sorted, no later capture can do better.
        if (quiescence && entry->score + e < b - 50) break;
        // 12.2 Material won along the line, for the recapture extension.
        const MoveWord before = entry->move;
        const int swing = materialSwing + ((before & CaptureFlag) ? pieceValue[board[moveTo(before)].piece] : 0);
        // 12.3
        makeMove(side, ply, entry);
        const MoveWord mv = entry->move;  // now with CheckFlag when it checks
        // 12.4
        int ch = H, cb = extensionBudget, cc = checkCount;
        // 12.5 Extensions: repeated checks, seventh-rank pushes, recaptures
        // that restore the balance.
        if (extensionBudget > 0 && ply < H) {
            if ((checkCount != 0 && (mv & CheckFlag)) || (mv & SeventhRankFlag) ||
                (swing >= -50 && swing <= 50 && (mv & CaptureFlag) && (undoStack.move[ply - 1] & CaptureFlag))) {
                ch = H + 1;
                cb -= 1;
            }
            if (mv & CheckFlag) {
                cc = checkCount + 1;
                if (cc == 4) {
                    ch += 1;
                    cb -= 1;
                }
            }
        }
        // 12.6 Reduction of moves that look losing.
        if (ch == H && ply < H - 2 && entry->score < -50 && entry != list && !(mv & CheckFlag)) ch -= 1;
        // 12.7 A mate search never looks past its limit.
        if (ch > iterationDepthLimit + 1) ch = iterationDepthLimit + 1;
        // 12.8
        const int v = -alphaBeta(opp, ply + 1, ch, end, entry, -b, cb, -swing, tieSide, cc);
        if (stopFlag) return 0;
        unmakeMove(ply);
        // 12.9
        if (v > best) {
            best = v;
            bestMove = moveOf(mv);
            plyBestMove[ply] = bestMove;
            const bool tie = tieSide == side && v == b;
            if (v > b || tie) {
                if (tie) b = b - 1;
                updateKillers(bestMove, ply);
                break;
            }
        }
    }

    // 13. History reward for the best move of a full-width node.
    if (bestMove != 0 && ply < H) rewardHistory(side, bestMove, H - ply);

    // 14. Store against the bound, settling a tie for the tie side.
    if (best != NoScore) {
        int x = b;
        if (best == b && tieSide != NoTieSide && tieSide != side) x = b + 1;
        store(x, ply, h, best, bestMove);
        return best;
    }

    // 15. No legal move: mated or stalemated.
    const int score = inCheck ? ply - MateBase : drawScoreAtPly(ply);
    store(b, ply, h, score, bestMove);
    return score;
}
