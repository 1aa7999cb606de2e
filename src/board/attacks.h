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

int staticExchange(int score, int target, uint32_t ours, uint32_t theirs);
