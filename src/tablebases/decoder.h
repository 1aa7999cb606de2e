// Reader of compressed tablebase files: a checked header holding a block
// index, then independent blocks of 8192 decoded bytes, each an LZ77 stream
// over 24 per-file distances whose literals and matches share one canonical
// Huffman alphabet of 1024 symbols.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int CompressedBlockSize = 8192;
constexpr int MatchDistances = 24;
constexpr int MainSymbols = 1024;
constexpr int MainTableBits = 13;
constexpr uint32_t HeaderConstant = 0x004001F5;
constexpr int BannerLength = 64;
extern const char compressedBanner[BannerLength];

// Error codes are (location << 8) | kind.
enum DecodeKind { DecodeReadError = 2, DecodeNoMemory = 5, DecodeBroken = 6, DecodeBadArgument = 7 };

// The file checksum: a table-driven 32-bit sum with its own table step and
// no final inversion (not the usual CRC-32).
uint32_t blockChecksum(const uint8_t* data, size_t length, uint32_t value = 0);

// Canonical Huffman decode table: (1 << bits) primary entries, then pairs of
// tree nodes for longer codes. Entry >= 0: symbol << 5 | length; < 0: minus
// the index of a node pair.
// Returns 0, 1 when the lengths are not an acceptable code, 2 when the tree
// does not fit.
int buildDecodeTable(const uint8_t* lengths, int symbols, int bits, int16_t* table, int capacity);

// Big-endian bit reader, most significant bit first; reads past the end give
// zeros.
struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t position;  // next byte to load
    uint32_t bits;    // the next bits at the top
    int count;        // valid bits beyond the first 16

    void start(const uint8_t* from, size_t length) {
        data = from;
        size = length;
        position = 0;
        bits = next16() << 16;
        bits |= next16();
        count = 16;
    }
    uint32_t next16() {
        uint32_t word = (position < size ? uint32_t(data[position]) << 8 : 0) |
                        (position + 1 < size ? data[position + 1] : 0);
        position += 2;
        return word;
    }
    uint32_t peek(int n) const { return n ? bits >> (32 - n) : 0; }
    void skip(int n) {  // n <= 16
        bits <<= n;
        count -= n;
        if (count < 1) {
            bits |= next16() << -count;
            count += 16;
        }
    }
    uint32_t read(int n) {
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }
    uint32_t readLong(int n) {  // n <= 32, the high 16 bits first
        if (n <= 16) return read(n);
        const uint32_t high = read(16);
        return high << (n - 16) | read(n - 16);
    }
};

struct DecoderHeader {
    int16_t table[(1 << MainTableBits) + 2 * MainSymbols];
    int32_t distance[MatchDistances];  // negated: offsets back from the output
    int32_t blockSize;
    int blockBits;
    uint32_t blocks;
    int32_t lastBlockLength;
    int32_t largestCompressed;  // + 32
    uint64_t* start;            // blocks + 1 file offsets
    uint32_t* checksums;        // (decoded, compressed) per block, only when checking
    bool valid;
};

struct DecodeState {
    bool valid;
    bool ready;   // a block has been read and not yet fully decoded
    bool stored;  // the block is copied, not decoded
    const DecoderHeader* header;
    uint32_t block;
    int produced;
    int expected;
    int compressedLength;
    int pendingLength;  // rest of a match cut at the end of the requested output
    int pendingSource;
    BitReader reader;
    uint8_t input[CompressedBlockSize];
};

// Reads and checks the header; on success *header owns the block index.
int openCompressedFile(FILE* file, bool checking, DecoderHeader** header);
void freeDecoderHeader(DecoderHeader* header);
// Loads one compressed block into the state.
int readCompressedBlock(DecodeState& state, const DecoderHeader* header, FILE* file, uint32_t block);
// Decodes the loaded block into output until its first length bytes are in
// place; a later call with a larger length continues. The output area needs
// 3 bytes of slack beyond the block.
int decodeCompressedBlock(DecodeState& state, uint8_t* output, int length);
// Decoded length of the whole file.
int64_t decodedLength(const DecoderHeader* header);
// What an error code of the functions above means, in a few words.
const char* decodeErrorText(int code);
