// Command-line benchmark: "Fen <tests> <results> [seconds]".
#pragma once
#include <cstdint>

struct TestRecord {
    int32_t depth;
    int32_t time;
    float value;
    int32_t reserved;
    uint64_t nodes;
};
// The last completed iteration of the running test search.
extern TestRecord testStatistics;

// 1 when the command line selected the mode and it ran, 0 to start UCI.
int runTestMode(int argc, char** argv);
