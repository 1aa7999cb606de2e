#include "board/makemove.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

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

// Everything make must give back on unmake. Piece lists compare as sets,
// except that entry 0 must stay the king.
struct Snapshot {
    std::array<SquareState, 64> squares;
    std::array<std::vector<int>, 2> men;
    std::array<int, 2> kings, last, psq, castled;
    std::array<int, 16> counts;
    int material, rights, ep, fifty;
    uint64_t key;
    Bitboard whitePawns, blackPawns;
    uint32_t pawnKeyValue;

    static Snapshot take() {
        Snapshot s;
        std::copy(board, board + 64, s.squares.begin());
        for (int c = 0; c < 2; ++c) {
            s.kings[c] = pieceList[c][0];
            s.last[c] = lastPieceIndex[c];
            s.men[c].assign(pieceList[c] + 1, pieceList[c] + 1 + lastPieceIndex[c]);
            std::sort(s.men[c].begin(), s.men[c].end());
            s.psq[c] = psqScore[c];
            s.castled[c] = hasCastled[c];
        }
        std::copy(pieceCount, pieceCount + 16, s.counts.begin());
        s.material = nonPawnMaterial;
        s.rights = castleRights;
        s.ep = epSquare;
        s.fifty = fiftyCount;
        s.key = hashKey;
        s.whitePawns = pawnHash.whitePawns;
        s.blackPawns = pawnHash.blackPawns;
        s.pawnKeyValue = pawnHash.pawnHashKey;
        return s;
    }

    bool sameSquares(const Snapshot& o) const {
        for (int i = 0; i < 64; ++i)
            if (squares[i].piece != o.squares[i].piece || squares[i].colour != o.squares[i].colour) return false;
        return true;
    }

    bool operator==(const Snapshot& o) const {
        return sameSquares(o) && men == o.men && kings == o.kings && last == o.last && psq == o.psq &&
               castled == o.castled && counts == o.counts && material == o.material && rights == o.rights &&
               ep == o.ep && fifty == o.fifty && key == o.key && whitePawns == o.whitePawns &&
               blackPawns == o.blackPawns && pawnKeyValue == o.pawnKeyValue;
    }
};

struct Recomputed {
    Bitboard pawns[2] = {0, 0};
    uint32_t pawnKeyValue = 0;
    int psq[2] = {0, 0};
};

Recomputed recompute() {
    Recomputed r;
    for (Square s = 0; s < 64; ++s) {
        const SquareState m = board[s];
        if (m.piece == NoPiece) continue;
        r.psq[m.colour] += psqTable[m.colour * 8 + m.piece][s];
        if (m.piece == Pawn) {
            r.pawns[m.colour] |= Bitboard{1} << s;
            r.pawnKeyValue ^= pawnKey[m.colour][s];
        }
    }
    return r;
}

std::string moveName(MoveWord m) {
    std::string s = {char('a' + fileOf(moveFrom(m))), char('1' + rankOf(moveFrom(m))), char('a' + fileOf(moveTo(m))),
                     char('1' + rankOf(moveTo(m)))};
    if (movePromotion(m)) s += " nbrq"[movePromotion(m) - 1];
    return s;
}

// Kinds of move the round-trip walk must meet at least once.
enum Kind {
    Quiet,
    Capture,
    EnPassant,
    PromotionQuiet,     // + promotion piece code - Knight
    PromotionCapture = PromotionQuiet + 4,
    CastleWhiteShort = PromotionCapture + 4,
    CastleWhiteLong,
    CastleBlackShort,
    CastleBlackLong,
    DoubleStepTarget,    // an enemy pawn beside: epSquare set
    DoubleStepNoTarget,  // nobody beside: epSquare stays 0
    BlackPromotion,
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
        std::memset(attackCacheValid, 0, sizeof attackCacheValid);
        gameKeyList = gameKeyListEnd = nullptr;
    }
    void TearDown() override {
        std::memcpy(psqTable, savedPsq_, sizeof psqTable);
        gameKeyList = gameKeyListEnd = nullptr;
    }

    // Board from a FEN, derived state rebuilt as before a search; the
    // piece-square table gets distinct random values so that a man booked
    // on the wrong square shows up in psqScore.
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

    void checkAfterMake(int side, MoveWord m) {
        const int opp = side ^ 1;
        const Recomputed r = recompute();
        ASSERT_TRUE(boardStateConsistent()) << moveName(m);
        ASSERT_EQ(hashKey, computeHashKey(opp)) << moveName(m);
        ASSERT_EQ(hashKey & 1, uint64_t(opp));
        ASSERT_EQ(pawnHash.pawnHashKey, r.pawnKeyValue) << moveName(m);
        ASSERT_EQ(pawnHash.whitePawns, r.pawns[White]) << moveName(m);
        ASSERT_EQ(pawnHash.blackPawns, r.pawns[Black]) << moveName(m);
        ASSERT_EQ(psqScore[White], r.psq[White]) << moveName(m);
        ASSERT_EQ(psqScore[Black], r.psq[Black]) << moveName(m);
        ASSERT_EQ(board[pieceList[side][0]].piece, King) << moveName(m);
    }

    void tally(int side, MoveWord m) {
        const int promo = movePromotion(m);
        if (m & CastleFlag) {
            const bool shortSide = moveTo(m) > moveFrom(m);
            seen_[side == White ? (shortSide ? CastleWhiteShort : CastleWhiteLong)
                                : (shortSide ? CastleBlackShort : CastleBlackLong)] = true;
        } else if (m & EnPassantFlag) {
            seen_[EnPassant] = true;
        } else if (promo) {
            seen_[((m & CaptureFlag) ? PromotionCapture : PromotionQuiet) + promo - Knight] = true;
            if (side == Black) seen_[BlackPromotion] = true;
        } else if (m & CaptureFlag) {
            seen_[Capture] = true;
        } else {
            seen_[Quiet] = true;
        }
    }

    // Makes and unmakes every generated move (legal or not) down to depth,
    // checking the incremental state after each make and the full state
    // after each unmake.
    void roundTrip(int side, int ply, int depth) {
        MoveEntry* list = buffer_ + ply * 256;
        ++nodeCount;
        attackCacheValid[ply] = 0;
        const int n = generateMoves(list, side, ply);
        // The quiescence lists add the checking moves the finders build.
        attackCacheValid[ply] = 0;
        const int c = generateCaptures(list + n, side, ply, 1);
        for (int i = 0; i < n + c; ++i) {
            const Snapshot before = Snapshot::take();
            const MoveWord m = list[i].move;
            const bool doubleStep = board[moveFrom(m)].piece == Pawn && distance[moveFrom(m)][moveTo(m)] == 2;
            makeMove(side, ply, &list[i]);
            checkAfterMake(side, m);
            if (::testing::Test::HasFatalFailure()) return;
            if (doubleStep) seen_[epSquare ? DoubleStepTarget : DoubleStepNoTarget] = true;
            tally(side, m);
            if (depth > 1 && !ownKingAttacked(side)) roundTrip(side ^ 1, ply + 1, depth - 1);
            if (::testing::Test::HasFatalFailure()) return;
            unmakeMove(ply);
            ASSERT_TRUE(Snapshot::take() == before) << "after unmake of " << moveName(m) << " at ply " << ply;
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
        // En passant available at the root for both colours.
        "4k3/8/8/3pP3/8/8/8/4K2R w K d6",
        "4k2r/8/8/8/3pP3/8/8/4K3 b k e3",
        // Kings and pawns only, promotions on both sides.
        "8/1P4k1/8/8/8/8/5p2/1K6 w - -",
    };
    for (const char* fen : positions) {
        SCOPED_TRACE(fen);
        const int side = load(fen);
        const Snapshot start = Snapshot::take();
        // Three plies where the tree is small, two elsewhere.
        roundTrip(side, 0, lastPieceIndex[White] + lastPieceIndex[Black] <= 12 ? 3 : 2);
        if (HasFatalFailure()) return;
        EXPECT_TRUE(Snapshot::take() == start);
    }
    for (int k = 0; k < KindCount; ++k) EXPECT_TRUE(seen_[k]) << "move kind " << k << " never made";
}

TEST_F(MakeMoveTest, DoubleStepSetsTargetOnlyBesideAnEnemyPawn) {
    int side = load("4k3/8/8/8/3p4/8/4P1P1/4K3 w - -");
    MoveEntry e4{0, makeMoveCode(sq("e2"), sq("e4"))};
    makeMove(side, 0, &e4);
    EXPECT_EQ(epSquare, sq("e3"));
    EXPECT_EQ(hashKey, computeHashKey(Black));
    unmakeMove(0);

    MoveEntry g4{0, makeMoveCode(sq("g2"), sq("g4"))};
    makeMove(side, 0, &g4);
    EXPECT_EQ(epSquare, 0);
    const uint64_t afterDoubleStep = hashKey;
    unmakeMove(0);

    // The same position reached without a double step has the same key.
    side = load("4k3/8/8/8/3p2P1/8/4P3/4K3 b - -");
    EXPECT_EQ(hashKey, afterDoubleStep);

    // A pawn beside on the a- or h-file side only counts on the board.
    load("4k3/8/8/8/p7/8/7P/4K3 w - -");
    MoveEntry h4{0, makeMoveCode(sq("h2"), sq("h4"))};
    makeMove(White, 0, &h4);
    EXPECT_EQ(epSquare, 0);
    unmakeMove(0);
}

TEST_F(MakeMoveTest, EnPassantRemovesThePawnBesideNotOnTheTarget) {
    const int side = load("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    const uint64_t keyBefore = hashKey;
    MoveEntry ep{0, makeMoveCode(sq("e5"), sq("d6")) | CaptureFlag | EnPassantFlag};
    makeMove(side, 0, &ep);
    EXPECT_EQ(board[sq("d5")].piece, NoPiece);
    EXPECT_EQ(board[sq("d5")].colour, NoColour);
    EXPECT_EQ(board[sq("d6")].piece, Pawn);
    EXPECT_EQ(pieceCount[Black * 8 + Pawn], 0);
    EXPECT_EQ(lastPieceIndex[Black], 0);
    EXPECT_EQ(pawnHash.blackPawns, 0u);
    EXPECT_EQ(undoStack.capturedSquare[0], sq("d5"));
    EXPECT_EQ(undoStack.capturedPiece[0], Pawn);
    EXPECT_EQ(fiftyCount, 0);
    EXPECT_EQ(hashKey, computeHashKey(Black));
    unmakeMove(0);
    EXPECT_EQ(board[sq("d5")].piece, Pawn);
    EXPECT_EQ(board[sq("d5")].colour, Black);
    EXPECT_TRUE(isEmpty(sq("d6")));
    EXPECT_EQ(hashKey, keyBefore);
    EXPECT_EQ(epSquare, sq("d6"));
}

TEST_F(MakeMoveTest, CastlingRightsFollowTheCornersAndTheKing) {
    int side = load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    MoveEntry takeRook{0, makeMoveCode(sq("h1"), sq("h8")) | CaptureFlag};
    makeMove(side, 0, &takeRook);
    EXPECT_EQ(castleRights, WhiteLong | BlackLong);  // h1 left, h8 taken
    EXPECT_EQ(hashKey, computeHashKey(Black));
    unmakeMove(0);
    EXPECT_EQ(castleRights, 15);

    MoveEntry kingStep{0, makeMoveCode(sq("e1"), sq("f1"))};
    makeMove(side, 0, &kingStep);
    EXPECT_EQ(castleRights, BlackShort | BlackLong);
    unmakeMove(0);

    side = load("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    MoveEntry a8{0, makeMoveCode(sq("a8"), sq("a1")) | CaptureFlag};
    makeMove(side, 0, &a8);
    EXPECT_EQ(castleRights, WhiteShort | BlackShort);
    EXPECT_EQ(hashKey, computeHashKey(White));
    unmakeMove(0);
    EXPECT_EQ(castleRights, 15);
}

TEST_F(MakeMoveTest, CastlingMovesRookAndKingEntry) {
    struct Case {
        const char* from;
        const char* to;
        const char* rookFrom;
        const char* rookTo;
    };
    const Case white[] = {{"e1", "g1", "h1", "f1"}, {"e1", "c1", "a1", "d1"}};
    const Case black[] = {{"e8", "g8", "h8", "f8"}, {"e8", "c8", "a8", "d8"}};
    for (int side = White; side <= Black; ++side) {
        for (const Case& c : side == White ? white : black) {
            load(side == White ? "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -" : "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
            const Snapshot before = Snapshot::take();
            MoveEntry castle{0, makeMoveCode(sq(c.from), sq(c.to)) | CastleFlag};
            makeMove(side, 0, &castle);
            EXPECT_EQ(pieceList[side][0], sq(c.to));
            EXPECT_EQ(board[sq(c.rookTo)].piece, Rook);
            EXPECT_TRUE(isEmpty(sq(c.rookFrom)));
            EXPECT_EQ(hasCastled[side], 1);
            EXPECT_EQ(castleRights & (side == White ? 3 : 12), 0);
            EXPECT_EQ(hashKey, computeHashKey(side ^ 1));
            EXPECT_EQ(psqScore[side], recompute().psq[side]);
            unmakeMove(0);
            EXPECT_EQ(hasCastled[side], 0);
            EXPECT_TRUE(Snapshot::take() == before) << c.from << c.to;
        }
    }
}

TEST_F(MakeMoveTest, PromotionChangesMaterialAndCounts) {
    const int pieces[] = {Knight, Bishop, Rook, Queen};
    for (int p : pieces) {
        const int side = load("1n2k3/P7/8/8/8/8/8/4K3 w - -");
        const int material = nonPawnMaterial;
        MoveEntry push{0, makeMoveCode(sq("a7"), sq("a8"), p)};
        makeMove(side, 0, &push);
        EXPECT_EQ(board[sq("a8")].piece, p);
        EXPECT_EQ(nonPawnMaterial, material + pieceValue[p]);
        EXPECT_EQ(pieceCount[White * 8 + Pawn], 0);
        EXPECT_EQ(pieceCount[White * 8 + p], 1);
        EXPECT_EQ(fiftyCount, 0);
        unmakeMove(0);

        MoveEntry take{0, makeMoveCode(sq("a7"), sq("b8"), p) | CaptureFlag};
        makeMove(side, 0, &take);
        EXPECT_EQ(nonPawnMaterial, material + pieceValue[p] - pieceValue[Knight]);
        EXPECT_EQ(pieceCount[Black * 8 + Knight], 0);
        EXPECT_EQ(hashKey, computeHashKey(Black));
        unmakeMove(0);
        EXPECT_EQ(nonPawnMaterial, material);
        EXPECT_EQ(board[sq("a7")].piece, Pawn);
        EXPECT_EQ(board[sq("b8")].piece, Knight);
    }
}

TEST_F(MakeMoveTest, CheckFlagMarksDirectAndDiscoveredChecks) {
    const int side = load("4k3/8/8/8/6N1/8/4N3/4R1K1 w - -");
    MoveEntry discovered{0, makeMoveCode(sq("e2"), sq("c3"))};
    makeMove(side, 0, &discovered);
    EXPECT_TRUE(discovered.move & CheckFlag);
    unmakeMove(0);
    MoveEntry direct{0, makeMoveCode(sq("g4"), sq("f6"))};
    makeMove(side, 0, &direct);
    EXPECT_TRUE(direct.move & CheckFlag);
    unmakeMove(0);
    MoveEntry quiet{0, makeMoveCode(sq("g1"), sq("h2"))};
    makeMove(side, 0, &quiet);
    EXPECT_FALSE(quiet.move & CheckFlag);
    unmakeMove(0);
}

TEST_F(MakeMoveTest, NullMoveTogglesSideBitAndDropsTarget) {
    int side = load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    fiftyCount = 7;
    uint64_t before = hashKey;
    makeNullMove(side, 3);
    EXPECT_EQ(hashKey ^ before, 1u);
    EXPECT_EQ(castleRights, 15);
    EXPECT_EQ(fiftyCount, 8);
    EXPECT_EQ(undoStack.move[3], 0u);
    unmakeNullMove(3);
    EXPECT_EQ(hashKey, before);
    EXPECT_EQ(fiftyCount, 7);

    side = load("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    before = hashKey;
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
    // 4 > fiftyCount, so the game list is not consulted either.
    const uint64_t game[] = {5, hashKey};
    gameKeyList = game;
    gameKeyListEnd = game + 2;
    EXPECT_EQ(isRepetition(4), 0);

    fiftyCount = 10;
    EXPECT_EQ(isRepetition(4), 1);  // ply 0 now in reach
    undoStack.key[0] = 2;
    EXPECT_EQ(isRepetition(4), 1);  // found in the game list
    gameKeyListEnd = game + 1;
    EXPECT_EQ(isRepetition(4), 0);
    // Only plies with the same side to move are compared.
    undoStack.key[3] = hashKey;
    undoStack.key[1] = hashKey;
    EXPECT_EQ(isRepetition(4), 0);
    gameKeyList = gameKeyListEnd = nullptr;
    EXPECT_EQ(isRepetition(4), 0);
}

TEST_F(MakeMoveTest, KnightShuffleRepeatsUntilAPawnMoves) {
    const int side = load("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    const Move shuffle[] = {makeMoveCode(sq("g1"), sq("f3")), makeMoveCode(sq("g8"), sq("f6")),
                            makeMoveCode(sq("f3"), sq("g1")), makeMoveCode(sq("f6"), sq("g8"))};
    MoveEntry entries[4];
    for (int ply = 0; ply < 4; ++ply) {
        EXPECT_EQ(isRepetition(ply), 0) << ply;
        entries[ply] = MoveEntry{0, shuffle[ply]};
        makeMove(side ^ (ply & 1), ply, &entries[ply]);
    }
    EXPECT_EQ(isRepetition(4), 1);
    for (int ply = 3; ply >= 0; --ply) unmakeMove(ply);

    // A pawn move in between resets the stretch.
    MoveEntry e4{0, makeMoveCode(sq("e2"), sq("e4"))}, e5{0, makeMoveCode(sq("e7"), sq("e5"))};
    makeMove(White, 0, &e4);
    makeMove(Black, 1, &e5);
    EXPECT_EQ(fiftyCount, 0);
    EXPECT_EQ(isRepetition(2), 0);
    unmakeMove(1);
    unmakeMove(0);
}

TEST_F(MakeMoveTest, RootPreparationRebuildsFromTheBoard) {
    const int side = load("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq -");
    // Scramble the derived state; the rebuild must not depend on it.
    lastPieceIndex[White] = 3;
    pieceCount[White * 8 + Queen] = 5;
    nonPawnMaterial = 1;
    hashKey = 0;
    pawnHash.whitePawns = 0;
    attackCacheValid[0] = 0;
    prepareRootPosition(side);
    EXPECT_TRUE(boardStateConsistent());
    EXPECT_EQ(pieceList[White][0], sq("e1"));
    EXPECT_EQ(pieceList[Black][0], sq("e8"));
    for (int c = 0; c < 2; ++c)
        for (int i = 2; i <= lastPieceIndex[c]; ++i) EXPECT_LT(pieceList[c][i - 1], pieceList[c][i]);
    EXPECT_EQ(nonPawnMaterial, 2 * (2 * 330 + 2 * 350 + 2 * 520 + 1040));
    EXPECT_EQ(hashKey, computeHashKey(Black));
    EXPECT_EQ(pawnHash.pawnHashKey, recompute().pawnKeyValue);
    EXPECT_EQ(pawnHash.whitePawns, recompute().pawns[White]);
    EXPECT_EQ(attackCacheValid[0], 1);
    AttackTable fresh;
    for (int c = 0; c < 2; ++c) {
        computeAttacks(c, fresh);
        EXPECT_EQ(std::memcmp(fresh, attackTables[0][c], sizeof fresh), 0) << c;
    }
    // psqScore is summed from the table the root step has just rebuilt.
    EXPECT_EQ(psqScore[White], recompute().psq[White]);
    EXPECT_EQ(psqScore[Black], recompute().psq[Black]);
}

}  // namespace
