// Polyglot opening books: keys and moves of the format, and the conversion
// of a Polyglot book into a Tavik book by walking the game tree.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "board/types.h"
#include "frontend/game_record.h"

uint64_t polyglotKey(const PositionRecord& position);
// The format's move code: castling is written as the king taking its rook.
uint16_t polyglotMove(const PositionRecord& position, Move move);

// Reads a Polyglot file and fills entries (Tavik key -> weight) for every
// position within maxPly half-moves of the start position that the walk
// reaches. Returns the number of Polyglot records read, or -1 when the file
// cannot be read.
long importPolyglot(const std::string& path, int maxPly, std::unordered_map<uint64_t, int64_t>& entries);
