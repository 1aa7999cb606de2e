// Static evaluation: statuses, draws, legality, material and phase, with the
// pawn structure and the piece terms, over a position it is given.
#pragma once
#include <cstdint>

#include "board/attacks.h"
#include "board/board.h"
#include "board/types.h"
#include "eval/pawns.h"
#include "eval/pieces.h"

enum EvalStatus : int {
    EvalNormal = 0,
    EvalTablebase = 1,
    EvalDraw = 2,
    EvalIllegal = 3,
    EvalLeaf = 4
};

// Where evaluate stopped.
enum class EvalExit : int {
    NoMatingMaterial,
    FiftyMoves,
    Illegal,
    Tablebase,
    BareKing,
    PawnEnding,
    MateSearch,
    RecogniserDraw,
    Full
};

enum class MinorScaling : int { None, OppositeBishops, SameBishops, BishopKnight };

// What each step added, for people reading an evaluation; every score is
// from the side to move's view and 0 for a step that did not run.
struct EvalBreakdown {
    EvalExit exit;
    int material;  // psqScore difference: material and placement
    int tempo;
    int pawnStructure;
    int pawnEnding;
    int passedPawnRace;
    int kingShelter;
    int bishopPair;
    int pieces;
    bool piecesComputed;  // false when the lazy estimate stood in
    int rookMinorShift;   // change made by the rook-and-minor rule
    MinorScaling minorScaling;
    int minorScalingChange;
    int minorFactor;  // sixteenths kept with opposite bishops
    bool whiteCannotWin;
    bool blackCannotWin;
    int recogniserChange;
};

// 0 opening .. 10 endgame, from nonPawnMaterial.
int computeGamePhase(const Position& pos);
// The score moved x towards colour `towards`; whatever the other colour
// still has left is then halved (rook and minor against rook).
int shiftScoreTowards(int score, int towards, int side, int x);
// 6 per step from the nearest edge on each axis: 0 in a corner, 36 in the centre.
int bareKingCentre(Square s);

// The evaluation of one search thread: the position it reads, the settings
// of the search and its own caches and per-node scratch.
struct Evaluator {
    explicit Evaluator(Position& position) : pos(position) { clearCaches(); }
    Evaluator(const Evaluator&) = delete;
    Evaluator& operator=(const Evaluator&) = delete;

    Position& pos;

    // Settings of the running search.
    int drawScore = 0;
    int tablebaseMaxMen = 0;
    int iterationDepthLimit = 64;  // 64 in a normal search; the ply limit while looking for a mate

    int gamePhase = 0;  // 0 opening .. 10 endgame
    int positionalByPly[MaxPly] = {};
    int tbHits = 0;

    // The pawn-structure cache and the working fields of the position being scored.
    PawnHashTable pawnHash;
    KingShelterEntry kingShelterCache[1024];

    // Working state while one colour's men are scored: its attack map, the
    // opponent's, and the accumulators that join the colour's total at the end.
    const uint32_t* scoredAttacks = nullptr;
    const uint32_t* opposingAttacks = nullptr;
    int dutySum = 0;
    int mobilitySum = 0;
    int hangingSum = 0;

    // Empty pawn and shelter caches.
    void clearCaches() {
        clearPawnHash();
        clearKingShelterCache();
    }

    int drawScoreAtPly(int ply) const { return (ply & 1) ? -drawScore : drawScore; }
    // Score from side's view; status receives an EvalStatus. lastMove may get
    // CheckFlag set (pawn endings find the check here).
    int evaluate(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status);
    // evaluate, also filling the breakdown.
    int evaluateExplained(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status,
                          EvalBreakdown& breakdown);
    int evaluateBareKing(int bare, int side) const;
    int whiteKingSafeAfterMove(MoveWord lastMove) const;
    int blackKingSafeAfterMove(MoveWord lastMove) const;
    int bishopSquareColour(int colour) const;

    // Pawn structure (pawns.cpp).
    void clearPawnHash();
    bool attackedByWhitePawn(Square square) const;
    bool attackedByBlackPawn(Square square) const;
    int pawnHashProbe(int phase, int side);
    int pawnHashStore(int phase, int side);
    // One pawn's terms into the working fields; they read allPawns as the probe left it.
    void evaluateWhitePawn(Square square);
    void evaluateBlackPawn(Square square);
    int evaluatePawnStructure(int side);
    int evaluatePassedPawnRace(int side);
    int evaluatePawnEnding(int side);
    // Starts loading the current pawn structure's entry before the evaluation asks for it.
    void pawnHashPrefetch() const { __builtin_prefetch(&pawnHash.entries[pos.pawnHashKey & PawnHashMask]); }

    // Piece terms and king safety (pieces.cpp).
    void clearKingShelterCache();
    int evaluatePieces(int side, int ply);
    // Each colour's piece terms as evaluatePieces sums them; builds the ply's
    // attack tables first.
    void evaluatePiecesByColour(int ply, PieceTotals& totals);
    int evaluateKingShelter(int side);
    int kingShelter(Square king, int colour) const;
    // Key under which the shelter of the current position is cached.
    uint32_t kingShelterKey() const;
    // Points the two maps at the ply's tables for colour and resets the
    // accumulators. The tables must already be built.
    void beginScoringColour(int colour, int ply);
    // Per-man terms: each returns the man's own score and adds to the accumulators.
    int evaluatePawnMan(Square square, int own, int enemy);
    int evaluateKnight(Square square, int own, int enemy);
    int evaluateBishop(Square square, int own, int enemy);
    int evaluateRook(Square square, int own, int enemy);
    int evaluateQueen(Square square, int own, int enemy);
    int evaluateKing(Square square, int own, int enemy);
    // Bishop or rook rays: mobility, duties, pins and discovered attacks in one
    // walk. Returns the pin bonus; safeMobility receives the safe-square count.
    int scanRays(Square square, int own, int enemy, int& safeMobility);
    int kingAttack(Square king, int enemy);

private:
    // Key of the position whose piece terms a ply's positionalByPly holds (0
    // when its last evaluation did not compute them).
    uint64_t piecesKeyByPly[MaxPly] = {};
    // The opponent's attacks for the flight-square test of a mate-search leaf;
    // kept apart from the per-ply tables the move generator relies on.
    AttackTable flightAttacks = {};

    int count(int colour, int piece) const { return pos.pieceCount[colour * 8 + piece]; }
    int psqDifference(int side) const { return pos.psqScore[side] - pos.psqScore[side ^ 1]; }
    uint64_t pawnsOf(int colour) const { return colour == White ? pos.whitePawns : pos.blackPawns; }
    template <int Colour>
    int kingSafeAfterMove(MoveWord m) const;
    bool cannotWin(int colour) const;
    template <bool Explain>
    int evaluateImpl(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status, EvalBreakdown* why);

    int pawnAttackerCount(int colour, int s) const;
    int scoreOfWorkingFields(int phase, int side) const;
    template <int Us>
    bool leverCanArrive(int q) const;
    template <int Us>
    void evaluatePawnOf(Square s);
    int raceTotal(bool pawnsOnlyBonus, int outsideWeight) const;

    int32_t scored(Square s) const { return int32_t(scoredAttacks[s]); }
    int32_t opposing(Square s) const { return int32_t(opposingAttacks[s]); }
    bool isDuty(Square x, uint32_t weight) const;
    void chargeDuties(int n);
    void attackedManTest(Square m, int kind, bool noSafeSquare);
    bool outsideEnemyPawnReach(Square s, int enemy) const;
    int scoreColour(int colour, int ply);
};
