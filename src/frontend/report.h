// UCI "info" lines and the root results behind "bestmove".
#pragma once
#include <cstddef>
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
// "info nps ... nodes ... [tbhits ...]" for the search that just ended.
void printClosingLine(uint64_t nodes, int tbHits);

// The driver's own score line after a search that printed none: the PV is
// bestMove (a1a1 when there is none) and, when there is one, ponderMove.
void printFallbackScoreLine(uint32_t time);
void clearMultiPVSlots();
// Sorts the table's count slots by score among equal or deeper lines and
// takes bestMove/ponderMove from the first; true when a swap was made.
bool sortMultiPV();

// "mate N" / "cp N" into out (ScoreTextSize bytes); returns out.
constexpr size_t ScoreTextSize = 24;
char* scoreText(int score, char* out);
const char* boundSuffix(int bound);
// Moves of a 0-terminated list, at most maxMoves of them, separated by
// blanks; never writes more than size bytes. Returns out.
char* pvText(const Move* pv, int maxMoves, char* out, size_t size);
