#include "board/makemove.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/psq.h"
#include "search/ordering.h"
#include "search/search.h"
#include "test_board.h"

namespace {

// Everything make must give back on unmake; piece lists compare as sets
// (entry 0, the king, exactly).
struct Snapshot {
    int squares[64][2], lists[2][16], last[2], counts[16], psq[2], castled[2];
    int material, rights, ep, fifty;
    uint64_t key, pawns[2];
    uint32_t pawnKeyValue, spare;  // no padding: compared bytewise

    static Snapshot take() {
        Snapshot s{};
        for (int i = 0; i < 64; ++i) s.squares[i][0] = board[i].piece, s.squares[i][1] = board[i].colour;
        for (int c = 0; c < 2; ++c) {
            s.last[c] = lastPieceIndex[c];
            std::copy(pieceList[c], pieceList[c] + 1 + lastPieceIndex[c], s.lists[c]);
            std::sort(s.lists[c] + 1, s.lists[c] + 1 + lastPieceIndex[c]);
            s.psq[c] = psqScore[c];
            s.castled[c] = hasCastled[c];
        }
        std::copy(pieceCount, pieceCount + 16, s.counts);
        std::tie(s.material, s.rights, s.ep, s.fifty, s.key) =
            std::tie(nonPawnMaterial, castleRights, epSquare, fiftyCount, hashKey);
        s.pawns[0] = pawnHash.whitePawns;
        s.pawns[1] = pawnHash.blackPawns;
        s.pawnKeyValue = pawnHash.pawnHashKey;
        return s;
    }
    bool operator==(const Snapshot& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

std::string moveName(MoveWord m) {
    std::string s = {char('a' + fileOf(moveFrom(m))), char('1' + rankOf(moveFrom(m))), char('a' + fileOf(moveTo(m))),
                     char('1' + rankOf(moveTo(m)))};
    if (movePromotion(m)) s += " nbrq"[movePromotion(m) - 1];
    return s;
}

// Kinds of move the round-trip walk must meet at least once.
enum Kind {
    Quiet, Capture, EnPassant,
    PromotionQuiet,                         // + promotion piece - Knight
    PromotionCapture = PromotionQuiet + 4,  // + promotion piece - Knight
    BlackPromotion = PromotionCapture + 4,
    CastleWhiteShort, CastleWhiteLong, CastleBlackShort, CastleBlackLong,
    DoubleStepTarget, DoubleStepNoTarget,
    KindCount
};

class MakeMoveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initPawnHash();
        initTables();
    }
    void SetUp() override {
        std::memcpy(savedPsq_, psqTable, sizeof psqTable);
        clearOrderingTables();
        gameKeyList = gameKeyListEnd = nullptr;
    }
    void TearDown() override {
        std::memcpy(psqTable, savedPsq_, sizeof psqTable);
        gameKeyList = gameKeyListEnd = nullptr;
    }

    // Position as before a search, but with random piece-square values so
    // that a man booked on the wrong square shows in psqScore.
    int load(const char* fen) {
        const int side = setupPosition(fen);
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(side);
        std::mt19937 random(12345);
        for (auto& row : psqTable)
            for (int& v : row) v = int(random() % 2000) - 1000;
        sumPsqScore();
        return side;
    }

    // Incremental state after a make equals its recomputation from the board.
    static void checkAfterMake(int side, MoveWord m) {
        uint64_t pawns[2] = {0, 0};
        uint32_t key = 0;
        int psq[2] = {0, 0};
        for (Square s = 0; s < 64; ++s) {
            const SquareState man = board[s];
            if (man.piece == NoPiece) continue;
            psq[man.colour] += psqTable[man.colour * 8 + man.piece][s];
            if (man.piece == Pawn) pawns[man.colour] |= uint64_t{1} << s, key ^= pawnKey[man.colour][s];
        }
        ASSERT_TRUE(boardStateConsistent()) << moveName(m);
        ASSERT_EQ(hashKey, computeHashKey(side ^ 1)) << moveName(m);
        ASSERT_EQ(pawnHash.pawnHashKey, key) << moveName(m);
        ASSERT_EQ(pawnHash.whitePawns, pawns[White]) << moveName(m);
        ASSERT_EQ(pawnHash.blackPawns, pawns[Black]) << moveName(m);
        ASSERT_EQ(psqScore[White], psq[White]) << moveName(m);
        ASSERT_EQ(psqScore[Black], psq[Black]) << moveName(m);
    }

    void tally(int side, MoveWord m, bool doubleStep) {
        const int promo = movePromotion(m);
        if (doubleStep) seen_[epSquare ? DoubleStepTarget : DoubleStepNoTarget] = true;
        if (m & CastleFlag) {
            seen_[CastleWhiteShort + 2 * side + (moveTo(m) < moveFrom(m))] = true;
        } else if (m & EnPassantFlag) {
            seen_[EnPassant] = true;
        } else if (promo) {
            seen_[((m & CaptureFlag) ? PromotionCapture : PromotionQuiet) + promo - Knight] = true;
            if (side == Black) seen_[BlackPromotion] = true;
        } else {
            seen_[(m & CaptureFlag) ? Capture : Quiet] = true;
        }
    }

    // Makes and unmakes every generated move, legal or not (the full list
    // and the quiescence list with its checks), recursing into legal ones.
    void roundTrip(int side, int ply, int depth) {
        MoveEntry* list = buffer_ + ply * 256;
        ++nodeCount;
        attackCacheValid[ply] = 0;
        const int n = generateMoves(list, side, ply);
        attackCacheValid[ply] = 0;
        const int total = n + generateCaptures(list + n, side, ply, 1);
        for (int i = 0; i < total; ++i) {
            const Snapshot before = Snapshot::take();
            const MoveWord m = list[i].move;
            const bool doubleStep = board[moveFrom(m)].piece == Pawn && distance[moveFrom(m)][moveTo(m)] == 2;
            makeMove(side, ply, &list[i]);
            checkAfterMake(side, m);
            if (HasFatalFailure()) return;
            tally(side, m, doubleStep);
            if (depth > 1 && !ownKingAttacked(side)) roundTrip(side ^ 1, ply + 1, depth - 1);
            if (HasFatalFailure()) return;
            unmakeMove(ply);
            ASSERT_TRUE(Snapshot::take() == before) << "unmake of " << moveName(m) << " at ply " << ply;
        }
    }

    int savedPsq_[16][64];
    MoveEntry buffer_[MaxPly * 256];
    bool seen_[KindCount] = {};
};

TEST_F(MakeMoveTest, MakeUnmakeRoundTripOfEveryMoveKind) {
    const char* positions[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "4k3/8/8/3pP3/8/8/8/4K2R w K d6",  // en passant at the root, both colours
        "4k2r/8/8/8/3pP3/8/8/4K3 b k e3",
        "8/1P4k1/8/8/8/8/5p2/1K6 w - -",  // kings and pawns only
    };
    for (const char* fen : positions) {
        SCOPED_TRACE(fen);
        const int side = load(fen);
        const Snapshot start = Snapshot::take();
        roundTrip(side, 0, lastPieceIndex[White] + lastPieceIndex[Black] <= 12 ? 3 : 2);
        if (HasFatalFailure()) return;
        EXPECT_TRUE(Snapshot::take() == start);
    }
    for (int k = 0; k < KindCount; ++k) EXPECT_TRUE(seen_[k]) << "move kind " << k << " never made";
}

TEST_F(MakeMoveTest, DoubleStepSetsTargetOnlyBesideAnEnemyPawn) {
    struct Case {
        const char *fen, *from, *to;
        int ep;
    };
    const Case cases[] = {
        {"4k3/8/8/8/3p4/8/4P3/4K3 w - -", "e2", "e4", sq("e3")},
        {"4k3/8/8/8/5p2/8/4P3/4K3 w - -", "e2", "e4", sq("e3")},
        {"4k3/2p5/8/1P6/8/8/8/4K3 b - -", "c7", "c5", sq("c6")},
        {"4k3/2p5/8/3P4/8/8/8/4K3 b - -", "c7", "c5", sq("c6")},
        {"4k3/8/8/8/3P4/8/4P3/4K3 w - -", "e2", "e4", 0},  // own pawn beside
        {"4k3/8/8/8/p7/8/7P/4K3 w - -", "h2", "h4", 0},    // no wrap to the a-file
    };
    for (const Case& c : cases) {
        const int side = load(c.fen);
        MoveEntry e{0, makeMoveCode(sq(c.from), sq(c.to))};
        makeMove(side, 0, &e);
        EXPECT_EQ(epSquare, c.ep) << c.fen;
        EXPECT_EQ(hashKey, computeHashKey(side ^ 1)) << c.fen;
        unmakeMove(0);
    }
    // Without a target the key equals that of the same position reached otherwise.
    load("4k3/8/8/8/8/8/6P1/4K3 w - -");
    MoveEntry g4{0, makeMoveCode(sq("g2"), sq("g4"))};
    makeMove(White, 0, &g4);
    const uint64_t afterDoubleStep = hashKey;
    load("4k3/8/8/8/6P1/8/8/4K3 b - -");
    EXPECT_EQ(hashKey, afterDoubleStep);
}

TEST_F(MakeMoveTest, EnPassantTakesThePawnBesideTheFromSquare) {
    const int side = load("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    MoveEntry ep{0, makeMoveCode(sq("e5"), sq("d6")) | CaptureFlag | EnPassantFlag};
    makeMove(side, 0, &ep);
    EXPECT_TRUE(isEmpty(sq("d5")));
    EXPECT_EQ(pieceCount[Black * 8 + Pawn], 0);
    EXPECT_EQ(undoStack.capturedSquare[0], sq("d5"));
    EXPECT_EQ(hashKey, computeHashKey(Black));
    unmakeMove(0);
    EXPECT_EQ(board[sq("d5")].colour, Black);
    EXPECT_TRUE(isEmpty(sq("d6")));
}

TEST_F(MakeMoveTest, CastlingRightsFollowTheCornersAndTheKing) {
    struct Case {
        const char *fen, *from, *to;
        int rights;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "h1", "h8", WhiteLong | BlackLong},  // h8 taken, h1 left
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "a8", "a1", WhiteShort | BlackShort},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1", "f1", BlackShort | BlackLong},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8", "d8", WhiteShort | WhiteLong},
    };
    for (const Case& c : cases) {
        const int side = load(c.fen);
        MoveEntry e{0, makeMoveCode(sq(c.from), sq(c.to)) | (isEmpty(sq(c.to)) ? 0 : CaptureFlag)};
        makeMove(side, 0, &e);
        EXPECT_EQ(castleRights, c.rights) << c.from << c.to;
        EXPECT_EQ(hashKey, computeHashKey(side ^ 1));
        unmakeMove(0);
        EXPECT_EQ(castleRights, 15);
    }
}

TEST_F(MakeMoveTest, CheckFlagMarksDirectAndDiscoveredChecks) {
    const int side = load("4k3/8/8/8/6N1/8/4N3/4R1K1 w - -");
    for (auto [from, to, check] : {std::tuple{"e2", "c3", true}, {"g4", "f6", true}, {"g1", "h2", false}}) {
        MoveEntry e{0, makeMoveCode(sq(from), sq(to))};
        makeMove(side, 0, &e);
        EXPECT_EQ((e.move & CheckFlag) != 0, check) << from << to;
        unmakeMove(0);
    }
}

TEST_F(MakeMoveTest, NullMoveTogglesSideBitAndDropsTarget) {
    int side = load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    fiftyCount = 7;
    const Snapshot start = Snapshot::take();
    makeNullMove(side, 3);
    EXPECT_EQ(hashKey ^ start.key, 1u);
    EXPECT_EQ(castleRights, 15);
    EXPECT_EQ(fiftyCount, 8);
    EXPECT_EQ(undoStack.move[3], 0u);
    unmakeNullMove(3);
    EXPECT_TRUE(Snapshot::take() == start);

    side = load("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    const uint64_t before = hashKey;
    makeNullMove(side, 0);
    EXPECT_EQ(epSquare, 0);
    EXPECT_EQ(hashKey, ((before ^ epKey[sq("d6")]) & ~uint64_t{1}) | 1);
    EXPECT_EQ(hashKey, computeHashKey(Black));
    unmakeNullMove(0);
    EXPECT_EQ(epSquare, sq("d6"));
    EXPECT_EQ(hashKey, before);
}

TEST_F(MakeMoveTest, RepetitionLooksBackWithinTheReversibleStretch) {
    hashKey = 0xABCDEF00;
    undoStack.key[2] = hashKey;
    fiftyCount = 3;
    EXPECT_EQ(isRepetition(4), 1);  // ply 2 is within reach
    undoStack.key[2] = 1;
    undoStack.key[0] = hashKey;
    EXPECT_EQ(isRepetition(4), 0);  // ply 0 is beyond fiftyCount
    const uint64_t game[] = {5, hashKey};
    gameKeyList = game;
    gameKeyListEnd = game + 2;
    EXPECT_EQ(isRepetition(4), 0);  // 4 > fiftyCount: the game list is not asked

    fiftyCount = 10;
    EXPECT_EQ(isRepetition(4), 1);  // ply 0 now in reach
    undoStack.key[0] = 2;
    EXPECT_EQ(isRepetition(4), 1);  // found in the game list
    gameKeyListEnd = game + 1;
    EXPECT_EQ(isRepetition(4), 0);
    undoStack.key[3] = undoStack.key[1] = hashKey;  // other side to move: never compared
    EXPECT_EQ(isRepetition(4), 0);

    // Real moves: a knight shuffle repeats, a pawn move in between does not.
    gameKeyList = gameKeyListEnd = nullptr;
    load("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    for (auto line : {std::array<const char*, 4>{"g1f3", "g8f6", "f3g1", "f6g8"}, {"g1f3", "e7e5", "f3g1", "g8f6"}}) {
        MoveEntry e[4];
        for (int ply = 0; ply < 4; ++ply) {
            e[ply] = MoveEntry{0, makeMoveCode(sq(line[ply]), sq(line[ply] + 2))};
            makeMove(ply & 1, ply, &e[ply]);
        }
        EXPECT_EQ(isRepetition(4), std::string(line[1]) == "g8f6" ? 1 : 0) << line[1];
        for (int ply = 3; ply >= 0; --ply) unmakeMove(ply);
    }
}

TEST_F(MakeMoveTest, RootPreparationRebuildsFromTheBoard) {
    const int side = load("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -");
    // Scrambled derived state must not matter.
    lastPieceIndex[White] = 3;
    pieceCount[White * 8 + Queen] = 5;
    nonPawnMaterial = 1;
    hashKey = 0;
    pawnHash.whitePawns = 0;
    attackCacheValid[0] = 0;
    prepareRootPosition(side);
    EXPECT_TRUE(boardStateConsistent());
    EXPECT_EQ(pieceList[White][0], sq("e1"));
    for (int c = 0; c < 2; ++c)
        for (int i = 2; i <= lastPieceIndex[c]; ++i) EXPECT_LT(pieceList[c][i - 1], pieceList[c][i]);
    EXPECT_EQ(nonPawnMaterial, 2 * (2 * 330 + 2 * 350 + 2 * 520 + 1040));
    EXPECT_EQ(hashKey, computeHashKey(Black));
    checkAfterMake(White, 0);  // pawn sets, pawn key and psqScore as recomputed
    EXPECT_EQ(attackCacheValid[0], 1);
    AttackTable fresh;
    for (int c = 0; c < 2; ++c) {
        computeAttacks(c, fresh);
        EXPECT_EQ(std::memcmp(fresh, attackTables[0][c], sizeof fresh), 0) << c;
    }
}

}  // namespace
