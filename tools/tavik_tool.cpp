// Companion commands for people: perft, bench, eval, legal, book, tb.
#include <cstdio>
#include <cstring>

#include "book_cmd.h"
#include "eval_cmd.h"
#include "frontend/bench.h"
#include "moves_cmd.h"
#include "perft_cmd.h"
#include "tavik_version.h"
#include "tb_cmd.h"

static int usage() {
    std::fprintf(stderr,
                 "usage: tavik-tool <command> [arguments] | --version\n"
                 "commands:\n"
                 "  perft <depth> [FEN] [--bench]   count leaf nodes (divide form); --bench adds nodes/s\n"
                 "  eval <FEN>                      static evaluation, term by term\n"
                 "  eval --bench                    evaluations per second over a fixed set of positions\n"
                 "  bench [depth] [FEN]             fixed-depth searches; total nodes and nodes/s\n"
                 "  legal [FEN|startpos] [moves m1 m2 ...]   legal moves after the moves, and the game end\n"
                 "  book build <out> <games.pgn>... [--max-ply N] [--min-games N]   Tavik book from PGN games\n"
                 "  book import-polyglot <out> <book.bin> [--max-ply N]   Tavik book from a Polyglot book\n"
                 "  book show <book> [FEN | startpos [moves m1 m2 ...]]   the book's moves in a position\n"
                 "  tb <subcommand> ...             endgame tablebase files: probe, generate, verify, compress, check (tb alone lists them)\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavik-tool %s\n", TAVIK_VERSION);
        return 0;
    }
    if (std::strcmp(argv[1], "perft") == 0) return runPerftCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "eval") == 0) return runEvalCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "bench") == 0) return runBenchCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "legal") == 0) return runLegalCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "book") == 0) return runBookCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "tb") == 0) return runTablebaseCommand(argc - 1, argv + 1);
    return usage();
}
