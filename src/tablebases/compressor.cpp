#include "tablebases/compressor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <queue>

#include "tablebases/decoder.h"
#include "tablebases/parallel.h"

namespace {

constexpr int BlockBits = 13;
constexpr int AuxSymbols = 64;
constexpr int Unit = 16;  // costs are in sixteenths of a bit

struct BitWriter {
    std::vector<uint8_t>& out;
    uint64_t pending = 0;
    int count = 0;

    void put(uint64_t value, int bits) {  // bits <= 32
        if (!bits) return;
        pending = pending << bits | (value & ((uint64_t(1) << bits) - 1));
        count += bits;
        while (count >= 8) {
            count -= 8;
            out.push_back(uint8_t(pending >> count));
        }
        pending &= (uint64_t(1) << count) - 1;
    }
    void flush() {
        if (count) out.push_back(uint8_t(pending << (8 - count)));
        pending = 0;
        count = 0;
    }
};

void putBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

// Huffman code lengths of at most 31 bits; one used symbol gets length 1.
std::vector<uint8_t> codeLengths(const std::vector<uint64_t>& frequency) {
    const int n = int(frequency.size());
    std::vector<uint64_t> f = frequency;
    std::vector<uint8_t> lengths(size_t(n), 0);
    for (;;) {
        using Node = std::pair<uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
        for (int s = 0; s < n; ++s)
            if (f[s]) heap.push({f[s], s});
        if (heap.size() <= 1) {
            if (!heap.empty()) lengths[size_t(heap.top().second)] = 1;
            return lengths;
        }
        std::vector<int> parent(2 * size_t(n), -1);
        int next = n;
        while (heap.size() > 1) {
            const Node a = heap.top();
            heap.pop();
            const Node b = heap.top();
            heap.pop();
            parent[size_t(a.second)] = parent[size_t(b.second)] = next;
            heap.push({a.first + b.first, next++});
        }
        std::vector<int> depth(size_t(next), 0);
        int deepest = 0;
        for (int i = next - 2; i >= 0; --i)
            if (parent[size_t(i)] >= 0) depth[size_t(i)] = depth[size_t(parent[size_t(i)])] + 1;
        for (int s = 0; s < n; ++s) {
            lengths[size_t(s)] = f[s] ? uint8_t(std::min(depth[size_t(s)], 255)) : 0;
            deepest = std::max(deepest, depth[size_t(s)]);
        }
        if (deepest <= 31) return lengths;
        for (auto& v : f)
            if (v) v = (v >> 1) | 1;  // flatten until the code is short enough
    }
}

// Canonical codes in the decoder's order; a lone symbol is written with no bits.
struct Code {
    std::vector<uint32_t> value;
    std::vector<uint8_t> bits;
    explicit Code(const std::vector<uint8_t>& lengths) : value(lengths.size()), bits(lengths) {
        int count[33] = {}, used = 0;
        for (uint8_t l : lengths)
            if (l) ++count[l], ++used;
        uint32_t next[33] = {}, code = 0;
        for (int l = 1; l <= 32; ++l) next[l] = code = (code + uint32_t(count[l - 1])) << 1;
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s]) value[s] = next[lengths[s]]++;
        if (used == 1) std::fill(bits.begin(), bits.end(), 0);
    }
    void put(BitWriter& w, int symbol) const { w.put(value[size_t(symbol)], bits[size_t(symbol)]); }
};

// Length code and extra bits of a match of length 1..8192.
struct LengthCode {
    int code, extraBits;
    uint32_t extra;
};
LengthCode lengthCode(int length) {
    if (length <= 15) return {length - 1, 0, 0};
    int e = 1;
    while ((2 << e) <= length - 14) ++e;
    return {14 + e, e, uint32_t(length - 14 - (1 << e))};
}

void writeCodeLengths(BitWriter& w, const std::vector<uint8_t>& lengths) {
    const int n = int(lengths.size());
    if (std::all_of(lengths.begin(), lengths.end(), [](uint8_t l) { return l == 0; })) {
        w.put(1, 1);
        return;
    }
    w.put(0, 1);
    if (n <= 128) {
        const int longest = *std::max_element(lengths.begin(), lengths.end());
        int width = 0;
        while ((1 << width) <= longest) ++width;
        w.put(uint32_t(width), 5);
        for (int i = 0; i < n;) {
            w.put(lengths[size_t(i)], width);
            if (lengths[size_t(i++)]) continue;
            int run = 0;
            while (run < 15 && i + run < n && lengths[size_t(i + run)] == 0) ++run;
            w.put(uint32_t(run), 4);
            i += run;
        }
        return;
    }
    // Runs of three or more equal lengths become (length + 32, count - 2).
    struct Token {
        int value, count;
    };
    std::vector<Token> tokens;
    std::vector<uint64_t> valueFrequency(AuxSymbols, 0), countFrequency(AuxSymbols, 0);
    auto countSymbol = [](uint64_t c) {
        if (c <= 31) return LengthCode{int(c), 0, 0};
        int e = 0;
        while ((uint64_t(2) << e) <= c - 31) ++e;
        return LengthCode{32 + e, e, uint32_t(c - 31 - (uint64_t(1) << e))};
    };
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && lengths[size_t(i + run)] == lengths[size_t(i)]) ++run;
        if (run >= 3) {
            tokens.push_back({lengths[size_t(i)] + 32, run - 2});
            ++valueFrequency[size_t(lengths[size_t(i)] + 32)];
            ++countFrequency[size_t(countSymbol(uint64_t(run - 2)).code)];
        } else {
            for (int r = 0; r < run; ++r) tokens.push_back({lengths[size_t(i)], 0});
            valueFrequency[lengths[size_t(i)]] += uint64_t(run);
        }
        i += run;
    }
    std::vector<uint8_t> aux = codeLengths(valueFrequency);
    const std::vector<uint8_t> countLengths = codeLengths(countFrequency);
    aux.insert(aux.end(), countLengths.begin(), countLengths.end());
    writeCodeLengths(w, aux);
    const Code values(std::vector<uint8_t>(aux.begin(), aux.begin() + AuxSymbols));
    const Code counts(countLengths);
    for (const Token& t : tokens) {
        values.put(w, t.value);
        if (t.value < 32) continue;
        const LengthCode c = countSymbol(uint64_t(t.count));
        counts.put(w, c.code);
        w.put(c.extra, c.extraBits);
    }
}

// The 24 distances that the longest matches of a sample of blocks use most.
std::vector<int> chooseDistances(const uint8_t* data, size_t size) {
    const size_t blocks = (size + CompressedBlockSize - 1) / CompressedBlockSize;
    const size_t step = std::max<size_t>(1, blocks / 64);
    std::vector<uint64_t> weight(CompressedBlockSize, 0);
    std::vector<int> head(1 << 12), previous(CompressedBlockSize);
    for (size_t b = 0; b < blocks; b += step) {
        const uint8_t* block = data + b * CompressedBlockSize;
        const int length = int(std::min<size_t>(CompressedBlockSize, size - b * CompressedBlockSize));
        std::fill(head.begin(), head.end(), -1);
        auto hash = [&](int p) { return (block[p] * 506832829u ^ block[p + 1] * 2654435761u ^ block[p + 2]) >> 20 & 4095; };
        auto insert = [&](int p) {
            if (p + 2 >= length) return;
            const uint32_t h = hash(p);
            previous[size_t(p)] = head[h];
            head[h] = p;
        };
        for (int p = 0; p < length;) {
            int best = 0, bestFrom = -1;
            if (p + 2 < length) {
                int chain = 32;
                for (int q = head[hash(p)]; q >= 0 && chain--; q = previous[size_t(q)]) {
                    int l = 0;
                    while (p + l < length && block[q + l] == block[p + l]) ++l;
                    if (l > best) best = l, bestFrom = q;
                }
            }
            if (best >= 3) {
                weight[size_t(p - bestFrom)] += uint64_t(best - 2);
                for (int i = 0; i < best; ++i) insert(p + i);
                p += best;
            } else {
                insert(p++);
            }
        }
    }
    std::vector<int> order;
    for (int d = 1; d < CompressedBlockSize; ++d)
        if (weight[size_t(d)]) order.push_back(d);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight[size_t(a)] > weight[size_t(b)]; });
    if (order.size() > MatchDistances) order.resize(MatchDistances);
    for (int d = 1; order.size() < MatchDistances; ++d)
        if (std::find(order.begin(), order.end(), d) == order.end()) order.push_back(d);
    std::sort(order.begin(), order.end());
    return order;
}

struct Costs {
    int symbol[MainSymbols];
};

// A match: what it saves against literals, its distance slot and length.
struct Choice {
    int64_t gain;
    int slot, length;
};

// Bytes a and b have in common from the start, at most limit: eight at a
// time, since the runs of equal results in a table are long.
int commonLength(const uint8_t* a, const uint8_t* b, int limit) {
    int l = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; l + 8 <= limit; l += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + l, 8);
            std::memcpy(&y, b + l, 8);
            if (x != y) return l + std::countr_zero(x ^ y) / 8;
        }
    }
    while (l < limit && a[l] == b[l]) ++l;
    return l;
}

// The match (over the 24 distances) at p that saves most against literals.
Choice bestMatch(const uint8_t* block, int length, int p, const std::vector<int>& distances, const Costs& costs,
                 const std::vector<int64_t>& literalCost) {
    Choice best{0, -1, 0};
    for (int slot = 0; slot < MatchDistances; ++slot) {
        const int d = distances[size_t(slot)];
        if (d > p) continue;
        const int l = commonLength(block + p, block + p - d, length - p);
        if (!l) continue;
        const LengthCode c = lengthCode(l);
        const int64_t gain = literalCost[size_t(p + l)] - literalCost[size_t(p)] -
                             (costs.symbol[256 + slot * 32 + c.code] + c.extraBits * Unit);
        if (gain > best.gain) best = {gain, slot, l};
    }
    return best;
}

// Cost-driven parse of one block: the best match, unless a literal followed
// by the best match one byte on saves more. emit(symbol, extra bits, extra value).
template <typename Emit>
void parseBlock(const uint8_t* block, int length, const std::vector<int>& distances, const Costs& costs, Emit emit) {
    std::vector<int64_t> literalCost(size_t(length) + 1, 0);
    for (int p = 0; p < length; ++p) literalCost[size_t(p + 1)] = literalCost[size_t(p)] + costs.symbol[block[p]];
    Choice next = bestMatch(block, length, 0, distances, costs, literalCost);
    for (int p = 0; p < length;) {
        const Choice here = next;
        next = p + 1 < length ? bestMatch(block, length, p + 1, distances, costs, literalCost) : Choice{0, -1, 0};
        if (here.slot < 0 || (next.gain > here.gain && next.length > here.length)) {
            emit(block[p++], 0, 0u);
            continue;
        }
        const LengthCode c = lengthCode(here.length);
        emit(256 + here.slot * 32 + c.code, c.extraBits, c.extra);
        p += here.length;
        if (p < length) next = bestMatch(block, length, p, distances, costs, literalCost);
    }
}

}  // namespace

std::vector<uint8_t> compressTablebase(const uint8_t* data, size_t size, int threads) {
    const size_t blocks = (size + CompressedBlockSize - 1) / CompressedBlockSize;
    auto blockLength = [&](size_t b) { return int(std::min<size_t>(CompressedBlockSize, size - b * CompressedBlockSize)); };
    const std::vector<int> distances = chooseDistances(data, size);
    // Blocks a thread takes at a time: a few tasks per thread even for a
    // small file, at most 128 KB for a large one.
    const uint64_t perTask = std::clamp<uint64_t>(blocks / (8 * uint64_t(std::max(1, threads))), 1, 16);

    // First costs: literals by their byte entropy, matches a flat 12 bits.
    Costs costs;
    std::vector<uint64_t> histogram(256, 0);
    for (size_t i = 0; i < size; ++i) ++histogram[data[i]];
    for (int s = 0; s < 256; ++s)
        costs.symbol[s] = histogram[size_t(s)] ? int(Unit * std::log2(double(size) / double(histogram[size_t(s)]))) + 1 : 24 * Unit;
    for (int s = 256; s < MainSymbols; ++s) costs.symbol[s] = 12 * Unit;

    // Two rounds of parse and code, the second parse priced by the first
    // code. Blocks are parsed independently and the counts are sums, so the
    // code does not depend on how the blocks were shared out.
    std::vector<uint8_t> lengths;
    for (int round = 0; round < 2; ++round) {
        std::vector<uint64_t> frequency(MainSymbols, 0);
        std::mutex merge;
        tbgen::parallelFor(threads, blocks, perTask, [&](uint64_t begin, uint64_t end) {
            std::vector<uint64_t> counted(MainSymbols, 0);
            for (size_t b = begin; b < end; ++b)
                parseBlock(data + b * CompressedBlockSize, blockLength(b), distances, costs,
                           [&](int symbol, int, uint32_t) { ++counted[size_t(symbol)]; });
            const std::lock_guard<std::mutex> lock(merge);
            for (int s = 0; s < MainSymbols; ++s) frequency[size_t(s)] += counted[size_t(s)];
        });
        lengths = codeLengths(frequency);
        if (round == 0)
            for (int s = 0; s < MainSymbols; ++s) costs.symbol[s] = lengths[size_t(s)] ? lengths[size_t(s)] * Unit : 24 * Unit;
    }
    const Code code(lengths);

    std::vector<std::vector<uint8_t>> coded(blocks);
    std::vector<uint32_t> checksums(2 * blocks);  // decoded, compressed
    tbgen::parallelFor(threads, blocks, perTask, [&](uint64_t begin, uint64_t end) {
        for (size_t b = begin; b < end; ++b) {
            const uint8_t* block = data + b * CompressedBlockSize;
            const int length = blockLength(b);
            std::vector<uint8_t>& out = coded[b];
            BitWriter w{out};
            parseBlock(block, length, distances, costs, [&](int symbol, int extraBits, uint32_t extra) {
                code.put(w, symbol);
                w.put(extra, extraBits);
            });
            w.flush();
            if (out.empty()) out.push_back(0);  // a length field of 0 would mean a full block
            if (out.size() >= size_t(length)) out.assign(block, block + length);
            checksums[2 * b] = blockChecksum(block, size_t(length));
            checksums[2 * b + 1] = blockChecksum(out.data(), out.size());
        }
    });

    std::vector<uint8_t> file(compressedBanner, compressedBanner + BannerLength);
    putBigEndian32(file, 0);  // header length, set below
    file.insert(file.end(), {0, 0, uint8_t(BlockBits), uint8_t(MatchDistances)});
    putBigEndian32(file, uint32_t(blocks));
    putBigEndian32(file, HeaderConstant);
    for (uint32_t sum : checksums) putBigEndian32(file, sum);
    BitWriter w{file};
    for (size_t b = 0; b < blocks; ++b) w.put(coded[b].size() & (CompressedBlockSize - 1), BlockBits);
    w.put(uint32_t(blockLength(blocks - 1)) & (CompressedBlockSize - 1), BlockBits);
    for (int d : distances) w.put(uint32_t(d), BlockBits);
    w.flush();
    writeCodeLengths(w, lengths);
    w.flush();
    const uint32_t headerLength = uint32_t(file.size() + 4);
    for (int i = 0; i < 4; ++i) file[size_t(64 + i)] = uint8_t(headerLength >> (24 - 8 * i));
    putBigEndian32(file, blockChecksum(file.data(), file.size()));
    for (const auto& block : coded) file.insert(file.end(), block.begin(), block.end());
    return file;
}
