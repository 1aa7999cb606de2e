// Retrograde generator of endgame tables in its own dense layout: the first
// side's king on a reduced set of squares, every other man on any square.
// Results are the file bytes: 0 draw, 127 - N the side to move mates in N,
// N - 126 the side to move is mated in N, 127 where no legal position is.
// Past those ranges, as the probe reads them: -128 mates in 127, -127 is
// mated in 126. A loss in 127 has no byte: the probe knows each such
// position by its index (the seven kppkp ones); it is written as -127.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ClassFilesSet;

namespace tbgen {

constexpr int MaxMen = 5;
constexpr int8_t NoPosition = 127;  // illegal or impossible placements
constexpr int8_t LongWinByte = -128;   // the side to move mates in 127
constexpr int8_t LongLossByte = -127;  // the side to move is mated in 126
constexpr int OverlongLossMoves = 127;  // a loss no byte holds

// Plies to the end of a result byte other than 0 and NoPosition: odd for a
// win (2N - 1 for a mate in N), even for a loss (2N when mated in N).
constexpr int resultPlies(int8_t b) {
    if (b == LongWinByte) return 2 * 127 - 1;
    if (b == LongLossByte) return 2 * 126;
    return b > 0 ? 2 * (127 - b) - 1 : 2 * (b + 126);
}

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
    int longestLoss = 0;  // moves, either side to move
    bool overflow = false;  // a result did not fit even the probe's special cases
    // Stored positions lost in OverlongLossMoves (sorted): their bytes hold
    // LongLossByte, and only the probe's fixed indices give them right.
    std::vector<uint64_t> overlong[2];
    std::vector<uint64_t> overlongEp[2];  // the same among the en-passant nodes, by epKey

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

// Classes a capture or a promotion (or both at once) of the class leads to,
// each once; empty for a name that is no class.
std::vector<std::string> successorClasses(const std::string& name);
// The classes of names and every class they lead to, each once, every class
// after all of its successors.
std::vector<std::string> dependencyOrder(const std::vector<std::string>& names);

// Where the men of a conversion's result go in the index functions' lists
// of the class it lands in: found once per kind of conversion.
struct ConversionPlan {
    bool valid = false;
    bool bareKings = false;  // a draw without a table
    int classNumber = 0;
    int flip = 0;  // the class is stored with colours reversed
    int men[2] = {0, 0};
    int man[2][MaxMen] = {};  // list slot -> position in the men given
};

class Generator {
public:
    // Successor classes are generated in memory and kept there.
    Generator(int threads, bool progress);
    // Successor classes are read from their files in dir (plain or
    // compressed); a missing one is generated and written there first.
    Generator(int threads, bool progress, const std::string& dir);
    ~Generator();
    // The table of a class, generating it (and, without a directory, the
    // smaller classes it converts into) on first use. Null with a message in
    // error.
    const Table* table(const std::string& name, std::string& error);
    // With a directory: generates the class, writes its two files (under
    // ".part" names until whole) and prints a line with its longest win, its
    // time and its peak memory; the table is not kept.
    bool make(const std::string& name, std::string& error);
    // Result for a board given as men (piece, colour, square) with White =
    // colour 0; looks the material up in either orientation. Bare kings: 0.
    bool lookup(const int* piece, const int* colour, const int* square, int count, int side,
                int8_t& value) const;
    // With a directory: the plan for men given as in lookup; then the result
    // for their squares. Without one the plan is not valid.
    ConversionPlan planConversion(const int* piece, const int* colour, int count) const;
    bool lookup(const ConversionPlan& plan, const int* square, int side, int8_t& value) const;

private:
    bool generate(Table& table, std::string& error);
    bool successorsReady(const std::string& name, std::string& error);
    int threads_;
    bool progress_;
    std::string dir_;  // empty: successors in memory
    std::map<std::string, std::unique_ptr<Table>> tables_;
    std::unique_ptr<ClassFilesSet> files_;
};

// Peak resident memory of the process in bytes since the last reset (0 when
// the system does not say); the reset makes the next reading per class.
int64_t peakMemory();
void resetPeakMemory();

// Writes <dir>/<class>.nbw and .nbb through the class table's index
// functions, the positions shared out over threads (the files do not depend
// on their number); false with a message when it cannot.
bool writeTableFiles(const std::string& dir, const Table& table, std::string& error, int threads = 1);

}  // namespace tbgen
