#include "frontend/uci.h"

#include <cstdint>
#include <cstring>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/options.h"
#include "frontend/threads.h"
#include "frontend/text_io.h"
#include "frontend/timeman.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/tt.h"

int goParameter(const char* line, const char* keyword) {
    const char* found = std::strstr(line, keyword);
    if (!found) return 0;
    const char* space = std::strchr(found + std::strlen(keyword), ' ');
    if (!space) return 0;
    char token[257];
    size_t n = 0;
    for (const char* p = space + 1; *p && *p != ' ' && n < sizeof token - 1; p++) token[n++] = *p;
    token[n] = '\0';
    return parseDecimal(token);
}

static const char* const IdentificationLines[] = {"id name Tavik5.60", "id author Dravelin"};

void uciHandshake() {
    quitFlag = 1;
    const char* line = readLine(1);
    bool found = line && std::strcmp(line, "uci") == 0;
    // The front end gets about two seconds to say "uci"; anything else
    // before it is dropped without a reply.
    for (int polls = 0; !found && polls < 2000;) {
        if (inputEnded()) return;
        sleepMs(1);
        line = readLine(0);
        polls++;
        if (polls < 2000 && line && std::strcmp(line, "uci") == 0) found = true;
    }
    if (!found) return;
    quitFlag = 0;
    for (const char* text : IdentificationLines) sendLine("%s", text);
    for (const OptionDeclaration& option : optionDeclarations) {
        if (option.name == ThreadsName && maxSearchThreads() > 256)
            sendLine("option name %s type spin default 1 min 1 max %d", option.name, maxSearchThreads());
        else
            sendLine("option name %s %s", option.name, option.declaration);
    }
    sendLine("uciok");
    ttResize(4096);
}

void setPosition(const char* line) {
    const char* keyword = std::strstr(line, "startpos");
    if (keyword) {
        setFromFen(StartFen);
    } else {
        keyword = std::strstr(line, "fen");
        if (!keyword) return;
        // "position fen" with nothing after it gives an empty FEN, which fails.
        const char* fen = keyword[3] ? keyword + 4 : keyword + 3;
        setFromFen(fen);
    }
    const char* moves = std::strstr(keyword, "moves");
    if (!moves || moves[5] != ' ') return;
    const char* p = moves + 6;
    for (;;) {
        const char* end = std::strchr(p, ' ');
        size_t length = end ? size_t(end - p) : std::strlen(p);
        // Only the first five characters can matter to the move parser.
        char token[8] = {};
        std::memcpy(token, p, length < 6 ? length : 6);
        // A token that is no move is skipped: appending the null code would
        // step onto a stale stored continuation.
        Move move = parseMoveText(token);
        if (move != 0) playMove(move);
        if (!end) break;
        p = end + 1;
    }
}

void parseGo(const char* line) {
    ponderFlag = 0;
    depthLimit = 0;
    nodeLimit = 0;
    mateMoves = 0;
    moveTimeLimit = 0;
    infiniteFlag = 0;
    // "searchmoves" is accepted but root move restriction is not supported.
    if (std::strstr(line, "ponder")) ponderFlag = 1;
    int wtime = goParameter(line, "wtime");
    int btime = goParameter(line, "btime");
    int winc = goParameter(line, "winc");
    int binc = goParameter(line, "binc");
    int movesToGo = goParameter(line, "movestogo");
    depthLimit = goParameter(line, "depth");
    nodeLimit = uint32_t(goParameter(line, "nodes"));
    mateMoves = goParameter(line, "mate");
    moveTimeLimit = goParameter(line, "movetime");
    if (std::strstr(line, "infinite")) {
        infiniteFlag = 1;
        fixedLimits = 1;
    } else if (mateMoves != 0 || nodeLimit != 0 || depthLimit != 0 || moveTimeLimit != 0) {
        fixedLimits = 1;
    } else {
        fixedLimits = 0;
        const PositionRecord& current = gameRecord.positions[gameRecord.ply];
        if (current.sideToMove == 0)
            computeBudget(wtime, winc, movesToGo);
        else
            computeBudget(btime, binc, movesToGo);
    }
}

int dispatchCommand(int mode) {
    const char* line = readLine(mode);
    if (!line) {
        if (!inputEnded()) return 0;
        // Nobody is left to send "quit".
        quitFlag = 1;
        return 1;
    }
    if (std::strcmp(line, "stop") == 0) {
        ponderFlag = 0;
        infiniteFlag = 0;
        stopFlag = 1;
        return 1;
    }
    if (std::strcmp(line, "ponderhit") == 0) {
        ponderFlag = 0;
        return ponderHitCheck();
    }
    if (std::strcmp(line, "quit") == 0) {
        quitFlag = 1;
        return 1;
    }
    if (std::strcmp(line, "isready") == 0) {
        sendLine("readyok");
        return 0;
    }
    if (std::strncmp(line, "position", 8) == 0) {
        setPosition(line);
        return 0;
    }
    if (std::strncmp(line, "go ", 3) == 0) {
        parseGo(line);
        goFlag = 1;
        return 1;
    }
    if (std::strncmp(line, "setoption name ", 15) == 0) {
        setOption(line + 15);
        return 0;
    }
    if (std::strcmp(line, "debug on") == 0) {
        debugFlag = 1;
        return 0;
    }
    if (std::strcmp(line, "debug off") == 0) {
        debugFlag = 0;
        return 0;
    }
    if (debugFlag) sendLine("info string ??? %s", line);
    return 0;
}
