#include "board/movegen.h"

#include <gtest/gtest.h>

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

class MoveGenTest : public BoardFixture {
protected:
    void SetUp() override {
        BoardFixture::SetUp();
        undoStack.move[0] = 0;  // the move "before" ply 1 lands on a1
    }

    // Position ready for generation (no stale attack tables or check marks);
    // the piece-square table holds material only, so that expected scores can
    // be worked out by hand.
    int load(const char* fen) {
        const int side = setupPosition(fen);
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(side);
        std::memset(attackCacheValid, 0, sizeof attackCacheValid);
        ++nodeCount;
        for (int piece = 0; piece < 16; ++piece)
            for (int& v : psqTable[piece]) v = (piece & 7) >= Pawn && (piece & 7) <= Queen ? pieceValue[piece & 7] : 0;
        sumPsqScore();
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

const char* const Positions[] = {
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "4k3/8/8/3pP3/8/8/8/4K2R w K d6",
};

// The root list is exactly the moves of the full generator that do not
// leave the own king attacked, each flagged when it gives check; the
// capture generator gives the captures of the full list and queen
// promotions only, without en passant.
TEST_F(MoveGenTest, RootListAndCapturesAgreeWithTheFullGenerator) {
    for (const char* fen : Positions) {
        SCOPED_TRACE(fen);
        const int side = load(fen);
        std::vector<MoveEntry> full(list_, list_ + generateMoves(list_, side, 0));
        MoveSet legal, tactical;
        for (MoveEntry& e : full) {
            const MoveWord m = e.move;
            if (!(m & EnPassantFlag) && (movePromotion(m) == Queen || (!movePromotion(m) && (m & CaptureFlag))))
                tactical.insert(moveName(m));
            makeMove(side, 0, &e);
            if (!ownKingAttacked(side)) legal.insert(moveName(m) + (ownKingAttacked(side ^ 1) ? "+" : ""));
            unmakeMove(0);
        }
        EXPECT_EQ(names(generateRootMoves(list_, side, 0)), legal);
        // In check the full generator answers the check; the capture generator does not look at it.
        if (ownKingAttacked(side)) continue;
        EXPECT_EQ(names(generateCaptures(list_, side, 1, 0)), tactical);
    }
}

// Exact lists in positions that test one rule each.
TEST_F(MoveGenTest, EvasionsCastlingAndPawnEndingRules) {
    enum Generator { All, Castles, Captures, Root };
    struct Case { Generator generator; const char* fen; MoveSet moves; };
    const Case cases[] = {
        // Double check: king moves only, none along the rook's rank.
        {All, "4k3/7B/8/8/8/5n2/8/r3K2R w K -", {"e1e2", "e1f2"}},
        // Knight check: capture it or move the king (d5xe6 does not help);
        // en passant is always offered.
        {All, "4k3/8/4p3/2pP4/8/3n3R/8/4K3 w - c6", {"h3d3", "d5c6", "e1d1", "e1d2", "e1e2", "e1f1"}},
        // Rook check: block or capture; a double step only onto the line.
        {All, "4k3/8/8/8/r6K/2P5/1N2P3/8 w - -", {"b2a4", "b2c4", "c3c4", "e2e4", "h4g3", "h4h3", "h4g5", "h4h5"}},
        // Pawn check from either side: the checker may be taken.
        {All, "4k3/8/8/8/2p5/1K1P4/P7/7r w - -", {"b3a3", "b3a4", "b3b2", "b3b4", "b3c2", "b3c3", "b3c4", "d3c4"}},
        {All, "4k3/8/8/8/2p5/1P1K4/8/7r w - -",
         {"b3c4", "d3c2", "d3c3", "d3d2", "d3e2", "d3e3", "d3e4", "d3c4", "d3d4"}},
        // The root list drops the pinned knight's block the full generator leaves to the search.
        {Root, "4r1k1/8/8/8/7b/8/4N3/4K3 w - -", {"e1d1", "e1d2", "e1f1"}},
        // Castling needs the right, empty squares, and no attack on the king's path.
        {Castles, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", {"e1g1", "e1c1"}},
        {Castles, "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", {"e8g8", "e8c8"}},
        {Castles, "r3k2r/8/8/8/8/8/8/R3K2R w Kq -", {"e1g1"}},
        {Castles, "r3k2r/8/8/8/8/8/8/R3K2R b Kq -", {"e8c8"}},
        {Castles, "4k3/8/8/4r3/8/8/8/R3K2R w KQ -", {}},                // in check
        {Castles, "4kr2/8/8/8/8/8/8/R3K2R w KQ -", {"e1c1"}},           // f1 attacked
        {Castles, "4k1r1/8/8/8/8/8/8/R3K2R w KQ -", {"e1c1"}},          // g1 attacked
        {Castles, "3rk3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1"}},           // d1 attacked
        {Castles, "2r1k3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1"}},          // c1 attacked
        {Castles, "1r2k3/8/8/8/8/8/8/R3K2R w KQ -", {"e1g1", "e1c1"}},  // b1 attacked but empty
        {Castles, "4k3/8/8/8/8/8/8/RN2K1NR w KQ -", {}},                // occupied
        {Castles, "4k3/8/8/8/8/8/8/3K2R1 w K -", {}},                   // king not at home
        {Castles, "r3k2r/8/8/8/8/8/8/4KR2 b kq -", {"e8c8"}},           // f8 attacked
        // Captures: queen promotion only, no en passant.
        {Captures, "4k3/P7/2P5/8/8/8/4p3/K6R w - -", {"a7a8q"}},
        {Captures, "4k3/8/8/8/8/2b5/3n1n2/4K3 w - -", {"e1f2"}},  // the king takes undefended men only
        // Kings and pawns: never next to the enemy king or onto a pawn's capture square.
        {All, "8/8/8/8/8/1k1p4/8/1K6 w - -", {"b1a1", "b1c1"}},
        {All, "4k3/8/8/3pP3/8/8/8/4K3 w - d6", {"e1d1", "e1d2", "e1e2", "e1f1", "e1f2", "e5e6", "e5d6"}},
        // In check: king moves, or the pawn two files beside takes the checker.
        {All, "8/8/8/8/2p5/1K1P4/P7/7k w - -", {"b3a3", "b3a4", "b3b2", "b3b4", "b3c2", "b3c3", "b3c4", "d3c4"}},
        {All, "8/8/8/8/2p5/1P1K4/8/7k w - -", {"b3c4", "d3c2", "d3c3", "d3d2", "d3e2", "d3e3", "d3e4", "d3c4", "d3d4"}},
        {All, "7K/8/1p1k4/2P5/8/8/8/8 b - -", {"b6c5", "d6c5", "d6c6", "d6c7", "d6d5", "d6d7", "d6e5", "d6e6", "d6e7"}},
        {All, "7K/8/3k1p2/4P3/8/8/8/8 b - -", {"f6e5", "d6c5", "d6c6", "d6c7", "d6d5", "d6d7", "d6e5", "d6e6", "d6e7"}},
        {Captures, "8/8/8/8/2p5/1K1P4/P7/7k w - -", {"b3c4", "d3c4"}},
        {Captures, "8/1P4k1/8/8/8/8/6P1/K7 w - -", {"b7b8q", "b7b8r", "b7b8n", "b7b8b"}},
        // ... and leave out en passant against a checking pawn, which the
        // full generator (a knight on the board) offers.
        {All, "8/8/8/1Pp1p3/1K3p1k/8/4P1P1/8 w - c6", {"b4a3", "b4a4", "b4a5", "b4b3", "b4c3", "b4c4", "b4c5"}},
        {All, "8/8/8/1Pp1p3/1K3p1k/8/4P1P1/7N w - c6",
         {"b4a3", "b4a4", "b4a5", "b4b3", "b4c3", "b4c4", "b4c5", "b5c6"}},
    };
    for (const Case& c : cases) {
        const int side = load(c.fen);
        const int n = c.generator == Root       ? generateRootMoves(list_, side, 0)
                      : c.generator == Captures ? generateCaptures(list_, side, 1, 0)
                                                : generateMoves(list_, side, 1);
        EXPECT_EQ(names(n, c.generator == Castles ? CastleFlag : 0), c.moves) << c.fen;
    }
}

TEST_F(MoveGenTest, PawnMoveFlagsAndScores) {
    int side = load("4k3/P7/2P5/8/8/4p3/8/K6R w - -");
    int n = generateMoves(list_, side, 1);
    EXPECT_TRUE(find(n, "c6c7").move & SeventhRankFlag);
    EXPECT_FALSE(find(n, "a7a8q").move & SeventhRankFlag);
    EXPECT_EQ(find(n, "a7a8q").score - find(n, "a7a8n").score, 940);  // no bonus for a knight
    EXPECT_TRUE(find(generateMoves(list_, Black, 1), "e3e2").move & SeventhRankFlag);
    const MoveEntry& queening = find(generateCaptures(list_, side, 1, 0), "a7a8q");
    EXPECT_EQ(queening.move & CaptureFlag, 0u);
    EXPECT_EQ(queening.score, 940);  // a8 not defended

    // Kings and pawns: promotions scored at their value, a push with nothing
    // ahead on the file at 50.
    side = load("8/1P4k1/8/8/8/8/6P1/K7 w - -");
    n = generateMoves(list_, side, 1);
    for (auto [move, score] : {std::pair{"b7b8q", 1040}, {"b7b8r", 520}, {"b7b8n", 330}, {"b7b8b", 350}, {"g2g3", 50},
                               {"g2g4", 50}})
        EXPECT_EQ(find(n, move).score, score) << move;
    // A pawn ahead: the push scores its piece-square gain (0 here), the double step is blocked.
    load("8/1P4k1/8/8/6p1/8/6P1/K7 w - -");
    n = generateMoves(list_, White, 1);
    EXPECT_EQ(find(n, "g2g3").score, 0);
    EXPECT_EQ(names(n).count("g2g4"), 0u);
}

TEST_F(MoveGenTest, OrderingScores) {
    struct Case { const char* fen; Move lastMove; int full, quiescence; };
    const Case cases[] = {
        // Pawn takes an undefended queen that attacks it: half the victim, the
        // queen not won back, the pawn saved from the queen (half a pawn).
        {"4k3/8/8/3q4/4P3/8/8/4K2R w - -", 0, 520 + 1040 + 50, 1040},
        // Defended queen: the pawn is lost back.
        {"4k3/8/2p5/3q4/4P3/8/8/4K2R w - -", 0, 520 + 940 + 50, 1040 - 100},
        // Recapture on the square the opponent just moved to.
        {"4k3/8/2p5/3q4/4P3/8/8/4K2R w - -", makeMoveCode(sq("d8"), sq("d5")), 520 + 940 + 50 + 700, 1040 - 100 + 400},
    };
    for (const Case& c : cases) {
        const int side = load(c.fen);
        undoStack.move[0] = c.lastMove;
        EXPECT_EQ(find(generateMoves(list_, side, 1), "e4d5").score, c.full) << c.fen;
        EXPECT_EQ(find(generateCaptures(list_, side, 1, 0), "e4d5").score, c.quiescence) << c.fen;
        // The push walks into the queen: the pawn lost ahead, half of it saved behind.
        EXPECT_EQ(find(generateMoves(list_, side, 1), "e4e5").score, -100 + 50) << c.fen;
    }

    // Table move, killers, the ply's best move and history raise scores ...
    const int side = load(Positions[0]);
    const int n = generateMoves(list_, side, 1);
    const std::vector<MoveEntry> base(list_, list_ + n);
    ttMove = moveOf(base[3].move);
    killerMove1[1] = killerMove1[0] = moveOf(base[5].move);
    killerMove2[1] = killerMove2[0] = moveOf(base[7].move);
    plyBestMove[1] = plyBestMove[0] = moveOf(base[9].move);
    historyTable[side][moveFrom(base[11].move)][moveTo(base[11].move)] = 1000;  // the highest: +128
    historyTable[side][moveFrom(base[13].move)][moveTo(base[13].move)] = 333;
    std::map<int, int> raise = {{3, 10000}, {5, 650}, {7, 400}, {9, 50}, {11, 128}, {13, 333 * 128 / 1000}};
    ASSERT_EQ(generateMoves(list_, side, 1), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(list_[i].score - base[i].score, raise[i]) << moveName(list_[i].move);
    // ... but at the root only history counts, and the table move is forgotten.
    generateMoves(list_, side, 0);
    EXPECT_EQ(ttMove, 0u);
    for (int i : {3, 5, 7, 9}) EXPECT_EQ(list_[i].score, base[i].score) << moveName(list_[i].move);
}

}  // namespace
