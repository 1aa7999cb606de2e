#include "eval/evaluate.h"

#include "board/board.h"

int gamePhase;
int positionalByPly[MaxPly];
int tbHits;

int computeGamePhase() {
    const int m = nonPawnMaterial;
    if (m >= 6200) return 0;
    if (m < 1360) return 10;
    return (6200 - m) / 484;
}
