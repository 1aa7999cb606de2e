#include "search/alphabeta.h"

#include <cassert>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr int HistoryCap = 1048576;
// Deepest ply that still searches moves; its children only evaluate.
constexpr int LastSearchPly = 60;

}  // namespace

// Input, clock and CPU share, about every 10 ms. True when the search must end.
bool SearchWorker::pollStops() {
    pollSignal->store(0, std::memory_order_relaxed);
    if (host->pollInput(nodeCount)) return true;
    while (!host->throttleAllows()) {
        sleepMs(1);
        if (host->pollInput(nodeCount)) return true;
    }
    host->throttleRearm();
    // A "setoption name Hash" read by the poll may have left no table, and
    // other options may have changed. (Helpers run only while such options
    // wait for the search to end.)
    if (!helper) ensureTranspositionTable();
    eval.drawScore = settings->drawScore;
    eval.tablebaseMaxMen = settings->tablebaseMaxMen;
    return false;
}

bool SearchWorker::nullMoveAllowed(int side, int ply, int H, const MoveEntry* parentEntry, int e, int bound) const {
    const int* count = &pos.pieceCount[side * 8];
    // With too little material, passing may be the only thing that does not
    // lose (zugzwang); a mate search needs every move.
    const bool material = count[Queen] + count[Rook] > 0 || count[Knight] + count[Bishop] > 1;
    return ply < H && moveOf(parentEntry->move) != 0 && e > bound && eval.iterationDepthLimit == 64 &&
           settings->nullMoveReduction != 0 && material && !(parentEntry->move & CheckFlag);
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

void SearchWorker::updateKillers(Move move, int ply) {
    assert(ply >= 1 && ply < MaxPly);
    // Recaptures are found by the capture scores anyway.
    if (moveTo(move) == moveTo(pos.undoStack.move[ply - 1])) return;
    if (move == ordering.killerMove1[ply]) return;
    ordering.killerMove2[ply] = ordering.killerMove1[ply];
    ordering.killerMove1[ply] = move;
}

void SearchWorker::rewardHistory(int side, Move move, int depth) {
    int32_t& h = ordering.historyTable[side][moveFrom(move)][moveTo(move)];
    h += depth * depth;
    if (h > HistoryCap) h = HistoryCap;
}

int SearchWorker::probeChildOf(uint64_t key, int fifty, int ply, int horizon, int bound) const {
    if (pos.isRepetitionOf(key, ply, fifty)) return 0;
    int score = 0;
    Move move = 0;
    if (ttProbe(key, bound, ply, horizon, score, move)) return score;
    return InfiniteScore;
}

int SearchWorker::mateThreat(int ply, int side) {
    assert(ply >= 1 && ply + 1 < MaxPly);
    const int opp = side ^ 1;
    pos.makeNullMove(side, ply);
    // The board is this node's, so the ply's attack tables still describe it.
    MoveEntry checks[128];
    const int n = generateChecks(pos, checks, opp, ply);
    assert(n <= 128);
    int threat = 0;
    for (int i = 0; i < n && !threat; ++i) {
        pos.makeMove(opp, ply + 1, &checks[i]);
        AttackTable attacked;
        pos.computeAttacks(opp, attacked);
        const Square king = pos.pieceList[side][0];
        threat = 1;
        const uint8_t* ring = nextDirection[King][king];
        for (Square s = ring[king]; s != king; s = ring[s]) {
            if (attacked[s] == 0 && pos.board[s].colour != side) {
                threat = 0;
                break;
            }
        }
        pos.unmakeMove(ply + 1);
    }
    pos.unmakeNullMove(ply);
    return threat;
}

int SearchWorker::alphaBeta(const NodeRecord& node) {
    const int side = node.side, ply = node.ply, horizon = node.horizon, bound = node.bound;
    MoveEntry* const list = node.list;
    MoveEntry* const parentEntry = node.parentEntry;
    int extensionBudget = node.extensionBudget;
    const int materialSwing = node.materialSwing, tieSide = node.tieSide, checkCount = node.checkCount;
    assert(side == White || side == Black);
    assert(ply >= 1 && ply <= LastSearchPly + 2);
    assert(list >= moveBuffer && list <= moveBuffer + MoveBufferSize);
    assert(tieSide == White || tieSide == Black || tieSide == NoTieSide);

    const int opp = side ^ 1;
    const int h = horizon;  // every table write stores this one, never H
    auto store = [&](int storeBound, int storePly, int storeHorizon, int score, Move move) {
        ttStore(pos.hashKey, storeBound, storePly, storeHorizon, score, move);
    };
    int H = horizon;
    int b = bound;
    int best = NoScore;
    Move bestMove = 0;
    Move tm = 0;

    // Count the node; a stop unwinds every level at once.
    ++nodeCount;
    if (stopRequested()) return 0;

    // Polling, only when the throttle worker asked for it.
    if (pollSignal->load(std::memory_order_relaxed) && pollStops()) {
        stopFlag.store(1, std::memory_order_relaxed);
        return 0;
    }

    // Repetition: any earlier occurrence since the last irreversible move is a draw.
    if (pos.isRepetition(ply)) return eval.drawScoreAtPly(ply);

    // Table probe; the stored move orders the moves even without a cut.
    // The pawn entry the evaluation needs loads while the bucket does.
    eval.pawnHashPrefetch();
    {
        int score = 0;
        if (ttProbe(pos.hashKey, bound, ply, h, score, tm)) return score;
    }

    // The children most likely searched first, the table move's and the
    // null move's, get their buckets loaded while this node evaluates.
    if (tm != 0) ttPrefetch(pos.keyAfterMove(side, tm));
    if (ply < H) ttPrefetch(pos.keyAfterNullMove(side));

    // Stale attack tables: the generators' attack tables of this ply belong to another node.
    pos.attackCacheValid[ply] = 0;

    // Static score and status.
    int status = EvalNormal;
    const int e = eval.evaluate(side, bound, h, ply, parentEntry, status);
    if (status == EvalIllegal) return InfiniteScore;
    if (status == EvalTablebase || status == EvalDraw || status == EvalLeaf) {
        const bool proven = status == EvalTablebase && e > -MateThreshold && e < MateThreshold;
        ttStore(pos.hashKey, e, ply, proven ? h + 64 : h, e, 0);
        return e;
    }
    const bool inCheck = (parentEntry->move & CheckFlag) != 0;

    // Full move buffer: no room left in moveBuffer for this node's list (or the null
    // child's): a stand-pat leaf. Nothing is stored, so a shallower path to
    // the same position still searches it.
    if (list + MaxGeneratedMoves > moveBuffer + MoveBufferSize) return e;

    // Null move: if passing still beats the bound, so will a real move.
    if (nullMoveAllowed(side, ply, H, parentEntry, e, bound)) {
        // Null move, horizon of the child.
        const int nh = nullMoveHorizon(h, ply, settings->nullMoveReduction);
        // Null move, the child searched; a stop unwinds the line as it returns.
        MoveEntry nullEntry{0, 0};
        pos.makeNullMove(side, ply);
        const int v = -alphaBeta(
            {opp, ply + 1, nh, list + 1, &nullEntry, -bound, extensionBudget, -materialSwing, tieSide, checkCount});
        pos.unmakeNullMove(ply);
        if (stopRequested()) return 0;
        // Null move, passing beats the bound: the node fails high.
        if (v > bound) {
            store(bound, ply, h, v, tm);
            return v;
        }
        // Null move, passing ties the bound: the tie side wins it.
        if (tieSide == side && v == bound) {
            store(bound - 1, ply, h, v, tm);
            return v;
        }
        // Null move, mate threat: passing gets us mated; look one ply deeper if a mate is in the air.
        if (extensionBudget > 0 && v < -10000 && mateThreat(ply, side) == 1) {
            H = H + 1;
            extensionBudget -= 1;
        }
    }

    // Won positions and the end of the ply tables need no search.
    if (e >= MateThreshold || ply > LastSearchPly) {
        store(e, ply, h, e, 0);
        return e;
    }
    // Table move first: the generators give the table move the first place.
    ordering.ttMove = tm;

    // Moves: captures and safe checks beyond the horizon, all moves within.
    const bool quiescence = ply >= H && !inCheck;
    int n;
    if (quiescence) {
        if (e > bound) {
            store(bound, ply, h, e, tm);
            return e;
        }
        n = generateCaptures(pos, ordering, list, side, ply, ply - H < 3 ? 1 : 0);
        best = e;
    } else {
        n = generateMoves(pos, ordering, list, side, ply);
        // Single reply: a forced move costs no depth.
        if (n == 1 && !(list[0].move & TacticalMask) && ply <= H) H = H + 1;
    }
    assert(n >= 0 && n <= MaxGeneratedMoves);
    if (int(list - moveBuffer) + n > moveBufferPeak) moveBufferPeak = int(list - moveBuffer) + n;
    MoveEntry* const end = list + n;

    // Enhanced transposition cutoff: a child the table already refutes.
    bool sorted = false;
    if (ply < H - 2 && n > 0) {
        for (const MoveEntry* entry = list; entry < end; ++entry) ttPrefetch(pos.keyAfterMove(side, entry->move));
        for (MoveEntry* entry = list; entry < end; ++entry) {
            pickBest(entry, end);
            // The child's key and count tell all the probe needs: no make.
            // Only the list order a make and unmake would leave is kept, as
            // the generators of the nodes below read the lists in order.
            const Move m = moveOf(entry->move);
            const int v = -probeChildOf(pos.keyAfterMove(side, m), pos.fiftyCountAfter(m), ply + 1, H, -b);
            pos.reorderAsAfterCapture(side, entry->move);
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

    // Move loop in score order.
    for (MoveEntry* entry = list; entry < end; ++entry) {
        if (!sorted) {
            // Picking one move ahead lets the next child's bucket load while
            // this child is searched; the order comes out the same.
            if (entry == list) {
                pickBest(entry, end);
                if (moveOf(entry->move) != tm) ttPrefetch(pos.keyAfterMove(side, entry->move));
            }
            if (entry + 1 < end) {
                pickBest(entry + 1, end);
                ttPrefetch(pos.keyAfterMove(side, entry[1].move));
            }
        }
        // Delta cut: the list is sorted, no later capture can do better.
        if (quiescence && entry->score + e < b - 50) break;
        // Swing: material won along the line, for the recapture extension.
        const MoveWord before = entry->move;
        const int swing = materialSwing + ((before & CaptureFlag) ? pieceValue[pos.board[moveTo(before)].piece] : 0);
        // Make.
        pos.makeMove(side, ply, entry);
        const MoveWord mv = entry->move;  // now with CheckFlag when it checks
        // The child starts from this node's horizon, budget and check count.
        int ch = H, cb = extensionBudget, cc = checkCount;
        // Extensions: repeated checks, seventh-rank pushes, recaptures
        // that restore the balance.
        if (extensionBudget > 0 && ply < H) {
            if ((checkCount != 0 && (mv & CheckFlag)) || (mv & SeventhRankFlag) ||
                (swing >= -50 && swing <= 50 && (mv & CaptureFlag) && (pos.undoStack.move[ply - 1] & CaptureFlag))) {
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
        // Reduction of moves that look losing.
        if (ch == H && ply < H - 2 && entry->score < -50 && entry != list && !(mv & CheckFlag)) ch -= 1;
        // Mate-search cap: a mate search never looks past its limit.
        if (ch > eval.iterationDepthLimit + 1) ch = eval.iterationDepthLimit + 1;
        // The child, then unmake, also after a stop: every level returns at
        // once, but none leaves its move made.
        const int v = -alphaBeta({opp, ply + 1, ch, end, entry, -b, cb, -swing, tieSide, cc});
        pos.unmakeMove(ply);
        if (stopRequested()) return 0;
        // Best so far; a result beyond the bound ends the loop.
        if (v > best) {
            best = v;
            bestMove = moveOf(mv);
            ordering.plyBestMove[ply] = bestMove;
            const bool tie = tieSide == side && v == b;
            if (v > b || tie) {
                if (tie) b = b - 1;
                updateKillers(bestMove, ply);
                break;
            }
        }
    }

    // History reward for the best move of a full-width node.
    if (bestMove != 0 && ply < H) rewardHistory(side, bestMove, H - ply);

    // Store against the bound, settling a tie for the tie side.
    if (best != NoScore) {
        int x = b;
        if (best == b && tieSide != NoTieSide && tieSide != side) x = b + 1;
        store(x, ply, h, best, bestMove);
        return best;
    }

    // No legal move: mated or stalemated.
    const int score = inCheck ? ply - MateBase : eval.drawScoreAtPly(ply);
    store(b, ply, h, score, bestMove);
    return score;
}
