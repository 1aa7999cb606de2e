#include "eval/pieces.h"

#include <algorithm>
#include <bit>
#include <cassert>

#include "board/attacks.h"
#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"

// Slot 0 starts with a key that belongs to another slot, so a position whose
// key happens to be 0 cannot pick up the never-computed zero value.
void Evaluator::clearKingShelterCache() {
    for (KingShelterEntry& e : kingShelterCache) e = KingShelterEntry{0, 0};
    kingShelterCache[0].key = 1;
}

const int lowMobilityPenalty[2] = {-6, -2};
const int queenLowMobilityPenalty[2] = {-12, -4};
const int kingDangerTable[8] = {0, -6, -16, -30, -44, -58, -64, -70};

const int knightOutpostTable[64] = {
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 4, 8,  8,  4, 0, 0,  //
    0, 0, 8, 12, 12, 8, 0, 0,  //
    0, 4, 8, 12, 12, 8, 4, 0,  //
    0, 0, 0, 5,  5,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
};

namespace {

constexpr int32_t PawnWeight = 0x10000000;
constexpr uint32_t RookOrQueenField = 0x000FF000;
constexpr uint32_t BishopOrQueenField = 0x00F0F000;

inline bool testBit(Bitboard set, Square s) { return (set >> s) & 1; }

}  // namespace

// Whole attack words compare as signed numbers: the cheapest attacker kind
// sits highest, so a larger word means control by cheaper men (scored, opposing).

// The own man on x leans on the attacker of weight `weight`: it is attacked
// only by dearer men, held at least evenly, but not without this defender.
inline bool Evaluator::isDuty(Square x, uint32_t weight) const {
    const int32_t e = opposing(x);
    const int32_t o = scored(x);
    const int32_t w = int32_t(attackWeight[pos.board[x].piece]);
    return e > 0 && e < w && o >= e && o - int32_t(weight) - 1 < e;
}

inline void Evaluator::chargeDuties(int n) {
    dutySum -= 4 * n;
    if (n > 1) dutySum -= 2 * n;
}

// A man attacked more strongly than it is held. The "light" case: attacked by
// a man of its own value band or not covered by a pawn.
void Evaluator::attackedManTest(Square m, int kind, bool noSafeSquare) {
    const int32_t e = opposing(m);
    if (e == 0) return;
    const int32_t o = scored(m);
    int32_t threshold = 0;
    int penalty = 0;
    bool light = true;
    switch (kind) {
        case Pawn:
            threshold = 0x10000001, penalty = 8, light = e > o;
            break;
        case Knight:  // bishop-field thresholds: minor pieces are one band
        case Bishop:
            threshold = 0x100001, penalty = 10, light = e >= 0x100000 || o < PawnWeight;
            break;
        case Rook:
            threshold = 0x10001, penalty = 11, light = e >= 0x10000 || o < PawnWeight;
            break;
        case Queen:
            threshold = 0x1001, penalty = 13, light = e >= 0x1000 || o < PawnWeight;
            break;
        case King:
            threshold = 0x101, penalty = 14, light = true;
            noSafeSquare = false;
            break;
        default:
            assert(false);
            return;
    }
    if (o == 0 || e > threshold) {
        hangingSum -= penalty;
        if (noSafeSquare) hangingSum -= 8;
    } else if (light) {
        hangingSum -= 6;
    }
}

inline bool Evaluator::outsideEnemyPawnReach(Square s, int enemy) const {
    return !testBit(pawnHash.attackSpan[enemy], s);
}

int Evaluator::scoreColour(int colour, int ply) {
    beginScoringColour(colour, ply);
    const int enemy = colour ^ 1;
    int sum = 0;
    // Kind by kind: every term only adds up, so the order is free, and
    // grouped kinds keep the branches predictable.
    const uint64_t* men = &pos.menSet[colour * 8];
    for (uint64_t m = men[Pawn]; m; m &= m - 1) sum += evaluatePawnMan(std::countr_zero(m), colour, enemy);
    for (uint64_t m = men[Knight]; m; m &= m - 1) sum += evaluateKnight(std::countr_zero(m), colour, enemy);
    for (uint64_t m = men[Bishop]; m; m &= m - 1) sum += evaluateBishop(std::countr_zero(m), colour, enemy);
    for (uint64_t m = men[Rook]; m; m &= m - 1) sum += evaluateRook(std::countr_zero(m), colour, enemy);
    for (uint64_t m = men[Queen]; m; m &= m - 1) sum += evaluateQueen(std::countr_zero(m), colour, enemy);
    sum += evaluateKing(pos.pieceList[colour][0], colour, enemy);
    sum += dutySum + mobilitySum + hangingSum;

    // A piece parked in front of an unmoved centre pawn blocks the development.
    const Square blocked[2][2] = {{20, 19}, {44, 43}};  // e3, d3 / e6, d6
    const int back = colour == White ? -8 : 8;
    for (const Square front : blocked[colour]) {
        const SquareState pawn = pos.board[front + back];
        const SquareState man = pos.board[front];
        if (pawn.piece == Pawn && pawn.colour == colour && man.colour == colour && man.piece != Pawn) sum -= 8;
    }
    return sum;
}

void Evaluator::beginScoringColour(int colour, int ply) {
    assert((colour == White || colour == Black) && ply >= 0 && ply < MaxPly);
    scoredAttacks = pos.attackTables[ply][colour];
    opposingAttacks = pos.attackTables[ply][colour ^ 1];
    dutySum = mobilitySum = hangingSum = 0;
}

void Evaluator::evaluatePiecesByColour(int ply, PieceTotals& totals) {
    assert(ply >= 0 && ply < MaxPly);
    pos.buildAttackTables(ply);
    totals.total[White] = scoreColour(White, ply);
    totals.total[Black] = scoreColour(Black, ply);
}

int Evaluator::evaluatePieces(int side, int ply) {
    PieceTotals totals;
    evaluatePiecesByColour(ply, totals);
    const int v = totals.total[White] - totals.total[Black];
    return side == White ? v : -v;
}

int Evaluator::evaluatePawnMan(Square p, int own, int enemy) {
    assert(pos.board[p].piece == Pawn && pos.board[p].colour == own);
    const int type = moveTypeOf[own][Pawn];
    const Square push = nextSquare[type][p][p];
    int mobile = (pos.isEmpty(push) && scored(push) >= opposing(push)) ? 1 : 0;
    int duties = 0;
    const uint8_t* jump = nextDirection[type][p];
    for (int s = jump[p]; s != p; s = jump[s]) {
        if (pos.board[s].colour == enemy) {
            ++mobile;
        } else if (pos.board[s].colour == own && isDuty(s, attackWeight[Pawn])) {
            ++duties;
        }
    }
    chargeDuties(duties);
    if (mobile == 0) mobilitySum -= 4;
    attackedManTest(p, Pawn, mobile == 0);
    int v = gamePhase;
    if ((pawnHash.weakFiles[own] >> fileOf(p)) & 1) v -= 5 * int(opposingAttacks[p] & CountMask);
    return v;
}

int Evaluator::evaluateKnight(Square s, int own, int enemy) {
    assert(pos.board[s].piece == Knight && pos.board[s].colour == own);
    int safe = 0;
    int duties = 0;
    const uint8_t* jump = nextDirection[Knight][s];
    for (int t = jump[s]; t != s; t = jump[t]) {
        const SquareState man = pos.board[t];
        if (man.colour == own) {
            if (isDuty(t, attackWeight[Knight])) ++duties;
        } else if (opposingAttacks[t] == 0 || (man.piece != NoPiece && man.piece != Pawn)) {
            ++safe;
        }
    }
    chargeDuties(duties);
    if (safe < 2) mobilitySum += lowMobilityPenalty[safe];
    attackedManTest(s, Knight, safe == 0);

    const bool corner = s == 0 || s == 7 || s == 56 || s == 63;
    const int trapped = (safe == 0 && corner) ? -150 : 0;
    if (!outsideEnemyPawnReach(s, enemy)) return trapped;
    const int v = trapped + (gamePhase + 6) / 2;
    int b = knightOutpostTable[own == White ? s : 63 - s];
    if (b == 0) return v;
    if (scored(s) >= PawnWeight) b += 7;
    return opposing(s) <= 0x100000 ? v + b : v + b / 2;
}

int Evaluator::scanRays(Square s, int own, int enemy, int& safeMobility) {
    const int kind = pos.board[s].piece;
    assert((kind == Bishop || kind == Rook) && pos.board[s].colour == own);
    const uint32_t weight = attackWeight[kind];
    // Capturing a man at least this dear is a safe move whatever guards it.
    const int worthTaking = kind == Bishop ? Knight : Rook;
    const uint8_t* next = nextSquare[kind][s];
    const uint8_t* jump = nextDirection[kind][s];
    int mobility = 0, safe = 0, duties = 0, bonus = 0;

    int q = next[s];
    while (q != s) {
        const SquareState first = pos.board[q];
        if (first.colour == NoColour) {
            ++mobility;
            if (opposingAttacks[q] == 0) ++safe;
            q = next[q];
            continue;
        }
        if (first.colour == own) {
            if (isDuty(q, weight)) ++duties;
        } else if (first.piece >= worthTaking) {
            ++safe;
        }
        // Look through the first man for a pin or a discovered attack; a pawn
        // or a king in front ends the ray.
        Square x = q;
        if (first.piece != Pawn && first.piece != King) {
            while (next[x] != jump[x]) {  // the successor is on the same ray
                x = next[x];
                const SquareState second = pos.board[x];
                if (second.colour == NoColour) {
                    ++mobility;
                    if (opposingAttacks[x] == 0) ++safe;
                    continue;
                }
                if (second.colour == enemy && second.piece <= kind && opposingAttacks[x] != 0) {
                    // nothing to win behind: a cheaper or equal man that is guarded
                } else if (first.colour == enemy) {
                    bonus += 10;
                    const bool heldEnough =
                        opposingAttacks[q] != 0 && scored(q) <= int32_t(attackWeight[first.piece]) + 1;
                    if (!heldEnough) bonus += 5;
                } else {
                    bonus += 8;
                }
                break;
            }
        }
        q = jump[x];
    }

    chargeDuties(duties);
    if (safe < 2) mobilitySum += lowMobilityPenalty[safe];
    mobilitySum += 2 * std::min(mobility, kind == Bishop ? 9 : 7);
    safeMobility = safe;
    return bonus;
}

int Evaluator::evaluateBishop(Square s, int own, int enemy) {
    int safe = 0;
    int v = scanRays(s, own, enemy, safe);
    attackedManTest(s, Bishop, safe == 0);
    // Bishop that took the rook's pawn and got shut in by the pawn wedge.
    auto enemyPawnOn = [this, enemy](Square q) { return pos.board[q].piece == Pawn && pos.board[q].colour == enemy; };
    if (own == White) {
        if ((s == 55 && enemyPawnOn(46) && enemyPawnOn(53)) || (s == 48 && enemyPawnOn(41) && enemyPawnOn(50)))
            v -= 120;
    } else {
        if ((s == 15 && enemyPawnOn(22) && enemyPawnOn(13)) || (s == 8 && enemyPawnOn(17) && enemyPawnOn(10)))
            v -= 120;
    }
    v += gamePhase;
    if (outsideEnemyPawnReach(s, enemy)) v += (gamePhase + 6) / 2;
    return v;
}

int Evaluator::evaluateRook(Square s, int own, int enemy) {
    int safe = 0;
    int v = scanRays(s, own, enemy, safe);
    attackedManTest(s, Rook, safe == 0);

    const int file = fileOf(s);
    const int rank = rankOf(s);
    const Bitboard fileSquares = pawnMasks.fileMask[file];
    if (!(pawnsOf(own) & fileSquares)) {
        v += 10;
        if (!(pawnsOf(enemy) & fileSquares)) v += 4;
    }

    // Behind a passed pawn, either to push it or to chase it. The passed pawn
    // is the foremost pawn of its file in its own direction.
    const Bitboard filePawns = (pos.whitePawns | pos.blackPawns) & fileSquares;
    if (filePawns && ((pawnHash.passedFiles[White] >> file) & 1)) {
        if (rank < rankOf(63 - std::countl_zero(filePawns))) v += gamePhase + 8;
    }
    if (filePawns && ((pawnHash.passedFiles[Black] >> file) & 1)) {
        if (rank > rankOf(std::countr_zero(filePawns))) v += gamePhase + 8;
    }

    const int seventh = own == White ? 6 : 1;
    const Bitboard seventhRank = Bitboard(0xFF) << (8 * seventh);
    if (rank == seventh && (pawnsOf(enemy) & seventhRank)) {
        v += 5;
        if (scoredAttacks[s] & RookOrQueenField) {
            for (Square q = seventh * 8; q < seventh * 8 + 8; ++q) {
                if (q != s && pos.board[q].colour == own &&
                    (pos.board[q].piece == Rook || pos.board[q].piece == Queen)) {
                    v += 30 - gamePhase;
                    break;
                }
            }
        }
    }
    return v + 4 * gamePhase;
}

int Evaluator::evaluateQueen(Square s, int own, int enemy) {
    assert(pos.board[s].piece == Queen && pos.board[s].colour == own);
    const uint8_t* next = nextSquare[Queen][s];
    const uint8_t* jump = nextDirection[Queen][s];
    int safe = 0;
    for (int q = next[s]; q != s && safe < 2;) {
        const SquareState man = pos.board[q];
        if (man.colour != own &&
            (opposingAttacks[q] == 0 || (man.colour == enemy && (man.piece == Queen || man.piece == King))))
            ++safe;
        q = man.colour == NoColour ? next[q] : jump[q];
    }
    if (safe < 2) mobilitySum += queenLowMobilityPenalty[safe];
    attackedManTest(s, Queen, safe == 0);
    return distance[s][pos.pieceList[enemy][0]] < 3 ? 12 : 0;
}

int Evaluator::evaluateKing(Square k, int own, int enemy) {
    assert(pos.board[k].piece == King && pos.board[k].colour == own);
    int v = 0;
    const int rights = own == White ? (WhiteShort | WhiteLong) : (BlackShort | BlackLong);
    if (pos.hasCastled[own]) {
        v = 10 - gamePhase;
    } else if (!(pos.castleRights & rights)) {
        v = -40 / (gamePhase + 1);
    }
    if (gamePhase < 8) v += kingAttack(k, enemy);

    int duties = 0;
    int d = 0;
    const uint8_t* jump = nextDirection[King][k];
    for (int t = jump[k]; t != k; t = jump[t]) {
        if (pos.board[t].colour == own && isDuty(t, attackWeight[King])) ++duties;
        if (opposing(t) > scored(t)) {
            ++d;
            // An enemy queen backed up next to a king that alone guards the square.
            if ((opposingAttacks[t] & QueenField) && opposing(t) > 0x1001 && scored(t) < 0x1000) d += 4;
        }
    }
    v -= 4 * duties;
    if (duties > 1) dutySum -= 2 * duties;
    if (d >= 2) {
        v -= 2 * d;
        v += (kingDangerTable[std::min(d, 7)] * gamePhase) / 10;
    }
    attackedManTest(k, King, false);
    return v;
}

int Evaluator::kingAttack(Square k, int enemy) {
    const int* count = &pos.pieceCount[enemy * 8];
    int n = 0;
    int safe = 0;
    // A square from which an enemy man of the right kind could check; safe
    // unless we guard it and the enemy reaches it only once.
    auto checkSquare = [&](Square q, uint32_t kinds) {
        if (pos.board[q].colour == enemy || !(opposingAttacks[q] & kinds)) return;
        ++n;
        if (!(scoredAttacks[q] != 0 && (opposingAttacks[q] & CountMask) < 2)) ++safe;
    };
    auto walkRays = [&](int type, uint32_t kinds) {
        const uint8_t* next = nextSquare[type][k];
        const uint8_t* jump = nextDirection[type][k];
        for (int q = next[k]; q != k;) {
            checkSquare(q, kinds);
            q = pos.isEmpty(q) ? next[q] : jump[q];
        }
    };
    if (count[Bishop] || count[Queen]) walkRays(Bishop, BishopOrQueenField);
    if (count[Rook] || count[Queen]) walkRays(Rook, RookOrQueenField);
    if (count[Knight]) {
        const uint8_t* jump = nextDirection[Knight][k];
        for (int q = jump[k]; q != k; q = jump[q]) checkSquare(q, KnightField);
    }
    return ((8 - gamePhase) * kingDangerTable[std::min(safe, 7)] * 2) / 16 - 2 * n;
}

uint32_t Evaluator::kingShelterKey() const {
    assert(pos.castleRights >= 0 && pos.castleRights <= 15);
    return uint32_t(castleKey[pos.castleRights ^ 15]) ^ uint32_t(pieceKey[White][King][pos.pieceList[White][0]]) ^
           uint32_t(pieceKey[Black][King][pos.pieceList[Black][0]]) ^ pos.pawnHashKey;
}

int Evaluator::evaluateKingShelter(int side) {
    const uint32_t key = kingShelterKey();
    KingShelterEntry& slot = kingShelterCache[key & 1023];
    int value;
    if (slot.key == key) {
        value = slot.value;
    } else {
        // While a king can still castle, half its cover counts where it stands
        // and a quarter of the short-castled cover is added.
        int w = kingShelter(pos.pieceList[White][0], White);
        if (pos.castleRights & (WhiteShort | WhiteLong)) {
            w /= 2;
            if (pos.castleRights & WhiteShort) w += kingShelter(6, White) / 4;
        }
        int b = kingShelter(pos.pieceList[Black][0], Black);
        if (pos.castleRights & (BlackShort | BlackLong)) {
            b /= 2;
            if (pos.castleRights & BlackShort) b += kingShelter(62, Black) / 4;
        }
        value = w - b;
        slot = KingShelterEntry{key, value};
    }
    const int v = ((10 - gamePhase) * value) / 10;
    return side == White ? v : -v;
}

int Evaluator::kingShelter(Square k, int colour) const {
    assert(k >= 0 && k < 64 && (colour == White || colour == Black));
    const int forward = colour == White ? 8 : -8;
    const Bitboard own = pawnsOf(colour);
    const Bitboard enemy = pawnsOf(colour ^ 1);
    const int file = fileOf(k);
    const int rank = rankOf(k);
    const bool nearEnemyEdge = colour == White ? rank >= 6 : rank <= 1;
    int sum = 0;
    for (int f = std::max(file - 1, 0); f <= std::min(file + 1, 7); ++f) {
        if (!nearEnemyEdge) {
            const Square q = k + forward + (f - file);
            if (testBit(own, q)) {
                sum += 10;
            } else if (testBit(own, q + forward)) {
                sum += 5;
            }
        }
        if (!(own & pawnMasks.fileMask[f])) sum -= 15;
        if (!(enemy & pawnMasks.fileMask[f])) sum -= 8;
    }
    return sum;
}
