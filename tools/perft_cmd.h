// "perft": leaf counts per root move, total and optional speed.
#pragma once

// argv[0] is "perft"; returns the process exit status.
int runPerftCommand(int argc, char** argv);
