// Companion commands for people: perft, bench, eval.
#include <cstdio>
#include <cstring>

#include "perft_cmd.h"

static int usage() {
    std::fprintf(stderr,
                 "usage: tavik-tool <command> [arguments]\n"
                 "commands:\n"
                 "  perft <depth> [FEN] [--bench]   count leaf nodes (divide form); --bench adds nodes/s\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "perft") == 0) return runPerftCommand(argc - 1, argv + 1);
    return usage();
}
