#include "frontend/bench.h"

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/board.h"
#include "board/perft.h"
#include "eval/psq.h"
#include "frontend/bench_positions.h"
#include "frontend/driver.h"
#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/options.h"
#include "frontend/poll.h"
#include "frontend/report.h"
#include "frontend/text_io.h"
#include "frontend/uci.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

// About ten seconds for the whole list in a release build.
constexpr int DefaultBenchDepth = 8;
constexpr int MaxBenchDepth = MaxPly;
// The Hash option's default: the bench measures the engine as shipped.
constexpr uint32_t BenchHashKilobytes = 4096;

bool parseDepth(const char* text, int& depth) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > MaxBenchDepth) return false;
    depth = int(value);
    return true;
}

// A position the search cannot be given is refused with the reason.
bool usablePosition(const char* fen) {
    PositionRecord record;
    const char* problem = nullptr;
    if (!parseFen(fen, record)) {
        problem = "invalid FEN";
    } else if (!(problem = recordProblem(record))) {
        Position& pos = engineWorker().pos;
        loadPosition(record, pos);
        prepareRootPosition(pos, record.sideToMove & 1);
        if (pos.ownKingAttacked((record.sideToMove & 1) ^ 1)) problem = "the side not to move is in check";
    }
    if (problem) std::fprintf(stderr, "bench: unusable position \"%s\": %s\n", fen, problem);
    return problem == nullptr;
}

// Everything a search could inherit from the one before: the tables, the
// caches and the front end's record of the game and of its last result.
void freshEngineState(const char* fen) {
    ttClear();
    SearchWorker& worker = engineWorker();
    worker.eval.clearCaches();
    std::memset(&gameRecord, 0, sizeof gameRecord);
    setFromFen(fen);
    bestMove = ponderMove = 0;
    worker.lastPvMove = worker.lastPvReply = 0;
    rootScore = 0;
    rootBound = 0;
    multiPVSetting = 1;
}

}  // namespace

int runBenchCommand(int argc, char** argv, bool frameworkLine) {
    int depth = DefaultBenchDepth;
    std::string fen;
    if (argc >= 2 && !parseDepth(argv[1], depth)) {
        std::fprintf(stderr, "bench: depth must be a whole number from 1 to %d, got \"%s\"\n", MaxBenchDepth,
                     argv[1]);
        return 1;
    }
    // A FEN may arrive as one argument or split into its fields.
    for (int i = 2; i < argc; ++i) {
        if (!fen.empty()) fen += ' ';
        fen += argv[i];
    }

    engineStartup();
    // Like the test mode, the bench owns the process: no command is read
    // during its searches, whatever standard input holds.
    testMode = 1;
    ownBook = 0;
    if (!ttResize(BenchHashKilobytes)) {
        std::fprintf(stderr, "bench: no memory for the transposition table\n");
        engineShutdown();
        return 1;
    }
    const char* single[] = {fen.c_str()};
    const char* const* positions = fen.empty() ? SearchBenchPositions : single;
    const int count = fen.empty() ? SearchBenchCount : 1;
    for (int i = 0; i < count; ++i) {
        if (!usablePosition(positions[i])) {
            engineShutdown();
            return 1;
        }
    }

    char goLine[32];
    std::snprintf(goLine, sizeof goLine, "go depth %d", depth);
    uint64_t totalNodes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        freshEngineState(positions[i]);
        parseGo(goLine);
        // The search's own lines would drown the summary.
        quietOutput = true;
        runGoCycle();
        quietOutput = false;
        const uint64_t nodes = engineWorker().nodeCount;
        totalNodes += nodes;
        char score[ScoreTextSize], move[8];
        std::printf("Position %2d/%d: bestmove %-5s score %-9s nodes %" PRIu64 "\n", i + 1, count,
                    moveText(bestMove, move), scoreText(rootScore, score), nodes);
        std::fflush(stdout);
    }
    const auto stop = std::chrono::steady_clock::now();
    engineShutdown();

    const uint64_t ms = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(stop - start).count());
    const uint64_t nps = totalNodes * 1000 / (ms > 0 ? ms : 1);
    std::printf("\nTotal nodes: %" PRIu64 "\nTime: %" PRIu64 " ms\nNodes per second: %" PRIu64 "\n", totalNodes, ms,
                nps);
    if (frameworkLine) std::printf("%" PRIu64 " nodes %" PRIu64 " nps\n", totalNodes, nps);
    std::fflush(stdout);
    return 0;
}
