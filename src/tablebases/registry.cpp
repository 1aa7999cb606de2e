#include "tablebases/registry.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "board/board.h"
#include "platform/platform.h"
#include "tablebases/classes.h"
#include "tablebases/decoder.h"

TablebaseRegistry tablebaseRegistry;

struct CacheSlot {
    int16_t classNumber;
    int16_t side;
    int32_t first;   // index of the block's first byte
    int32_t length;  // bytes read
    CacheSlot* newer;
    CacheSlot* older;
    CacheSlot* nextInBucket;
    CacheSlot* previousInBucket;
    uint8_t* data;
};

namespace {

constexpr int NoResult = 99999;
constexpr int NoInformation = 127;
// tablebaseValue's scale: 32640 + byte for wins, byte - 32640 for losses,
// 32767 when the file knows nothing.
constexpr int TablebaseValueBase = 32640;
constexpr int UnknownValue = 32767;
constexpr int TablebaseScoreBase = 29748;  // probe score of value base +/- 0
constexpr int BlockBits = 13;
constexpr int Buckets = 32;
constexpr size_t SlotBytes = 8260;      // header share and data area of one slot
constexpr size_t SlotDataBytes = 8228;  // a block and the decoder's slack
constexpr int LargestCacheMegabytes = 4096;

struct BlockCache {
    CacheSlot* slots;
    int count;
    CacheSlot* free;
    CacheSlot* newest;
    CacheSlot* oldest;
} cache;

DecodeState* decodeState;
std::mutex probeMutex;

// classTrie: counts of White's then Black's pawns, knights, bishops, rooks
// and queens, ten levels, at most three men in all. A node is its largest
// key followed by one entry per key: the child node, or at the last level
// the signed class number.
constexpr int TrieLevels = 10;
int trie[1715];  // exactly the nodes of the tree
int trieUsed;

int buildTrieNode(int level, int largest) {
    const int node = trieUsed;
    trie[node] = largest;
    trieUsed += largest + 2;
    for (int key = 0; key <= largest; ++key)
        trie[node + 1 + key] = level + 1 < TrieLevels ? buildTrieNode(level + 1, largest - key) : 0;
    return node;
}

// Entry of the leaf for these counts, or null when the trie has no place.
int* trieLeaf(const int* counts) {
    int node = 0;
    for (int level = 0; level < TrieLevels; ++level) {
        if (counts[level] < 0 || counts[level] > trie[node]) return nullptr;
        int* entry = &trie[node + 1 + counts[level]];
        if (level + 1 == TrieLevels) return entry;
        node = *entry;
    }
    return nullptr;
}

void clearTrieLeaves(int node, int level) {
    for (int key = 0; key <= trie[node]; ++key) {
        if (level + 1 == TrieLevels)
            trie[node + 1 + key] = 0;
        else
            clearTrieLeaves(trie[node + 1 + key], level + 1);
    }
}

[[noreturn]] void stopEngine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    std::exit(1);
}

void closeAllFiles() {
    for (TablebaseClass& t : tablebaseClasses)
        for (FILE*& f : t.file)
            if (f) {
                std::fclose(f);
                f = nullptr;
            }
}

void forgetFile(int classNumber, int side) {
    TablebaseClass& t = tablebaseClasses[classNumber];
    if (t.file[side]) std::fclose(t.file[side]);
    t.file[side] = nullptr;
    t.path[side].clear();
}

// Every slot free, every bucket empty, the recency list empty.
void emptyCache() {
    cache.free = nullptr;
    for (int i = cache.count - 1; i >= 0; --i) {
        cache.slots[i].newer = cache.free;
        cache.free = &cache.slots[i];
    }
    cache.newest = cache.oldest = nullptr;
    for (TablebaseClass& t : tablebaseClasses)
        for (CacheSlot** buckets : t.buckets)
            if (buckets) std::memset(buckets, 0, Buckets * sizeof *buckets);
}

bool initCache(uint8_t* buffer, size_t bytes) {
    closeAllFiles();
    delete[] cache.slots;
    cache.slots = nullptr;
    cache.count = 0;
    if (bytes < 32) {
        emptyCache();
        return false;
    }
    const size_t count = bytes / SlotBytes;
    if (count) {
        cache.slots = new (std::nothrow) CacheSlot[count];
        if (!cache.slots) return false;
    }
    cache.count = int(count);
    for (size_t i = 0; i < count; ++i) cache.slots[i].data = buffer + i * SlotDataBytes;
    emptyCache();
    return true;
}

void releaseCache() {
    delete[] cache.slots;
    cache = {};
    std::free(tablebaseRegistry.buffer);
    tablebaseRegistry.buffer = nullptr;
}

void unlinkRecency(CacheSlot* s) {
    (s->newer ? s->newer->older : cache.newest) = s->older;
    (s->older ? s->older->newer : cache.oldest) = s->newer;
}

void pushRecency(CacheSlot* s) {
    s->newer = nullptr;
    s->older = cache.newest;
    (cache.newest ? cache.newest->newer : cache.oldest) = s;
    cache.newest = s;
}

CacheSlot** bucketOf(const CacheSlot* s) {
    return &tablebaseClasses[s->classNumber].buckets[s->side][(s->first >> BlockBits) & (Buckets - 1)];
}

void unlinkBucket(CacheSlot* s) {
    if (s->previousInBucket)
        s->previousInBucket->nextInBucket = s->nextInBucket;
    else
        *bucketOf(s) = s->nextInBucket;
    if (s->nextInBucket) s->nextInBucket->previousInBucket = s->previousInBucket;
}

void pushBucket(CacheSlot* s) {
    CacheSlot** head = bucketOf(s);
    s->previousInBucket = nullptr;
    s->nextInBucket = *head;
    if (*head) (*head)->previousInBucket = s;
    *head = s;
}

// Fills the slot with the block of its file; false on any failure.
bool loadBlock(CacheSlot* s) {
    TablebaseClass& t = tablebaseClasses[s->classNumber];
    FILE*& f = t.file[s->side];
    if (!f && !(f = std::fopen(t.path[s->side].c_str(), "rb"))) {
        closeAllFiles();  // perhaps out of handles
        if (!(f = std::fopen(t.path[s->side].c_str(), "rb"))) return false;
    }
    if (const DecoderHeader* decoder = t.decoder[s->side]) {
        if (!decodeState || readCompressedBlock(*decodeState, decoder, f, uint32_t(s->first) >> BlockBits)) return false;
        s->length = decodeState->expected;
        return decodeCompressedBlock(*decodeState, s->data, s->length) == 0;
    }
    if (std::fseek(f, long(s->first), SEEK_SET) != 0) return false;
    const size_t n = std::fread(s->data, 1, CompressedBlockSize, f);
    s->length = int32_t(n);
    return n == CompressedBlockSize || !std::ferror(f);  // the file may end inside the block
}

void registerFile(const std::string& directory, int classNumber, int side, int& highest, bool& compressed) {
    TablebaseClass& t = tablebaseClasses[classNumber];
    if (!t.path[side].empty()) return;
    std::string name = directory;
    if (!name.empty()) name += DirectorySeparator;
    name += t.name;
    const std::string extension = side ? "nbb" : "nbw";
    name += "." + extension;
    DecoderHeader* decoder = nullptr;
    int64_t length;
    FILE* f = std::fopen(name.c_str(), "rb");
    if (f) {
        if (std::fseek(f, 0, SEEK_END) != 0) stopEngine("*** Seek in %s failed\n", name.c_str());
        length = std::ftell(f);
        if (t.size[side] && length != t.size[side]) stopEngine("*** %s corrupted\n", name.c_str());
    } else {
        name += ".emd";
        if (!(f = std::fopen(name.c_str(), "rb"))) {
            name.erase(name.size() - 8, 1);  // kqk.nbw.emd -> kqknbw.emd
            if (!(f = std::fopen(name.c_str(), "rb"))) return;
        }
        if (const int e = openCompressedFile(f, false, &decoder)) {
            std::printf("*** Unable to read %s -", name.c_str());
            switch (e & 0xFF) {
                case DecodeReadError: stopEngine("read error\n");
                case DecodeNoMemory: stopEngine("out of memory\n");
                case DecodeBroken: stopEngine("file broken\n");
                default: stopEngine("error %d\n", e);
            }
        }
        const int blockSize = decoder->blockSize;
        length = decodedLength(decoder);
        if (blockSize != CompressedBlockSize || (t.size[side] && length != t.size[side])) {
            freeDecoderHeader(decoder);
            if (blockSize != CompressedBlockSize)
                stopEngine("*** %s: Unsupported block size %d\n", name.c_str(), blockSize);
            stopEngine("*** %s corrupted\n", name.c_str());
        }
        compressed = true;
    }
    t.size[side] = int32_t(length);
    std::fclose(f);

    const ClassMaterial material = classMaterial(classNumber);
    int counts[TrieLevels], swapped[TrieLevels];
    for (int i = 0; i < TrieLevels; ++i) counts[i] = material.count[i / ClassManKinds][i % ClassManKinds];
    for (int i = 0; i < TrieLevels; ++i) swapped[i] = counts[(i + 5) % TrieLevels];
    int* straight = trieLeaf(counts);
    int* reversed = trieLeaf(swapped);
    if (!straight || !reversed) stopEngine("*** Unable to register %s\n", name.c_str());
    *straight = classNumber;
    *reversed = -classNumber;

    t.path[side] = name;
    t.buckets[side] = static_cast<CacheSlot**>(std::calloc(Buckets, sizeof(CacheSlot*)));
    if (!t.buckets[side]) stopEngine("*** Cannot allocate %d bytes of memory\n", int(Buckets * sizeof(CacheSlot*)));
    t.decoder[side] = decoder;
    if (classNumber > highest) highest = classNumber;
}

void forgetRegistrations() {
    closeAllFiles();
    for (TablebaseClass& t : tablebaseClasses)
        for (int side = 0; side < 2; ++side) {
            t.path[side].clear();
            freeDecoderHeader(t.decoder[side]);
            t.decoder[side] = nullptr;
            std::free(t.buckets[side]);
            t.buckets[side] = nullptr;
        }
    delete decodeState;
    decodeState = nullptr;
    emptyCache();
}

}  // namespace

int registerTablebases(const char* pathList) {
    closeAllFiles();
    buildIndexTables();
    if (!trieUsed) buildTrieNode(0, 3);
    forgetRegistrations();
    clearTrieLeaves(0, 0);

    int highest = 0;
    bool compressed = false;
    const std::string list = pathList ? pathList : "";
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find_first_of(",;", start);
        if (end == std::string::npos) end = list.size();
        const std::string directory = list.substr(start, end - start);
        if (!directory.empty())
            for (int c = 1; c < TablebaseClassCount; ++c)
                for (int side = 0; side < 2; ++side) registerFile(directory, c, side, highest, compressed);
        start = end + 1;
    }
    if (compressed) {
        decodeState = new (std::nothrow) DecodeState();
        if (!decodeState) stopEngine("*** Cannot allocate decode block: error code %d\n", 210693);
        decodeState->valid = true;
    }
    return menOfLargestClass(highest);
}

void initTablebases(const char* path, int cacheMegabytes) {
    TablebaseRegistry& r = tablebaseRegistry;
    if (path) r.tablebaseMaxMen = registerTablebases(path);
    if (r.tablebaseMaxMen <= 0) return;
    releaseCache();
    // Sizes beyond any sensible cache are refused like a failed allocation.
    const size_t bytes =
        cacheMegabytes >= 0 && cacheMegabytes <= LargestCacheMegabytes ? size_t(cacheMegabytes) << 20 : 0;
    r.buffer = bytes ? static_cast<uint8_t*>(std::malloc(bytes)) : nullptr;
    if (!r.buffer || !initCache(r.buffer, bytes)) {
        releaseCache();
        r.tablebaseMaxMen = 0;
    }
}

void releaseTablebases() {
    forgetRegistrations();
    releaseCache();
    tablebaseRegistry.tablebaseMaxMen = 0;
}

int tablebaseCacheSlots() { return cache.count; }

int readTablebaseByte(int classNumber, int side, int32_t index) {
    TablebaseClass& t = tablebaseClasses[classNumber];
    if (!cache.count || !t.buckets[side]) return NoInformation;
    for (CacheSlot* s = t.buckets[side][(index >> BlockBits) & (Buckets - 1)]; s; s = s->nextInBucket) {
        if (s->classNumber != classNumber || s->side != side || index < s->first ||
            index >= s->first + CompressedBlockSize)
            continue;
        unlinkRecency(s);
        pushRecency(s);
        unlinkBucket(s);
        pushBucket(s);
        return index - s->first < s->length ? int(int8_t(s->data[index - s->first])) : NoInformation;
    }
    CacheSlot* s = cache.free;
    if (s) {
        cache.free = s->newer;
    } else {
        s = cache.oldest;
        unlinkRecency(s);
        unlinkBucket(s);
    }
    s->classNumber = int16_t(classNumber);
    s->side = int16_t(side);
    s->first = index & ~(CompressedBlockSize - 1);
    if (!loadBlock(s)) {
        forgetFile(classNumber, side);
        s->newer = cache.free;
        cache.free = s;
        return NoInformation;
    }
    pushRecency(s);
    pushBucket(s);
    return index - s->first < s->length ? int(int8_t(s->data[index - s->first])) : NoInformation;
}

int tablebaseValue(int classNumber, int side, int32_t index) {
    if (classNumber == KppkpClass && side == 1)
        for (int32_t i : KppkpOverlongLosses)
            if (index == i) return OverlongLossValue;
    const int b = readTablebaseByte(classNumber, side, index);
    if (b == 0) return 0;
    if (b == NoInformation) return UnknownValue;
    if (b == -127) return -TablebaseValueBase;
    if (b == -128) return TablebaseValueBase;
    return b > 0 ? TablebaseValueBase + b : b - TablebaseValueBase;
}

int lookUpTablebaseClass(const Position& pos) {
    if (!trieUsed) return 0;
    int counts[TrieLevels];
    for (int colour = 0; colour < 2; ++colour)
        for (int piece = 1; piece <= 5; ++piece) counts[colour * 5 + piece - 1] = pos.pieceCount[colour * 8 + piece];
    const int* leaf = trieLeaf(counts);
    return leaf ? *leaf : 0;
}

int probeTablebase(const Position& pos, int side) {
    int classNumber = lookUpTablebaseClass(pos);
    if (!classNumber) return NoResult;
    int flip = 0;
    if (classNumber < 0) {
        classNumber = -classNumber;
        side ^= 1;
        flip = 1;
    }
    // The index functions take the men in the order of the class name.
    int first[16], second[16];
    tablebaseMenLists(pos, {classNumber, flip}, first, second);
    const TablebaseClass& t = tablebaseClasses[classNumber];
    if (!t.indexFunction[side]) return NoResult;
    const int32_t index = t.indexFunction[side](first, second, pos.epSquare ? pos.epSquare : NoEnPassant, flip);
    if (index < 0 || index >= t.size[side]) return NoResult;
    int v;
    {
        // The cache, its files and the registrations a failed read drops
        // are shared by the search threads.
        std::lock_guard<std::mutex> lock(probeMutex);
        if (t.path[side].empty()) return NoResult;
        v = tablebaseValue(classNumber, side, index);
    }
    if (v == UnknownValue) return NoResult;
    // Twice the distance from the value base, counted from a score just
    // below mate: a mate in one (byte 126) scores 30000.
    const int fromBase = v > 0 ? v - TablebaseValueBase : v < 0 ? v + TablebaseValueBase : 0;
    return v > 0 ? 2 * fromBase + TablebaseScoreBase : v < 0 ? 2 * fromBase - TablebaseScoreBase : 0;
}

int readTableFileByte(const std::string& base, int64_t index, std::string& path, int64_t& length) {
    constexpr int Unreadable = -1000;
    std::string compressed = base + ".emd";
    std::string undotted = compressed;
    if (undotted.size() >= 8) undotted.erase(undotted.size() - 8, 1);
    FILE* f = nullptr;
    for (const std::string& name : {base, compressed, undotted})
        if ((f = std::fopen(name.c_str(), "rb"))) {
            path = name;
            break;
        }
    if (!f) return Unreadable;
    int byte = Unreadable;
    if (path == base) {
        if (std::fseek(f, 0, SEEK_END) == 0 && (length = std::ftell(f)) >= 0 && index >= 0 && index < length &&
            std::fseek(f, long(index), SEEK_SET) == 0) {
            const int c = std::fgetc(f);
            if (c != EOF) byte = int(int8_t(uint8_t(c)));
        }
    } else {
        DecoderHeader* header = nullptr;
        DecodeState* state = new DecodeState();
        state->valid = true;
        static uint8_t block[SlotDataBytes];
        if (openCompressedFile(f, false, &header) == 0 && header->blockSize == CompressedBlockSize) {
            length = decodedLength(header);
            if (index >= 0 && index < length && readCompressedBlock(*state, header, f, uint32_t(index >> BlockBits)) == 0 &&
                decodeCompressedBlock(*state, block, state->expected) == 0)
                byte = int(int8_t(block[index & (CompressedBlockSize - 1)]));
        }
        freeDecoderHeader(header);
        delete state;
    }
    std::fclose(f);
    return byte;
}
