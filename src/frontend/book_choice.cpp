#include "frontend/book_choice.h"

#include <cstdio>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/options.h"
#include "frontend/text_io.h"
#include "search/alphabeta.h"
#include "search/search.h"

bool collectBookCandidates(SearchWorker& worker, BookCandidate* out, int& count) {
    count = 0;
    GameRecord& g = gameRecord;
    int32_t weight;
    if (!bookLookup(g.keys[g.ply], weight)) return false;
    loadCurrentPosition(worker.pos);
    // The move list must not disturb what the previous search left in the
    // node counters: the closing line reports them after a book move.
    const uint32_t nodes = worker.nodeCount;
    const int hits = worker.eval.tbHits;
    Move moves[MaxGeneratedMoves + 1];
    uint32_t inCheck;
    const int n = worker.legalRootMoves(moves, inCheck);
    worker.nodeCount = nodes;
    worker.eval.tbHits = hits;
    const int ply = g.ply;
    for (int i = 0; i < n; ++i) {
        if (playMove(moves[i]) != ply + 1) continue;
        if (bookLookup(g.keys[g.ply], weight) && count < MaxBookCandidates && weight > 0)
            out[count++] = BookCandidate{moves[i], weight};
        g.ply = ply;
    }
    return true;
}

void bookShareText(const BookCandidate* list, int count, char* out, int size) {
    int64_t total = 0;
    for (int i = 0; i < count; ++i) total += list[i].weight;
    int used = 0;
    out[0] = '\0';
    for (int i = 0; i < count && total > 0; ++i) {
        char move[8], share[16];
        moveText(list[i].move, move);
        bookShare(list[i].weight, total, share);
        const int n = std::snprintf(out + used, size_t(size - used), "%s%s %s%%", i ? ", " : "", move, share);
        if (n < 0 || n >= size - used) break;
        used += n;
    }
}

Move probeBook(SearchWorker& worker) {
    if (gameRecord.ply > 50 || !ownBook || fixedLimits) return 0;
    BookCandidate candidates[MaxBookCandidates];
    int n = 0;
    if (!collectBookCandidates(worker, candidates, n) || n == 0) return 0;
    sortBookCandidates(candidates, n);
    int64_t total = 0;
    for (int i = 0; i < n; ++i) total += candidates[i].weight;
    const int high = nextBookRandom();
    int64_t r = ((int64_t(high) << 15) + nextBookRandom()) % total;
    char text[1024];
    char shares[sizeof text - 16];
    bookShareText(candidates, n, shares, sizeof shares);
    std::snprintf(text, sizeof text, "0 0 0 0 (%s)", shares);
    sendLine("info string %s", text);
    for (int i = 0; i < n; ++i) {
        if (r < candidates[i].weight) return candidates[i].move;
        r -= candidates[i].weight;
    }
    return candidates[0].move;
}
