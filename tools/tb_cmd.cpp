#include "tb_cmd.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "board/perft.h"
#include "eval/psq.h"
#include "frontend/game_record.h"
#include "frontend/poll.h"
#include "search/search.h"
#include "tablebases/classes.h"
#include "tablebases/generator.h"
#include "tablebases/registry.h"
#include "tablebases/tablefiles.h"
#include "tablebases/verify.h"
#include "tb_check_cmd.h"
#include "tb_compress_cmd.h"
#include "tb_plan_cmd.h"

namespace {

const char* colourName(int colour) { return colour == White ? "White" : "Black"; }

// Meaning of a stored byte for the side to move of the position.
std::string byteMeaning(int value, int side) {
    const std::string mover = colourName(side);
    if (value == 0) return "draw";
    if (value == 127) return "no information";
    if (value >= 1 && value <= 126) return mover + " mates in " + std::to_string(127 - value);
    if (value == -126) return mover + " is checkmated";
    if (value >= -125 && value <= -1) return mover + " is mated in " + std::to_string(value + 126);
    return "unused value";
}

// tb probe <dir> <FEN>: the byte a plain table file holds for a position.
int probeCommand(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tavik-tool tb probe <dir> <FEN>\n");
        return 2;
    }
    std::string fen;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) fen += ' ';
        fen += argv[i];
    }
    PositionRecord record;
    if (!parseFen(fen.c_str(), record)) {
        std::fprintf(stderr, "tb probe: invalid FEN \"%s\"\n", fen.c_str());
        return 1;
    }
    if (const char* problem = recordProblem(record)) {
        std::fprintf(stderr, "tb probe: unusable position: %s\n", problem);
        return 1;
    }
    initSearchEngine();
    const int side = record.sideToMove & 1;
    Position& pos = engineWorker().pos;
    loadPosition(record, pos);
    prepareRootPosition(pos, side);
    if (pos.ownKingAttacked(side ^ 1)) {
        std::fprintf(stderr, "tb probe: illegal position: the side not to move is in check\n");
        return 1;
    }
    buildIndexTables();
    const TablebaseMaterial material = tablebaseMaterial(pos.pieceCount);
    if (material.classNumber == 0) {
        std::fprintf(stderr, "tb probe: no tablebase class holds this material\n");
        return 1;
    }
    const TablebaseClass& row = tablebaseClasses[material.classNumber];
    const int fileSide = side ^ material.flip;
    int first[16], second[16];
    tablebaseMenLists(pos, material, first, second);
    const int32_t index =
        row.indexFunction[fileSide](first, second, pos.epSquare ? pos.epSquare : NoEnPassant, material.flip);

    const std::string base = std::string(argv[1]) + "/" + row.name + (fileSide == 0 ? ".nbw" : ".nbb");
    std::string path = base;
    int64_t length = -1;
    const int byte = readTableFileByte(base, index, path, length);  // plain or compressed
    std::printf("class %s%s, file %s, index %d\n", row.name, material.flip ? " (colours reversed)" : "",
                path.c_str(), index);
    if (length < 0) {
        std::fprintf(stderr, "tb probe: cannot open %s\n", path.c_str());
        return 1;
    }
    if (length != row.size[fileSide]) {
        std::fprintf(stderr, "tb probe: warning: %s has %lld bytes, expected %d\n", path.c_str(), (long long)length,
                     row.size[fileSide]);
    }
    if (byte == -1000) {
        std::fprintf(stderr, "tb probe: cannot read index %d of %s\n", index, path.c_str());
        return 1;
    }
    const int value = byte;
    std::printf("byte %d: %s\n", value, byteMeaning(value, side).c_str());
    return 0;
}

int generateUsage() {
    std::fprintf(stderr, "usage: tavik-tool tb generate <dir> (<class>... | --men N) [--force] [--threads N]\n");
    return 2;
}

// Class names from the arguments after the directory: names, or --men N
// for every class of up to N men. False for a bad argument.
bool classArguments(const char* command, int argc, char** argv, std::vector<std::string>& names) {
    if (argc < 3) return false;
    if (std::strcmp(argv[2], "--men") == 0) {
        const int men = argc == 4 ? std::atoi(argv[3]) : 0;
        if (men < 3 || men > 5) return false;
        for (int c = 1; c < TablebaseClassCount; ++c)
            if (classMen(c) <= men) names.push_back(tablebaseClasses[c].name);
        return true;
    }
    for (int i = 2; i < argc; ++i) {
        if (findTablebaseClass(argv[i]) == 0) {
            std::fprintf(stderr, "tb %s: unknown class \"%s\"\n", command, argv[i]);
            return false;
        }
        names.push_back(argv[i]);
    }
    return true;
}

// Takes a flag out of the arguments; whether it was there.
bool takeFlag(int& argc, char** argv, const char* flag) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], flag) == 0) {
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            return true;
        }
    return false;
}

// Takes "--threads N" out of the arguments: N, by default every core; 0
// for a value that is no count.
int takeThreads(int& argc, char** argv) {
    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") != 0) continue;
        char* end = nullptr;
        const long n = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
        threads = end && *end == 0 && n >= 1 && n <= 256 ? int(n) : 0;
        const int taken = i + 1 < argc ? 2 : 1;
        std::copy(argv + i + taken, argv + argc, argv + i);
        argc -= taken;
        break;
    }
    return threads;
}

// Classes in dependency order, each after the classes it converts into;
// successors missing from the directory are made on the way. A class whose
// files are whole is skipped unless forced.
int runGenerate(int argc, char** argv) {
    const bool force = takeFlag(argc, argv, "--force");
    const int threads = takeThreads(argc, argv);
    std::vector<std::string> names;
    if (threads == 0 || !classArguments("generate", argc, argv, names)) return generateUsage();
    const std::string dir = argv[1];
    tbgen::Generator generator(threads, true, dir);
    std::vector<std::string> order;
    for (const std::string& name : tbgen::dependencyOrder(names))
        if (std::find(names.begin(), names.end(), name) != names.end()) order.push_back(name);
    int status = 0;
    for (const std::string& name : order) {
        if (!force && classFilesComplete(dir, findTablebaseClass(name.c_str()))) {
            std::fprintf(stderr, "%s: files complete, skipped\n", name.c_str());
            continue;
        }
        std::string error;
        if (!generator.make(name, error)) {
            std::fprintf(stderr, "tb generate: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}

int runVerify(int argc, char** argv) {
    const int threads = takeThreads(argc, argv);
    std::vector<std::string> names;
    if (threads == 0 || !classArguments("verify", argc, argv, names)) {
        std::fprintf(stderr, "usage: tavik-tool tb verify <dir> (<class>... | --men N) [--threads N]\n");
        return 2;
    }
    int status = 0;
    for (const std::string& name : names)
        if (!verifyTablebase(argv[1], name, threads)) status = 1;
    return status;
}

int runCompress(int argc, char** argv) {
    const bool force = takeFlag(argc, argv, "--force");
    const int threads = takeThreads(argc, argv);
    if (threads == 0 || argc < 2) {
        std::fprintf(stderr, "usage: tavik-tool tb compress <file>... [--force] [--threads N]\n");
        return 2;
    }
    return runTbCompressCommand(std::vector<std::string>(argv + 1, argv + argc), threads, force);
}

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
    const char* usage;
};

const Subcommand subcommands[] = {
    {"probe", probeCommand, "probe <dir> <FEN>    the stored byte of a position in a plain or compressed file, in words"},
    {"generate", runGenerate, "generate <dir> (<class>... | --men N) [--force] [--threads N]   write plain tables by retrograde analysis, successors first"},
    {"verify", runVerify, "verify <dir> (<class>... | --men N) [--threads N]   check every position against its successors"},
    {"compress", runCompress, "compress <file>... [--force] [--threads N]   write <file>.emd, the compressed form of each table file"},
    {"plan", runTbPlanCommand, "plan <dir> --men N [--output FILE]        write <dir>/plan.mk: one make target per class after its successors"},
    {"check", runTbCheckCommand, "check <file>...                         prove table files whole: block checksums, size, result bytes"},
};

}  // namespace

int runTablebaseCommand(int argc, char** argv) {
    if (argc >= 2) {
        for (const Subcommand& sub : subcommands) {
            if (std::strcmp(argv[1], sub.name) == 0) return sub.run(argc - 1, argv + 1);
        }
    }
    std::fprintf(stderr, "usage: tavik-tool tb <subcommand> [arguments]\n");
    for (const Subcommand& sub : subcommands) std::fprintf(stderr, "  tb %s\n", sub.usage);
    return 2;
}
