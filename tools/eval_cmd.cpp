#include "eval_cmd.h"

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/board.h"
#include "board/perft.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/psq.h"
#include "frontend/game_record.h"
#include "frontend/poll.h"
#include "search/search.h"

namespace {

// Openings to endings, so that every branch of the evaluation gets its share.
const char* const BenchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 2 5",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "rnbqk2r/ppp1bppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR w KQkq - 4 5",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/2KR1B1R b - - 4 9",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/R2Q1RK1 w - - 2 10",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3BPP2/2N2B2/PPPQ2PP/R4R1K w - - 0 14",
    "2rq1rk1/pb2bppp/1pn1pn2/3p4/2PP4/P1NB1N2/1P1B1PPP/R2Q1RK1 w - - 1 13",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "3r1rk1/p4ppp/1qp1pn2/8/2P5/1P3Q2/P4PPP/2R2RK1 w - - 0 20",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/5pk1/6p1/3B3p/7P/4b1P1/5PK1/8 w - - 0 40",
    "8/8/4k3/3n4/8/2B5/1P3K2/8 w - - 0 50",
    "8/6k1/8/8/3K4/8/5R2/8 b - - 0 60",
    "8/8/8/4k3/8/8/4KP2/8 w - - 0 60",
    "8/1p3k2/p1p5/P1P5/1P2K3/8/8/8 b - - 0 45",
    "4r1k1/5ppp/8/8/8/8/2N2PPP/3R2K1 w - - 0 30",
    "7k/8/6KP/8/8/8/8/3B4 w - - 0 70",
};
constexpr int BenchRounds = 20000;

// Sets the position up as a search would see it at the root; on failure
// prints why and returns false.
bool preparePosition(const std::string& fen, int& side) {
    PositionRecord record;
    if (!parseFen(fen.c_str(), record)) {
        std::fprintf(stderr, "eval: invalid FEN \"%s\"\n", fen.c_str());
        return false;
    }
    if (const char* problem = recordProblem(record)) {
        std::fprintf(stderr, "eval: unusable position \"%s\": %s\n", fen.c_str(), problem);
        return false;
    }
    side = record.sideToMove & 1;
    Position& pos = engineWorker().pos;
    loadPosition(record, pos);
    prepareRootPosition(pos, side);
    if (pos.ownKingAttacked(side ^ 1)) {
        std::fprintf(stderr, "eval: unusable position \"%s\": the side not to move is in check\n", fen.c_str());
        return false;
    }
    return true;
}

const char* colourName(int colour) { return colour == White ? "White" : "Black"; }

const char* statusName(int status) {
    switch (status) {
        case EvalTablebase: return "tablebase";
        case EvalDraw: return "draw";
        case EvalIllegal: return "illegal";
        case EvalLeaf: return "mate-search leaf";
        default: return "normal";
    }
}

const char* exitReason(EvalExit exit) {
    switch (exit) {
        case EvalExit::NoMatingMaterial: return "no mating material";
        case EvalExit::FiftyMoves: return "fifty-move rule";
        case EvalExit::Illegal: return "the side that just moved can be captured";
        case EvalExit::Tablebase: return "tablebase result";
        case EvalExit::BareKing: return "bare king: driven to the edge";
        case EvalExit::PawnEnding: return "kings and pawns only";
        case EvalExit::MateSearch: return "mate search: material only";
        case EvalExit::RecogniserDraw: return "neither side can win";
        case EvalExit::Full: return "full evaluation";
    }
    return "";
}

void printTerm(const char* name, int value) { std::printf("  %-28s %6d\n", name, value); }

void explain(const std::string& fen, int side) {
    MoveEntry last{0, 0};
    int status = EvalNormal;
    EvalBreakdown why;
    Evaluator& ev = engineWorker().eval;
    const int score = ev.evaluateExplained(side, 0, 1, 0, &last, status, why);

    std::printf("Position: %s\n", fen.c_str());
    std::printf("Side to move: %s\n", colourName(side));
    std::printf("Phase: %d (0 opening .. 10 endgame); root phase of the tables: %d\n", computeGamePhase(ev.pos),
                computeRootPhase(ev.pos));
    std::printf("Decided by: %s\n", exitReason(why.exit));
    std::printf("Terms from %s's view:\n", colourName(side));
    const bool full = why.exit == EvalExit::Full || why.exit == EvalExit::RecogniserDraw;
    if (full || why.exit == EvalExit::PawnEnding || why.exit == EvalExit::MateSearch) {
        std::printf("  %-28s %6d   (White %d, Black %d)\n", "material and placement", why.material,
                    ev.pos.psqScore[White], ev.pos.psqScore[Black]);
    }
    if (why.exit == EvalExit::BareKing) printTerm("bare king", why.material);
    if (full || why.exit == EvalExit::PawnEnding) {
        printTerm("side to move", why.tempo);
        printTerm("pawn structure", why.pawnStructure);
    }
    if (why.exit == EvalExit::PawnEnding) printTerm("pawn race (pawns only)", why.pawnEnding);
    if (full) {
        printTerm("passed-pawn race", why.passedPawnRace);
        printTerm("king shelter", why.kingShelter);
        printTerm("bishop pair", why.bishopPair);
        PieceTotals totals;
        ev.evaluatePiecesByColour(0, totals);
        std::printf("  %-28s %6d   (White %d, Black %d)\n", "piece terms", why.pieces, totals.total[White],
                    totals.total[Black]);
        printTerm("rook and minor vs rook", why.rookMinorShift);
        switch (why.minorScaling) {
            case MinorScaling::OppositeBishops:
                std::printf("  %-28s %6d   (opposite bishops: %d/16, plus the draw score)\n", "minor-piece scaling",
                            why.minorScalingChange, why.minorFactor);
                break;
            case MinorScaling::SameBishops:
                std::printf("  %-28s %6d   (bishops of one colour: pawns on it)\n", "minor-piece scaling",
                            why.minorScalingChange);
                break;
            case MinorScaling::BishopKnight:
                std::printf("  %-28s %6d   (bishop against knight: pawns on its colour)\n", "minor-piece scaling",
                            why.minorScalingChange);
                break;
            case MinorScaling::None: printTerm("minor-piece scaling", 0); break;
        }
        if (why.whiteCannotWin || why.blackCannotWin) {
            std::printf("  %-28s %6d   (%s)\n", "endgame recognisers", why.recogniserChange,
                        why.whiteCannotWin && why.blackCannotWin ? "neither side can win"
                        : why.whiteCannotWin                    ? "White cannot win"
                                                                : "Black cannot win");
        } else {
            printTerm("endgame recognisers", 0);
        }
    }
    std::printf("Status: %s\n", statusName(status));
    if (status == EvalNormal)
        std::printf("Total: %d\n", score);
    else
        std::printf("Total: %d (%s)\n", score, statusName(status));
}

int bench() {
    uint64_t evaluations = 0;
    double seconds = 0;
    int64_t checksum = 0;
    for (const char* fen : BenchPositions) {
        int side = White;
        if (!preparePosition(fen, side)) return 1;
        MoveEntry last{0, 0};
        int status = EvalNormal;
        const auto start = std::chrono::steady_clock::now();
        Evaluator& ev = engineWorker().eval;
        for (int i = 0; i < BenchRounds; ++i) checksum += ev.evaluate(side, 0, 1, 0, &last, status);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        evaluations += BenchRounds;
    }
    const double rate = seconds > 0 ? double(evaluations) / seconds : 0.0;
    std::printf("Positions: %d\nEvaluations: %" PRIu64 "\nTime: %.3f s\nEvaluations per second: %.0f\n",
                int(sizeof BenchPositions / sizeof BenchPositions[0]), evaluations, seconds, rate);
    // Printed so that the loop cannot be optimised away.
    std::printf("Checksum: %" PRId64 "\n", checksum);
    return 0;
}

}  // namespace

int runEvalCommand(int argc, char** argv) {
    bool benchMode = false;
    std::string fen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bench") == 0) {
            benchMode = true;
        } else {
            // A FEN may arrive as one argument or split into its fields.
            if (!fen.empty()) fen += ' ';
            fen += argv[i];
        }
    }
    // Stray blanks around a quoted FEN are no reason to refuse it.
    fen.erase(0, fen.find_first_not_of(" \t"));
    fen.erase(fen.find_last_not_of(" \t\r\n") + 1);
    if (benchMode == !fen.empty()) {
        std::fprintf(stderr, "usage: tavik-tool eval <FEN> | tavik-tool eval --bench\n");
        return 1;
    }

    initSearchEngine();

    if (benchMode) return bench();
    int side = White;
    if (!preparePosition(fen, side)) return 1;
    explain(fen, side);
    std::fflush(stdout);
    return 0;
}
