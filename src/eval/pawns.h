// Pawn-structure masks, the pawn-structure cache and the passed-pawn race terms.
#pragma once
#include <cstdint>

#include "board/geometry.h"
#include "board/types.h"

using Bitboard = uint64_t;

struct PawnHashEntry {
    Bitboard whitePawns;
    Bitboard blackPawns;
    Bitboard attackSpan[2];
    int32_t passedFiles[2];
    int32_t weakFiles[2];
    int32_t score;
    int32_t endgameScore;
};

constexpr int PawnHashEntries = 32768;
constexpr uint32_t PawnHashMask = PawnHashEntries - 1;

// The cache and the working fields of the structure being scored; the pawn
// sets and the key themselves belong to the position.
struct PawnHashTable {
    Bitboard allPawns;
    Bitboard attackSpan[2];
    PawnHashEntry entries[PawnHashEntries];
    int32_t passedFiles[2];
    int32_t weakFiles[2];
    int32_t pawnScore;
    int32_t pawnEndgameScore;
};

// Masks of the pawn terms, fixed at compile time.
struct PawnMasks {
    Bitboard kingZoneMask[64];
    Bitboard fileMask[8];
    Bitboard frontSpan[2][64];
    Bitboard passedMask[2][64];
    Bitboard supportMask[2][64];
    Bitboard adjacentFilesMask[64];
    Bitboard neighbourMask[64];
    Bitboard fileOthersMask[64];
    Bitboard pawnAttackerLeft[2][64];
    Bitboard pawnAttackerRight[2][64];
    Bitboard pawnAttackerMask[2][64];
};

constexpr PawnMasks buildPawnMasks() {
    PawnMasks h{};
    auto bit = [](int s) { return s >= 0 && s < 64 ? Bitboard(1) << s : Bitboard(0); };
    for (int f = 0; f < 8; ++f) h.fileMask[f] = Bitboard(0x0101010101010101ULL) << f;
    for (int s = 0; s < 64; ++s) {
        const int f = fileOf(s);
        const int r = rankOf(s);
        h.kingZoneMask[s] = geometry.king[s];
        for (int q = s + 8; q < 64; q += 8) h.frontSpan[White][s] |= bit(q);
        for (int q = s - 8; q >= 0; q -= 8) h.frontSpan[Black][s] |= bit(q);
        h.adjacentFilesMask[s] = (f > 0 ? h.fileMask[f - 1] : 0) | (f < 7 ? h.fileMask[f + 1] : 0);
        h.neighbourMask[s] = h.kingZoneMask[s] & h.adjacentFilesMask[s];
        h.fileOthersMask[s] = h.fileMask[f] & ~bit(s);
        for (int q = 0; q < 64; ++q) {
            if (!(h.adjacentFilesMask[s] & bit(q))) continue;
            if (rankOf(q) <= r) h.supportMask[White][s] |= bit(q);
            if (rankOf(q) >= r) h.supportMask[Black][s] |= bit(q);
        }
        h.pawnAttackerLeft[White][s] = f > 0 ? bit(s - 9) : 0;
        h.pawnAttackerRight[White][s] = f < 7 ? bit(s - 7) : 0;
        h.pawnAttackerLeft[Black][s] = f > 0 ? bit(s + 7) : 0;
        h.pawnAttackerRight[Black][s] = f < 7 ? bit(s + 9) : 0;
        for (int c = White; c <= Black; ++c)
            h.pawnAttackerMask[c][s] = h.pawnAttackerLeft[c][s] | h.pawnAttackerRight[c][s];
    }
    // The front spans of all squares are needed before the passed masks.
    for (int s = 0; s < 64; ++s) {
        const int f = fileOf(s);
        for (int c = White; c <= Black; ++c)
            h.passedMask[c][s] = h.frontSpan[c][s] | (f > 0 ? h.frontSpan[c][s - 1] : 0) |
                                 (f < 7 ? h.frontSpan[c][s + 1] : 0);
    }
    return h;
}

inline constexpr PawnMasks pawnMasks = buildPawnMasks();

// Term tables by relative rank (0 = the owner's first rank).
extern const int passedPawnBonus[8];
extern const int protectedPassedBonus[8];
extern const int raceBonus[8];
extern const int raceBonusPawnsOnly[8];
// By square from White's side; a black pawn on s reads entry 63 - s.
extern const int blockedPawnPenalty[64];
extern const int isolatedEndgamePenalty[8];  // by file

// Square rule for a pawn of pawnColour against the defending king.
bool isUnstoppable(Square pawn, Square king, bool defenderToMove, int pawnColour);
