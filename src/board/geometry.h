// Bit-set geometry of the board, built at compile time.
#pragma once
#include <bit>
#include <cstdint>

#include "board/types.h"

// Bit sets for the single-square tests: where the men stand that could
// reach a square, and what lies between two squares of one line.
struct AttackGeometry {
    uint64_t pawnFrom[2][64];  // squares of the colour's pawns that attack s
    uint64_t knight[64];
    uint64_t king[64];
    // Squares from s outwards, s excluded: north, east, south, west, then
    // north-east, north-west, south-west, south-east.
    uint64_t ray[8][64];
    uint64_t diagonal[64];  // the two diagonals through s, s itself excluded
    uint64_t straight[64];  // file and rank through s, s itself excluded
    uint64_t between[64][64];
};

constexpr AttackGeometry buildGeometry() {
    AttackGeometry g{};
    const int steps[8][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    const int jumps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    auto on = [](int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; };
    for (int s = 0; s < 64; ++s) {
        const int f = s & 7, r = s >> 3;
        for (int c = 0; c < 2; ++c) {
            const int back = c == White ? -1 : 1;  // a pawn attacks forwards, so it stands behind
            for (int side = -1; side <= 1; side += 2)
                if (on(f + side, r + back)) g.pawnFrom[c][s] |= uint64_t{1} << ((r + back) * 8 + f + side);
        }
        for (const auto& j : jumps)
            if (on(f + j[0], r + j[1])) g.knight[s] |= uint64_t{1} << ((r + j[1]) * 8 + f + j[0]);
        for (int d = 0; d < 8; ++d) {
            uint64_t passed = 0;
            for (int tf = f + steps[d][0], tr = r + steps[d][1]; on(tf, tr); tf += steps[d][0], tr += steps[d][1]) {
                const int t = tr * 8 + tf;
                (d < 4 ? g.straight[s] : g.diagonal[s]) |= uint64_t{1} << t;
                g.ray[d][s] |= uint64_t{1} << t;
                if (t == s + steps[d][0] + 8 * steps[d][1]) g.king[s] |= uint64_t{1} << t;
                g.between[s][t] = passed;
                passed |= uint64_t{1} << t;
            }
        }
    }
    return g;
}

inline constexpr AttackGeometry geometry = buildGeometry();

// Ray numbers in the order the walk tables visit a rook's, a bishop's and a
// queen's directions.
inline constexpr int RookRays[4] = {1, 0, 3, 2};
inline constexpr int BishopRays[4] = {5, 4, 7, 6};

// The man nearest to the ray's origin among men on ray `dir`.
inline Square nearestOnRay(int dir, uint64_t men) {
    // Rays 0, 1, 4 and 5 run towards higher squares.
    return (dir & 2) == 0 ? std::countr_zero(men) : 63 - std::countl_zero(men);
}
