#include "tablebases/verify.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "board/geometry.h"
#include "board/types.h"
#include "tablebases/classes.h"
#include "tablebases/generator.h"
#include "tablebases/registry.h"
#include "tablebases/tablefiles.h"

namespace {

// Results as distances: 1000 - N mates in N, N - 1000 is mated in N, 0 a
// draw; a probe that found no file or no result gives NoResult.
constexpr int MateDistance = 1000;
constexpr int NoResult = 5000;

int resultOfByte(int8_t b) {
    if (b == 0) return 0;
    if (b == tbgen::NoPosition) return NoResult;
    const int plies = tbgen::resultPlies(b);
    return plies % 2 ? MateDistance - (plies + 1) / 2 : plies / 2 - MateDistance;
}

std::string resultText(int v) {
    if (v == NoResult) return "no result";
    if (v == 0) return "draw";
    return v > 0 ? "mates in " + std::to_string(MateDistance - v) : "mated in " + std::to_string(v + MateDistance);
}

// What one share of the placements found.
struct ShareResult {
    uint64_t checked = 0, bad = 0;
    std::vector<std::string> firstBad;  // at most MaxBadShown lines
};
constexpr int MaxBadShown = 10;
constexpr int MaxMen = tbgen::MaxMen;

// Result of a stored byte for the side to move there, and the same seen from
// the side that moved into it: the opponent mated in N gives a mate in N + 1,
// the opponent mating in N leaves us mated in N.
struct ByteResults {
    int16_t stored[256], mover[256];
    ByteResults() {
        for (int b = 0; b < 256; ++b) {
            const int w = resultOfByte(int8_t(b));
            stored[b] = int16_t(w);
            mover[b] = int16_t(w == NoResult ? NoResult : w < 0 ? -w - 1 : -w);
        }
    }
};
const ByteResults byteResults;

// The class a set of men lands in and where each of them goes in the index
// functions' lists: found once per kind of capture or promotion, so a move
// costs no material lookup and no list search.
struct Target {
    enum Kind { NoClass, BareKings, Table } kind = NoClass;
    int classNumber = 0, flip = 0;
    int len[2] = {0, 0};
    int man[2][MaxMen] = {};  // list slot -> man of the checked class
    int slot[MaxMen] = {};    // man -> list * MaxMen + slot
    // By colour to move (White 0); a file the pass does not hold has no
    // bytes, and reads from it give no result.
    IndexFunction function[2] = {};
    const int8_t* bytes[2] = {};
    int32_t size[2] = {};
    bool overlong[2] = {};  // the probe's fixed kppkp losses apply

    // The index functions' lists for men on squares sq.
    void fill(const int* sq, int (&lists)[2][MaxMen]) const {
        for (int l = 0; l < 2; ++l)
            for (int k = 0; k < len[l]; ++k) lists[l][k] = sq[man[l][k]];
    }

    // men: piece and colour of each man of the checked class after the
    // conversion; present: the men still on the board.
    Target(const ClassFilesSet& files, const int* piece, const int* colour, int count, unsigned present) {
        int counts[16] = {};
        int others = 0;
        for (int i = 0; i < count; ++i)
            if ((present >> i & 1) && piece[i] != King) ++counts[colour[i] * 8 + piece[i]], ++others;
        if (others == 0) {
            kind = BareKings;
            return;
        }
        const TablebaseMaterial material = tablebaseMaterial(counts);
        if (material.classNumber == 0) return;
        kind = Table;
        classNumber = material.classNumber;
        flip = material.flip;
        // The men in the order of the class name, as the probe lists them.
        unsigned used = 0;
        int list = -1;
        for (const char* q = tablebaseClasses[material.classNumber].name; *q; ++q) {
            list += *q == 'k';
            const int code = classManCode(*q), wanted = list ^ flip;
            for (int i = 0; i < count; ++i) {
                if (!(present >> i & 1) || (used >> i & 1) || piece[i] != code || colour[i] != wanted) continue;
                used |= 1u << i;
                slot[i] = list * MaxMen + len[list];
                man[list][len[list]++] = i;
                break;
            }
        }
        for (int toMove = 0; toMove < 2; ++toMove) {
            const int s = toMove ^ flip;
            function[toMove] = tablebaseClasses[material.classNumber].indexFunction[s];
            bytes[toMove] = files.bytes[classNumber][s].data();
            size[toMove] = int32_t(files.bytes[classNumber][s].size());
            overlong[toMove] = material.classNumber == KppkpClass && s == 1;
        }
    }
};

// A result still to be read: a byte of a file, or a value known without one.
struct Pending {
    const int8_t* byte;
    int value;  // when byte is null
};

// Whether an index holds one of the losses no byte can hold.
bool overlongLoss(int32_t index) {
    return std::find(std::begin(KppkpOverlongLosses), std::end(KppkpOverlongLosses), index) !=
           std::end(KppkpOverlongLosses);
}

// One position under check: its own result and its successors' results,
// gathered (and their bytes prefetched) before any of them is read.
struct Node {
    bool active = false;
    int side = 0, ep = NoEnPassant;
    int sq[MaxMen] = {};
    bool inCheck = false;
    Pending stored{};
    int count = 0;
    static constexpr int MaxSuccessors = 128;
    Pending successor[MaxSuccessors];
};

// The checked class's results for every placement of its men, the first
// man on its reduced squares (numbered in order), the others on any square,
// each man a base-64 digit: a move of one man shifts the entry by a fixed
// step, so most successors are read near the position's own entry instead
// of through an index function at a random place in the file.
struct DenseTable {
    std::vector<int8_t> bytes[2];     // by colour to move; NoPosition where none
    std::vector<int64_t> overlong[2];  // entries the probe gives its fixed kppkp loss, sorted
    int reduced[64];                  // first man's square -> number, -1 off the set
    int64_t step[MaxMen] = {};
};

// Checks the placements with the first two men on given squares for one
// side to move; one per thread. The board is a short list of men with bit
// sets: moves, checks and successor indices come from it directly.
class Checker {
public:
    Checker(const ClassFilesSet& files, int c, int side) : side_(side) {
        name_ = tablebaseClasses[c].name;
        bool pawnOf[2] = {false, false};
        int colour = -1;
        for (const char* q = name_; *q; ++q) {
            if (*q == 'k') {
                ++colour;
                king_[colour] = count_;
            }
            piece_[count_] = classManCode(*q);
            colour_[count_++] = colour;
            if (*q == 'p') pawnOf[colour] = true;
        }
        pawns_ = pawnOf[0] || pawnOf[1];
        bothPawns_ = pawnOf[0] && pawnOf[1];
        for (int i = 0; i < count_; ++i) men_[colour_[i]][menCount_[colour_[i]]++] = i;
        for (int& m : manAt_) m = -1;

        const unsigned all = (1u << count_) - 1;
        auto add = [&](const int* piece, unsigned present) {
            targets_.emplace_back(files, piece, colour_, count_, present);
            return int(targets_.size() - 1);
        };
        int piece[MaxMen];
        std::copy(piece_, piece_ + count_, piece);
        same_ = add(piece, all);
        for (int j = 0; j < count_; ++j) capture_[j] = piece_[j] == King ? -1 : add(piece, all & ~(1u << j));
        for (int i = 0; i < count_; ++i) {
            if (piece_[i] != Pawn) continue;
            for (int p = 0; p < 4; ++p) {
                piece[i] = Knight + p;
                promote_[i][p] = add(piece, all);
                for (int j = 0; j < count_; ++j)
                    promoteCapture_[i][p][j] = piece_[j] == King ? -1 : add(piece, all & ~(1u << j));
            }
            piece[i] = Pawn;
        }
    }

    // The files (class, side to move) the pass of a side to move reads: one
    // side of each class its moves lead to, the class's own files included.
    std::vector<std::pair<int, int>> filesRead(int side) const {
        std::vector<std::pair<int, int>> files;
        auto add = [&](int t, int toMove) {
            const Target& target = targets_[size_t(t)];
            const std::pair<int, int> file{target.classNumber, toMove ^ target.flip};
            if (target.kind == Target::Table && std::find(files.begin(), files.end(), file) == files.end())
                files.push_back(file);
        };
        add(same_, side ^ 1);
        // Positions with an en-passant right are not in the dense copy.
        if (bothPawns_) add(same_, side);
        auto taken = [&](int j) { return piece_[j] != King && colour_[j] != side; };
        for (int j = 0; j < count_; ++j)
            if (taken(j)) add(capture_[j], side ^ 1);
        for (int i = 0; i < count_; ++i) {
            if (piece_[i] != Pawn || colour_[i] != side) continue;
            for (int p = 0; p < 4; ++p) {
                add(promote_[i][p], side ^ 1);
                for (int j = 0; j < count_; ++j)  // a pawn is never where a promotion takes
                    if (taken(j) && piece_[j] != Pawn) add(promoteCapture_[i][p][j], side ^ 1);
            }
        }
        return files;
    }
    // The class's own file read for a side to move (a class whose sides
    // are alike may be read mirrored).
    std::pair<int, int> ownFile(int side) const {
        const Target& same = targets_[size_t(same_)];
        return {same.classNumber, side ^ same.flip};
    }

    // Squares the first man may take: a reduced set, which the index
    // functions fold every other placement onto.
    bool firstSquare(int s) const { return (s & 7) <= 3 && (pawns_ || (s >> 3) <= (s & 7)); }
    bool manSquare(int man, int s) const { return piece_[man] != Pawn || (s >= 8 && s < 56); }

    // Sizes the dense table; its entries are filled share by share.
    void shapeDense(DenseTable& dense) const {
        int64_t entries = 0;
        for (int s = 0; s < 64; ++s) dense.reduced[s] = firstSquare(s) ? int(entries++) : -1;
        for (int i = count_ - 1; i >= 0; --i) {
            dense.step[i] = i == count_ - 1 ? 1 : dense.step[i + 1] * 64;
        }
        entries *= dense.step[0];
        for (auto& side : dense.bytes) side.assign(size_t(entries), tbgen::NoPosition);
    }

    // Fills the dense entries of the placements with the first two men on
    // given squares; returns the overlong entries found, by side.
    void fillShare(int first, int second, DenseTable& dense, std::vector<int64_t>* overlong) {
        dense_ = filling_ = &dense;
        overlong_ = overlong;
        sq_[0] = first;
        sq_[1] = second;
        fill(2, 1ULL << first | 1ULL << second, dense.reduced[first] * dense.step[0] + second * dense.step[1]);
        overlong_ = nullptr;
    }

    void useDense(const DenseTable& dense) { dense_ = &dense; }

    void runShare(int first, int second, ShareResult& result) {
        result_ = &result;
        place(0, first);
        place(1, second);
        enumerate(2, 1ULL << first | 1ULL << second);
        lift(1);
        lift(0);
        finish(nodes_[current_ ^ 1]);
        result_ = nullptr;
    }

private:
    void place(int man, int s) {
        sq_[man] = s;
        manAt_[s] = man;
        colourMen_[colour_[man]] |= 1ULL << s;
    }
    void lift(int man) {
        manAt_[sq_[man]] = -1;
        colourMen_[colour_[man]] &= ~(1ULL << sq_[man]);
    }

    void fill(int man, uint64_t occupied, int64_t entry) {
        if (man < count_) {
            for (int s = 0; s < 64; ++s) {
                if ((occupied >> s & 1) || !manSquare(man, s)) continue;
                sq_[man] = s;
                fill(man + 1, occupied | 1ULL << s, entry + s * dense_->step[man]);
            }
            return;
        }
        for (int toMove = 0; toMove < 2; ++toMove) {
            const Pending p = result(same_, toMove, NoEnPassant, false);
            int8_t& b = filling_->bytes[toMove][size_t(entry)];
            if (p.byte) b = *p.byte;
            else if (p.value != NoResult) overlong_[toMove].push_back(entry);
        }
    }

    // The dense entry of a position with the class's own men.
    Pending denseResult(int toMove, int64_t entry, bool forMover) const {
        const auto& fixed = dense_->overlong[toMove];
        if (!fixed.empty() && std::binary_search(fixed.begin(), fixed.end(), entry)) {
            const int w = tbgen::OverlongLossMoves - MateDistance;
            return {nullptr, forMover ? -w - 1 : w};
        }
        return {dense_->bytes[toMove].data() + entry, 0};
    }

    // Whether a man of colour `by` (other than man `skip`) attacks square k
    // with the board's men on occupied.
    bool attacked(int k, int by, uint64_t occupied, int skip) const {
        for (int n = 0; n < menCount_[by]; ++n) {
            const int j = men_[by][n];
            if (j == skip) continue;
            const int s = sq_[j];
            bool hit;
            switch (piece_[j]) {
                case Pawn: hit = geometry.pawnFrom[by][k] >> s & 1; break;
                case Knight: hit = geometry.knight[k] >> s & 1; break;
                case King: hit = geometry.king[k] >> s & 1; break;
                case Bishop: hit = (geometry.diagonal[k] >> s & 1) && !(geometry.between[k][s] & occupied); break;
                case Rook: hit = (geometry.straight[k] >> s & 1) && !(geometry.between[k][s] & occupied); break;
                default:
                    hit = ((geometry.diagonal[k] | geometry.straight[k]) >> s & 1) &&
                          !(geometry.between[k][s] & occupied);
            }
            if (hit) return true;
        }
        return false;
    }

    static uint64_t slides(const int* rays, int from, uint64_t occupied) {
        uint64_t reach = 0;
        for (int r = 0; r < 4; ++r) {
            const int d = rays[r];
            const uint64_t blockers = geometry.ray[d][from] & occupied;
            reach |= blockers ? geometry.ray[d][from] & ~geometry.ray[d][nearestOnRay(d, blockers)]
                              : geometry.ray[d][from];
        }
        return reach;
    }

    // The file byte (or known value) of the board's position after man
    // `moved` went to `to`, seen through a target class.
    Pending result(int t, int toMove, int ep, bool forMover) const {
        const Target& target = targets_[size_t(t)];
        if (target.kind == Target::BareKings) return {nullptr, 0};
        if (target.kind == Target::NoClass) return {nullptr, NoResult};
        int lists[2][MaxMen];
        target.fill(sq_, lists);
        return read(target, toMove, target.function[toMove](lists[0], lists[1], ep, target.flip), forMover);
    }
    static Pending read(const Target& target, int toMove, int32_t index, bool forMover) {
        if (index < 0 || index >= target.size[toMove]) return {nullptr, NoResult};
        if (target.overlong[toMove] && overlongLoss(index)) {
            const int w = tbgen::OverlongLossMoves - MateDistance;  // as the probe reads it
            return {nullptr, forMover ? -w - 1 : w};
        }
        const int8_t* byte = target.bytes[toMove] + index;
        __builtin_prefetch(byte);
        return {byte, 0};
    }

    // Every legal move of the side to move, as the results of the
    // positions they lead to.
    void successors(Node& node) {
        const int m = node.side, e = m ^ 1;
        const uint64_t occupied = colourMen_[0] | colourMen_[1], own = colourMen_[m];
        const int king = sq_[king_[m]];
        node.count = 0;
        const Target& same = targets_[size_t(same_)];
        int stay[2][MaxMen];
        same.fill(sq_, stay);
        node.inCheck = attacked(king, e, occupied, -1);
        // Out of check, a man off every line through its king uncovers none.
        const uint64_t exposed = node.inCheck ? ~0ULL : geometry.diagonal[king] | geometry.straight[king];
        auto add = [&](int man, int to, uint64_t after, int taken, int t, int ep, bool always = false) {
            const int from = sq_[man];
            if ((always || man == king_[m] || (exposed >> from & 1)) &&
                attacked(man == king_[m] ? to : king, e, after, taken))
                return;
            assert(node.count < Node::MaxSuccessors);
            if (t == same_ && ep == NoEnPassant && (man != 0 || dense_->reduced[to] >= 0)) {
                // The common case: a step from the position's own entry.
                const int64_t shift = man == 0 ? (dense_->reduced[to] - dense_->reduced[from]) * dense_->step[0]
                                               : (to - from) * dense_->step[man];
                node.successor[node.count++] = denseResult(e, entry_ + shift, true);
                return;
            }
            if (t == same_) {  // one entry of the lists changes
                int& entry = stay[same.slot[man] / MaxMen][same.slot[man] % MaxMen];
                entry = to;
                node.successor[node.count++] =
                    read(same, e, same.function[e](stay[0], stay[1], ep, same.flip), true);
                entry = from;
                return;
            }
            sq_[man] = to;
            node.successor[node.count++] = result(t, e, ep, true);
            sq_[man] = from;
        };
        for (int n = 0; n < menCount_[m]; ++n) {
            const int i = men_[m][n], from = sq_[i];
            const uint64_t left = occupied & ~(1ULL << from);
            if (piece_[i] == Pawn) {
                const int dir = m == White ? 8 : -8;
                const bool promotes = ((from + dir) >> 3) == (m == White ? 7 : 0);
                auto pawnTo = [&](int to, int taken, uint64_t after, int ep, bool always = false) {
                    if (!promotes) {
                        add(i, to, after, taken, taken < 0 ? same_ : capture_[taken], ep, always);
                        return;
                    }
                    for (int p = 3; p >= 0; --p)
                        add(i, to, after, taken, taken < 0 ? promote_[i][p] : promoteCapture_[i][p][taken], ep);
                };
                const int one = from + dir;
                if (!(occupied >> one & 1)) {
                    pawnTo(one, -1, left | 1ULL << one, NoEnPassant);
                    const int two = one + dir;
                    if ((from >> 3) == (m == White ? 1 : 6) && !(occupied >> two & 1)) {
                        // As the engine's make: an en-passant square only beside an enemy pawn.
                        const bool beside =
                            ((two & 7) > 0 && isPawnOf(two - 1, e)) || ((two & 7) < 7 && isPawnOf(two + 1, e));
                        pawnTo(two, -1, left | 1ULL << two, beside ? one : NoEnPassant);
                    }
                }
                for (uint64_t hits = geometry.pawnFrom[e][from] & colourMen_[e]; hits; hits &= hits - 1) {
                    const int to = std::countr_zero(hits);
                    if (piece_[manAt_[to]] != King) pawnTo(to, manAt_[to], left, NoEnPassant);
                }
                if (node.ep != NoEnPassant && (geometry.pawnFrom[e][from] >> node.ep & 1)) {
                    const int victim = node.ep - dir;
                    pawnTo(node.ep, manAt_[victim], (left & ~(1ULL << victim)) | 1ULL << node.ep, NoEnPassant,
                           true);  // the taken pawn may have shielded the king
                }
                continue;
            }
            uint64_t reach;
            switch (piece_[i]) {
                case Knight: reach = geometry.knight[from]; break;
                case King: reach = geometry.king[from]; break;
                case Bishop: reach = slides(BishopRays, from, occupied); break;
                case Rook: reach = slides(RookRays, from, occupied); break;
                default: reach = slides(BishopRays, from, occupied) | slides(RookRays, from, occupied);
            }
            for (reach &= ~own; reach; reach &= reach - 1) {
                const int to = std::countr_zero(reach), taken = manAt_[to];
                if (taken >= 0 && piece_[taken] == King) continue;
                add(i, to, left | 1ULL << to, taken, taken < 0 ? same_ : capture_[taken], NoEnPassant);
            }
        }
    }

    bool isPawnOf(int s, int colour) const {
        const int man = manAt_[s];
        return man >= 0 && piece_[man] == Pawn && colour_[man] == colour;
    }

    // Gathers the position's results and reads those of the position
    // gathered before it, whose bytes have had time to arrive.
    void check(int side, int ep) {
        ++result_->checked;
        Node& node = nodes_[current_];
        node.active = true;
        node.side = side;
        node.ep = ep;
        std::copy(sq_, sq_ + count_, node.sq);
        node.stored = ep == NoEnPassant ? denseResult(side, entry_, false) : result(same_, side, ep, false);
        successors(node);
        current_ ^= 1;
        finish(nodes_[current_]);
    }

    void finish(Node& node) {
        if (!node.active) return;
        node.active = false;
        const int stored = node.stored.byte ? byteResults.stored[uint8_t(*node.stored.byte)] : node.stored.value;
        int want = -2 * MateDistance;
        for (int k = 0; k < node.count && want != NoResult; ++k) {
            const Pending& p = node.successor[k];
            const int v = p.byte ? byteResults.mover[uint8_t(*p.byte)] : p.value;
            want = v == NoResult ? NoResult : std::max(want, v);
        }
        if (node.count == 0) want = node.inCheck ? -MateDistance : 0;
        if (stored == want && stored != NoResult) return;
        if (++result_->bad <= MaxBadShown)
            result_->firstBad.push_back(std::string(name_) + ": bad " + fen(node) + "  stored " +
                                        resultText(stored) + ", successors give " + resultText(want));
    }

    std::string fen(const Node& node) const {
        int at[64];
        for (int& m : at) m = -1;
        for (int i = 0; i < count_; ++i) at[node.sq[i]] = i;
        std::string text;
        for (int rank = 7; rank >= 0; --rank) {
            int empty = 0;
            for (int file = 0; file < 8; ++file) {
                const int m = at[rank * 8 + file];
                if (m < 0) {
                    ++empty;
                    continue;
                }
                if (empty) text += char('0' + empty);
                empty = 0;
                const char letter = " pnbrqk"[piece_[m]];
                text += colour_[m] == White ? char(letter - 32) : letter;
            }
            if (empty) text += char('0' + empty);
            if (rank) text += '/';
        }
        text += node.side == White ? " w - " : " b - ";
        if (node.ep != NoEnPassant) text += std::string(1, char('a' + (node.ep & 7))) + char('1' + (node.ep >> 3));
        else text += "-";
        return text + " 0 1";
    }

    // The pass side to move on the placed men, unless it could take the
    // other king.
    void checkPlacement() {
        const uint64_t occupied = colourMen_[0] | colourMen_[1];
        const int side = side_;
        if (attacked(sq_[king_[side ^ 1]], side, occupied, -1)) return;
        entry_ = dense_->reduced[sq_[0]];
        for (int i = 1; i < count_; ++i) entry_ = entry_ * 64 + sq_[i];
        check(side, NoEnPassant);
        // The same men just after the other side's double step.
        if (!bothPawns_) return;
        const int mover = side ^ 1, dir = mover == White ? 8 : -8;
        for (int i = 0; i < count_; ++i) {
            const int s = sq_[i];
            if (piece_[i] != Pawn || colour_[i] != mover || (s >> 3) != (mover == White ? 3 : 4)) continue;
            if ((occupied >> (s - dir) & 1) || (occupied >> (s - 2 * dir) & 1)) continue;
            if (!((s & 7) > 0 && isPawnOf(s - 1, side)) && !((s & 7) < 7 && isPawnOf(s + 1, side))) continue;
            check(side, s - dir);
        }
    }

    // All placements of the remaining men.
    void enumerate(int man, uint64_t occupied) {
        if (man == count_) {
            checkPlacement();
            return;
        }
        for (int s = 0; s < 64; ++s) {
            if ((occupied >> s & 1) || !manSquare(man, s)) continue;
            place(man, s);
            enumerate(man + 1, occupied | 1ULL << s);
            lift(man);
        }
    }

    const char* name_ = "";
    int side_ = 0;  // to move in the pass
    int count_ = 0;
    int piece_[MaxMen] = {}, colour_[MaxMen] = {};
    int king_[2] = {0, 0};
    int men_[2][MaxMen] = {}, menCount_[2] = {0, 0};
    bool pawns_ = false, bothPawns_ = false;
    // The board: squares of the men, the man on each square (-1: none) and
    // each colour's men as a bit set.
    int sq_[MaxMen] = {};
    int manAt_[64];
    uint64_t colourMen_[2] = {0, 0};
    // Targets of staying in the class, of taking man j, of promoting man i
    // to knight + p, and of both at once; -1 where no such move exists.
    std::vector<Target> targets_;
    int same_ = 0;
    int capture_[MaxMen] = {};
    int promote_[MaxMen][4] = {};
    int promoteCapture_[MaxMen][4][MaxMen] = {};
    const DenseTable* dense_ = nullptr;
    DenseTable* filling_ = nullptr;
    std::vector<int64_t>* overlong_ = nullptr;  // while filling: new overlong entries by side
    int64_t entry_ = 0;                         // dense entry of the placement under check
    Node nodes_[2];
    int current_ = 0;
    ShareResult* result_ = nullptr;
};

}  // namespace

bool verifyTablebase(const std::string& dir, const std::string& className, int threads) {
    const int c = findTablebaseClass(className.c_str());
    if (c == 0) {
        std::printf("%s: unknown class\n", className.c_str());
        return false;
    }
    static bool ready = false;
    if (!ready) {
        buildIndexTables();
        ready = true;
    }
    const char* name = tablebaseClasses[c].name;
    auto files = std::make_unique<ClassFilesSet>();
    // Shares by the squares of the first two men, handed out in order; their
    // findings are put together in that order, so the report does not
    // depend on the threads.
    std::vector<std::pair<int, int>> shares;
    std::vector<std::pair<int, int>> filesRead[2];
    const Checker layout(*files, c, 0);  // holds no file's bytes
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b)
            if (a != b && layout.firstSquare(a) && layout.manSquare(1, b)) shares.emplace_back(a, b);
    for (int side = 0; side < 2; ++side) filesRead[side] = layout.filesRead(side);
    // Every file is looked for before any work: nothing can be proved
    // without all of them.
    std::vector<std::pair<int, int>> needed = filesRead[0];
    for (const auto& file : filesRead[1])
        if (std::find(needed.begin(), needed.end(), file) == needed.end()) needed.push_back(file);
    bool whole = true;
    for (auto [k, side] : needed)
        if (!classFileComplete(dir, k, side)) {
            std::printf("%s: missing or wrong-sized file %s\n", name, tableFilePath(dir, k, side).c_str());
            whole = false;
        }
    if (!whole) return false;
    auto hold = [&](const std::vector<std::pair<int, int>>& wanted) {
        std::string error;
        if (files->hold(dir, wanted, error)) return true;
        std::printf("%s: %s\n", name, error.c_str());
        return false;
    };

    auto dense = std::make_unique<DenseTable>();
    layout.shapeDense(*dense);
    auto onThreads = [threads](const std::function<void()>& work) {
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back(work);
        work();
        for (auto& t : pool) t.join();
    };
    // The dense copy from the class's own two files, both sides in one walk
    // over the placements.
    if (!hold({layout.ownFile(0), layout.ownFile(1)})) return false;
    std::atomic<size_t> next{0};
    std::mutex overlongLock;
    onThreads([&] {
        auto checker = std::make_unique<Checker>(*files, c, 0);
        std::vector<int64_t> overlong[2];
        for (size_t k; (k = next.fetch_add(1)) < shares.size();)
            checker->fillShare(shares[k].first, shares[k].second, *dense, overlong);
        const std::lock_guard<std::mutex> guard(overlongLock);
        for (int side = 0; side < 2; ++side)
            dense->overlong[side].insert(dense->overlong[side].end(), overlong[side].begin(), overlong[side].end());
    });
    for (auto& side : dense->overlong) std::sort(side.begin(), side.end());

    // Each side to move in a pass of its own, holding only the files its
    // moves lead to: a move by one side lands with the other to move.
    std::vector<ShareResult> results[2];
    for (int side = 0; side < 2; ++side) {
        if (!hold(filesRead[side])) return false;
        results[side].resize(shares.size());
        next = 0;
        onThreads([&] {
            auto checker = std::make_unique<Checker>(*files, c, side);
            checker->useDense(*dense);
            for (size_t k; (k = next.fetch_add(1)) < shares.size();)
                checker->runShare(shares[k].first, shares[k].second, results[side][k]);
        });
    }

    uint64_t checked = 0, bad = 0;
    for (size_t k = 0; k < shares.size(); ++k)
        for (const auto& byside : results) {
            const ShareResult& r = byside[k];
            for (const std::string& line : r.firstBad)
                if (++bad <= MaxBadShown) std::printf("%s\n", line.c_str());
            bad += r.bad - r.firstBad.size();
            checked += r.checked;
        }
    if (bad) std::printf("%s: %" PRIu64 " of %" PRIu64 " positions wrong\n", name, bad, checked);
    else std::printf("%s: %" PRIu64 " positions verified\n", name, checked);
    std::fflush(stdout);
    return bad == 0;
}
