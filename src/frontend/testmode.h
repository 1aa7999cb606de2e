// Command-line benchmark: "Fen <tests> <results> [seconds]".
#pragma once
// 1 when the command line selected the mode and it ran, 0 to start UCI.
int runTestMode(int argc, char** argv);
