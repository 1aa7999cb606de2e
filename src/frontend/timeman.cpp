#include "frontend/timeman.h"

#include <cstdint>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/text_io.h"

void computeBudget(int time, int increment, int movesToGo) {
    // 64-bit so that absurd clock values cannot overflow.
    int64_t avail = time > 3000 ? int64_t(time) - 2000 : 1;
    int64_t target, max;
    if (movesToGo > 0) {
        target = avail / movesToGo;
        int64_t limit = avail - (target / 2) * (movesToGo - 1);
        max = 4 * target;
        if (max > limit) max = limit;
        if (target > max / 2) target = max / 2;
        sendLine("info string temps = %d %d", int(target), int(max));
    } else {
        target = avail / (ponderFlag ? 32 : 40) + increment / 2;
        max = 4 * target;
        if (max > avail) max = avail;
        if (target > max / 2) target = max / 2;
    }
    // A negative increment could drive the budget below zero, which as an
    // unsigned time would never run out.
    targetTime = uint32_t(target > 0 ? target : 0);
    maxTime = uint32_t(max > 0 ? max : 0);
}

void setEasyMove(Move candidate) { easyMove = candidate ? recaptureMove(moveOf(candidate)) : 0; }

void setCurrentNodes(uint64_t nodes) { currentNodes = nodes; }

int iterationStart(int depth) {
    currentDepth = depth;
    uint32_t elapsed = elapsedMs();
    if (testMode) testStatistics = TestRecord{depth - 1, int32_t(elapsed), 0.0f, 0, currentNodes};
    if (elapsed > 1000) sendLine("info depth %d", depth);
    if (fixedLimits) {
        if (depthLimit != 0 && depth > depthLimit) return 1;
    } else if (!ponderFlag && depth >= 4) {
        if (elapsed > targetTime / 2) {
            if (rootScore >= referenceScore) return 1;
            if (rootScore >= referenceScore - 20 && elapsed > targetTime) return 1;
            if (elapsed > 2 * uint64_t(targetTime)) return 1;
        }
        if (easyMove != 0 && bestMove == easyMove && rootScore >= referenceScore - 20 &&
            elapsed > targetTime / 8)
            return 1;
    }
    // From the second iteration on, compare with the previous result.
    if (referenceScore < 28000) referenceScore = rootScore;
    return 0;
}

int rootMoveStart(Move move, int index) {
    uint32_t elapsed = elapsedMs();
    if (elapsed > 1000 && !testMode) {
        char text[8];
        sendLine("info currmove %s currmovenumber %d", moveText(moveOf(move), text), index + 1);
    }
    if (!fixedLimits && !ponderFlag && currentDepth >= 2 && elapsed > targetTime) {
        if (rootScore > referenceScore) return 1;
        if (rootScore > referenceScore - 20 && elapsed > 2 * uint64_t(targetTime)) return 1;
    }
    return 0;
}

int rootLineStops(int score, int bound) {
    if (fixedLimits || ponderFlag || currentDepth < 2 || score <= referenceScore) return 0;
    return score > 28000 || (bound != 2 && elapsedMs() > targetTime);
}

int limitReached(uint64_t nodes) {
    uint32_t elapsed = elapsedMs();
    if (fixedLimits) {
        if (nodeLimit != 0 && nodes >= nodeLimit) return 1;
        // Signed, so that a negative movetime ends the search instead of
        // turning into an endless one.
        if (moveTimeLimit != 0 && int64_t(elapsed) >= int64_t(moveTimeLimit)) return 1;
        return 0;
    }
    return !ponderFlag && elapsed >= maxTime;
}

int ponderHitCheck() {
    if (fixedLimits || rootScore <= referenceScore - 20 || rootBound == 2) return 0;
    uint32_t elapsed = elapsedMs();
    if (elapsed > targetTime && (rootScore > referenceScore || elapsed > 2 * uint64_t(targetTime)))
        return 1;
    if (easyMove != 0 && bestMove == easyMove && elapsed > targetTime / 8) return 1;
    return 0;
}
