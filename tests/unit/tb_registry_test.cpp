#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "tablebases/classes.h"
#include "tablebases/compressor.h"
#include "tablebases/registry.h"
#include "test_board.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string makeDirectory() {
    char name[] = "/tmp/tavik-tb-XXXXXX";
    return mkdtemp(name) ? name : "";
}

void writeFile(const std::string& path, const Bytes& data, bool compressed = false) {
    const Bytes image = compressed ? compressTablebase(data.data(), data.size()) : data;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
}

// Table-like bytes: runs of a few values with some noise.
Bytes tableData(int classNumber, int side, unsigned seed) {
    std::mt19937 random(seed);
    Bytes data(size_t(tablebaseClasses[classNumber].size[side]));
    uint8_t value = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (random() % 64 == 0) value = uint8_t(random() % 8 * 37);
        data[i] = random() % 32 ? value : uint8_t(random());
    }
    return data;
}

struct TableFile {
    int classNumber, side;
    Bytes data;
};

class TablebaseRegistryTest : public BoardFixture {
protected:
    void TearDown() override {
        releaseTablebases();
        std::system(("rm -rf " + first + " " + second).c_str());
        BoardFixture::TearDown();
    }
    std::string first = makeDirectory(), second = makeDirectory();
};

TEST_F(TablebaseRegistryTest, DirectoriesNamesAndCache) {
    buildIndexTables();
    const int kpk = 1, krk = 4, kqk = 5, knkn = 8;
    std::vector<TableFile> files = {
        {kqk, 0, tableData(kqk, 0, 1)}, {kpk, 1, tableData(kpk, 1, 2)},   {krk, 0, tableData(krk, 0, 3)},
        {kqk, 1, tableData(kqk, 1, 4)}, {knkn, 0, tableData(knkn, 0, 5)}, {knkn, 1, tableData(knkn, 1, 6)}};
    writeFile(first + "/kqk.nbw", files[0].data);
    writeFile(second + "/kqk.nbw", Bytes(files[0].data.size(), 9));  // hidden by the first directory
    writeFile(first + "/kpk.nbb.emd", files[1].data, true);
    writeFile(second + "/krk.nbw", files[2].data);
    writeFile(second + "/kqknbb.emd", files[3].data, true);
    writeFile(second + "/knkn.nbw", files[4].data);
    writeFile(second + "/knkn.nbb", files[5].data);
    initTablebases((first + ";" + second).c_str(), 1);
    EXPECT_EQ(tablebaseRegistry.tablebaseMaxMen, 4);
    EXPECT_EQ(tablebaseCacheSlots(), (1 << 20) / 8260);
    EXPECT_EQ(tablebaseClasses[kqk].path[0], first + "/kqk.nbw");
    EXPECT_EQ(tablebaseClasses[kqk].path[1], second + "/kqknbb.emd");
    EXPECT_EQ(tablebaseClasses[kpk].path[1], first + "/kpk.nbb.emd");
    EXPECT_TRUE(tablebaseClasses[kpk].path[0].empty());
    EXPECT_EQ(tablebaseClasses[knkn].path[1], second + "/knkn.nbb");

    // More blocks than slots, half of the probes near the last one of their file.
    std::mt19937 random(11);
    std::vector<int32_t> last(files.size(), 0);
    int mismatches = 0;
    for (int i = 0; i < 40000; ++i) {
        const size_t f = random() % files.size();
        const TableFile& t = files[f];
        const int32_t size = int32_t(t.data.size());
        last[f] = random() % 2 ? std::min(size - 1, last[f] + int32_t(random() % 256)) : int32_t(random() % size);
        mismatches += readTablebaseByte(t.classNumber, t.side, last[f]) != int(int8_t(t.data[size_t(last[f])]));
    }
    EXPECT_EQ(mismatches, 0);

    // The same tables again from one directory with a new cache size.
    initTablebases(second.c_str(), 2);
    EXPECT_EQ(tablebaseCacheSlots(), (2 << 20) / 8260);
    EXPECT_EQ(tablebaseClasses[kqk].path[0], second + "/kqk.nbw");
    EXPECT_EQ(readTablebaseByte(kqk, 0, 77), 9);

    // Files that can no longer be read are forgotten.
    std::remove((second + "/krk.nbw").c_str());
    std::FILE* cut = std::fopen((second + "/kqknbb.emd").c_str(), "r+b");
    ASSERT_TRUE(cut);
    ASSERT_EQ(ftruncate(fileno(cut), 2000), 0);
    std::fclose(cut);
    initTablebases(nullptr, 1);
    EXPECT_EQ(readTablebaseByte(krk, 0, 5), 127);
    EXPECT_TRUE(tablebaseClasses[krk].path[0].empty());
    EXPECT_EQ(readTablebaseByte(kqk, 1, 20000), 127);
    EXPECT_TRUE(tablebaseClasses[kqk].path[1].empty());
    EXPECT_EQ(readTablebaseByte(knkn, 1, 5), int(int8_t(files[5].data[5])));

    // A cache smaller than a slot: no tables at all.
    initTablebases(second.c_str(), 0);
    EXPECT_EQ(tablebaseRegistry.tablebaseMaxMen, 0);
    initTablebases("", 4);
    EXPECT_EQ(tablebaseRegistry.tablebaseMaxMen, 0);
}

TEST_F(TablebaseRegistryTest, ProbeScores) {
    buildIndexTables();
    // White king, queen; Black king: the kqk file for White to move; with
    // the colours reversed the one for Black to move.
    const std::pair<int, int> bytes[] = {{0, 0},          {1, 29750},      {126, 30000}, {-1, -29750},
                                         {-126, -30000}, {-127, -29748}, {-128, 29748}, {127, 99999}};
    for (auto [stored, score] : bytes) {
        writeFile(first + "/kqk.nbw", Bytes(25629, uint8_t(stored)));
        initTablebases(first.c_str(), 1);
        EXPECT_EQ(setupPosition(pos, "8/8/8/3k4/8/8/1Q6/K7 w - -"), White);
        EXPECT_EQ(probeTablebase(pos, White), score) << stored;
        EXPECT_EQ(probeTablebase(pos, Black), 99999) << "no file for Black to move";
        setupPosition(pos, "8/8/8/3K4/8/8/1q6/k7 b - -");
        EXPECT_EQ(probeTablebase(pos, Black), score) << stored;
    }
    EXPECT_EQ(tablebaseValue(36, 1, 67775659), -32639);

    // The trie knows registered classes only; like material is always reversed.
    for (const char* name : {"/kpkp.nbb", "/krrkn.nbw"}) {
        FILE* f = std::fopen((first + name).c_str(), "wb");
        ASSERT_EQ(ftruncate(fileno(f), name[2] == 'p' ? 3863492 : 46658340), 0);
        std::fclose(f);
    }
    initTablebases(first.c_str(), 1);
    EXPECT_EQ(tablebaseRegistry.tablebaseMaxMen, 5);
    const std::pair<const char*, int> materials[] = {
        {"8/8/8/3k4/8/8/1Q6/K7 w", 5},         {"8/8/8/3K4/8/8/1q6/k7 b", -5}, {"8/8/8/3k4/8/8/8/K7 w", 0},
        {"8/3p4/8/3k4/8/3P4/8/K7 w", -6},      {"8/8/8/3k4/8/8/QQQQ4/K7 w", 0}, {"8/8/1n6/3k4/8/8/RR6/K7 w", 82},
        {"8/8/1n6/1n1k4/8/8/RR6/K7 w", 0}};
    for (auto [fen, expected] : materials) {
        setupPosition(pos, fen);
        EXPECT_EQ(lookUpTablebaseClass(pos), expected) << fen;
    }
}

}  // namespace
