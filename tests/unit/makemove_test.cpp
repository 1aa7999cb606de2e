#include "board/makemove.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
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

// Everything make must give back on unmake; piece lists compare as sets
// (entry 0, the king, exactly).
std::vector<int64_t> snapshot() {
    std::vector<int64_t> v;
    v.reserve(200);
    for (const SquareState& s : board) v.insert(v.end(), {s.piece, s.colour});
    for (int c = 0; c < 2; ++c) {
        const auto men = v.insert(v.end(), pieceList[c] + 1, pieceList[c] + 1 + lastPieceIndex[c]);
        std::sort(men, v.end());
        v.insert(v.end(), {pieceList[c][0], lastPieceIndex[c], psqScore[c], hasCastled[c]});
    }
    v.insert(v.end(), pieceCount, pieceCount + 16);
    v.insert(v.end(), {nonPawnMaterial, castleRights, epSquare, fiftyCount, int64_t(hashKey),
                       int64_t(pawnHash.whitePawns), int64_t(pawnHash.blackPawns), pawnHash.pawnHashKey});
    return v;
}

class MakeMoveTest : public BoardFixture {
protected:
    void TearDown() override {
        BoardFixture::TearDown();
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

    // Incremental state after a make equals its rebuild from the board, and
    // the check flag tells whether the opponent's king now stands attacked.
    static void checkAfterMake(int side, MoveWord m) {
        ASSERT_TRUE(boardStateConsistent()) << moveName(m);
        ASSERT_EQ((m & CheckFlag) != 0, ownKingAttacked(side ^ 1)) << moveName(m);
        const auto incremental = snapshot();
        testboard::rebuildDerived(true);
        sumPsqScore();
        hashKey = computeHashKey(side ^ 1);
        ASSERT_EQ(snapshot(), incremental) << "after make of " << moveName(m);
    }

    // The list order a make and unmake leave is the one the search's
    // shortcut gives without making the move.
    static void listOrderMatchesShortcut(int side, int ply, MoveEntry* entry) {
        const std::vector<int> start(&pieceList[0][0], &pieceList[0][0] + 32);
        makeMove(side, ply, entry);
        unmakeMove(ply);
        const std::vector<int> made(&pieceList[0][0], &pieceList[0][0] + 32);
        std::copy(start.begin(), start.end(), &pieceList[0][0]);
        rebuildMenSets();
        reorderAsAfterCapture(side, entry->move);
        ASSERT_EQ(std::vector<int>(&pieceList[0][0], &pieceList[0][0] + 32), made) << moveName(entry->move);
    }

    // Makes and unmakes every generated move, legal or not (the full list
    // and the quiescence list with its checks), recursing into legal ones.
    void roundTrip(int side, int ply, int depth) {
        MoveEntry* list = buffer_ + ply * 256;
        ++nodeCount;
        attackCacheValid[ply] = 0;
        const int n = generateMoves(list, side, ply);
        const int total = n + generateCaptures(list + n, side, ply, 1);
        for (int i = 0; i < total; ++i) {
            const auto before = snapshot();
            const int mover = board[moveFrom(list[i].move)].piece;
            // What the search reads off the board instead of making the move.
            const uint64_t keyAfter = keyAfterMove(side, moveOf(list[i].move));
            const int fiftyAfter = fiftyCountAfter(moveOf(list[i].move));
            listOrderMatchesShortcut(side, ply, &list[i]);
            makeMove(side, ply, &list[i]);
            const MoveWord m = list[i].move;
            ASSERT_EQ(hashKey, keyAfter) << moveName(m);
            ASSERT_EQ(fiftyCount, fiftyAfter) << moveName(m);
            ASSERT_EQ(board[moveTo(m)].piece, movePromotion(m) ? movePromotion(m) : mover) << moveName(m);
            checkAfterMake(side, m);
            if (!HasFatalFailure() && depth > 1 && !ownKingAttacked(side)) roundTrip(side ^ 1, ply + 1, depth - 1);
            if (HasFatalFailure()) return;
            unmakeMove(ply);
            ASSERT_EQ(snapshot(), before) << "unmake of " << moveName(m) << " at ply " << ply;
        }
    }

    MoveEntry buffer_[MaxPly * 256];
};

TEST_F(MakeMoveTest, MakeUnmakeRoundTripOverEveryGeneratedMove) {
    for (const DataRow& r : dataRows("tree_positions.txt")) {
        SCOPED_TRACE(r[0]);
        const int side = load(r[0].c_str());
        const auto start = snapshot();
        roundTrip(side, 0, lastPieceIndex[White] + lastPieceIndex[Black] <= 12 ? 3 : 2);
        if (HasFatalFailure()) return;
        EXPECT_EQ(snapshot(), start);
    }
}

TEST_F(MakeMoveTest, EnPassantSquareCastlingRightsAndFiftyMoveCount) {
    for (const DataRow& r : dataRows("make_move_state.txt")) {
        SCOPED_TRACE(r[0] + " " + r[1]);
        const int side = load(r[0].c_str());
        fiftyCount = 5;
        const auto start = snapshot();
        MoveEntry e{0, makeMoveCode(sq(r[1].c_str()), sq(r[1].c_str() + 2)) |
                           (r[2] == "ep" ? CaptureFlag | EnPassantFlag : r[2] == "capture" ? CaptureFlag : 0)};
        makeMove(side, 0, &e);
        EXPECT_EQ(std::tuple(epSquare, castleRights, fiftyCount),
                  std::tuple(r[3] == "-" ? 0 : sq(r[3].c_str()), rightsFromLetters(r[4]), int(num(r[5]))));
        checkAfterMake(side, e.move);
        unmakeMove(0);
        EXPECT_EQ(snapshot(), start);
    }
}

TEST_F(MakeMoveTest, NullMoveTogglesSideBitAndDropsTarget) {
    for (const char* fen : {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "4k3/8/8/3pP3/8/8/8/4K3 w - d6"}) {
        load(fen);
        fiftyCount = 7;
        const auto start = snapshot();
        makeNullMove(White, 3);
        EXPECT_EQ(epSquare, 0) << fen;
        EXPECT_EQ(fiftyCount, 8);
        EXPECT_EQ(hashKey, computeHashKey(Black)) << fen;  // castling rights kept, target dropped
        EXPECT_EQ(undoStack.move[3], 0u);
        unmakeNullMove(3);
        EXPECT_EQ(snapshot(), start) << fen;
    }
}

TEST_F(MakeMoveTest, RepetitionLooksBackWithinTheReversibleStretch) {
    hashKey = 0xABCDEF00;
    undoStack.key[2] = hashKey;
    fiftyCount = 2;
    EXPECT_EQ(isRepetition(4), 1);  // ply 2 is just within reach
    undoStack.key[2] = 1;
    undoStack.key[0] = hashKey;
    EXPECT_EQ(isRepetition(4), 0);  // ply 0 is beyond fiftyCount
    const uint64_t game[] = {5, hashKey};
    gameKeyList = game;
    gameKeyListEnd = game + 2;
    EXPECT_EQ(isRepetition(4), 0);  // 4 > fiftyCount: the game list is not asked

    fiftyCount = 4;
    EXPECT_EQ(isRepetition(4), 1);  // ply 0 now just in reach
    undoStack.key[0] = 2;
    EXPECT_EQ(isRepetition(4), 1);  // 4 <= fiftyCount: found in the game list
    gameKeyListEnd = game + 1;
    EXPECT_EQ(isRepetition(4), 0);  // the list's end is exclusive
    undoStack.key[3] = undoStack.key[1] = hashKey;  // other side to move: never compared
    EXPECT_EQ(isRepetition(4), 0);
}

}  // namespace
