#include "eval/pawns.h"

#include <bit>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"

const int passedPawnBonus[8] = {0, 8, 12, 20, 40, 64, 104, 0};
const int protectedPassedBonus[8] = {0, 0, 0, 4, 12, 32, 64, 0};
const int raceBonus[8] = {0, 16, 24, 36, 44, 60, 100, 0};
const int raceBonusPawnsOnly[8] = {0, 128, 140, 164, 212, 288, 400, 0};

const int blockedPawnPenalty[64] = {
    0, 0, 0,  0,  0,  0,  0, 0,  //
    1, 2, 10, 18, 18, 10, 2, 1,  //
    1, 1, 8,  16, 16, 8,  1, 1,  //
    0, 1, 5,  12, 12, 5,  1, 0,  //
    0, 0, 2,  4,  4,  2,  0, 0,  //
    0, 0, 0,  0,  0,  0,  0, 0,  //
    0, 0, 0,  0,  0,  0,  0, 0,  //
    0, 0, 0,  0,  0,  0,  0, 0,  //
};

const int isolatedEndgamePenalty[8] = {0, -2, -5, -10, -10, -5, -2, 0};

namespace {

constexpr int NoPawnScore = 32000;

// The empty set for squares off the board (the stop square of a pawn that
// cannot exist, attacker squares beyond the edge).
inline Bitboard bit(int s) { return s >= 0 && s < 64 ? Bitboard(1) << s : 0; }

inline Bitboard attackerMaskAt(int colour, int s) {
    return s >= 0 && s < 64 ? pawnMasks.pawnAttackerMask[colour][s] : 0;
}
inline Bitboard supportMaskAt(int colour, int s) { return s >= 0 && s < 64 ? pawnMasks.supportMask[colour][s] : 0; }

}  // namespace

// Pawns of colour that attack s, 0..2; the two sides are counted apart.
inline int Evaluator::pawnAttackerCount(int colour, int s) const {
    if (s < 0 || s > 63) return 0;
    const Bitboard pawns = pawnsOf(colour);
    return int((pawnMasks.pawnAttackerLeft[colour][s] & pawns) != 0) +
           int((pawnMasks.pawnAttackerRight[colour][s] & pawns) != 0);
}

int Evaluator::scoreOfWorkingFields(int phase, int side) const {
    const int value = pawnHash.pawnScore + ((phase + 6) * pawnHash.pawnEndgameScore) / 16;
    return side == White ? value : -value;
}

// Walks down (White) or up (Black) the file beside a blocked pawn looking for
// an own pawn that can come up and attack the blocker over squares that the
// enemy pawns do not control more strongly.
template <int Us>
bool Evaluator::leverCanArrive(int q) const {
    constexpr int Them = Us ^ 1;
    constexpr int Back = Us == White ? -8 : 8;
    const Bitboard own = pawnsOf(Us);
    for (; q >= 0 && q <= 63; q += Back) {
        if (own & bit(q)) return true;
        if (pawnAttackerCount(Us, q) - pawnAttackerCount(Them, q) < 0) return false;
    }
    return false;
}

template <int Us>
void Evaluator::evaluatePawnOf(Square s) {
    constexpr int Them = Us ^ 1;
    constexpr int Ahead = Us == White ? 8 : -8;
    PawnHashTable& h = pawnHash;
    const Bitboard own = pawnsOf(Us);
    const Bitboard enemy = pawnsOf(Them);
    const int file = fileOf(s);
    const int relRank = Us == White ? rankOf(s) : 7 - rankOf(s);
    const int stop = s + Ahead;

    // The span is needed by the piece terms even for a pawn that scores nothing.
    h.attackSpan[Us] |= pawnMasks.passedMask[Us][s] & ~pawnMasks.frontSpan[Us][s];

    // Tension with an enemy pawn: any verdict on the structure could change with one capture.
    if (pawnMasks.pawnAttackerMask[Them][s] & enemy) return;

    int sc = 0;
    int eg = 0;
    bool weak = false;
    if (pawnMasks.adjacentFilesMask[s] & own) {
        if (!(pawnMasks.neighbourMask[s] & own)) sc = -2;
        if (!(pawnMasks.supportMask[Us][s] & own)) {
            if (h.allPawns & bit(stop)) {
                sc -= 20;
                weak = true;
            } else {
                const int n = pawnAttackerCount(Us, stop) - pawnAttackerCount(Them, stop);
                if (n == -2) {
                    sc -= 25;
                    weak = true;
                } else if (n == -1) {
                    sc -= 20;
                    weak = true;
                } else if (!(supportMaskAt(Us, stop) & own)) {
                    sc -= 8;
                    weak = true;
                }
            }
        }
    } else {
        sc = (pawnMasks.frontSpan[Us][s] & enemy) ? -10 : -20;
        eg = isolatedEndgamePenalty[file];
        weak = true;
    }
    if (weak) h.weakFiles[Us] |= 1 << file;

    if (pawnMasks.fileOthersMask[s] & own) sc -= 5;

    if (!(pawnMasks.passedMask[Us][s] & enemy) && !(pawnMasks.frontSpan[Us][s] & own)) {
        eg += passedPawnBonus[relRank];
        if (pawnMasks.pawnAttackerMask[Us][s] & own) eg += protectedPassedBonus[relRank];
        h.passedFiles[Us] |= 1 << file;
    }

    // Rammed with no lever: penalised unless a neighbour pawn can still come up to attack the blocker.
    if ((enemy & bit(stop)) && !(attackerMaskAt(Us, stop) & own)) {
        bool lever = false;
        if (file > 0 && (pawnMasks.supportMask[Us][s] & pawnMasks.fileMask[file - 1] & own))
            lever = leverCanArrive<Us>(s - 1);
        if (!lever && file < 7 && (pawnMasks.supportMask[Us][s] & pawnMasks.fileMask[file + 1] & own))
            lever = leverCanArrive<Us>(s + 1);
        if (!lever) sc -= blockedPawnPenalty[Us == White ? s : 63 - s];
    }

    if (Us == White) {
        h.pawnScore += sc;
        h.pawnEndgameScore += eg;
    } else {
        h.pawnScore -= sc;
        h.pawnEndgameScore -= eg;
    }
}

// Race bonus of each unstoppable passed pawn, White's view, plus the outside
// passed pawn term when outsideWeight is not 0.
int Evaluator::raceTotal(bool pawnsOnlyBonus, int outsideWeight) const {
    const int phase = gamePhase;
    int meanFile = 0;
    if (outsideWeight) {
        Bitboard all = pos.whitePawns | pos.blackPawns;
        const int count = std::popcount(all);
        int fileSum = 1;
        for (; all; all &= all - 1) fileSum += std::countr_zero(all) & 7;
        meanFile = count ? fileSum / count : 0;
    }

    int total = 0;
    for (int us = White; us <= Black; ++us) {
        const int them = us ^ 1;
        const int sign = us == White ? 1 : -1;
        const int defender = pos.pieceList[them][0];
        const bool defenderHasPieces = pos.lastPieceIndex[them] - pos.pieceCount[them * 8 + Pawn] >= 1;
        for (int file = 0; file < 8; ++file) {
            if (!(pawnHash.passedFiles[us] & (1 << file))) continue;
            total += sign * outsideWeight * std::abs(meanFile - file);
            // The first man met coming from the promotion square must be the pawn itself.
            const int step = us == White ? -8 : 8;
            int sq = us == White ? file + 56 : file;
            while (sq >= 0 && sq <= 63 && pos.board[sq].colour == NoColour) sq += step;
            if (sq < 0 || sq > 63 || pos.board[sq].piece != Pawn || pos.board[sq].colour != us) continue;
            if (!isUnstoppable(sq, defender, true, us)) continue;
            const int relRank = us == White ? rankOf(sq) : 7 - rankOf(sq);
            if (pawnsOnlyBonus || !defenderHasPieces)
                total += sign * raceBonusPawnsOnly[relRank];
            else
                total += sign * (raceBonus[relRank] * phase / 10);
        }
    }
    return total;
}

void Evaluator::clearPawnHash() {
    PawnHashTable& h = pawnHash;
    h.allPawns = 0;
    h.attackSpan[0] = h.attackSpan[1] = 0;
    h.passedFiles[0] = h.passedFiles[1] = 0;
    h.weakFiles[0] = h.weakFiles[1] = 0;
    h.pawnScore = 0;
    h.pawnEndgameScore = 0;
    std::memset(h.entries, 0, sizeof h.entries);
}

bool Evaluator::attackedByWhitePawn(Square square) const {
    return (attackerMaskAt(White, square) & pos.whitePawns) != 0;
}

bool Evaluator::attackedByBlackPawn(Square square) const {
    return (attackerMaskAt(Black, square) & pos.blackPawns) != 0;
}

int Evaluator::pawnHashProbe(int phase, int side) {
    PawnHashTable& h = pawnHash;
    h.allPawns = pos.whitePawns | pos.blackPawns;
    const PawnHashEntry& e = h.entries[pos.pawnHashKey & PawnHashMask];
    // Both full sets are compared, so a key collision can never give a wrong hit.
    if (e.whitePawns == pos.whitePawns && e.blackPawns == pos.blackPawns) {
        h.attackSpan[0] = e.attackSpan[0];
        h.attackSpan[1] = e.attackSpan[1];
        h.passedFiles[0] = e.passedFiles[0];
        h.passedFiles[1] = e.passedFiles[1];
        h.weakFiles[0] = e.weakFiles[0];
        h.weakFiles[1] = e.weakFiles[1];
        h.pawnScore = e.score;
        h.pawnEndgameScore = e.endgameScore;
        return scoreOfWorkingFields(phase, side);
    }
    h.attackSpan[0] = h.attackSpan[1] = 0;
    h.passedFiles[0] = h.passedFiles[1] = 0;
    h.weakFiles[0] = h.weakFiles[1] = 0;
    h.pawnScore = 0;
    h.pawnEndgameScore = 0;
    return NoPawnScore;
}

int Evaluator::pawnHashStore(int phase, int side) {
    const PawnHashTable& h = pawnHash;
    PawnHashEntry& e = pawnHash.entries[pos.pawnHashKey & PawnHashMask];
    e.whitePawns = pos.whitePawns;
    e.blackPawns = pos.blackPawns;
    e.attackSpan[0] = h.attackSpan[0];
    e.attackSpan[1] = h.attackSpan[1];
    e.passedFiles[0] = h.passedFiles[0];
    e.passedFiles[1] = h.passedFiles[1];
    e.weakFiles[0] = h.weakFiles[0];
    e.weakFiles[1] = h.weakFiles[1];
    e.score = h.pawnScore;
    e.endgameScore = h.pawnEndgameScore;
    return scoreOfWorkingFields(phase, side);
}

void Evaluator::evaluateWhitePawn(Square square) {
    assert(square >= 0 && square < 64);
    evaluatePawnOf<White>(square);
}

void Evaluator::evaluateBlackPawn(Square square) {
    assert(square >= 0 && square < 64);
    evaluatePawnOf<Black>(square);
}

int Evaluator::evaluatePawnStructure(int side) {
    const int cached = pawnHashProbe(gamePhase, side);
    if (cached != NoPawnScore) return cached;
    for (int i = pos.lastPieceIndex[White]; i >= 1; --i) {
        const Square s = pos.pieceList[White][i];
        if (pos.board[s].piece == Pawn) evaluateWhitePawn(s);
    }
    for (int i = pos.lastPieceIndex[Black]; i >= 1; --i) {
        const Square s = pos.pieceList[Black][i];
        if (pos.board[s].piece == Pawn) evaluateBlackPawn(s);
    }
    return pawnHashStore(gamePhase, side);
}

bool isUnstoppable(Square pawn, Square king, bool defenderToMove, int pawnColour) {
    assert(pawn >= 0 && pawn < 64 && king >= 0 && king < 64);
    const Square promotion = pawnColour == White ? fileOf(pawn) + 56 : fileOf(pawn);
    const int startRank = pawnColour == White ? 1 : 6;
    // The double step saves a move from the pawn's first rank.
    const int pawnMoves = distance[pawn][promotion] - (rankOf(pawn) == startRank ? 1 : 0);
    const int kingMoves = distance[king][promotion];
    if (defenderToMove) return !(kingMoves - 1 <= pawnMoves || distance[king][pawn] == 1);
    return kingMoves > pawnMoves;
}

int Evaluator::evaluatePassedPawnRace(int side) {
    const int outsideWeight = gamePhase == 10 ? 8 : gamePhase == 9 ? 4 : 0;
    const int total = raceTotal(false, outsideWeight);
    return side == White ? total : -total;
}

int Evaluator::evaluatePawnEnding(int side) {
    const int total = raceTotal(true, 0);
    return side == White ? total : -total;
}
