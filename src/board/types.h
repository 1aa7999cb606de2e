// Basic codes shared by every subsystem: squares, men, moves and scores.
#pragma once
#include <cstdint>

using Square = int;  // a1 = 0 .. h8 = 63; file = sq & 7, rank = sq >> 3

enum PieceCode : int {
    NoPiece = 0,
    Pawn = 1,
    Knight = 2,
    Bishop = 3,
    Rook = 4,
    Queen = 5,
    King = 6,
    BlackPawnType = 7  // move-table type of a black pawn only
};

enum Colour : int { White = 0, Black = 1, NoColour = 2 };

constexpr int MaxPly = 64;

extern const int pieceValue[8];

inline constexpr int fileOf(Square s) { return s & 7; }
inline constexpr int rankOf(Square s) { return s >> 3; }

// Move: from bits 0-5, to bits 6-11, promotion piece bits 12-14.
using Move = uint32_t;
using MoveWord = uint32_t;

constexpr MoveWord CaptureFlag = 0x10000;
constexpr MoveWord CheckFlag = 0x20000;
constexpr MoveWord CastleFlag = 0x80000;
constexpr MoveWord SeventhRankFlag = 0x100000;
constexpr MoveWord EnPassantFlag = 0x200000;
constexpr MoveWord TacticalMask = 0x197000;
constexpr MoveWord PromotionMask = 0x7000;

inline constexpr Square moveFrom(MoveWord m) { return m & 63; }
inline constexpr Square moveTo(MoveWord m) { return (m >> 6) & 63; }
inline constexpr int movePromotion(MoveWord m) { return (m >> 12) & 7; }
inline constexpr Move moveOf(MoveWord m) { return m & 0xFFFF; }
inline constexpr Move makeMoveCode(Square from, Square to, int promotion = 0) {
    return Move(from | (to << 6) | (promotion << 12));
}

struct MoveEntry {
    int32_t score;
    MoveWord move;
};

// Scores, centipawns from the side to move's view.
constexpr int InfiniteScore = 30000;
constexpr int NoScore = -30000;
constexpr int MateBase = 29999;
constexpr int MateThreshold = 28000;
constexpr int NoStoredScore = 32000;
