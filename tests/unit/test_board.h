// Test helper: puts a FEN position straight into the board globals, without
// the game record, so board-level modules can be tested on their own.
#pragma once
#include <cctype>
#include <cstring>
#include <string>

#include "board/board.h"
#include "eval/pawns.h"

namespace testboard {

inline int pieceFromLetter(char c) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'p': return Pawn;
        case 'n': return Knight;
        case 'b': return Bishop;
        case 'r': return Rook;
        case 'q': return Queen;
        case 'k': return King;
        default: return NoPiece;
    }
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
    return true;
}

}  // namespace testboard

// Square from its name, e.g. sq("e4").
inline constexpr Square sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Fills board, piece lists, counters, nonPawnMaterial, castleRights, epSquare
// and the pawn sets and key from a FEN. Returns the side to move (White when
// the FEN has no side field), or -1 for a malformed board field.
inline int setupPosition(const char* fen, bool keepPawnCache = false) {
    clearBoard();
    int rank = 7;
    int file = 0;
    const char* p = fen;
    for (; *p && *p != ' '; ++p) {
        const char c = *p;
        if (c == '/') {
            if (--rank < 0) return -1;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            const int piece = testboard::pieceFromLetter(c);
            if (piece == NoPiece || file > 7) return -1;
            putMan(rank * 8 + file, piece, std::isupper(static_cast<unsigned char>(c)) ? White : Black);
            ++file;
        }
    }
    if (!testboard::rebuildDerived(keepPawnCache)) return -1;

    int side = White;
    while (*p == ' ') ++p;
    if (*p == 'b') side = Black;
    while (*p && *p != ' ') ++p;
    while (*p == ' ') ++p;
    for (; *p && *p != ' '; ++p) {
        if (*p == 'K') castleRights |= WhiteShort;
        if (*p == 'Q') castleRights |= WhiteLong;
        if (*p == 'k') castleRights |= BlackShort;
        if (*p == 'q') castleRights |= BlackLong;
    }
    while (*p == ' ') ++p;
    if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8') epSquare = (p[1] - '1') * 8 + (p[0] - 'a');
    return side;
}

// The same position seen from the other side: ranks reversed, colours and
// side to move exchanged (castling and en passant are dropped).
inline std::string mirrorFen(const std::string& fen) {
    const std::string placement = fen.substr(0, fen.find(' '));
    std::string ranks[8];
    int r = 0;
    for (char c : placement) {
        if (c == '/') {
            ++r;
        } else if (r < 8) {
            ranks[r] += std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c));
        }
    }
    std::string out;
    for (int i = 7; i >= 0; --i) {
        out += ranks[i];
        if (i) out += '/';
    }
    const size_t sidePos = fen.find(' ');
    const bool blackToMove = sidePos != std::string::npos && fen.compare(sidePos + 1, 1, "b") == 0;
    out += blackToMove ? " w - -" : " b - -";
    return out;
}
