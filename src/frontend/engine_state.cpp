#include "frontend/engine_state.h"

#include "platform/platform.h"

int quitFlag;
int goFlag;
int debugFlag;
int ponderFlag;
int infiniteFlag;
int fixedLimits;
int depthLimit;
int moveTimeLimit;
int mateMoves;
uint64_t nodeLimit;
uint32_t targetTime;
uint32_t maxTime;
Move bestMove;
Move ponderMove;
int rootScore;
int rootBound;
int referenceScore;
Move easyMove;
int currentDepth;
uint64_t currentNodes;
uint32_t searchStart;
uint32_t nextReport;
uint64_t reportNodes;
int lineShown;
uint32_t lastLineTime;
int multiPVSetting = 1;
int testMode;
TestRecord testStatistics;

uint32_t elapsedMs() { return tickCount() - searchStart; }
