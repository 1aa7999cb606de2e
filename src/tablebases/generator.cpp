#include "tablebases/generator.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "tablebases/classes.h"
#include "tablebases/indexing.h"
#include "tablebases/parallel.h"
#include "tablebases/tablefiles.h"

namespace tbgen {

namespace {

// Piece codes as on the board: 1 pawn .. 5 queen, 6 king.
constexpr int Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6;

uint64_t kingAttacks[64], knightAttacks[64], pawnAttacks[2][64], between[64][64];
uint8_t lineKind[64][64];  // 1 same rank or file, 2 same diagonal
int8_t rays[64][8][8];     // squares outward in each direction, -1 ends; 0..3 straight, 4..7 diagonal
int pawnlessSlot[64], pawnSlot[64], slotSquare[2][32];

void initGeometry() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto onBoard = [](int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; };
        for (int s = 0; s < 64; ++s) {
            const int f = s & 7, r = s >> 3;
            static const int kd[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
            static const int nd[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
            for (auto& d : kd)
                if (onBoard(f + d[0], r + d[1])) kingAttacks[s] |= 1ULL << (s + d[0] + 8 * d[1]);
            for (auto& d : nd)
                if (onBoard(f + d[0], r + d[1])) knightAttacks[s] |= 1ULL << (s + d[0] + 8 * d[1]);
            for (int df : {-1, 1}) {
                if (onBoard(f + df, r + 1)) pawnAttacks[0][s] |= 1ULL << (s + df + 8);
                if (onBoard(f + df, r - 1)) pawnAttacks[1][s] |= 1ULL << (s + df - 8);
            }
            for (int k = 0; k < 8; ++k) {
                uint64_t path = 0;
                for (int step = 1;; ++step) {
                    const int tf = f + kd[k][0] * step, tr = r + kd[k][1] * step;
                    rays[s][k][step - 1] = -1;
                    if (!onBoard(tf, tr)) break;
                    const int t = tf + 8 * tr;
                    rays[s][k][step - 1] = int8_t(t);
                    lineKind[s][t] = k < 4 ? 1 : 2;
                    between[s][t] = path;
                    path |= 1ULL << t;
                }
            }
        }
        int pawnless = 0, pawn = 0;
        for (int s = 0; s < 64; ++s) {
            const int f = s & 7, r = s >> 3;
            pawnlessSlot[s] = f < 4 && r <= f ? pawnless : -1;
            if (pawnlessSlot[s] >= 0) slotSquare[0][pawnless++] = s;
            pawnSlot[s] = f < 4 ? pawn : -1;
            if (pawnSlot[s] >= 0) slotSquare[1][pawn++] = s;
        }
    });
}

bool attacksSquare(int piece, int colour, int from, int to, uint64_t occupied) {
    switch (piece) {
    case Pawn: return (pawnAttacks[colour][from] >> to) & 1;
    case Knight: return (knightAttacks[from] >> to) & 1;
    case King: return (kingAttacks[from] >> to) & 1;
    case Bishop: return lineKind[from][to] == 2 && !(between[from][to] & occupied);
    case Rook: return lineKind[from][to] == 1 && !(between[from][to] & occupied);
    case Queen: return lineKind[from][to] != 0 && !(between[from][to] & occupied);
    }
    return false;
}

int transposed(int s) { return ((s & 7) << 3) | (s >> 3); }

// Brings the first king into the stored region; a pawnless position whose
// first king stands on the long diagonal is settled by the first man off it,
// so that every position has exactly one stored form.
// Entries past the men are scratch and may be changed too. Whether the
// squares changed.
bool normalise(int* sq, int n, bool pawns, int* ep) {
    if (pawns) {
        if ((sq[0] & 7) < 4) return false;
        for (int i = 0; i < MaxMen; ++i) sq[i] ^= 7;
        if (ep && *ep < 64) *ep ^= 7;
        return true;
    }
    const int m = ((sq[0] & 7) >= 4 ? 7 : 0) | ((sq[0] >> 3) >= 4 ? 56 : 0);
    for (int i = 0; i < MaxMen; ++i) sq[i] ^= m;
    const int f = sq[0] & 7, r = sq[0] >> 3;
    bool flip = f < r;
    if (f == r)
        for (int i = 1; i < n; ++i)
            if ((sq[i] & 7) != (sq[i] >> 3)) {
                flip = (sq[i] & 7) < (sq[i] >> 3);
                break;
            }
    if (flip)
        for (int i = 0; i < MaxMen; ++i) sq[i] = transposed(sq[i]);
    return m != 0 || flip;
}

// State of a node (a position and side to move) while its class is being
// generated, in 16 bits. "Level" is the ply count of the retrograde pass
// being run; plies take the low 8 bits (a loss in 127 moves is 254 plies).
//   Invalid                no legal position: never changes.
//   WinFlag | p            resolved: the side to move wins in p plies (p odd).
//   LossFlag | p           resolved: the side to move loses in p plies (p even);
//                          LossFlag | 0 is checkmate.
//   PendingWin | p         a capture or promotion wins in p plies; the node
//                          becomes WinFlag | p at level p unless a quicker
//                          win inside the class reaches it first.
//   NotLosable             a conversion (or stalemate) draws: never lost;
//                          won if some move inside the class wins.
//   open (top bit clear)   bits 8..14 count the distinct successors inside
//                          the class not yet known to win for the opponent;
//                          the low 8 bits are the floor: a loss, once that
//                          count is 0, comes no sooner than the longest lost
//                          conversion.
// What stays unresolved after the last level is a draw. The count sits in
// the same word as the rest so that one compare-and-swap both counts a
// successor down and settles the loss it completes.
using NodeState = uint16_t;
constexpr NodeState Invalid = 0xFFFF;
constexpr NodeState KindMask = 0xE000;
constexpr NodeState WinFlag = 0x8000, LossFlag = 0xA000, PendingWin = 0xC000, NotLosable = 0xE000;
constexpr NodeState PliesMask = 0x00FF;
constexpr NodeState OpenUnit = 0x0100;  // one successor in an open node's count
constexpr int MaxOpenCount = 0x7F;
constexpr int MaxPlies = PliesMask;  // a level past it would be a win in 128
constexpr bool isOpen(NodeState v) { return !(v & 0x8000); }
constexpr int openCount(NodeState v) { return v >> 8; }
constexpr NodeState openNode(int count, int floorPlies) { return NodeState(count << 8 | floorPlies); }
constexpr bool unresolved(NodeState v) {
    return isOpen(v) || (v & KindMask) == PendingWin || v == NotLosable;
}
constexpr bool settled(NodeState v) { return (v & 0xC000) == 0x8000; }
constexpr int pliesOf(NodeState v) { return v & PliesMask; }
// The level at which an unresolved node settles by itself unless its moves
// inside the class settle it first (a pending win, an open node whose
// successors are all lost), or NoEvent.
// Events come no later than 254 plies (a pending win answers a loss in at
// most 126 moves; a floor answers a win in at most 127), so the last level,
// which only looks for wins in 128 moves, shares its number with NoEvent
// and must never take it for an event.
constexpr int NoEvent = 0xFF;
constexpr int eventLevel(NodeState v) {
    if ((v & KindMask) == PendingWin) return pliesOf(v);
    if (isOpen(v) && openCount(v) == 0) return pliesOf(v);
    return NoEvent;
}
constexpr bool eventFalls(int event, int plies) { return event == plies && event != NoEvent; }

NodeState load(NodeState& v) { return std::atomic_ref<NodeState>(v).load(std::memory_order_relaxed); }
bool exchange(NodeState& v, NodeState expected, NodeState desired) {
    return std::atomic_ref<NodeState>(v).compare_exchange_strong(expected, desired, std::memory_order_relaxed);
}

// Nodes are scanned in groups of 64 consecutive indices (the last man on
// every square). A group is looked at in a level only when one of its nodes
// settled at the level before (its flag for that level's parity) or its
// earliest event falls due; the rest of the table is not read.
constexpr int GroupShift = 6;

// Node ids: a stored index, or with EnPassantNodeTag set the number of an
// en-passant node (a position right after a double step that can be taken
// en passant, kept apart in epKey / epState order).
constexpr uint64_t EnPassantNodeTag = 1ULL << 63;

// Node ids of the positions one move away, each once. Positions that
// normalising left unchanged are distinct boards, hence distinct ids; only
// one brought in by a symmetry can repeat another.
struct NeighbourIds {
    static constexpr int Capacity = 512;
    uint64_t id[Capacity];
    uint64_t mirrored[Capacity];
    int count = 0, mirroredCount = 0;

    void add(uint64_t value, bool changed) {
        assert(count + mirroredCount < Capacity);
        if (changed) mirrored[mirroredCount++] = value;
        else id[count++] = value;
    }
    int distinct() {
        for (int i = 0; i < mirroredCount; ++i)
            if (std::find(id, id + count, mirrored[i]) == id + count) id[count++] = mirrored[i];
        mirroredCount = 0;
        return count;
    }
};

// Working tables of one class while it is being generated.
struct Work {
    Table& table;
    const Generator& generator;
    const Material& m;
    int n;
    int kingOf[2];
    std::vector<NodeState> state[2];
    std::vector<NodeState> epState[2];
    // Per group and side: a node settled in a level of that parity; the
    // earliest event level of its nodes (never later than any of them).
    std::vector<uint8_t> settledIn[2][2];
    std::vector<uint8_t> groupEvent[2];
    std::atomic<int> lastPending{0};
    std::atomic<uint64_t> resolved{0};
    mutable std::atomic<bool> lookupFailed{false};  // a conversion's result was not to be had
    ConversionPlan plans[(MaxMen + 1) * MaxMen * (King + 1)];  // by planKey
    // Successor files (class, side to move in it) the conversions of each
    // side to move read, each once.
    std::vector<std::pair<int, int>> successorFiles[2];

    Work(Table& t, const Generator& g) : table(t), generator(g), m(t.material), n(t.material.count) {
        kingOf[0] = 0;
        kingOf[1] = 1;
        while (m.colour[kingOf[1]] == 0) ++kingOf[1];
    }

    uint64_t occupancy(const int* sq, int skip = -1) const {
        uint64_t occ = 0;
        for (int i = 0; i < n; ++i)
            if (i != skip) occ |= 1ULL << sq[i];
        return occ;
    }

    // Moving any man but the first king keeps a stored placement stored,
    // unless a pawnless first king stands on the long diagonal (there the
    // other men settle the form). Then the index changes in that man's six
    // bits alone, and most moves need neither a copy nor normalising.
    bool formKeptByOthers(const int* sq) const { return m.pawns || (sq[0] & 7) != (sq[0] >> 3); }
    uint64_t movedIndex(uint64_t index, const int* sq, int man, int to) const {
        assert(man > 0 && man < n);
        return index ^ uint64_t(sq[man] ^ to) << 6 * (n - 1 - man);
    }

#ifndef NDEBUG
    uint64_t slowIndex(const int* sq, int man, int to) const {
        int moved[MaxMen];
        std::copy_n(sq, MaxMen, moved);
        moved[man] = to;
        const bool changed = normalise(moved, n, m.pawns, nullptr);
        assert(!changed);
        return table.storedIndex(moved);
    }
#endif

    // Squares the men of colour attack with the board occupied as given.
    uint64_t attackedBy(int colour, const int* sq, uint64_t occ) const {
        uint64_t attacked = 0;
        for (int i = 0; i < n; ++i) {
            if (m.colour[i] != colour) continue;
            const int from = sq[i], piece = m.piece[i];
            if (piece == Pawn) attacked |= pawnAttacks[colour][from];
            else if (piece == Knight) attacked |= knightAttacks[from];
            else if (piece == King) attacked |= kingAttacks[from];
            else
                for (int d = piece == Bishop ? 4 : 0; d < (piece == Rook ? 4 : 8); ++d)
                    for (const int8_t* t = rays[from][d]; *t >= 0; ++t) {
                        attacked |= 1ULL << *t;
                        if (occ >> *t & 1) break;
                    }
        }
        return attacked;
    }

    bool kingAttacked(const int* sq, int colour, int skip = -1) const {
        const uint64_t occ = occupancy(sq, skip);
        const int target = sq[kingOf[colour]];
        for (int i = 0; i < n; ++i)
            if (i != skip && m.colour[i] != colour && attacksSquare(m.piece[i], m.colour[i], sq[i], target, occ))
                return true;
        return false;
    }

    // Distinct squares, pawns on ranks 2..7, the stored form of itself.
    bool storedPlacement(const int* sq) const {
        uint64_t occ = 0;
        for (int i = 0; i < n; ++i) {
            if (occ >> sq[i] & 1) return false;
            occ |= 1ULL << sq[i];
            if (m.piece[i] == Pawn && (sq[i] < 8 || sq[i] >= 56)) return false;
        }
        if (m.pawns || (sq[0] & 7) != (sq[0] >> 3)) return true;
        for (int i = 1; i < n; ++i)
            if ((sq[i] & 7) != (sq[i] >> 3)) return (sq[i] & 7) > (sq[i] >> 3);
        return true;
    }

    bool pawnOf(const int* sq, int colour, int square) const {
        for (int i = 0; i < n; ++i)
            if (sq[i] == square && m.piece[i] == Pawn && m.colour[i] == colour) return true;
        return false;
    }

    // A double step of a pawn of colour just arriving on to leaves an
    // en-passant right exactly when an enemy pawn stands beside it.
    bool epRightAfter(const int* sq, int colour, int to) const {
        return ((to & 7) > 0 && pawnOf(sq, colour ^ 1, to - 1)) || ((to & 7) < 7 && pawnOf(sq, colour ^ 1, to + 1));
    }

    int64_t epNode(int side, uint64_t index, int ep) const {
        const auto& keys = table.epKey[side];
        const uint64_t key = index << 6 | uint64_t(ep);
        auto it = std::lower_bound(keys.begin(), keys.end(), key);
        return it != keys.end() && *it == key ? it - keys.begin() : -1;
    }

    void collectEnPassantNodes() {
        for (int side = 0; side < 2; ++side) {
            const int mover = side ^ 1;  // made the double step
            int sq[MaxMen] = {};
            for (uint64_t index = 0; index < table.positions; ++index) {
                table.squaresOf(index, sq);
                if (!storedPlacement(sq) || kingAttacked(sq, mover)) continue;
                int eps[2], count = 0;
                for (int i = 0; i < n; ++i) {
                    if (m.piece[i] != Pawn || m.colour[i] != mover) continue;
                    const int dir = mover == 0 ? 8 : -8;
                    if ((sq[i] >> 3) != (mover == 0 ? 3 : 4)) continue;
                    const uint64_t behind = 1ULL << (sq[i] - dir) | 1ULL << (sq[i] - 2 * dir);
                    if ((occupancy(sq) & behind) || !epRightAfter(sq, mover, sq[i])) continue;
                    eps[count++] = sq[i] - dir;
                }
                if (count == 2 && eps[0] > eps[1]) std::swap(eps[0], eps[1]);
                for (int k = 0; k < count; ++k) table.epKey[side].push_back(index << 6 | uint64_t(eps[k]));
            }
            epState[side].assign(table.epKey[side].size(), 0);
        }
    }

    // Men left by a capture and/or promotion; the plan's key.
    int convertedMen(int capturedMan, int movedMan, int promotion, int* piece, int* colour) const {
        int k = 0;
        for (int i = 0; i < n; ++i) {
            if (i == capturedMan) continue;
            piece[k] = i == movedMan && promotion ? promotion : m.piece[i];
            colour[k++] = m.colour[i];
        }
        return k;
    }
    static int planKey(int capturedMan, int movedMan, int promotion) {
        return ((capturedMan + 1) * MaxMen + (promotion ? movedMan : 0)) * (King + 1) + promotion;
    }
    // Every kind of conversion planned up front when successors come from
    // files: finding the class and the men's order per move cost as much as
    // reading the result.
    void planConversions() {
        for (int captured = -1; captured < n; ++captured)
            for (int moved = 0; moved < n; ++moved)
                for (int promotion = 0; promotion <= Queen; ++promotion) {
                    if (captured < 0 && !promotion) continue;
                    int piece[MaxMen], colour[MaxMen];
                    const int k = convertedMen(captured, moved, promotion, piece, colour);
                    const ConversionPlan& plan = plans[planKey(captured, moved, promotion)] =
                        generator.planConversion(piece, colour, k);
                    if (plan.valid && !plan.bareKings && canHappen(captured, moved, promotion)) {
                        // The move passes to the other side in the class it lands in.
                        const int mover = promotion ? m.colour[moved] : m.colour[captured] ^ 1;
                        const std::pair<int, int> file{plan.classNumber, mover ^ 1 ^ plan.flip};
                        auto& files = successorFiles[mover];
                        if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
                    }
                }
    }
    // Plans are made for every key, many of which no move makes: only a pawn
    // promotes, to a knight up to a queen, and a pawn never stands where a
    // promotion captures.
    bool canHappen(int captured, int moved, int promotion) const {
        if (captured >= 0 && m.piece[captured] == King) return false;
        if (!promotion) return true;
        return m.piece[moved] == Pawn && promotion >= Knight &&
               (captured < 0 || (m.colour[captured] != m.colour[moved] && m.piece[captured] != Pawn));
    }
    // Bytes of the successor files a side's pass reads.
    int64_t successorBytes(int side) const {
        int64_t bytes = 0;
        for (auto [classNumber, fileSide] : successorFiles[side]) bytes += ClassTable[classNumber].size[fileSide];
        return bytes;
    }

    int8_t convert(const int* sq, int capturedMan, int movedMan, int promotion, int sideAfter) const {
        int square[MaxMen], k = 0;
        for (int i = 0; i < n; ++i)
            if (i != capturedMan) square[k++] = sq[i];
        int8_t v = 0;
        const ConversionPlan& plan = plans[planKey(capturedMan, movedMan, promotion)];
        bool found;
        if (plan.valid) {
            found = generator.lookup(plan, square, sideAfter, v);
        } else {
            int piece[MaxMen], colour[MaxMen];
            convertedMen(capturedMan, movedMan, promotion, piece, colour);
            found = generator.lookup(piece, colour, square, k, sideAfter, v);
        }
        if (!found) lookupFailed.store(true, std::memory_order_relaxed);
        return v;
    }

    // Moves of a position: conversions are settled from smaller tables,
    // moves inside the class are counted by distinct successor.
    NodeState initNode(const int* sq, int side, int ep) {
        int at[64];
        std::fill(at, at + 64, -1);
        for (int i = 0; i < n; ++i) at[sq[i]] = i;
        NeighbourIds successors;
        // Men whose moves cannot leave their own king attacked: not in
        // check, and no enemy line to the king runs through them.
        unsigned freeMen = 0;
        const int king = sq[kingOf[side]];
        if (!kingAttacked(sq, side))
            for (int i = 0; i < n; ++i)
                if (m.colour[i] == side && i != kingOf[side] && (!lineKind[king][sq[i]] || !kingAttacked(sq, side, i)))
                    freeMen |= 1u << i;
        bool anyMove = false, notLosable = false;
        constexpr int NoWin = 0xFFFF;
        int winPlies = NoWin, floorPlies = 0;
        int next[MaxMen] = {};
        const uint64_t here = table.storedIndex(sq);
        const bool formKept = formKeptByOthers(sq);
        // A king stepping to an empty square is safe unless the enemy
        // attacks it, with the king gone from its square (a slider's line
        // runs on through it).
        const uint64_t kingUnsafe = attackedBy(side ^ 1, sq, occupancy(sq) ^ 1ULL << king);

        auto play = [&](int man, int to, int captured, int promotion, bool doubleStep) {
            const bool quiet = captured < 0 && !promotion;
            bool legal = (freeMen >> man & 1) && (captured < 0 || sq[captured] == to);
            if (quiet && man == kingOf[side]) {
                if (kingUnsafe >> to & 1) return;
                legal = true;
            }
            if (quiet && man != 0 && formKept && legal) {
                anyMove = true;
                const uint64_t index = movedIndex(here, sq, man, to);
                assert(index == slowIndex(sq, man, to));
                if (doubleStep && epRightAfter(sq, side, to)) {
                    const int64_t node = epNode(side ^ 1, index, (sq[man] + to) / 2);
                    assert(node >= 0);
                    successors.add(EnPassantNodeTag | uint64_t(node), false);
                } else {
                    successors.add(index, false);
                }
                return;
            }
            std::copy_n(sq, MaxMen, next);
            next[man] = to;
            assert(!legal || !kingAttacked(next, side, captured));
            if (!legal && kingAttacked(next, side, captured)) return;
            anyMove = true;
            if (captured >= 0 || promotion) {
                const int8_t v = convert(next, captured, man, promotion, side ^ 1);
                if (v == 0) {
                    notLosable = true;
                } else {
                    // The opponent's loss in p plies is a win in p + 1; its win a loss no sooner.
                    const int plies = resultPlies(v);
                    if (plies % 2 == 0) winPlies = std::min(winPlies, plies + 1);
                    else floorPlies = std::max(floorPlies, plies + 1);
                }
                return;
            }
            int after = 64;
            if (doubleStep && epRightAfter(next, side, to)) after = (sq[man] + to) / 2;
            const bool changed = normalise(next, n, m.pawns, &after);
            const uint64_t index = table.storedIndex(next);
            if (after == 64) {
                successors.add(index, changed);
            } else {
                const int64_t node = epNode(side ^ 1, index, after);
                assert(node >= 0);
                successors.add(EnPassantNodeTag | uint64_t(node), changed);
            }
        };

        const uint64_t occ = occupancy(sq);
        for (int i = 0; i < n; ++i) {
            if (m.colour[i] != side) continue;
            const int from = sq[i], piece = m.piece[i];
            auto target = [&](int to) {
                if (at[to] < 0) play(i, to, -1, 0, false);
                else if (m.colour[at[to]] != side) play(i, to, at[to], 0, false);
            };
            if (piece == Pawn) {
                const int dir = side == 0 ? 8 : -8;
                const bool promotes = ((from + dir) >> 3) == (side == 0 ? 7 : 0);
                auto pawnMove = [&](int to, int captured) {
                    if (promotes)
                        for (int p = Queen; p >= Knight; --p) play(i, to, captured, p, false);
                    else
                        play(i, to, captured, 0, false);
                };
                if (at[from + dir] < 0) {
                    pawnMove(from + dir, -1);
                    const bool home = (from >> 3) == (side == 0 ? 1 : 6);
                    if (home && at[from + 2 * dir] < 0) play(i, from + 2 * dir, -1, 0, true);
                }
                for (uint64_t b = pawnAttacks[side][from]; b; b &= b - 1) {
                    const int to = __builtin_ctzll(b);
                    if (at[to] >= 0 && m.colour[at[to]] != side) pawnMove(to, at[to]);
                    else if (to == ep) play(i, to, at[to - dir], 0, false);
                }
            } else if (piece == Knight || piece == King) {
                for (uint64_t b = piece == Knight ? knightAttacks[from] : kingAttacks[from]; b; b &= b - 1)
                    target(__builtin_ctzll(b));
            } else {
                for (int d = piece == Bishop ? 4 : 0; d < (piece == Rook ? 4 : 8); ++d)
                    for (const int8_t* t = rays[from][d]; *t >= 0; ++t) {
                        target(*t);
                        if (occ >> *t & 1) break;
                    }
            }
        }
        if (!anyMove) return kingAttacked(sq, side) ? LossFlag : NotLosable;
        int pending = 0;
        NodeState v;
        if (winPlies != NoWin) {
            v = PendingWin | (pending = winPlies);
        } else if (notLosable) {
            v = NotLosable;
        } else {
            const int count = successors.distinct();
            assert(count <= MaxOpenCount && floorPlies <= MaxPlies);
            v = openNode(count, pending = floorPlies);
        }
        assert(pending < NoEvent);
        int seen = lastPending.load();
        while (pending > seen && !lastPending.compare_exchange_weak(seen, pending)) {
        }
        return v;
    }

    void prepare() {
        planConversions();
        if (m.pawnsBothSides) collectEnPassantNodes();
    }

    // The nodes of one side to move, en-passant ones included; its states
    // are allocated here, so the side initialised first has the memory of
    // the other side's states to itself.
    void initialise(int side) {
        const uint64_t groups = table.positions >> GroupShift;
        state[side].reserve(table.positions);
        adviseHugePages(state[side].data(), table.positions * sizeof(NodeState));
        state[side].assign(table.positions, Invalid);
        settledIn[side][0].assign(groups, 0);
        settledIn[side][1].assign(groups, 0);
        groupEvent[side].assign(groups, NoEvent);
        // Chunks hold whole groups, so each group's summary has one writer.
        parallelFor(generatorThreads, table.positions, 1 << 14, [&](uint64_t begin, uint64_t end) {
            int sq[MaxMen] = {};
            for (uint64_t index = begin; index < end; ++index) {
                table.squaresOf(index, sq);
                if (!storedPlacement(sq) || kingAttacked(sq, side ^ 1)) continue;
                const NodeState v = initNode(sq, side, 64);
                state[side][index] = v;
                uint8_t& event = groupEvent[side][index >> GroupShift];
                event = uint8_t(std::min(int(event), eventLevel(v)));
                if (v == LossFlag) settledIn[side][0][index >> GroupShift] = 1;  // mated: settled at level 0
            }
        });
        for (size_t k = 0; k < table.epKey[side].size(); ++k) {
            int sq[MaxMen] = {};
            table.squaresOf(table.epKey[side][k] >> 6, sq);
            epState[side][k] = initNode(sq, side, int(table.epKey[side][k] & 63));
        }
    }

    // Positions one move before this one (the mover is side ^ 1), inside the
    // class; each distinct predecessor once.
    int predecessors(const int* sq, int side, int epPawnSquare, NeighbourIds& out) const {
        const int mover = side ^ 1;
        const uint64_t occ = occupancy(sq);
        const int king = sq[kingOf[side]];
        // Men of the mover whose fellows do not attack the king with the man
        // lifted: taking such a man back is legal unless it attacks the king
        // from where it came.
        unsigned fellowsQuiet = 0;
        for (int i = 0; i < n; ++i)
            if (m.colour[i] == mover && !kingAttacked(sq, side, i)) fellowsQuiet |= 1u << i;
        int prev[MaxMen] = {};
        const uint64_t here = table.storedIndex(sq);
        const bool formKept = formKeptByOthers(sq);
        auto add = [&](int man, int from) {
            uint64_t index;
            bool changed = false;
            if (fellowsQuiet >> man & 1) {
                if (attacksSquare(m.piece[man], mover, from, king, (occ ^ 1ULL << sq[man]) | 1ULL << from)) return;
                if (man != 0 && formKept) {
                    index = movedIndex(here, sq, man, from);
                    assert(index == slowIndex(sq, man, from));
                } else {
                    std::copy_n(sq, MaxMen, prev);
                    prev[man] = from;
                    changed = normalise(prev, n, m.pawns, nullptr);
                    index = table.storedIndex(prev);
                }
            } else {
                std::copy_n(sq, MaxMen, prev);
                prev[man] = from;
                if (kingAttacked(prev, side)) return;
                changed = normalise(prev, n, m.pawns, nullptr);
                index = table.storedIndex(prev);
            }
            out.add(index, changed);
            // The same board with the mover's en-passant right also led here.
            const auto& keys = table.epKey[mover];
            for (auto it = std::lower_bound(keys.begin(), keys.end(), index << 6);
                 it != keys.end() && (*it >> 6) == index; ++it)
                out.add(EnPassantNodeTag | uint64_t(it - keys.begin()), changed);
        };
        for (int i = 0; i < n; ++i) {
            if (m.colour[i] != mover) continue;
            const int to = sq[i], piece = m.piece[i];
            if (epPawnSquare >= 0 && to != epPawnSquare) continue;
            if (piece == Pawn) {
                const int dir = mover == 0 ? 8 : -8;
                const int rank = to >> 3;
                const bool doubleRank = rank == (mover == 0 ? 3 : 4);
                const bool free1 = !(occ >> (to - dir) & 1);
                if (epPawnSquare < 0 && free1 && (mover == 0 ? rank >= 2 : rank <= 5)) add(i, to - dir);
                if (doubleRank && free1 && !(occ >> (to - 2 * dir) & 1) &&
                    (epPawnSquare >= 0) == epRightAfter(sq, mover, to))
                    add(i, to - 2 * dir);
                continue;
            }
            if (epPawnSquare >= 0) continue;
            if (piece == Knight || piece == King) {
                for (uint64_t b = (piece == Knight ? knightAttacks[to] : kingAttacks[to]) & ~occ; b; b &= b - 1)
                    add(i, __builtin_ctzll(b));
            } else {
                for (int d = piece == Bishop ? 4 : 0; d < (piece == Rook ? 4 : 8); ++d)
                    for (const int8_t* t = rays[to][d]; *t >= 0 && !(occ >> *t & 1); ++t) add(i, *t);
            }
        }
        return out.distinct();
    }

    NodeState& nodeState(int side, uint64_t id) {
        return id & EnPassantNodeTag ? epState[side][id & ~EnPassantNodeTag] : state[side][id];
    }

    static void lowerTo(uint8_t& slot, int level) {
        std::atomic_ref<uint8_t> a(slot);
        uint8_t seen = a.load();
        while (seen > level && !a.compare_exchange_weak(seen, uint8_t(level))) {
        }
    }

    // A node settled at this level: its group is looked at in the next one.
    // En-passant nodes are few and looked at in every level.
    void settle(int side, uint64_t id, int plies, uint64_t& settledCount) {
        ++settledCount;
        if (!(id & EnPassantNodeTag))
            std::atomic_ref<uint8_t>(settledIn[side][plies & 1][id >> GroupShift]).store(1, std::memory_order_relaxed);
    }

    // One node settled at plies - 1 tells its predecessors.
    void propagate(const int* sq, int side, int epPawnSquare, bool lost, int plies, uint64_t& settledCount) {
        NeighbourIds preds;
        const int count = predecessors(sq, side, epPawnSquare, preds);
        const int mover = side ^ 1;
        for (int k = 0; k < count; ++k) {
            const uint64_t id = preds.id[k];
            NodeState& s = nodeState(mover, id);
            for (NodeState v = load(s);; v = load(s)) {
                NodeState next;
                if (lost) {
                    if (!unresolved(v)) break;
                    next = WinFlag | plies;
                } else {
                    if (!isOpen(v)) break;
                    assert(openCount(v) > 0);
                    next = NodeState(v - OpenUnit);
                    // The last successor inside the class is lost: the node
                    // is lost now, or when its longest lost conversion ends.
                    if (openCount(next) == 0 && pliesOf(next) <= plies) next = LossFlag | plies;
                }
                if (!exchange(s, v, next)) continue;
                if (settled(next)) settle(mover, id, plies, settledCount);
                else if (eventLevel(next) != NoEvent && !(id & EnPassantNodeTag))
                    lowerTo(groupEvent[mover][id >> GroupShift], eventLevel(next));
                break;
            }
        }
    }

    void visit(NodeState& s, const int* sq, int side, int epPawnSquare, int plies, uint64_t id,
               uint64_t& settledCount) {
        const NodeState v = load(s);
        if (v == Invalid) return;
        if (v == (WinFlag | (plies - 1)) || v == (LossFlag | (plies - 1))) {
            propagate(sq, side, epPawnSquare, (v & KindMask) == LossFlag, plies, settledCount);
        } else if (eventFalls(eventLevel(v), plies)) {
            // Pending wins fall due at odd levels, lost open nodes at even ones.
            const NodeState next = (v & KindMask) == PendingWin ? WinFlag | plies : LossFlag | plies;
            if (exchange(s, v, next)) settle(side, id, plies, settledCount);
        }
    }

    void level(int plies) {
        const int before = (plies - 1) & 1;
        const uint64_t groups = table.positions >> GroupShift;
        parallelFor(generatorThreads, groups, 256, [&](uint64_t begin, uint64_t end) {
            int sq[MaxMen] = {};
            uint64_t settledCount = 0;
            for (uint64_t g = begin; g < end; ++g) {
                bool decoded = false;
                for (int side = 0; side < 2; ++side) {
                    uint8_t& flag = settledIn[side][before][g];
                    std::atomic_ref<uint8_t> event(groupEvent[side][g]);
                    const bool due = eventFalls(event.load(), plies);
                    assert(event.load() >= plies);
                    if (!flag && !due) continue;
                    flag = 0;  // nothing sets the flags of the previous parity in this level
                    // An event lowered after this exchange stays; one lowered
                    // before it belongs to a node the loop below reads.
                    if (due) event.exchange(NoEvent);
                    if (!decoded) {
                        table.squaresOf(g << GroupShift, sq);
                        decoded = true;
                    }
                    int next = NoEvent;
                    for (int last = 0; last < 64; ++last) {
                        const uint64_t index = g << GroupShift | uint64_t(last);
                        sq[n - 1] = last;
                        visit(state[side][index], sq, side, -1, plies, index, settledCount);
                        if (due) next = std::min(next, eventLevel(load(state[side][index])));
                    }
                    if (due && next != NoEvent) lowerTo(groupEvent[side][g], next);
                }
            }
            resolved.fetch_add(settledCount, std::memory_order_relaxed);
        });
        uint64_t settledCount = 0;
        for (int side = 0; side < 2; ++side)
            for (size_t k = 0; k < table.epKey[side].size(); ++k) {
                int sq[MaxMen] = {};
                table.squaresOf(table.epKey[side][k] >> 6, sq);
                const int ep = int(table.epKey[side][k] & 63);
                visit(epState[side][k], sq, side, side == 0 ? ep - 8 : ep + 8, plies, EnPassantNodeTag | k,
                      settledCount);
            }
        resolved.fetch_add(settledCount, std::memory_order_relaxed);
    }

    // What the result bytes of a range of nodes add to the table's summary.
    struct Extremes {
        int longestWin = 0, longestLoss = 0;
        bool overflow = false;
        std::vector<uint64_t> overlong;

        void add(const Extremes& o) {
            longestWin = std::max(longestWin, o.longestWin);
            longestLoss = std::max(longestLoss, o.longestLoss);
            overflow |= o.overflow;
            overlong.insert(overlong.end(), o.overlong.begin(), o.overlong.end());
        }
    };

    static int8_t finalValue(NodeState v, Extremes& extremes, uint64_t id) {
        if (v == Invalid) return NoPosition;
        if (unresolved(v)) return 0;
        const int moves = (pliesOf(v) + 1) / 2;
        if ((v & KindMask) == WinFlag) {
            extremes.longestWin = std::max(extremes.longestWin, moves);
            if (moves > 127) extremes.overflow = true;
            return moves >= 127 ? LongWinByte : int8_t(127 - moves);
        }
        extremes.longestLoss = std::max(extremes.longestLoss, moves);
        if (moves == OverlongLossMoves) extremes.overlong.push_back(id);
        if (moves > OverlongLossMoves) extremes.overflow = true;
        return moves >= 126 ? LongLossByte : int8_t(moves - 126);
    }

    // Result bytes of one side, its working states released.
    void finish(int side) {
        std::vector<int8_t>& result = table.result[side];
        result.resize(table.positions);
        std::mutex merge;
        Extremes all;
        parallelFor(generatorThreads, table.positions, 1 << 20, [&](uint64_t begin, uint64_t end) {
            Extremes part;
            for (uint64_t i = begin; i < end; ++i) result[i] = finalValue(state[side][i], part, i);
            std::lock_guard<std::mutex> lock(merge);
            all.add(part);
        });
        std::sort(all.overlong.begin(), all.overlong.end());
        table.overlong[side] = std::move(all.overlong);
        all.overlong.clear();
        std::vector<NodeState>().swap(state[side]);
        table.epResult[side].resize(table.epKey[side].size());
        Extremes ep;
        for (size_t k = 0; k < table.epKey[side].size(); ++k)
            table.epResult[side][k] = finalValue(epState[side][k], ep, table.epKey[side][k]);
        table.overlongEp[side] = std::move(ep.overlong);
        ep.overlong.clear();
        all.add(ep);
        table.longestWin = std::max(table.longestWin, all.longestWin);
        table.longestLoss = std::max(table.longestLoss, all.longestLoss);
        table.overflow |= all.overflow;
    }

    int generatorThreads = 1;
};

}  // namespace

bool parseMaterial(const std::string& name, Material& material) {
    material = Material{};
    if (classNumberOf(name) == 0) return false;
    bool pawns[2] = {false, false};
    int side = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i > 0 && name[i] == 'k') side = 1;
        material.piece[i] = classManCode(name[i]);
        material.colour[i] = side;
        if (material.piece[i] == Pawn) pawns[side] = true;
    }
    material.name = name;
    material.count = int(name.size());
    material.pawns = pawns[0] || pawns[1];
    material.pawnsBothSides = pawns[0] && pawns[1];
    return true;
}

std::string materialName(const int* piece, const int* colour, int count, bool& reversed) {
    int counts[2][ClassManKinds] = {};
    for (int i = 0; i < count; ++i)
        if (piece[i] >= Pawn && piece[i] <= Queen) ++counts[colour[i] & 1][piece[i] - Pawn];
    const TablebaseMaterial found = materialClass(counts[0], counts[1]);
    if (found.classNumber == 0) return "";
    // Symmetric material is read under its own colours.
    reversed = found.flip && !std::equal(counts[0], counts[0] + ClassManKinds, counts[1]);
    return ClassTable[found.classNumber].name;
}

uint64_t Table::storedIndex(const int* sq) const {
    uint64_t index = uint64_t(material.pawns ? pawnSlot[sq[0]] : pawnlessSlot[sq[0]]);
    for (int i = 1; i < material.count; ++i) index = index << 6 | uint64_t(sq[i]);
    return index;
}

int64_t Table::indexOf(const int* squares) const {
    const int n = material.count;
    int sq[MaxMen] = {};
    std::copy_n(squares, n, sq);
    normalise(sq, n, material.pawns, nullptr);
    uint64_t index = uint64_t(material.pawns ? pawnSlot[sq[0]] : pawnlessSlot[sq[0]]);
    uint64_t seen = 1ULL << sq[0];
    for (int i = 1; i < n; ++i) {
        if (seen >> sq[i] & 1) return -1;
        seen |= 1ULL << sq[i];
        if (material.piece[i] == Pawn && (sq[i] < 8 || sq[i] >= 56)) return -1;
        index = index << 6 | uint64_t(sq[i]);
    }
    return int64_t(index);
}

void Table::squaresOf(uint64_t index, int* squares) const {
    const int n = material.count;
    for (int i = n - 1; i > 0; --i, index >>= 6) squares[i] = int(index & 63);
    squares[0] = slotSquare[material.pawns ? 1 : 0][index];
}

int8_t Table::valueOf(const int* squares, int side, int epSquare) const {
    int sq[MaxMen] = {};
    std::copy_n(squares, material.count, sq);
    int ep = epSquare;
    normalise(sq, material.count, material.pawns, &ep);
    const int64_t index = indexOf(sq);
    if (index < 0) return NoPosition;
    if (ep < 64) {
        const uint64_t key = uint64_t(index) << 6 | uint64_t(ep);
        auto it = std::lower_bound(epKey[side].begin(), epKey[side].end(), key);
        if (it != epKey[side].end() && *it == key) return epResult[side][it - epKey[side].begin()];
    }
    return result[side][index];
}

std::vector<std::string> successorClasses(const std::string& name) {
    std::vector<std::string> result;
    Material m;
    if (!parseMaterial(name, m)) return result;
    for (int i = 0; i < m.count; ++i) {
        for (int victim = -1; victim < m.count; ++victim) {
            if (victim >= 0 && (m.piece[victim] == King || m.colour[victim] == m.colour[i])) continue;
            for (int promotion : {0, Knight, Bishop, Rook, Queen}) {
                if ((promotion && m.piece[i] != Pawn) || (!promotion && victim < 0)) continue;
                int piece[MaxMen], colour[MaxMen], k = 0;
                for (int j = 0; j < m.count; ++j) {
                    if (j == victim) continue;
                    piece[k] = j == i && promotion ? promotion : m.piece[j];
                    colour[k++] = m.colour[j];
                }
                bool reversed = false;
                const std::string smaller = materialName(piece, colour, k, reversed);
                if (!smaller.empty() && std::find(result.begin(), result.end(), smaller) == result.end())
                    result.push_back(smaller);
            }
        }
    }
    return result;
}

std::vector<std::string> dependencyOrder(const std::vector<std::string>& names) {
    std::vector<std::string> order;
    std::vector<int> state(TablebaseClassCount, 0);  // 1 on the way, 2 placed
    auto visit = [&](auto& self, const std::string& name) -> void {
        const int c = classNumberOf(name);
        if (c == 0 || state[c]) return;
        state[c] = 1;
        for (const std::string& s : successorClasses(name)) self(self, s);
        state[c] = 2;
        order.push_back(name);
    };
    for (const std::string& name : names) visit(visit, name);
    return order;
}

Generator::Generator(int threads, bool progress) : Generator(threads, progress, "") {}

Generator::Generator(int threads, bool progress, const std::string& dir)
    : threads_(std::max(1, threads)), progress_(progress), dir_(dir), files_(std::make_unique<ClassFilesSet>()) {
    initGeometry();
    buildIndexTables();
}

Generator::~Generator() = default;

ConversionPlan Generator::planConversion(const int* piece, const int* colour, int count) const {
    ConversionPlan plan;
    if (dir_.empty()) return plan;
    int counts[2][ClassManKinds] = {};
    for (int i = 0; i < count; ++i)
        if (piece[i] != King) ++counts[colour[i]][piece[i] - Pawn];
    const TablebaseMaterial found = materialClass(counts[0], counts[1]);
    if (found.classNumber == 0) {
        plan.valid = plan.bareKings = count == 2;
        return plan;
    }
    plan.classNumber = found.classNumber;
    plan.flip = found.flip;
    // The index functions take the men in the order of the class name.
    bool used[MaxMen] = {};
    int list = -1;
    for (const char* q = ClassTable[found.classNumber].name; *q; ++q) {
        if (*q == 'k') ++list;
        const int code = classManCode(*q);
        int k = 0;
        while (k < count && (used[k] || piece[k] != code || colour[k] != (list ^ found.flip))) ++k;
        if (k == count) return plan;
        used[k] = true;
        plan.man[list][plan.men[list]++] = k;
    }
    plan.valid = true;
    return plan;
}

bool Generator::lookup(const ConversionPlan& plan, const int* square, int side, int8_t& value) const {
    if (!plan.valid) return false;
    if (plan.bareKings) {
        value = 0;
        return true;
    }
    int lists[2][MaxMen] = {};
    for (int list = 0; list < 2; ++list)
        for (int slot = 0; slot < plan.men[list]; ++slot) lists[list][slot] = square[plan.man[list][slot]];
    const int fileSide = side ^ plan.flip;
    const std::vector<int8_t>& file = files_->bytes[plan.classNumber][fileSide];
    const int32_t index =
        classIndexFunction(plan.classNumber, fileSide)(lists[0], lists[1], NoEnPassant, plan.flip);
    // A file the pass does not hold is empty: a missed successor fails the class.
    if (index < 0 || size_t(index) >= file.size()) return false;
    value = file[size_t(index)];
    return true;
}

bool Generator::lookup(const int* piece, const int* colour, const int* square, int count, int side,
                       int8_t& value) const {
    if (!dir_.empty()) return lookup(planConversion(piece, colour, count), square, side, value);
    bool reversed = false;
    const std::string name = materialName(piece, colour, count, reversed);
    if (name.empty()) {
        value = 0;
        return true;
    }
    auto it = tables_.find(name);
    if (it == tables_.end()) return false;
    const Table& t = *it->second;
    int sq[MaxMen] = {};
    bool used[MaxMen] = {};
    for (int j = 0; j < t.material.count; ++j) {
        int k = 0;
        while (used[k] || piece[k] != t.material.piece[j] || (colour[k] ^ int(reversed)) != t.material.colour[j]) ++k;
        used[k] = true;
        sq[j] = reversed ? square[k] ^ 56 : square[k];
    }
    value = t.valueOf(sq, side ^ int(reversed), 64);
    return true;
}

bool Generator::successorsReady(const std::string& name, std::string& error) {
    const std::vector<std::string> successors = successorClasses(name);
    for (const std::string& successor : successors) {
        if (dir_.empty()) {
            if (!table(successor, error)) return false;
            continue;
        }
        const int c = classNumberOf(successor);
        if (!classFilesComplete(dir_, c)) {
            if (progress_) std::fprintf(stderr, "%s: successor %s is missing, made first\n", name.c_str(), successor.c_str());
            if (!make(successor, error)) return false;
        }
    }
    return true;
}

const Table* Generator::table(const std::string& name, std::string& error) {
    auto found = tables_.find(name);
    if (found != tables_.end()) return found->second.get();
    auto table = std::make_unique<Table>();
    if (!parseMaterial(name, table->material)) {
        error = "unknown class \"" + name + "\"";
        return nullptr;
    }
    if (!successorsReady(name, error)) return nullptr;
    const Material& m = table->material;
    table->positions = uint64_t(m.pawns ? 32 : 10) << (6 * (m.count - 1));
    if (!generate(*table, error)) return nullptr;
    if (table->overflow) {
        error = name + ": a result is longer than the file format can hold (longest win " +
                std::to_string(table->longestWin) + " moves, longest loss " + std::to_string(table->longestLoss) +
                " moves)";
        return nullptr;
    }
    return (tables_[name] = std::move(table)).get();
}

bool Generator::make(const std::string& name, std::string& error) {
    if (dir_.empty()) {
        error = "no directory to write " + name + " to";
        return false;
    }
    if (!successorsReady(name, error)) return false;
    const int c = classNumberOf(name);
    // What an interrupted run left is redone, not trusted.
    for (int side = 0; side < 2; ++side) std::remove((tableFilePath(dir_, c, side) + ".part").c_str());
    resetPeakMemory();
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const Table* t = table(name, error);
    if (!t) return false;
    if (progress_)
        std::fprintf(stderr, "%s: writing files, %.1f s\n", name.c_str(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const bool written = writeTableFiles(dir_, *t, error, threads_);
    const int longestWin = t->longestWin;
    tables_.erase(name);
    if (!written) return false;
    std::printf("%s longest win %d moves, %.1f s, %.1f s CPU, peak %lld MB\n", name.c_str(), longestWin,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                double(std::clock() - cpuStart) / CLOCKS_PER_SEC, (long long)(peakMemory() >> 20));
    std::fflush(stdout);
    return true;
}

#ifdef __linux__
int64_t peakMemory() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long long kilobytes = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lld kB", &kilobytes) == 1) break;
    std::fclose(f);
    return int64_t(kilobytes) << 10;
}

void resetPeakMemory() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}
#else
int64_t peakMemory() { return 0; }
void resetPeakMemory() {}
#endif

bool Generator::generate(Table& table, std::string& error) {
    const auto start = std::chrono::steady_clock::now();
    Work work(table, *this);
    work.generatorThreads = threads_;
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    if (progress_)
        std::fprintf(stderr, "%s: initialising, %llu positions per side\n", table.material.name.c_str(),
                     (unsigned long long)table.positions);
    work.prepare();
    // A side's conversions read one side of a few successor classes. Each
    // side to move is initialised in a pass of its own, holding only the
    // files it reads: the heavier pass first, while the other side's states
    // are not yet allocated. Then the files go, to leave room for the
    // result bytes.
    const int first = work.successorBytes(0) >= work.successorBytes(1) ? 0 : 1;
    for (int side : {first, first ^ 1}) {
        if (!dir_.empty() && !files_->hold(dir_, work.successorFiles[side], error)) {
            files_->keepOnly({});
            return false;
        }
        work.initialise(side);
        if (work.lookupFailed) break;
        if (progress_)
            std::fprintf(stderr, "%s: side %d to move initialised (%lld MB of successor files), %.1f s\n",
                         table.material.name.c_str(), side, (long long)(work.successorBytes(side) >> 20),
                         elapsed());
    }
    files_->keepOnly({});
    if (work.lookupFailed) {
        error = table.material.name + ": a successor class gave no result for a conversion";
        return false;
    }
    for (int plies = 1;; ++plies) {
        work.resolved = 0;
        work.level(plies);
        if (progress_ && plies % 10 == 0)
            std::fprintf(stderr, "%s: %d plies, %llu settled at this depth, %.1f s\n", table.material.name.c_str(),
                         plies, (unsigned long long)work.resolved.load(), elapsed());
        if (work.resolved == 0 && plies >= work.lastPending) break;
        if (plies == MaxPlies) {  // a win in 128 moves: no byte holds it, and no level follows
            table.overflow = true;
            break;
        }
    }
    for (int side = 0; side < 2; ++side) work.finish(side);
    if (progress_)
        std::fprintf(stderr, "%s: done in %.1f s, longest win %d moves\n", table.material.name.c_str(), elapsed(),
                     table.longestWin);
    return true;
}

}  // namespace tbgen
