#include "tb_cmd.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/board.h"
#include "board/makemove.h"
#include "board/perft.h"
#include "eval/pawns.h"
#include "frontend/game_record.h"
#include "search/search.h"
#include "tablebases/classes.h"

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
    for (int i = 2; i < argc; ++i) fen += (i > 2 ? " " : "") + std::string(argv[i]);
    PositionRecord record;
    if (!parseFen(fen.c_str(), record)) {
        std::fprintf(stderr, "tb probe: invalid FEN \"%s\"\n", fen.c_str());
        return 1;
    }
    if (const char* problem = recordProblem(record)) {
        std::fprintf(stderr, "tb probe: unusable position: %s\n", problem);
        return 1;
    }
    initPawnHash();
    initSearchEngine();
    const int side = record.sideToMove & 1;
    loadPosition(record);
    prepareRootPosition(side);
    if (ownKingAttacked(side ^ 1)) {
        std::fprintf(stderr, "tb probe: illegal position: the side not to move is in check\n");
        return 1;
    }
    buildIndexTables();
    const TablebaseMaterial material = tablebaseMaterial(pieceCount);
    if (material.classNumber == 0) {
        std::fprintf(stderr, "tb probe: no tablebase class holds this material\n");
        return 1;
    }
    const TablebaseClass& row = tablebaseClasses[material.classNumber];
    const int fileSide = side ^ material.flip;
    int first[16], second[16];
    tablebaseMenLists(material, first, second);
    const int32_t index =
        row.indexFunction[fileSide](first, second, epSquare ? epSquare : NoEnPassant, material.flip);

    std::string path = std::string(argv[1]) + "/" + row.name + (fileSide == 0 ? ".nbw" : ".nbb");
    std::printf("class %s%s, file %s, index %d\n", row.name, material.flip ? " (colours reversed)" : "",
                path.c_str(), index);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "tb probe: cannot open %s\n", path.c_str());
        return 1;
    }
    int byte = EOF;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long length = std::ftell(file);
        if (length != row.size[fileSide]) {
            std::fprintf(stderr, "tb probe: warning: %s has %ld bytes, expected %d\n", path.c_str(), length,
                         row.size[fileSide]);
        }
        if (index >= 0 && index < length && std::fseek(file, index, SEEK_SET) == 0) byte = std::fgetc(file);
    }
    std::fclose(file);
    if (byte == EOF) {
        std::fprintf(stderr, "tb probe: cannot read index %d of %s\n", index, path.c_str());
        return 1;
    }
    const int value = int(int8_t(uint8_t(byte)));
    std::printf("byte %d: %s\n", value, byteMeaning(value, side).c_str());
    return 0;
}

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);  // argv[0] is the subcommand's name
    const char* usage;
};

const Subcommand subcommands[] = {
    {"probe", probeCommand, "probe <dir> <FEN>    the stored byte of a position in a plain file, in words"},
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
