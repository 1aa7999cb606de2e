// Test helper: puts a FEN position straight into the board globals, without
// the game record, so board-level modules can be tested on their own.
#pragma once
#include <cctype>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/psq.h"
#include "search/ordering.h"

namespace testboard {

inline int pieceFromLetter(char c) {
    static const char letters[] = "pnbrqk";
    const char* p = c ? std::strchr(letters, std::tolower(static_cast<unsigned char>(c))) : nullptr;
    return p ? Pawn + int(p - letters) : NoPiece;
}

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
    rebuildMenSets();
    return true;
}

}  // namespace testboard

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
            const int piece = testboard::pieceFromLetter(*p);
            if (piece == NoPiece || file > 7) return -1;
            putMan(rank * 8 + file++, piece, std::isupper(static_cast<unsigned char>(*p)) ? White : Black);
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
