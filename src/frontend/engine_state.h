// Front-end state shared by the driver, the interpreter, the time manager
// and the reporting. Main thread only.
#pragma once
#include <cstdint>

#include "board/types.h"

extern int quitFlag;
extern int goFlag;
extern int debugFlag;
extern int ponderFlag;
extern int infiniteFlag;
extern int fixedLimits;
extern int depthLimit;
extern int moveTimeLimit;
extern int mateMoves;
extern uint64_t nodeLimit;
extern uint32_t targetTime;
extern uint32_t maxTime;
extern Move bestMove;
extern Move ponderMove;
extern int rootScore;
extern int rootBound;  // 0 exact, 1 lower, 2 upper
extern int referenceScore;
extern Move easyMove;
extern int currentDepth;
extern uint64_t currentNodes;
extern uint32_t searchStart;
extern uint32_t nextReport;
extern uint64_t reportNodes;
extern int lineShown;
extern uint32_t lastLineTime;
extern int multiPVSetting;
extern int testMode;

struct TestRecord {
    int32_t depth;
    int32_t time;
    float value;
    int32_t reserved;
    uint64_t nodes;
};
// The last completed iteration of the running test search.
extern TestRecord testStatistics;

// Milliseconds since searchStart, in unsigned 32-bit arithmetic.
uint32_t elapsedMs();
