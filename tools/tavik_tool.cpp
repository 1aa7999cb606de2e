// Companion commands for people: perft, bench, eval.
#include <cstdio>
#include <cstring>

static int usage() {
    std::fprintf(stderr,
                 "usage: tavik-tool <command> [arguments]\n"
                 "commands:\n"
                 "  perft <depth> [FEN]   count leaf nodes (divide form)\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    return usage();
}
