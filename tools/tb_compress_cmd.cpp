#include "tb_compress_cmd.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tablebases/compressor.h"
#include "tablebases/decoder.h"
#include "tb_check_cmd.h"

namespace {

// The whole file, or false when it cannot be opened or read.
bool readWhole(const std::string& path, std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(f) : -1;
    ok = length >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(size_t(length));
        ok = std::fread(data.data(), 1, data.size(), f) == data.size();
    }
    std::fclose(f);
    return ok;
}

// Reads a compressed file back through the engine's decoder, checksums
// included: true when it holds exactly data.
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

bool exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// An existing <file>.emd counts as done when it decodes to the file's bytes,
// or, with the plain file gone, when it is whole as tb check proves it: a
// rerun of a set resumes where it stopped and redoes a stale or damaged one.
bool alreadyCompressed(const std::string& out, const std::vector<uint8_t>* data) {
    if (data) return decodesTo(out, *data);
    std::string summary;
    return tableFileFault(out, summary).empty();
}

// Compresses one file into <path>.emd; false with a message on stderr.
bool compressFile(const std::string& path, int threads, bool force) {
    const std::string out = path + ".emd";
    std::vector<uint8_t> data;
    const bool readable = readWhole(path, data) && !data.empty();
    if (!force && exists(out)) {
        if (alreadyCompressed(out, readable ? &data : nullptr)) {
            std::printf("%s: already compressed, skipped\n", out.c_str());
            return true;
        }
        std::fprintf(stderr, "%s: damaged, unfinished or stale: compressed again\n", out.c_str());
    }
    if (!readable) {
        std::fprintf(stderr, "%s: cannot read, or empty\n", path.c_str());
        return false;
    }
    const std::vector<uint8_t> image = compressTablebase(data.data(), data.size(), threads);
    // Written under another name and renamed once checked, so that an
    // interrupted run never leaves a partial file that looks finished.
    const std::string temporary = out + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    bool ok = f && std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok || !decodesTo(temporary, data) || std::rename(temporary.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "%s: writing or checking failed\n", out.c_str());
        std::remove(temporary.c_str());
        return false;
    }
    std::printf("%s: %zu -> %zu bytes (%.1f%%)\n", out.c_str(), data.size(), image.size(),
                100.0 * double(image.size()) / double(data.size()));
    return true;
}

}  // namespace

int runTbCompressCommand(const std::vector<std::string>& files, int threads, bool force) {
    int status = 0;
    for (const std::string& path : files) {
        if (!compressFile(path, threads, force)) status = 1;
        std::fflush(stdout);
    }
    return status;
}
