// The single working position. The side to move and the ply travel as
// arguments; everything else lives in these process-wide tables.
#pragma once
#include <cstdint>

#include "board/types.h"

struct SquareState {
    int32_t piece;   // PieceCode
    int32_t colour;  // Colour; NoColour exactly when piece is NoPiece
};

extern SquareState board[64];
extern int pieceList[2][16];  // entry 0: king square; 1..lastPieceIndex: the rest
extern int lastPieceIndex[2];
extern int pieceCount[16];  // colour * 8 + piece code
extern int nonPawnMaterial;
extern int psqScore[2];
extern int castleRights;  // 1 white short, 2 white long, 4 black short, 8 black long
extern int hasCastled[2];
extern int epSquare;  // 0 = none
extern int fiftyCount;
extern uint64_t hashKey;  // bit 0 is the side to move
// The same men as bit sets (bit s for square s): by colour * 8 + piece code,
// and all men together. Kept by make and unmake; rebuilt with the lists.
extern uint64_t menSet[16];
extern uint64_t occupiedSet;
// Entry of the man on each occupied square in its colour's pieceList (-1 for
// a man the list left out), so that make finds it without a search.
extern int listSlot[64];

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
extern UndoStack undoStack;

// Raw writes: they leave menSet, occupiedSet and listSlot behind, so whoever
// places men this way calls rebuildMenSets() before any attack test or move.
inline void setEmpty(Square s) { board[s] = SquareState{NoPiece, NoColour}; }
inline void putMan(Square s, int piece, int colour) { board[s] = SquareState{piece, colour}; }
inline bool isEmpty(Square s) { return board[s].colour == NoColour; }

// Empties the board and every derived global (used before loading a position).
void clearBoard();
// menSet and occupiedSet from the board, listSlot from the lists.
void rebuildMenSets();
