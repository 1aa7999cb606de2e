#include "frontend/game_record.h"

#include "board/board.h"
#include "board/tables.h"
#include "search/search.h"
#include "search/tt.h"

GameRecord gameRecord;

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

namespace {

constexpr Square A1 = 0, E1 = 4, H1 = 7;
constexpr Square A2 = 8, H2 = 15;
constexpr Square A7 = 48, H7 = 55;
constexpr Square A8 = 56, E8 = 60, H8 = 63;

struct Man {
    int piece;
    int colour;
};

Man manOf(char c) {
    switch (c) {
        case 'P': return {Pawn, White};
        case 'N': return {Knight, White};
        case 'B': return {Bishop, White};
        case 'R': return {Rook, White};
        case 'Q': return {Queen, White};
        case 'K': return {King, White};
        case 'p': return {Pawn, Black};
        case 'n': return {Knight, Black};
        case 'b': return {Bishop, Black};
        case 'r': return {Rook, Black};
        case 'q': return {Queen, Black};
        case 'k': return {King, Black};
        default: return {NoPiece, NoColour};
    }
}

int castleRightsOf(const PositionRecord& r) {
    return (r.whiteShort ? WhiteShort : 0) | (r.whiteLong ? WhiteLong : 0) |
           (r.blackShort ? BlackShort : 0) | (r.blackLong ? BlackLong : 0);
}

bool isPieceLetter(char c) {
    switch (c) {
        case 'P': case 'N': case 'B': case 'R': case 'Q': case 'K':
        case 'p': case 'n': case 'b': case 'r': case 'q': case 'k':
            return true;
        default:
            return false;
    }
}

// Sets (never clears) every right whose king and rook stand at home.
void deriveCastling(PositionRecord& r) {
    if (r.board[E1] == 'K' && r.board[H1] == 'R') r.whiteShort = 1;
    if (r.board[E1] == 'K' && r.board[A1] == 'R') r.whiteLong = 1;
    if (r.board[E8] == 'k' && r.board[H8] == 'r') r.blackShort = 1;
    if (r.board[E8] == 'k' && r.board[A8] == 'r') r.blackLong = 1;
}

void validateCastling(PositionRecord& r) {
    if (!(r.board[E1] == 'K' && r.board[H1] == 'R')) r.whiteShort = 0;
    if (!(r.board[E1] == 'K' && r.board[A1] == 'R')) r.whiteLong = 0;
    if (!(r.board[E8] == 'k' && r.board[H8] == 'r')) r.blackShort = 0;
    if (!(r.board[E8] == 'k' && r.board[A8] == 'r')) r.blackLong = 0;
}

// Clears a corner's right when a move leaves from it; giving up a right
// counts as an irreversible change.
void leaveCorner(int32_t& right, int32_t& halfMoves) {
    if (right) {
        right = 0;
        halfMoves = 0;
    }
}

}  // namespace

uint64_t recordKey(const PositionRecord& record) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const Man man = manOf(record.board[sq]);
        if (man.colour != NoColour) key ^= pieceKey[man.colour][man.piece][sq];
    }
    key ^= castleKey[castleRightsOf(record)];
    if (const int ep = record.epSquare & 63) key ^= epKey[ep];
    return (key & ~uint64_t(1)) | uint64_t(record.sideToMove & 1);
}

void loadPosition(const PositionRecord& record, Position& pos) {
    pos.clearBoard();
    for (int sq = 0; sq < 64; ++sq) {
        const Man man = manOf(record.board[sq]);
        pos.board[sq] = SquareState{man.piece, man.colour};
    }

    // The search expects the king in entry 0; the rest follow in square order.
    // Malformed set-ups (no king, too many men) are bounded here rather than
    // trusted: extra men are left out of the list.
    bool kingPlaced[2] = {false, false};
    for (int sq = 0; sq < 64; ++sq) {
        const SquareState st = pos.board[sq];
        if (st.colour == NoColour) continue;
        const int c = st.colour;
        pos.pieceCount[c * 8 + st.piece] += 1;
        if (st.piece >= Knight && st.piece <= Queen) pos.nonPawnMaterial += pieceValue[st.piece];
        if (st.piece == King && !kingPlaced[c]) {
            pos.pieceList[c][0] = sq;
            kingPlaced[c] = true;
        } else if (pos.lastPieceIndex[c] < 15) {
            pos.pieceList[c][++pos.lastPieceIndex[c]] = sq;
        }
    }

    pos.castleRights = castleRightsOf(record);
    pos.hasCastled[White] = record.whiteCastled ? 1 : 0;
    pos.hasCastled[Black] = record.blackCastled ? 1 : 0;
    pos.epSquare = record.epSquare & 63;
    pos.fiftyCount = record.halfMoves;
    searchEngine.sideToMove = record.sideToMove & 1;
    pos.hashKey = pos.computeHashKey(searchEngine.sideToMove);
    pos.rebuildMenSets();
}

void loadCurrentPosition(Position& pos) { loadPosition(gameRecord.positions[gameRecord.ply], pos); }

bool parseFen(const char* text, PositionRecord& out) {
    PositionRecord r{};
    for (char& c : r.board) c = ' ';
    if (text == nullptr) return false;

    // Every read below stops at the terminating zero, which fails or ends a
    // field, so no read goes past the end of the text.
    const char* p = text;
    if (*p != ' ') {
        int rankBase = 56;
        int file = 0;
        for (; *p != ' '; ++p) {
            const char c = *p;
            if (isPieceLetter(c)) {
                if (file > 7) return false;
                r.board[rankBase + file] = c;
                ++file;
            } else if (c == '/') {
                if (file != 8) return false;
                rankBase -= 8;
                if (rankBase < 0) return false;
                file = 0;
            } else if (c >= '1' && c <= '8') {
                file += c - '0';
                if (file > 9) file = 9;  // any file past 8 already fails "/" and men
            } else {
                return false;
            }
        }
    }
    ++p;  // the space after the board

    if (*p == 'w' || *p == 'W')
        r.sideToMove = White;
    else if (*p == 'b' || *p == 'B')
        r.sideToMove = Black;
    else
        return false;
    ++p;

    if (*p != ' ') {
        deriveCastling(r);
        out = r;
        return true;
    }
    ++p;

    bool derive = false;
    for (; *p != ' '; ++p) {
        const char c = *p;
        if (c == '-') continue;
        if (c == 'K')
            r.whiteShort = 1;
        else if (c == 'Q')
            r.whiteLong = 1;
        else if (c == 'k')
            r.blackShort = 1;
        else if (c == 'q')
            r.blackLong = 1;
        else {
            derive = true;
            break;
        }
    }

    if (derive) {
        deriveCastling(r);
    } else {
        ++p;  // the space after the castling field
        if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8') {
            const int sq = (p[0] - 'a') + 8 * (p[1] - '1');
            r.epSquare = sq >= 16 && sq <= 47 ? sq : 0;
        }
    }

    validateCastling(r);
    out = r;
    return true;
}

const char* recordProblem(const PositionRecord& record) {
    int kings[2] = {0, 0}, men[2] = {0, 0};
    for (int sq = 0; sq < 64; ++sq) {
        const Man man = manOf(record.board[sq]);
        if (man.piece == NoPiece) continue;
        ++men[man.colour];
        if (man.piece == King) ++kings[man.colour];
        if (man.piece == Pawn && (sq < 8 || sq >= 56)) return "pawn on the first or last rank";
    }
    if (kings[White] != 1 || kings[Black] != 1) return "each side needs exactly one king";
    if (men[White] > 16 || men[Black] > 16) return "more than 16 men on one side";
    return nullptr;
}

int setFromFen(const char* text) {
    GameRecord& g = gameRecord;
    g.ply = 0;
    PositionRecord r;
    if (!parseFen(text, r)) return 0;
    // An unchanged start position keeps the stored game for replay.
    if (r == g.positions[0]) return 1;
    g.positions[0] = r;
    g.keys[0] = recordKey(r);
    g.scores[0] = NoStoredScore;
    g.moves[0] = 0;
    ttClear();
    return 1;
}

// A king leaving its home square: castling brings the rook along, and any
// right still held is lost, which makes the move irreversible.
static void moveKingFromHome(PositionRecord& p, Square to, Square home, int32_t& shortRight, int32_t& longRight,
                             int16_t& castled) {
    if (to == home + 2 || to == home - 2) {
        const Square rookFrom = to > home ? home + 3 : home - 4;
        const Square rookTo = to > home ? home + 1 : home - 1;
        p.board[rookTo] = p.board[rookFrom];
        p.board[rookFrom] = ' ';
        castled = 1;
    }
    if (shortRight || longRight) {
        shortRight = longRight = 0;
        p.halfMoves = 0;
    }
}

int playMove(Move move) {
    GameRecord& g = gameRecord;
    move = moveOf(move);
    // Code 0 would match an empty stored move and step onto a stale slot.
    if (move == 0 || g.ply >= GameRecordSize - 1) return g.ply;

    if (move == g.moves[g.ply]) return ++g.ply;

    g.moves[g.ply] = move;
    g.positions[g.ply + 1] = g.positions[g.ply];
    ++g.ply;
    PositionRecord& p = g.positions[g.ply];

    const Square from = moveFrom(move);
    const Square to = moveTo(move);
    const char piece = p.board[from];
    static constexpr char promotionLetter[8] = {0, 0, 'N', 'B', 'R', 'Q', 0, 0};
    const char promotion = promotionLetter[movePromotion(move)];
    p.halfMoves += 1;
    p.epSquare = 0;

    if (p.board[to] == ' ') {
        if ((piece == 'P' || piece == 'p') && fileOf(from) != fileOf(to))
            p.board[rankOf(from) * 8 + fileOf(to)] = ' ';
    } else {
        p.halfMoves = 0;
    }

    if (piece == 'P') {
        p.halfMoves = 0;
        if (rankOf(from) == 1 && rankOf(to) == 3 &&
            ((from != A2 && p.board[to - 1] == 'p') || (from != H2 && p.board[to + 1] == 'p')))
            p.epSquare = (from + to) / 2;
    } else if (piece == 'p') {
        p.halfMoves = 0;
        if (rankOf(from) == 6 && rankOf(to) == 4 &&
            ((from != A7 && p.board[to - 1] == 'P') || (from != H7 && p.board[to + 1] == 'P')))
            p.epSquare = (from + to) / 2;
    }

    if (from == E1 && piece == 'K')
        moveKingFromHome(p, to, E1, p.whiteShort, p.whiteLong, p.whiteCastled);
    else if (from == E8 && piece == 'k')
        moveKingFromHome(p, to, E8, p.blackShort, p.blackLong, p.blackCastled);

    if (to == A1) p.whiteLong = 0;
    if (to == H1) p.whiteShort = 0;
    if (to == A8) p.blackLong = 0;
    if (to == H8) p.blackShort = 0;
    if (from == A1) leaveCorner(p.whiteLong, p.halfMoves);
    if (from == H1) leaveCorner(p.whiteShort, p.halfMoves);
    if (from == A8) leaveCorner(p.blackLong, p.halfMoves);
    if (from == H8) leaveCorner(p.blackShort, p.halfMoves);

    if (promotion) {
        p.board[to] = piece == 'p' ? char(promotion - 'A' + 'a') : promotion;
        p.halfMoves = 0;
    } else {
        p.board[to] = piece;
    }
    p.board[from] = ' ';
    p.sideToMove ^= 1;

    g.keys[g.ply] = recordKey(p);
    g.scores[g.ply] = NoStoredScore;
    g.moves[g.ply] = 0;
    return g.ply;
}

const uint64_t* repetitionHistory() {
    const GameRecord& g = gameRecord;
    int back = g.positions[g.ply].halfMoves;
    if (back < 0 || back > g.ply) back = g.ply;
    return &g.keys[g.ply - back];
}

int previousScore() {
    const GameRecord& g = gameRecord;
    if (g.ply >= 2 && g.scores[g.ply - 2] != NoStoredScore) return g.scores[g.ply - 2];
    return 0;
}

Move recaptureMove(Move move) {
    const GameRecord& g = gameRecord;
    if (g.ply <= 0) return 0;
    const Square to = moveTo(move);
    if (to != moveTo(g.moves[g.ply - 1])) return 0;
    if (g.positions[g.ply - 1].board[to] == ' ') return 0;
    return move;
}

Move parseMoveText(const char* text) {
    if (text == nullptr) return 0;
    auto isFile = [](char c) { return c >= 'a' && c <= 'h'; };
    auto isRank = [](char c) { return c >= '1' && c <= '8'; };
    // Each test fails on the terminating zero, so a short token never reads past it.
    if (!isFile(text[0]) || !isRank(text[1]) || !isFile(text[2]) || !isRank(text[3])) return 0;
    const Square from = (text[0] - 'a') + 8 * (text[1] - '1');
    const Square to = (text[2] - 'a') + 8 * (text[3] - '1');
    int promotion = 0;
    switch (text[4]) {
        case 'N': case 'n': promotion = Knight; break;
        case 'B': case 'b': promotion = Bishop; break;
        case 'R': case 'r': promotion = Rook; break;
        case 'Q': case 'q': promotion = Queen; break;
        default: break;
    }
    return makeMoveCode(from, to, promotion);
}

int lowercasePromotions = 0;

char* moveText(Move move, char* out) {
    const Square from = moveFrom(move);
    const Square to = moveTo(move);
    int n = 0;
    out[n++] = char('a' + fileOf(from));
    out[n++] = char('1' + rankOf(from));
    out[n++] = char('a' + fileOf(to));
    out[n++] = char('1' + rankOf(to));
    static constexpr char promotionLetter[8] = {0, 0, 'N', 'B', 'R', 'Q', 0, 0};
    if (const char letter = promotionLetter[movePromotion(move)]) out[n++] = lowercasePromotions ? char(letter | 0x20) : letter;
    out[n] = '\0';
    return out;
}

std::string moveText(Move move) {
    char text[6];
    return moveText(move, text);
}
