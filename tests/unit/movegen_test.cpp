#include "board/movegen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/psq.h"
#include "search/search.h"
#include "test_board.h"

namespace {

using MoveSet = std::set<std::string>;

class MoveGenTest : public BoardFixture {
protected:
    // Position ready for generation (no stale attack tables or check marks);
    // the piece-square table holds material only, so that expected scores can
    // be worked out by hand.
    int load(const char* fen) {
        const int side = setupPosition(pos, fen);
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(pos, side);
        std::memset(pos.attackCacheValid, 0, sizeof pos.attackCacheValid);
        for (int piece = 0; piece < 16; ++piece)
            for (int& v : pos.psqTable[piece])
                v = (piece & 7) >= Pawn && (piece & 7) <= Queen ? pieceValue[piece & 7] : 0;
        pos.sumPsqScore();
        return side;
    }
    // Names of the listed moves, "+" marking the check flag.
    MoveSet names(int n, MoveWord onlyWith = 0) const {
        MoveSet s;
        for (int i = 0; i < n; ++i)
            if ((list_[i].move & onlyWith) == onlyWith)
                s.insert(moveName(list_[i].move) + ((list_[i].move & CheckFlag) ? "+" : ""));
        return s;
    }
    const MoveEntry& find(int n, const char* name) const {
        for (int i = 0; i < n; ++i)
            if (moveName(list_[i].move) == name) return list_[i];
        ADD_FAILURE() << name << " not generated";
        return list_[511];
    }
    MoveEntry list_[512] = {};
};


// The root list is exactly the moves of the full generator that do not
// leave the own king attacked, each flagged when it gives check; the
// capture generator gives the captures of the full list and queen
// promotions only, without en passant.
TEST_F(MoveGenTest, RootListAndCapturesAgreeWithTheFullGenerator) {
    for (const DataRow& r : dataRows("tree_positions.txt")) {
        SCOPED_TRACE(r[0]);
        const int side = load(r[0].c_str());
        std::vector<MoveEntry> full(list_, list_ + generateMoves(pos, worker.ordering, list_, side, 0));
        MoveSet legal, tactical;
        for (MoveEntry& e : full) {
            const MoveWord m = e.move;
            if (!(m & EnPassantFlag) && (movePromotion(m) == Queen || (!movePromotion(m) && (m & CaptureFlag))))
                tactical.insert(moveName(m));
            pos.makeMove(side, 0, &e);
            if (!pos.ownKingAttacked(side)) legal.insert(moveName(m) + (pos.ownKingAttacked(side ^ 1) ? "+" : ""));
            pos.unmakeMove(0);
        }
        EXPECT_EQ(names(generateRootMoves(pos, worker.ordering, list_, side, 0)), legal);
        // In check the full generator answers the check; the capture generator does not look at it.
        // Kings and pawns have their own capture rules (PawnEndingGeneratorsAgreeWithTheFullOne).
        if (pos.ownKingAttacked(side) || pos.nonPawnMaterial == 0) continue;
        EXPECT_EQ(names(generateCaptures(pos, worker.ordering, list_, side, 1, 0)), tactical);
    }
}

TEST_F(MoveGenTest, ExactListsFromTheData) {
    for (const DataRow& r : dataRows("movegen_lists.txt")) {
        const int side = load(r[1].c_str());
        const int n = r[0] == "root"       ? generateRootMoves(pos, worker.ordering, list_, side, 0)
                      : r[0] == "captures" ? generateCaptures(pos, worker.ordering, list_, side, 1, 0)
                                           : generateMoves(pos, worker.ordering, list_, side, 1);
        MoveSet expected;
        std::istringstream moves(r[2]);
        for (std::string m; moves >> m;) expected.insert(m);
        EXPECT_EQ(names(n, r[0] == "castles" ? CastleFlag : 0), expected) << r[1];
    }
}

// Below every node of a kings-and-pawns tree, the pawn-ending generators give
// the legal moves of the full generator (forced by a stand-in for material),
// except en passant against a checking pawn, which they leave out by design;
// their capture list is every legal capture but en passant, and every promotion.
TEST_F(MoveGenTest, PawnEndingGeneratorsAgreeWithTheFullOne) {
    static MoveEntry tree[MaxPly * 512];
    auto legal = [this](MoveEntry* list, int n, int side, int ply, bool (*keep)(MoveWord)) {
        MoveSet s;
        for (int i = 0; i < n; ++i) {
            pos.makeMove(side, ply, &list[i]);
            if (!pos.ownKingAttacked(side) && keep(list[i].move)) s.insert(moveName(list[i].move));
            pos.unmakeMove(ply);
        }
        return s;
    };
    auto any = [](MoveWord) { return true; };
    auto capture = [](MoveWord m) { return (m & EnPassantFlag) == 0 && ((m & CaptureFlag) || movePromotion(m)); };
    std::function<void(int, int, int)> walk = [&](int side, int ply, int depth) {
        MoveEntry *own = tree + ply * 512, *full = own + 256;
        pos.attackCacheValid[ply] = 0;
        const bool inCheck = pos.ownKingAttacked(side);
        const int c = generateCaptures(pos, worker.ordering, own, side, ply, 0);
        const MoveSet captures = legal(own, c, side, ply, any);
        const int n = generateMoves(pos, worker.ordering, own, side, ply);
        pos.nonPawnMaterial = 1;
        int m = generateMoves(pos, worker.ordering, full, side, ply);
        pos.nonPawnMaterial = 0;
        for (int i = 0; i < m; ++i)
            if (inCheck && (full[i].move & EnPassantFlag)) full[i--] = full[--m];
        const MoveSet moves = legal(own, n, side, ply, any);
        ASSERT_EQ(moves, legal(full, m, side, ply, any)) << "ply " << ply;
        ASSERT_EQ(captures, legal(full, m, side, ply, capture)) << "ply " << ply;
        for (int i = 0; depth > 1 && i < n; ++i) {
            pos.makeMove(side, ply, &own[i]);
            if (!pos.ownKingAttacked(side) && pos.nonPawnMaterial == 0) walk(side ^ 1, ply + 1, depth - 1);
            pos.unmakeMove(ply);
            if (HasFatalFailure()) return;
        }
    };
    for (const DataRow& r : dataRows("pawn_endings.txt")) {
        SCOPED_TRACE(r[0]);
        walk(load(r[0].c_str()), 1, int(num(r[1])));
        if (HasFatalFailure()) return;
    }
}

// The table move, killers and history are pinned by the bench's node total
// (tests/e2e/test_tool.py).
TEST_F(MoveGenTest, MoveScoresAndFlags) {
    for (const DataRow& r : dataRows("move_scores.txt")) {
        const int side = load(r[1].c_str());
        pos.undoStack.move[0] = r[2] == "-" ? 0 : makeMoveCode(sq(r[2].c_str()), sq(r[2].c_str() + 2));
        const int n = r[0] == "captures" ? generateCaptures(pos, worker.ordering, list_, side, 1, 0)
                                         : generateMoves(pos, worker.ordering, list_, side, 1);
        const MoveEntry& e = find(n, r[3].c_str());
        if (r[4] != "-") {
            EXPECT_EQ(e.score, num(r[4])) << r[1] << " " << r[3];
        }
        if (r[5] != "-") {
            EXPECT_EQ((e.move & SeventhRankFlag) != 0, r[5] == "1") << r[1] << " " << r[3];
        }
    }
    // No bonus for a knight; a double step blocked on its way in a pawn ending.
    const int n = generateMoves(pos, worker.ordering, list_, load("4k3/P7/2P5/8/8/4p3/8/K6R w - -"), 1);
    EXPECT_EQ(find(n, "a7a8q").score - find(n, "a7a8n").score, 940);
    EXPECT_EQ(
        names(generateMoves(pos, worker.ordering, list_, load("8/1P4k1/8/8/6p1/8/6P1/K7 w - -"), 1)).count("g2g4"), 0u);
}

}  // namespace
