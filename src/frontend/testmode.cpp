#include "frontend/testmode.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/options.h"
#include "frontend/poll.h"
#include "frontend/report.h"
#include "frontend/text_io.h"
#include "frontend/throttle.h"
#include "frontend/uci.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

constexpr int MaxSeconds = 86400;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

// "%02d) time nodes value (fen)FEN": false when a part is missing.
bool parseResultsLine(const char* line, TestRecord& record, const char*& fen) {
    const char* close = std::strchr(line, ')');
    if (close == nullptr) return false;
    char* end;
    const long depth = std::strtol(line, &end, 10);
    if (end == line || end != close) return false;
    const char* p = close + 1;
    const long time = std::strtol(p, &end, 10);
    if (end == p) return false;
    p = end;
    // Earlier versions wrote counts of 2^31 and more as negative 32-bit numbers.
    p += std::strspn(p, " \t");
    const uint64_t nodes = *p == '-' ? uint32_t(std::strtoll(p, &end, 10)) : std::strtoull(p, &end, 10);
    if (end == p) return false;
    p = end;
    const double value = std::strtod(p, &end);
    if (end == p) return false;
    const char* marker = std::strstr(end, "(fen)");
    if (marker == nullptr) return false;
    record = TestRecord{int32_t(depth), int32_t(time), float(value), 0, nodes};
    fen = marker + 5;
    return true;
}

// Kilonodes per second; a time of 0 ms counts as a rate of 0.
uint64_t rate(const TestRecord& r) { return r.time > 0 ? uint64_t(r.nodes) / uint64_t(r.time) : 0; }

void printRecord(const char* label, const TestRecord& r) {
    say("%s%02d) %dms %.1f%% %dkn/s\n", label, r.depth, r.time, r.value * 0.1, int(rate(r)));
}

double ratioScore(double sum, int count) {
    const double r = count > 0 ? sum / count : 0.0;
    return r >= 0 ? 100 / (1 - r) : (1 + r) * 100;
}

}  // namespace

int runTestMode(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[1], "Fen") != 0) return 0;
    const char* testFile = argv[2];
    const char* resultsFile = argv[3];
    int seconds = 0;
    const bool timed = argc > 4;
    if (timed) {
        // A day at most keeps seconds * 1000 within range; 0 would mean no limit at all.
        seconds = parseDecimal(argv[4]);
        if (seconds < 1 || seconds > MaxSeconds) {
            const int clamped = seconds < 1 ? 1 : MaxSeconds;
            say("seconds %s out of range 1..%d, using %d\n", argv[4], MaxSeconds, clamped);
            seconds = clamped;
        }
        say("temps max : %d\n", seconds);
    }
    std::FILE* results = std::fopen(resultsFile, "w");
    if (results == nullptr) return 0;
    std::fclose(results);

    testMode = 1;
    setOption("Hash value 128");
    std::FILE* tests = std::fopen(testFile, "r");
    if (tests == nullptr) {
        say("Erreur ouverture du fichier %s\n", testFile);
        return 1;
    }

    int positions = 0;
    uint64_t oldTotal = 0, newTotal = 0;
    double ratioSum = 0;
    char line[256];
    while (std::fgets(line, sizeof line, tests) != nullptr) {
        if (std::strlen(line) < 10) break;
        TestRecord old{};
        const char* fen = line;
        if (!timed && !parseResultsLine(line, old, fen)) break;
        std::string fenText = fen;
        if (fenText.empty() || fenText.back() != '\n') fenText += '\n';
        const char* setup = fen;
        while (*setup == ' ') ++setup;
        const std::string positionText = std::string("fen ") + setup;
        PositionRecord parsed;
        // A line whose position cannot be searched ends the run like a malformed one.
        if (!parseFen(setup, parsed) || recordProblem(parsed) != nullptr) break;
        setPosition(positionText.c_str());
        say("%s%s", positionText.c_str(), positionText.back() == '\n' ? "" : "\n");
        ttClear();

        char goText[32];
        if (timed)
            std::snprintf(goText, sizeof goText, "movetime %d", seconds * 1000);
        else
            std::snprintf(goText, sizeof goText, "depth %d", old.depth);
        say("%s\n", goText);
        parseGo(goText);

        SearchWorker& worker = engineWorker();
        loadCurrentPosition(worker.pos);
        testStatistics = TestRecord{};
        searchStart = tickCount();
        nextReport = 1000;
        currentNodes = reportNodes = 0;
        currentDepth = 0;
        lineShown = 0;
        lastLineTime = 0;
        multiPVTable.count = 0;
        stopFlag = 0;
        throttleStart();
        worker.think(repetitionHistory(), 0, 1);
        throttleStop();
        ++positions;

        const TestRecord& now = testStatistics;
        if (std::FILE* out = std::fopen(resultsFile, "a")) {
            std::fprintf(out, "%02d) %d %" PRIu64 " %.0f (fen)%s", now.depth, now.time, now.nodes, double(now.value),
                         fenText.c_str());
            std::fclose(out);
        }
        newTotal += rate(now);
        if (!timed) {
            oldTotal += rate(old);
            if (now.time < old.time)
                ratioSum += double(now.time) / old.time - 1;
            else if (now.time > 0)
                ratioSum += 1 - double(old.time) / now.time;
        }
        say("\n ===================================\n");
        if (!timed) printRecord("OLD:", old);
        printRecord("NEW:", now);
        say("...:%f\n", ratioScore(ratioSum, positions));
        say(" ===================================\n\n");
    }
    std::fclose(tests);
    say("\n\n-------------------------------------------\n");
    const int count = positions > 0 ? positions : 1;
    if (!timed) say("OLD Kn/s moyen : %.d\n", int(oldTotal / count));
    say("New Kn/s moyen : %.d\n", int(newTotal / count));
    if (!timed) say("...:%f\n", ratioScore(ratioSum, positions));
    return 1;
}
