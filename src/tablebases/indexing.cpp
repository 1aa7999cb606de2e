#include "tablebases/indexing.h"

#include <array>
#include <cassert>
#include <utility>

namespace {

// Kinds of the restricted tables: a pawn walking down, a pawn walking up,
// then the piece codes 2..5.
constexpr int PawnDown = 0, PawnUp = 1, KindCount = 6;
constexpr int PawnlessPairs = 462, PawnPairs = 1806, NoPair = 4000;
constexpr int PawnCode = 1;

constexpr int codeOf(char letter) {
    switch (letter) {
        case 'p': return 1;
        case 'n': return 2;
        case 'b': return 3;
        case 'r': return 4;
        default: return 5;
    }
}

struct ManRef {
    int list = 0;  // 0: the side named first, 1: the other
    int slot = 0;  // entry in that piece list (men follow the class name's order)
};

// How one class and side to move turns a position into an index.
struct Plan {
    bool valid = false;
    int stm = 0;  // list of the side to move
    bool pawns = false, bothPawns = false;
    bool mirror = false;  // the first part is read with the ranks mirrored
    int men[2] = {0, 0};
    int code[2][2] = {{0, 0}, {0, 0}};
    // First part: up to two men through the restricted tables.
    int partCount = 0;
    bool partLike = false;
    ManRef part[2];
    int partKind[2] = {0, 0};
    // Men already placed when the later digits start (besides the kings).
    int fixedCount = 0;
    ManRef fixed[4];
    // The other side's pieces, then its pawns, as mixed-radix digits.
    int pieceDigits = 0;
    bool pieceLike = false;
    int pieceSlot[2] = {0, 0};
    int pawnDigits = 0;
    int pawnSlot[2] = {0, 0};
};

constexpr Plan makePlan(int c, int s) {
    Plan p;
    if (c <= 0 || c >= TablebaseClassCount || s < 0 || s > 1) return p;
    int side = -1;
    int pawnCount[2] = {0, 0};
    for (const char* q = ClassTable[c].name; *q; ++q) {
        if (*q == 'k') {
            ++side;
        } else {
            p.code[side][p.men[side]++] = codeOf(*q);
            if (*q == 'p') ++pawnCount[side];
        }
    }
    p.valid = true;
    p.stm = s;
    p.pawns = pawnCount[0] + pawnCount[1] > 0;
    p.bothPawns = pawnCount[0] > 0 && pawnCount[1] > 0;
    const int o = s ^ 1;
    bool inPart[2][3] = {};
    if (p.men[s] > 0) {
        for (int j = 0; j < p.men[s]; ++j) {
            p.part[p.partCount] = ManRef{s, j + 1};
            p.partKind[p.partCount++] = p.code[s][j] == PawnCode ? PawnUp : p.code[s][j];
            inPart[s][j + 1] = true;
        }
    } else {
        // A bare side to move: the other side's pawns lead instead.
        for (int j = 0; j < p.men[o]; ++j) {
            if (p.code[o][j] != PawnCode) continue;
            p.part[p.partCount] = ManRef{o, j + 1};
            p.partKind[p.partCount++] = PawnDown;
            inPart[o][j + 1] = true;
        }
    }
    p.partLike = p.partCount == 2 && p.partKind[0] == p.partKind[1];
    p.mirror = s == 1 && p.partCount > 0 && p.partKind[0] <= PawnUp;
    for (int l = 0; l < 2; ++l) {
        for (int j = 0; j < p.men[l]; ++j) {
            if (inPart[l][j + 1] || p.code[l][j] == PawnCode) p.fixed[p.fixedCount++] = ManRef{l, j + 1};
        }
    }
    for (int j = 0; j < p.men[o]; ++j) {
        if (inPart[o][j + 1]) continue;
        if (p.code[o][j] == PawnCode) {
            p.pawnSlot[p.pawnDigits++] = j + 1;
        } else {
            p.pieceSlot[p.pieceDigits++] = j + 1;
        }
    }
    p.pieceLike = p.pieceDigits == 2 && p.code[o][p.pieceSlot[0] - 1] == p.code[o][p.pieceSlot[1] - 1];
    return p;
}

// Two plans compute the same index for every position. A lone piece of the
// side not to move is a plain digit whatever its kind, so such classes share.
constexpr bool samePlan(const Plan& a, const Plan& b) {
    if (a.valid != b.valid || a.stm != b.stm || a.pawns != b.pawns || a.bothPawns != b.bothPawns ||
        a.mirror != b.mirror || a.partCount != b.partCount || a.partLike != b.partLike ||
        a.fixedCount != b.fixedCount || a.pieceDigits != b.pieceDigits || a.pieceLike != b.pieceLike ||
        a.pawnDigits != b.pawnDigits)
        return false;
    for (int l = 0; l < 2; ++l) {
        if (a.men[l] != b.men[l]) return false;
        const bool loneOtherPiece = l != a.stm && a.men[l] == 1 && a.code[l][0] != PawnCode;
        for (int j = 0; j < a.men[l]; ++j) {
            const bool aPawn = a.code[l][j] == PawnCode, bPawn = b.code[l][j] == PawnCode;
            if (aPawn != bPawn || (!loneOtherPiece && a.code[l][j] != b.code[l][j])) return false;
        }
    }
    for (int i = 0; i < a.partCount; ++i) {
        if (a.partKind[i] != b.partKind[i] || a.part[i].list != b.part[i].list || a.part[i].slot != b.part[i].slot)
            return false;
    }
    return true;
}

// The lowest class whose function serves class c with side s to move.
constexpr int sharedClass(int c, int s) {
    const Plan own = makePlan(c, s);
    for (int d = 1; d < c; ++d) {
        if (samePlan(makePlan(d, s), own)) return d;
    }
    return c;
}

// ---- Tables, built once ----------------------------------------------------

bool built = false;
uint8_t quadrantMask[64], fileMirror[64], triangle[64], lowerHalf[64], transposed[64];
int16_t pairIndex[2][64][64];  // [pawns]
uint8_t rankOf[KindCount][64][64];
int countOf[KindCount][64];
int32_t base1[2][KindCount][PawnPairs + 1];  // running totals; entry [pairs] is the total
int32_t base2[2][KindCount][KindCount][PawnPairs + 1];
int32_t baseLike[2][KindCount][PawnPairs + 1];
int64_t normalRange[TablebaseClassCount][2];

constexpr int fileOf(int s) { return s & 7; }
constexpr int rankOfSquare(int s) { return s >> 3; }
constexpr bool adjacentOrSame(int a, int b) {
    const int df = fileOf(a) - fileOf(b), dr = rankOfSquare(a) - rankOfSquare(b);
    return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// Whether a man of kind t on s touches a king on k at contact range.
bool contactAttack(int t, int s, int k) {
    const int df = fileOf(k) - fileOf(s), dr = rankOfSquare(k) - rankOfSquare(s);
    const int adf = df < 0 ? -df : df, adr = dr < 0 ? -dr : dr;
    switch (t) {
        case PawnUp: return dr == 1 && adf == 1;
        case 2: return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
        case 3: return adf == 1 && adr == 1;
        case 4: return adf + adr == 1;
        case 5: return adf <= 1 && adr <= 1 && adf + adr > 0;
        default: return false;
    }
}

inline int restrictedValue(int t, int other, int ref, int s) {
    return rankOf[t][other][s] - (s > ref && rankOf[t][other][ref] != 255);
}
inline int restrictedCount(int t, int other, int ref) {
    return countOf[t][other] - (rankOf[t][other][ref] != 255);
}

void buildPairs() {
    for (auto& frame : pairIndex)
        for (auto& row : frame)
            for (auto& v : row) v = NoPair;
    int n = 0;
    for (int r = 0; r < 64; ++r) {
        if (!triangle[r]) continue;
        const bool diagonal = fileOf(r) == rankOfSquare(r);
        for (int o = 0; o < 64; ++o) {
            if (adjacentOrSame(r, o) || (diagonal && fileOf(o) < rankOfSquare(o))) continue;
            pairIndex[0][r][o] = int16_t(n++);
        }
    }
    assert(n == PawnlessPairs);
    n = 0;
    for (int r = 0; r < 64; ++r) {
        if (fileOf(r) > 3) continue;
        for (int o = 0; o < 64; ++o) {
            if (!adjacentOrSame(r, o)) pairIndex[1][r][o] = int16_t(n++);
        }
    }
    assert(n == PawnPairs);
}

void buildBases() {
    for (int frame = 0; frame < 2; ++frame) {
        int32_t run1[KindCount] = {}, run2[KindCount][KindCount] = {}, runLike[KindCount] = {};
        int p = 0;
        for (int r = 0; r < 64; ++r) {
            for (int o = 0; o < 64; ++o) {
                if (pairIndex[frame][r][o] != p) continue;
                int c[KindCount];
                for (int t = 0; t < KindCount; ++t) {
                    c[t] = restrictedCount(t, o, r);
                    base1[frame][t][p] = run1[t];
                    baseLike[frame][t][p] = runLike[t];
                    run1[t] += c[t];
                    runLike[t] += c[t] * (c[t] - 1) / 2;
                }
                for (int a = 0; a < KindCount; ++a) {
                    for (int b = 0; b < KindCount; ++b) {
                        base2[frame][a][b][p] = run2[a][b];
                        run2[a][b] += c[a] * c[b];
                    }
                }
                ++p;
            }
        }
        for (int t = 0; t < KindCount; ++t) {
            base1[frame][t][p] = run1[t];
            baseLike[frame][t][p] = runLike[t];
            for (int b = 0; b < KindCount; ++b) base2[frame][t][b][p] = run2[t][b];
        }
    }
}

// ---- The index computation -------------------------------------------------

inline int below(const int* squares, int n, int s) {
    int k = 0;
    for (int i = 0; i < n; ++i) k += squares[i] < s;
    return k;
}

inline int32_t pairOfPart(const Plan& p) { return p.pawns ? PawnPairs : PawnlessPairs; }

// Size of the first part: the total of its base table.
int64_t partRange(const Plan& p) {
    const int frame = p.pawns, pairs = pairOfPart(p);
    if (p.partCount == 0) return pairs;
    if (p.partCount == 1) return base1[frame][p.partKind[0]][pairs];
    if (p.partLike) return baseLike[frame][p.partKind[0]][pairs];
    return base2[frame][p.partKind[0]][p.partKind[1]][pairs];
}

int64_t digitsRange(const Plan& p) {
    int64_t range = 1;
    int placed = 2 + p.fixedCount;
    if (p.pieceLike) {
        const int n = 64 - placed;
        range *= n * (n - 1) / 2;
    } else {
        for (int i = 0; i < p.pieceDigits; ++i) range *= 64 - placed - i;
    }
    int pawnsPlaced = 0;
    for (int i = 0; i < p.partCount; ++i) pawnsPlaced += p.partKind[i] <= PawnUp;
    const int n = 48 - pawnsPlaced;
    if (p.pawnDigits == 2) range *= n * (n - 1) / 2;
    if (p.pawnDigits == 1) range *= n;
    return range;
}

// En-passant range of a class with pawns on both sides: for each placement of
// the side to move's pieces (or the king pair), the other side's pieces and
// the pawn not taking part, 14 entries for the capturing pawn's file and
// direction.
int64_t enPassantRange(const Plan& p) {
    if (!p.bothPawns) return 0;
    int64_t rest = PawnPairs;
    int ownPieces = 0, spare = 0;
    for (int j = 0; j < p.men[p.stm]; ++j) {
        if (p.code[p.stm][j] != PawnCode) {
            rest = base1[1][p.code[p.stm][j]][PawnPairs];
            ++ownPieces;
        }
    }
    int pawns = 0;
    for (int l = 0; l < 2; ++l)
        for (int j = 0; j < p.men[l]; ++j) pawns += p.code[l][j] == PawnCode;
    spare = pawns - 2;
    for (int i = 0; i < p.pieceDigits; ++i) rest *= 64 - 6 - ownPieces - i;
    if (spare) rest *= 44;
    return rest * 14;
}

struct Position {
    int sq[2][3];  // [list][0: king, 1.. men]
    int ep;
};

[[gnu::always_inline]] inline void normalise(const Plan& p, Position& x, int flip) {
    const int king = x.sq[p.stm][0];
    int m;
    if (p.pawns) {
        m = fileMirror[king] ^ (flip ? 56 : 0);
        if (x.ep != NoEnPassant) x.ep ^= m;
    } else {
        m = quadrantMask[king];
    }
    for (int l = 0; l < 2; ++l)
        for (int j = 0; j <= p.men[l]; ++j) x.sq[l][j] ^= m;
    if (p.pawns) return;
    const int r = x.sq[p.stm][0], o = x.sq[p.stm ^ 1][0];
    if (!triangle[r] || (fileOf(r) == rankOfSquare(r) && !lowerHalf[o])) {
        for (int l = 0; l < 2; ++l)
            for (int j = 0; j <= p.men[l]; ++j) x.sq[l][j] = transposed[x.sq[l][j]];
    }
}

// Index in the en-passant range, or -1 when the square does not describe a
// pawn that has just stepped two squares beside a pawn that can take it.
[[gnu::always_inline]] inline int64_t enPassantIndex(const Plan& p, const Position& x, int f, int pair) {
    const int s = p.stm, o = s ^ 1;
    const int target = x.ep ^ f;  // seen with the side to move's pawns walking up
    if (target < 40 || target >= 48) return -1;
    const int victim = (target - 8) ^ f, passed = x.ep, origin = (target + 8) ^ f;
    bool victimFound = false;
    for (int l = 0; l < 2; ++l) {
        for (int j = 0; j <= p.men[l]; ++j) {
            const int sq = x.sq[l][j];
            if (sq == passed || sq == origin) return -1;
            if (l == o && j > 0 && p.code[o][j - 1] == PawnCode && sq == victim) victimFound = true;
        }
    }
    if (!victimFound) return -1;
    int capturer = -1;
    for (int j = 1; j <= p.men[s]; ++j) {
        if (p.code[s][j - 1] != PawnCode) continue;
        const int up = x.sq[s][j] ^ f;
        if (fileOf(target) > 0 && up == target - 9) capturer = up;
        if (fileOf(target) < 7 && up == target - 7 && capturer < 0) capturer = up;
    }
    if (capturer < 0) return -1;
    const int e = capturer == target - 7 ? fileOf(capturer) - 1 : fileOf(capturer) + 7;

    int64_t rest = pair;
    int placed[8] = {x.sq[s][0], x.sq[o][0], capturer ^ f, victim, passed, origin};
    int n = 6;
    for (int j = 1; j <= p.men[s]; ++j) {
        if (p.code[s][j - 1] == PawnCode) continue;
        const int t = p.code[s][j - 1];
        rest = base1[1][t][pair] + restrictedValue(t, x.sq[o][0] ^ f, x.sq[s][0] ^ f, x.sq[s][j] ^ f);
        placed[n++] = x.sq[s][j];
    }
    for (int i = 0; i < p.pieceDigits; ++i) {
        const int sq = x.sq[o][p.pieceSlot[i]];
        rest = rest * (64 - n) + sq - below(placed, n, sq);
        placed[n++] = sq;
    }
    for (int l = 0; l < 2; ++l) {
        for (int j = 1; j <= p.men[l]; ++j) {
            const int sq = x.sq[l][j];
            if (p.code[l][j - 1] != PawnCode || sq == (capturer ^ f) || sq == victim) continue;
            rest = rest * 44 + sq - 8 - below(placed + 2, 4, sq);
        }
    }
    return rest * 14 + e;
}

[[gnu::always_inline]] inline int32_t computeIndex(const Plan& p, int c, const int* first, const int* second, int ep, int flip) {
    Position x;
    const int* lists[2] = {first, second};
    for (int l = 0; l < 2; ++l)
        for (int j = 0; j <= p.men[l]; ++j) x.sq[l][j] = lists[l][j];
    x.ep = ep;
    normalise(p, x, flip);

    const int s = p.stm, o = s ^ 1, f = p.mirror ? 56 : 0, frame = p.pawns;
    const int ref = x.sq[s][0] ^ f, other = x.sq[o][0] ^ f;
    const int pair = pairIndex[frame][ref][other];
    if (pair == NoPair) return -1;  // kings side by side

    if (p.bothPawns && x.ep != NoEnPassant) {
        const int64_t e = enPassantIndex(p, x, f, pair);
        if (e >= 0) return int32_t(normalRange[c][s] + e);
    }

    int64_t index;
    if (p.partCount == 0) {
        index = pair;
    } else {
        const int t0 = p.partKind[0];
        const int a = restrictedValue(t0, other, ref, x.sq[p.part[0].list][p.part[0].slot] ^ f);
        if (p.partCount == 1) {
            index = base1[frame][t0][pair] + a;
        } else {
            const int t1 = p.partKind[1];
            const int b = restrictedValue(t1, other, ref, x.sq[p.part[1].list][p.part[1].slot] ^ f);
            if (p.partLike) {
                const int lo = a < b ? a : b, hi = a < b ? b : a;
                index = baseLike[frame][t0][pair] + hi * (hi - 1) / 2 + lo;
            } else {
                index = base2[frame][t0][t1][pair] + a * restrictedCount(t1, other, ref) + b;
            }
        }
    }

    int placed[8] = {x.sq[s][0], x.sq[o][0]};
    int n = 2;
    for (int i = 0; i < p.fixedCount; ++i) placed[n++] = x.sq[p.fixed[i].list][p.fixed[i].slot];
    if (p.pieceLike) {
        const int a = x.sq[o][p.pieceSlot[0]], b = x.sq[o][p.pieceSlot[1]];
        int ra = a - below(placed, n, a), rb = b - below(placed, n, b);
        if (ra > rb) std::swap(ra, rb);
        const int squares = 64 - n;
        index = index * (squares * (squares - 1) / 2) + rb * (rb - 1) / 2 + ra;
    } else {
        for (int i = 0; i < p.pieceDigits; ++i) {
            const int a = x.sq[o][p.pieceSlot[i]];
            index = index * (64 - n) + a - below(placed, n, a);
            placed[n++] = a;
        }
    }
    if (p.pawnDigits > 0) {
        int pawns[2], np = 0;
        for (int i = 0; i < p.partCount; ++i) {
            if (p.partKind[i] <= PawnUp) pawns[np++] = x.sq[p.part[i].list][p.part[i].slot];
        }
        const int squares = 48 - np;
        const int a = x.sq[o][p.pawnSlot[0]];
        int ra = a - 8 - below(pawns, np, a);
        if (p.pawnDigits == 1) {
            index = index * squares + ra;
        } else {
            const int b = x.sq[o][p.pawnSlot[1]];
            int rb = b - 8 - below(pawns, np, b);
            if (ra > rb) std::swap(ra, rb);
            index = index * (squares * (squares - 1) / 2) + rb * (rb - 1) / 2 + ra;
        }
    }
    return int32_t(index);
}

template <int C, int S>
int32_t classIndex(const int* first, const int* second, int epSquare, int flip) {
    static constexpr Plan plan = makePlan(C, S);
    return computeIndex(plan, C, first, second, epSquare, flip);
}

template <int C, int S>
constexpr IndexFunction functionFor() {
    if constexpr (C == 0) {
        return nullptr;
    } else {
        return &classIndex<sharedClass(C, S), S>;
    }
}

using FunctionTable = std::array<std::array<IndexFunction, 2>, TablebaseClassCount>;
template <std::size_t... I>
constexpr FunctionTable makeFunctionTable(std::index_sequence<I...>) {
    return FunctionTable{{{{functionFor<int(I), 0>(), functionFor<int(I), 1>()}}...}};
}
constinit const FunctionTable functionTable = makeFunctionTable(std::make_index_sequence<TablebaseClassCount>{});

}  // namespace

void buildIndexTables() {
    if (built) return;
    built = true;
    for (int s = 0; s < 64; ++s) {
        const int f = fileOf(s), r = rankOfSquare(s);
        quadrantMask[s] = uint8_t((f > 3 ? 7 : 0) | (r > 3 ? 56 : 0));
        fileMirror[s] = f > 3 ? 7 : 0;
        triangle[s] = f <= 3 && r <= f;
        lowerHalf[s] = f >= r;
        transposed[s] = uint8_t(f * 8 + r);
    }
    for (int t = 0; t < KindCount; ++t) {
        for (int k = 0; k < 64; ++k) {
            int n = 0;
            const bool pawn = t <= PawnUp;
            for (int s = 0; s < 64; ++s) {
                const bool skip = s == k || (pawn && (s < 8 || s >= 56)) || contactAttack(t, s, k);
                rankOf[t][k][s] = skip ? 255 : uint8_t(n++);
            }
            countOf[t][k] = n;
        }
    }
    buildPairs();
    buildBases();
    for (int c = 1; c < TablebaseClassCount; ++c) {
        for (int s = 0; s < 2; ++s) {
            const Plan p = makePlan(c, s);
            normalRange[c][s] = partRange(p) * digitsRange(p);
        }
    }
}

IndexFunction classIndexFunction(int classNumber, int side) {
    if (classNumber < 0 || classNumber >= TablebaseClassCount || side < 0 || side > 1) return nullptr;
    return functionTable[classNumber][side];
}

int64_t indexRange(int classNumber, int side) {
    if (classNumber <= 0 || classNumber >= TablebaseClassCount || side < 0 || side > 1) return 0;
    buildIndexTables();
    const Plan p = makePlan(classNumber, side);
    return normalRange[classNumber][side] + enPassantRange(p);
}

int kingPairNumber(bool pawns, int referenceKing, int otherKing) {
    buildIndexTables();
    if (referenceKing < 0 || referenceKing > 63 || otherKing < 0 || otherKing > 63) return NoPair;
    return pairIndex[pawns][referenceKing][otherKing];
}
