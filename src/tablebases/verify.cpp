#include "tablebases/verify.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "tablebases/classes.h"
#include "tablebases/generator.h"
#include "tablebases/registry.h"
#include "tablebases/tablefiles.h"

namespace {

// Results as distances: 1000 - N mates in N, N - 1000 is mated in N, 0 a
// draw; a probe that found no file or no result gives NoResult.
constexpr int MateDistance = 1000;
constexpr int NoResult = 5000;

int resultOfByte(int8_t b) {
    if (b == 0) return 0;
    if (b == tbgen::NoPosition) return NoResult;
    const int plies = tbgen::resultPlies(b);
    return plies % 2 ? MateDistance - (plies + 1) / 2 : plies / 2 - MateDistance;
}

std::string resultText(int v) {
    if (v == NoResult) return "no result";
    if (v == 0) return "draw";
    return v > 0 ? "mates in " + std::to_string(MateDistance - v) : "mated in " + std::to_string(v + MateDistance);
}

struct ClassFiles {
    std::vector<int8_t> bytes[2];
};

// The files of a class and of every class its captures and promotions lead
// to, read before the checking threads start and shared by them.
class FileSet {
public:
    // False with a message when a file is missing or of the wrong size.
    bool load(const std::string& dir, int c, const char* checked) {
        if (loaded_[c]) return true;
        auto files = std::make_unique<ClassFiles>();
        bool whole = true;
        for (int side = 0; side < 2; ++side) {
            const std::string path = dir + "/" + tablebaseClasses[c].name + (side ? ".nbb" : ".nbw");
            FILE* f = std::fopen(path.c_str(), "rb");
            auto& bytes = files->bytes[side];
            bytes.reserve(size_t(tablebaseClasses[c].size[side]));
            adviseHugePages(bytes.data(), bytes.capacity());  // read at random
            bytes.resize(size_t(tablebaseClasses[c].size[side]));
            const bool ok =
                f && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fgetc(f) == EOF;
            if (f) std::fclose(f);
            if (!ok) {
                std::printf("%s: missing or wrong-sized file %s\n", checked, path.c_str());
                whole = false;
            }
        }
        if (whole) loaded_[c] = std::move(files);
        return whole;
    }
    const ClassFiles* get(int c) const { return loaded_[c].get(); }

private:
    std::unique_ptr<ClassFiles> loaded_[TablebaseClassCount];
};

// What one share of the placements found.
struct ShareResult {
    uint64_t checked = 0, bad = 0;
    std::vector<std::string> firstBad;  // at most MaxBadShown lines
};
constexpr int MaxBadShown = 10;

// Checks the placements with the first two men on given squares; one per
// thread, each with its own board.
class Checker {
public:
    Checker(const FileSet& files, int c) : files_(files) {
        pos_.clearBoard();
        name_ = tablebaseClasses[c].name;
        bool pawnOf[2] = {false, false};
        int colour = -1;
        for (const char* q = name_; *q; ++q) {
            if (*q == 'k') ++colour;
            piece_[count_] = int(std::strchr(" pnbrqk", *q) - " pnbrqk");
            colour_[count_++] = colour;
            if (*q == 'p') pawnOf[colour] = true;
        }
        pawns_ = pawnOf[0] || pawnOf[1];
        bothPawns_ = pawnOf[0] && pawnOf[1];
    }

    // Squares the first man may take: a reduced set, which the index
    // functions fold every other placement onto.
    bool firstSquare(int s) const { return (s & 7) <= 3 && (pawns_ || (s >> 3) <= (s & 7)); }
    bool manSquare(int man, int s) const { return piece_[man] != Pawn || (s >= 8 && s < 56); }

    void runShare(int first, int second, ShareResult& result) {
        result_ = &result;
        int squares[8] = {first, second};
        enumerate(2, squares, 1ULL << first | 1ULL << second);
        for (int s : placed_) pos_.setEmpty(s);
        placed_.clear();
        result_ = nullptr;
    }

private:
    const ClassFiles* files(int c) const { return files_.get(c); }

    // Class of the board's material, from a few recent answers.
    TablebaseMaterial materialOf() {
        uint64_t key = 0;
        for (int code = Pawn; code <= Queen; ++code)
            key = key << 8 | uint64_t(pos_.pieceCount[White * 8 + code]) << 4 |
                  uint64_t(pos_.pieceCount[Black * 8 + code]);
        for (int i = 0; i < knownCount_; ++i)
            if (knownKey_[i] == key) return known_[i];
        const TablebaseMaterial material = tablebaseMaterial(pos_.pieceCount);
        const int slot = knownCount_ < KnownSlots ? knownCount_++ : int(key % KnownSlots);
        knownKey_[slot] = key;
        known_[slot] = material;
        return material;
    }

    // Stored byte of the board's position, read through the index functions.
    int probe(int side) {
        if (pos_.lastPieceIndex[White] + pos_.lastPieceIndex[Black] == 0) return 0;
        const TablebaseMaterial material = materialOf();
        if (material.classNumber == 0) return NoResult;
        const ClassFiles* f = files(material.classNumber);
        if (!f) return NoResult;
        int first[16] = {}, second[16] = {};
        tablebaseMenLists(pos_, material, first, second);
        const int s = side ^ material.flip;
        const TablebaseClass& row = tablebaseClasses[material.classNumber];
        const int32_t index =
            row.indexFunction[s](first, second, pos_.epSquare ? pos_.epSquare : NoEnPassant, material.flip);
        if (index < 0 || index >= row.size[s]) return NoResult;
        // As the probe: these losses have no byte of their own.
        if (material.classNumber == KppkpClass && s == 1 &&
            std::find(std::begin(KppkpOverlongLosses), std::end(KppkpOverlongLosses), index) !=
                std::end(KppkpOverlongLosses))
            return tbgen::OverlongLossMoves - MateDistance;
        return resultOfByte(f->bytes[s][size_t(index)]);
    }

    // Result the side to move earns from its best move.
    int expected(int side) {
        MoveEntry list[256];
        pos_.attackCacheValid[0] = 0;
        int n = generateMoves(pos_, ordering_, list, side, 0);
        // The engine's pawn-ending generator never answers a check by taking
        // the checking pawn en passant; the rules allow it, so add it here.
        if (pos_.epSquare)
            for (int df : {-1, 1}) {
                const int from = pos_.epSquare + df + (side == White ? -8 : 8);
                if ((pos_.epSquare & 7) + df < 0 || (pos_.epSquare & 7) + df > 7) continue;
                if (pos_.board[from].piece != Pawn || pos_.board[from].colour != side) continue;
                const MoveWord move = MoveWord(from | pos_.epSquare << 6) | CaptureFlag | EnPassantFlag;
                bool present = false;
                for (int i = 0; i < n && !present; ++i) present = (list[i].move & 0xFFFF) == (move & 0xFFFF);
                if (!present) list[n++] = MoveEntry{0, move};
            }
        int best = -2 * MateDistance;
        for (int i = 0; i < n; ++i) {
            pos_.makeMove(side, 0, &list[i]);
            if (!pos_.ownKingAttacked(side)) {
                const int w = probe(side ^ 1);
                if (w == NoResult) {
                    pos_.unmakeMove(0);
                    return NoResult;
                }
                // The opponent mated in N: we mate in N + 1; it mates in N: we are mated in N.
                best = std::max(best, w < 0 ? -w - 1 : -w);
            }
            pos_.unmakeMove(0);
        }
        if (best == -2 * MateDistance) return pos_.ownKingAttacked(side) ? -MateDistance : 0;
        return best;
    }

    void setMen(const int* squares) {
        for (int s : placed_) pos_.setEmpty(s);
        placed_.clear();
        std::memset(pos_.pieceCount, 0, sizeof pos_.pieceCount);
        pos_.lastPieceIndex[White] = pos_.lastPieceIndex[Black] = 0;
        pos_.nonPawnMaterial = 0;
        pos_.whitePawns = pos_.blackPawns = 0;
        for (int i = 0; i < count_; ++i) {
            const int s = squares[i], p = piece_[i], c = colour_[i];
            pos_.putMan(s, p, c);
            placed_.push_back(s);
            ++pos_.pieceCount[c * 8 + p];
            if (p == King) {
                pos_.pieceList[c][0] = s;
                continue;
            }
            pos_.pieceList[c][++pos_.lastPieceIndex[c]] = s;
            if (p == Pawn) (c == White ? pos_.whitePawns : pos_.blackPawns) |= 1ULL << s;
            else pos_.nonPawnMaterial += pieceValue[p];
        }
        pos_.epSquare = 0;
        pos_.fiftyCount = 0;
        pos_.castleRights = 0;
        pos_.rebuildMenSets();  // make and unmake keep the men's bit sets and list slots from here
    }

    void check(int side) {
        ++result_->checked;
        const int stored = probe(side);
        const int want = expected(side);
        if (stored == want && stored != NoResult) return;
        if (++result_->bad <= MaxBadShown)
            result_->firstBad.push_back(std::string(name_) + ": bad " + fen(side) + "  stored " + resultText(stored) +
                                        ", successors give " + resultText(want));
    }

    std::string fen(int side) const {
        std::string text;
        for (int rank = 7; rank >= 0; --rank) {
            int empty = 0;
            for (int file = 0; file < 8; ++file) {
                const SquareState m = pos_.board[rank * 8 + file];
                if (m.piece == NoPiece) {
                    ++empty;
                    continue;
                }
                if (empty) text += char('0' + empty);
                empty = 0;
                const char letter = " pnbrqk"[m.piece];
                text += m.colour == White ? char(letter - 32) : letter;
            }
            if (empty) text += char('0' + empty);
            if (rank) text += '/';
        }
        text += side == White ? " w - " : " b - ";
        if (pos_.epSquare) text += std::string(1, char('a' + (pos_.epSquare & 7))) + char('1' + (pos_.epSquare >> 3));
        else text += "-";
        return text + " 0 1";
    }

    // All placements of the men, the first king on a reduced set of squares
    // (the index functions fold the rest onto them).
    void enumerate(int man, int* squares, uint64_t occupied) {
        if (man == count_) {
            setMen(squares);
            for (int side = 0; side < 2; ++side) {
                if (pos_.ownKingAttacked(side ^ 1)) continue;
                check(side);
                // The same men just after the other side's double step.
                if (!bothPawns_) continue;
                const int mover = side ^ 1, dir = mover == White ? 8 : -8;
                for (int i = 0; i < count_; ++i) {
                    const int s = squares[i];
                    if (piece_[i] != Pawn || colour_[i] != mover || (s >> 3) != (mover == White ? 3 : 4)) continue;
                    if ((occupied >> (s - dir) & 1) || (occupied >> (s - 2 * dir) & 1)) continue;
                    const bool left =
                        (s & 7) > 0 && pos_.board[s - 1].piece == Pawn && pos_.board[s - 1].colour == side;
                    const bool right =
                        (s & 7) < 7 && pos_.board[s + 1].piece == Pawn && pos_.board[s + 1].colour == side;
                    if (!left && !right) continue;
                    pos_.epSquare = s - dir;
                    check(side);
                    pos_.epSquare = 0;
                }
            }
            return;
        }
        for (int s = 0; s < 64; ++s) {
            if ((occupied >> s & 1) || !manSquare(man, s)) continue;
            squares[man] = s;
            enumerate(man + 1, squares, occupied | 1ULL << s);
        }
    }

    const FileSet& files_;
    // The checker's own board; the generator's ordering tables stay empty.
    Position pos_{};
    MoveOrdering ordering_{};
    const char* name_ = "";
    int count_ = 0;
    int piece_[8] = {}, colour_[8] = {};
    bool pawns_ = false, bothPawns_ = false;
    std::vector<int> placed_;
    static constexpr int KnownSlots = 16;
    uint64_t knownKey_[KnownSlots] = {};
    TablebaseMaterial known_[KnownSlots] = {};
    int knownCount_ = 0;
    ShareResult* result_ = nullptr;
};

}  // namespace

bool verifyTablebase(const std::string& dir, const std::string& className, int threads) {
    const int c = findTablebaseClass(className.c_str());
    if (c == 0) {
        std::printf("%s: unknown class\n", className.c_str());
        return false;
    }
    static bool ready = false;
    if (!ready) {
        buildIndexTables();
        ready = true;
    }
    const char* name = tablebaseClasses[c].name;
    auto files = std::make_unique<FileSet>();
    bool whole = files->load(dir, c, name);
    for (const std::string& successor : tbgen::successorClasses(name))
        whole = files->load(dir, findTablebaseClass(successor.c_str()), name) && whole;
    if (!whole) return false;  // nothing can be proved

    // Shares by the squares of the first two men, handed out in order; their
    // findings are put together in that order, so the report does not
    // depend on the threads.
    std::vector<std::pair<int, int>> shares;
    {
        const auto layout = std::make_unique<Checker>(*files, c);
        for (int a = 0; a < 64; ++a)
            for (int b = 0; b < 64; ++b)
                if (a != b && layout->firstSquare(a) && layout->manSquare(1, b)) shares.emplace_back(a, b);
    }
    std::vector<ShareResult> results(shares.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        auto checker = std::make_unique<Checker>(*files, c);
        for (size_t k; (k = next.fetch_add(1)) < shares.size();)
            checker->runShare(shares[k].first, shares[k].second, results[k]);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();

    uint64_t checked = 0, bad = 0;
    for (const ShareResult& r : results) {
        for (const std::string& line : r.firstBad)
            if (++bad <= MaxBadShown) std::printf("%s\n", line.c_str());
        bad += r.bad - r.firstBad.size();
        checked += r.checked;
    }
    if (bad) std::printf("%s: %" PRIu64 " of %" PRIu64 " positions wrong\n", name, bad, checked);
    else std::printf("%s: %" PRIu64 " positions verified\n", name, checked);
    std::fflush(stdout);
    return bad == 0;
}
