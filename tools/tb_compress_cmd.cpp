#include "tb_compress_cmd.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "tablebases/compressor.h"
#include "tablebases/decoder.h"
#include "tb_check_cmd.h"

namespace {

bool readWhole(const char* path, std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Reads the written file back through the engine's decoder.
bool decodesTo(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const CompressedWalk walk = walkCompressedFile(f, [&](uint32_t block, const uint8_t* bytes, int length) {
        const size_t from = size_t(block) * CompressedBlockSize;
        return from + size_t(length) <= data.size() && std::equal(bytes, bytes + length, data.begin() + int64_t(from));
    });
    std::fclose(f);
    return walk.error == 0 && !walk.stopped && walk.length == int64_t(data.size());
}

}  // namespace

int runTbCompressCommand(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavik-tool tb compress <file>...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<uint8_t> data;
        if (!readWhole(argv[i], data) || data.empty()) {
            std::fprintf(stderr, "%s: cannot read, or empty\n", argv[i]);
            status = 1;
            continue;
        }
        const std::vector<uint8_t> image = compressTablebase(data.data(), data.size());
        const std::string out = std::string(argv[i]) + ".emd";
        FILE* f = std::fopen(out.c_str(), "wb");
        const bool written = f && std::fwrite(image.data(), 1, image.size(), f) == image.size();
        if (f && std::fclose(f) != 0) f = nullptr;
        if (!written || !f || !decodesTo(out, data)) {
            std::fprintf(stderr, "%s: writing or checking failed\n", out.c_str());
            std::remove(out.c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %zu -> %zu bytes (%.1f%%)\n", out.c_str(), data.size(), image.size(),
                    100.0 * double(image.size()) / double(data.size()));
    }
    return status;
}
