#include "board/board.h"

#include <cassert>

#include "board/attacks.h"
#include "board/tables.h"

namespace {

// Rights that survive a move starting or ending on each square.
constexpr int castleKeepOn(int sq) {
    switch (sq) {
        case 0: return 15 & ~WhiteLong;
        case 4: return 15 & ~(WhiteShort | WhiteLong);
        case 7: return 15 & ~WhiteShort;
        case 56: return 15 & ~BlackLong;
        case 60: return 15 & ~(BlackShort | BlackLong);
        case 63: return 15 & ~BlackShort;
        default: return 15;
    }
}

constexpr struct CastleKeepTable {
    int8_t keep[64];
    constexpr CastleKeepTable() : keep{} {
        for (int sq = 0; sq < 64; ++sq) keep[sq] = int8_t(castleKeepOn(sq));
    }
} castleKeepTable;

inline int castleKeep(int sq) { return castleKeepTable.keep[sq]; }

inline uint64_t bitOf(Square s) { return uint64_t{1} << s; }

// The rook's corner and its square beside the king after castling.
inline Square castlingRookHome(Square from, Square to) { return to > from ? to + 1 : to - 2; }
inline Square castlingRookTarget(Square from, Square to) { return to > from ? from + 1 : from - 1; }

}  // namespace

inline void Position::moveInList(int colour, Square from, Square to) {
    const int i = listSlot[from];
    assert(i >= 0 && pieceList[colour][i] == from);
    if (i >= 0) pieceList[colour][i] = to;
    listSlot[to] = i;
}

// The last entry fills the hole.
inline void Position::removeFromList(int colour, Square sq) {
    const int i = listSlot[sq];
    assert(i >= 1 && pieceList[colour][i] == sq);
    if (i < 1) return;
    const Square last = pieceList[colour][lastPieceIndex[colour]];
    pieceList[colour][i] = last;
    listSlot[last] = i;
    --lastPieceIndex[colour];
}

// Only a double step that an enemy pawn could take en passant keeps a
// target, so that otherwise equal positions share a key.
inline bool Position::createsEnPassant(Square to, int opp) const {
    return ((to & 7) != 0 && board[to - 1].piece == Pawn && board[to - 1].colour == opp) ||
           ((to & 7) != 7 && board[to + 1].piece == Pawn && board[to + 1].colour == opp);
}

bool Position::boardStateConsistent() const {
    int count[16] = {};
    int material = 0;
    for (Square s = 0; s < 64; ++s) {
        const SquareState m = board[s];
        if (m.piece == NoPiece) {
            if (m.colour != NoColour) return false;
            continue;
        }
        if ((m.colour != White && m.colour != Black) || m.piece < Pawn || m.piece > King) return false;
        ++count[m.colour * 8 + m.piece];
        if (m.piece >= Knight && m.piece <= Queen) material += pieceValue[m.piece];
    }
    if (material != nonPawnMaterial) return false;
    for (int colour = 0; colour < 2; ++colour) {
        if (count[colour * 8 + King] != 1) return false;
        const int last = lastPieceIndex[colour];
        if (last < 0 || last > 15) return false;
        const Square king = pieceList[colour][0];
        if (king < 0 || king > 63 || board[king].piece != King || board[king].colour != colour) return false;
        int men = 0;
        for (int piece = Pawn; piece <= Queen; ++piece) {
            if (count[colour * 8 + piece] != pieceCount[colour * 8 + piece]) return false;
            men += count[colour * 8 + piece];
        }
        if (men != last) return false;
        uint64_t seen = 0;
        for (int i = 1; i <= last; ++i) {
            const Square s = pieceList[colour][i];
            if (s < 0 || s > 63 || board[s].colour != colour || board[s].piece == King) return false;
            if (seen & (uint64_t{1} << s)) return false;
            seen |= uint64_t{1} << s;
        }
    }
    return true;
}

void Position::makeMove(int side, int ply, MoveEntry* entry) {
    assert(ply >= 0 && ply < MaxPly);
    const MoveWord m = entry->move;
    const Square from = moveFrom(m);
    const Square to = moveTo(m);
    const int opp = side ^ 1;
    assert(board[from].colour == side);

    undoStack.castleRights[ply] = castleRights;
    undoStack.epSquare[ply] = epSquare;
    undoStack.fiftyCount[ply] = fiftyCount;
    undoStack.psqScore[ply][0] = psqScore[0];
    undoStack.psqScore[ply][1] = psqScore[1];
    undoStack.nonPawnMaterial[ply] = nonPawnMaterial;
    undoStack.move[ply] = m;
    undoStack.key[ply] = hashKey;

    uint64_t key = hashKey;
    if (epSquare != 0) key ^= epKey[epSquare];
    ++fiftyCount;
    epSquare = 0;

    if (m & CaptureFlag) {
        fiftyCount = 0;
        Square capSq = to;
        int captured = board[to].piece;
        if (captured == NoPiece) {
            // En passant: the victim stands beside the from-square on the to-file.
            capSq = (to & 7) + (from & 56);
            captured = Pawn;
            setEmpty(capSq);
        }
        assert(captured != King);
        undoStack.capturedPiece[ply] = captured;
        undoStack.capturedSquare[ply] = capSq;
        menSet[opp * 8 + captured] ^= bitOf(capSq);
        occupiedSet ^= bitOf(capSq);
        psqScore[opp] -= psqTable[opp * 8 + captured][capSq];
        --pieceCount[opp * 8 + captured];
        if (captured == Pawn)
            removePawn(capSq, opp);
        else
            nonPawnMaterial -= pieceValue[captured];
        removeFromList(opp, capSq);
        key ^= pieceKey[opp][captured][capSq];
    }

    const int piece = board[from].piece;
    if (m & PromotionMask) {
        fiftyCount = 0;
        removePawn(from, side);
        const int promo = movePromotion(m);
        const int p = (promo == Bishop || promo == Rook || promo == Queen) ? promo : Knight;
        nonPawnMaterial += pieceValue[p];
        psqScore[side] += psqTable[side * 8 + p][to] - psqTable[side * 8 + Pawn][from];
        ++pieceCount[side * 8 + p];
        --pieceCount[side * 8 + Pawn];
        moveInList(side, from, to);
        menSet[side * 8 + Pawn] ^= bitOf(from);
        menSet[side * 8 + p] ^= bitOf(to);
        occupiedSet ^= bitOf(from) | bitOf(to);
        key ^= pieceKey[side][Pawn][from] ^ pieceKey[side][p][to];
        putMan(to, p, side);
        setEmpty(from);
    } else {
        if (m & CastleFlag) {
            const Square rookFrom = castlingRookHome(from, to);
            const Square rookTo = castlingRookTarget(from, to);
            moveInList(side, rookFrom, rookTo);
            setEmpty(rookFrom);
            putMan(rookTo, Rook, side);
            menSet[side * 8 + Rook] ^= bitOf(rookFrom) | bitOf(rookTo);
            occupiedSet ^= bitOf(rookFrom) | bitOf(rookTo);
            psqScore[side] += psqTable[side * 8 + Rook][rookTo] - psqTable[side * 8 + Rook][rookFrom];
            hasCastled[side] = 1;
            key ^= pieceKey[side][Rook][rookFrom] ^ pieceKey[side][Rook][rookTo];
        }
        if (piece == Pawn) {
            removePawn(from, side);
            addPawn(to, side);
            if (!(m & CaptureFlag)) {
                fiftyCount = 0;
                if (distance[from][to] == 2 && createsEnPassant(to, opp)) {
                    epSquare = (from + to) / 2;
                    key ^= epKey[epSquare];
                }
            }
        }
        moveInList(side, from, to);
        setEmpty(from);
        putMan(to, piece, side);
        menSet[side * 8 + piece] ^= bitOf(from) | bitOf(to);
        occupiedSet ^= bitOf(from) | bitOf(to);
        psqScore[side] += psqTable[side * 8 + piece][to] - psqTable[side * 8 + piece][from];
        key ^= pieceKey[side][piece][from] ^ pieceKey[side][piece][to];
    }

    if (castleRights != 0) {
        const int rights = castleRights & castleKeep(from) & castleKeep(to);
        if (rights != castleRights) {
            key ^= castleKey[castleRights] ^ castleKey[rights];
            castleRights = rights;
        }
    }

    hashKey = (key & ~uint64_t{1}) | uint64_t(opp);

    const int gives = side == Black ? isAttackedByBlack(pieceList[White][0]) : isAttackedByWhite(pieceList[Black][0]);
    if (gives) entry->move |= CheckFlag;

    assert(boardStateConsistent());
}

void Position::reorderAsAfterCapture(int side, MoveWord m) {
    if (!(m & CaptureFlag)) return;
    const int opp = side ^ 1;
    const Square to = moveTo(m);
    const Square victim = board[to].colour == opp ? to : (to & 7) + (moveFrom(m) & 56);  // else en passant
    const int i = listSlot[victim], last = lastPieceIndex[opp];
    assert(i >= 1 && pieceList[opp][i] == victim);
    // Make fills the victim's hole with the last man; unmake appends the victim.
    const Square moved = pieceList[opp][last];
    pieceList[opp][i] = moved;
    listSlot[moved] = i;
    pieceList[opp][last] = victim;
    listSlot[victim] = last;
}

int Position::fiftyCountAfter(Move m) const {
    const SquareState mover = board[moveFrom(m)];
    // Captures (en passant among them) and pawn moves start the count afresh.
    if (mover.piece == Pawn || board[moveTo(m)].colour == (mover.colour ^ 1)) return 0;
    return fiftyCount + 1;
}

uint64_t Position::keyAfterMove(int side, Move m) const {
    const Square from = moveFrom(m), to = moveTo(m);
    const int opp = side ^ 1;
    const int piece = board[from].piece;
    uint64_t key = hashKey;
    if (epSquare != 0) key ^= epKey[epSquare];
    const SquareState victim = board[to];
    if (victim.colour == opp)
        key ^= pieceKey[opp][victim.piece][to];
    else if (piece == Pawn && ((from ^ to) & 7) != 0)
        key ^= pieceKey[opp][Pawn][(to & 7) + (from & 56)];
    const int promo = movePromotion(m);
    if (promo != 0) {
        const int p = (promo == Bishop || promo == Rook || promo == Queen) ? promo : Knight;
        key ^= pieceKey[side][Pawn][from] ^ pieceKey[side][p][to];
    } else {
        key ^= pieceKey[side][piece][from] ^ pieceKey[side][piece][to];
        if (piece == Pawn && victim.colour == NoColour && distance[from][to] == 2 && createsEnPassant(to, opp))
            key ^= epKey[(from + to) / 2];
        // Only from the e-file: a table move from another position must not
        // send the rook lookup off the board.
        if (piece == King && (from & 7) == 4 && (from - to == 2 || to - from == 2))
            key ^= pieceKey[side][Rook][castlingRookHome(from, to)] ^ pieceKey[side][Rook][castlingRookTarget(from, to)];
    }
    if (castleRights != 0) key ^= castleKey[castleRights] ^ castleKey[castleRights & castleKeep(from) & castleKeep(to)];
    return (key & ~uint64_t{1}) | uint64_t(opp);
}

void Position::unmakeMove(int ply) {
    assert(ply >= 0 && ply < MaxPly);
    const MoveWord m = undoStack.move[ply];
    const Square from = moveFrom(m);
    const Square to = moveTo(m);
    castleRights = undoStack.castleRights[ply];
    epSquare = undoStack.epSquare[ply];
    fiftyCount = undoStack.fiftyCount[ply];
    psqScore[0] = undoStack.psqScore[ply][0];
    psqScore[1] = undoStack.psqScore[ply][1];
    nonPawnMaterial = undoStack.nonPawnMaterial[ply];
    hashKey = undoStack.key[ply];
    const int side = board[to].colour;
    assert(side == White || side == Black);
    const int opp = side ^ 1;

    if (m & PromotionMask) {
        ++pieceCount[side * 8 + Pawn];
        --pieceCount[side * 8 + board[to].piece];
        menSet[side * 8 + Pawn] ^= bitOf(from);
        menSet[side * 8 + board[to].piece] ^= bitOf(to);
        occupiedSet ^= bitOf(from) | bitOf(to);
        moveInList(side, to, from);
        setEmpty(to);
        putMan(from, Pawn, side);
        addPawn(from, side);
    } else {
        const int piece = board[to].piece;
        if (m & CastleFlag) {
            const Square rookAt = castlingRookTarget(from, to);
            const Square rookHome = castlingRookHome(from, to);
            moveInList(side, rookAt, rookHome);
            setEmpty(rookAt);
            putMan(rookHome, Rook, side);
            menSet[side * 8 + Rook] ^= bitOf(rookAt) | bitOf(rookHome);
            occupiedSet ^= bitOf(rookAt) | bitOf(rookHome);
            hasCastled[side] = 0;
        }
        if (piece == Pawn) {
            addPawn(from, side);
            removePawn(to, side);
        }
        moveInList(side, to, from);
        setEmpty(to);
        putMan(from, piece, side);
        menSet[side * 8 + piece] ^= bitOf(from) | bitOf(to);
        occupiedSet ^= bitOf(from) | bitOf(to);
    }

    // The mover is back first, so an en-passant victim lands on an empty square.
    if (m & CaptureFlag) {
        const int captured = undoStack.capturedPiece[ply];
        const Square capSq = undoStack.capturedSquare[ply];
        if (captured == Pawn) addPawn(capSq, opp);
        ++pieceCount[opp * 8 + captured];
        assert(lastPieceIndex[opp] < 15);
        pieceList[opp][++lastPieceIndex[opp]] = capSq;
        listSlot[capSq] = lastPieceIndex[opp];
        putMan(capSq, captured, opp);
        menSet[opp * 8 + captured] ^= bitOf(capSq);
        occupiedSet ^= bitOf(capSq);
    }

    assert(boardStateConsistent());
}

uint64_t Position::keyAfterNullMove(int side) const {
    const uint64_t key = epSquare != 0 ? hashKey ^ epKey[epSquare] : hashKey;
    return (key & ~uint64_t{1}) | uint64_t(side ^ 1);
}

void Position::makeNullMove(int side, int ply) {
    assert(ply >= 0 && ply < MaxPly);
    undoStack.key[ply] = hashKey;
    undoStack.epSquare[ply] = epSquare;
    undoStack.move[ply] = 0;
    ++fiftyCount;
    hashKey = keyAfterNullMove(side);
    epSquare = 0;
}

void Position::unmakeNullMove(int ply) {
    assert(ply >= 0 && ply < MaxPly);
    epSquare = undoStack.epSquare[ply];
    hashKey = undoStack.key[ply];
    --fiftyCount;
}

int Position::isRepetition(int ply) const { return isRepetitionOf(hashKey, ply, fiftyCount); }

int Position::isRepetitionOf(uint64_t key, int ply, int fifty) const {
    for (int p = ply - 2; p >= 0 && p >= ply - fifty; p -= 2)
        if (undoStack.key[p] == key) return 1;
    // The reversible stretch reaches back before the root: the game decides.
    if (ply <= fifty)
        for (const uint64_t* k = gameKeyList; k && k < gameKeyListEnd; ++k)
            if (*k == key) return 1;
    return 0;
}

void Position::rebuildPieceLists() {
    for (int& c : pieceCount) c = 0;
    lastPieceIndex[White] = lastPieceIndex[Black] = 0;
    psqScore[White] = psqScore[Black] = 0;
    nonPawnMaterial = 0;
    for (Square s = 0; s < 64; ++s) {
        const SquareState m = board[s];
        if (m.piece == NoPiece) continue;
        ++pieceCount[m.colour * 8 + m.piece];
        if (m.piece == King) {
            pieceList[m.colour][0] = s;
        } else if (lastPieceIndex[m.colour] < 15) {
            pieceList[m.colour][++lastPieceIndex[m.colour]] = s;
            if (m.piece != Pawn) nonPawnMaterial += pieceValue[m.piece];
        }
    }
    whitePawns = blackPawns = 0;
    pawnHashKey = 0;
    for (Square s = 0; s < 64; ++s)
        if (board[s].piece == Pawn) addPawn(s, board[s].colour);
    rebuildMenSets();
}

void Position::sumPsqScore() {
    psqScore[White] = psqScore[Black] = 0;
    for (Square s = 0; s < 64; ++s) {
        const SquareState m = board[s];
        if (m.piece != NoPiece) psqScore[m.colour] += psqTable[m.colour * 8 + m.piece][s];
    }
}

void Position::addPawn(Square square, int colour) {
    assert(square >= 0 && square < 64 && (colour == White || colour == Black));
    uint64_t& set = colour == White ? whitePawns : blackPawns;
    assert(!(set & bitOf(square)));
    set |= bitOf(square);
    pawnHashKey ^= pawnKey[colour][square];
}

void Position::removePawn(Square square, int colour) {
    assert(square >= 0 && square < 64 && (colour == White || colour == Black));
    uint64_t& set = colour == White ? whitePawns : blackPawns;
    assert(set & bitOf(square));
    set &= ~bitOf(square);
    pawnHashKey ^= pawnKey[colour][square];
}
