// The front end's own record of the game: one position per half-move with
// its key, the engine's score there and the move played from it.
#pragma once
#include <cstdint>
#include <string>

#include "board/board.h"
#include "board/types.h"

struct PositionRecord {
    char board[64];  // "PNBRQK"/"pnbrqk", ' ' empty; index 0 = a1
    int32_t whiteShort;
    int32_t whiteLong;
    int32_t blackShort;
    int32_t blackLong;
    int32_t sideToMove;
    int32_t epSquare;
    int16_t whiteCastled;
    int16_t blackCastled;
    int32_t halfMoves;

    bool operator==(const PositionRecord&) const = default;
};

constexpr int GameRecordSize = 2048;

struct GameRecord {
    int32_t ply;
    PositionRecord positions[GameRecordSize];
    uint64_t keys[GameRecordSize];
    int32_t scores[GameRecordSize];
    Move moves[GameRecordSize];
};

extern GameRecord gameRecord;

extern const char* const StartFen;

bool parseFen(const char* text, PositionRecord& out);
// Why the board of a record cannot be set up for a search (a side without
// exactly one king or with more than 16 men, a pawn on the first or last
// rank), or nullptr when it can.
const char* recordProblem(const PositionRecord& record);
int setFromFen(const char* text);
int playMove(Move move);
// The key loadPosition + computeHashKey would give, computed from the record
// alone so that a "position" command never touches a board being searched.
uint64_t recordKey(const PositionRecord& record);
// Copies a record into a position and the engine's side to move.
void loadPosition(const PositionRecord& record, Position& pos);
void loadCurrentPosition(Position& pos);
const uint64_t* repetitionHistory();
int previousScore();
Move recaptureMove(Move move);
Move parseMoveText(const char* text);
// Every move the engine writes goes through moveText. Promotion letters are
// upper case unless lowercasePromotions is set (the "Lowercase Promotions"
// option, for clients that accept only lower case).
extern int lowercasePromotions;
// Writes 4 or 5 characters and a terminating zero; returns out.
char* moveText(Move move, char* out);
std::string moveText(Move move);
