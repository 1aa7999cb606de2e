// Piece terms from the attack maps, and the king shelter with its cache.
#pragma once
#include <cstdint>

#include "board/types.h"

struct KingShelterEntry {
    uint32_t key;
    int32_t value;
};
extern KingShelterEntry kingShelterCache[1024];
void clearKingShelterCache();

int evaluatePieces(int side, int ply);
int evaluateKingShelter(int side);
int kingShelter(Square king, int colour);

// Each colour's piece terms (its men, accumulators and development) as
// evaluatePieces sums them; builds the ply's attack tables first.
struct PieceTotals {
    int total[2];  // [colour], each from its own side's view
};
void evaluatePiecesByColour(int ply, PieceTotals& totals);

// Key under which the shelter of the current position is cached.
uint32_t kingShelterKey();

extern const int lowMobilityPenalty[2];
extern const int queenLowMobilityPenalty[2];
extern const int kingDangerTable[8];
extern const int knightOutpostTable[64];  // from White's side; Black reads 63 - s

// Working state while one colour is scored: its attack map, the opponent's,
// and the accumulators that join the colour's total at the end.
extern const uint32_t* scoredAttacks;
extern const uint32_t* opposingAttacks;
extern int dutySum;
extern int mobilitySum;
extern int hangingSum;

// Points the two maps at the ply's tables for colour and resets the
// accumulators. The tables must already be built.
void beginScoringColour(int colour, int ply);

// Per-man terms: each returns the man's own score and adds to the accumulators.
int evaluatePawnMan(Square square, int own, int enemy);
int evaluateKnight(Square square, int own, int enemy);
int evaluateBishop(Square square, int own, int enemy);
int evaluateRook(Square square, int own, int enemy);
int evaluateQueen(Square square, int own, int enemy);
int evaluateKing(Square square, int own, int enemy);
// Bishop or rook rays: mobility, duties, pins and discovered attacks in one
// walk. Returns the pin bonus; safeMobility receives the safe-square count.
int scanRays(Square square, int own, int enemy, int& safeMobility);
int kingAttack(Square king, int enemy);
