#include "tablebases/decoder.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int AuxSymbols = 64;
constexpr int AuxTableBits = 8;

// Error locations of the header, block reader and block decoder.
enum : int {
    NoOutputArgument = 171271,
    ShortFirstRead = 173058,
    BannerDiffers = 173826,
    BadGeometry = 176134,
    BadDistanceCount = 176902,
    BadConstant = 177670,
    NoHeaderMemory = 178437,
    ShortHeaderRead = 179717,
    HeaderChecksum = 181510,
    NoDecoderMemory = 183557,
    BadCodeLengths = 196102,
    BadDecodeTable = 197894,
    StateNotValid = 215047,
    BlockOutOfRange = 215815,
    SeekFailed = 218114,
    ShortBlockRead = 218626,
    CompressedChecksum = 219142,
    DecodeNotReady = 225031,
    BadRequest = 225799,
    TooMuchOutput = 227846,
    MatchUnfinished = 228358,
    DecodedChecksum = 229382,
};

uint32_t checksumTable[256];
bool checksumTableBuilt;

void buildChecksumTable() {
    if (checksumTableBuilt) return;
    checksumTableBuilt = true;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v = i;
        for (int step = 0; step < 8; ++step) v = (v & 1) ? v >> 1 : (v >> 1) ^ 0xEDB88320u;
        checksumTable[i] = v;
    }
}

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline int decodeSymbol(BitReader& in, const int16_t* table, int bits) {
    int e = table[in.peek(bits)];
    if (e >= 0) {
        in.skip(e & 31);
        return e >> 5;
    }
    in.skip(bits);
    do e = table[-e + int(in.read(1))];
    while (e < 0);
    return e;
}

// Reads n code lengths; false when the data breaks the scheme.
bool readCodeLengths(BitReader& in, uint8_t* lengths, int n) {
    if (in.read(1)) {
        std::memset(lengths, 0, size_t(n));
        return true;
    }
    if (n <= 128) {
        const int width = int(in.read(5));
        for (int i = 0; i < n;) {
            const uint32_t length = in.readLong(width);
            if (length > 31) return false;
            lengths[i++] = uint8_t(length);
            if (length == 0) {
                const int run = int(in.read(4));
                if (run > n - i) return false;
                std::memset(lengths + i, 0, size_t(run));
                i += run;
            }
        }
        return true;
    }
    uint8_t aux[128];
    if (!readCodeLengths(in, aux, 128)) return false;
    constexpr int Capacity = (1 << AuxTableBits) + 2 * AuxSymbols;
    int16_t values[Capacity], counts[Capacity];
    if (buildDecodeTable(aux, AuxSymbols, AuxTableBits, values, Capacity) ||
        buildDecodeTable(aux + AuxSymbols, AuxSymbols, AuxTableBits, counts, Capacity))
        return false;
    for (int i = 0; i < n;) {
        const int v = decodeSymbol(in, values, AuxTableBits);
        if (v < 32) {
            lengths[i++] = uint8_t(v);
            continue;
        }
        const int c = decodeSymbol(in, counts, AuxTableBits);
        uint64_t count = uint64_t(c);
        if (c > 31) count = (uint64_t(1) << (c - 32)) + in.readLong(c - 32) + 31;
        count += 2;
        if (count > uint64_t(n - i)) return false;
        std::memset(lengths + i, v - 32, size_t(count));
        i += int(count);
    }
    return true;
}

}  // namespace

// The compressor's identification line, then zeros up to 64 bytes.
const char compressedBanner[BannerLength] = "Compressed by DATACOMP v 1.0 (c) 1991--1998 Andrew Kadatch\r\n";

uint32_t blockChecksum(const uint8_t* data, size_t length, uint32_t value) {
    buildChecksumTable();
    for (size_t i = 0; i < length; ++i) value = (value >> 8) ^ checksumTable[(value ^ data[i]) & 0xFF];
    return value;
}

int buildDecodeTable(const uint8_t* lengths, int symbols, int bits, int16_t* table, int capacity) {
    int count[32] = {};
    int used = 0, only = 0;
    for (int s = 0; s < symbols; ++s) {
        if (lengths[s] > 31) return 1;
        if (lengths[s]) {
            ++count[lengths[s]];
            ++used;
            only = s;
        }
    }
    const int primary = 1 << bits;
    // No symbol: everything reads as symbol 0; one symbol: it costs no bits.
    if (used <= 1) {
        if (used == 1 && lengths[only] != 1) return 1;
        for (int i = 0; i < primary; ++i) table[i] = int16_t(only << 5);
        return 0;
    }
    uint64_t open = 0;  // Kraft sum exactly 1, counted from the longest codes up
    for (int length = 31; length >= 1; --length) {
        open += uint64_t(count[length]);
        if (open & 1) return 1;
        open >>= 1;
    }
    if (open != 1) return 1;

    uint32_t next[32] = {};
    uint32_t code = 0;
    for (int length = 1; length <= 31; ++length) {
        code = (code + uint32_t(count[length - 1])) << 1;
        next[length] = code;
    }
    constexpr int16_t Unset = INT16_MIN;
    for (int i = 0; i < primary; ++i) table[i] = Unset;
    int free = primary;
    for (int s = 0; s < symbols; ++s) {
        const int length = lengths[s];
        if (!length) continue;
        const uint32_t c = next[length]++;
        if (length <= bits) {
            const uint32_t first = c << (bits - length);
            for (uint32_t i = 0; i < (1u << (bits - length)); ++i) table[first + i] = int16_t(s << 5 | length);
            continue;
        }
        int16_t* slot = &table[c >> (length - bits)];
        for (int bit = length - bits - 1; bit >= 0; --bit) {
            if (*slot == Unset) {
                if (free + 2 > capacity) return 2;
                table[free] = table[free + 1] = Unset;
                *slot = int16_t(-free);
                free += 2;
            }
            if (*slot >= 0) return 2;
            slot = &table[-*slot + int((c >> bit) & 1)];
        }
        if (*slot != Unset) return 2;
        *slot = int16_t(s);
    }
    return 0;
}

int openCompressedFile(FILE* file, bool checking, DecoderHeader** result) {
    if (!result) return NoOutputArgument;
    *result = nullptr;
    buildChecksumTable();
    uint8_t first[80];
    if (!file || std::fseek(file, 0, SEEK_SET) != 0 || std::fread(first, 1, 80, file) != 80) return ShortFirstRead;
    if (std::memcmp(first, compressedBanner, BannerLength) != 0) return BannerDiffers;
    const uint32_t headerLength = bigEndian32(first + 64);
    const int k = first[70];
    const uint32_t blocks = bigEndian32(first + 72);
    // The block index must fit in the header it claims.
    const uint64_t indexEnd = 80 + 8 * uint64_t(blocks) + ((uint64_t(blocks) + 25) * uint64_t(k) + 7) / 8;
    if (headerLength < 84 || k > 16 || indexEnd + 4 > headerLength) return BadGeometry;
    if (first[71] != MatchDistances) return BadDistanceCount;
    if (bigEndian32(first + 76) != HeaderConstant) return BadConstant;

    // A header longer than the file cannot be read; don't allocate for it.
    if (std::fseek(file, 0, SEEK_END) != 0) return ShortHeaderRead;
    const long fileLength = std::ftell(file);
    if (fileLength < 0 || uint64_t(fileLength) < headerLength || std::fseek(file, 80, SEEK_SET) != 0)
        return ShortHeaderRead;
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(headerLength));
    if (!buffer) return NoHeaderMemory;
    std::memcpy(buffer, first, 80);
    int error = 0;
    DecoderHeader* header = nullptr;
    if (std::fread(buffer + 80, 1, headerLength - 80, file) != headerLength - 80)
        error = ShortHeaderRead;
    else if (blockChecksum(buffer, headerLength - 4) != bigEndian32(buffer + headerLength - 4))
        error = HeaderChecksum;
    else if (!(header = new (std::nothrow) DecoderHeader()) ||
             !(header->start = new (std::nothrow) uint64_t[size_t(blocks) + 1]) ||
             (checking && !(header->checksums = new (std::nothrow) uint32_t[2 * size_t(blocks) + 1])))
        error = NoDecoderMemory;
    if (!error) {
        header->blockBits = k;
        header->blockSize = 1 << k;
        header->blocks = blocks;
        BitReader in;
        in.start(buffer + 80 + 8 * size_t(blocks), headerLength - 4 - (80 + 8 * size_t(blocks)));
        uint64_t offset = headerLength;
        int32_t largest = 0;
        for (uint32_t b = 0; b <= blocks; ++b) {
            int32_t length = int32_t(in.read(k));
            if (length == 0) length = header->blockSize;
            if (b == blocks) {
                header->lastBlockLength = length;
                break;
            }
            header->start[b] = offset;
            offset += uint64_t(length);
            if (length > largest) largest = length;
        }
        header->start[blocks] = offset;
        header->largestCompressed = largest + 32;
        for (int& d : header->distance) d = -int32_t(in.read(k));
        if (checking)
            for (size_t i = 0; i < 2 * size_t(blocks); ++i) header->checksums[i] = bigEndian32(buffer + 80 + 4 * i);

        in.start(buffer + indexEnd, headerLength - 4 - indexEnd);
        uint8_t lengths[MainSymbols];
        if (!readCodeLengths(in, lengths, MainSymbols))
            error = BadCodeLengths;
        else if (buildDecodeTable(lengths, MainSymbols, MainTableBits, header->table,
                                  int(sizeof header->table / sizeof header->table[0])))
            error = BadDecodeTable;
    }
    std::free(buffer);
    if (error) {
        freeDecoderHeader(header);
        return error;
    }
    header->valid = true;
    *result = header;
    return 0;
}

void freeDecoderHeader(DecoderHeader* header) {
    if (!header) return;
    delete[] header->start;
    delete[] header->checksums;
    delete header;
}

const char* decodeErrorText(int code) {
    switch (code) {
        case ShortFirstRead: return "shorter than a header";
        case BannerDiffers: return "banner differs: not a compressed table";
        case BadGeometry: return "header length or block size out of range";
        case BadDistanceCount: return "distance count is not 24";
        case BadConstant: return "header constant wrong";
        case NoHeaderMemory:
        case NoDecoderMemory: return "out of memory";
        case ShortHeaderRead: return "header cut short";
        case HeaderChecksum: return "header checksum wrong";
        case BadCodeLengths: return "code lengths invalid";
        case BadDecodeTable: return "decode table cannot be built";
        case SeekFailed: return "seek failed";
        case ShortBlockRead: return "compressed data cut short";
        case CompressedChecksum: return "compressed data checksum wrong";
        case TooMuchOutput: return "decodes to more data than the block holds";
        case MatchUnfinished: return "ends inside a match";
        case DecodedChecksum: return "decoded data checksum wrong";
        default: return "decoder error";
    }
}

int64_t decodedLength(const DecoderHeader* header) {
    return (int64_t(header->blocks) - 1) * header->blockSize + header->lastBlockLength;
}

int readCompressedBlock(DecodeState& state, const DecoderHeader* header, FILE* file, uint32_t block) {
    state.ready = false;
    if (!state.valid || !header || !header->valid) return StateNotValid;
    if (block >= header->blocks) return BlockOutOfRange;
    const uint64_t length = header->start[block + 1] - header->start[block];
    if (std::fseek(file, long(header->start[block]), SEEK_SET) != 0) return SeekFailed;
    if (length > sizeof state.input || std::fread(state.input, 1, size_t(length), file) != length)
        return ShortBlockRead;
    if (header->checksums && blockChecksum(state.input, size_t(length)) != header->checksums[2 * block + 1])
        return CompressedChecksum;
    state.header = header;
    state.block = block;
    state.compressedLength = int(length);
    state.expected = block + 1 == header->blocks ? header->lastBlockLength : header->blockSize;
    state.stored = state.compressedLength == state.expected;
    state.produced = 0;
    state.pendingLength = 0;
    state.pendingSource = 0;
    state.reader.start(state.input, size_t(length));
    state.ready = true;
    return 0;
}

int decodeCompressedBlock(DecodeState& state, uint8_t* output, int length) {
    if (!state.valid || !state.ready) return DecodeNotReady;
    if (length <= state.produced || length > state.expected) return BadRequest;
    const DecoderHeader& header = *state.header;
    int pos = state.produced;
    if (state.stored) {
        std::memcpy(output + pos, state.input + pos, size_t(length - pos));
        pos = length;
    }
    // Local copies: stores through the output may alias anything else.
    BitReader in = state.reader;
    const int16_t* table = header.table;
    const int32_t* distances = header.distance;
    const int expected = state.expected;
    int pendingLength = state.pendingLength, pendingSource = state.pendingSource;
    int error = 0;
    while (pos < length) {
        if (pendingLength) {
            const int n = pendingLength < length - pos ? pendingLength : length - pos;
            const uint8_t* from = output + pendingSource;
            if (pos - pendingSource >= n)
                std::memcpy(output + pos, from, size_t(n));
            else if (pos - pendingSource == 1)
                std::memset(output + pos, *from, size_t(n));  // a run
            else
                for (int i = 0; i < n; ++i) output[pos + i] = from[i];  // overlapping: byte order matters
            pos += n;
            pendingSource += n;
            pendingLength -= n;
            continue;
        }
        const int symbol = decodeSymbol(in, table, MainTableBits);
        if (symbol < 256) {
            output[pos++] = uint8_t(symbol);
            continue;
        }
        const int m = symbol - 256;
        const int source = pos + distances[m >> 5];
        const int code = m & 31;
        int matchLength = code + 1;
        if (code >= 15) {
            const int e = code - 14;
            matchLength = (1 << e) + int(in.readLong(e)) + 14;
        }
        if (source < 0 || source == pos || matchLength > expected - pos) {
            error = TooMuchOutput;
            break;
        }
        if (code <= 3 && pos + 4 <= length) {  // short match: always 4 bytes, then step on
            for (int i = 0; i < 4; ++i) output[pos + i] = output[source + i];
            pos += matchLength;
            continue;
        }
        pendingLength = matchLength;
        pendingSource = source;
    }
    state.reader = in;
    state.pendingLength = pendingLength;
    state.pendingSource = pendingSource;
    if (error) return error;
    state.produced = pos;
    if (pos == state.expected) {
        state.ready = false;
        if (state.pendingLength) return MatchUnfinished;
        if (header.checksums && blockChecksum(output, size_t(pos)) != header.checksums[2 * state.block])
            return DecodedChecksum;
    }
    return 0;
}
