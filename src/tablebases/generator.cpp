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
// Entries past the men are scratch and may be changed too.
void normalise(int* sq, int n, bool pawns, int* ep) {
    if (pawns) {
        if ((sq[0] & 7) >= 4) {
            for (int i = 0; i < MaxMen; ++i) sq[i] ^= 7;
            if (ep && *ep < 64) *ep ^= 7;
        }
        return;
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
}

// State of a node (a position and side to move) while its class is being
// generated. "Level" is the ply count of the retrograde pass being run.
//   Invalid                no legal position: never changes.
//   WinFlag | p            resolved: the side to move wins in p plies (p odd).
//   LossFlag | p           resolved: the side to move loses in p plies (p even);
//                          LossFlag | 0 is checkmate.
//   PendingWin | p         a capture or promotion wins in p plies; the node
//                          becomes WinFlag | p at level p unless a quicker
//                          win inside the class reaches it first.
//   NotLosable             a conversion (or stalemate) draws: never lost;
//                          won if some move inside the class wins.
//   p (below NotLosable)   open: a loss, if every move turns out lost, comes
//                          no sooner than p plies (the longest lost
//                          conversion); the open count says how many
//                          distinct successors inside the class are not yet
//                          known to win for the opponent.
// What stays unresolved after the last level is a draw.
using NodeState = uint16_t;
constexpr NodeState Invalid = 0xFFFF;
constexpr NodeState WinFlag = 0x4000, LossFlag = 0x8000;
constexpr NodeState NotLosable = 0x1000;
constexpr NodeState PendingWin = 0x2000;
constexpr NodeState LevelMask = 0x0FFF;  // plies
inline bool unresolved(NodeState v) { return (v & 0xC000) == 0; }

NodeState load(NodeState& v) { return std::atomic_ref<NodeState>(v).load(std::memory_order_relaxed); }
bool exchange(NodeState& v, NodeState expected, NodeState desired) {
    return std::atomic_ref<NodeState>(v).compare_exchange_strong(expected, desired, std::memory_order_relaxed);
}

// Node ids: a stored index, or with EnPassantNodeTag set the number of an
// en-passant node (a position right after a double step that can be taken
// en passant, kept apart in epKey / epState order).
constexpr uint64_t EnPassantNodeTag = 1ULL << 63;

int sortUnique(uint64_t* a, int n) {
    for (int i = 1; i < n; ++i) {
        const uint64_t x = a[i];
        int j = i;
        for (; j > 0 && a[j - 1] > x; --j) a[j] = a[j - 1];
        a[j] = x;
    }
    int k = 0;
    for (int i = 0; i < n; ++i)
        if (k == 0 || a[k - 1] != a[i]) a[k++] = a[i];
    return k;
}

template <class F>
void parallelFor(int threads, uint64_t total, F&& body) {
    std::atomic<uint64_t> next{0};
    constexpr uint64_t Chunk = 1 << 14;
    auto work = [&] {
        for (;;) {
            const uint64_t begin = next.fetch_add(Chunk);
            if (begin >= total) return;
            body(begin, std::min(total, begin + Chunk));
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
}

// Working tables of one class while it is being generated.
struct Work {
    Table& table;
    const Generator& generator;
    const Material& m;
    int n;
    int kingOf[2];
    std::vector<NodeState> state[2];
    std::vector<uint8_t> open[2];  // successors not yet known to win for the mover's opponent
    std::vector<NodeState> epState[2];
    std::vector<uint8_t> epOpen[2];
    std::atomic<int> lastPending{0};
    std::atomic<uint64_t> resolved{0};

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
            epOpen[side].assign(table.epKey[side].size(), 0);
        }
    }

    int8_t convert(const int* sq, int capturedMan, int movedMan, int promotion, int sideAfter) const {
        int piece[MaxMen], colour[MaxMen], square[MaxMen], k = 0;
        for (int i = 0; i < n; ++i) {
            if (i == capturedMan) continue;
            piece[k] = i == movedMan && promotion ? promotion : m.piece[i];
            colour[k] = m.colour[i];
            square[k++] = sq[i];
        }
        int8_t v = 0;
        bool found = generator.lookup(piece, colour, square, k, sideAfter, v);
        assert(found);
        (void)found;
        return v;
    }

    // Moves of a position: conversions are settled from smaller tables,
    // moves inside the class are counted by distinct successor.
    NodeState initNode(const int* sq, int side, int ep, uint8_t& openCount) {
        int at[64];
        std::fill(at, at + 64, -1);
        for (int i = 0; i < n; ++i) at[sq[i]] = i;
        uint64_t successors[256];
        int successorCount = 0;
        bool anyMove = false, notLosable = false;
        int winPlies = LevelMask, floorPlies = 0;
        int next[MaxMen] = {};

        auto play = [&](int man, int to, int captured, int promotion, bool doubleStep) {
            std::copy_n(sq, MaxMen, next);
            next[man] = to;
            if (kingAttacked(next, side, captured)) return;
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
            normalise(next, n, m.pawns, &after);
            const uint64_t index = table.storedIndex(next);
            if (after == 64) {
                successors[successorCount++] = index;
            } else {
                const int64_t node = epNode(side ^ 1, index, after);
                assert(node >= 0);
                successors[successorCount++] = EnPassantNodeTag | uint64_t(node);
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
        if (!anyMove) {
            openCount = 0;
            return kingAttacked(sq, side) ? LossFlag : NotLosable;
        }
        openCount = uint8_t(sortUnique(successors, successorCount));
        int pending = 0;
        NodeState v;
        if (winPlies != LevelMask) v = PendingWin | (pending = winPlies);
        else if (notLosable) v = NotLosable;
        else v = NodeState(pending = floorPlies);
        int seen = lastPending.load();
        while (pending > seen && !lastPending.compare_exchange_weak(seen, pending)) {
        }
        return v;
    }

    void initialise() {
        if (m.pawnsBothSides) collectEnPassantNodes();
        for (int side = 0; side < 2; ++side) {
            state[side].assign(table.positions, Invalid);
            open[side].assign(table.positions, 0);
        }
        parallelFor(generatorThreads, table.positions, [&](uint64_t begin, uint64_t end) {
            int sq[MaxMen] = {};
            for (uint64_t index = begin; index < end; ++index) {
                table.squaresOf(index, sq);
                if (!storedPlacement(sq)) continue;
                for (int side = 0; side < 2; ++side)
                    if (!kingAttacked(sq, side ^ 1)) state[side][index] = initNode(sq, side, 64, open[side][index]);
            }
        });
        for (int side = 0; side < 2; ++side)
            for (size_t k = 0; k < table.epKey[side].size(); ++k) {
                int sq[MaxMen] = {};
                table.squaresOf(table.epKey[side][k] >> 6, sq);
                epState[side][k] = initNode(sq, side, int(table.epKey[side][k] & 63), epOpen[side][k]);
            }
    }

    // Positions one move before this one (the mover is side ^ 1), inside the
    // class; each distinct predecessor once.
    int predecessors(const int* sq, int side, int epPawnSquare, uint64_t* out) const {
        const int mover = side ^ 1;
        const uint64_t occ = occupancy(sq);
        int count = 0;
        int prev[MaxMen] = {};
        auto add = [&](int man, int from) {
            std::copy_n(sq, MaxMen, prev);
            prev[man] = from;
            if (kingAttacked(prev, side)) return;
            normalise(prev, n, m.pawns, nullptr);
            const uint64_t index = table.storedIndex(prev);
            out[count++] = index;
            // The same board with the mover's en-passant right also led here.
            const auto& keys = table.epKey[mover];
            for (auto it = std::lower_bound(keys.begin(), keys.end(), index << 6);
                 it != keys.end() && (*it >> 6) == index; ++it)
                out[count++] = EnPassantNodeTag | uint64_t(it - keys.begin());
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
        return sortUnique(out, count);
    }

    NodeState& nodeState(int side, uint64_t id) {
        return id & EnPassantNodeTag ? epState[side][id & ~EnPassantNodeTag] : state[side][id];
    }
    uint8_t& nodeOpen(int side, uint64_t id) {
        return id & EnPassantNodeTag ? epOpen[side][id & ~EnPassantNodeTag] : open[side][id];
    }

    // One node settled at plies - 1 tells its predecessors.
    void propagate(const int* sq, int side, int epPawnSquare, bool lost, int plies) {
        uint64_t preds[512];
        const int count = predecessors(sq, side, epPawnSquare, preds);
        const int mover = side ^ 1;
        for (int k = 0; k < count; ++k) {
            NodeState& s = nodeState(mover, preds[k]);
            NodeState v = load(s);
            if (lost) {
                while (unresolved(v) && !exchange(s, v, NodeState(WinFlag | plies))) v = load(s);
                if (unresolved(v)) resolved.fetch_add(1, std::memory_order_relaxed);
            } else if (v < NotLosable) {
                const uint8_t left = std::atomic_ref<uint8_t>(nodeOpen(mover, preds[k])).fetch_sub(1) - 1;
                assert(left != 255);
                if (left == 0 && (v & LevelMask) <= plies && exchange(s, v, NodeState(LossFlag | plies)))
                    resolved.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }

    void visit(NodeState& s, uint8_t& openCount, const int* sq, int side, int epPawnSquare, int plies) {
        const NodeState v = load(s);
        if (v == Invalid) return;
        if (v == (WinFlag | (plies - 1)) || v == (LossFlag | (plies - 1))) {
            propagate(sq, side, epPawnSquare, v & LossFlag, plies);
        } else if (plies & 1) {
            if (v == (PendingWin | plies) && exchange(s, v, NodeState(WinFlag | plies)))
                resolved.fetch_add(1, std::memory_order_relaxed);
        } else if (v == plies && std::atomic_ref<uint8_t>(openCount).load() == 0) {
            if (exchange(s, v, NodeState(LossFlag | plies))) resolved.fetch_add(1, std::memory_order_relaxed);
        }
    }

    void level(int plies) {
        parallelFor(generatorThreads, table.positions, [&](uint64_t begin, uint64_t end) {
            int sq[MaxMen] = {};
            for (uint64_t index = begin; index < end; ++index) {
                bool decoded = false;
                for (int side = 0; side < 2; ++side) {
                    const NodeState v = load(state[side][index]);
                    if (v == Invalid || !(unresolved(v) || (v & LevelMask) == plies - 1)) continue;
                    if (!decoded && !unresolved(v)) {
                        table.squaresOf(index, sq);
                        decoded = true;
                    }
                    visit(state[side][index], open[side][index], sq, side, -1, plies);
                }
            }
        });
        for (int side = 0; side < 2; ++side)
            for (size_t k = 0; k < table.epKey[side].size(); ++k) {
                int sq[MaxMen] = {};
                table.squaresOf(table.epKey[side][k] >> 6, sq);
                const int ep = int(table.epKey[side][k] & 63);
                visit(epState[side][k], epOpen[side][k], sq, side, side == 0 ? ep - 8 : ep + 8, plies);
            }
    }

    int8_t finalValue(NodeState v, std::vector<uint64_t>& overlong, uint64_t id) {
        if (v == Invalid) return NoPosition;
        if (unresolved(v)) return 0;
        const int plies = v & LevelMask;
        const int moves = (plies + 1) / 2;
        if (v & WinFlag) {
            table.longestWin = std::max(table.longestWin, moves);
            if (moves > 127) table.overflow = true;
            return moves >= 127 ? LongWinByte : int8_t(127 - moves);
        }
        table.longestLoss = std::max(table.longestLoss, moves);
        if (moves == OverlongLossMoves) overlong.push_back(id);
        if (moves > OverlongLossMoves) table.overflow = true;
        return moves >= 126 ? LongLossByte : int8_t(moves - 126);
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
        const char* letter = std::strchr(ClassManLetters, name[i]);
        material.piece[i] = letter ? int(letter - ClassManLetters) + Pawn : King;
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

// Files of the successor classes read so far, by class number.
class ClassFilesSet {
public:
    std::unique_ptr<ClassFiles> byClass[TablebaseClassCount];
};

Generator::Generator(int threads, bool progress) : Generator(threads, progress, "") {}

Generator::Generator(int threads, bool progress, const std::string& dir)
    : threads_(std::max(1, threads)), progress_(progress), dir_(dir), files_(std::make_unique<ClassFilesSet>()) {
    initGeometry();
    buildIndexTables();
}

Generator::~Generator() = default;

bool Generator::lookup(const int* piece, const int* colour, const int* square, int count, int side,
                       int8_t& value) const {
    if (!dir_.empty()) {
        int counts[2][ClassManKinds] = {};
        for (int i = 0; i < count; ++i)
            if (piece[i] != King) ++counts[colour[i]][piece[i] - Pawn];
        const TablebaseMaterial found = materialClass(counts[0], counts[1]);
        if (found.classNumber == 0 && count == 2) {
            value = 0;
            return true;
        }
        const ClassFiles* files = files_->byClass[found.classNumber].get();
        if (!files) return false;
        // The index functions take the men in the order of the class name.
        int lists[2][MaxMen] = {}, slots[2] = {0, 0};
        bool used[MaxMen] = {};
        int list = -1;
        for (const char* q = ClassTable[found.classNumber].name; *q; ++q) {
            if (*q == 'k') ++list;
            const char* letter = std::strchr(ClassManLetters, *q);
            const int code = letter ? int(letter - ClassManLetters) + Pawn : King;
            int k = 0;
            while (k < count && (used[k] || piece[k] != code || colour[k] != (list ^ found.flip))) ++k;
            if (k == count) return false;
            used[k] = true;
            lists[list][slots[list]++] = square[k];
        }
        const int fileSide = side ^ found.flip;
        const int32_t index =
            classIndexFunction(found.classNumber, fileSide)(lists[0], lists[1], NoEnPassant, found.flip);
        if (index < 0 || index >= ClassTable[found.classNumber].size[fileSide]) return false;
        value = files->byte(fileSide, index);
        return true;
    }
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
    for (const std::string& successor : successorClasses(name)) {
        if (dir_.empty()) {
            if (!table(successor, error)) return false;
            continue;
        }
        const int c = classNumberOf(successor);
        if (files_->byClass[c]) continue;
        if (!classFilesComplete(dir_, c)) {
            if (progress_) std::fprintf(stderr, "%s: successor %s is missing, made first\n", name.c_str(), successor.c_str());
            if (!make(successor, error)) return false;
        }
        if (!(files_->byClass[c] = ClassFiles::open(dir_, c, error))) return false;
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
    generate(*table);
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
    const bool written = writeTableFiles(dir_, *t, error);
    const int longestWin = t->longestWin;
    tables_.erase(name);
    // Successors are mapped again by the class that needs them next, so that
    // the pages of a long run's finished classes do not pile up.
    for (auto& files : files_->byClass) files.reset();
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

void Generator::generate(Table& table) {
    const auto start = std::chrono::steady_clock::now();
    Work work(table, *this);
    work.generatorThreads = threads_;
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    if (progress_)
        std::fprintf(stderr, "%s: initialising, %llu positions per side\n", table.material.name.c_str(),
                     (unsigned long long)table.positions);
    work.initialise();
    if (progress_) std::fprintf(stderr, "%s: initialised, %.1f s\n", table.material.name.c_str(), elapsed());
    for (int plies = 1;; ++plies) {
        work.resolved = 0;
        work.level(plies);
        if (progress_ && plies % 10 == 0)
            std::fprintf(stderr, "%s: %d plies, %llu settled at this depth, %.1f s\n", table.material.name.c_str(),
                         plies, (unsigned long long)work.resolved.load(), elapsed());
        if (work.resolved == 0 && plies >= work.lastPending) break;
    }
    for (int side = 0; side < 2; ++side) {
        table.result[side].resize(table.positions);
        for (uint64_t i = 0; i < table.positions; ++i)
            table.result[side][i] = work.finalValue(work.state[side][i], table.overlong[side], i);
        std::vector<NodeState>().swap(work.state[side]);
        std::vector<uint8_t>().swap(work.open[side]);
        table.epResult[side].resize(table.epKey[side].size());
        for (size_t k = 0; k < table.epKey[side].size(); ++k)
            table.epResult[side][k] = work.finalValue(work.epState[side][k], table.overlongEp[side], table.epKey[side][k]);
    }
    if (progress_)
        std::fprintf(stderr, "%s: done in %.1f s, longest win %d moves\n", table.material.name.c_str(), elapsed(),
                     table.longestWin);
}

}  // namespace tbgen
