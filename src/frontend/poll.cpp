#include "frontend/poll.h"

#include "frontend/engine_state.h"
#include "frontend/report.h"
#include "frontend/timeman.h"
#include "frontend/uci.h"

int pollInput(uint64_t nodes) {
    currentNodes = nodes;
    periodicReport(nodes);
    if (dispatchCommand(0)) return 1;
    return limitReached(nodes);
}
