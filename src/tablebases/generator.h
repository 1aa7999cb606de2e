// Retrograde generator of endgame tables in its own dense layout: the first
// side's king on a reduced set of squares, every other man on any square.
// Results are the file bytes: 0 draw, 127 - N the side to move mates in N,
// N - 126 the side to move is mated in N, 127 where no legal position is.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tbgen {

constexpr int MaxMen = 5;
constexpr int8_t NoPosition = 127;  // illegal or impossible placements

// Men in table order: the first side's king and men (as in the class name),
// then the second side's. Colour 0 is the side named first.
struct Material {
    std::string name;
    int count = 0;
    int piece[MaxMen] = {};
    int colour[MaxMen] = {};
    bool pawns = false;
    bool pawnsBothSides = false;
};

// "krpkr" -> men; false for names that are no tablebase class.
bool parseMaterial(const std::string& name, Material& material);
// Class name of the men (codes of piece, colour per man); sets reversed when
// the second colour's men come first in the name. Empty for bare kings and
// material no class holds.
std::string materialName(const int* piece, const int* colour, int count, bool& reversed);

struct Table {
    Material material;
    uint64_t positions = 0;  // per side to move
    std::vector<int8_t> result[2];
    // Positions right after a double step beside an enemy pawn (en passant
    // possible): key = position << 6 | en-passant square, sorted.
    std::vector<uint64_t> epKey[2];
    std::vector<int8_t> epResult[2];
    int longestWin = 0;   // moves, either side to move
    bool overflow = false;  // a result did not fit in a byte

    // Index of a placement (table order) or -1 when it is not one this
    // layout stores (two men on a square, pawn on the first or last rank).
    int64_t indexOf(const int* squares) const;
    void squaresOf(uint64_t index, int* squares) const;
    // Index of a placement already in stored form.
    uint64_t storedIndex(const int* squares) const;
    // Result for any placement in table order (normalised here); en passant
    // square 64 for none.
    int8_t valueOf(const int* squares, int side, int epSquare) const;
};

class Generator {
public:
    explicit Generator(int threads, bool progress);
    ~Generator();
    // The table of a class, generating it (and the smaller classes it
    // converts into) on first use. Null with a message in error.
    const Table* table(const std::string& name, std::string& error);
    // Result for a board given as men (piece, colour, square) with White =
    // colour 0; looks the material up in either orientation. Bare kings: 0.
    bool lookup(const int* piece, const int* colour, const int* square, int count, int side,
                int8_t& value) const;

private:
    void generate(Table& table);
    int threads_;
    bool progress_;
    std::map<std::string, std::unique_ptr<Table>> tables_;
};

// Writes <dir>/<class>.nbw and .nbb through the class table's index
// functions; false with a message when it cannot.
bool writeTableFiles(const std::string& dir, const Table& table, std::string& error);

}  // namespace tbgen
