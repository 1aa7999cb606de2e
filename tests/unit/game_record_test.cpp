#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "board/tables.h"
#include "frontend/game_record.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_board.h"

namespace {

class GameRecordTest : public BoardFixture {
protected:
    static void SetUpTestSuite() {
        ttResize(64);
    }
    // A position no test uses, so each test's first start is a new game.
    void SetUp() override { ASSERT_EQ(setFromFen("8/8/8/8/8/8/8/K6k w - -"), 1); }

    static PositionRecord fen(const char* text) {
        PositionRecord r{};
        EXPECT_TRUE(parseFen(text, r)) << text;
        return r;
    }
    static int rights(const PositionRecord& r) {
        return r.whiteShort * 1 + r.whiteLong * 2 + r.blackShort * 4 + r.blackLong * 8;
    }
    // Every position reached is loaded onto the board, whose own key must
    // match the one the record computed.
    void play(std::initializer_list<const char*> moves) {
        for (const char* m : moves) {
            playMove(parseMoveText(m));
            loadCurrentPosition(pos);
            EXPECT_EQ(pos.hashKey, gameRecord.keys[gameRecord.ply]) << m;
        }
    }
    void start(const char* text, std::initializer_list<const char*> moves = {}) {
        ASSERT_EQ(setFromFen(text), 1) << text;
        loadCurrentPosition(pos);
        EXPECT_EQ(pos.hashKey, gameRecord.keys[0]) << text;
        play(moves);
    }
    static const PositionRecord& now() { return gameRecord.positions[gameRecord.ply]; }
    static char at(const char* square) { return now().board[sq(square)]; }
};

TEST_F(GameRecordTest, ParseFen) {
    PositionRecord r{};
    for (const DataRow& d : dataRows("fens.txt")) {
        ASSERT_EQ(parseFen(d[0].c_str(), r), d[1] == "1") << '"' << d[0] << '"';
        if (d[1] == "0") continue;
        EXPECT_EQ(std::tuple(r.sideToMove, r.epSquare, rights(r)),
                  std::tuple(d[2] == "b" ? Black : White, d[3] == "-" ? 0 : sq(d[3].c_str()), rightsFromLetters(d[4])))
            << d[0];
    }
    r = fen(StartFen);
    EXPECT_EQ(std::string(r.board, 64), "RNBQKBNRPPPPPPPP" + std::string(32, ' ') + "pppppppprnbqkbnr");
    EXPECT_EQ(std::string(fen("4k3/8/2K b").board + 40, 24), "  K     " + std::string(8, ' ') + "    k   ");
    EXPECT_FALSE(parseFen("8 ", r) || parseFen(nullptr, r));
    // Each prefix of a full FEN parses exactly when it reaches the side letter.
    const std::string full = "r3k2r/pppq1ppp/2n2n2/3pp3/4P3/2N2N2/PPPQ1PPP/R3K2R b KQkq e3 0 12";
    for (size_t n = 0; n <= full.size(); ++n)
        EXPECT_EQ(parseFen(full.substr(0, n).c_str(), r), n >= full.find(' ') + 2) << n;
    for (char c : {'1', 'K', '/'})
        EXPECT_FALSE(parseFen(std::string(100000, c).c_str(), r)) << c;
    EXPECT_TRUE(parseFen(("8 w " + std::string(100000, 'K')).c_str(), r));
}

// Board, rights and en passant reach the search through perft and the go
// cycle; here only the bound.
TEST_F(GameRecordTest, LoadPosition) {
    // Too many men for the list: bounded, not overrun.
    loadPosition(fen("PPPPPPPP/PPPPPPPP/PPPPPPPP/8/8/8/8/8 w"), pos);
    EXPECT_EQ(pos.lastPieceIndex[White], 15);
}

TEST_F(GameRecordTest, ReplayKeepsTheGameAndANewStartClearsTheTable) {
    start(StartFen, {"e2e4", "e7e5", "g1f3"});
    gameRecord.scores[1] = 31;
    const uint64_t key3 = gameRecord.keys[3];
    ttStore(1, 0, 0, 5, 0, 0x77);

    // The front end resends the whole game: nothing is recomputed or cleared,
    // and the live board is left alone.
    loadPosition(fen("4k3/8/8/8/8/8/8/4K2R w K -"), pos);
    const uint64_t liveKey = pos.hashKey;
    ASSERT_EQ(setFromFen(StartFen), 1);
    for (const char* m : {"e2e4", "e7e5", "g1f3"}) playMove(parseMoveText(m));
    EXPECT_EQ(gameRecord.scores[1], 31);
    EXPECT_EQ(ttBestMove(1), 0x77u);
    EXPECT_EQ(pos.hashKey, liveKey);

    // A different move overwrites the continuation from there on.
    start(StartFen, {"e2e4", "c7c5", "g1f3"});
    EXPECT_EQ(gameRecord.scores[2], NoStoredScore);
    EXPECT_NE(gameRecord.keys[3], key3);

    // A FEN that fails starts nothing; a new position clears the table.
    EXPECT_EQ(setFromFen("garbage"), 0);
    EXPECT_EQ(gameRecord.ply, 0);
    start("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(gameRecord.moves[0], 0u);
    EXPECT_EQ(ttBestMove(1), 0u);
}

TEST_F(GameRecordTest, CastlingRightsAndTheClock) {
    start("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", {"e1g1"});
    EXPECT_EQ(std::string(now().board + 4, 4), " RK ");
    EXPECT_EQ(pos.hasCastled[White] * 2 + pos.hasCastled[Black], 2);  // play() loads the board
    EXPECT_EQ(rights(now()), 4 | 8);
    play({"e8c8"});
    EXPECT_EQ(std::string(now().board + 56, 5), "  kr ");
    EXPECT_EQ(pos.hasCastled[White] * 2 + pos.hasCastled[Black], 3);
    EXPECT_EQ(rights(now()), 0);
    EXPECT_EQ(pos.fiftyCount, 0);  // giving up rights resets the clock

    // So does a rook or king move that gives up a right.
    start("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"h1g1", "h8g8", "e1e2"});
    EXPECT_EQ(rights(now()), 8);
    EXPECT_EQ(now().halfMoves, 0);
    play({"g8h8", "g1h1"});  // back on corners whose rights are gone
    EXPECT_EQ(pos.fiftyCount, 2);
    play({"a8a7"});
    EXPECT_EQ(pos.fiftyCount, 0);
    // A capture on a corner clears that corner's right.
    start("r3k2r/6P1/8/8/8/8/8/R3K2R w KQkq - 0 1", {"g7h8q", "a8a1"});
    EXPECT_EQ(rights(now()), 1);
    start("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"a1a8", "h8h1"});
    EXPECT_EQ(rights(now()), 0);
}

TEST_F(GameRecordTest, EnPassantAndPromotion) {
    start("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1", {"e2e4"});
    EXPECT_EQ(now().epSquare, sq("e3"));
    play({"d4e3"});
    EXPECT_EQ(at("e4"), ' ');
    EXPECT_EQ(at("e3"), 'p');
    // The cases the board's make follows too: the square only beside an
    // enemy pawn, rights lost with the king and the corner rooks.
    for (const DataRow& r : dataRows("make_move_state.txt")) {
        start(r[0].c_str(), {r[1].c_str()});
        const int ep = r[3] == "-" ? 0 : sq(r[3].c_str());
        EXPECT_EQ(std::pair(now().epSquare, rights(now())), std::pair(ep, rightsFromLetters(r[4]))) << r[0] << " " << r[1];
    }

    start("4k3/1P6/8/8/8/8/6p1/4K2N b - - 0 1", {"g2h1n", "b7b8R"});
    EXPECT_EQ(at("h1"), 'n');
    EXPECT_EQ(at("b8"), 'R');
}

TEST_F(GameRecordTest, HistoryScoresRecapturesAndTheRecordBound) {
    start(StartFen, {"e2e4", "e7e5", "g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(repetitionHistory(), &gameRecord.keys[2]);
    EXPECT_EQ(previousScore(), 0);  // none stored
    gameRecord.scores[4] = -75;
    EXPECT_EQ(previousScore(), -75);
    play({"d2d4"});
    EXPECT_EQ(recaptureMove(parseMoveText("e5d4")), 0u);  // d4 was empty
    play({"e5d4"});
    EXPECT_EQ(recaptureMove(parseMoveText("d1d4")), parseMoveText("d1d4"));
    EXPECT_EQ(recaptureMove(parseMoveText("g1f3")), 0u);

    // The record holds 2048 positions; further moves (and code 0) are refused.
    start(StartFen);
    EXPECT_EQ(recaptureMove(parseMoveText("e2e4")), 0u);
    EXPECT_EQ(playMove(0), 0);
    const char* dance[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 0; gameRecord.ply < GameRecordSize - 1; ++i)
        ASSERT_EQ(playMove(parseMoveText(dance[i % 4])), i + 1);
    const PositionRecord last = now();
    EXPECT_EQ(playMove(parseMoveText("e2e4")), GameRecordSize - 1);
    EXPECT_EQ(now(), last);
}

TEST_F(GameRecordTest, MoveText) {
    for (const char* bad : {"", "e", "e2e", "i2e4", "e9e4", "e2e0", "E2e4"})
        EXPECT_EQ(parseMoveText(bad), 0u) << bad;
    EXPECT_EQ(parseMoveText(nullptr), 0u);
    EXPECT_EQ(moveText(makeMoveCode(sq("e7"), sq("e8"), Queen) | CaptureFlag), "e7e8Q");
    for (int m = 0; m < 64 * 64; ++m)
        for (int promotion : {0, 2, 3, 4, 5}) {
            const Move move = makeMoveCode(m / 64, m % 64, promotion);
            ASSERT_EQ(parseMoveText(moveText(move).c_str()), move);
        }
}

}  // namespace
