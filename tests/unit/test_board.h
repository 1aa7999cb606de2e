// Test helper: puts a FEN position straight into the board globals, without
// the game record, so board-level modules can be tested on their own.
#pragma once
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/psq.h"
#include "search/ordering.h"

namespace testboard {


// Lists in square order with the king at entry 0, counters, material and
// pawn sets, as the root rebuild leaves them. keepPawnCache leaves the cached
// pawn entries in place (to test the cache across positions).
// Returns false when a side has more than 15 men besides its king.
inline bool rebuildDerived(bool keepPawnCache = false) {
    std::memset(pieceList, 0, sizeof pieceList);
    std::memset(lastPieceIndex, 0, sizeof lastPieceIndex);
    std::memset(pieceCount, 0, sizeof pieceCount);
    nonPawnMaterial = 0;
    if (keepPawnCache) {
        pawnHash.whitePawns = pawnHash.blackPawns = pawnHash.allPawns = 0;
        pawnHash.pawnHashKey = 0;
    } else {
        clearPawnHash();
    }
    for (int s = 0; s < 64; ++s) {
        const SquareState man = board[s];
        if (man.colour == NoColour) continue;
        if (man.piece == King) {
            pieceList[man.colour][0] = s;
        } else {
            if (lastPieceIndex[man.colour] == 15) return false;
            pieceList[man.colour][++lastPieceIndex[man.colour]] = s;
        }
        ++pieceCount[man.colour * 8 + man.piece];
        if (man.piece >= Knight && man.piece <= Queen) nonPawnMaterial += pieceValue[man.piece];
        if (man.piece == Pawn) addPawn(s, man.colour);
    }
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
inline int setupPosition(const char* fen, bool keepPawnCache = false) {
    clearBoard();
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
            putMan(rank * 8 + file++, Pawn + int(letter - letters), colour);
        }
    }
    if (!testboard::rebuildDerived(keepPawnCache)) return -1;
    while (*p == ' ') ++p;
    const int side = *p == 'b' ? Black : White;
    while (*p && *p != ' ') ++p;
    while (*p == ' ') ++p;
    static const char rights[] = "KQkq";  // WhiteShort, WhiteLong, BlackShort, BlackLong
    for (; *p && *p != ' '; ++p)
        if (const char* r = std::strchr(rights, *p)) castleRights |= 1 << int(r - rights);
    while (*p == ' ') ++p;
    if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8') epSquare = (p[1] - '1') * 8 + (p[0] - 'a');
    return side;
}

// Tables built once per suite; every test starts with empty ordering tables
// and may scribble on psqTable, which is put back afterwards.
class BoardFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initPawnHash();
        initTables();
    }
    void SetUp() override {
        std::memcpy(savedPsq_, psqTable, sizeof psqTable);
        clearOrderingTables();
    }
    void TearDown() override { std::memcpy(psqTable, savedPsq_, sizeof psqTable); }

private:
    int savedPsq_[16][64];
};
