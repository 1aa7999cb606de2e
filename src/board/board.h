// The working position: everything that describes it and changes with make
// and unmake. The side to move and the ply travel as arguments.
#pragma once
#include <cstdint>

#include "board/attacks.h"
#include "board/types.h"

struct SquareState {
    int32_t piece;   // PieceCode
    int32_t colour;  // Colour; NoColour exactly when piece is NoPiece
};

constexpr int WhiteShort = 1, WhiteLong = 2, BlackShort = 4, BlackLong = 8;

// Move-table type of a man: a black pawn walks the other way.
extern const int moveTypeOf[2][8];

struct UndoStack {
    int castleRights[MaxPly];
    int epSquare[MaxPly];
    int fiftyCount[MaxPly];
    int psqScore[MaxPly][2];
    int nonPawnMaterial[MaxPly];
    MoveWord move[MaxPly];
    uint64_t key[MaxPly];
    int capturedPiece[MaxPly];
    int capturedSquare[MaxPly];
};

struct Position {
    SquareState board[64];
    int pieceList[2][16];  // entry 0: king square; 1..lastPieceIndex: the rest
    int lastPieceIndex[2];
    int pieceCount[16];  // colour * 8 + piece code
    int nonPawnMaterial;
    int psqScore[2];
    int castleRights;  // 1 white short, 2 white long, 4 black short, 8 black long
    int hasCastled[2];
    int epSquare;  // 0 = none
    int fiftyCount;
    uint64_t hashKey;  // bit 0 is the side to move
    // The same men as bit sets (bit s for square s): by colour * 8 + piece
    // code, and all men together. Kept by make and unmake; rebuilt with the lists.
    uint64_t menSet[16];
    uint64_t occupiedSet;
    // Entry of the man on each occupied square in its colour's pieceList (-1
    // for a man the list left out), so that make finds it without a search.
    int listSlot[64];
    // The pawns of each colour and their key, for the pawn-structure cache.
    uint64_t whitePawns;
    uint64_t blackPawns;
    uint32_t pawnHashKey;
    UndoStack undoStack;
    // Keys of the game positions since the last irreversible move, set by the
    // search driver before each search.
    const uint64_t* gameKeyList;
    const uint64_t* gameKeyListEnd;
    // Piece-square values including material, built for the root position;
    // make and unmake keep psqScore from them.
    int psqTable[16][64];  // [colour * 8 + piece][square]
    // Both colours' attack maps per ply, built when a node first needs them
    // and valid until the node's next make; with the key they were built for.
    AttackTable attackTables[MaxPly][2];  // [ply][colour]
    int attackCacheValid[MaxPly];
    uint64_t attackTableKey[MaxPly];
    // Squares that answer a single check, marked with evasionStamp by the generator.
    uint32_t evasionMark[64];
    uint32_t evasionStamp;

    // Raw writes: they leave menSet, occupiedSet and listSlot behind, so whoever
    // places men this way calls rebuildMenSets() before any attack test or move.
    void setEmpty(Square s) { board[s] = SquareState{NoPiece, NoColour}; }
    void putMan(Square s, int piece, int colour) { board[s] = SquareState{piece, colour}; }
    bool isEmpty(Square s) const { return board[s].colour == NoColour; }

    // Empties the board and every derived field (used before loading a position).
    void clearBoard();
    // menSet and occupiedSet from the board, listSlot from the lists.
    void rebuildMenSets();
    // Lists, counts, material, pawn sets and key, and the bit sets from the board.
    void rebuildPieceLists();
    // Board, piece lists, counts and material agree (checked by asserts and tests).
    bool boardStateConsistent() const;
    void sumPsqScore();
    uint64_t computeHashKey(int side) const;
    void addPawn(Square square, int colour);
    void removePawn(Square square, int colour);

    void makeMove(int side, int ply, MoveEntry* entry);
    void unmakeMove(int ply);
    void makeNullMove(int side, int ply);
    void unmakeNullMove(int ply);
    int isRepetition(int ply) const;
    // The same test for a position at ply with the given key and fifty-move count.
    int isRepetitionOf(uint64_t key, int ply, int fifty) const;
    // The key makeMove would produce for side's move m, read from the board
    // alone. Any 16-bit code is safe to pass, legal or not.
    uint64_t keyAfterMove(int side, Move m) const;
    // A make and unmake of a capture leave the victim last in its colour's list;
    // this applies that reordering alone, for code that skips the make.
    void reorderAsAfterCapture(int side, MoveWord m);
    // The fifty-move count makeMove would leave after m.
    int fiftyCountAfter(Move m) const;
    // The key makeNullMove will give the position.
    uint64_t keyAfterNullMove(int side) const;

    void computeAttacks(int colour, AttackTable& table) const;
    // Builds both colours' tables of a ply and marks them valid.
    void buildAttackTables(int ply);
    // Computes both colours' tables of a ply unless already valid.
    void ensureAttackTables(int ply) {
        if (!attackCacheValid[ply]) buildAttackTables(ply);
    }
    int isAttackedByWhite(Square square) const;
    int isAttackedByBlack(Square square) const;
    // Did emptying `vacated` open a line of the attacker's sliders onto `target`?
    bool lineOpenedOnto(int attacker, Square target, Square vacated) const;
    // True when side's king stands attacked by the opponent's men or king: the
    // test the search applies after make to drop an illegal move.
    bool ownKingAttacked(int side) const;

private:
    int isAttackedBy(int colour, Square square) const;
    bool clearLineFrom(uint64_t candidates, Square square) const;
    void moveInList(int colour, Square from, Square to);
    void removeFromList(int colour, Square sq);
    bool createsEnPassant(Square to, int opp) const;
};
