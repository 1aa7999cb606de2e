#include "board/movegen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/makemove.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/psq.h"
#include "search/ordering.h"
#include "search/search.h"
#include "test_board.h"

namespace {

using MoveSet = std::set<std::string>;

std::string moveName(MoveWord m) {
    std::string s = {char('a' + fileOf(moveFrom(m))), char('1' + rankOf(moveFrom(m))), char('a' + fileOf(moveTo(m))),
                     char('1' + rankOf(moveTo(m)))};
    if (movePromotion(m)) s += " nbrq"[movePromotion(m) - 1];
    return s;
}

class MoveGenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initPawnHash();
        initTables();
    }

    void SetUp() override {
        std::memcpy(savedPsq_, psqTable, sizeof psqTable);
        clearOrderingTables();
        std::memset(attackCacheValid, 0, sizeof attackCacheValid);
        undoStack.move[0] = 0;  // the move "before" ply 1 lands on a1
    }
    void TearDown() override { std::memcpy(psqTable, savedPsq_, sizeof psqTable); }

    // Position ready for generation; the piece-square table holds material
    // only, so that expected scores can be worked out by hand.
    int load(const char* fen) {
        const int side = setupPosition(fen);
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(side);
        for (int colour = 0; colour < 2; ++colour)
            for (int piece = 0; piece < 8; ++piece)
                for (int s = 0; s < 64; ++s)
                    psqTable[colour * 8 + piece][s] = piece >= Pawn && piece <= Queen ? pieceValue[piece] : 0;
        sumPsqScore();
        return side;
    }

    int generate(int side, int ply = 1) {
        ++nodeCount;
        attackCacheValid[ply] = 0;
        return generateMoves(list_, side, ply);
    }

    MoveSet names(int n) const {
        MoveSet s;
        for (int i = 0; i < n; ++i) s.insert(moveName(list_[i].move));
        return s;
    }

    // Moves of the full generator that survive make + own-king test.
    MoveSet legalMoves(int side, int ply = 1) {
        const int n = generate(side, ply);
        std::vector<MoveEntry> moves(list_, list_ + n);
        MoveSet legal;
        for (MoveEntry& e : moves) {
            makeMove(side, ply, &e);
            if (!ownKingAttacked(side)) legal.insert(moveName(e.move));
            unmakeMove(ply);
        }
        return legal;
    }

    const MoveEntry* find(int n, const char* name) const {
        for (int i = 0; i < n; ++i)
            if (moveName(list_[i].move) == name) return &list_[i];
        return nullptr;
    }

    int savedPsq_[16][64];
    MoveEntry list_[512];
};

const char* const Positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "4k3/8/8/3pP3/8/8/8/4K2R w K d6",
};

TEST_F(MoveGenTest, RootListIsTheLegalSubsetAndFlagsChecks) {
    for (const char* fen : Positions) {
        SCOPED_TRACE(fen);
        const int side = load(fen);
        const MoveSet legal = legalMoves(side, 0);
        const int n = generateRootMoves(list_, side, 0);
        EXPECT_EQ(names(n), legal);
        EXPECT_EQ(attackCacheValid[0], 0);  // the ply's tables were used as scratch
        EXPECT_EQ(ttMove, 0u);
        EXPECT_TRUE(fen != Positions[0] || n == 20);
        std::vector<MoveEntry> root(list_, list_ + n);
        for (MoveEntry& e : root) {
            MoveEntry copy{0, e.move & ~CheckFlag};
            makeMove(side, 0, &copy);
            EXPECT_EQ((e.move & CheckFlag) != 0, ownKingAttacked(side ^ 1)) << moveName(e.move);
            unmakeMove(0);
        }
    }
}

TEST_F(MoveGenTest, PawnMoveFlagsAndPromotions) {
    int side = load("4k3/P7/2P5/8/8/8/4p3/K6R w - -");
    int n = generate(side);
    std::vector<int> promotions;
    for (int i = 0; i < n; ++i)
        if (moveFrom(list_[i].move) == sq("a7")) promotions.push_back(movePromotion(list_[i].move));
    EXPECT_EQ(promotions, (std::vector<int>{Queen, Rook, Bishop, Knight}));
    EXPECT_TRUE(find(n, "c6c7")->move & SeventhRankFlag);
    EXPECT_FALSE(find(n, "a7a8q")->move & SeventhRankFlag);
    EXPECT_FALSE(find(n, "h1h2")->move & SeventhRankFlag);
    EXPECT_TRUE(find(generate(Black), "e2e1q"));

    // The quiescence list keeps the queen promotion only.
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 0);
    ASSERT_EQ(names(n), (MoveSet{"a7a8q"}));
    EXPECT_EQ(list_[0].move & CaptureFlag, 0u);
    EXPECT_EQ(list_[0].score, 940);  // a8 not defended

    // En passant comes from the full generator only.
    side = load("4k3/8/8/3pP3/8/8/8/4K2R w K d6");
    n = generate(side);
    ASSERT_NE(find(n, "e5d6"), nullptr);
    EXPECT_EQ(find(n, "e5d6")->move & (CaptureFlag | EnPassantFlag), CaptureFlag | EnPassantFlag);
    attackCacheValid[1] = 0;
    EXPECT_EQ(generateCaptures(list_, side, 1, 0), 0);
}

TEST_F(MoveGenTest, CapturesGeneratorMatchesTheCapturesOfTheFullGenerator) {
    int compared = 0;
    for (const char* fen : Positions) {
        SCOPED_TRACE(fen);
        const int side = load(fen);
        // In check the full generator answers the check; the capture
        // generator does not look at it.
        if (ownKingAttacked(side)) continue;
        ++compared;
        const int n = generate(side);
        MoveSet expected;
        for (int i = 0; i < n; ++i) {
            const MoveWord m = list_[i].move;
            const int promo = movePromotion(m);
            if (!(m & EnPassantFlag) && (promo == Queen || (promo == 0 && (m & CaptureFlag))))
                expected.insert(moveName(m));
        }
        attackCacheValid[1] = 0;
        EXPECT_EQ(names(generateCaptures(list_, side, 1, 0)), expected);
    }
    EXPECT_GE(compared, 5);
}

// Exact lists of the full generator in positions that test one rule each.
TEST_F(MoveGenTest, CheckAnswersAndKingSafety) {
    struct Case {
        const char* fen;
        MoveSet moves;
    };
    const Case cases[] = {
        // Double check: king moves only, none along the rook's rank.
        {"4k3/7B/8/8/8/5n2/8/r3K2R w K -", {"e1e2", "e1f2"}},
        // Knight check: capture it, move the king; en passant is always offered.
        {"4k3/8/8/2pP4/8/3n3R/8/4K3 w - c6", {"h3d3", "d5c6", "e1d1", "e1d2", "e1e2", "e1f1"}},
        // Rook check: block or capture; a double step only onto the line.
        {"4k3/8/8/8/r6K/2P5/1N2P3/8 w - -", {"b2a4", "b2c4", "c3c4", "e2e4", "h4g3", "h4h3", "h4g5", "h4h5"}},
        // Pawn check: the checker may be taken.
        {"4k3/8/8/8/2p5/1K1P4/P7/7r w - -", {"b3a3", "b3a4", "b3b2", "b3b4", "b3c2", "b3c3", "b3c4", "d3c4"}},
        // Kings and pawns: never next to the enemy king or onto a pawn's capture square.
        {"8/8/8/8/8/1k1p4/8/1K6 w - -", {"b1a1", "b1c1"}},
        // Kings and pawns in check: king moves, or the pawn two files beside takes the checker.
        {"8/8/8/8/2p5/1K1P4/P7/7k w - -", {"b3a3", "b3a4", "b3b2", "b3b4", "b3c2", "b3c3", "b3c4", "d3c4"}},
        {"8/8/8/8/2p5/1P1K4/8/7k w - -", {"b3c4", "d3c2", "d3c3", "d3d2", "d3e2", "d3e3", "d3e4", "d3c4", "d3d4"}},
        {"7K/8/1p1k4/2P5/8/8/8/8 b - -", {"b6c5", "d6c5", "d6c6", "d6c7", "d6d5", "d6d7", "d6e5", "d6e6", "d6e7"}},
        {"7K/8/3k1p2/4P3/8/8/8/8 b - -", {"f6e5", "d6c5", "d6c6", "d6c7", "d6d5", "d6d7", "d6e5", "d6e6", "d6e7"}},
    };
    for (const Case& c : cases) {
        const int side = load(c.fen);
        EXPECT_EQ(names(generate(side)), c.moves) << c.fen;
    }
    // The root list drops what the full generator leaves to the search: the
    // pinned knight's block.
    const int side = load("4r1k1/8/8/8/7b/8/4N3/4K3 w - -");
    EXPECT_EQ(names(generateRootMoves(list_, side, 0)), (MoveSet{"e1d1", "e1d2", "e1f1"}));
}

TEST_F(MoveGenTest, CastlingNeedsRightsEmptySquaresAndNoAttackOnTheKingsPath) {
    struct Case {
        const char* fen;
        MoveSet castles;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", {"e1g1", "e1c1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", {"e8g8", "e8c8"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Kq -", {"e1g1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R b Kq -", {"e8c8"}},
        {"4k3/8/8/4r3/8/8/8/R3K2R w KQ -", {}},             // in check
        {"4kr2/8/8/8/8/8/8/R3K2R w KQ -", {"e1c1"}},        // f1 attacked
        {"4k1r1/8/8/8/8/8/8/R3K2R w KQ -", {"e1c1"}},       // g1 attacked
        {"3rk3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1"}},        // d1 attacked
        {"2r1k3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1"}},       // c1 attacked
        {"1r2k3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1", "e1c1"}},  // b1 attacked but empty: fine
        {"4k3/8/8/8/8/8/8/RN2K1NR w KQ -", {}},             // occupied
        {"r3k2r/8/8/8/8/8/8/4KR2 b kq -", {"e8c8"}},        // f8 attacked
        {"r3k2r/8/8/8/8/8/8/1R2K3 b kq -", {"e8g8", "e8c8"}},  // b8 attacked but empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        const int side = load(c.fen);
        const int n = generate(side);
        MoveSet castles;
        for (int i = 0; i < n; ++i)
            if (list_[i].move & CastleFlag) castles.insert(moveName(list_[i].move));
        EXPECT_EQ(castles, c.castles);
    }
}

TEST_F(MoveGenTest, PawnEndingPromotionsAndScores) {
    const int side = load("8/1P4k1/8/8/8/8/6P1/K7 w - -");
    const int n = generate(side);
    std::map<std::string, int> scores;
    for (int i = 0; i < n; ++i) scores[moveName(list_[i].move)] = list_[i].score;
    EXPECT_EQ(scores["b7b8q"], 1040);
    EXPECT_EQ(scores["b7b8r"], 520);
    EXPECT_EQ(scores["b7b8n"], 330);
    EXPECT_EQ(scores["b7b8b"], 350);
    EXPECT_EQ(scores["g2g3"], 50);  // nothing ahead on the g-file
    EXPECT_EQ(scores["g2g4"], 50);
    std::vector<int> order;
    for (int i = 0; i < n; ++i)
        if (moveFrom(list_[i].move) == sq("b7")) order.push_back(movePromotion(list_[i].move));
    EXPECT_EQ(order, (std::vector<int>{Queen, Rook, Knight, Bishop}));
    for (int i = 0; i < n; ++i) EXPECT_FALSE(list_[i].move & SeventhRankFlag);

    attackCacheValid[1] = 0;
    const int c = generateCaptures(list_, side, 1, 0);
    EXPECT_EQ(names(c), (MoveSet{"b7b8q", "b7b8r", "b7b8n", "b7b8b"}));

    // A blocked double step; a pawn ahead on the file turns the score into
    // the piece-square gain (0 with material values).
    load("8/1P4k1/8/8/6p1/8/6P1/K7 w - -");
    const int m = generate(White);
    EXPECT_NE(find(m, "g2g3"), nullptr);
    EXPECT_EQ(find(m, "g2g4"), nullptr);
    EXPECT_EQ(find(m, "g2g3")->score, 0);
}

TEST_F(MoveGenTest, PawnEndingCaptureListInCheck) {
    const int side = load("8/8/8/8/2p5/1K1P4/P7/7k w - -");
    attackCacheValid[1] = 0;
    EXPECT_EQ(names(generateCaptures(list_, side, 1, 0)), (MoveSet{"b3c4", "d3c4"}));
}

TEST_F(MoveGenTest, PawnEndingLeavesOutEnPassantAgainstACheckingPawn) {
    // Black has just played c7-c5 with check; b5xc6 would be legal.
    const int side = load("8/8/8/1Pp1p3/1K3p1k/8/4P1P1/8 w - c6");
    const int n = generate(side);
    EXPECT_EQ(find(n, "b5c6"), nullptr);
    EXPECT_EQ(n, 7);
    // The same position with a piece on the board goes through the full
    // generator, which does offer it.
    load("8/8/8/1Pp1p3/1K3p1k/8/4P1P1/7N w - c6");
    EXPECT_NE(find(generate(White), "b5c6"), nullptr);
}

TEST_F(MoveGenTest, OrderingScoresForCapturesAndExchanges) {
    // Pawn takes an undefended queen that attacks it.
    int side = load("4k3/8/8/3q4/4P3/8/8/4K2R w - -");
    int n = generate(side);
    // victim 1040/2 + queen kept by the opponent (-(-1040)) + pawn saved from the queen (100/2)
    EXPECT_EQ(find(n, "e4d5")->score, 520 + 1040 + 50);
    EXPECT_EQ(find(n, "h1h2")->score, 0);
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 0);
    EXPECT_EQ(find(n, "e4d5")->score, 1040);

    // Defended queen: the pawn is lost back, the quiescence list pays the pawn.
    side = load("4k3/8/2p5/3q4/4P3/8/8/4K2R w - -");
    n = generate(side);
    EXPECT_EQ(find(n, "e4d5")->score, 520 + 940 + 50);
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 0);
    EXPECT_EQ(find(n, "e4d5")->score, 1040 - 100);

    // Recapture on the square the opponent just moved to.
    side = load("4k3/8/2p5/3q4/4P3/8/8/4K2R w - -");
    undoStack.move[0] = makeMoveCode(sq("d8"), sq("d5"));
    n = generate(side);
    EXPECT_EQ(find(n, "e4d5")->score, 520 + 940 + 50 + 700);
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 0);
    EXPECT_EQ(find(n, "e4d5")->score, 1040 - 100 + 400);
}

TEST_F(MoveGenTest, TableMoveKillersAndHistoryRaiseScores) {
    const int side = load("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    undoStack.move[0] = makeMoveCode(sq("a1"), sq("a1"));
    const int n = generate(side);
    const std::vector<MoveEntry> base(list_, list_ + n);
    auto scoreOf = [&](const std::vector<MoveEntry>& l, Move m) {
        for (const MoveEntry& e : l)
            if (moveOf(e.move) == m) return e.score;
        ADD_FAILURE() << moveName(m);
        return 0;
    };
    const Move tt = moveOf(base[3].move), k1 = moveOf(base[5].move), k2 = moveOf(base[7].move),
               best = moveOf(base[9].move), h1 = moveOf(base[11].move), h2 = moveOf(base[13].move);
    ttMove = tt;
    killerMove1[1] = k1;
    killerMove2[1] = k2;
    plyBestMove[1] = best;
    historyTable[side][moveFrom(h1)][moveTo(h1)] = 1000;
    historyTable[side][moveFrom(h2)][moveTo(h2)] = 333;
    generate(side);
    const std::vector<MoveEntry> raised(list_, list_ + n);
    EXPECT_EQ(scoreOf(raised, tt) - scoreOf(base, tt), 10000);
    EXPECT_EQ(scoreOf(raised, k1) - scoreOf(base, k1), 650);
    EXPECT_EQ(scoreOf(raised, k2) - scoreOf(base, k2), 400);
    EXPECT_EQ(scoreOf(raised, best) - scoreOf(base, best), 50);
    EXPECT_EQ(scoreOf(raised, h1) - scoreOf(base, h1), 128);
    EXPECT_EQ(scoreOf(raised, h2) - scoreOf(base, h2), 333 * 128 / 1000);

    // At the root none of them counts, and the table move is forgotten.
    historyTable[side][moveFrom(h1)][moveTo(h1)] = 0;
    historyTable[side][moveFrom(h2)][moveTo(h2)] = 0;
    killerMove1[0] = k1;
    attackCacheValid[0] = 0;
    ++nodeCount;
    generateMoves(list_, side, 0);
    EXPECT_EQ(ttMove, 0u);
    const std::vector<MoveEntry> root(list_, list_ + n);
    for (Move m : {tt, k1, k2, best}) EXPECT_EQ(scoreOf(root, m), scoreOf(base, m)) << moveName(m);
}

TEST_F(MoveGenTest, SafeKnightChecksAndTheirScores) {
    int side = load("4k3/8/8/8/4N3/8/8/K7 w - -");
    attackCacheValid[1] = 0;
    int n = generateChecks(list_, side, 1);
    EXPECT_EQ(names(n), (MoveSet{"e4d6", "e4f6"}));
    for (int i = 0; i < n; ++i) EXPECT_EQ(list_[i].score, 4000);

    // A defending pawn makes both squares unsafe.
    side = load("4k3/4p3/8/8/4N3/8/8/K7 w - -");
    attackCacheValid[1] = 0;
    EXPECT_EQ(generateChecks(list_, side, 1), 0);

    // A bishop defends d6: one knight is not enough. On f6 the queen defends,
    // but the knight's word minus itself (a rook) still outweighs a queen.
    side = load("1b2k2q/8/8/8/4N3/8/K7/5R2 w - -");
    attackCacheValid[1] = 0;
    n = generateChecks(list_, side, 1);
    EXPECT_EQ(names(n), (MoveSet{"e4f6"}));

    // A check that captures: its own entry in generateChecks, a bonus on the
    // capture in the quiescence list.
    side = load("4k3/8/3b4/8/4N3/8/8/K7 w - -");
    attackCacheValid[1] = 0;
    n = generateChecks(list_, side, 1);
    ASSERT_EQ(names(n), (MoveSet{"e4d6", "e4f6"}));
    EXPECT_TRUE(find(n, "e4d6")->move & CaptureFlag);
    EXPECT_EQ(find(n, "e4d6")->score, 4000);
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 0);
    ASSERT_EQ(names(n), (MoveSet{"e4d6"}));
    const int plain = list_[0].score;
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 1);
    EXPECT_EQ(names(n), (MoveSet{"e4d6", "e4f6"}));
    EXPECT_EQ(find(n, "e4d6")->score, plain + 3000);
    EXPECT_EQ(find(n, "e4f6")->score, 4000);
}

TEST_F(MoveGenTest, SafeSliderChecksAndTheirScores) {
    int side = load("4k3/8/8/8/8/8/8/K6R w - -");
    attackCacheValid[1] = 0;
    int n = generateChecks(list_, side, 1);
    EXPECT_EQ(names(n), (MoveSet{"h1e1", "h1h8"}));
    for (int i = 0; i < n; ++i) EXPECT_EQ(list_[i].score, 3000);
    attackCacheValid[1] = 0;
    n = generateCaptures(list_, side, 1, 1);
    EXPECT_EQ(names(n), (MoveSet{"h1e1", "h1h8"}));
    for (int i = 0; i < n; ++i) EXPECT_EQ(list_[i].score, 4000);

    side = load("4k3/8/8/8/8/8/8/KB6 w - -");
    attackCacheValid[1] = 0;
    n = generateChecks(list_, side, 1);
    EXPECT_EQ(names(n), (MoveSet{"b1g6"}));
    EXPECT_EQ(list_[0].score, 4000);

    // Queen: adjacent squares are covered by the king and need double cover.
    side = load("4k3/8/8/8/8/8/8/K3Q3 w - -");
    attackCacheValid[1] = 0;
    n = generateChecks(list_, side, 1);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(list_[i].score, 5000) << moveName(list_[i].move);
        EXPECT_GT(distance[moveTo(list_[i].move)][sq("e8")], 1) << moveName(list_[i].move);
        MoveEntry e = list_[i];
        makeMove(side, 1, &e);
        EXPECT_TRUE(e.move & CheckFlag) << moveName(e.move);
        unmakeMove(1);
    }
    EXPECT_EQ(names(n), (MoveSet{"e1e2", "e1e3", "e1e4", "e1e5", "e1e6"}));
}

TEST_F(MoveGenTest, CheckFinderReportsAnAttackItCannotFind) {
    // Not a legal position (the black king stands in check): the queen's
    // attack on f4 runs through the king, so no queen reaches f4.
    const int side = load("8/8/8/8/Q2k2P1/8/8/7K w - -");
    attackCacheValid[1] = 0;
    ::testing::internal::CaptureStdout();
    const int n = generateChecks(list_, side, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "bug multitosq, 5, 29");
    const MoveEntry* self = find(n, "f4f4");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->score, 5000);
}

}  // namespace
