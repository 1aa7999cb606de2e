#include "board/movegen.h"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "board/board.h"
#include "board/geometry.h"
#include "board/tables.h"

namespace {

using Bitboard = uint64_t;

constexpr Bitboard FileA = 0x0101010101010101ULL;
constexpr Bitboard FileH = FileA << 7;

inline Bitboard bit(Square s) { return Bitboard{1} << s; }

// Ordering scores of the full lists: the table move far ahead, then killers
// and the ply's last best move, on top of the exchange and placement terms.
constexpr int TableMoveScore = 10000;
constexpr int Killer1Score = 650;
constexpr int Killer2Score = 400;
constexpr int PlyBestScore = 50;
constexpr int EnPassantScore = 200;
constexpr int RecaptureScore = 700;  // a capture on the square the opponent just moved to
constexpr int PromotionScore = 940;  // queen, rook or bishop
constexpr int SeventhRankScore = 100;
constexpr int HistoryScale = 128;  // the list's highest history value scores this much
// Quiescence captures: victim first, killers above all.
constexpr int CaptureKiller1Score = 1000;
constexpr int CaptureKiller2Score = 200;
constexpr int CaptureRecaptureScore = 400;
// Kings and pawns only.
constexpr int PawnEndingKillerScore = 200;
constexpr int PawnEndingCaptureScore = 100;
constexpr int FreePathPushScore = 50;  // a push with no pawn ahead on its file

// One generator call: the position, the ordering context it scores with
// (none when the list goes unscored) and the list being written.
struct MoveGenerator {
    Position& pos;
    MoveOrdering* ordering;
    MoveEntry* moveCursor = nullptr;
    MoveEntry* listStart = nullptr;
    const uint32_t* ownAttacks = nullptr;
    const uint32_t* oppAttacks = nullptr;
    // Scoring context of the list being generated.
    Move ttMove = 0;
    Move contextKiller1 = 0;
    Move contextKiller2 = 0;
    Move contextBest = 0;
    int lastToSquare = 64;

inline void push(Square from, Square to, MoveWord flags, int score = 0) {
    moveCursor->score = score;
    moveCursor->move = makeMoveCode(from, to) | flags;
    ++moveCursor;
}

inline void loadContext(int ply) {
    if (ply == 0) {
        contextKiller1 = contextKiller2 = contextBest = 0;
        ttMove = ordering->ttMove = 0;
        lastToSquare = 64;
    } else {
        ttMove = ordering->ttMove;
        contextKiller1 = ordering->killerMove1[ply];
        contextKiller2 = ordering->killerMove2[ply];
        contextBest = ordering->plyBestMove[ply];
        lastToSquare = moveTo(pos.undoStack.move[ply - 1]);
    }
}

inline void useAttackTables(int side, int ply) {
    pos.ensureAttackTables(ply);
    ownAttacks = pos.attackTables[ply][side];
    oppAttacks = pos.attackTables[ply][side ^ 1];
}

// A target square matches epSquare and the pawn that double-stepped really
// stands beside the capturing pawn (a hand-written ep field may lie).
inline bool enPassantTarget(Square c, Square from, int opp) {
    if (c != pos.epSquare || pos.epSquare == 0) return false;
    const Square victim = (c & 7) + (from & 56);
    return pos.board[victim].piece == Pawn && pos.board[victim].colour == opp && pos.isEmpty(c);
}

// Last-rank pushes and captures become four promotions; other pawn moves to
// the seventh (second) rank are flagged as tactical.
inline void addPawnMove(Square from, Square to, MoveWord flags) {
    const int rank = rankOf(to);
    if (rank == 0 || rank == 7) {
        push(from, to, flags | (Queen << 12));
        push(from, to, flags | (Rook << 12));
        push(from, to, flags | (Bishop << 12));
        push(from, to, flags | (Knight << 12));
    } else {
        push(from, to, rank == 1 || rank == 6 ? flags | SeventhRankFlag : flags);
    }
}

inline bool marked(Square s) { return pos.evasionMark[s] == pos.evasionStamp; }

// Restricted: only destinations marked as answering the check.
template <bool Restricted>
void addPawnMoves(Square from, int side) {
    const int type = moveTypeOf[side][Pawn];
    const uint8_t* next = nextSquare[type][from];
    const uint8_t* jump = nextDirection[type][from];
    const int opp = side ^ 1;
    const Square push1 = next[from];
    if (push1 != from && pos.isEmpty(push1)) {
        if (!Restricted || marked(push1)) addPawnMove(from, push1, 0);
        const Square push2 = next[push1];
        if (push2 != from && pos.isEmpty(push2) && (!Restricted || marked(push2))) addPawnMove(from, push2, 0);
    }
    for (Square c = jump[from]; c != from; c = jump[c]) {
        if (pos.board[c].colour == opp) {
            if (!Restricted || marked(c)) addPawnMove(from, c, CaptureFlag);
        } else if (enPassantTarget(c, from, opp)) {
            // Always tried under check: the victim may be the checker.
            push(from, c, CaptureFlag | EnPassantFlag);
        }
    }
}

template <bool Restricted>
void addPieceMoves(Square from, int type, int side) {
    const uint8_t* next = nextSquare[type][from];
    const uint8_t* jump = nextDirection[type][from];
    Square s = next[from];
    while (s != from) {
        const int colour = pos.board[s].colour;
        if (colour == NoColour) {
            if (!Restricted || marked(s)) push(from, s, 0);
            s = next[s];
        } else {
            if (colour != side && (!Restricted || marked(s))) push(from, s, CaptureFlag);
            s = jump[s];
        }
    }
}

template <bool Restricted>
void addAllMenMoves(int side) {
    for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
        const Square from = pos.pieceList[side][i];
        const int piece = pos.board[from].piece;
        if (piece == Pawn)
            addPawnMoves<Restricted>(from, side);
        else
            addPieceMoves<Restricted>(from, piece, side);
    }
}

void addKingMoves(int side) {
    const Square king = pos.pieceList[side][0];
    const uint8_t* jump = nextDirection[King][king];
    for (Square s = jump[king]; s != king; s = jump[s]) {
        const int colour = pos.board[s].colour;
        if (colour != side && oppAttacks[s] == 0) push(king, s, colour == NoColour ? 0 : CaptureFlag);
    }
}

// First man of `colour` and kind `piece` met on the rays of `type` from
// `from` (sliders stop at the first man of each ray); -1 if none.
Square findOnRays(Square from, int type, int piece, int colour) {
    const uint8_t* next = nextSquare[type][from];
    const uint8_t* jump = nextDirection[type][from];
    Square s = next[from];
    while (s != from) {
        if (pos.isEmpty(s)) {
            s = next[s];
            continue;
        }
        if (pos.board[s].piece == piece && pos.board[s].colour == colour) return s;
        s = jump[s];
    }
    return -1;
}

// Marks with a fresh stamp the squares a man may move to in order
// to answer a single check: the checker and, for a distant slider, the
// squares between it and the king.
void markEvasions(int side) {
    const Square king = pos.pieceList[side][0];
    const int opp = side ^ 1;
    const uint32_t kinds = oppAttacks[king] & ~CountMask;
    uint32_t stamp = ++pos.evasionStamp;
    if (stamp == 0) {
        // Wrapped round: old marks could pass for new ones.
        std::memset(pos.evasionMark, 0, sizeof pos.evasionMark);
        stamp = ++pos.evasionStamp;
    }
    if (kinds == 0x10000000) {
        const int file = fileOf(king);
        const Square left = side == White ? king + 7 : king - 9;
        const Square right = side == White ? king + 9 : king - 7;
        auto enemyPawn = [&](Square s) {
            return s >= 0 && s < 64 && pos.board[s].piece == Pawn && pos.board[s].colour == opp;
        };
        if (file != 0 && enemyPawn(left))
            pos.evasionMark[left] = stamp;
        else if (file != 7 && enemyPawn(right))
            pos.evasionMark[right] = stamp;
        return;
    }
    int piece = Queen;
    if (kinds == 0x1000000)
        piece = Knight;
    else if (kinds == 0x10000)
        piece = Rook;
    else if (kinds == 0x100000)
        piece = Bishop;
    const Square checker = findOnRays(king, piece, piece, opp);
    if (checker < 0) return;
    pos.evasionMark[checker] = stamp;
    if (piece == Knight || distance[king][checker] == 1) return;
    const int step = lineTable[king][checker].step;
    for (Square s = king + step; s != checker; s += step) pos.evasionMark[s] = stamp;
}

void addCastling(int side) {
    const Square king = pos.pieceList[side][0];
    const Square home = side == White ? 4 : 60;
    // The rights promise king and rooks at home; a hand-made position may not keep that promise.
    if (king != home) return;
    auto ownRook = [&](Square s) { return pos.board[s].piece == Rook && pos.board[s].colour == side; };
    if ((pos.castleRights & (side == White ? WhiteShort : BlackShort)) && oppAttacks[king + 1] == 0 &&
        oppAttacks[king + 2] == 0 && pos.isEmpty(king + 1) && pos.isEmpty(king + 2) && ownRook(king + 3))
        push(king, king + 2, CastleFlag);
    if ((pos.castleRights & (side == White ? WhiteLong : BlackLong)) && oppAttacks[king - 1] == 0 &&
        oppAttacks[king - 2] == 0 && pos.isEmpty(king - 1) && pos.isEmpty(king - 2) && pos.isEmpty(king - 3) &&
        ownRook(king - 4))
        push(king, king - 2, CastleFlag);
}

int scoreMove(MoveWord move, int side) {
    const Move m = moveOf(move);
    const Square from = moveFrom(move);
    const Square to = moveTo(move);
    const int mover = pos.board[from].piece;
    const int victim = pos.board[to].piece;

    int score = 0;
    if (m == ttMove)
        score = TableMoveScore;
    else if (m == contextKiller1)
        score = Killer1Score;
    else if (m == contextKiller2)
        score = Killer2Score;
    else if (m == contextBest)
        score = PlyBestScore;

    if (move & CaptureFlag) {
        if (victim == NoPiece) {
            score += EnPassantScore;
        } else {
            score += pos.psqTable[pos.board[to].colour * 8 + victim][to] / 2;
            if (to == lastToSquare) score += RecaptureScore;
        }
    }

    // What the opponent wins on the destination, then what the man escapes
    // from on its origin.
    if (mover == Pawn && !(move & CaptureFlag))
        score -= staticExchange(0, 100, oppAttacks[to], ownAttacks[to]);
    else
        score -= staticExchange(-pieceValue[victim], pieceValue[mover], oppAttacks[to],
                                ownAttacks[to] - attackWeight[mover] - 1);
    score += staticExchange(0, pieceValue[mover], oppAttacks[from], ownAttacks[from]) / 2;

    const int* row = pos.psqTable[side * 8 + mover];
    if (mover == Pawn) {
        const int promo = movePromotion(move);
        if (promo != 0) {
            if (promo != Knight) score += PromotionScore;
            return score;
        }
        score += row[to] - row[from];
        const int rank = rankOf(to);
        if (rank == 1 || rank == 6) score += SeventhRankScore;
    } else {
        score += row[to] - row[from];
    }
    return score;
}

void scoreAndScaleHistory(MoveEntry* list, MoveEntry* end, int side) {
    int32_t highest = 0;
    for (MoveEntry* e = list; e != end; ++e) {
        e->score = scoreMove(e->move, side);
        const int32_t h = ordering->historyTable[side][moveFrom(e->move)][moveTo(e->move)];
        if (h > highest) highest = h;
    }
    if (highest <= 0) return;
    for (MoveEntry* e = list; e != end; ++e)
        e->score += ordering->historyTable[side][moveFrom(e->move)][moveTo(e->move)] * HistoryScale / highest;
}

// ---- Kings and pawns only -------------------------------------------------

// Squares attacked by the pawns of `colour`.
inline Bitboard pawnCaptureSquares(Bitboard pawns, int colour) {
    if (colour == White) return ((pawns & ~FileA) << 7) | ((pawns & ~FileH) << 9);
    return ((pawns & ~FileA) >> 9) | ((pawns & ~FileH) >> 7);
}

inline Bitboard pawnsOf(int colour) { return colour == White ? pos.whitePawns : pos.blackPawns; }

// Squares the side's king may not enter: the enemy pawns' captures and the
// enemy king's neighbourhood.
inline Bitboard enemyControl(int side) {
    const int opp = side ^ 1;
    return pawnCaptureSquares(pawnsOf(opp), opp) | geometry.king[pos.pieceList[opp][0]];
}

// A pawn check can only be met by a pawn move if the pawn two files beside
// the king on its rank takes the checker.
void addCheckerCapture(int side) {
    const Square king = pos.pieceList[side][0];
    const int opp = side ^ 1;
    const int file = fileOf(king);
    const Square leftChecker = side == White ? king + 7 : king - 9;
    const Square rightChecker = side == White ? king + 9 : king - 7;
    auto holds = [this](Square s, int colour) {
        return s >= 0 && s < 64 && pos.board[s].piece == Pawn && pos.board[s].colour == colour;
    };
    if (file >= 2 && holds(leftChecker, opp) && holds(king - 2, side))
        push(king - 2, leftChecker, CaptureFlag, PawnEndingCaptureScore);
    if (file <= 5 && holds(rightChecker, opp) && holds(king + 2, side))
        push(king + 2, rightChecker, CaptureFlag, PawnEndingCaptureScore);
}

inline void addPawnEndingPromotions(Square from, Square to) {
    push(from, to, Queen << 12, 1040);
    push(from, to, Rook << 12, 520);
    push(from, to, Knight << 12, 330);
    push(from, to, Bishop << 12, 350);
}

int generatePawnEndingMoves(MoveEntry* list, int side) {
    const int opp = side ^ 1;
    const Bitboard control = enemyControl(side);
    const Square king = pos.pieceList[side][0];
    const int* kingRow = pos.psqTable[side * 8 + King];
    const uint8_t* jump = nextDirection[King][king];
    for (Square s = jump[king]; s != king; s = jump[s]) {
        const int colour = pos.board[s].colour;
        if (colour != side && !(control & bit(s)))
            push(king, s, colour == NoColour ? 0 : CaptureFlag, kingRow[s] - kingRow[king]);
    }

    if (control & bit(king)) {
        addCheckerCapture(side);
    } else {
        const int forward = side == White ? 8 : -8;
        const int lastFromRank = side == White ? 6 : 1;
        const int homeRank = side == White ? 1 : 6;
        const Bitboard allPawns = pos.whitePawns | pos.blackPawns;
        const int* pawnRow = pos.psqTable[side * 8 + Pawn];
        auto pushScore = [&](Square from, Square to) {
            return (geometry.ray[side == White ? 0 : 2][to] & allPawns) == 0 ? FreePathPushScore
                                                                             : pawnRow[to] - pawnRow[from];
        };
        for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
            const Square from = pos.pieceList[side][i];
            if (pos.board[from].piece != Pawn) continue;
            const Square to = from + forward;
            if (pos.isEmpty(to)) {
                if (rankOf(from) == lastFromRank) {
                    addPawnEndingPromotions(from, to);
                } else {
                    push(from, to, 0, pushScore(from, to));
                    if (rankOf(from) == homeRank && pos.isEmpty(to + forward))
                        push(from, to + forward, 0, pushScore(from, to + forward));
                }
            }
            // Towards the a-file first, then towards the h-file.
            const Square left = from + forward - 1;
            const Square right = from + forward + 1;
            if (fileOf(from) != 0 && (pos.board[left].colour == opp || enPassantTarget(left, from, opp)))
                push(from, left, CaptureFlag, PawnEndingCaptureScore);
            if (fileOf(from) != 7 && (pos.board[right].colour == opp || enPassantTarget(right, from, opp)))
                push(from, right, CaptureFlag, PawnEndingCaptureScore);
        }
    }

    const int count = int(moveCursor - list);
    for (int i = 0; i < count; ++i)
        if (list[i].move == ttMove) {
            list[i].score += TableMoveScore;
            break;
        }
    for (int i = 0; i < count; ++i)
        if (list[i].move == contextKiller1) {
            list[i].score += PawnEndingKillerScore;
            break;
        }
    return count;
}

int generatePawnEndingCaptures(MoveEntry* list, int side) {
    const int opp = side ^ 1;
    const Bitboard control = enemyControl(side);
    const Square king = pos.pieceList[side][0];
    const uint8_t* jump = nextDirection[King][king];
    for (Square s = jump[king]; s != king; s = jump[s])
        if (pos.board[s].colour == opp && pos.board[s].piece == Pawn && !(control & bit(s)))
            push(king, s, CaptureFlag, PawnEndingCaptureScore);

    if (control & bit(king)) {
        addCheckerCapture(side);
    } else {
        const int forward = side == White ? 8 : -8;
        const int lastFromRank = side == White ? 6 : 1;
        for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
            const Square from = pos.pieceList[side][i];
            if (pos.board[from].piece != Pawn) continue;
            const Square to = from + forward;
            if (rankOf(from) == lastFromRank && pos.isEmpty(to)) addPawnEndingPromotions(from, to);
            if (fileOf(from) != 0 && pos.board[to - 1].colour == opp)
                push(from, to - 1, CaptureFlag, PawnEndingCaptureScore);
            if (fileOf(from) != 7 && pos.board[to + 1].colour == opp)
                push(from, to + 1, CaptureFlag, PawnEndingCaptureScore);
        }
    }
    return int(moveCursor - list);
}

// ---- Quiescence captures and safe checks ---------------------------------

// Captures (and queen promotions) scored on the spot: victim, recapture,
// and a penalty when the destination is defended.
void addScoredCapture(Square from, Square to, MoveWord flags) {
    const int mover = pos.board[from].piece;
    const Move m = makeMoveCode(from, to) | (flags & PromotionMask);
    int score = 0;
    if (m == contextKiller1)
        score = CaptureKiller1Score;
    else if (m == contextKiller2)
        score = CaptureKiller2Score;
    else if (m == contextBest)
        score = PlyBestScore;
    if (flags & CaptureFlag) {
        score += pieceValue[pos.board[to].piece];
        if (to == lastToSquare) score += CaptureRecaptureScore;
    }
    const int promo = movePromotion(flags);
    if (mover == Pawn && promo == 0 && (rankOf(to) == 1 || rankOf(to) == 6)) flags |= SeventhRankFlag;
    if (promo == Bishop || promo == Rook || promo == Queen) score += PromotionScore;
    if (oppAttacks[to] != 0) score -= (ownAttacks[to] & CountMask) >= 2 ? pieceValue[mover] / 2 : pieceValue[mover];
    push(from, to, flags, score);
}

void addBonus(Square to, int piece, int bonus) {
    for (MoveEntry* e = listStart; e != moveCursor; ++e)
        if (moveTo(e->move) == to && pos.board[moveFrom(e->move)].piece == piece) e->score += bonus;
}

// The own man of kind `piece` (bishop, rook or queen) that reaches `to`
// along a clear line, searched from the end of the list; -1 if none.
Square findSlider(int side, int piece, Square to) {
    for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
        const Square s = pos.pieceList[side][i];
        if (pos.board[s].piece != piece) continue;
        const LineEntry line = lineTable[to][s];
        if (line.kind == 0 || (piece == Rook && line.kind != 4) || (piece == Bishop && line.kind != 3)) continue;
        Square t = to + line.step;
        while (t != s && pos.isEmpty(t)) t += line.step;
        if (t == s) return s;
    }
    return -1;
}

Square findKnight(int side, Square to) {
    for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
        const Square s = pos.pieceList[side][i];
        if (pos.board[s].piece == Knight && knightJump[s][to]) return s;
    }
    return -1;
}

// The attack words promise a queen or bishop on `to`; not finding one means
// the words and the board disagree.
Square findPromisedSlider(int side, int piece, Square to) {
    const Square from = findSlider(side, piece, to);
    if (from >= 0) return from;
    // Standard output is the protocol stream: the complaint goes elsewhere.
    assert(false && "attack words promise a slider the board lacks");
    std::fprintf(stderr, "bug multitosq, %d, %d\n", piece, to);
    return to;
}

// Scores of the safe checks: quiet, capturing (as an entry of its own), and
// the bonus given to an existing capture in the quiescence list.
struct CheckScores {
    int quiet;
    int capture;
    int bonus;
};

// A slider check on `to` is safe when nothing of the opponent covers the
// square, or we cover it twice and the opponent only once.
inline bool safeSliderCheck(uint32_t own, uint32_t opp, uint32_t field, uint32_t twice) {
    return (own & field) && (opp == 0 || (own >= twice && opp < 0x102));
}

// Safe checks against the enemy king. asEntries: every check becomes an
// entry (capturing checks included); otherwise captures already in the list
// get a bonus and only quiet checks are added.
void addSafeChecks(int side, bool asEntries) {
    const int opp = side ^ 1;
    const Square enemyKing = pos.pieceList[opp][0];
    const int* count = &pos.pieceCount[side * 8];

    auto finder = [&](int piece, Square to) {
        if (piece == Knight) return findKnight(side, to);
        if (piece == Rook) return findSlider(side, Rook, to);
        return findPromisedSlider(side, piece, to);
    };
    auto checkOn = [&](Square to, int piece, const CheckScores& s) {
        if (pos.isEmpty(to)) {
            const Square from = finder(piece, to);
            if (from >= 0) push(from, to, 0, s.quiet);
        } else if (!asEntries) {
            addBonus(to, piece, s.bonus);
        } else if (pos.board[to].colour == opp) {
            const Square from = finder(piece, to);
            if (from >= 0) push(from, to, CaptureFlag, s.capture);
        }
    };

    const CheckScores knightScores = {4000, 4000, 3000};
    const CheckScores queenScores = {5000, 5000, 4000};
    const CheckScores rookScores = asEntries ? CheckScores{3000, 3000, 3000} : CheckScores{4000, 4000, 3000};
    const CheckScores bishopScores = {4000, 3000, 3000};

    if (count[Knight]) {
        const uint8_t* jump = nextDirection[Knight][enemyKing];
        for (Square q = jump[enemyKing]; q != enemyKing; q = jump[q]) {
            const uint32_t own = ownAttacks[q];
            if ((own & KnightField) && int32_t(own - 0x1000001) >= int32_t(oppAttacks[q]))
                checkOn(q, Knight, knightScores);
        }
    }

    auto walkLines = [&](int piece, uint32_t field, uint32_t twice, const CheckScores& scores) {
        const uint8_t* next = nextSquare[piece][enemyKing];
        const uint8_t* jump = nextDirection[piece][enemyKing];
        Square q = next[enemyKing];
        while (q != enemyKing) {
            const uint32_t own = ownAttacks[q];
            const uint32_t theirs = oppAttacks[q];
            if (safeSliderCheck(own, theirs, QueenField, 0x1002)) checkOn(q, Queen, queenScores);
            if (safeSliderCheck(own, theirs, field, twice)) checkOn(q, piece, scores);
            q = pos.isEmpty(q) ? next[q] : jump[q];
        }
    };
    if (count[Queen] || count[Rook]) walkLines(Rook, RookField, 0x10002, rookScores);
    if (count[Queen] || count[Bishop]) walkLines(Bishop, BishopField, 0x100002, bishopScores);
}

template <bool Scored>
int generateMovesImpl(MoveEntry* list, int side, int ply) {
    assert(ply >= 0 && ply < MaxPly);
    moveCursor = list;
    listStart = list;
    if constexpr (Scored) loadContext(ply);
    if (pos.nonPawnMaterial == 0) return generatePawnEndingMoves(list, side);

    if (Scored || pos.attackCacheValid[ply]) {
        useAttackTables(side, ply);
    } else {
        // Without scores only the opponent's attacks matter. The ply's pair
        // stays marked stale, so a scored generator still builds both.
        pos.computeAttacks(side ^ 1, pos.attackTables[ply][side ^ 1]);
        oppAttacks = pos.attackTables[ply][side ^ 1];
    }
    const uint32_t checkers = oppAttacks[pos.pieceList[side][0]] & CountMask;
    if (checkers == 0) {
        addAllMenMoves<false>(side);
    } else if (checkers == 1) {
        markEvasions(side);
        addAllMenMoves<true>(side);
    }
    addKingMoves(side);
    if (checkers == 0 && pos.castleRights != 0) addCastling(side);

    if constexpr (Scored) scoreAndScaleHistory(list, moveCursor, side);
    return int(moveCursor - list);
}

int generateRootMoves(MoveEntry* list, int side, int ply) {
    assert(ply >= 0 && ply < MaxPly);
    std::memset(pos.evasionMark, 0, sizeof pos.evasionMark);
    const int opp = side ^ 1;
    pos.computeAttacks(White, pos.attackTables[ply][White]);
    pos.computeAttacks(Black, pos.attackTables[ply][Black]);
    pos.attackCacheValid[ply] = 1;
    int n = generateMovesImpl<true>(list, side, ply);
    ordering->ttMove = 0;

    // The ply's two tables serve as scratch: the opponent's replies go into
    // the mover's slot, the mover's own attacks into the opponent's.
    for (int i = 0; i < n;) {
        pos.makeMove(side, ply, &list[i]);
        pos.computeAttacks(opp, pos.attackTables[ply][side]);
        if (pos.attackTables[ply][side][pos.pieceList[side][0]] != 0) {
            pos.unmakeMove(ply);
            list[i] = list[--n];
            continue;
        }
        pos.computeAttacks(side, pos.attackTables[ply][opp]);
        if (pos.attackTables[ply][opp][pos.pieceList[opp][0]] & CountMask) list[i].move |= CheckFlag;
        pos.unmakeMove(ply);
        ++i;
    }
    pos.attackCacheValid[ply] = 0;
    return n;
}

void addSliderCaptures(Square from, const int (&rays)[4], int opp) {
    for (const int dir : rays) {
        const uint64_t men = geometry.ray[dir][from] & pos.occupiedSet;
        if (men == 0) continue;
        const Square s = nearestOnRay(dir, men);
        if (pos.board[s].colour == opp) addScoredCapture(from, s, CaptureFlag);
    }
}

int generateCaptures(MoveEntry* list, int side, int ply, int withChecks) {
    assert(ply >= 0 && ply < MaxPly);
    moveCursor = list;
    listStart = list;
    if (ply == 0) {
        contextKiller1 = ordering->killerMove1[0];
        contextKiller2 = ordering->killerMove2[0];
        contextBest = ordering->plyBestMove[0];
        lastToSquare = 64;
    } else {
        loadContext(ply);
    }
    if (pos.nonPawnMaterial == 0) return generatePawnEndingCaptures(list, side);

    useAttackTables(side, ply);
    const int opp = side ^ 1;
    const int forward = side == White ? 8 : -8;
    const int lastFromRank = side == White ? 6 : 1;
    for (int i = pos.lastPieceIndex[side]; i >= 1; --i) {
        const Square from = pos.pieceList[side][i];
        const int piece = pos.board[from].piece;
        if (piece == Pawn) {
            const uint8_t* jump = nextDirection[moveTypeOf[side][Pawn]][from];
            const bool promotes = rankOf(from) == lastFromRank;
            const MoveWord promo = promotes ? MoveWord(Queen << 12) : 0;
            for (Square c = jump[from]; c != from; c = jump[c])
                if (pos.board[c].colour == opp) addScoredCapture(from, c, CaptureFlag | promo);
            if (promotes && pos.isEmpty(from + forward)) addScoredCapture(from, from + forward, promo);
        } else if (piece == Knight) {
            const uint8_t* jump = nextDirection[Knight][from];
            for (Square c = jump[from]; c != from; c = jump[c])
                if (pos.board[c].colour == opp) addScoredCapture(from, c, CaptureFlag);
        } else {
            // Only the first man of each ray can be taken; the rays go in the
            // walk tables' order so that equal scores keep their order.
            if (piece != Bishop) addSliderCaptures(from, RookRays, opp);
            if (piece != Rook) addSliderCaptures(from, BishopRays, opp);
        }
    }

    const Square king = pos.pieceList[side][0];
    const uint8_t* jump = nextDirection[King][king];
    for (Square s = jump[king]; s != king; s = jump[s])
        if (pos.board[s].colour == opp && oppAttacks[s] == 0) addScoredCapture(king, s, CaptureFlag);

    if (withChecks && oppAttacks[king] == 0) addSafeChecks(side, false);
    return int(moveCursor - list);
}

int generateChecks(MoveEntry* list, int side, int ply) {
    assert(ply >= 0 && ply < MaxPly);
    moveCursor = list;
    listStart = list;
    useAttackTables(side, ply);
    addSafeChecks(side, true);
    return int(moveCursor - list);
}
};

}  // namespace

int generateMoves(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply) {
    return MoveGenerator{pos, &ordering}.generateMovesImpl<true>(list, side, ply);
}

int generateMovesUnscored(Position& pos, MoveEntry* list, int side, int ply) {
    return MoveGenerator{pos, nullptr}.generateMovesImpl<false>(list, side, ply);
}

int generateRootMoves(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply) {
    return MoveGenerator{pos, &ordering}.generateRootMoves(list, side, ply);
}

int generateCaptures(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply, int withChecks) {
    return MoveGenerator{pos, &ordering}.generateCaptures(list, side, ply, withChecks);
}

int generateChecks(Position& pos, MoveEntry* list, int side, int ply) {
    return MoveGenerator{pos, nullptr}.generateChecks(list, side, ply);
}
