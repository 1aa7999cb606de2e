#include "board/tables.h"

#include <cstdlib>

#include "board/board.h"

uint8_t nextSquare[8][64][64];
uint8_t nextDirection[8][64][64];
int distance[64][64];
int knightJump[64][64];
LineEntry lineTable[64][64];

uint64_t pieceKey[2][8][64];
uint64_t castleKey[16];
uint64_t epKey[64];
uint32_t pawnKey[2][64];

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

struct RandomState {
    uint32_t s[55];
    int j;
    int k;
    bool seeded;
};
RandomState randomState;

bool keysBuilt = false;

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

uint64_t randomKey() {
    const uint64_t low = keyRandom();
    const uint64_t high = keyRandom();
    return low | (high << 32);
}

void generateKeys() {
    for (auto& colour : pieceKey)
        for (auto& piece : colour)
            for (auto& key : piece) key = randomKey();

    uint64_t rightKey[4];  // rights 1, 2, 4, 8
    for (auto& key : rightKey) key = randomKey();
    for (int v = 0; v < 16; ++v) {
        uint64_t key = 0;
        for (int bit = 0; bit < 4; ++bit)
            if (!(v & (1 << bit))) key ^= rightKey[bit];
        castleKey[v] = key;
    }

    for (auto& key : epKey) key = randomKey();

    for (int sq = 0; sq < 64; ++sq) {
        pawnKey[White][sq] = keyRandom();
        pawnKey[Black][sq] = keyRandom();
    }
}

void buildMoveTables() {
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

            int dest[8][7];
            int steps[8];
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
            int order[8];
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

void buildKnightJumps() {
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b)
            knightJump[a][b] = distance[a][b] == 2 && squareColour[a] != squareColour[b] ? 1 : 0;
}

void buildLineTable() {
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

}  // namespace

uint32_t keyRandom() {
    RandomState& r = randomState;
    if (!r.seeded) {
        for (int i = 0; i < 55; ++i) r.s[i] = seedTable[i];
        r.j = 23;
        r.k = 54;
        r.seeded = true;
    }
    r.s[r.k] += r.s[r.j];
    const uint32_t result = r.s[r.k];
    if (--r.j < 0) r.j = 54;
    if (--r.k < 0) r.k = 54;
    return result;
}

void buildDistanceTable() {
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const int df = std::abs(fileOf(a) - fileOf(b));
            const int dr = std::abs(rankOf(a) - rankOf(b));
            distance[a][b] = df > dr ? df : dr;
        }
}

void initTables() {
    if (!keysBuilt) {
        generateKeys();
        keysBuilt = true;
    }
    buildMoveTables();
    buildDistanceTable();
    buildKnightJumps();
    buildLineTable();
}

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
