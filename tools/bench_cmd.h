// "bench": fixed-depth searches of a fixed set of positions through the
// engine's own go cycle; the total node count is the build's signature.
#pragma once

// argv[0] is "bench"; returns the process exit status.
int runBenchCommand(int argc, char** argv);
