// "legal": the legal moves of a position reached from a FEN (or the start
// position) through a list of moves, each of which must be legal.
#pragma once

// argv[0] is "legal"; returns the process exit status.
int runLegalCommand(int argc, char** argv);
