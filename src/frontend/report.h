// UCI "info" lines and the root results behind "bestmove".
#pragma once
#include <cstdint>

#include "board/types.h"

struct MultiPVLine {
    uint64_t nodes;
    int32_t depth;
    uint32_t time;
    int32_t score;
    int32_t bound;
    Move pv[16];  // 15 moves and a terminating 0
};

struct MultiPVTable {
    MultiPVLine slots[16];
    int count;  // 0 in single-line mode
    uint32_t lastPrintTime;
};
extern MultiPVTable multiPVTable;

int reportRootLine(int score, int bound, const Move* pv);
int updateMultiPV(int score, int bound, const Move* pv);
void printScoreLine(uint32_t time, const Move* pv);
void printMultiPV();
void periodicReport(uint64_t nodes);
void printClosingLine();
