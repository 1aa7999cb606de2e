// Tablebase indexing: every legal placement gets an index below its file's
// size, symmetric images and the colour-reversed twin share it, and positions
// that are not images of each other never do.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <unordered_map>
#include <vector>

#include "board/attacks.h"
#include "board/tables.h"
#include "tablebases/indexing.h"
#include "test_board.h"

namespace {

// Symmetry g of a square: bit 2 transposes, bit 0 mirrors files, bit 1 ranks.
int image(int s, int g) {
    if (g & 4) s = (s & 7) * 8 + (s >> 3);
    return s ^ (g & 1 ? 7 : 0) ^ (g & 2 ? 56 : 0);
}

class ClassCheck {
    // Its own board, empty between the placements of the men.
    std::unique_ptr<Position> position_ = [] {
        auto p = std::make_unique<Position>();
        p->clearBoard();
        return p;
    }();
    Position& pos = *position_;

public:
    ClassCheck(int c, int side) : side_(side), row_(tablebaseClasses[c]) {
        int list = -1, slot = 0, pawns[2] = {0, 0};
        static const char letters[] = "pnbrqk";
        for (const char* q = row_.name; *q; ++q, ++slot) {
            if (*q == 'k') ++list, slot = 0;
            men_.push_back({list, slot, Pawn + int(std::strchr(letters, *q) - letters)});
            pawns[list] += *q == 'p';
        }
        pawns_ = pawns[0] + pawns[1], bothPawns_ = pawns[0] && pawns[1];
        std::stable_partition(men_.begin(), men_.end(), [](const Man& m) { return m.code == King; });
        if (side == 1) std::swap(men_[0], men_[1]);  // the side to move's king first
    }

    // Every placement with the side to move's king on one of refs (and the
    // other on one of others, if given); images of every every-th position.
    void enumerate(const std::vector<int>& refs, int every, std::vector<int> others = {}) {
        every_ = every, others_ = others;
        if (refs.size() > 1 && row_.size[side_] <= (1 << 23)) dense_.assign(size_t(row_.size[side_]), 0);
        for (int r : refs) at(0) = r, place(1);
    }

    // Random legal positions with their images, and around the first ones
    // every placement of two men. With pawns on both sides an enemy pawn
    // stands beside a pawn of the side to move, ready to be taken en passant
    // (or not), while the other king and a third man move.
    void sample(int count, std::mt19937& rng) {
        for (int n = 0; n < count && !failed_;) {
            for (size_t k = 0; k < men_.size(); ++k) at(int(k)) = int(rng() % 64);
            if (!legal()) continue;
            check(++n > 0);
            int a = int(rng() % men_.size()), b = (a + 1) % int(men_.size()), victim = 0, capturer = 0;
            for (int k = 2; bothPawns_ && k < int(men_.size()); ++k)
                if (men_[k].code == Pawn) (men_[k].list == side_ ? capturer : victim) = k, a = 1;
            for (int k = 2; bothPawns_ && k < int(men_.size()); ++k) b = k != victim && k != capturer ? k : b;
            if (bothPawns_) at(capturer) = (side_ ? 24 : 32) + int(rng() % 8), at(victim) = at(capturer) ^ 1;
            for (int s = 0; s < 64 * 64 && n <= (bothPawns_ ? 3 : 1); ++s) {
                at(a) = s / 64, at(b) = s % 64;
                if (legal()) check(false), enPassantTwins();
            }
        }
    }

    bool failed() const { return failed_; }

private:
    struct Man {
        int list, slot, code;
    };

    int& at(int k) { return sq_[men_[k].list][men_[k].slot]; }
    bool like(int k) const { return men_[k].code == men_[k - 1].code && men_[k].list == men_[k - 1].list; }

    void place(int k) {
        if (k == int(men_.size())) {
            if (legal()) check(true), enPassantTwins();
            return;
        }
        for (int s = 0; s < 64 && !failed_; ++s) {
            if (k == 1 && !others_.empty() && std::find(others_.begin(), others_.end(), s) == others_.end()) continue;
            if (like(k) && s <= at(k - 1)) continue;  // like men once, in increasing order
            at(k) = s, place(k + 1);
        }
    }

    bool legal() {
        occupied_ = 0;
        for (int k = 0; k < int(men_.size()); ++k) {
            if ((occupied_ >> at(k) & 1) || (men_[k].code == Pawn && (at(k) < 8 || at(k) >= 56))) return false;
            occupied_ |= 1ull << at(k);
        }
        const int r = at(0), o = at(1);
        if (std::abs((r & 7) - (o & 7)) <= 1 && std::abs((r >> 3) - (o >> 3)) <= 1) return false;
        for (const Man& m : men_)
            pos.putMan(sq_[m.list][m.slot], m.code, m.list), ++pos.pieceCount[m.list * 8 + m.code];
        pos.rebuildMenSets();  // the attack tests read the men's bit sets
        const bool check = side_ == White ? pos.isAttackedByWhite(o) : pos.isAttackedByBlack(o);
        for (const Man& m : men_) pos.setEmpty(sq_[m.list][m.slot]), --pos.pieceCount[m.list * 8 + m.code];
        return !check;
    }

    // The same position right after a double step of an enemy pawn that a
    // pawn of the side to move can take en passant.
    void enPassantTwins() {
        const int up = side_ == 0 ? 8 : -8;
        for (int v = 2; bothPawns_ && v < int(men_.size()); ++v) {
            const int s = at(v);
            bool capturer = false;
            for (int k = 2; k < int(men_.size()); ++k)
                capturer |= men_[k].code == Pawn && men_[k].list == side_ && std::abs(at(k) - s) == 1 && (at(k) ^ s) < 8;
            if (men_[v].code != Pawn || men_[v].list == side_ || (s >> 3) != (side_ ? 3 : 4) || !capturer ||
                (occupied_ >> (s + up) & 1) || (occupied_ >> (s + 2 * up) & 1))
                continue;
            ep_ = s + up, check(false), ep_ = NoEnPassant;
        }
    }

    // Index of symmetry g of the position.
    int32_t indexOf(int g, int flip) {
        int lists[2][16];
        for (int k = 0; k < int(men_.size()); ++k) lists[men_[k].list][men_[k].slot] = image(at(k), g);
        return row_.indexFunction[side_](lists[0], lists[1], ep_ == NoEnPassant ? ep_ : image(ep_, g), flip);
    }

    // The least encoding among the symmetric images: one key per orbit.
    uint64_t orbitKey() {
        uint64_t best = ~0ull;
        for (int g = 0; g < (pawns_ ? 2 : 8); ++g) {
            int s[5];
            for (int k = 0; k < int(men_.size()); ++k) s[k] = image(at(k), g);
            for (int k = 1; k < int(men_.size()); ++k)
                if (like(k) && s[k] < s[k - 1]) std::swap(s[k], s[k - 1]);
            uint64_t key = ep_ == NoEnPassant ? 64 : uint64_t(image(ep_, g));
            for (int k = 0; k < int(men_.size()); ++k) key = key * 64 + uint64_t(s[k]);
            best = std::min(best, key);
        }
        return best + 1;
    }

    void fail(const char* what, int32_t index) {
        std::string men;
        for (int k = 0; k < int(men_.size()); ++k) men += " " + std::to_string(at(k));
        ADD_FAILURE() << row_.name << " side " << side_ << ", men" << men << " ep " << ep_ << ": " << what << " " << index;
        failed_ = true;
    }

    void check(bool images) {
        const int32_t index = indexOf(0, 0);
        if (index < 0 || index >= row_.size[side_]) return fail("index outside the file", index);
        uint64_t& owner = dense_.empty() ? owners_[index] : dense_[size_t(index)];
        const uint64_t key = orbitKey();
        if (owner && owner != key) return fail("index shared with an unrelated position", index);
        owner = key;
        if (!images || ++counter_ % every_) return;
        if (indexOf(2, 1) != index) return fail("colour-reversed twin differs", index);
        const int r = at(0), o = at(1);
        // With both kings on a long diagonal the transpose is not normalised away.
        if (!pawns_ && (((r & 7) == (r >> 3) && (o & 7) == (o >> 3)) || ((r & 7) + (r >> 3) == 7 && (o & 7) + (o >> 3) == 7)))
            return;
        for (int g = 1; g < (pawns_ ? 2 : 8); ++g)
            if (indexOf(g, 0) != index) return fail("symmetric image differs", index);
    }

    int side_;
    const TablebaseClass& row_;
    std::vector<Man> men_;
    std::vector<int> others_;
    int sq_[2][16] = {}, ep_ = NoEnPassant, pawns_ = 0, every_ = 1, counter_ = 0;
    uint64_t occupied_ = 0;
    bool bothPawns_ = false, failed_ = false;
    std::unordered_map<int32_t, uint64_t> owners_;  // sparse samples of large files
    std::vector<uint64_t> dense_;
};

class TablebaseIndex : public BoardFixture {
protected:
    static void SetUpTestSuite() { buildIndexTables(); }
    // 3-man classes with the side to move's king on every square of its
    // normalised region (every orbit has a member there); 4-man ones too when
    // full, else with that king on the last (where files end early) against
    // three kings, plus random samples.
    static void enumerateSmall(bool full) {
        std::mt19937 rng(11);
        for (int cs = 2; cs < 36 * 2; ++cs) {
            const bool pawns = std::strchr(tablebaseClasses[cs / 2].name, 'p') != nullptr;
            std::vector<int> refs;
            for (int s = 0; s < 64; ++s)
                if ((s & 7) < 4 && (pawns || (s >> 3) <= (s & 7))) refs.push_back(s);
            ClassCheck check(cs / 2, cs % 2);
            if (cs < 12 || full) {
                check.enumerate(refs, cs < 12 ? 2 : 7);
            } else {
                check.enumerate({refs.back()}, 3, {0, 42, 63});
                check.sample(100, rng);
            }
            ASSERT_FALSE(check.failed());
        }
    }
    static int32_t index(const char* name, int side, std::vector<const char*> first, std::vector<const char*> second,
                         int ep = NoEnPassant) {
        int lists[2][16] = {};
        for (size_t i = 0; i < first.size(); ++i) lists[0][i] = sq(first[i]);
        for (size_t i = 0; i < second.size(); ++i) lists[1][i] = sq(second[i]);
        return tablebaseClasses[findTablebaseClass(name)].indexFunction[side](lists[0], lists[1], ep, 0);
    }
};

TEST_F(TablebaseIndex, SmallClassesEnumerated) { enumerateSmall(false); }

TEST_F(TablebaseIndex, DISABLED_AllSmallClassesEnumerated) { enumerateSmall(true); }

TEST_F(TablebaseIndex, FiveManClassesSampled) {
    std::mt19937 rng(20261206);
    for (int cs = 36 * 2; cs < TablebaseClassCount * 2; ++cs) {
        ClassCheck check(cs / 2, cs % 2);
        check.sample(40, rng);
        ASSERT_FALSE(check.failed());
    }
}

TEST_F(TablebaseIndex, RangesAndWorkedFigures) {
    // Files that end early: their last indices hold illegal placements only.
    const std::map<std::string, int> whiteTails = {
        {"krk", 6},     {"kqk", 6},     {"kbnk", 1},     {"kqrk", 366},   {"krrk", 339},   {"kqqk", 333},  {"krkp", 96},
        {"kqkp", 96},   {"krpk", 94},   {"kqpk", 94},    {"kbnkp", 48},   {"krrkp", 5616}, {"kqrkp", 5904}, {"kqqkp", 5520},
        {"kbnkn", 60},  {"kbnkb", 60},  {"kbnkr", 60},   {"kbnkq", 60},   {"kqrkn", 60},   {"kqrkb", 60},  {"kqrkr", 60},
        {"kqrkq", 60},  {"kppkp", 1},   {"krpkp", 28},   {"kqpkp", 28}};
    for (int c = 1; c < TablebaseClassCount; ++c) {
        const std::string name = tablebaseClasses[c].name;
        const int tails[2] = {whiteTails.count(name) ? whiteTails.at(name) : 0, name == "kppkr" || name == "kppkq" ? 2256 : 0};
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(indexRange(c, side), int64_t(tablebaseClasses[c].size[side]) + tails[side]) << name << side;
    }
    const std::vector<int> pairs = {kingPairNumber(false, sq("a1"), sq("c1")), kingPairNumber(false, sq("a1"), sq("h8")),
                                    kingPairNumber(false, sq("b1"), sq("d1")), kingPairNumber(false, sq("d4"), sq("h8")),
                                    kingPairNumber(true, sq("d8"), sq("h8"))};
    EXPECT_EQ(pairs, (std::vector<int>{0, 32, 33, 461, 1805}));
    EXPECT_EQ(index("kqk", 1, {"c1", "h8"}, {"a1"}), 61);
    // ...d7-d5 beside the pawn on e5: pawn pair a1/h8 is 59, the capture to the left entry 3 of 14.
    EXPECT_EQ(index("kpkp", 0, {"a1", "e5"}, {"h8", "d5"}, sq("d6")), 81664 * 47 + 59 * 14 + 3);
    // The kppkp positions, Black to move, whose loss is too long for a byte:
    // white pawns e3 and e4 far from promotion, the black pawn on the b-file.
    const char* const longest[7][4] = {{"c3", "a3", "b7", "56802428"}, {"c3", "a3", "b6", "56811076"},
                                       {"d3", "a3", "b7", "56849992"}, {"d3", "a3", "b6", "56858640"},
                                       {"d3", "b3", "b5", "59592489"}, {"c3", "a2", "b5", "67775659"},
                                       {"d1", "b2", "b5", "71071628"}};
    for (const auto& l : longest) EXPECT_EQ(index("kppkp", 1, {l[0], "e3", "e4"}, {l[1], l[2]}), std::atoi(l[3]));
}

TEST_F(TablebaseIndex, SharedFunctionsAndMaterial) {
    std::set<IndexFunction> distinct;
    for (int c = 1; c < TablebaseClassCount; ++c) {
        EXPECT_EQ(findTablebaseClass(tablebaseClasses[c].name), c);
        distinct.insert({tablebaseClasses[c].indexFunction[0], tablebaseClasses[c].indexFunction[1]});
    }
    EXPECT_EQ(distinct.size(), 157u);
    auto fn = [](const char* name, int side) { return tablebaseClasses[findTablebaseClass(name)].indexFunction[side]; };
    EXPECT_TRUE(fn("kqkn", 0) == fn("kqkq", 0) && fn("kbpkn", 0) == fn("kbpkq", 0) && fn("knk", 1) == fn("kqk", 1));
    EXPECT_TRUE(fn("knkp", 1) == fn("kqkp", 1) && fn("kbnk", 1) != fn("krnk", 1) && fn("knkn", 0) != fn("kbkn", 0));
    // Symmetric material is always read colour-reversed (kpkp); the lists
    // follow the class name whatever the order of the engine's piece lists.
    const std::pair<const char*, int> cases[] = {{"8/8/8/3k4/3p4/8/1P6/K7 w - -", 6 * 2 + 1},  // class * 2 + flip
                                                 {"8/8/8/3k4/3pp3/8/1PP5/K7 w - -", 0},
                                                 {"8/8/8/3k4/3p4/8/1N6/K6R w - -", 71 * 2}};
    for (const auto& [fen, expected] : cases) {
        ASSERT_EQ(setupPosition(pos, fen), White);
        const TablebaseMaterial m = tablebaseMaterial(pos.pieceCount);
        EXPECT_EQ(m.classNumber * 2 + m.flip, expected) << fen;
    }
    int lists[2][16];
    tablebaseMenLists(pos, {71, 0}, lists[0], lists[1]);
    EXPECT_EQ(std::vector<int>(&lists[0][0], &lists[0][3]), (std::vector<int>{sq("a1"), sq("h1"), sq("b2")}));
    EXPECT_EQ(std::vector<int>(&lists[1][0], &lists[1][2]), (std::vector<int>{sq("d5"), sq("d4")}));
    pos.clearBoard();
}

}  // namespace
