#include "board/attacks.h"

#include <cassert>
#include <cstring>

#include "board/board.h"
#include "board/tables.h"

const uint32_t attackWeight[8] = {0, 0x10000000, 0x01000000, 0x00100000, 0x00010000, 0x1000, 0x100, 0};
const int sliderFlag[8] = {0, 0, 0, 1, 1, 1, 0, 0};

AttackTable attackTables[MaxPly][2];
int attackCacheValid[MaxPly];

namespace {


// Adds unit to every square on the rays of Type from `from`. Behind an own man
// whose piece bit is in xrayPieces the ray goes on with count-only x-ray
// attacks, up to and including the next occupied square.
template <int Type>
inline void addSliderAttacks(uint32_t* table, Square from, uint32_t unit, int colour, unsigned xrayPieces) {
    const uint8_t* next = nextSquare[Type][from];
    const uint8_t* jump = nextDirection[Type][from];
    int s = next[from];
    while (s != from) {
        table[s] += unit;
        const SquareState man = board[s];
        if (man.colour == NoColour) {
            s = next[s];
            continue;
        }
        if (man.colour == colour && ((xrayPieces >> man.piece) & 1u)) {
            // A square's successor is on the same ray exactly when the two tables differ there.
            int x = s;
            while (next[x] != jump[x]) {
                x = next[x];
                table[x] += 1;
                if (board[x].colour != NoColour) break;
            }
        }
        s = jump[s];
    }
}

// Leapers and pawns attack every square of their nextDirection chain.
inline void addChainAttacks(uint32_t* table, int type, Square from, uint32_t unit) {
    const uint8_t* jump = nextDirection[type][from];
    for (int s = jump[from]; s != from; s = jump[s]) table[s] += unit;
}

inline bool chainHolds(int type, Square from, int piece, int colour) {
    const uint8_t* jump = nextDirection[type][from];
    for (int s = jump[from]; s != from; s = jump[s])
        if (board[s].piece == piece && board[s].colour == colour) return true;
    return false;
}

// First man met on each ray of Type decides: a slider of `colour` that is
// `piece` or a queen attacks the origin.
template <int Type>
inline bool sliderHolds(Square from, int piece, int colour) {
    const uint8_t* next = nextSquare[Type][from];
    const uint8_t* jump = nextDirection[Type][from];
    int s = next[from];
    while (s != from) {
        const SquareState man = board[s];
        if (man.colour == NoColour) {
            s = next[s];
            continue;
        }
        if (man.colour == colour && (man.piece == piece || man.piece == Queen)) return true;
        s = jump[s];
    }
    return false;
}

int isAttackedBy(int colour, Square square) {
    const int* count = &pieceCount[colour * 8];
    // Squares from which an enemy pawn would hit `square` are the capture
    // squares of a pawn of our colour standing there.
    if (chainHolds(moveTypeOf[colour ^ 1][Pawn], square, Pawn, colour)) return 1;
    if (count[Knight] && chainHolds(Knight, square, Knight, colour)) return 1;
    if ((count[Bishop] || count[Queen]) && sliderHolds<Bishop>(square, Bishop, colour)) return 1;
    if ((count[Rook] || count[Queen]) && sliderHolds<Rook>(square, Rook, colour)) return 1;
    return 0;
}

}  // namespace

void computeAttacks(int colour, AttackTable& table) {
    assert(colour == White || colour == Black);
    std::memset(table, 0, sizeof table);

    // The enemy king must not shelter the squares behind it from a slider,
    // or a checked king could step back along the checking line.
    const Square enemyKing = pieceList[colour ^ 1][0];
    const int savedColour = board[enemyKing].colour;
    board[enemyKing].colour = NoColour;

    for (int i = lastPieceIndex[colour]; i >= 0; --i) {
        const Square from = pieceList[colour][i];
        const int piece = board[from].piece;
        assert(board[from].colour == colour && piece >= Pawn && piece <= King);
        const uint32_t unit = attackWeight[piece] + 1;
        switch (piece) {
            case Queen:
                addSliderAttacks<Rook>(table, from, unit, colour, (1u << Rook) | (1u << Queen));
                addSliderAttacks<Bishop>(table, from, unit, colour, 1u << Queen);
                break;
            case Rook:
                addSliderAttacks<Rook>(table, from, unit, colour, (1u << Rook) | (1u << Queen));
                break;
            case Bishop:
                addSliderAttacks<Bishop>(table, from, unit, colour, 1u << Queen);
                break;
            case Pawn:
            case Knight:
            case King:
                addChainAttacks(table, moveTypeOf[colour][piece], from, unit);
                break;
            default:
                break;
        }
    }

    // A lone checking slider is counted once at the king: the x-rays behind
    // it say nothing about the king's square.
    const uint32_t word = table[enemyKing];
    if ((word & CountMask) > 1) {
        const uint32_t kinds = word & ~CountMask;
        if (kinds == 0x100000 || kinds == 0x10000 || kinds == 0x1000) table[enemyKing] = kinds + 1;
    }

    board[enemyKing].colour = savedColour;
}

void ensureAttackTables(int ply) {
    assert(ply >= 0 && ply < MaxPly);
    if (attackCacheValid[ply]) return;
    computeAttacks(White, attackTables[ply][White]);
    computeAttacks(Black, attackTables[ply][Black]);
    attackCacheValid[ply] = 1;
}

int isAttackedByWhite(Square square) {
    assert(square >= 0 && square < 64);
    return isAttackedBy(White, square);
}

int isAttackedByBlack(Square square) {
    assert(square >= 0 && square < 64);
    return isAttackedBy(Black, square);
}

int staticExchange(int score, int target, uint32_t ours, uint32_t theirs) {
    // Every attacker is also in the count byte, so a zero count means no
    // attacker even if a malformed word has a field set.
    if ((ours & CountMask) == 0) return score;
    const int next = -(score + target);
    auto better = [score](int reply) { return reply > score ? reply : score; };
    // A pawn capture never loses material before the recapture, so it is always made.
    if (ours & PawnField) return -staticExchange(next, 100, theirs, ours - 0x10000001);
    if (ours & KnightField) return better(-staticExchange(next, 330, theirs, ours - 0x1000001));
    if (ours & BishopField) return better(-staticExchange(next, 350, theirs, ours - 0x100001));
    if (ours & RookField) return better(-staticExchange(next, 520, theirs, ours - 0x10001));
    if (ours & QueenField) return better(-staticExchange(next, 1040, theirs, ours - 0x1001));
    if (ours & KingField) return theirs != 0 ? score : score + target;
    // Only x-ray counts are left; the hidden attacker is assumed to be a queen.
    return better(-staticExchange(next, 1040, theirs, ours - 1));
}
