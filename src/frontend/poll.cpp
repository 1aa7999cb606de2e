#include "frontend/poll.h"

#include "frontend/engine_state.h"
#include "frontend/report.h"
#include "frontend/threads.h"
#include "frontend/throttle.h"
#include "frontend/timeman.h"
#include "frontend/uci.h"
#include "search/host.h"
#include "search/search.h"

int pollInput(uint64_t nodes) {
    currentNodes = nodes;
    periodicReport(nodes);
    if (dispatchCommand(0)) return 1;
    return limitReached(nodes);
}

namespace {

// The search's calls, answered by the front end's time manager, reporting,
// input channel and throttle.
class UciHost final : public SearchHost {
public:
    // Node counts are the engine's: the helpers' are added in.
    bool pollInput(uint64_t nodes) override { return ::pollInput(nodes + helperNodes()) != 0; }
    bool throttleAllows() override { return ::throttleAllows() != 0; }
    void throttleRearm() override { ::throttleRearm(); }
    void setEasyMove(Move candidate) override { ::setEasyMove(candidate); }
    void setCurrentNodes(uint64_t nodes) override { ::setCurrentNodes(nodes + helperNodes()); }
    // The helpers join when the first iteration starts: the root is ready
    // and the table has its new generation.
    bool iterationStart(int depth) override {
        if (::iterationStart(depth)) return true;
        if (depth == 1) {
            const SearchWorker& main = engineWorker();
            startHelpers(main, main.thinkGameKeys, main.thinkMateTarget);
        }
        return false;
    }
    bool rootMoveStart(Move move, int index) override { return ::rootMoveStart(move, index) != 0; }
    bool reportRootLine(int score, int bound, const Move* pv) override {
        return ::reportRootLine(score, bound, pv) != 0;
    }
    void updateMultiPV(int score, int bound, const Move* pv) override { ::updateMultiPV(score, bound, pv); }
    bool infinite() const override { return infiniteFlag != 0; }
};

}  // namespace

SearchWorker& engineWorker() {
    static UciHost host;
    // Allocated once, before any search: the worker is large.
    static SearchWorker* const worker = [] {
        SearchWorker* w = new SearchWorker;
        w->host = &host;
        return w;
    }();
    return *worker;
}
