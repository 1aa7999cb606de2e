#include "tablebases/classes.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "board/board.h"
#include "tablebases/indexing.h"

namespace {

// Material keys: two bits per kind and side, White's kinds low.
constexpr uint32_t materialKey(const int* white, const int* black) {
    uint32_t key = 0;
    for (int kind = ClassManKinds - 1; kind >= 0; --kind) key = key << 2 | uint32_t(black[kind]);
    for (int kind = ClassManKinds - 1; kind >= 0; --kind) key = key << 2 | uint32_t(white[kind]);
    return key;
}

struct MaterialEntry {
    uint32_t key;
    TablebaseMaterial material;
};

// Every class under its own colours and reversed, sorted by key; for
// symmetric material the reversed entry comes first and is the one found.
constexpr int MaterialEntries = 2 * (TablebaseClassCount - 1);
constexpr std::array<MaterialEntry, MaterialEntries> makeMaterialIndex() {
    std::array<MaterialEntry, MaterialEntries> entries{};
    int n = 0;
    for (int c = 1; c < TablebaseClassCount; ++c) {
        const ClassMaterial m = classMaterial(c);
        entries[n++] = {materialKey(m.count[0], m.count[1]), {c, 0}};
        entries[n++] = {materialKey(m.count[1], m.count[0]), {c, 1}};
    }
    auto before = [](const MaterialEntry& a, const MaterialEntry& b) {
        return a.key != b.key ? a.key < b.key : a.material.flip > b.material.flip;
    };
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && before(entries[j], entries[j - 1]); --j) std::swap(entries[j], entries[j - 1]);
    return entries;
}
constexpr std::array<MaterialEntry, MaterialEntries> materialIndex = makeMaterialIndex();

}  // namespace

TablebaseClass tablebaseClasses[TablebaseClassCount];
namespace {
// The mutable rows start from the class table.
const bool rowsMade = [] {
    for (int c = 0; c < TablebaseClassCount; ++c) {
        TablebaseClass& t = tablebaseClasses[c];
        t.number = c;
        t.name = ClassTable[c].name;
        for (int side = 0; side < 2; ++side) {
            t.indexFunction[side] = classIndexFunction(c, side);
            t.size[side] = ClassTable[c].size[side];
        }
    }
    return true;
}();
}  // namespace

TablebaseMaterial materialClass(const int* white, const int* black) {
    for (int kind = 0; kind < ClassManKinds; ++kind)
        if (white[kind] < 0 || white[kind] > 3 || black[kind] < 0 || black[kind] > 3) return {0, 0};
    const uint32_t key = materialKey(white, black);
    auto it = std::lower_bound(materialIndex.begin(), materialIndex.end(), key,
                               [](const MaterialEntry& e, uint32_t k) { return e.key < k; });
    return it != materialIndex.end() && it->key == key ? it->material : TablebaseMaterial{0, 0};
}

TablebaseMaterial tablebaseMaterial(const int* counts) {
    return materialClass(counts + White * 8 + Pawn, counts + Black * 8 + Pawn);
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
        const int code = classManCode(*q);
        for (int i = 1; i <= pos.lastPieceIndex[colour]; ++i) {
            const int s = pos.pieceList[colour][i];
            if (used[colour][i] || pos.board[s].piece != code) continue;
            used[colour][i] = true;
            lists[side][slot++] = s;
            break;
        }
    }
}
