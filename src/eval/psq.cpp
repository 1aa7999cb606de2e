#include "eval/psq.h"

#include <array>
#include <cassert>
#include <cstdlib>

#include "board/attacks.h"
#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"

namespace {

// The tables below are written as a diagram, rank 8 on top; the engine
// indexes squares from a1.
constexpr SquareTable fromDiagram(const SquareTable& diagram) {
    SquareTable t{};
    for (int row = 0; row < 8; ++row)
        for (int file = 0; file < 8; ++file) t[(7 - row) * 8 + file] = diagram[row * 8 + file];
    return t;
}

}  // namespace

const SquareTable pawnTable = fromDiagram({
    0,  0,  0,  0,  0,  0,  0,  0,   //
    12, 16, 24, 32, 32, 24, 16, 12,  //
    12, 16, 24, 32, 32, 24, 16, 12,  //
    8,  12, 16, 25, 25, 16, 12, 8,   //
    6,  8,  12, 20, 20, 12, 8,  6,   //
    6,  8,  2,  10, 10, 2,  8,  6,   //
    4,  4,  4,  0,  0,  4,  4,  4,   //
    0,  0,  0,  0,  0,  0,  0,  0,   //
});

const SquareTable knightTable = fromDiagram({
    0,  4,  8,  10, 10, 8,  4,  0,   //
    4,  8,  16, 20, 20, 16, 8,  4,   //
    8,  16, 24, 28, 28, 24, 16, 8,   //
    10, 20, 28, 32, 32, 28, 20, 10,  //
    10, 20, 28, 32, 32, 28, 20, 10,  //
    8,  16, 24, 28, 28, 24, 16, 8,   //
    4,  8,  16, 20, 20, 16, 8,  4,   //
    0,  4,  8,  10, 10, 8,  4,  0,   //
});

const SquareTable bishopTable = fromDiagram({
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 8, 4, 4, 4, 4, 8, 0,  //
    0, 4, 8, 8, 8, 8, 4, 0,  //
    0, 4, 8, 8, 8, 8, 4, 0,  //
    0, 4, 8, 8, 8, 8, 4, 0,  //
    0, 4, 8, 8, 8, 8, 4, 0,  //
    0, 8, 4, 4, 4, 4, 8, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
});

const SquareTable rookTable = fromDiagram({
    10, 10, 10, 10, 10, 10, 10, 10,  //
    10, 11, 12, 12, 12, 12, 11, 10,  //
    0,  0,  2,  3,  3,  2,  0,  0,   //
    0,  0,  2,  3,  3,  2,  0,  0,   //
    0,  0,  2,  3,  3,  2,  0,  0,   //
    0,  0,  2,  3,  3,  2,  0,  0,   //
    0,  0,  2,  3,  3,  2,  0,  0,   //
    0,  0,  2,  3,  3,  2,  0,  0,   //
});

const SquareTable queenTable = fromDiagram({
    0, 0, 0,  2,  2,  0,  0, 0,  //
    0, 0, 4,  6,  6,  4,  0, 0,  //
    0, 4, 8,  14, 14, 8,  4, 0,  //
    0, 6, 14, 20, 20, 14, 6, 0,  //
    0, 6, 14, 20, 20, 14, 6, 0,  //
    0, 4, 8,  14, 14, 8,  4, 0,  //
    0, 0, 4,  6,  6,  4,  0, 0,  //
    0, 0, 0,  2,  2,  0,  0, 0,  //
});

const SquareTable kingMiddleTable = fromDiagram({
    -16, -20, -24, -30, -30, -24, -20, -16,  //
    -20, -24, -30, -38, -38, -30, -24, -20,  //
    -22, -30, -38, -45, -45, -38, -30, -22,  //
    -20, -24, -30, -38, -38, -30, -24, -20,  //
    -16, -20, -24, -30, -30, -24, -20, -16,  //
    -12, -16, -20, -24, -24, -20, -16, -12,  //
    -2,  -4,  -8,  -12, -12, -8,  -4,  -2,   //
    -1,  0,   -4,  -10, -10, 0,   0,   -1,   //
});

const SquareTable kingEndTable = fromDiagram({
    8,  15, 20, 26, 26, 20, 15, 8,   //
    15, 20, 26, 34, 34, 26, 20, 15,  //
    20, 27, 36, 52, 52, 36, 27, 20,  //
    25, 34, 50, 60, 60, 50, 34, 25,  //
    20, 26, 34, 50, 50, 34, 26, 20,  //
    15, 20, 26, 34, 34, 26, 20, 15,  //
    10, 15, 20, 26, 26, 20, 15, 10,  //
    0,  10, 15, 20, 20, 15, 10, 0,   //
});

namespace {

// Where each pawn is heading and how much the kings care about it.
struct PawnTarget {
    int file;
    int rank;
    int weight;
};

int collectPawnTargets(const Position& pos, PawnTarget* out) {
    int n = 0;
    for (Square s = 0; s < 64; ++s) {
        if (pos.board[s].piece != Pawn) continue;
        const int colour = pos.board[s].colour;
        const int rank = rankOf(s);
        // A pawn one step from promotion aims at the promotion square.
        const int ahead = (colour == White ? rank == 6 : rank == 1) ? 1 : 2;
        out[n++] =
            PawnTarget{fileOf(s), colour == White ? rank + ahead : rank - ahead, pawnPathState(pos, s) == 2 ? 5 : 2};
    }
    return n;
}

int weightedDistance(Square k, const PawnTarget* targets, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i)
        sum += targets[i].weight * (std::abs(fileOf(k) - targets[i].file) + std::abs(rankOf(k) - targets[i].rank));
    return sum;
}

// Men of colour within king distance 2 of s.
int menNear(const Position& pos, Square s, int colour) {
    int n = 0;
    for (int i = 0; i <= pos.lastPieceIndex[colour]; ++i)
        if (distance[s][pos.pieceList[colour][i]] <= 2) ++n;
    return n;
}

}  // namespace

int computeRootPhase(const Position& pos) {
    const int m = pos.nonPawnMaterial;
    if (m > 3440) return 0;
    if (m < 1360) return 10;
    return (3440 - m) / 208;
}

int pawnPathState(const Position& pos, Square s) {
    assert(s >= 0 && s < 64);
    if (pos.board[s].piece != Pawn) return 0;
    const int colour = pos.board[s].colour;
    const int step = colour == White ? 8 : -8;
    for (int q = s + step; q >= 0 && q < 64; q += step)
        if (pos.board[q].piece == Pawn) return 0;
    const uint32_t* enemy = pos.attackTables[0][colour ^ 1];
    for (int q = s + step; q >= 0 && q < 64; q += step)
        if (enemy[q] >= attackWeight[Pawn]) return 1;
    return 2;
}

int kingPawnDistance(const Position& pos, Square k) {
    PawnTarget targets[64];
    const int count = collectPawnTargets(pos, targets);
    return weightedDistance(k, targets, count);
}

void prepareEvaluationTables(Position& pos, int /*side*/) {
    const int P = computeGamePhase(pos);
    const int Q = 10 - P;
    const int R = computeRootPhase(pos);
    const Square wk = pos.pieceList[White][0];
    const Square bk = pos.pieceList[Black][0];
    const int wkFile = fileOf(wk), bkFile = fileOf(bk);

    for (int colour = 0; colour < 2; ++colour)
        for (int piece = 0; piece < 8; ++piece)
            for (int& v : pos.psqTable[colour * 8 + piece]) v = piece >= Pawn && piece <= King ? pieceValue[piece] : 0;

    int* whitePawn = pos.psqTable[White * 8 + Pawn];
    int* blackPawn = pos.psqTable[Black * 8 + Pawn];
    int* whiteKnight = pos.psqTable[White * 8 + Knight];
    int* blackKnight = pos.psqTable[Black * 8 + Knight];

    // Kings on opposite wings: pawns on the far wing should storm forward.
    const bool storm = P < 7 && ((wkFile < 3 && bkFile > 4) || (wkFile > 4 && bkFile < 3));
    const int tropism = (P + 2) / 3;

    PawnTarget targets[64];
    const int targetCount = collectPawnTargets(pos, targets);

    for (Square s = 0; s < 64; ++s) {
        const int r = rankOf(s), f = fileOf(s);
        const int m = 63 - s;

        pos.psqTable[White * 8 + Bishop][s] += bishopTable[s];
        pos.psqTable[Black * 8 + Bishop][s] += bishopTable[s];

        const int knight = knightTable[s] - distance[s][wk] - distance[s][bk] + 10;
        whiteKnight[s] += knight + tropism * menNear(pos, s, Black);
        blackKnight[s] += knight + tropism * menNear(pos, s, White);

        whitePawn[s] += pawnTable[s];
        blackPawn[s] += pawnTable[m];
        const Bitboard adjacent = pawnMasks.adjacentFilesMask[s];
        if (!(adjacent & pos.whitePawns)) whitePawn[s] -= 6;
        if (!(adjacent & pos.blackPawns)) blackPawn[s] -= 6;

        if (storm) {
            if ((wkFile < 4 && f > 4) || (wkFile >= 4 && f < 3)) whitePawn[s] += ((r - 7) * Q * 6) / 10 - Q;
            if ((bkFile < 4 && f > 4) || (bkFile > 3 && f < 3)) blackPawn[s] += -(r * Q * 6) / 10 - Q;
        }

        // A pawn with a free path is pulled forward, harder as the pieces go.
        if (const int state = pawnPathState(pos, s); state > 0) {
            const int step = state * P * 2;
            if (pos.board[s].colour == White) {
                for (int q = s + 8, j = 1; q < 63; q += 8, ++j) whitePawn[q] += (j * step) / 10;
            } else {
                for (int q = s - 8, j = 1; q > 0; q -= 8, ++j) blackPawn[q] += (j * step) / 10;
            }
        }

        const int kingToPawns = (weightedDistance(s, targets, targetCount) * R) / 10;
        pos.psqTable[White * 8 + King][s] += (kingMiddleTable[s] * Q + kingEndTable[s] * P) / 10 - kingToPawns;
        pos.psqTable[Black * 8 + King][s] += (kingMiddleTable[m] * Q + kingEndTable[m] * P) / 10 - kingToPawns;

        pos.psqTable[White * 8 + Rook][s] += (rookTable[s] * Q) / 10;
        pos.psqTable[Black * 8 + Rook][s] += (rookTable[m] * Q) / 10;

        if (P > 0) {
            pos.psqTable[White * 8 + Queen][s] += (queenTable[s] * P) / 10;
            pos.psqTable[Black * 8 + Queen][s] += (queenTable[s] * P) / 10;
        }
    }
}

void prepareRootPosition(Position& pos, int side) {
    pos.rebuildPieceLists();
    pos.computeAttacks(White, pos.attackTables[0][White]);
    pos.computeAttacks(Black, pos.attackTables[0][Black]);
    pos.attackCacheValid[0] = 1;
    prepareEvaluationTables(pos, side);
    pos.sumPsqScore();
    pos.hashKey = pos.computeHashKey(side);
    assert(pos.boardStateConsistent());
}
