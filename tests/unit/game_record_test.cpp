#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/board.h"
#include "board/tables.h"
#include "frontend/game_record.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

class GameRecordTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initTables();
        ttResize(64);
    }
    static void TearDownTestSuite() { ttRelease(); }
    // A position no test uses, so each test's first setFromFen starts a new game.
    void SetUp() override { ASSERT_EQ(setFromFen("8/8/8/8/8/8/8/K6k w - -"), 1); }

    static PositionRecord fen(const char* text) {
        PositionRecord r{};
        EXPECT_TRUE(parseFen(text, r)) << text;
        return r;
    }
    static int rights(const PositionRecord& r) {
        return r.whiteShort * 1 + r.whiteLong * 2 + r.blackShort * 4 + r.blackLong * 8;
    }
    static void start(const char* text, std::initializer_list<const char*> moves = {}) {
        ASSERT_EQ(setFromFen(text), 1) << text;
        play(moves);
    }
    static void play(std::initializer_list<const char*> moves) {
        for (const char* m : moves) {
            ASSERT_NE(parseMoveText(m), 0u) << m;
            playMove(parseMoveText(m));
        }
    }
    static const PositionRecord& now() { return gameRecord.positions[gameRecord.ply]; }
    static char at(const char* square) { return now().board[sq(square)]; }
};

TEST_F(GameRecordTest, ParseFen) {
    PositionRecord r = fen(StartFen);
    EXPECT_EQ(std::string(r.board, 64), "RNBQKBNRPPPPPPPP" + std::string(32, ' ') + "pppppppprnbqkbnr");
    EXPECT_EQ(rights(r), 15);
    EXPECT_EQ(r.sideToMove, White);
    EXPECT_EQ(fen("8/8/8/8/8/8/8/8 B").sideToMove, Black);
    EXPECT_EQ(fen("8/8/8/8/8/8/8/8 W").sideToMove, White);
    // Missing ranks, a short last rank and a missing board are accepted.
    r = fen("4k3/8/2K w");
    EXPECT_EQ(r.board[sq("e8")], 'k');
    EXPECT_EQ(r.board[sq("c6")], 'K');
    EXPECT_EQ(std::string(fen(" b").board, 64), std::string(64, ' '));

    EXPECT_EQ(fen("4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 1").epSquare, 20);
    EXPECT_EQ(fen("4k3/8/8/3pP3/8/8/8/4K3 w - d6").epSquare, sq("d6"));
    for (const char* dropped : {"e2", "e7", "e", "i3", ""}) {
        const std::string text = std::string("4k3/8/8/8/8/8/4P3/4K3 b - ") + dropped;
        EXPECT_EQ(fen(text.c_str()).epSquare, 0) << dropped;
    }
}

TEST_F(GameRecordTest, ParseFenRejectsBadTextWithoutOverreading) {
    PositionRecord r;
    for (const char* bad : {"", "x", "rnbqkbnr", "9/8 w", "0/8 w", "8/8/8/8/8/8/8/8/8 w", "8 x",
                            "8 ", "ppppppppp w", "7/8 w", "7K1/8 w", "8/8/8/8/8/8/8/8w"})
        EXPECT_FALSE(parseFen(bad, r)) << '"' << bad << '"';
    EXPECT_FALSE(parseFen(nullptr, r));

    // Each prefix of a full FEN parses exactly when it reaches the side letter.
    const std::string full = "r3k2r/pppq1ppp/2n2n2/3pp3/4P3/2N2N2/PPPQ1PPP/R3K2R b KQkq e3 0 12";
    for (size_t n = 0; n <= full.size(); ++n)
        EXPECT_EQ(parseFen(full.substr(0, n).c_str(), r), n >= full.find(' ') + 2) << n;

    for (char c : {'1', 'K', '/'})
        EXPECT_FALSE(parseFen(std::string(100000, c).c_str(), r)) << c;
    EXPECT_TRUE(parseFen(("8 w " + std::string(100000, 'K')).c_str(), r));
}

TEST_F(GameRecordTest, CastlingFieldIsValidatedAndDerived) {
    // Rooks gone from h1 and a8: only white long and black short survive.
    EXPECT_EQ(rights(fen("1r2k2r/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1")), 2 | 4);
    EXPECT_EQ(rights(fen("r4rk1/8/8/8/8/8/8/R4RK1 w KQkq -")), 0);
    EXPECT_EQ(rights(fen("r3k2r/8/8/8/8/8/8/R3K2R w - -")), 0);
    // No field, a foreign character, or the end of the text inside the field:
    // rights are derived from the board (and the ep field is skipped).
    EXPECT_EQ(rights(fen("r3k2r/8/8/8/8/8/8/R3K2R w")), 15);
    EXPECT_EQ(rights(fen("r3k2r/8/8/8/8/8/8/R3K2R w K")), 15);
    const PositionRecord r = fen("r3k2r/8/8/8/4Pp2/8/8/R3K1R1 b Kx e3");
    EXPECT_EQ(rights(r), 2 | 4 | 8);
    EXPECT_EQ(r.epSquare, 0);
}

TEST_F(GameRecordTest, LoadPositionAndRecordKey) {
    PositionRecord r = fen("r3k2r/pp1n1ppp/8/2pP4/8/5N2/PPP2PPP/R1B1K2R w Kq c6 0 1");
    r.halfMoves = 7;
    r.blackCastled = 1;
    loadPosition(r);
    EXPECT_EQ(board[sq("a8")].piece, Rook);
    EXPECT_EQ(board[sq("a8")].colour, Black);
    EXPECT_EQ(board[sq("e4")].piece, NoPiece);
    EXPECT_EQ(board[sq("e4")].colour, NoColour);
    EXPECT_EQ(castleRights, WhiteShort | BlackLong);
    EXPECT_EQ(epSquare, sq("c6"));
    EXPECT_EQ(fiftyCount, 7);
    EXPECT_EQ(hasCastled[White] * 2 + hasCastled[Black], 1);
    EXPECT_EQ(searchEngine.sideToMove, White);
    EXPECT_EQ(pieceCount[White * 8 + Pawn], 7);
    EXPECT_EQ(pieceCount[Black * 8 + Knight], 1);
    EXPECT_EQ(nonPawnMaterial, 2 * 520 + 330 + 350 + 2 * 520 + 330);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(board[pieceList[c][0]].piece, King);
        int men = 0;
        for (int s = 0; s < 64; ++s) men += board[s].colour == c;
        EXPECT_EQ(lastPieceIndex[c], men - 1);
        for (int i = 1; i <= lastPieceIndex[c]; ++i) {
            EXPECT_EQ(board[pieceList[c][i]].colour, c);
            EXPECT_TRUE(i == 1 || pieceList[c][i - 1] < pieceList[c][i]);
        }
    }
    // Too many men for the list: bounded, not overrun.
    loadPosition(fen("PPPPPPPP/PPPPPPPP/PPPPPPPP/8/8/8/8/8 b"));
    EXPECT_EQ(lastPieceIndex[White], 15);
    EXPECT_EQ(searchEngine.sideToMove, Black);

    for (const char* f : {StartFen, "r3k2r/8/8/8/4Pp2/8/8/R3K2R b KQkq e3", " w",
                          "4k3/P7/8/8/8/8/7p/4K3 b - -", "r1bq1rk1/8/8/8/8/8/8/R3K2R w Qk -"}) {
        loadPosition(fen(f));
        EXPECT_EQ(recordKey(fen(f)), hashKey) << f;
        EXPECT_EQ(hashKey, computeHashKey(searchEngine.sideToMove)) << f;
    }
    // Along a game with en passant, castling both ways and a promotion.
    start("r3k2r/1P4pp/8/3pP3/8/8/6PP/R3K2R w KQkq d6 0 1");
    for (const char* m : {"e5d6", "e8c8", "e1g1", "h7h5", "b7a8q", "d8a8", "g2g4", "h5g4"}) {
        play({m});
        loadCurrentPosition();
        EXPECT_EQ(gameRecord.keys[gameRecord.ply], hashKey) << m;
    }
}

TEST_F(GameRecordTest, ReplayKeepsTheGameAndANewStartClearsTheTable) {
    start(StartFen, {"e2e4", "e7e5", "g1f3"});
    gameRecord.scores[1] = 31;
    const uint64_t key3 = gameRecord.keys[3];
    const uint64_t ttKey = 0x123456789abcdef0ull;
    ttStore(ttKey, 0, 0, 5, 0, 0);
    int score;
    Move move;

    // The front end resends the whole game: nothing is recomputed or cleared,
    // and the live board is left alone.
    loadPosition(fen("4k3/8/8/8/8/8/8/4K2R w K -"));
    const uint64_t liveKey = hashKey;
    start(StartFen, {"e2e4", "e7e5", "g1f3"});
    EXPECT_EQ(gameRecord.ply, 3);
    EXPECT_EQ(gameRecord.scores[1], 31);
    EXPECT_EQ(gameRecord.keys[3], key3);
    EXPECT_TRUE(ttProbe(ttKey, 0, 0, 5, score, move));
    EXPECT_EQ(hashKey, liveKey);

    // A different move overwrites the continuation from there on.
    start(StartFen, {"e2e4", "c7c5"});
    EXPECT_EQ(gameRecord.scores[1], 31);
    EXPECT_EQ(gameRecord.scores[2], NoStoredScore);
    EXPECT_EQ(gameRecord.moves[2], 0u);
    play({"g1f3"});
    EXPECT_NE(gameRecord.keys[3], key3);

    // A FEN that fails leaves the old first position current.
    EXPECT_EQ(setFromFen("garbage"), 0);
    EXPECT_EQ(gameRecord.ply, 0);
    EXPECT_EQ(gameRecord.moves[0], parseMoveText("e2e4"));

    start("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
    EXPECT_FALSE(ttProbe(ttKey, 0, 0, 5, score, move));
    EXPECT_EQ(gameRecord.moves[0], 0u);
    EXPECT_EQ(gameRecord.keys[0], recordKey(gameRecord.positions[0]));
}

TEST_F(GameRecordTest, CastlingAndRights) {
    start("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", {"e1g1"});
    EXPECT_EQ(std::string(now().board + 4, 4), " RK ");
    EXPECT_EQ(now().whiteCastled, 1);
    EXPECT_EQ(rights(now()), 4 | 8);
    EXPECT_EQ(now().halfMoves, 0);
    EXPECT_EQ(now().sideToMove, Black);
    play({"e8c8"});
    EXPECT_EQ(std::string(now().board + 56, 5), "  kr ");
    EXPECT_EQ(now().blackCastled, 1);
    EXPECT_EQ(rights(now()), 0);

    // A plain king step gives up the remaining right and resets the clock.
    start("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"h1g1", "h8g8", "e1e2"});
    EXPECT_EQ(rights(now()), 8);
    EXPECT_EQ(now().whiteCastled, 0);
    EXPECT_EQ(now().halfMoves, 0);
    play({"g8h8", "g1h1"});  // back on corners whose rights are gone
    EXPECT_EQ(now().halfMoves, 2);
    play({"e8d8"});
    EXPECT_EQ(rights(now()), 0);
    EXPECT_EQ(now().halfMoves, 0);

    // Captures on a corner clear its right; leaving one resets the clock.
    start("r3k2r/6P1/8/8/8/8/8/R3K2R w KQkq - 0 1", {"g7h8q"});
    EXPECT_EQ(at("h8"), 'Q');
    EXPECT_EQ(rights(now()), 1 | 2 | 8);
    play({"a8a1"});
    EXPECT_EQ(rights(now()), 1);
    play({"e8d8", "h1h2"});
    EXPECT_EQ(rights(now()), 0);
    EXPECT_EQ(now().halfMoves, 0);
}

TEST_F(GameRecordTest, EnPassantAndPromotion) {
    start("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1", {"e2e4"});
    EXPECT_EQ(now().epSquare, sq("e3"));
    PositionRecord noEp = now();
    noEp.epSquare = 0;
    EXPECT_NE(gameRecord.keys[1], recordKey(noEp));
    play({"d4e3"});
    EXPECT_EQ(at("e4"), ' ');
    EXPECT_EQ(at("e3"), 'p');

    struct Case {
        const char* fen;
        const char* move;
        const char* ep;
    } cases[] = {
        {"4k3/8/8/8/2p5/8/4P3/4K3 w - -", "e2e4", nullptr},  // no pawn beside
        {"4k3/8/8/8/8/7p/P7/4K3 w - -", "a2a4", nullptr},    // h3 is not beside a4
        {"4k3/8/8/8/1p6/8/P7/4K3 w - -", "a2a4", "a3"},
        {"4k3/8/8/p7/8/8/7P/4K3 w - -", "h2h4", nullptr},
        {"4k3/3p4/8/4P3/8/8/8/4K3 b - -", "d7d5", "d6"},
        {"4k3/p7/8/8/7P/8/8/4K3 b - -", "a7a5", nullptr},
        {"4k3/7p/P7/8/8/8/8/4K3 b - -", "h7h5", nullptr},
        {"4k3/7p/8/6P1/8/8/8/4K3 b - -", "h7h5", "h6"},
    };
    for (const Case& c : cases) {
        start(c.fen, {c.move});
        EXPECT_EQ(now().epSquare, c.ep ? sq(c.ep) : 0) << c.fen;
    }

    start("4k3/1P6/8/8/8/8/6p1/4K2N b - - 0 1", {"e8d7", "e1d1"});
    EXPECT_EQ(now().halfMoves, 2);
    play({"g2h1n"});
    EXPECT_EQ(at("h1"), 'n');
    EXPECT_EQ(now().halfMoves, 0);
    play({"b7b8R"});
    EXPECT_EQ(at("b8"), 'R');
}

TEST_F(GameRecordTest, RecordBoundAndHistory) {
    start(StartFen, {"e2e4", "e7e5", "g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(repetitionHistory(), &gameRecord.keys[2]);
    EXPECT_EQ(gameRecord.keys[2], gameRecord.keys[6]);
    EXPECT_EQ(previousScore(), 0);  // 32000 stands for none
    gameRecord.scores[4] = -75;
    EXPECT_EQ(previousScore(), -75);

    start(StartFen);
    EXPECT_EQ(recaptureMove(parseMoveText("e2e4")), 0u);
    play({"e2e4", "d7d5"});
    EXPECT_EQ(recaptureMove(parseMoveText("b1d5")), 0u);  // d5 was empty
    play({"e4d5"});
    EXPECT_EQ(recaptureMove(parseMoveText("d8d5")), parseMoveText("d8d5"));
    EXPECT_EQ(recaptureMove(parseMoveText("g8f6")), 0u);

    // The record holds 2048 positions; further moves (and code 0) are refused.
    start(StartFen);
    const char* dance[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 0; gameRecord.ply < GameRecordSize - 1; ++i)
        ASSERT_EQ(playMove(parseMoveText(dance[i % 4])), i + 1);
    const PositionRecord last = now();
    EXPECT_EQ(playMove(parseMoveText("e2e4")), GameRecordSize - 1);
    EXPECT_EQ(now(), last);
    EXPECT_EQ(repetitionHistory(), &gameRecord.keys[0]);
    start(StartFen);
    EXPECT_EQ(playMove(0), 0);
}

TEST_F(GameRecordTest, MoveText) {
    EXPECT_EQ(parseMoveText("e7e8q"), makeMoveCode(sq("e7"), sq("e8"), Queen));
    EXPECT_EQ(parseMoveText("e7e8Q"), parseMoveText("e7e8q"));
    EXPECT_EQ(parseMoveText("a2a1n"), makeMoveCode(sq("a2"), sq("a1"), Knight));
    EXPECT_EQ(parseMoveText("e2e4x"), makeMoveCode(sq("e2"), sq("e4")));
    for (const char* bad : {"", "e", "e2", "e2e", "i2e4", "e9e4", "e2e0", "E2e4", "0000"})
        EXPECT_EQ(parseMoveText(bad), 0u) << bad;
    EXPECT_EQ(parseMoveText(nullptr), 0u);

    EXPECT_EQ(moveText(0), "a1a1");
    EXPECT_EQ(moveText(makeMoveCode(sq("e7"), sq("e8"), Queen) | CaptureFlag), "e7e8Q");
    for (int from = 0; from < 64; ++from)
        for (int to = 0; to < 64; ++to)
            for (int promotion : {0, 2, 3, 4, 5}) {
                const Move m = makeMoveCode(from, to, promotion);
                char text[6];
                ASSERT_EQ(parseMoveText(moveText(m, text)), m);
                ASSERT_EQ(std::strlen(text), promotion ? 5u : 4u);
            }
}

}  // namespace
