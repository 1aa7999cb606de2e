#include "pgn_reader.h"

#include <cctype>
#include <cstring>

namespace {

constexpr size_t MaxToken = 64;
constexpr size_t MaxTagText = 255;

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool endsToken(int c) { return isSpace(c) || (c != 0 && std::strchr("{}();[$", c) != nullptr); }
constexpr size_t MaxMoves = 1024;  // far beyond any book's depth

bool isDraw(const std::string& t) { return t == "1/2-1/2" || t == "1/2" || t == "\xC2\xBD-\xC2\xBD"; }
bool isResult(const std::string& t) { return t == "1-0" || t == "0-1" || t == "*" || isDraw(t); }
bool isCastling(const std::string& t) { return t.rfind("O-O", 0) == 0 || t.rfind("0-0", 0) == 0 || t.rfind("o-o", 0) == 0; }
bool isNullMove(const std::string& t) { return t == "--" || t == "Z0"; }

// "[Name "..." at the start of a line.
bool looksLikeTag(const std::string& line) {
    size_t i = 1;
    while (i < line.size() && isSpace(line[i])) ++i;
    const size_t name = i;
    while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) ++i;
    if (i == name) return false;
    while (i < line.size() && isSpace(line[i])) ++i;
    return i < line.size() && line[i] == '"';
}

}  // namespace

PgnReader::PgnReader(std::FILE* file) : file_(file), start_(std::ftell(file)) {
    const char bom[] = "\xEF\xBB\xBF";
    std::string head;
    for (int i = 0; i < 3; ++i) {
        const int c = get();
        if (c == EOF) break;
        head += char(c);
        if (c != static_cast<unsigned char>(bom[i])) break;
    }
    if (head != bom)
        for (size_t i = head.size(); i-- > 0;) unget(static_cast<unsigned char>(head[i]));
}

int PgnReader::get() {
    int c;
    if (!pushed_.empty()) {
        c = static_cast<unsigned char>(pushed_.back());
        pushed_.pop_back();
    } else {
        c = std::getc(file_);
    }
    if (c != EOF) ++offset_;
    return c;
}

void PgnReader::unget(int c) {
    if (c == EOF) return;
    pushed_ += char(c);
    --offset_;
}

void PgnReader::skipLine() {
    int c;
    while ((c = get()) != EOF && c != '\n') {
    }
    lineStart_ = true;
}

// After a '{': false when the comment is never closed. Such a comment would
// swallow every later game, so reading goes on at the first tag pair after a
// blank line inside it, where the next game evidently starts.
bool PgnReader::skipComment() {
    const long from = offset_;
    // A comment after one already found open to the end of the file cannot
    // close either: reading stops at its resumption point, so that many
    // open comments cost one pass over the file.
    const bool open = noCloseFrom_ >= 0 && from >= noCloseFrom_;
    long resume = -1, candidate = -1;
    bool lineBlank = false, previousBlank = false;
    std::string line;  // the candidate tag line so far
    int c;
    while ((c = get()) != EOF && c != '}') {
        if (c == '\n') {
            if (candidate >= 0 && looksLikeTag(line)) {
                resume = candidate;
                if (open) break;
            }
            previousBlank = lineBlank;
            lineBlank = true;
            candidate = -1;
            continue;
        }
        if (lineBlank && !isSpace(c)) {
            lineBlank = false;
            if (c == '[' && previousBlank && resume < 0) {
                candidate = offset_ - 1;
                line.clear();
            }
        }
        if (candidate >= 0 && line.size() < MaxToken) line += char(c);
    }
    if (c == '}') return true;
    if (c == EOF) {
        if (resume < 0 && candidate >= 0 && looksLikeTag(line)) resume = candidate;
        if (noCloseFrom_ < 0 || from < noCloseFrom_) noCloseFrom_ = from;
    }
    if (resume >= 0 && start_ >= 0 && std::fseek(file_, start_ + resume, SEEK_SET) == 0) {
        pushed_.clear();
        offset_ = resume;
        lineStart_ = true;
    }
    return false;
}

void PgnReader::readTag(PgnGame& game) {
    std::string name, value;
    int c;
    while ((c = get()) != EOF && c != '\n' && c != '"' && c != ']')
        if (!isSpace(c) && name.size() < MaxTagText) name += char(c);
    if (c == '"') {
        while ((c = get()) != EOF && c != '\n' && c != '"') {
            if (c == '\\') c = get();
            if (c == EOF || c == '\n') break;
            if (value.size() < MaxTagText) value += char(c);
        }
    }
    if (c != '\n' && c != EOF) {
        while ((c = get()) != EOF && c != '\n' && c != ']') {
        }
    }
    if (c == '\n') unget(c);
    if (name == "Result") {
        if (game.result.empty()) game.result = isDraw(value) ? "1/2-1/2" : value;
    } else if (name == "FEN") {
        game.fen = value;
        game.setUp = true;
    } else if (name == "SetUp") {
        if (value == "1") game.setUp = true;
    } else if (name == "Variant") {
        std::string v;
        for (char ch : value) v += char(std::tolower(static_cast<unsigned char>(ch)));
        if (v != "standard" && v != "chess" && !v.empty()) game.otherVariant = true;
    }
}

// False when the token ends the game.
bool PgnReader::takeToken(const std::string& token, PgnGame& game, int depth) {
    if (isResult(token)) {
        if (depth > 0) return true;  // a variation's own end
        game.result = isDraw(token) ? "1/2-1/2" : token;
        return false;
    }
    if (depth > 0) return true;
    std::string move = token;
    if (!isCastling(move) && std::isdigit(static_cast<unsigned char>(move[0]))) {
        // A move number, perhaps glued to the move: "12.", "12...", "12.Nf3".
        size_t i = 0;
        while (i < move.size() && std::isdigit(static_cast<unsigned char>(move[i]))) ++i;
        if (i == move.size() || move[i] != '.') {
            game.malformed = true;
            return true;
        }
        move.erase(0, i);
    }
    size_t dots = 0;
    while (dots < move.size() && move[dots] == '.') ++dots;
    move.erase(0, dots);
    while (!move.empty() && std::strchr("+#!?", move.back()) != nullptr) move.pop_back();
    if (move.empty() || move == "e.p." || move == "ep") return true;
    // The book has no use for what follows a null move, but the game's
    // moves up to it are sound.
    if (isNullMove(move)) game.nullMove = true;
    if (!game.nullMove && game.moves.size() < MaxMoves) game.moves.push_back(move);
    return true;
}

bool PgnReader::next(PgnGame& game) {
    game = PgnGame{};
    bool seen = false, tagged = false, inMoves = false;
    int depth = 0, newlines = 0;  // line ends since the last tag
    for (;;) {
        int c = get();
        if (c == EOF) {
            if (depth > 0) game.malformed = true;
            return seen;
        }
        const bool atLineStart = lineStart_;
        lineStart_ = c == '\n';
        if (c == '\n') ++newlines;
        if (isSpace(c)) continue;
        if (c == '%' && atLineStart) {
            skipLine();
            continue;
        }
        if (c == '[') {
            // Tags after moves belong to the next game, which lost its result;
            // so do tags after a blank line that ends a game of tags alone.
            if (inMoves || (tagged && newlines >= 2)) {
                unget(c);
                if (depth > 0) game.malformed = true;
                return true;
            }
            seen = tagged = true;
            readTag(game);
            newlines = 0;
            continue;
        }
        seen = true;
        if (c == '{') {
            if (skipComment()) continue;
            game.malformed = true;
            return true;
        }
        if (c == ';') {
            skipLine();
            continue;
        }
        inMoves = true;
        if (c == '(') {
            ++depth;
            continue;
        }
        if (c == ')') {
            if (depth == 0)
                game.malformed = true;
            else
                --depth;
            continue;
        }
        if (c == '$') {
            while ((c = get()) != EOF && std::isdigit(c)) {
            }
            unget(c);
            continue;
        }
        std::string token(1, char(c));
        while ((c = get()) != EOF && !endsToken(c)) {
            if (token.size() < MaxToken)
                token += char(c);
            else
                game.malformed = true;
        }
        unget(c);
        if (!takeToken(token, game, depth)) return true;
    }
}

Move resolveSan(const std::string& text, const PositionRecord& position, const Move* moves, int count) {
    std::string san;
    for (char c : text)
        if (c != 'x' && c != ':' && c != '-') san += c;
    const bool white = (position.sideToMove & 1) == 0;
    auto pieceAt = [&](Square s) { return char(std::toupper(static_cast<unsigned char>(position.board[s]))); };
    if (isCastling(text)) {
        const bool queenSide = san.size() >= 3;  // "OOO" once the dashes are gone
        const Square king = white ? 4 : 60;
        const Move wanted = makeMoveCode(king, queenSide ? king - 2 : king + 2);
        for (int i = 0; i < count; ++i)
            if (moves[i] == wanted && pieceAt(king) == 'K') return wanted;
        return 0;
    }
    char piece = 'P';  // also when named: "Pe4"
    if (!san.empty() && std::strchr("PNBRQK", san[0]) != nullptr) {
        piece = san[0];
        san.erase(0, 1);
    }
    int promotion = 0;
    if (piece == 'P' && !san.empty()) {
        const char last = char(std::toupper(static_cast<unsigned char>(san.back())));
        const char* letters = "NBRQ";
        const char* found = std::strchr(letters, last);
        if (found != nullptr && last != 0 && san.size() >= 3) {
            promotion = Knight + int(found - letters);
            san.pop_back();
            if (!san.empty() && san.back() == '=') san.pop_back();
        }
    }
    if (san.size() < 2 || san.size() > 4) return 0;
    const char toFile = san[san.size() - 2], toRank = san[san.size() - 1];
    if (toFile < 'a' || toFile > 'h' || toRank < '1' || toRank > '8') return 0;
    const Square to = (toFile - 'a') + 8 * (toRank - '1');
    int fromFile = -1, fromRank = -1;
    for (size_t i = 0; i + 2 < san.size(); ++i) {
        if (san[i] >= 'a' && san[i] <= 'h')
            fromFile = san[i] - 'a';
        else if (san[i] >= '1' && san[i] <= '8')
            fromRank = san[i] - '1';
        else
            return 0;
    }
    // A pawn reaching the last rank without a named piece becomes a queen.
    if (piece == 'P' && promotion == 0 && (rankOf(to) == 0 || rankOf(to) == 7)) promotion = Queen;
    Move match = 0;
    for (int i = 0; i < count; ++i) {
        const Move m = moves[i];
        const Square from = moveFrom(m);
        if (moveTo(m) != to || pieceAt(from) != piece || movePromotion(m) != promotion) continue;
        if ((fromFile >= 0 && fileOf(from) != fromFile) || (fromRank >= 0 && rankOf(from) != fromRank)) continue;
        if (match != 0) return 0;
        match = m;
    }
    return match;
}
