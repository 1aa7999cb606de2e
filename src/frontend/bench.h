// "bench": fixed-depth searches of a fixed set of positions through the
// engine's own go cycle; the total node count is the build's signature.
// Both programs run it: "tavik-tool bench" and "tavik bench".
#pragma once

// argv[0] is "bench"; returns the process exit status. frameworkLine adds
// a last line "<total> nodes <nps> nps", the form test frameworks read.
int runBenchCommand(int argc, char** argv, bool frameworkLine = false);
