// How the search talks to the world: the front end implements this, the
// search calls it at fixed points. The defaults answer as a search with no
// one listening would want: never stop, no throttle, nothing to report.
#pragma once
#include <cstdint>

#include "board/types.h"

class SearchHost {
public:
    virtual ~SearchHost() = default;
    // About every 10 ms: read pending input and test the node and time limits.
    // True when the search must stop.
    virtual bool pollInput(uint64_t /*nodes*/) { return false; }
    // The CPU share: false while the engine is above it (the search then
    // sleeps a millisecond and polls again); rearm once it is below again.
    virtual bool throttleAllows() { return true; }
    virtual void throttleRearm() {}
    // The root list's standout move, or 0 (think, before the first iteration).
    virtual void setEasyMove(Move /*candidate*/) {}
    // The node count of the search so far, before every report.
    virtual void setCurrentNodes(uint64_t /*nodes*/) {}
    // Start of each iteration and of each root move; true = stop.
    virtual bool iterationStart(int /*depth*/) { return false; }
    virtual bool rootMoveStart(Move /*move*/, int /*index*/) { return false; }
    // True when the single-line search should pass over this iteration (a
    // helper thread staggers its depths against the main search's).
    virtual bool skipIteration(int /*depth*/) { return false; }
    // A new result of the single-line root search; true = stop.
    virtual bool reportRootLine(int /*score*/, int /*bound*/, const Move* /*pv*/) { return false; }
    // A new line of the MultiPV search.
    virtual void updateMultiPV(int /*score*/, int /*bound*/, const Move* /*pv*/) {}
    // "go infinite": a single legal move does not end the search.
    virtual bool infinite() const { return false; }
};
