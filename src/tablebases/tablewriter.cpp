// Writing generated tables as plain files, one byte per index of the class.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <cstdio>
#include <string>
#include <vector>

#include "tablebases/classes.h"
#include "tablebases/generator.h"
#include "tablebases/parallel.h"
#include "tablebases/registry.h"

namespace tbgen {

namespace {

std::string placementText(const Table& table, const int* sq, int side, int ep) {
    std::string text;
    for (int i = 0; i < table.material.count; ++i) {
        const char letter = "?pnbrqk"[table.material.piece[i]];
        text += table.material.colour[i] ? letter : char(std::toupper(letter));
        text += char('a' + (sq[i] & 7));
        text += char('1' + (sq[i] >> 3));
        text += ' ';
    }
    text += side ? "black to move" : "white to move";
    if (ep < 64) text += std::string(" en passant ") + char('a' + (ep & 7)) + char('1' + (ep >> 3));
    return text;
}

// Each file index of a position lost in more moves than a byte holds, once
// (mirror images share it): the probe gives the right score only to its own
// fixed indices.
void reportOverlong(const TablebaseClass& row, int side, std::vector<std::pair<int64_t, std::string>>& at) {
    std::sort(at.begin(), at.end());
    for (size_t k = 0; k < at.size(); ++k) {
        if (k > 0 && at[k].first == at[k - 1].first) continue;
        const bool known = row.number == KppkpClass && side == 1 &&
                           std::find(std::begin(KppkpOverlongLosses), std::end(KppkpOverlongLosses), at[k].first) !=
                               std::end(KppkpOverlongLosses);
        std::printf("%s: over-long loss in %d moves at index %lld (%s): %s\n", row.name, OverlongLossMoves,
                    (long long)at[k].first, at[k].second.c_str(),
                    known ? "the probe's fixed score" : "NOT among the probe's fixed indices");
    }
}

}  // namespace

bool writeTableFiles(const std::string& dir, const Table& table, std::string& error, int threads) {
    buildIndexTables();
    const int c = findTablebaseClass(table.material.name.c_str());
    if (c == 0) {
        error = table.material.name + " is not a tablebase class";
        return false;
    }
    const TablebaseClass& row = tablebaseClasses[c];
    const int n = table.material.count;
    int kingB = 1;
    while (table.material.colour[kingB] == 0) ++kingB;
    for (int side = 0; side < 2; ++side) {
        const int64_t size = row.size[side];
        // NoPosition marks an index not yet written: no stored result is
        // NoPosition. Threads claim an index by exchanging it for the result.
        std::vector<int8_t> bytes(size_t(size), NoPosition);
        std::mutex merge;  // guards error and overlongAt
        std::atomic<bool> failed{false};
        std::vector<std::pair<int64_t, std::string>> overlongAt;
        auto fail = [&](const std::string& message) {
            const std::lock_guard<std::mutex> lock(merge);
            if (!failed.exchange(true)) error = table.material.name + ": " + message;
            return false;
        };
        // Every stored position stands for all its mirror images, which the
        // index function maps to the same index. overlong: the position is
        // lost in OverlongLossMoves, noted in found.
        auto place = [&](const int* sq, int ep, int8_t value, bool overlong,
                         std::vector<std::pair<int64_t, std::string>>& found) {
            int lists[2][16] = {};
            int slot[2] = {0, 0};
            for (int i = 0; i < n; ++i) lists[table.material.colour[i]][slot[table.material.colour[i]]++] = sq[i];
            const int64_t index = row.indexFunction[side](lists[0], lists[1], ep, 0);
            if (index < 0 || index >= size)
                return fail("index " + std::to_string(index) + " outside the file for " +
                            placementText(table, sq, side, ep));
            int8_t before = NoPosition;
            if (!std::atomic_ref<int8_t>(bytes[size_t(index)]).compare_exchange_strong(before, value,
                                                                                       std::memory_order_relaxed) &&
                before != value)
                return fail("two positions with different results share index " + std::to_string(index) +
                            ", one of them " + placementText(table, sq, side, ep));
            if (overlong) found.emplace_back(index, placementText(table, sq, side, ep));
            return true;
        };
        // The index functions keep some mirror images apart: without pawns,
        // those with both kings on one long diagonal. Each gets its entry.
        auto placeImages = [&](const int* sq, int ep, int8_t value, bool overlong,
                               std::vector<std::pair<int64_t, std::string>>& found) {
            const int a = sq[0], b = sq[kingB];
            const bool diagonal = ((a & 7) == (a >> 3) && (b & 7) == (b >> 3)) ||
                                  ((a & 7) + (a >> 3) == 7 && (b & 7) + (b >> 3) == 7);
            const int images = table.material.pawns ? 2 : diagonal ? 8 : 1;
            for (int g = 0; g < images; ++g) {
                int image[MaxMen];
                const int mask = table.material.pawns ? 7 * g : (g & 1 ? 7 : 0) | (g & 2 ? 56 : 0);
                for (int i = 0; i < n; ++i) {
                    image[i] = sq[i] ^ mask;
                    if (g & 4) image[i] = ((image[i] & 7) << 3) | (image[i] >> 3);
                }
                if (!place(image, ep < 64 ? ep ^ mask : ep, value, overlong, found)) return false;
            }
            return true;
        };
        const std::vector<int8_t>& result = table.result[side];
        const std::vector<uint64_t>& overlong = table.overlong[side];
        parallelFor(threads, table.positions, 1 << 16, [&](uint64_t begin, uint64_t end) {
            std::vector<std::pair<int64_t, std::string>> found;
            int sq[MaxMen] = {};
            for (uint64_t i = begin; i < end && !failed.load(std::memory_order_relaxed); ++i) {
                if (result[i] == NoPosition) continue;
                table.squaresOf(i, sq);
                const bool isOverlong =
                    result[i] == LongLossByte && std::binary_search(overlong.begin(), overlong.end(), i);
                if (!placeImages(sq, NoEnPassant, result[i], isOverlong, found)) return;
            }
            const std::lock_guard<std::mutex> lock(merge);
            overlongAt.insert(overlongAt.end(), found.begin(), found.end());
        });
        int sq[MaxMen] = {};
        for (size_t k = 0; k < table.epKey[side].size() && !failed; ++k) {
            const uint64_t key = table.epKey[side][k];
            table.squaresOf(key >> 6, sq);
            const bool isOverlong = std::binary_search(table.overlongEp[side].begin(), table.overlongEp[side].end(), key);
            placeImages(sq, int(key & 63), table.epResult[side][k], isOverlong, overlongAt);
        }
        if (failed) return false;
        reportOverlong(row, side, overlongAt);
        const std::string path = dir + "/" + table.material.name + (side ? ".nbb" : ".nbw");
        const std::string temporary = path + ".part";
        FILE* f = std::fopen(temporary.c_str(), "wb");
        bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) ok = std::fclose(f) == 0 && ok;
        if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::remove(temporary.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

}  // namespace tbgen
