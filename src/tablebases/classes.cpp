#include "tablebases/classes.h"

#include <cstring>

#include "board/board.h"
#include "tablebases/indexing.h"

#define Row(n, name, white, black)                                                                               \
    {                                                                                                            \
        n, {classIndexFunction(n, 0), classIndexFunction(n, 1)}, name, {white, black}, {}, {nullptr, nullptr},  \
            {nullptr, nullptr}, {nullptr, nullptr}                                                               \
    }

TablebaseClass tablebaseClasses[TablebaseClassCount] = {
    Row(0, "kk", 0, 0),
    Row(1, "kpk", 81664, 84012),
    Row(2, "knk", 26282, 28644),
    Row(3, "kbk", 27243, 28644),
    Row(4, "krk", 27030, 28644),
    Row(5, "kqk", 25629, 28644),
    Row(6, "kpkp", 3863492, 3863492),
    Row(7, "knkp", 4931904, 4981504),
    Row(8, "knkn", 1603202, 1603202),
    Row(9, "kbkp", 5112000, 4981504),
    Row(10, "kbkn", 1661823, 1603202),
    Row(11, "kbkb", 1661823, 1661823),
    Row(12, "krkp", 5072736, 4981504),
    Row(13, "krkn", 1649196, 1603202),
    Row(14, "krkb", 1649196, 1661823),
    Row(15, "krkr", 1649196, 1649196),
    Row(16, "kqkp", 4810080, 4981504),
    Row(17, "kqkn", 1563735, 1603202),
    Row(18, "kqkb", 1563735, 1661823),
    Row(19, "kqkr", 1563735, 1649196),
    Row(20, "kqkq", 1563735, 1563735),
    Row(21, "kppk", 1806671, 1912372),
    Row(22, "knpk", 4648581, 5124732),
    Row(23, "knnk", 735304, 873642),
    Row(24, "kbpk", 4817128, 5124732),
    Row(25, "kbnk", 1550620, 1747284),
    Row(26, "kbbk", 789885, 873642),
    Row(27, "krpk", 4779530, 5124732),
    Row(28, "krnk", 1538479, 1747284),
    Row(29, "krbk", 1594560, 1747284),
    Row(30, "krrk", 777300, 873642),
    Row(31, "kqpk", 4533490, 5124732),
    Row(32, "kqnk", 1459616, 1747284),
    Row(33, "kqbk", 1512507, 1747284),
    Row(34, "kqrk", 1500276, 1747284),
    Row(35, "kqqk", 698739, 873642),
    Row(36, "kppkp", 84219361, 89391280),
    Row(37, "kppkn", 108400260, 115899744),
    Row(38, "kppkb", 108400260, 120132000),
    Row(39, "kppkr", 108400260, 119209296),
    Row(40, "kppkq", 108400260, 113036880),
    Row(41, "knpkp", 219921779, 231758952),
    Row(42, "knpkn", 278914860, 295914240),
    Row(43, "knpkb", 278914860, 306720000),
    Row(44, "knpkr", 278914860, 304369920),
    Row(45, "knpkq", 278914860, 288610560),
    Row(46, "knnkp", 137991648, 149445120),
    Row(47, "knnkn", 44118240, 48096060),
    Row(48, "knnkb", 44118240, 49854690),
    Row(49, "knnkr", 44118240, 49475880),
    Row(50, "knnkq", 44118240, 46912050),
    Row(51, "kbpkp", 227896016, 231758952),
    Row(52, "kbpkn", 289027680, 295914240),
    Row(53, "kbpkb", 289027680, 306720000),
    Row(54, "kbpkr", 289027680, 304369920),
    Row(55, "kbpkq", 289027680, 288610560),
    Row(56, "kbnkp", 290989584, 298890240),
    Row(57, "kbnkn", 93037200, 96192120),
    Row(58, "kbnkb", 93037200, 99709380),
    Row(59, "kbnkr", 93037200, 98951760),
    Row(60, "kbnkq", 93037200, 93824100),
    Row(61, "kbbkp", 148223520, 149445120),
    Row(62, "kbbkn", 47393100, 48096060),
    Row(63, "kbbkb", 47393100, 49854690),
    Row(64, "kbbkr", 47393100, 49475880),
    Row(65, "kbbkq", 47393100, 46912050),
    Row(66, "krpkp", 226121876, 231758952),
    Row(67, "krpkn", 286777440, 295914240),
    Row(68, "krpkb", 286777440, 306720000),
    Row(69, "krpkr", 286777440, 304369920),
    Row(70, "krpkq", 286777440, 288610560),
    Row(71, "krnkp", 288692928, 298890240),
    Row(72, "krnkn", 92308740, 96192120),
    Row(73, "krnkb", 92308740, 99709380),
    Row(74, "krnkr", 92308740, 98951760),
    Row(75, "krnkq", 92308740, 93824100),
    Row(76, "krbkp", 299203200, 298890240),
    Row(77, "krbkn", 95673600, 96192120),
    Row(78, "krbkb", 95673600, 99709380),
    Row(79, "krbkr", 95673600, 98951760),
    Row(80, "krbkq", 95673600, 93824100),
    Row(81, "krrkp", 145901232, 149445120),
    Row(82, "krrkn", 46658340, 48096060),
    Row(83, "krrkb", 46658340, 49854690),
    Row(84, "krrkr", 46658340, 49475880),
    Row(85, "krrkq", 46658340, 46912050),
    Row(86, "kqpkp", 214481388, 231758952),
    Row(87, "kqpkn", 272015040, 295914240),
    Row(88, "kqpkb", 272015040, 306720000),
    Row(89, "kqpkr", 272015040, 304369920),
    Row(90, "kqpkq", 272015040, 288610560),
    Row(91, "kqnkp", 273904512, 298890240),
    Row(92, "kqnkn", 87576960, 96192120),
    Row(93, "kqnkb", 87576960, 99709380),
    Row(94, "kqnkr", 87576960, 98951760),
    Row(95, "kqnkq", 87576960, 93824100),
    Row(96, "kqbkp", 283818240, 298890240),
    Row(97, "kqbkn", 90750420, 96192120),
    Row(98, "kqbkb", 90750420, 99709380),
    Row(99, "kqbkr", 90750420, 98951760),
    Row(100, "kqbkq", 90750420, 93824100),
    Row(101, "kqrkp", 281568240, 298890240),
    Row(102, "kqrkn", 90038460, 96192120),
    Row(103, "kqrkb", 90038460, 99709380),
    Row(104, "kqrkr", 90038460, 98951760),
    Row(105, "kqrkq", 90038460, 93824100),
    Row(106, "kqqkp", 131170128, 149445120),
    Row(107, "kqqkn", 41944320, 48096060),
    Row(108, "kqqkb", 41944320, 49854690),
    Row(109, "kqqkr", 41944320, 49475880),
    Row(110, "kqqkq", 41944320, 46912050),
};

#undef Row

int findTablebaseClass(const char* name) {
    if (!name) return 0;
    for (int c = 1; c < TablebaseClassCount; ++c) {
        if (std::strcmp(tablebaseClasses[c].name, name) == 0) return c;
    }
    return 0;
}

namespace {

// "k" and the men of one side, strongest first, as class names spell them.
bool appendSide(char*& out, const int* counts) {
    static const char letters[] = "pnbrq";
    int men = 0;
    *out++ = 'k';
    for (int code = Queen; code >= Pawn; --code) {
        if (counts[code] < 0 || counts[code] > 3) return false;
        for (int i = 0; i < counts[code]; ++i) {
            if (++men > 3) return false;
            *out++ = letters[code - Pawn];
        }
    }
    return true;
}

}  // namespace

TablebaseMaterial tablebaseMaterial(const int* counts) {
    char direct[12], reversed[12];
    char* d = direct;
    char* r = reversed;
    if (!appendSide(d, counts + White * 8) || !appendSide(d, counts + Black * 8)) return {0, 0};
    appendSide(r, counts + Black * 8);
    appendSide(r, counts + White * 8);
    *d = *r = '\0';
    // The reversed entry wins, as it is entered last for symmetric material.
    if (const int c = findTablebaseClass(reversed)) return {c, 1};
    return {findTablebaseClass(direct), 0};
}

void tablebaseMenLists(const Position& pos, const TablebaseMaterial& material, int first[16], int second[16]) {
    const char* name = tablebaseClasses[material.classNumber].name;
    int* lists[2] = {first, second};
    int side = -1, slot = 0;
    bool used[2][16] = {};
    for (const char* q = name; *q; ++q) {
        if (*q == 'k') {
            ++side;
            slot = 0;
            lists[side][slot++] = pos.pieceList[side ^ material.flip][0];
            continue;
        }
        const int colour = side ^ material.flip;
        const int code = int(std::strchr("pnbrq", *q) - "pnbrq") + Pawn;
        for (int i = 1; i <= pos.lastPieceIndex[colour]; ++i) {
            const int s = pos.pieceList[colour][i];
            if (used[colour][i] || pos.board[s].piece != code) continue;
            used[colour][i] = true;
            lists[side][slot++] = s;
            break;
        }
    }
}
