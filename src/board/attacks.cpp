#include "board/attacks.h"

#include <bit>
#include <cassert>
#include <cstring>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "board/board.h"
#include "board/geometry.h"
#include "board/tables.h"

const uint32_t attackWeight[8] = {0, 0x10000000, 0x01000000, 0x00100000, 0x00010000, 0x1000, 0x100, 0};
const int sliderFlag[8] = {0, 0, 0, 1, 1, 1, 0, 0};

namespace {

// Sixteen plain stores: a string store pays a start-up cost larger than the
// whole clear of 256 bytes.
inline void clearTable(uint32_t* table) {
#ifdef __SSE2__
    // Written out, so that the compiler cannot turn it back into a loop it
    // would hand to the string store.
    [table]<size_t... I>(std::index_sequence<I...>) {
        (_mm_storeu_si128(reinterpret_cast<__m128i*>(table) + I, _mm_setzero_si128()), ...);
    }(std::make_index_sequence<16>{});
#else
    std::memset(table, 0, 64 * sizeof(uint32_t));
#endif
}

inline void addEach(uint32_t* table, uint64_t squares, uint32_t unit) {
    for (; squares; squares &= squares - 1) table[std::countr_zero(squares)] += unit;
}

// Adds unit to the squares a slider on `from` reaches along ray Dir over
// `occupied`, the first man included. Behind an own man in xrayMen the ray
// goes on with count-only x-ray attacks, up to and including the next man.
template <int Dir>
inline void addRayAttacks(uint32_t* table, Square from, uint32_t unit, uint64_t occupied, uint64_t xrayMen) {
    constexpr bool Up = (Dir & 2) == 0;  // towards higher squares: the nearest man is the lowest bit
    const uint64_t* ray = geometry.ray[Dir];
    auto nearest = [](uint64_t men) { return Up ? std::countr_zero(men) : 63 - std::countl_zero(men); };
    uint64_t reach = ray[from];
    if (const uint64_t blockers = reach & occupied) {
        const int b = nearest(blockers);
        reach ^= ray[b];
        if ((xrayMen >> b) & 1) {
            uint64_t behind = ray[b];
            if (const uint64_t next = behind & occupied) behind ^= ray[nearest(next)];
            addEach(table, behind, 1);
        }
    }
    addEach(table, reach, unit);
}

inline void addStraightAttacks(uint32_t* table, Square from, uint32_t unit, uint64_t occupied, uint64_t xrayMen) {
    addRayAttacks<0>(table, from, unit, occupied, xrayMen);
    addRayAttacks<1>(table, from, unit, occupied, xrayMen);
    addRayAttacks<2>(table, from, unit, occupied, xrayMen);
    addRayAttacks<3>(table, from, unit, occupied, xrayMen);
}

inline void addDiagonalAttacks(uint32_t* table, Square from, uint32_t unit, uint64_t occupied, uint64_t xrayMen) {
    addRayAttacks<4>(table, from, unit, occupied, xrayMen);
    addRayAttacks<5>(table, from, unit, occupied, xrayMen);
    addRayAttacks<6>(table, from, unit, occupied, xrayMen);
    addRayAttacks<7>(table, from, unit, occupied, xrayMen);
}

}  // namespace

// Does a slider in candidates see `square` over empty squares?
inline bool Position::clearLineFrom(uint64_t candidates, Square square) const {
    for (; candidates; candidates &= candidates - 1)
        if (!(geometry.between[square][std::countr_zero(candidates)] & occupiedSet)) return true;
    return false;
}

inline int Position::isAttackedBy(int colour, Square square) const {
    const uint64_t* men = &menSet[colour * 8];
    if ((geometry.pawnFrom[colour][square] & men[Pawn]) || (geometry.knight[square] & men[Knight])) return 1;
    if (clearLineFrom((men[Bishop] | men[Queen]) & geometry.diagonal[square], square)) return 1;
    return clearLineFrom((men[Rook] | men[Queen]) & geometry.straight[square], square) ? 1 : 0;
}

void Position::computeAttacks(int colour, AttackTable& table) const {
    assert(colour == White || colour == Black);
    clearTable(table);

    // The enemy king must not shelter the squares behind it from a slider,
    // or a checked king could step back along the checking line: it is
    // left out of the men that stop a ray.
    const Square enemyKing = pieceList[colour ^ 1][0];
    const uint64_t occupied = occupiedSet & ~(uint64_t{1} << enemyKing);
    const uint64_t* own = &menSet[colour * 8];
    const uint64_t straightXray = own[Rook] | own[Queen];
    const uint64_t diagonalXray = own[Queen];

    // Kind by kind over the bit sets: the sums do not depend on the order,
    // and the loops never guess which kind comes next.
    const uint32_t pawnUnit = attackWeight[Pawn] + 1;
    const uint64_t pawns = own[Pawn];
    constexpr uint64_t FileA = 0x0101010101010101ull, FileH = FileA << 7;
    if (colour == White) {
        addEach(table, (pawns & ~FileA) << 7, pawnUnit);
        addEach(table, (pawns & ~FileH) << 9, pawnUnit);
    } else {
        addEach(table, (pawns & ~FileH) >> 7, pawnUnit);
        addEach(table, (pawns & ~FileA) >> 9, pawnUnit);
    }
    for (uint64_t men = own[Knight]; men; men &= men - 1)
        addEach(table, geometry.knight[std::countr_zero(men)], attackWeight[Knight] + 1);
    for (uint64_t men = own[Bishop]; men; men &= men - 1)
        addDiagonalAttacks(table, std::countr_zero(men), attackWeight[Bishop] + 1, occupied, diagonalXray);
    for (uint64_t men = own[Rook]; men; men &= men - 1)
        addStraightAttacks(table, std::countr_zero(men), attackWeight[Rook] + 1, occupied, straightXray);
    for (uint64_t men = own[Queen]; men; men &= men - 1) {
        const Square from = std::countr_zero(men);
        addStraightAttacks(table, from, attackWeight[Queen] + 1, occupied, straightXray);
        addDiagonalAttacks(table, from, attackWeight[Queen] + 1, occupied, diagonalXray);
    }
    addEach(table, geometry.king[pieceList[colour][0]], attackWeight[King] + 1);

    // A lone checking slider is counted once at the king: the x-rays behind
    // it say nothing about the king's square.
    const uint32_t word = table[enemyKing];
    if ((word & CountMask) > 1) {
        const uint32_t kinds = word & ~CountMask;
        if (kinds == 0x100000 || kinds == 0x10000 || kinds == 0x1000) table[enemyKing] = kinds + 1;
    }
}

void Position::buildAttackTables(int ply) {
    assert(ply >= 0 && ply < MaxPly);
    // A null move leaves every man where it stood, so the tables one ply up,
    // if they were built for that very position, hold here too.
    if (ply > 0 && undoStack.move[ply - 1] == 0 && attackCacheValid[ply - 1] && attackTableKey[ply - 1] != 0 &&
        attackTableKey[ply - 1] == undoStack.key[ply - 1]) {
        std::memcpy(attackTables[ply], attackTables[ply - 1], sizeof attackTables[ply]);
    } else {
        computeAttacks(White, attackTables[ply][White]);
        computeAttacks(Black, attackTables[ply][Black]);
    }
    attackTableKey[ply] = hashKey;
    attackCacheValid[ply] = 1;
}

bool Position::lineOpenedOnto(int attacker, Square target, Square vacated) const {
    const LineEntry line = lineTable[vacated][target];
    if (line.kind == 0) return false;
    const uint64_t* men = &menSet[attacker * 8];
    uint64_t sliders = (men[Queen] | men[line.kind]) & (line.kind == Rook ? geometry.straight : geometry.diagonal)[target];
    for (; sliders; sliders &= sliders - 1) {
        const Square s = std::countr_zero(sliders);
        // Only the side of the target the vacated square lies on can open.
        if (lineTable[s][target].step == line.step && !(geometry.between[s][target] & occupiedSet)) return true;
    }
    return false;
}

int Position::isAttackedByWhite(Square square) const {
    assert(square >= 0 && square < 64);
    return isAttackedBy(White, square);
}

int Position::isAttackedByBlack(Square square) const {
    assert(square >= 0 && square < 64);
    return isAttackedBy(Black, square);
}

bool Position::ownKingAttacked(int side) const {
    const Square king = pieceList[side][0];
    // The single-square tests ignore kings; two kings side by side are
    // caught by their distance.
    if (distance[king][pieceList[side ^ 1][0]] <= 1) return true;
    return side == White ? isAttackedByBlack(king) != 0 : isAttackedByWhite(king) != 0;
}

int staticExchange(int score, int target, uint32_t ours, uint32_t theirs) {
    // Every attacker is also in the count byte, so a zero count means no
    // attacker even if a malformed word has a field set.
    if ((ours & CountMask) == 0) return score;
    const int next = -(score + target);
    auto better = [score](int reply) { return reply > score ? reply : score; };
    // A pawn capture never loses material before the recapture, so it is always made.
    if (ours & PawnField) return -staticExchange(next, 100, theirs, ours - 0x10000001);
    if (ours & KnightField) return better(-staticExchange(next, 330, theirs, ours - 0x1000001));
    if (ours & BishopField) return better(-staticExchange(next, 350, theirs, ours - 0x100001));
    if (ours & RookField) return better(-staticExchange(next, 520, theirs, ours - 0x10001));
    if (ours & QueenField) return better(-staticExchange(next, 1040, theirs, ours - 0x1001));
    if (ours & KingField) return theirs != 0 ? score : score + target;
    // Only x-ray counts are left; the hidden attacker is assumed to be a queen.
    return better(-staticExchange(next, 1040, theirs, ours - 1));
}
