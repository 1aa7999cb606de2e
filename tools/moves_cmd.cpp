#include "moves_cmd.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/psq.h"
#include "frontend/game_record.h"
#include "frontend/poll.h"
#include "search/search.h"

namespace {

// Legal moves of the game record's current position, left at the start of
// moveBuffer; inCheck tells checkmate from stalemate when there are none.
int currentLegalMoves(bool& inCheck) {
    SearchWorker& w = engineWorker();
    loadCurrentPosition(w.pos);
    const int side = gameRecord.positions[gameRecord.ply].sideToMove & 1;
    // Only a pawn that just made a double step can be taken en passant; a
    // FEN may name any square of ranks 3 to 6.
    if (w.pos.epSquare != 0 && rankOf(w.pos.epSquare) != (side == White ? 5 : 2)) w.pos.epSquare = 0;
    prepareRootPosition(w.pos, side);
    clearOrderingTables(w.ordering);
    inCheck = w.pos.ownKingAttacked(side);
    return generateRootMoves(w.pos, w.ordering, w.moveBuffer, side, 0);
}

std::string lowerMoveText(Move move) {
    std::string text = moveText(move);
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void splitInto(const char* text, std::vector<std::string>& out) {
    std::string token;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || std::isspace(static_cast<unsigned char>(*p))) {
            if (!token.empty()) out.push_back(token);
            token.clear();
            if (*p == '\0') return;
        } else {
            token += *p;
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: tavik-tool legal [FEN|startpos] [moves m1 m2 ...]\n");
    return 1;
}

}  // namespace

int runLegalCommand(int argc, char** argv) {
    // Quoted or not, FEN fields and moves arrive as blank-separated tokens.
    std::vector<std::string> tokens;
    for (int i = 1; i < argc; ++i) splitInto(argv[i], tokens);
    const auto movesAt = std::find(tokens.begin(), tokens.end(), "moves");
    std::string fen;
    for (auto it = tokens.begin(); it != movesAt; ++it) fen += (fen.empty() ? "" : " ") + *it;
    if (fen.empty() || fen == "startpos") fen = StartFen;
    if (fen.find("startpos") != std::string::npos) return usage();

    PositionRecord record;
    if (!parseFen(fen.c_str(), record)) {
        std::fprintf(stderr, "legal: invalid FEN \"%s\"\n", fen.c_str());
        return 1;
    }
    if (const char* problem = recordProblem(record)) {
        std::fprintf(stderr, "legal: unusable position \"%s\": %s\n", fen.c_str(), problem);
        return 1;
    }
    setFromFen(fen.c_str());
    // Generating moves where the king can be taken would take it.
    Position& pos = engineWorker().pos;
    loadCurrentPosition(pos);
    prepareRootPosition(pos, record.sideToMove & 1);
    if (pos.ownKingAttacked((record.sideToMove & 1) ^ 1)) {
        std::fprintf(stderr, "legal: unusable position \"%s\": the side not to move is in check\n", fen.c_str());
        return 1;
    }
    bool inCheck = false;
    int count = currentLegalMoves(inCheck);

    if (movesAt != tokens.end()) {
        for (auto it = movesAt + 1; it != tokens.end(); ++it) {
            const Move move = parseMoveText(it->c_str());
            // Text beyond a promotion letter would be dropped by the parser.
            bool legal = move != 0 && it->size() <= 5;
            if (legal && it->size() == 5 && movePromotion(move) == 0) legal = false;
            bool found = false;
            for (int i = 0; legal && i < count && !found; ++i)
                found = moveOf(engineWorker().moveBuffer[i].move) == move;
            if (!found) {
                std::fprintf(stderr, "legal: illegal move \"%s\" after %d half-moves\n", it->c_str(),
                             int(it - movesAt - 1));
                return 1;
            }
            const int before = gameRecord.ply;
            if (playMove(move) == before) {
                std::fprintf(stderr, "legal: the game record holds at most %d positions\n", GameRecordSize);
                return 1;
            }
            count = currentLegalMoves(inCheck);
        }
    }

    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(lowerMoveText(moveOf(engineWorker().moveBuffer[i].move)));
    std::sort(names.begin(), names.end());
    std::string line;
    for (const std::string& name : names) line += (line.empty() ? "" : " ") + name;
    std::printf("%s\n", line.c_str());
    if (count == 0) std::printf("%s\n", inCheck ? "checkmate" : "stalemate");
    std::fflush(stdout);
    return 0;
}
