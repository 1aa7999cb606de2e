// Tablebase material classes: one row per class with its index functions,
// expected file sizes and, once registered, its files and cached blocks.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct Position;

// The one list of classes. Row number = class number; names are "k", the
// first side's men, "k", the other side's men, strongest men first; sizes
// are the bytes of the White-to-move and Black-to-move files. Three men come
// first, then four, then five, so a class number also orders by men.
struct ClassInfo {
    const char* name;
    int32_t size[2];
};

inline constexpr ClassInfo ClassTable[] = {
    {"kk", {0, 0}},
    {"kpk", {81664, 84012}},
    {"knk", {26282, 28644}},
    {"kbk", {27243, 28644}},
    {"krk", {27030, 28644}},
    {"kqk", {25629, 28644}},
    {"kpkp", {3863492, 3863492}},
    {"knkp", {4931904, 4981504}},
    {"knkn", {1603202, 1603202}},
    {"kbkp", {5112000, 4981504}},
    {"kbkn", {1661823, 1603202}},
    {"kbkb", {1661823, 1661823}},
    {"krkp", {5072736, 4981504}},
    {"krkn", {1649196, 1603202}},
    {"krkb", {1649196, 1661823}},
    {"krkr", {1649196, 1649196}},
    {"kqkp", {4810080, 4981504}},
    {"kqkn", {1563735, 1603202}},
    {"kqkb", {1563735, 1661823}},
    {"kqkr", {1563735, 1649196}},
    {"kqkq", {1563735, 1563735}},
    {"kppk", {1806671, 1912372}},
    {"knpk", {4648581, 5124732}},
    {"knnk", {735304, 873642}},
    {"kbpk", {4817128, 5124732}},
    {"kbnk", {1550620, 1747284}},
    {"kbbk", {789885, 873642}},
    {"krpk", {4779530, 5124732}},
    {"krnk", {1538479, 1747284}},
    {"krbk", {1594560, 1747284}},
    {"krrk", {777300, 873642}},
    {"kqpk", {4533490, 5124732}},
    {"kqnk", {1459616, 1747284}},
    {"kqbk", {1512507, 1747284}},
    {"kqrk", {1500276, 1747284}},
    {"kqqk", {698739, 873642}},
    {"kppkp", {84219361, 89391280}},
    {"kppkn", {108400260, 115899744}},
    {"kppkb", {108400260, 120132000}},
    {"kppkr", {108400260, 119209296}},
    {"kppkq", {108400260, 113036880}},
    {"knpkp", {219921779, 231758952}},
    {"knpkn", {278914860, 295914240}},
    {"knpkb", {278914860, 306720000}},
    {"knpkr", {278914860, 304369920}},
    {"knpkq", {278914860, 288610560}},
    {"knnkp", {137991648, 149445120}},
    {"knnkn", {44118240, 48096060}},
    {"knnkb", {44118240, 49854690}},
    {"knnkr", {44118240, 49475880}},
    {"knnkq", {44118240, 46912050}},
    {"kbpkp", {227896016, 231758952}},
    {"kbpkn", {289027680, 295914240}},
    {"kbpkb", {289027680, 306720000}},
    {"kbpkr", {289027680, 304369920}},
    {"kbpkq", {289027680, 288610560}},
    {"kbnkp", {290989584, 298890240}},
    {"kbnkn", {93037200, 96192120}},
    {"kbnkb", {93037200, 99709380}},
    {"kbnkr", {93037200, 98951760}},
    {"kbnkq", {93037200, 93824100}},
    {"kbbkp", {148223520, 149445120}},
    {"kbbkn", {47393100, 48096060}},
    {"kbbkb", {47393100, 49854690}},
    {"kbbkr", {47393100, 49475880}},
    {"kbbkq", {47393100, 46912050}},
    {"krpkp", {226121876, 231758952}},
    {"krpkn", {286777440, 295914240}},
    {"krpkb", {286777440, 306720000}},
    {"krpkr", {286777440, 304369920}},
    {"krpkq", {286777440, 288610560}},
    {"krnkp", {288692928, 298890240}},
    {"krnkn", {92308740, 96192120}},
    {"krnkb", {92308740, 99709380}},
    {"krnkr", {92308740, 98951760}},
    {"krnkq", {92308740, 93824100}},
    {"krbkp", {299203200, 298890240}},
    {"krbkn", {95673600, 96192120}},
    {"krbkb", {95673600, 99709380}},
    {"krbkr", {95673600, 98951760}},
    {"krbkq", {95673600, 93824100}},
    {"krrkp", {145901232, 149445120}},
    {"krrkn", {46658340, 48096060}},
    {"krrkb", {46658340, 49854690}},
    {"krrkr", {46658340, 49475880}},
    {"krrkq", {46658340, 46912050}},
    {"kqpkp", {214481388, 231758952}},
    {"kqpkn", {272015040, 295914240}},
    {"kqpkb", {272015040, 306720000}},
    {"kqpkr", {272015040, 304369920}},
    {"kqpkq", {272015040, 288610560}},
    {"kqnkp", {273904512, 298890240}},
    {"kqnkn", {87576960, 96192120}},
    {"kqnkb", {87576960, 99709380}},
    {"kqnkr", {87576960, 98951760}},
    {"kqnkq", {87576960, 93824100}},
    {"kqbkp", {283818240, 298890240}},
    {"kqbkn", {90750420, 96192120}},
    {"kqbkb", {90750420, 99709380}},
    {"kqbkr", {90750420, 98951760}},
    {"kqbkq", {90750420, 93824100}},
    {"kqrkp", {281568240, 298890240}},
    {"kqrkn", {90038460, 96192120}},
    {"kqrkb", {90038460, 99709380}},
    {"kqrkr", {90038460, 98951760}},
    {"kqrkq", {90038460, 93824100}},
    {"kqqkp", {131170128, 149445120}},
    {"kqqkn", {41944320, 48096060}},
    {"kqqkb", {41944320, 49854690}},
    {"kqqkr", {41944320, 49475880}},
    {"kqqkq", {41944320, 46912050}},
};

constexpr int TablebaseClassCount = int(std::size(ClassTable));  // row 0 ("kk") is never used
constexpr int NoEnPassant = 64;  // en-passant square argument when there is none
constexpr int ClassManKinds = 5;  // pawn, knight, bishop, rook, queen
constexpr char ClassManLetters[] = "pnbrq";
// Piece code of a letter of a class name: pawn 1 .. queen 5, king 6.
constexpr int classManCode(char letter) {
    for (int kind = 0; kind < ClassManKinds; ++kind)
        if (ClassManLetters[kind] == letter) return kind + 1;
    return 6;
}

// Men of a class, kings included.
constexpr int classMen(int classNumber) { return int(std::string_view(ClassTable[classNumber].name).size()); }

// Class number of a name such as "krpkr", or 0.
constexpr int classNumberOf(std::string_view name) {
    for (int c = 1; c < TablebaseClassCount; ++c)
        if (name == ClassTable[c].name) return c;
    return 0;
}

constexpr int firstClassWithMen(int men) {
    int c = 1;
    while (c < TablebaseClassCount && classMen(c) < men) ++c;
    return c;
}
constexpr int FirstFourManClass = firstClassWithMen(4);
constexpr int FirstFiveManClass = firstClassWithMen(5);
constexpr int KppkpClass = classNumberOf("kppkp");
static_assert(TablebaseClassCount == 111 && FirstFourManClass == 6 && FirstFiveManClass == 36 && KppkpClass == 36);

// Men of a directory of tables whose largest class is highestClass (0: none).
constexpr int menOfLargestClass(int highestClass) { return highestClass > 0 ? classMen(highestClass) : 0; }

// Men per side by kind (pawn .. queen), the side named first at [0].
struct ClassMaterial {
    int count[2][ClassManKinds] = {};
};
constexpr ClassMaterial classMaterial(int classNumber) {
    ClassMaterial m;
    int side = -1;
    for (const char* q = ClassTable[classNumber].name; *q; ++q) {
        if (*q == 'k') {
            ++side;
            continue;
        }
        for (int kind = 0; kind < ClassManKinds; ++kind)
            if (ClassManLetters[kind] == *q) ++m.count[side][kind];
    }
    return m;
}

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
inline int findTablebaseClass(const char* name) { return name ? classNumberOf(name) : 0; }

// Class of some material. flip is 1 when Black owns the class's first-named
// side: always so for symmetric material such as kpkp. classNumber 0: none.
struct TablebaseMaterial {
    int classNumber;
    int flip;
};
// counts by kind (pawn .. queen) of White's and of Black's men.
TablebaseMaterial materialClass(const int* white, const int* black);
// The same from counts laid out as the engine's pieceCount (colour * 8 + piece code).
TablebaseMaterial tablebaseMaterial(const int* counts);

// Fills the two piece lists an index function takes from a position:
// the king, then the men in the order of the class name (like men in any
// order). The index functions rely on that order.
void tablebaseMenLists(const Position& pos, const TablebaseMaterial& material, int first[16], int second[16]);
