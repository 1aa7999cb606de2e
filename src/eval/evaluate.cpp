#include "eval/evaluate.h"

#include <algorithm>
#include <cassert>

#include "board/attacks.h"
#include "board/board.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "tablebases/registry.h"

namespace {

constexpr int IllegalScore = InfiniteScore;
constexpr int NoTablebaseResult = 99999;
constexpr int NormalDepthLimit = 64;

}  // namespace

// Colour has just moved: did the move open a line onto its own king?
template <int Colour>
int Evaluator::kingSafeAfterMove(MoveWord m) const {
    constexpr int Enemy = Colour ^ 1;
    const Square k = pos.pieceList[Colour][0];
    if (m & EnPassantFlag) {
        // Two squares were emptied: no single line says it all.
        const int attacked = Colour == White ? pos.isAttackedByBlack(k) : pos.isAttackedByWhite(k);
        return attacked ? 0 : 1;
    }
    // King moves never land on attacked squares; only the vacated line can open.
    if (pos.board[moveTo(m)].piece == King) return 1;
    return pos.lineOpenedOnto(Enemy, k, moveFrom(m)) ? 0 : 1;
}

// Colour has too little to mate: a bare king, a lone minor piece, or rook's
// pawns with a bishop that cannot cover the promotion corner the enemy king holds.
bool Evaluator::cannotWin(int colour) const {
    const int last = pos.lastPieceIndex[colour];
    if (last == 0) return true;
    const int bishops = count(colour, Bishop);
    if (last == 1 && (bishops == 1 || count(colour, Knight) == 1)) return true;
    if (last - count(colour, Pawn) != 1 || bishops != 1) return false;

    const Square enemyKing = pos.pieceList[colour ^ 1][0];
    const int kf = fileOf(enemyKing);
    // Seen from the bishop's owner: the defender's back two ranks.
    const int kr = colour == White ? rankOf(enemyKing) : 7 - rankOf(enemyKing);
    if (kr < 6) return false;
    const bool light = bishopSquareColour(colour) == 0;
    // A light bishop misses the dark corners h8 (White's h-pawns) and a1
    // (Black's a-pawns); a dark one the light a8 and h1.
    const bool hSide = (colour == White) == light;
    if (hSide ? kf < 6 : kf > 1) return false;
    const int pawnFile = hSide ? 7 : 0;
    for (int i = 1; i <= last; ++i) {
        const Square s = pos.pieceList[colour][i];
        if (pos.board[s].piece == Pawn && fileOf(s) != pawnFile) return false;
    }
    return true;
}

template <bool Explain>
int Evaluator::evaluateImpl(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status,
                            EvalBreakdown* why) {
    assert(side == White || side == Black);
    assert(ply >= 0 && ply < MaxPly);
    assert(lastMove != nullptr);
    const int other = side ^ 1;
    if constexpr (Explain) *why = EvalBreakdown{};
    piecesKeyByPly[ply] = 0;
    const auto leave = [&](EvalExit exit) {
        if constexpr (Explain) why->exit = exit;
    };

    if (count(White, Pawn) + count(Black, Pawn) == 0 && pos.nonPawnMaterial <= 350) {
        status = EvalDraw;
        leave(EvalExit::NoMatingMaterial);
        return drawScoreAtPly(ply);
    }
    if (pos.fiftyCount >= 100) {
        status = EvalDraw;
        leave(EvalExit::FiftyMoves);
        return drawScoreAtPly(ply);
    }

    if (pos.nonPawnMaterial > 0) {
        const MoveWord m = lastMove->move;
        const int safe = side == Black ? kingSafeAfterMove<White>(m) : kingSafeAfterMove<Black>(m);
        if (!safe) {
            status = EvalIllegal;
            leave(EvalExit::Illegal);
            return IllegalScore;
        }
        status = EvalNormal;
    } else {
        // Kings and pawns: only pawns and the enemy king can attack.
        const Square wk = pos.pieceList[White][0], bk = pos.pieceList[Black][0];
        const bool moverAttacked = side == White ? attackedByWhitePawn(bk) : attackedByBlackPawn(wk);
        if (distance[wk][bk] < 2 || moverAttacked) {
            status = EvalIllegal;
            leave(EvalExit::Illegal);
            return IllegalScore;
        }
        status = EvalNormal;
        if (side == White ? attackedByBlackPawn(wk) : attackedByWhitePawn(bk)) lastMove->move |= CheckFlag;
    }

    const int men = pos.lastPieceIndex[White] + pos.lastPieceIndex[Black] + 2;
    if ((ply < 2 || ply < horizon) && men <= tablebaseMaxMen) {
        const int r = probeTablebase(pos, side);
        if (r != NoTablebaseResult) {
            ++tbHits;
            status = EvalTablebase;
            leave(EvalExit::Tablebase);
            // Shorter wins and longer losses score better.
            return r == 0 ? drawScoreAtPly(ply) : r > 0 ? r - ply : r + ply;
        }
    }

    for (int colour = White; colour <= Black; ++colour) {
        if (pos.lastPieceIndex[colour] == 0 && count(colour ^ 1, Pawn) == 0) {
            const int v = evaluateBareKing(colour, side);
            leave(EvalExit::BareKing);
            if constexpr (Explain) why->material = v;
            return v;
        }
    }

    if (pos.nonPawnMaterial == 0) {
        positionalByPly[ply] = ply == 0 ? 0 : -positionalByPly[ply - 1];
        // The phase is computed below; with no pieces it is the endgame.
        gamePhase = 10;
        const int structure = evaluatePawnStructure(side);
        const int ending = evaluatePawnEnding(side);
        if constexpr (Explain) {
            why->exit = EvalExit::PawnEnding;
            why->material = psqDifference(side);
            why->tempo = 10;
            why->pawnStructure = structure;
            why->pawnEnding = ending;
        }
        return psqDifference(side) + 10 + structure + ending;
    }

    gamePhase = computeGamePhase(pos);

    if (iterationDepthLimit != NormalDepthLimit) {
        // Looking for a mate only: material decides, and a leaf ends the line.
        const int limit = iterationDepthLimit;
        const bool inCheck = (lastMove->move & CheckFlag) != 0;
        if (ply >= limit) {
            if (!inCheck || ply > limit) {
                status = EvalLeaf;
            } else {
                const Square k = pos.pieceList[side][0];
                pos.computeAttacks(other, flightAttacks);
                for (int s = nextSquare[King][k][k]; s != k; s = nextSquare[King][k][s]) {
                    if (flightAttacks[s] == 0 && pos.board[s].colour != side) {
                        status = EvalLeaf;
                        break;
                    }
                }
            }
        }
        leave(EvalExit::MateSearch);
        if constexpr (Explain) why->material = psqDifference(side);
        return psqDifference(side);
    }

    const int material = psqDifference(side);
    const int structure = evaluatePawnStructure(side);
    int score = material + 10 + structure;
    if constexpr (Explain) {
        why->material = material;
        why->tempo = 10;
        why->pawnStructure = structure;
    }

    if (gamePhase > 1 && (pawnHash.passedFiles[White] | pawnHash.passedFiles[Black]) != 0) {
        const int race = evaluatePassedPawnRace(side);
        score += race;
        if constexpr (Explain) why->passedPawnRace = race;
    }
    if (gamePhase < 9) {
        const int shelter = evaluateKingShelter(side);
        score += shelter;
        if constexpr (Explain) why->kingShelter = shelter;
    }

    const int pair = (count(side, Bishop) > 1 ? 20 : 0) - (count(other, Bishop) > 1 ? 20 : 0);
    score += pair;
    if constexpr (Explain) why->bishopPair = pair;

    // Lazy evaluation: far enough from the bound, the parent's piece terms
    // (turned round) stand in for this node's.
    bool lazy = false;
    if (ply > 0) {
        const int estimate = -positionalByPly[ply - 1];
        positionalByPly[ply] = estimate;
        const int s = score + estimate;
        const int margin = ply < horizon ? 180 : std::max(32, 64 + 8 * (horizon - ply));
        if (s + margin < bound || s - margin > bound) {
            score = s;
            lazy = true;
            if constexpr (Explain) why->pieces = estimate;
        }
    }
    if (!lazy) {
        // After a null move the men stand as they did a ply up: the piece
        // terms computed there hold, seen from the other side.
        const bool reuse = ply > 0 && lastMove->move == 0 && piecesKeyByPly[ply - 1] != 0 &&
                           piecesKeyByPly[ply - 1] == pos.undoStack.key[ply - 1];
        const int p = reuse ? -positionalByPly[ply - 1] : evaluatePieces(side, ply);
        piecesKeyByPly[ply] = pos.hashKey;
        score += p;
        positionalByPly[ply] = p;
        if constexpr (Explain) {
            why->pieces = p;
            why->piecesComputed = true;
        }
    }

    // Rook and minor against rook is hard to win without pawns to help.
    if (pos.nonPawnMaterial > 1040 && pos.nonPawnMaterial < 1560 && count(White, Rook) == 1 &&
        count(Black, Rook) == 1) {
        const int before = score;
        for (int colour = White; colour <= Black; ++colour) {
            if (pos.lastPieceIndex[colour] != 2) continue;
            if (count(colour, Knight) == 1) score = shiftScoreTowards(score, colour ^ 1, side, 100);
            else if (count(colour, Bishop) == 1) score = shiftScoreTowards(score, colour ^ 1, side, 50);
        }
        if constexpr (Explain) why->rookMinorShift = score - before;
    }

    const int whiteMinors = count(White, Knight) + count(White, Bishop);
    const int blackMinors = count(Black, Knight) + count(Black, Bishop);
    const int wH = count(White, Rook) + 2 * count(White, Queen);
    const int bH = count(Black, Rook) + 2 * count(Black, Queen);
    if (whiteMinors == 1 && blackMinors == 1 && !(count(White, Knight) == 1 && count(Black, Knight) == 1) && wH == bH) {
        const int before = score;
        int pawnsOn[2][2] = {{0, 0}, {0, 0}};  // [colour][square colour]
        for (int colour = White; colour <= Black; ++colour)
            for (int i = 1; i <= pos.lastPieceIndex[colour]; ++i) {
                const Square s = pos.pieceList[colour][i];
                if (pos.board[s].piece == Pawn) ++pawnsOn[colour][squareColour[s]];
            }
        const bool whiteBishop = count(White, Bishop) == 1, blackBishop = count(Black, Bishop) == 1;
        MinorScaling kind;
        int adj = 0;
        if (whiteBishop && blackBishop && bishopSquareColour(White) != bishopSquareColour(Black)) {
            kind = MinorScaling::OppositeBishops;
            const int factor = wH == 0 ? 10 : wH + 11;
            score = (factor * score) / 16 + drawScoreAtPly(ply);
            if constexpr (Explain) why->minorFactor = factor;
        } else {
            // Each pawn standing on the bishop's colour costs its owner.
            const int bishopColour = bishopSquareColour(whiteBishop ? White : Black);
            const int d = pawnsOn[Black][bishopColour] - pawnsOn[White][bishopColour];
            if (whiteBishop && blackBishop) {
                kind = MinorScaling::SameBishops;
                adj = 2 * (5 - wH) * d;
            } else {
                kind = MinorScaling::BishopKnight;
                adj = wH == 0 ? 8 * d : (6 - wH) * d;
            }
            score += side == White ? adj : -adj;
        }
        if constexpr (Explain) {
            why->minorScaling = kind;
            why->minorScalingChange = score - before;
        }
    }

    if (gamePhase == 10) {
        const bool whiteCannot = cannotWin(White), blackCannot = cannotWin(Black);
        const int draw = drawScoreAtPly(ply);
        const int before = score;
        if constexpr (Explain) {
            why->whiteCannotWin = whiteCannot;
            why->blackCannotWin = blackCannot;
        }
        if (whiteCannot && blackCannot) {
            status = EvalDraw;
            leave(EvalExit::RecogniserDraw);
            if constexpr (Explain) why->recogniserChange = draw - score;
            return draw;
        }
        // The side that cannot win never scores above the draw; the other
        // side never below it.
        const int weak = whiteCannot ? White : blackCannot ? Black : NoColour;
        if (weak != NoColour) score = side == weak ? std::min(score, draw - 1) : std::max(score, draw + 1);
        if constexpr (Explain) why->recogniserChange = score - before;
    }

    leave(EvalExit::Full);
    return score;
}

int computeGamePhase(const Position& pos) {
    const int m = pos.nonPawnMaterial;
    if (m >= 6200) return 0;
    if (m < 1360) return 10;
    return (6200 - m) / 484;
}

int shiftScoreTowards(int score, int towards, int side, int x) {
    if (side == towards) {
        score += x;
        if (score < 0) score /= 2;
    } else {
        score -= x;
        if (score > 0) score /= 2;
    }
    return score;
}

int bareKingCentre(Square s) {
    const int f = fileOf(s), r = rankOf(s);
    return 6 * (std::min(f, 7 - f) + std::min(r, 7 - r));
}

int Evaluator::evaluateBareKing(int bare, int side) const {
    const int strong = bare ^ 1;
    const Square kb = pos.pieceList[bare][0], ks = pos.pieceList[strong][0];
    const int v = pos.psqScore[strong] - pos.psqScore[bare] + 1040 - 4 * distance[kb][ks] - bareKingCentre(kb);
    return side == strong ? v : -v;
}

int Evaluator::whiteKingSafeAfterMove(MoveWord lastMove) const { return kingSafeAfterMove<White>(lastMove); }
int Evaluator::blackKingSafeAfterMove(MoveWord lastMove) const { return kingSafeAfterMove<Black>(lastMove); }

int Evaluator::bishopSquareColour(int colour) const {
    for (int i = 1; i <= pos.lastPieceIndex[colour]; ++i) {
        const Square s = pos.pieceList[colour][i];
        if (pos.board[s].piece == Bishop) return squareColour[s];
    }
    assert(false && "bishopSquareColour without a bishop");
    return 0;
}

int Evaluator::evaluate(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status) {
    return evaluateImpl<false>(side, bound, horizon, ply, lastMove, status, nullptr);
}

int Evaluator::evaluateExplained(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status,
                                  EvalBreakdown& breakdown) {
    return evaluateImpl<true>(side, bound, horizon, ply, lastMove, status, &breakdown);
}
