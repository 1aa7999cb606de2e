#include "board/tables.h"

#include "board/board.h"

// a1 is dark; the knight test relies on this pattern.
const int squareColour[64] = {
    1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1,
    1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1,
};

namespace {

// The book file is keyed by these draws, so the seeds and the order of the
// draws below are fixed for good.
constexpr uint32_t seedTable[55] = {
    1410651636u, 3012776752u, 3497475623u, 2892145026u, 1571949714u, 3253082284u, 3489895018u,
    387949491u,  2597396737u, 1981903553u, 3160251843u, 129444464u,  1851443344u, 4156445905u,
    224604922u,  1455067070u, 3953493484u, 1460937157u, 2528362617u, 317430674u,  3229354360u,
    117491133u,  832845075u,  1961600170u, 1321557429u, 747750121u,  545747446u,  810476036u,
    503334515u,  4088144633u, 2824216555u, 3738252341u, 3493754131u, 3672533954u, 29494241u,
    1180928407u, 4213624418u, 33062851u,   3221315737u, 1145213552u, 2957984897u, 4078668503u,
    2262661702u, 65478801u,   2527208841u, 1960622036u, 315685891u,  1196037864u, 804614524u,
    1421733266u, 2017105031u, 3882325900u, 810735053u,  384606609u,  2393861397u,
};

// Lagged Fibonacci draws from the seed table.
struct KeyRandom {
    uint32_t s[55] = {};
    int j = 23;
    int k = 54;
    constexpr KeyRandom() {
        for (int i = 0; i < 55; ++i) s[i] = seedTable[i];
    }
    constexpr uint32_t next() {
        s[k] += s[j];
        const uint32_t result = s[k];
        if (--j < 0) j = 54;
        if (--k < 0) k = 54;
        return result;
    }
    constexpr uint64_t next64() {
        const uint64_t low = next();
        const uint64_t high = next();
        return low | (high << 32);
    }
};

// 10 x 12 board: two guard rows above and below, one guard file each side,
// so a single knight jump from any square stays inside the array.
constexpr auto buildMailbox() {
    struct Box {
        int v[120];
    } box{};
    for (int i = 0; i < 120; ++i) box.v[i] = -1;
    for (int rank = 0; rank < 8; ++rank)
        for (int file = 0; file < 8; ++file) box.v[21 + 10 * rank + file] = rank * 8 + file;
    return box;
}
constexpr auto mailbox = buildMailbox();

constexpr int directionRow[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {10, 9, 11, 0, 0, 0, 0, 0},
    {8, -8, 12, -12, 19, -19, 21, -21},
    {9, 11, -9, -11, 0, 0, 0, 0},
    {1, 10, -1, -10, 0, 0, 0, 0},
    {1, 10, -1, -10, 9, 11, -9, -11},
    {1, 10, -1, -10, 9, 11, -9, -11},
    {-10, -9, -11, 0, 0, 0, 0, 0},
};
constexpr int maxSteps[8] = {0, 2, 1, 7, 7, 7, 1, 2};

constexpr int initialPiece[64] = {
    Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook,  //
    Pawn, Pawn,   Pawn,   Pawn,  Pawn, Pawn,   Pawn,   Pawn,  //
    0,    0,      0,      0,     0,    0,      0,      0,     //
    0,    0,      0,      0,     0,    0,      0,      0,     //
    0,    0,      0,      0,     0,    0,      0,      0,     //
    0,    0,      0,      0,     0,    0,      0,      0,     //
    Pawn, Pawn,   Pawn,   Pawn,  Pawn, Pawn,   Pawn,   Pawn,  //
    Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook,
};

constexpr void generateKeys(PrecomputedTables& t) {
    KeyRandom random;
    for (auto& colour : t.pieceKey)
        for (auto& piece : colour)
            for (auto& key : piece) key = random.next64();

    uint64_t rightKey[4] = {};  // rights 1, 2, 4, 8
    for (auto& key : rightKey) key = random.next64();
    for (int v = 0; v < 16; ++v) {
        uint64_t key = 0;
        for (int bit = 0; bit < 4; ++bit)
            if (!(v & (1 << bit))) key ^= rightKey[bit];
        t.castleKey[v] = key;
    }

    for (auto& key : t.epKey) key = random.next64();

    for (int sq = 0; sq < 64; ++sq) {
        t.pawnKey[White][sq] = random.next();
        t.pawnKey[Black][sq] = random.next();
    }
}

constexpr void buildMoveTables(PrecomputedTables& t) {
    auto& nextSquare = t.nextSquare;
    auto& nextDirection = t.nextDirection;
    for (int t = 0; t < 8; ++t)
        for (int o = 0; o < 64; ++o)
            for (int s = 0; s < 64; ++s) {
                nextSquare[t][o][s] = uint8_t(o);
                nextDirection[t][o][s] = uint8_t(o);
            }

    for (int t = 1; t <= 7; ++t) {
        const bool pawnType = t == Pawn || t == BlackPawnType;
        for (int m = 21; m <= 98; ++m) {
            const int o = mailbox.v[m];
            if (o < 0) continue;

            int dest[8][7] = {};
            int steps[8] = {};
            for (int d = 0; d < 8; ++d) {
                dest[d][0] = o;
                steps[d] = 0;
                const int step = directionRow[t][d];
                if (step == 0) continue;
                for (int s = 1; s <= maxSteps[t]; ++s) {
                    if (pawnType && s == 2 && !(d == 0 && initialPiece[o] == Pawn)) break;
                    const int sq = mailbox.v[m + s * step];
                    if (sq < 0) break;
                    dest[d][steps[d]++] = sq;
                }
            }

            if (pawnType) {
                nextSquare[t][o][o] = uint8_t(dest[0][0]);
                if (steps[0] >= 2) nextSquare[t][o][dest[0][0]] = uint8_t(dest[0][1]);
                nextDirection[t][o][o] = uint8_t(dest[1][0]);
                nextDirection[t][o][dest[1][0]] = uint8_t(dest[2][0]);
                continue;
            }

            // Empty directions go last so every ray links straight to the next
            // one that has squares.
            int order[8] = {};
            int count = 0;
            for (int d = 0; d < 8; ++d)
                if (steps[d] > 0) order[count++] = d;
            for (int d = 0; d < 8; ++d)
                if (steps[d] == 0) order[count++] = d;

            nextDirection[t][o][o] = uint8_t(dest[order[0]][0]);
            int cursor = o;
            for (int i = 0; i < 8; ++i) {
                const int d = order[i];
                for (int s = 0; s < steps[d]; ++s) {
                    const int q = dest[d][s];
                    nextSquare[t][o][cursor] = uint8_t(q);
                    cursor = q;
                    if (i < 7) nextDirection[t][o][q] = uint8_t(dest[order[i + 1]][0]);
                }
            }
        }
    }
}

constexpr void buildDistanceTable(PrecomputedTables& t) {
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const int df = fileOf(a) > fileOf(b) ? fileOf(a) - fileOf(b) : fileOf(b) - fileOf(a);
            const int dr = rankOf(a) > rankOf(b) ? rankOf(a) - rankOf(b) : rankOf(b) - rankOf(a);
            t.distance[a][b] = df > dr ? df : dr;
        }
}

constexpr void buildKnightJumps(PrecomputedTables& t) {
    // Two squares apart in king distance, on squares of different colours.
    auto colour = [](int s) { return (fileOf(s) + rankOf(s)) & 1; };
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) t.knightJump[a][b] = t.distance[a][b] == 2 && colour(a) != colour(b) ? 1 : 0;
}

constexpr void buildLineTable(PrecomputedTables& t) {
    auto& lineTable = t.lineTable;
    const auto& distance = t.distance;
    for (auto& row : lineTable)
        for (auto& entry : row) entry = LineEntry{0, 0};
    constexpr int lineSteps[8] = {8, -8, 1, -1, 9, -9, 7, -7};
    for (int a = 0; a < 64; ++a)
        for (int i = 0; i < 8; ++i) {
            const int step = lineSteps[i];
            const int kind = i < 4 ? 4 : 3;
            // A step that wraps round the board edge moves more than one
            // square in king distance, which ends the ray.
            for (int prev = a, s = a + step; s >= 0 && s < 64 && distance[prev][s] == 1;
                 prev = s, s += step)
                lineTable[a][s] = LineEntry{kind, step};
        }
}

constexpr PrecomputedTables buildTables() {
    PrecomputedTables t{};
    generateKeys(t);
    buildMoveTables(t);
    buildDistanceTable(t);
    buildKnightJumps(t);
    buildLineTable(t);
    return t;
}

}  // namespace

constexpr PrecomputedTables precomputedTables = buildTables();

uint64_t Position::computeHashKey(int side) const {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const SquareState& st = board[sq];
        if (st.colour != NoColour) key ^= pieceKey[st.colour & 1][st.piece & 7][sq];
    }
    key ^= castleKey[castleRights & 15];
    if (epSquare != 0) key ^= epKey[epSquare & 63];
    return (key & ~uint64_t(1)) | uint64_t(side & 1);
}
