#include "book_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/tables.h"
#include "book/book.h"
#include "book_writer.h"
#include "frontend/book_choice.h"
#include "frontend/game_record.h"
#include "frontend/poll.h"
#include "search/search.h"
#include "pgn_reader.h"
#include "polyglot.h"

namespace {

// The engine consults the book up to ply 50, so the replies at ply 51 are
// the last it can play.
constexpr int DefaultMaxPly = 51;

int usage() {
    std::fprintf(stderr,
                 "usage: tavik-tool book build <out> <games.pgn>... [--max-ply N] [--min-games N]\n"
                 "       tavik-tool book import-polyglot <out> <book.bin> [--max-ply N]\n"
                 "       tavik-tool book show <book> [FEN | startpos [moves m1 m2 ...]]\n");
    return 2;
}

// Takes "--name N" out of args; false on a missing or bad number.
bool takeOption(std::vector<std::string>& args, const char* name, int& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) return false;
        char* end;
        const long v = std::strtol(args[i + 1].c_str(), &end, 10);
        if (*end != '\0' || end == args[i + 1].c_str() || v < 0 || v > GameRecordSize - 2) return false;
        value = int(v);
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
        return true;
    }
    return true;
}

struct PositionStats {
    int64_t weight = 0;
    uint32_t games = 0;
    uint32_t lastGame = 0;
};

// Games used, and skipped by reason.
struct BuildCounts {
    long games = 0, used = 0, toNullMove = 0;
    long unreadable = 0, illegal = 0, setUp = 0, variant = 0, empty = 0;
};

// A FEN tag may merely restate the start position.
bool isStartPosition(const std::string& fen) {
    PositionRecord given, start;
    return parseFen(fen.c_str(), given) && parseFen(StartFen, start) && recordKey(given) == recordKey(start);
}

// Points for the side that made a move reaching ply: 2 for a win, 1 for a
// draw, 0 for a loss or an unknown result.
int resultPoints(const std::string& result, int ply) {
    const bool whiteMoved = ply % 2 == 1;
    if (result == "1/2-1/2") return 1;
    if (result == "1-0") return whiteMoved ? 2 : 0;
    if (result == "0-1") return whiteMoved ? 0 : 2;
    return 0;
}

void addGame(const PgnGame& game, int maxPly, BuildCounts& counts,
             std::unordered_map<uint64_t, PositionStats>& stats) {
    if (game.otherVariant) {
        ++counts.variant;
        return;
    }
    if (game.setUp && !isStartPosition(game.fen)) {
        ++counts.setUp;
        return;
    }
    if (game.malformed) {
        ++counts.unreadable;
        return;
    }
    if (game.moves.empty()) {
        ++counts.empty;
        return;
    }
    // Replay first: a game with an illegal move adds nothing.
    setFromFen(StartFen);
    std::vector<uint64_t> keys{gameRecord.keys[0]};
    for (size_t i = 0; i < game.moves.size() && int(i) < maxPly; ++i) {
        Move legal[MaxGeneratedMoves + 1];
        const int n = currentLegalMoves(legal);
        const Move move = resolveSan(game.moves[i], gameRecord.positions[gameRecord.ply], legal, n);
        if (move == 0 || playMove(move) != int(i) + 1) {
            ++counts.illegal;
            return;
        }
        keys.push_back(gameRecord.keys[gameRecord.ply]);
    }
    ++counts.used;
    if (game.nullMove) ++counts.toNullMove;
    const uint32_t id = uint32_t(counts.used);
    for (size_t ply = 0; ply < keys.size(); ++ply) {
        PositionStats& s = stats[keys[ply]];
        if (ply > 0) s.weight += resultPoints(game.result, int(ply));
        if (s.lastGame != id) {
            s.lastGame = id;
            ++s.games;
        }
    }
}

int buildCommand(std::vector<std::string> args) {
    int maxPly = DefaultMaxPly, minGames = 1;
    if (!takeOption(args, "--max-ply", maxPly) || !takeOption(args, "--min-games", minGames) || args.size() < 2)
        return usage();
    std::unordered_map<uint64_t, PositionStats> stats;
    BuildCounts counts;
    for (size_t f = 1; f < args.size(); ++f) {
        std::FILE* file = std::fopen(args[f].c_str(), "rb");
        if (file == nullptr) {
            std::fprintf(stderr, "book build: cannot read %s\n", args[f].c_str());
            return 1;
        }
        PgnReader reader(file);
        PgnGame game;
        while (reader.next(game)) {
            ++counts.games;
            addGame(game, maxPly, counts, stats);
            if (counts.games % 10000 == 0)
                std::fprintf(stderr, "games read: %ld, positions: %zu\n", counts.games, stats.size());
        }
        std::fclose(file);
    }
    std::unordered_map<uint64_t, int64_t> entries;
    for (const auto& [key, s] : stats)
        if (s.games >= uint32_t(minGames)) entries.emplace(key, s.weight);
    const long written = writeBook(args[0], entries);
    if (written < 0) {
        std::fprintf(stderr, "book build: cannot write %s\n", args[0].c_str());
        return 1;
    }
    const BuildCounts& n = counts;
    std::printf("games read: %ld, used: %ld (%ld up to a null move), skipped: %ld (%ld unreadable, %ld with an illegal "
                "move, %ld from a set-up position, %ld of another variant, %ld without moves)\n",
                n.games, n.used, n.toNullMove, n.unreadable + n.illegal + n.setUp + n.variant + n.empty, n.unreadable,
                n.illegal, n.setUp, n.variant, n.empty);
    std::printf("entries written: %ld\n", written);
    return 0;
}

int importCommand(std::vector<std::string> args) {
    int maxPly = DefaultMaxPly;
    if (!takeOption(args, "--max-ply", maxPly) || args.size() != 2) return usage();
    std::unordered_map<uint64_t, int64_t> entries;
    const long records = importPolyglot(args[1], maxPly, entries);
    if (records < 0) {
        std::fprintf(stderr, "book import-polyglot: cannot read %s\n", args[1].c_str());
        return 1;
    }
    const long written = writeBook(args[0], entries);
    if (written < 0) {
        std::fprintf(stderr, "book import-polyglot: cannot write %s\n", args[0].c_str());
        return 1;
    }
    std::printf("polyglot records read: %ld\nentries written: %ld\n", records, written);
    return 0;
}

int showCommand(const std::vector<std::string>& given) {
    if (given.empty()) return usage();
    // Quoted or not, FEN fields and moves arrive as blank-separated tokens.
    std::vector<std::string> args{given[0]};
    for (size_t k = 1; k < given.size(); ++k) {
        size_t start = 0;
        while ((start = given[k].find_first_not_of(" \t", start)) != std::string::npos) {
            const size_t end = given[k].find_first_of(" \t", start);
            args.push_back(given[k].substr(start, end - start));
            start = end;
        }
    }
    std::string fen;
    size_t i = 1;
    for (; i < args.size() && args[i] != "moves"; ++i) fen += (fen.empty() ? "" : " ") + args[i];
    if (fen.empty() || fen == "startpos") fen = StartFen;
    PositionRecord record;
    if (!parseFen(fen.c_str(), record) || recordProblem(record) != nullptr) {
        std::fprintf(stderr, "book show: unusable position \"%s\"\n", fen.c_str());
        return 1;
    }
    Square dropped = 0;
    setBookPosition(fen.c_str(), dropped);
    // Only legal moves: the book is looked up where a real game can stand.
    for (++i; i < args.size(); ++i) {
        Move legal[MaxGeneratedMoves + 1];
        const int n = currentLegalMoves(legal);
        const Move move = parseMoveText(args[i].c_str());
        bool found = false;
        for (int k = 0; k < n && !found; ++k) found = legal[k] == move;
        const int before = gameRecord.ply;
        if (!found || args[i].size() > 5 || playMove(move) == before) {
            std::fprintf(stderr, "book show: illegal move \"%s\"\n", args[i].c_str());
            return 1;
        }
    }
    openBook(args[0].c_str());
    std::printf("book %s: %u entries\n", args[0].c_str(), bookEntryCount());
    if (dropped)
        std::printf("en-passant square %c%c ignored: no pawn can take there\n", 'a' + fileOf(dropped),
                    '1' + rankOf(dropped));
    BookCandidate list[MaxBookCandidates];
    int count = 0;
    if (!collectBookCandidates(engineWorker(), list, count)) {
        std::printf("position not in book\n");
        return 0;
    }
    if (count == 0) std::printf("no move with a positive weight\n");
    sortBookCandidates(list, count);
    int64_t total = 0;
    for (int i = 0; i < count; ++i) total += list[i].weight;
    for (int i = 0; i < count; ++i) {
        char share[16];
        bookShare(list[i].weight, total, share);
        std::printf("%s %d %s%%\n", moveText(list[i].move).c_str(), list[i].weight, share);
    }
    closeBook();
    return 0;
}

}  // namespace

int runBookCommand(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "build") return buildCommand(args);
    if (command == "import-polyglot") return importCommand(args);
    if (command == "show") return showCommand(args);
    return usage();
}
