// Pieces shared by the book commands.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "board/types.h"
#include "frontend/game_record.h"
#include "search/alphabeta.h"

// Legal moves of the game record's current position; out holds
// MaxGeneratedMoves + 1 entries.
int currentLegalMoves(Move* out);
// Writes the entries in the book's order; the count written, or -1 when the
// file cannot be written. The book is written under "<path>.part" and renamed,
// so a failed write leaves any earlier book in place and no partial file.
long writeBook(const std::string& path, const std::unordered_map<uint64_t, int64_t>& entries);

// Whether a pawn of the side to move can take on the record's en-passant
// square, the only case in which a move of the game records one.
bool enPassantUsable(const PositionRecord& record);
// Sets the game record to a FEN with the en-passant square a move would have
// recorded: GUIs write it after every double step, but only a usable one is
// part of the position's key. Returns false for an unreadable FEN; dropped is
// the square removed, or 0.
bool setBookPosition(const char* fen, Square& dropped);
