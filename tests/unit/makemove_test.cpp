#include "board/board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/psq.h"
#include "search/search.h"
#include "test_board.h"

namespace {

// Everything make must give back on unmake; piece lists compare as sets
// (entry 0, the king, exactly).
std::vector<int64_t> snapshot(const Position& pos) {
    std::vector<int64_t> v;
    v.reserve(200);
    for (const SquareState& s : pos.board) v.insert(v.end(), {s.piece, s.colour});
    for (int c = 0; c < 2; ++c) {
        const auto men = v.insert(v.end(), pos.pieceList[c] + 1, pos.pieceList[c] + 1 + pos.lastPieceIndex[c]);
        std::sort(men, v.end());
        v.insert(v.end(), {pos.pieceList[c][0], pos.lastPieceIndex[c], pos.psqScore[c], pos.hasCastled[c]});
    }
    v.insert(v.end(), pos.pieceCount, pos.pieceCount + 16);
    v.insert(v.end(), {pos.nonPawnMaterial, pos.castleRights, pos.epSquare, pos.fiftyCount, int64_t(pos.hashKey),
                       int64_t(pos.whitePawns), int64_t(pos.blackPawns), pos.pawnHashKey});
    return v;
}

class MakeMoveTest : public BoardFixture {
protected:
    // Position as before a search, but with random piece-square values so
    // that a man booked on the wrong square shows in psqScore.
    int load(const char* fen) {
        const int side = setupPosition(pos, fen);
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(pos, side);
        std::mt19937 random(12345);
        for (auto& row : pos.psqTable)
            for (int& v : row) v = int(random() % 2000) - 1000;
        pos.sumPsqScore();
        return side;
    }

    // Incremental state after a make equals its rebuild from the board, and
    // the check flag tells whether the opponent's king now stands attacked.
    void checkAfterMake(int side, MoveWord m) {
        ASSERT_TRUE(pos.boardStateConsistent()) << moveName(m);
        ASSERT_EQ((m & CheckFlag) != 0, pos.ownKingAttacked(side ^ 1)) << moveName(m);
        const auto incremental = snapshot(pos);
        testboard::rebuildDerived(pos);
        pos.sumPsqScore();
        pos.hashKey = pos.computeHashKey(side ^ 1);
        ASSERT_EQ(snapshot(pos), incremental) << "after make of " << moveName(m);
    }

    // The list order a make and unmake leave is the one the search's
    // shortcut gives without making the move.
    void listOrderMatchesShortcut(int side, int ply, MoveEntry* entry) {
        const std::vector<int> start(&pos.pieceList[0][0], &pos.pieceList[0][0] + 32);
        pos.makeMove(side, ply, entry);
        pos.unmakeMove(ply);
        const std::vector<int> made(&pos.pieceList[0][0], &pos.pieceList[0][0] + 32);
        std::copy(start.begin(), start.end(), &pos.pieceList[0][0]);
        pos.rebuildMenSets();
        pos.reorderAsAfterCapture(side, entry->move);
        ASSERT_EQ(std::vector<int>(&pos.pieceList[0][0], &pos.pieceList[0][0] + 32), made) << moveName(entry->move);
    }

    // Makes and unmakes every generated move, legal or not (the full list
    // and the quiescence list with its checks), recursing into legal ones.
    void roundTrip(int side, int ply, int depth) {
        MoveEntry* list = buffer_ + ply * 256;
        pos.attackCacheValid[ply] = 0;
        const int n = generateMoves(pos, worker.ordering, list, side, ply);
        const int total = n + generateCaptures(pos, worker.ordering, list + n, side, ply, 1);
        for (int i = 0; i < total; ++i) {
            const auto before = snapshot(pos);
            const int mover = pos.board[moveFrom(list[i].move)].piece;
            // What the search reads off the board instead of making the move.
            const uint64_t keyAfter = pos.keyAfterMove(side, moveOf(list[i].move));
            const int fiftyAfter = pos.fiftyCountAfter(moveOf(list[i].move));
            listOrderMatchesShortcut(side, ply, &list[i]);
            pos.makeMove(side, ply, &list[i]);
            const MoveWord m = list[i].move;
            ASSERT_EQ(pos.hashKey, keyAfter) << moveName(m);
            ASSERT_EQ(pos.fiftyCount, fiftyAfter) << moveName(m);
            ASSERT_EQ(pos.board[moveTo(m)].piece, movePromotion(m) ? movePromotion(m) : mover) << moveName(m);
            checkAfterMake(side, m);
            if (!HasFatalFailure() && depth > 1 && !pos.ownKingAttacked(side)) roundTrip(side ^ 1, ply + 1, depth - 1);
            if (HasFatalFailure()) return;
            pos.unmakeMove(ply);
            ASSERT_EQ(snapshot(pos), before) << "unmake of " << moveName(m) << " at ply " << ply;
        }
    }

    MoveEntry buffer_[MaxPly * 256];
};

TEST_F(MakeMoveTest, MakeUnmakeRoundTripOverEveryGeneratedMove) {
    for (const DataRow& r : dataRows("tree_positions.txt")) {
        SCOPED_TRACE(r[0]);
        const int side = load(r[0].c_str());
        const auto start = snapshot(pos);
        roundTrip(side, 0, pos.lastPieceIndex[White] + pos.lastPieceIndex[Black] <= 12 ? 3 : 2);
        if (HasFatalFailure()) return;
        EXPECT_EQ(snapshot(pos), start);
    }
}

TEST_F(MakeMoveTest, EnPassantSquareCastlingRightsAndFiftyMoveCount) {
    for (const DataRow& r : dataRows("make_move_state.txt")) {
        SCOPED_TRACE(r[0] + " " + r[1]);
        const int side = load(r[0].c_str());
        pos.fiftyCount = 5;
        const auto start = snapshot(pos);
        MoveEntry e{0, makeMoveCode(sq(r[1].c_str()), sq(r[1].c_str() + 2)) |
                           (r[2] == "ep" ? CaptureFlag | EnPassantFlag : r[2] == "capture" ? CaptureFlag : 0)};
        pos.makeMove(side, 0, &e);
        EXPECT_EQ(std::tuple(pos.epSquare, pos.castleRights, pos.fiftyCount),
                  std::tuple(r[3] == "-" ? 0 : sq(r[3].c_str()), rightsFromLetters(r[4]), int(num(r[5]))));
        checkAfterMake(side, e.move);
        pos.unmakeMove(0);
        EXPECT_EQ(snapshot(pos), start);
    }
}

TEST_F(MakeMoveTest, NullMoveTogglesSideBitAndDropsTarget) {
    for (const char* fen : {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "4k3/8/8/3pP3/8/8/8/4K3 w - d6"}) {
        load(fen);
        pos.fiftyCount = 7;
        const auto start = snapshot(pos);
        pos.makeNullMove(White, 3);
        EXPECT_EQ(pos.epSquare, 0) << fen;
        EXPECT_EQ(pos.fiftyCount, 8);
        EXPECT_EQ(pos.hashKey, pos.computeHashKey(Black)) << fen;  // castling rights kept, target dropped
        EXPECT_EQ(pos.undoStack.move[3], 0u);
        pos.unmakeNullMove(3);
        EXPECT_EQ(snapshot(pos), start) << fen;
    }
}

TEST_F(MakeMoveTest, RepetitionLooksBackWithinTheReversibleStretch) {
    pos.hashKey = 0xABCDEF00;
    pos.undoStack.key[2] = pos.hashKey;
    pos.fiftyCount = 2;
    EXPECT_EQ(pos.isRepetition(4), 1);  // ply 2 is just within reach
    pos.undoStack.key[2] = 1;
    pos.undoStack.key[0] = pos.hashKey;
    EXPECT_EQ(pos.isRepetition(4), 0);  // ply 0 is beyond fiftyCount
    const uint64_t game[] = {5, pos.hashKey};
    pos.gameKeyList = game;
    pos.gameKeyListEnd = game + 2;
    EXPECT_EQ(pos.isRepetition(4), 0);  // 4 > fiftyCount: the game list is not asked

    pos.fiftyCount = 4;
    EXPECT_EQ(pos.isRepetition(4), 1);  // ply 0 now just in reach
    pos.undoStack.key[0] = 2;
    EXPECT_EQ(pos.isRepetition(4), 1);  // 4 <= fiftyCount: found in the game list
    pos.gameKeyListEnd = game + 1;
    EXPECT_EQ(pos.isRepetition(4), 0);  // the list's end is exclusive
    pos.undoStack.key[3] = pos.undoStack.key[1] = pos.hashKey;  // other side to move: never compared
    EXPECT_EQ(pos.isRepetition(4), 0);
}

// Two positions in one process: moves made, unmade and generated on one
// leave every byte of the other as it was.
TEST_F(MakeMoveTest, TwoPositionsSideBySideLeaveEachOtherAlone) {
    auto second = std::make_unique<SearchWorker>();
    Position& other = second->pos;
    const int otherSide = setupPosition(other, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    prepareRootPosition(other, otherSide);
    const int side = load("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    auto bytes = [](const Position& p) {
        const auto* raw = reinterpret_cast<const unsigned char*>(&p);
        return std::vector<unsigned char>(raw, raw + sizeof p);
    };

    MoveEntry list[256];
    const int n = generateMoves(pos, worker.ordering, list, side, 0);
    ASSERT_EQ(n, 20);
    for (int i = 0; i < n; ++i) {
        pos.makeMove(side, 0, &list[i]);
        const auto first = bytes(pos);
        EXPECT_EQ(perft(other, otherSide, 2), 2039u) << moveName(list[i].move);
        EXPECT_EQ(bytes(pos), first) << "the other's walk touched the first after " << moveName(list[i].move);
        pos.unmakeMove(0);
    }

    const auto otherAtRoot = snapshot(other);
    MoveEntry otherList[256];
    ASSERT_GT(generateMoves(other, second->ordering, otherList, otherSide, 0), 0);
    other.makeMove(otherSide, 0, &otherList[0]);
    const auto otherMade = bytes(other);
    EXPECT_EQ(perft(pos, side, 3), 8902u);
    EXPECT_EQ(bytes(other), otherMade);
    other.unmakeMove(0);
    EXPECT_EQ(snapshot(other), otherAtRoot);
}

}  // namespace
