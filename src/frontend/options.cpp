#include "frontend/options.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/threads.h"
#include "frontend/throttle.h"
#include "frontend/text_io.h"
#include "search/search.h"
#include "search/tt.h"
#include "tablebases/registry.h"

int cacheMegabytes = 4;
char tablebasePath[256] = "c:\\";
int ownBook = 1;

// The value text of "<name> value <text>", or nullptr when text sets another option.
static const char* valueFor(const char* text, const char* name) {
    const size_t n = std::strlen(name);
    if (std::strncmp(text, name, n) != 0 || std::strncmp(text + n, " value ", 7) != 0) return nullptr;
    return text + n + 7;
}

// 1 for "true", 0 for "false"; -1 for anything else, which leaves a check
// option as it is.
static int checkValue(const char* value) {
    if (std::strcmp(value, "true") == 0) return 1;
    return std::strcmp(value, "false") == 0 ? 0 : -1;
}

namespace {

// A check option: anything but "true" or "false" leaves the setting as it was.
void setCheckOption(const char* name, const char* value, int& setting) {
    const int on = checkValue(value);
    if (on < 0) return;
    setting = on;
    if (debugFlag) sendLine("info string %s : %s", name, value);
}

constexpr const char* DeferredNames[] = {HashName, NalimovPathName, NalimovCacheName, ClearHashName, ThreadsName};
constexpr int DeferredCount = sizeof DeferredNames / sizeof DeferredNames[0];
// One waiting text per option, the latest; order[] holds them by arrival.
char deferredText[DeferredCount][LineBufferSize];
int order[DeferredCount];
int waiting = 0;

// The index of the option text sets when it must wait for the helpers, else -1.
int deferredIndex(const char* text) {
    for (int i = 0; i < DeferredCount; ++i)
        if (valueFor(text, DeferredNames[i]) || std::strcmp(text, DeferredNames[i]) == 0) return i;
    return -1;
}

void defer(int index, const char* text) {
    int k = 0;
    while (k < waiting && order[k] != index) ++k;
    if (k < waiting) {
        for (; k + 1 < waiting; ++k) order[k] = order[k + 1];
        --waiting;
    }
    std::snprintf(deferredText[index], sizeof deferredText[index], "%s", text);
    order[waiting++] = index;
}

}  // namespace

void applyDeferredOptions() {
    const int n = waiting;
    waiting = 0;
    for (int k = 0; k < n; ++k) setOption(deferredText[order[k]]);
}

void setOption(const char* text) {
    if (helpersRunning()) {
        const int index = deferredIndex(text);
        if (index >= 0) return defer(index, text);
    }
    if (const char* value = valueFor(text, ThreadsName)) {
        const int v = std::clamp(parseDecimal(value), 1, maxSearchThreads());
        if (v != searchThreadCount() && !setSearchThreads(v))
            sendLine("info string %s : %d not available, %d in use", ThreadsName, v, searchThreadCount());
        if (debugFlag) sendLine("info string %s : %d", ThreadsName, v);
        return;
    }
    if (const char* value = valueFor(text, HashName)) {
        int v = parseDecimal(value);
        // Values are not clamped to the announced range, but a negative or
        // absurd size would wrap into a multi-gigabyte request.
        if (v > 0 && v <= 4095) {
            // Memory that cannot be had: the largest half that can, else none
            // (the search then takes a small default table).
            int got = v;
            while (got > 0 && ttResize(uint32_t(got) * 1024u) < 0) got /= 2;
            if (got != v) sendLine("info string %s : %d Mo not available, %d Mo in use", HashName, v, got);
        }
        if (debugFlag) sendLine("info string %s : %d Mo", HashName, v);
        return;
    }
    if (const char* path = valueFor(text, NalimovPathName)) {
        if (std::strlen(path) >= sizeof tablebasePath) return;  // no room: refused
        if (std::strcmp(path, tablebasePath) == 0) return;
        std::strcpy(tablebasePath, path);
        initTablebases(tablebasePath, cacheMegabytes);
        searchEngine.tablebaseMaxMen = tablebaseRegistry.tablebaseMaxMen;
        if (debugFlag) sendLine("info string %s : %s", NalimovPathName, tablebasePath);
        return;
    }
    if (const char* value = valueFor(text, DrawScoreName)) {
        searchEngine.drawScore = parseDecimal(value);
        if (debugFlag) sendLine("info string %s : %d", DrawScoreName, searchEngine.drawScore);
        return;
    }
    if (const char* value = valueFor(text, NullmoveName)) {
        searchEngine.nullMoveReduction = parseDecimal(value);
        if (debugFlag) sendLine("info string %s : %d", NullmoveName, searchEngine.nullMoveReduction);
        return;
    }
    if (const char* value = valueFor(text, OwnBookName)) return setCheckOption(OwnBookName, value, ownBook);
    // The button has no value text; the tests below cannot match it.
    if (std::strcmp(text, ClearHashName) == 0) ttClear();
    if (const char* value = valueFor(text, MultiPVName)) {
        multiPVSetting = parseDecimal(value);
        if (debugFlag) sendLine("info string %s : %d", MultiPVName, multiPVSetting);
        return;
    }
    if (const char* value = valueFor(text, NalimovCacheName)) {
        int v = parseDecimal(value);
        if (v == cacheMegabytes) return;
        cacheMegabytes = v;
        initTablebases(nullptr, v);
        if (debugFlag) sendLine("info string %s : %d Mo", NalimovCacheName, v);
        return;
    }
    if (const char* value = valueFor(text, CpuShareName)) {
        int v = parseDecimal(value);
        if (v < 10 || v > 100) v = 100;
        setThrottleShare(v);
        sendLine("info string Cpu %d %%", v);
        return;
    }
    if (const char* value = valueFor(text, LowercasePromotionsName))
        return setCheckOption(LowercasePromotionsName, value, lowercasePromotions);
}
