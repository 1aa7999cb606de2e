// Test helper: puts a FEN position straight into a position, without the
// game record, so board-level modules can be tested on their own.
#pragma once
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/tables.h"
#include "eval/psq.h"
#include "search/search.h"

namespace testboard {


// Lists in square order with the king at entry 0, counters, material and
// pawn sets, as the root rebuild leaves them.
// Returns false when a side has more than 15 men besides its king.
inline bool rebuildDerived(Position& pos) {
    std::memset(pos.pieceList, 0, sizeof pos.pieceList);
    std::memset(pos.lastPieceIndex, 0, sizeof pos.lastPieceIndex);
    std::memset(pos.pieceCount, 0, sizeof pos.pieceCount);
    pos.nonPawnMaterial = 0;
    pos.whitePawns = pos.blackPawns = 0;
    pos.pawnHashKey = 0;
    for (int s = 0; s < 64; ++s) {
        const SquareState man = pos.board[s];
        if (man.colour == NoColour) continue;
        if (man.piece == King) {
            pos.pieceList[man.colour][0] = s;
        } else {
            if (pos.lastPieceIndex[man.colour] == 15) return false;
            pos.pieceList[man.colour][++pos.lastPieceIndex[man.colour]] = s;
        }
        ++pos.pieceCount[man.colour * 8 + man.piece];
        if (man.piece >= Knight && man.piece <= Queen) pos.nonPawnMaterial += pieceValue[man.piece];
        if (man.piece == Pawn) pos.addPawn(s, man.colour);
    }
    pos.rebuildMenSets();
    return true;
}

}  // namespace testboard

// Rows of a table under tests/data: fields split on '|' and trimmed; blank
// lines and '#' comments skipped.
using DataRow = std::vector<std::string>;
inline std::vector<DataRow> dataRows(const char* name) {
    std::ifstream in(std::string(TAVIK_TEST_DATA) + "/" + name);
    std::vector<DataRow> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
        rows.emplace_back();
        std::istringstream fields(line + '|');  // a trailing empty field counts too
        for (std::string f; std::getline(fields, f, '|');) {
            const size_t a = f.find_first_not_of(' ');
            rows.back().push_back(a == std::string::npos ? "" : f.substr(a, f.find_last_not_of(' ') + 1 - a));
        }
    }
    EXPECT_FALSE(rows.empty()) << "no rows in " << name;
    return rows;
}
// Castling rights from their letters ("KQkq", "-": none).
inline int rightsFromLetters(const std::string& letters) {
    int rights = 0;
    for (char c : letters) rights |= c == 'K' ? 1 : c == 'Q' ? 2 : c == 'k' ? 4 : c == 'q' ? 8 : 0;
    return rights;
}
// A number field: decimal, or hex with 0x.
inline long long num(const std::string& field) { return std::stoll(field, nullptr, 0); }

// Square from its name, e.g. sq("e4").
inline constexpr Square sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Coordinate name of a move, e.g. "e2e4" or "a7a8q".
inline std::string moveName(MoveWord m) {
    std::string s = {char('a' + fileOf(moveFrom(m))), char('1' + rankOf(moveFrom(m))), char('a' + fileOf(moveTo(m))),
                     char('1' + rankOf(moveTo(m)))};
    if (movePromotion(m)) s += " nbrq"[movePromotion(m) - 1];
    return s;
}

// Fills board, piece lists, counters, nonPawnMaterial, castleRights, epSquare
// and the pawn sets and key from a FEN. Returns the side to move (White when
// the FEN has no side field), or -1 for a malformed board field.
inline int setupPosition(Position& pos, const char* fen) {
    pos.clearBoard();
    int rank = 7, file = 0;
    const char* p = fen;
    for (; *p && *p != ' '; ++p) {
        if (*p == '/') {
            if (--rank < 0) return -1;
            file = 0;
        } else if (*p >= '1' && *p <= '8') {
            file += *p - '0';
        } else {
            static const char letters[] = "pnbrqk";
            const char* letter = std::strchr(letters, std::tolower(static_cast<unsigned char>(*p)));
            if (!letter || file > 7) return -1;
            const int colour = std::isupper(static_cast<unsigned char>(*p)) ? White : Black;
            pos.putMan(rank * 8 + file++, Pawn + int(letter - letters), colour);
        }
    }
    if (!testboard::rebuildDerived(pos)) return -1;
    while (*p == ' ') ++p;
    const int side = *p == 'b' ? Black : White;
    while (*p && *p != ' ') ++p;
    while (*p == ' ') ++p;
    static const char rights[] = "KQkq";  // WhiteShort, WhiteLong, BlackShort, BlackLong
    for (; *p && *p != ' '; ++p)
        if (const char* r = std::strchr(rights, *p)) pos.castleRights |= 1 << int(r - rights);
    while (*p == ' ') ++p;
    if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8') pos.epSquare = (p[1] - '1') * 8 + (p[0] - 'a');
    return side;
}

// Every test gets a fresh search worker, so nothing one test leaves behind
// reaches the next.
class BoardFixture : public ::testing::Test {
protected:
    std::unique_ptr<SearchWorker> worker_ = std::make_unique<SearchWorker>();
    SearchWorker& worker = *worker_;
    Position& pos = worker.pos;
    Evaluator& ev = worker.eval;
    MoveOrdering& ordering = worker.ordering;
};
