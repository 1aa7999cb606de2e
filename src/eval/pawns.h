// Pawn sets, pawn-structure masks, the pawn-structure cache and the
// passed-pawn race terms.
#pragma once
#include <cstdint>

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

struct PawnHashTable {
    Bitboard whitePawns;
    Bitboard blackPawns;
    Bitboard allPawns;
    Bitboard attackSpan[2];
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
    PawnHashEntry entries[PawnHashEntries];
    int32_t passedFiles[2];
    int32_t weakFiles[2];
    int32_t pawnScore;
    int32_t pawnEndgameScore;
    uint32_t pawnHashKey;
};

extern PawnHashTable pawnHash;

// Term tables by relative rank (0 = the owner's first rank).
extern const int passedPawnBonus[8];
extern const int protectedPassedBonus[8];
extern const int raceBonus[8];
extern const int raceBonusPawnsOnly[8];
// By square from White's side; a black pawn on s reads entry 63 - s.
extern const int blockedPawnPenalty[64];
extern const int isolatedEndgamePenalty[8];  // by file

void initPawnHash();  // masks; run once at start-up
void clearPawnHash();
void addPawn(Square square, int colour);
void removePawn(Square square, int colour);
bool attackedByWhitePawn(Square square);
bool attackedByBlackPawn(Square square);

int pawnHashProbe(int phase, int side);
int pawnHashStore(int phase, int side);
// One pawn's terms into the working fields; they read allPawns as the probe left it.
void evaluateWhitePawn(Square square);
void evaluateBlackPawn(Square square);
int evaluatePawnStructure(int side);
// Square rule for a pawn of pawnColour against the defending king.
bool isUnstoppable(Square pawn, Square king, bool defenderToMove, int pawnColour);
int evaluatePassedPawnRace(int side);
int evaluatePawnEnding(int side);

// Starts loading the current pawn structure's entry before the evaluation asks for it.
inline void pawnHashPrefetch() { __builtin_prefetch(&pawnHash.entries[pawnHash.pawnHashKey & PawnHashMask]); }
