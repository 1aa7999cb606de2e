#include <cstring>

#include "frontend/bench.h"
#include "frontend/driver.h"

int main(int argc, char** argv) {
    // "tavik bench [depth]": what distributed test frameworks run to check a build.
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) return runBenchCommand(argc - 1, argv + 1, true);
    return engineMain(argc, argv);
}
