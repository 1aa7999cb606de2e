#include "frontend/driver.h"

#include <cstdint>
#include <cstring>

#include "book/book.h"
#include "frontend/book_choice.h"
#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/options.h"
#include "frontend/poll.h"
#include "frontend/report.h"
#include "frontend/testmode.h"
#include "frontend/threads.h"
#include "frontend/text_io.h"
#include "frontend/throttle.h"
#include "frontend/uci.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/tt.h"
#include "tablebases/registry.h"

void engineStartup() {
    prepareStandardStreams();
    // The transposition table gets its memory from the handshake.
    initThrottle();
    std::memset(&gameRecord, 0, sizeof gameRecord);
    initSearchEngine();
    // The tablebase registry starts empty: no path has been given yet.
    openBook();
    initInputChannel();
}

void engineShutdown() {
    shutdownSearchThreads();
    closeBook();
    releaseTablebases();
    shutdownThrottle();
    ttRelease();
}

void runGoCycle() {
    SearchWorker& worker = engineWorker();
    loadCurrentPosition(worker.pos);
    searchStart = tickCount();
    nextReport = 1000;
    currentNodes = 0;
    reportNodes = 0;
    currentDepth = 0;
    if (mateMoves != 0) {
        int64_t target = (14999 - int64_t(mateMoves)) * 2;
        referenceScore = target > 30000 ? 30000 : target < -30000 ? -30000 : int(target);
    } else {
        referenceScore = previousScore();
    }
    // A position the search cannot handle gets no move, and no book either.
    const char* problem = recordProblem(gameRecord.positions[gameRecord.ply]);
    if (problem == nullptr) problem = worker.loadedPositionProblem();
    bestMove = problem == nullptr ? probeBook(worker) : 0;
    // A search that finds nothing must not repeat an old ponder move.
    ponderMove = 0;
    // The book probe walks the record and leaves another position loaded.
    loadCurrentPosition(worker.pos);
    if (problem != nullptr) {
        sendLine("info string invalid position: %s", problem);
        rootScore = 0;
    } else if (bestMove != 0) {
        rootScore = 0;
        ponderMove = 0;
    } else {
        lineShown = 0;
        lastLineTime = 0;
        int m = multiPVSetting;
        if (m <= 1)
            m = 0;
        else if (m > 16)
            m = 16;
        multiPVSetting = m;
        multiPVTable.count = m;
        if (m != 0) clearMultiPVSlots();
        stopFlag = 0;
        throttleStart();
        worker.think(repetitionHistory(), mateMoves != 0 ? referenceScore : 0, m);
        // No helper outlives the search; what waited for them applies now.
        stopHelpers();
        throttleStop();
        applyDeferredOptions();
        // A stop (or the clock) that comes before the first root move is
        // finished leaves no result; a GUI must still get a legal move.
        if (bestMove == 0) bestMove = worker.firstRootMove();
        sendLine("info cpuload %d", int(cpuLoadSinceStart()));
        if (!lineShown) {
            if (m == 0)
                printFallbackScoreLine(elapsedMs());
            else
                printMultiPV();
        }
    }
    printClosingLine(worker.nodeCount + helperNodes(), worker.eval.tbHits + helperTbHits());
    // A ponder search keeps its answer until "ponderhit" or "stop".
    while (ponderFlag && !quitFlag) dispatchCommand(1);
    gameRecord.scores[gameRecord.ply] = rootScore;
    // Never record the null move: it would shadow a stored continuation.
    if (bestMove != 0) playMove(bestMove);
    char best[8], ponder[8];
    moveText(bestMove, best);
    if (ponderMove != 0)
        sendLine("bestmove %s ponder %s", best, moveText(ponderMove, ponder));
    else
        sendLine("bestmove %s", best);
}

int engineMain(int argc, char** argv) {
    engineStartup();
    if (runTestMode(argc, argv)) {
        engineShutdown();
        return 0;
    }
    uciHandshake();
    while (!quitFlag) {
        goFlag = 0;
        dispatchCommand(1);
        if (goFlag) runGoCycle();
    }
    engineShutdown();
    return 0;
}
