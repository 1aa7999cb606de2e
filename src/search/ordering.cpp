#include "search/ordering.h"

#include <cstring>

Move ttMove;
Move killerMove1[MaxPly];
Move killerMove2[MaxPly];
Move plyBestMove[MaxPly];
int32_t historyTable[2][64][64];

void clearOrderingTables() {
    ttMove = 0;
    std::memset(killerMove1, 0, sizeof killerMove1);
    std::memset(killerMove2, 0, sizeof killerMove2);
    std::memset(plyBestMove, 0, sizeof plyBestMove);
    std::memset(historyTable, 0, sizeof historyTable);
}
