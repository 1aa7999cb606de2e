// Per-search move-ordering tables: killers, best-move slots, history.
#pragma once
#include <cstdint>

#include "board/types.h"

extern Move ttMove;
extern Move killerMove1[MaxPly];
extern Move killerMove2[MaxPly];
extern Move plyBestMove[MaxPly];
extern int32_t historyTable[2][64][64];

void clearOrderingTables();
