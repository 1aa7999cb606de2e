// Pieces shared by the book commands.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "board/types.h"
#include "search/alphabeta.h"

// Legal moves of the game record's current position; out holds
// MaxGeneratedMoves + 1 entries.
int currentLegalMoves(Move* out);
// Writes the entries in the book's order; the count written, or -1 when the
// file cannot be written.
long writeBook(const std::string& path, const std::unordered_map<uint64_t, int64_t>& entries);
