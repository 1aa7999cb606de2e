#include "perft_cmd.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/psq.h"
#include "frontend/game_record.h"
#include "frontend/poll.h"
#include "search/search.h"

namespace {

constexpr int MaxPerftDepth = 60;

void moveName(Move move, char* out) {
    const Square from = moveFrom(move), to = moveTo(move);
    out[0] = char('a' + fileOf(from));
    out[1] = char('1' + rankOf(from));
    out[2] = char('a' + fileOf(to));
    out[3] = char('1' + rankOf(to));
    out[4] = "\0\0nbrq\0\0"[movePromotion(move)];
    out[5] = '\0';
}

bool parseDepth(const char* text, int& depth) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > MaxPerftDepth) return false;
    depth = int(value);
    return true;
}

}  // namespace

int runPerftCommand(int argc, char** argv) {
    int depth = 0;
    bool bench = false;
    std::string fen;
    bool haveDepth = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bench") == 0) {
            bench = true;
        } else if (!haveDepth) {
            if (!parseDepth(argv[i], depth)) {
                std::fprintf(stderr, "perft: depth must be a whole number from 1 to %d, got \"%s\"\n", MaxPerftDepth,
                             argv[i]);
                return 1;
            }
            haveDepth = true;
        } else {
            // A FEN may arrive as one argument or split into its fields.
            if (!fen.empty()) fen += ' ';
            fen += argv[i];
        }
    }
    if (!haveDepth) {
        std::fprintf(stderr, "usage: tavik-tool perft <depth> [FEN] [--bench]\n");
        return 1;
    }
    if (fen.empty()) fen = StartFen;


    PositionRecord record;
    if (!parseFen(fen.c_str(), record)) {
        std::fprintf(stderr, "perft: invalid FEN \"%s\"\n", fen.c_str());
        return 1;
    }
    // Perft walks every line, so a position the search would never be given
    // is refused instead of corrupting the board on the first king capture.
    if (const char* problem = recordProblem(record)) {
        std::fprintf(stderr, "perft: unusable position \"%s\": %s\n", fen.c_str(), problem);
        return 1;
    }
    const int side = record.sideToMove & 1;
    Position& pos = engineWorker().pos;
    loadPosition(record, pos);
    // Only a pawn that just made a double step can be taken en passant.
    if (pos.epSquare != 0 && rankOf(pos.epSquare) != (side == White ? 5 : 2)) pos.epSquare = 0;
    prepareRootPosition(pos, side);
    if (pos.ownKingAttacked(side ^ 1)) {
        std::fprintf(stderr, "perft: unusable position \"%s\": the side not to move is in check\n", fen.c_str());
        return 1;
    }

    static PerftRootResult results[MaxRootMoves];
    int count = 0;
    const auto start = std::chrono::steady_clock::now();
    const uint64_t total = perftDivide(pos, side, depth, results, &count);
    const auto stop = std::chrono::steady_clock::now();

    struct Line {
        char name[6];
        uint64_t nodes;
    };
    static Line lines[MaxRootMoves];
    for (int i = 0; i < count; ++i) {
        moveName(results[i].move, lines[i].name);
        lines[i].nodes = results[i].nodes;
    }
    std::sort(lines, lines + count, [](const Line& a, const Line& b) { return std::strcmp(a.name, b.name) < 0; });
    for (int i = 0; i < count; ++i) std::printf("%s: %" PRIu64 "\n", lines[i].name, lines[i].nodes);
    std::printf("\nNodes searched: %" PRIu64 "\n", total);
    if (bench) {
        const double seconds = std::chrono::duration<double>(stop - start).count();
        const double rate = seconds > 0 ? double(total) / seconds : 0.0;
        std::printf("Time: %.3f s\nNodes per second: %.0f\n", seconds, rate);
    }
    std::fflush(stdout);
    return 0;
}
