#include "frontend/options.h"

#include <cstdint>
#include <cstring>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/throttle.h"
#include "frontend/text_io.h"
#include "search/search.h"
#include "search/tt.h"
#include "tablebases/registry.h"

int cacheMegabytes = 4;
char tablebasePath[256] = "c:\\";
int ownBook = 1;

static bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void setOption(const char* text) {
    if (startsWith(text, "Hash value ")) {
        int v = parseDecimal(text + 11);
        // Values are not clamped to the announced range, but a negative or
        // absurd size would wrap into a multi-gigabyte request.
        if (v > 0 && v <= 4095) {
            // Memory that cannot be had: the largest half that can, else none
            // (the search then takes a small default table).
            int got = v;
            while (got > 0 && ttResize(uint32_t(got) * 1024u) < 0) got /= 2;
            if (got != v) sendLine("info string Hash : %d Mo not available, %d Mo in use", v, got);
        }
        if (debugFlag) sendLine("info string Hash : %d Mo", v);
        return;
    }
    if (startsWith(text, "NalimovPath value ")) {
        const char* path = text + 18;
        if (std::strlen(path) >= sizeof tablebasePath) return;  // no room: refused
        if (std::strcmp(path, tablebasePath) == 0) return;
        std::strcpy(tablebasePath, path);
        initTablebases(tablebasePath, cacheMegabytes);
        searchEngine.tablebaseMaxMen = tablebaseRegistry.tablebaseMaxMen;
        if (debugFlag) sendLine("info string NalimovPath : %s", tablebasePath);
        return;
    }
    if (startsWith(text, "DrawScore value ")) {
        searchEngine.drawScore = parseDecimal(text + 16);
        if (debugFlag) sendLine("info string DrawScore : %d", searchEngine.drawScore);
        return;
    }
    if (startsWith(text, "Nullmove value ")) {
        searchEngine.nullMoveReduction = parseDecimal(text + 15);
        if (debugFlag) sendLine("info string Nullmove : %d", searchEngine.nullMoveReduction);
        return;
    }
    if (std::strcmp(text, "OwnBook value false") == 0) {
        ownBook = 0;
        if (debugFlag) sendLine("info string OwnBook : false");
        return;
    }
    if (std::strcmp(text, "OwnBook value true") == 0) {
        ownBook = 1;
        if (debugFlag) sendLine("info string OwnBook : true");
        return;
    }
    // The button has no value text; the tests below cannot match it.
    if (std::strcmp(text, "Clear Hash") == 0) ttClear();
    if (startsWith(text, "MultiPV value ")) {
        multiPVSetting = parseDecimal(text + 14);
        if (debugFlag) sendLine("info string MultiPV : %d", multiPVSetting);
        return;
    }
    if (startsWith(text, "NalimovCache value ")) {
        int v = parseDecimal(text + 19);
        if (v == cacheMegabytes) return;
        cacheMegabytes = v;
        initTablebases(nullptr, v);
        if (debugFlag) sendLine("info string NalimovCache : %d Mo", v);
        return;
    }
    if (startsWith(text, "% CPU value ")) {
        int v = parseDecimal(text + 12);
        if (v < 10 || v > 100) v = 100;
        setThrottleShare(v);
        sendLine("info string Cpu %d %%", v);
        return;
    }
    if (std::strcmp(text, "Lowercase Promotions value false") == 0 ||
        std::strcmp(text, "Lowercase Promotions value true") == 0) {
        lowercasePromotions = text[27] == 't';
        if (debugFlag) sendLine("info string Lowercase Promotions : %s", lowercasePromotions ? "true" : "false");
        return;
    }
}
