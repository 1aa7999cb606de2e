#include "tb_check_cmd.h"

#include <memory>
#include <string>
#include <vector>

#include "tablebases/classes.h"
#include "tablebases/decoder.h"

namespace {

// Results as the generator writes them: 0 draw, 1..126 the side to move
// mates, -126..-1 it is mated, 127 no position; -128 and -127 hold the
// results past a byte's range. No three- or four-man result comes near that
// range, so there those two bytes can only be damage; a five-man class may
// need them (kppkp does).
bool isResultByte(uint8_t byte, bool longResults) { return longResults || int8_t(byte) >= -126; }

// Class row and side to move that a file's name gives ("krk.nbw",
// "krk.nbb.emd" or "krknbb.emd"); false for any other name.
bool tableOfName(std::string name, bool compressed, int& classNumber, int& side) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (compressed) name.erase(name.size() - 4);
    const bool dotted = name.size() > 4 && name[name.size() - 4] == '.';
    if (name.size() < 4 || (!dotted && !compressed)) return false;
    const std::string extension = name.substr(name.size() - 3);
    if (extension != "nbw" && extension != "nbb") return false;
    side = extension == "nbw" ? 0 : 1;
    classNumber = findTablebaseClass(name.substr(0, name.size() - (dotted ? 4 : 3)).c_str());
    return classNumber != 0;
}

bool endsWith(const std::string& s, const char* tail) {
    const std::string t = tail;
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// The first byte that is no result, in a message, or empty.
std::string badByte(const uint8_t* data, int length, int64_t first, bool longResults) {
    for (int i = 0; i < length; ++i)
        if (!isResultByte(data[i], longResults))
            return "byte " + std::to_string(first + i) + " holds " + std::to_string(int(int8_t(data[i]))) +
                   ", not a result";
    return "";
}

// The fault of a plain file, or empty when it is whole.
std::string checkPlain(FILE* f, int64_t expected, bool longResults) {
    std::vector<uint8_t> chunk(1 << 16);
    int64_t length = 0;
    std::string fault;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
        if (fault.empty()) fault = badByte(chunk.data(), int(n), length, longResults);
        length += int64_t(n);
    }
    if (std::ferror(f)) return "read error after byte " + std::to_string(length);
    if (length != expected)
        return std::to_string(length) + " bytes, expected " + std::to_string(expected);
    return fault;
}

std::string checkCompressed(FILE* f, int64_t expected, bool longResults, CompressedWalk& walk) {
    std::string fault;
    walk = walkCompressedFile(f, [&](uint32_t block, const uint8_t* data, int length) {
        fault = badByte(data, length, int64_t(block) * CompressedBlockSize, longResults);
        if (!fault.empty()) fault = "block " + std::to_string(block) + ": " + fault;
        return fault.empty();
    });
    if (walk.error && walk.block < 0) return decodeErrorText(walk.error);
    if (walk.error)
        return "block " + std::to_string(walk.block) + " of " + std::to_string(walk.blocks) + ": " +
               decodeErrorText(walk.error);
    if (walk.blockSize != CompressedBlockSize)
        return "block size " + std::to_string(walk.blockSize) + ", not " + std::to_string(CompressedBlockSize);
    if (!fault.empty()) return fault;
    if (walk.length != expected)
        return "decodes to " + std::to_string(walk.length) + " bytes, expected " + std::to_string(expected);
    return "";
}

}  // namespace

std::string tableFileFault(const std::string& path, std::string& summary) {
    const bool compressed = endsWith(path, ".emd");
    int classNumber = 0, side = 0;
    if (!tableOfName(path, compressed, classNumber, side))
        return "not a table file name (<class>.nbw or .nbb, with .emd when compressed)";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "cannot open";
    const int64_t expected = tablebaseClasses[classNumber].size[side];
    CompressedWalk walk;
    const bool longResults = classMen(classNumber) == 5;
    const std::string fault =
        compressed ? checkCompressed(f, expected, longResults, walk) : checkPlain(f, expected, longResults);
    summary = compressed ? " (" + std::to_string(walk.blocks) + " blocks, " + std::to_string(expected) + " bytes)"
                         : " (" + std::to_string(expected) + " bytes)";
    std::fclose(f);
    return fault;
}

int runTbCheckCommand(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavik-tool tb check <file>...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string summary;
        const std::string fault = tableFileFault(argv[i], summary);
        if (fault.empty()) {
            std::printf("%s: ok%s\n", argv[i], summary.c_str());
        } else {
            std::printf("%s: %s\n", argv[i], fault.c_str());
            status = 1;
        }
        std::fflush(stdout);
    }
    return status;
}
