// Packed attack maps, single-square attack tests and static exchange.
#pragma once
#include <cstdint>

#include "board/types.h"

// Attack word: bits 0-7 attacker count (x-rays included), then 4-bit counts
// of kings (8), queens (12), rooks (16), bishops (20), knights (24), pawns (28).
using AttackTable = uint32_t[64];

constexpr uint32_t CountMask = 0xFF;
constexpr uint32_t KingField = 0x00000F00;
constexpr uint32_t QueenField = 0x0000F000;
constexpr uint32_t RookField = 0x000F0000;
constexpr uint32_t BishopField = 0x00F00000;
constexpr uint32_t KnightField = 0x0F000000;
constexpr uint32_t PawnField = 0xF0000000;

extern const uint32_t attackWeight[8];
extern const int sliderFlag[8];

extern AttackTable attackTables[MaxPly][2];  // [ply][colour]
extern int attackCacheValid[MaxPly];

void computeAttacks(int colour, AttackTable& table);
// Builds both colours' tables of a ply and marks them valid.
void buildAttackTables(int ply);
// Computes both colours' tables of a ply unless already valid.
void ensureAttackTables(int ply);
int isAttackedByWhite(Square square);
int isAttackedByBlack(Square square);
// Did emptying `vacated` open a line of the attacker's sliders onto `target`?
bool lineOpenedOnto(int attacker, Square target, Square vacated);
int staticExchange(int score, int target, uint32_t ours, uint32_t theirs);
