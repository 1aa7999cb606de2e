#include "frontend/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/throttle.h"
#include "frontend/timeman.h"
#include "frontend/text_io.h"
#include "search/search.h"
#include "search/tt.h"

MultiPVTable multiPVTable;

namespace {
// A principal variation never runs deeper than the ply limit of the search.
constexpr int MaxPvMoves = MaxPly;
constexpr size_t PvTextSize = MaxPvMoves * 6 + 8;
}  // namespace

char* scoreText(int score, char* out) {
    if (score > MateThreshold)
        std::snprintf(out, ScoreTextSize, "mate %d", (30001 - score) / 2);
    else
        std::snprintf(out, ScoreTextSize, "cp %d", score);
    return out;
}

const char* boundSuffix(int bound) {
    if (bound == 2) return " upperbound";
    if (bound == 1) return " lowerbound";
    return "";
}

char* pvText(const Move* pv, int maxMoves, char* out, size_t size) {
    size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < maxMoves && pv[i] != 0; i++) {
        char text[8];
        moveText(moveOf(pv[i]), text);
        size_t length = std::strlen(text);
        if (used + length + 2 > size) break;
        if (i > 0) out[used++] = ' ';
        std::memcpy(out + used, text, length + 1);
        used += length;
    }
    return out;
}

static void sendScoreLine(uint32_t time, const char* moves) {
    char score[ScoreTextSize];
    sendLine("info score %s%s depth %d nodes %" PRIu64 " time %d pv %s", scoreText(rootScore, score),
             boundSuffix(rootBound), currentDepth, currentNodes, int(time), moves);
}

void printScoreLine(uint32_t time, const Move* pv) {
    char moves[PvTextSize];
    sendScoreLine(time, pvText(pv, MaxPvMoves, moves, sizeof moves));
}

void printFallbackScoreLine(uint32_t time) {
    char moves[16];
    moveText(bestMove, moves);
    if (ponderMove != 0) {
        size_t length = std::strlen(moves);
        moves[length] = ' ';
        moveText(ponderMove, moves + length + 1);
    }
    sendScoreLine(time, moves);
}

int reportRootLine(int score, int bound, const Move* pv) {
    rootScore = score;
    rootBound = bound;
    bool changed = false;
    Move first = moveOf(pv[0]);
    // pv[1] exists only when the list is not empty.
    Move second = first ? moveOf(pv[1]) : 0;
    if (first != bestMove) {
        bestMove = first;
        ponderMove = second;
        changed = true;
    } else if (second != 0) {
        ponderMove = second;
    }
    uint32_t elapsed = elapsedMs();
    if (rootLineStops(score, bound)) {
        // Not counted as shown: the driver repeats the line at the end.
        printScoreLine(elapsed, pv);
        return 1;
    }
    if (elapsed > lastLineTime + 1000 || changed || bound == 0 || score > MateThreshold) {
        printScoreLine(elapsed, pv);
        lastLineTime = elapsed;
        lineShown = 1;
    }
    return 0;
}

void clearMultiPVSlots() { std::memset(multiPVTable.slots, 0, sizeof multiPVTable.slots); }

bool sortMultiPV() {
    int count = multiPVTable.count;
    MultiPVLine* s = multiPVTable.slots;
    bool swapped = false;
    for (int i = 0; i < count - 1; i++)
        for (int j = i + 1; j < count; j++)
            if (s[j].depth >= s[i].depth && s[j].score > s[i].score) {
                MultiPVLine t = s[i];
                s[i] = s[j];
                s[j] = t;
                swapped = true;
            }
    if (count > 0 && s[0].pv[0] != bestMove) {
        bestMove = s[0].pv[0];
        ponderMove = s[0].pv[1];
    }
    return swapped;
}

void printMultiPV() {
    uint32_t elapsed = elapsedMs();
    multiPVTable.lastPrintTime = elapsed;
    for (int i = 0; i < 16; i++) {
        const MultiPVLine& slot = multiPVTable.slots[i];
        if (slot.depth == 0) continue;
        char score[ScoreTextSize];
        char moves[PvTextSize];
        sendLine("info multipv %d score %s%s depth %d nodes %" PRIu64 " time %d pv %s", i + 1,
                 scoreText(slot.score, score), boundSuffix(slot.bound), slot.depth, slot.nodes,
                 int(slot.time), pvText(slot.pv, 15, moves, sizeof moves));
        lineShown = 1;
    }
}

static void recordLine(MultiPVLine& slot, int score, int bound, const Move* pv, uint32_t elapsed) {
    slot.depth = currentDepth;
    slot.time = elapsed;
    slot.nodes = currentNodes;
    slot.bound = bound;
    if (score == NoStoredScore) return;  // the move has no score yet
    slot.score = score;
    int i = 0;
    for (; i < 15 && pv[i] != 0; i++) slot.pv[i] = moveOf(pv[i]);
    for (; i < 16; i++) slot.pv[i] = 0;
}

int updateMultiPV(int score, int bound, const Move* pv) {
    int count = multiPVTable.count;
    if (count > 16) count = multiPVTable.count = 16;
    if (count <= 0) return 0;  // single-line mode: no table to fill
    uint32_t elapsed = elapsedMs();
    Move first = moveOf(pv[0]);
    int index = -1;
    for (int i = 0; i < count; i++) {
        const MultiPVLine& slot = multiPVTable.slots[i];
        if (slot.pv[0] == first || slot.depth == 0) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        // No room: the new line takes the place of the weakest.
        MultiPVLine& slot = multiPVTable.slots[count - 1];
        recordLine(slot, score, bound, pv, elapsed);
        sortMultiPV();
        if (elapsed > 1000 || multiPVTable.slots[count - 1].depth != 0) printMultiPV();
        return 0;
    }
    MultiPVLine& slot = multiPVTable.slots[index];
    recordLine(slot, score, bound, pv, elapsed);
    int depth = slot.depth;
    if (score == NoStoredScore) {
        sortMultiPV();
        if (elapsed > 1000 || depth > 32) printMultiPV();
        return 0;
    }
    bool moved = sortMultiPV();
    if (moved || bound == 0) {
        if (elapsed > 1000) printMultiPV();
    } else if (elapsed - multiPVTable.lastPrintTime > 2000 && elapsed > 1000) {
        printMultiPV();
    }
    return 0;
}

void periodicReport(uint64_t nodes) {
    uint32_t elapsed = elapsedMs();
    if (elapsed <= nextReport) return;
    // The previous report was due at nextReport - 2000.
    uint64_t span = uint64_t(elapsed - nextReport) + 2000;
    uint64_t nps = (nodes - reportNodes) * 1000 / span;
    reportNodes = nodes;
    int hashfull = ttHashfull();
    if (!testMode) {
        sendLine("info hashfull %d nps %d", hashfull, int(nps));
        sendLine("info cpuload %d", int(cpuLoadSinceLast()));
    }
    nextReport = elapsed + 2000;
}

void printClosingLine(uint64_t nodes, int tbHits) {
    uint32_t elapsed = elapsedMs();
    if (elapsed == 0) return;
    int nps = int(nodes * 1000 / elapsed);
    if (tbHits != 0)
        sendLine("info nps %d nodes %" PRIu64 " tbhits %d", nps, nodes, tbHits);
    else
        sendLine("info nps %d nodes %" PRIu64, nps, nodes);
}
