// Reads games from PGN text as GUIs and databases write it, keeping the main
// line's moves in SAN and the tags a book builder needs.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "board/types.h"
#include "frontend/game_record.h"

struct PgnGame {
    std::vector<std::string> moves;  // main line, SAN without check marks or annotations
    std::string result;              // termination marker, else the Result tag
    std::string fen;                 // FEN tag
    bool setUp = false;              // SetUp "1" or a FEN tag
    bool otherVariant = false;       // a Variant tag other than standard chess
    bool malformed = false;          // text the reader could not make sense of
    bool nullMove = false;           // the main line stops at a null move ("--")
};

class PgnReader {
public:
    // Skips a UTF-8 byte-order mark.
    explicit PgnReader(std::FILE* file);
    // The next game; false at the end of the file.
    bool next(PgnGame& game);

private:
    int get();
    void unget(int c);
    void skipLine();
    void readTag(PgnGame& game);
    bool skipComment();
    bool takeToken(const std::string& token, PgnGame& game, int depth);

    std::FILE* file_;
    std::string pushed_;     // read ahead, the next character last
    long start_;             // file position of offset 0, -1 when the file cannot seek
    long offset_ = 0;        // characters taken so far
    long noCloseFrom_ = -1;  // no '}' from this offset to the end of the file
    bool lineStart_ = true;
};

// The legal move (from moves[0..count)) that SAN text names in the position,
// or 0 when it names none or more than one.
Move resolveSan(const std::string& san, const PositionRecord& position, const Move* moves, int count);
