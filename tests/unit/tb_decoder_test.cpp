#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tablebases/compressor.h"
#include "tablebases/decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void putBig(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
// Puts the right header checksum into an image.
void resign(Bytes& image) {
    const size_t h = size_t(image[66]) << 8 | image[67];  // headers here are short
    putBig(image, h - 4, blockChecksum(image.data(), h - 4));
}

struct Bits {  // most significant bit first
    std::vector<bool> bits;
    Bits& put(uint32_t v, int n) {
        while (n--) bits.push_back((v >> n) & 1);
        return *this;
    }
    Bytes done() const {
        Bytes out((bits.size() + 7) / 8);
        for (size_t i = 0; i < bits.size(); ++i) out[i / 8] |= uint8_t(bits[i] << (7 - i % 8));
        return out;
    }
};

// Code lengths of the big alphabet, one by one through a value code in which
// every symbol is 6 bits long (the count code is unused but complete).
Bytes mainLengths(const std::vector<int>& lengths) {
    Bits b;
    b.put(0, 1).put(0, 1).put(3, 5);
    for (int i = 0; i < 128; ++i) b.put(6, 3);
    for (int l : lengths) b.put(uint32_t(l), 6);
    return b.done();
}
const std::vector<int> flat10(1024, 10);  // every symbol's code is its number in 10 bits

// A file image with the given compressed blocks, last decoded length field,
// distances and code-length section; its header checksum is right.
Bytes buildFile(const std::vector<Bytes>& blocks, int lastField, const std::vector<int>& distances,
                const Bytes& lengths) {
    Bits f;
    for (const char* c = "Compressed by DATACOMP v 1.0 (c) 1991--1998 Andrew Kadatch\r\n"; *c; ++c) f.put(uint8_t(*c), 8);
    f.put(0, 32).put(0, 32).put(0x0D18, 32).put(uint32_t(blocks.size()), 32).put(0x004001F5, 32);
    for (size_t i = 0; i < 2 * blocks.size(); ++i) f.put(0, 32);
    for (const Bytes& b : blocks) f.put(uint32_t(b.size() % 8192), 13);
    f.put(uint32_t(lastField), 13);
    for (size_t i = 0; i < 24; ++i) f.put(uint32_t(i < distances.size() ? distances[i] : 1), 13);
    Bytes image = f.done();
    image.insert(image.end(), lengths.begin(), lengths.end());
    image.resize(image.size() + 4);
    putBig(image, 64, uint32_t(image.size()));
    resign(image);
    for (const Bytes& b : blocks) image.insert(image.end(), b.begin(), b.end());
    return image;
}

struct Opened {
    FILE* file = std::tmpfile();
    DecoderHeader* header = nullptr;
    std::unique_ptr<DecodeState> state = std::make_unique<DecodeState>();
    int error;
    explicit Opened(const Bytes& image, bool checking = false) {
        std::fwrite(image.data(), 1, image.size(), file);
        state->valid = true;
        error = openCompressedFile(file, checking, &header);
    }
    ~Opened() {
        freeDecoderHeader(header);
        std::fclose(file);
    }
    // The whole block, or the error code as text.
    std::string block(uint32_t b) {
        std::string out(8192 + 36, '\0');
        int e = readCompressedBlock(*state, header, file, b);
        if (!e) e = decodeCompressedBlock(*state, reinterpret_cast<uint8_t*>(out.data()), state->expected);
        return e ? "error " + std::to_string(e) : out.substr(0, size_t(state->expected));
    }
};

TEST(TablebaseDecoder, ChecksumAndStoredBlocks) {
    EXPECT_EQ(blockChecksum(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x20d421b6u);
    EXPECT_EQ(blockChecksum(reinterpret_cast<const uint8_t*>(""), 1), 0x2d02ef8du);

    // Compressed length equal to the decoded one: copied as it is; no code at all.
    Opened stored(buildFile({Bytes(8192, 'x'), Bytes{'h', 'e', 'l', 'l', 'o'}}, 5, {}, Bytes{0x80}));
    ASSERT_EQ(stored.error, 0);
    EXPECT_EQ(decodedLength(stored.header), 8197);
    EXPECT_EQ(stored.block(1), "hello");
    EXPECT_EQ(stored.block(0), std::string(8192, 'x'));
    EXPECT_EQ(stored.block(2), "error 215815");
}

TEST(TablebaseDecoder, MatchesAndLengthCodes) {
    // 'a', then distance slot 0 (1 back) with code 26 and 12 extra bits: 8191
    // more bytes; a last-block field of 0 stands for 8192.
    Opened full(buildFile({Bits().put('a', 10).put(256 + 26, 10).put(8177 - 4096, 12).done()}, 0, {1},
                          mainLengths(flat10)));
    ASSERT_EQ(full.error, 0);
    EXPECT_EQ(full.block(0), std::string(8192, 'a'));

    // Codes 3, 14, 15 + bit 0 and 15 + bit 1 copy 4, 15, 16 and 17 bytes, a
    // literal after each; slot 1 is 5 back, so copies overlap their output.
    Bits b;
    std::string expected = "abcde";
    for (char c : expected) b.put(uint32_t(c), 10);
    const int codes[] = {3, 14, 15, 15}, extra[] = {0, 0, 0, 1}, lengths[] = {4, 15, 16, 17};
    for (int i = 0; i < 4; ++i) {
        b.put(256 + 32 + uint32_t(codes[i]), 10);
        if (codes[i] == 15) b.put(uint32_t(extra[i]), 1);
        for (int n = 0; n < lengths[i]; ++n) expected += expected[expected.size() - 5];
        b.put(uint32_t('V' + i), 10);
        expected += char('V' + i);
    }
    Opened matches(buildFile({b.done()}, int(expected.size()), {1, 5}, mainLengths(flat10)));
    EXPECT_EQ(matches.block(0), expected);

    // A match cut where the requested output ends goes on at the next call.
    ASSERT_EQ(readCompressedBlock(*matches.state, matches.header, matches.file, 0), 0);
    std::string out(expected.size() + 36, '\0');
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    EXPECT_EQ(decodeCompressedBlock(*matches.state, o, 12), 0);
    EXPECT_EQ(matches.state->pendingLength, 13);
    EXPECT_EQ(decodeCompressedBlock(*matches.state, o, 12), 225799);
    EXPECT_EQ(decodeCompressedBlock(*matches.state, o, int(expected.size()) + 1), 225799);
    EXPECT_EQ(decodeCompressedBlock(*matches.state, o, int(expected.size())), 0);
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(decodeCompressedBlock(*matches.state, o, int(expected.size())), 225031);

    // A match reaching before the block or past its end: broken.
    Opened early(buildFile({Bits().put('a', 10).put(256 + 32, 10).done()}, 6, {1, 5}, mainLengths(flat10)));
    EXPECT_EQ(early.block(0), "error 227846");
    Opened late(buildFile({Bits().put('a', 10).put(256 + 3, 10).done()}, 4, {1}, mainLengths(flat10)));
    EXPECT_EQ(late.block(0), "error 227846");
}

TEST(TablebaseDecoder, HuffmanCodes) {
    // Lengths 1..15 and two of 16: the longest go through the overflow tree.
    std::vector<int> lengths(1024, 0);
    for (int s = 0; s < 15; ++s) lengths[size_t(s)] = s + 1;
    lengths[15] = lengths[16] = 16;
    Bits b;
    for (int s : {16, 0, 14, 15, 13, 1}) b.put(s < 15 ? (2u << s) - 2 : 0xFFFEu + uint32_t(s - 15), lengths[size_t(s)]);
    Opened tree(buildFile({b.done()}, 6, {}, mainLengths(lengths)));
    ASSERT_EQ(tree.error, 0);
    EXPECT_EQ(tree.block(0), std::string("\x10\x00\x0e\x0f\x0d\x01", 6));

    // One used symbol of length 1 costs no bits; with none, everything is symbol 0.
    std::vector<int> single(1024, 0);
    single['q'] = 1;
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 3, {}, mainLengths(single))).block(0), "qqq");
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 2, {}, Bytes{0x80})).block(0), std::string(2, '\0'));
    single['q'] = 2;
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 3, {}, mainLengths(single))).error, 197894);
    std::vector<int> incomplete(1024, 0);
    incomplete[0] = incomplete[1] = 2;
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 3, {}, mainLengths(incomplete))).error, 197894);
    // Runs past the end: of the auxiliary lengths (5 zeros after the 127th),
    // of the big alphabet (a count of 2^9 + 511 + 33).
    Bits aux, main;
    aux.put(0, 1).put(0, 1).put(3, 5);
    main.put(0, 1).put(0, 1).put(3, 5);
    for (int i = 0; i < 128; ++i) aux.put(6, i < 127 ? 3 : 0), main.put(6, 3);
    aux.put(0, 3).put(5, 4);
    main.put(32, 6).put(41, 6).put(511, 9);
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 3, {}, aux.done())).error, 196102);
    EXPECT_EQ(Opened(buildFile({Bytes{0}}, 3, {}, main.done())).error, 196102);
}

TEST(TablebaseDecoder, HeaderAndBlockErrors) {
    const Bytes good = buildFile({Bytes{'o', 'k'}}, 2, {}, Bytes{0x80});
    ASSERT_EQ(Opened(good).error, 0);
    struct {
        size_t offset;
        uint8_t value;
        int code;
    } cases[] = {
        {3, 'X', 173826},            // banner
        {67, 83, 176134},            // header length below 84
        {70, 17, 176134},            // block size above 2^16
        {67, 0xF0, 179717},          // header longer than the file
        {71, 23, 176902},            // distance count
        {79, 0xF4, 177670},          // constant
        {80, 1, 181510},             // under the header checksum
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        bad[c.offset] = c.value;
        EXPECT_EQ(Opened(bad).error, c.code) << "offset " << c.offset;
    }
    EXPECT_EQ(Opened(Bytes(good.begin(), good.begin() + 79)).error, 173058);
    EXPECT_EQ(openCompressedFile(nullptr, false, nullptr), 171271);

    Opened truncated(Bytes(good.begin(), good.end() - 1));
    ASSERT_EQ(truncated.error, 0);
    EXPECT_EQ(truncated.block(0), "error 218626");
    truncated.state->valid = false;
    EXPECT_EQ(truncated.block(0), "error 215047");

    // Per-block checksums are only checked on request.
    Bytes image = good;
    image[84] ^= 1;
    resign(image);
    EXPECT_EQ(Opened(image).block(0), "ok");
    EXPECT_EQ(Opened(image, true).block(0), "error 219142");
}

TEST(TablebaseDecoder, CompressorRoundTrip) {
    std::mt19937 random(7);
    Bytes noise(3 * 8192 + 100), pattern(5 * 8192);
    for (auto& v : noise) v = uint8_t(random());
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t(random() % 16 ? (i / 64 + i % 8) % 5 : random() % 200);
    const Bytes inputs[] = {Bytes(20000, 0), Bytes(8192, 127), Bytes(16384, 3), noise, pattern, Bytes{9}};
    for (const Bytes& data : inputs) {
        const bool incompressible = data == noise;
        const Bytes image = compressTablebase(data.data(), data.size());
        for (int threads : {2, 3})  // blocks shared out differently, the same file
            EXPECT_TRUE(compressTablebase(data.data(), data.size(), threads) == image) << threads << " threads";
        Opened file(image, true);
        ASSERT_EQ(file.error, 0);
        ASSERT_EQ(decodedLength(file.header), int64_t(data.size()));
        for (uint32_t b = 0; b < file.header->blocks; ++b)
            ASSERT_EQ(file.block(b), std::string(data.begin() + b * 8192, data.begin() + std::min<size_t>(data.size(), (b + 1) * 8192)));
        if (incompressible) {
            EXPECT_LE(image.size(), file.header->start[0] + noise.size()) << "stored, not grown";
        } else if (data.size() > 8192) {
            EXPECT_LT(image.size(), data.size() / 4);
        }
    }
}

}  // namespace
