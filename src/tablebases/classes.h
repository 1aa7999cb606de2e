// Tablebase material classes: one row per class with its index functions,
// expected file sizes and, once registered, its files and cached blocks.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct Position;

constexpr int TablebaseClassCount = 111;  // row 0 ("kk") is never used
constexpr int NoEnPassant = 64;           // en-passant square argument when there is none

// Index of a position in one side-to-move file of a class. first and second
// are the piece lists (king at entry 0) of the side named first and second in
// the class name; flip is 1 when the caller reversed the colours.
// The men after each king must follow the order of the class name (krnkp:
// rook, knight; tablebaseMenLists builds such lists from the board). An
// en-passant square that describes no capturable double step is ignored.
// Only legal placements get meaningful indices: others may give any index,
// and -1 when the kings stand side by side.
using IndexFunction = int32_t (*)(const int* first, const int* second, int epSquare, int flip);

struct DecoderHeader;  // block index of a compressed file
struct CacheSlot;

struct TablebaseClass {
    int number;
    IndexFunction indexFunction[2];  // [side to move]
    const char* name;                // "kqk", "krpkp", ...
    int32_t size[2];                 // expected bytes; the real length once registered
    std::string path[2];             // empty: not registered
    FILE* file[2];
    DecoderHeader* decoder[2];       // null for a plain file
    CacheSlot** buckets[2];          // 32 chain heads of cached blocks
};

extern TablebaseClass tablebaseClasses[TablebaseClassCount];

// Builds the symmetry, king-pair, enumeration and base tables; cheap to call
// again (it builds them once per process).
void buildIndexTables();
// Class number of a name such as "krpkr", or 0.
int findTablebaseClass(const char* name);

// Class of the material given by counts laid out as the engine's pieceCount
// (colour * 8 + piece code). flip is 1 when Black owns the class's first-named
// side: always so for symmetric material such as kpkp. classNumber 0: none.
struct TablebaseMaterial {
    int classNumber;
    int flip;
};
TablebaseMaterial tablebaseMaterial(const int* counts);

// Fills the two piece lists an index function takes from a position:
// the king, then the men in the order of the class name (like men in any
// order). The index functions rely on that order.
void tablebaseMenLists(const Position& pos, const TablebaseMaterial& material, int first[16], int second[16]);
