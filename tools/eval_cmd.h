// "eval": the static evaluation of one position, term by term, and a
// speed figure over a fixed set of positions.
#pragma once

// argv[0] is "eval"; returns the process exit status.
int runEvalCommand(int argc, char** argv);
