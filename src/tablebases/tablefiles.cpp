#include "tablebases/tablefiles.h"

#include "tablebases/classes.h"
#include "tablebases/decoder.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void adviseHugePages(const void* data, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t Page = 4096;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + Page - 1) & ~(Page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(Page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

CompressedWalk walkCompressedFile(FILE* file, const std::function<bool(uint32_t, const uint8_t*, int)>& visit,
                                  bool checking) {
    CompressedWalk walk;
    DecoderHeader* header = nullptr;
    if ((walk.error = openCompressedFile(file, checking, &header)) != 0) return walk;
    walk.blocks = header->blocks;
    walk.length = decodedLength(header);
    walk.blockSize = header->blockSize;
    auto state = std::make_unique<DecodeState>();
    state->valid = true;
    std::vector<uint8_t> block(size_t(header->blockSize) + 36);  // the decoder writes past the end
    for (uint32_t b = 0; b < header->blocks && !walk.stopped; ++b) {
        walk.block = b;
        if ((walk.error = readCompressedBlock(*state, header, file, b)) != 0 ||
            (walk.error = decodeCompressedBlock(*state, block.data(), state->expected)) != 0)
            break;
        walk.stopped = !visit(b, block.data(), state->expected);
    }
    freeDecoderHeader(header);
    return walk;
}

std::string tableFilePath(const std::string& dir, int classNumber, int side) {
    return dir + "/" + ClassTable[classNumber].name + (side ? ".nbb" : ".nbw");
}

namespace {

int64_t plainLength(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    const int64_t length = std::fseek(f, 0, SEEK_END) == 0 ? int64_t(std::ftell(f)) : -1;
    std::fclose(f);
    return length;
}

// Decoded length by the header of the compressed form, or -1.
int64_t compressedLength(const std::string& path) {
    FILE* f = std::fopen((path + ".emd").c_str(), "rb");
    if (!f) return -1;
    DecoderHeader* header = nullptr;
    const int64_t length = openCompressedFile(f, false, &header) == 0 ? decodedLength(header) : -1;
    freeDecoderHeader(header);
    std::fclose(f);
    return length;
}

}  // namespace

bool classFileComplete(const std::string& dir, int classNumber, int side) {
    const std::string path = tableFilePath(dir, classNumber, side);
    const int64_t size = ClassTable[classNumber].size[side];
    return plainLength(path) == size || compressedLength(path) == size;
}

bool classFilesComplete(const std::string& dir, int classNumber) {
    return classFileComplete(dir, classNumber, 0) && classFileComplete(dir, classNumber, 1);
}

bool readClassFile(const std::string& dir, int classNumber, int side, std::vector<int8_t>& bytes,
                   std::string& error) {
    const std::string path = tableFilePath(dir, classNumber, side);
    const size_t size = size_t(ClassTable[classNumber].size[side]);
    // Read whole rather than mapped: the generator reads it at random, and in
    // huge pages that costs no page-table walk per read.
    std::vector<int8_t>().swap(bytes);
    bytes.reserve(size);
    adviseHugePages(bytes.data(), size);
    if (plainLength(path) == int64_t(size)) {
        FILE* f = std::fopen(path.c_str(), "rb");
        bytes.resize(size);
        const bool read = f && std::fread(bytes.data(), 1, size, f) == size;
        if (f) std::fclose(f);
        if (read) return true;
    } else if (FILE* f = std::fopen((path + ".emd").c_str(), "rb")) {
        const CompressedWalk walk = walkCompressedFile(
            f,
            [&](uint32_t, const uint8_t* data, int length) {
                bytes.insert(bytes.end(), data, data + length);
                return bytes.size() <= size;
            },
            false);
        std::fclose(f);
        if (walk.error == 0 && bytes.size() == size) return true;
    }
    std::vector<int8_t>().swap(bytes);
    error = "cannot read " + path + " (plain or compressed) at its full size";
    return false;
}

bool ClassFilesSet::hold(const std::string& dir, const std::vector<std::pair<int, int>>& wanted, std::string& error) {
    keepOnly(wanted);
    for (auto [c, side] : wanted)
        if (bytes[c][side].empty() && !readClassFile(dir, c, side, bytes[c][side], error)) return false;
    return true;
}

void ClassFilesSet::keepOnly(const std::vector<std::pair<int, int>>& wanted) {
    for (int c = 0; c < TablebaseClassCount; ++c)
        for (int side = 0; side < 2; ++side)
            if (std::find(wanted.begin(), wanted.end(), std::pair{c, side}) == wanted.end())
                std::vector<int8_t>().swap(bytes[c][side]);
}
