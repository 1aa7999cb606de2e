// Generated tables against an independent oracle: Gaviota's distance-to-mate
// tables, read through its library as a black box.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tablebases/classes.h"
#include "tablebases/compressor.h"
#include "tablebases/generator.h"
#include "tablebases/tablefiles.h"
#include "tablebases/verify.h"

#ifdef TAVIK_HAVE_GAVIOTA
#include <gtb-probe.h>
#endif

namespace {

// A scratch folder of this process's own: the suites of other checkouts may
// be running at the same time.
std::filesystem::path scratchDir(const std::string& name) {
    return std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
}

std::vector<int8_t> readFile(const std::string& path) {
    std::vector<int8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(int8_t(c));
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

// Every placement of the three-man classes, both sides to move: the oracle's
// verdict, or its refusal for illegal placements, must match the generator's
// result and the byte written at the index function's index.
TEST(TablebaseGenerator, ThreeMenAgreeWithGaviota) {
#ifndef TAVIK_HAVE_GAVIOTA
    GTEST_SKIP() << "libgaviotatb-dev (gtb-probe.h, libgaviotatb.a) not found at configure time: "
                    "install gaviotatb and libgaviotatb-dev to run the oracle comparison";
#else
    const char** paths = tbpaths_add(tbpaths_init(), "/usr/share/gaviotatb/gtb4");
    tb_init(0, tb_CP4, paths);
    tbcache_init(4 << 20, 0);
    ASSERT_TRUE(tb_availability() & 1) << "Gaviota 3-man tables missing from /usr/share/gaviotatb/gtb4";

    const std::string dir = scratchDir("tavik-tb-gaviota").string();
    std::filesystem::create_directories(dir);
    buildIndexTables();
    tbgen::Generator generator(2, false);
    int mismatches = 0, compared = 0;
    for (const char* name : {"kpk", "knk", "kbk", "krk", "kqk"}) {
        std::string error;
        const tbgen::Table* table = generator.table(name, error);
        ASSERT_NE(table, nullptr) << error;
        ASSERT_TRUE(tbgen::writeTableFiles(dir, *table, error)) << error;
        const int c = findTablebaseClass(name);
        const std::vector<int8_t> file[2] = {readFile(dir + "/" + name + ".nbw"), readFile(dir + "/" + name + ".nbb")};
        const unsigned char piece = (unsigned char)table->material.piece[1];
        for (int wk = 0; wk < 64; ++wk)
            for (int man = 0; man < 64; ++man)
                for (int bk = 0; bk < 64; ++bk) {
                    if (wk == man || wk == bk || man == bk || (piece == tb_PAWN && (man < 8 || man >= 56))) continue;
                    for (int side = 0; side < 2; ++side) {
                        unsigned ws[3] = {unsigned(wk), unsigned(man), tb_NOSQUARE}, bs[2] = {unsigned(bk), tb_NOSQUARE};
                        unsigned char wp[3] = {tb_KING, piece, tb_NOPIECE}, bp[2] = {tb_KING, tb_NOPIECE};
                        unsigned info = 0, plies = 0;
                        ASSERT_TRUE(tb_probe_hard(unsigned(side), tb_NOSQUARE, 0, ws, bs, wp, bp, &info, &plies));
                        int want = tbgen::NoPosition;
                        if (info == tb_DRAW) want = 0;
                        else if (info == (side ? tb_BMATE : tb_WMATE)) want = 127 - (int(plies) + 1) / 2;
                        else if (info == (side ? tb_WMATE : tb_BMATE)) want = int(plies) / 2 - 126;
                        const int sq[3] = {wk, man, bk};
                        int got = table->valueOf(sq, side, 64);
                        if (got != tbgen::NoPosition) {
                            const int first[16] = {wk, man}, second[16] = {bk};
                            const int32_t index = tablebaseClasses[c].indexFunction[side](first, second, 64, 0);
                            if (index < 0 || size_t(index) >= file[side].size() || file[side][size_t(index)] != got)
                                got = 1000 + index;  // reported as a file mismatch below
                        }
                        ++compared;
                        if (got != want && ++mismatches <= 10)
                            ADD_FAILURE() << name << " wk " << wk << " man " << man << " bk " << bk << " side "
                                          << side << ": generated " << got << ", Gaviota " << want;
                    }
                }
    }
    EXPECT_EQ(mismatches, 0) << "of " << compared;
    tbcache_done();
    tb_done();
    tbpaths_done(paths);
    std::filesystem::remove_all(dir);
#endif
}

// Longest wins known from the literature, and the encoding's extremes.
TEST(TablebaseGenerator, LongestWinsAndEncoding) {
    tbgen::Generator generator(2, false);
    std::string error;
    for (auto [name, moves] : {std::pair{"kqk", 10}, std::pair{"krk", 16}}) {
        const tbgen::Table* table = generator.table(name, error);
        ASSERT_NE(table, nullptr) << error;
        EXPECT_EQ(table->longestWin, moves) << name;
    }
    const tbgen::Table* kqk = generator.table("kqk", error);
    // c6 K, h7 Q, a8 k: Qb7 mates; with the queen on b7 Black is mated, on c7 stalemated.
    const int mateInOne[3] = {42, 55, 56}, mated[3] = {42, 49, 56}, stale[3] = {42, 50, 56};
    EXPECT_EQ(kqk->valueOf(mateInOne, 0, 64), 126);
    EXPECT_EQ(kqk->valueOf(mated, 1, 64), -126);
    EXPECT_EQ(kqk->valueOf(stale, 1, 64), 0);
    EXPECT_EQ(kqk->valueOf(mated, 0, 64), tbgen::NoPosition);  // Black, not to move, in check
    EXPECT_EQ(generator.table("kkq", error), nullptr);
}

// A class made from its successors' files (read through the index functions)
// equals the class made with its successors in memory, and is proven. kpkp's
// two sides to move read different files (each side's promotions, Black's
// through colour-reversed classes, and en passant), each side's pass holding
// only its own; knnkn is a five-man class (about a minute); the unoptimised
// builds take kpk alone.
TEST(TablebaseGenerator, SuccessorsFromFilesAsInMemory) {
#ifdef NDEBUG
    const std::vector<std::string> names = {"kpkp", "knnkn"};
#else
    const std::vector<std::string> names = {"kpk"};
#endif
    namespace fs = std::filesystem;
    const fs::path base = scratchDir("tavik-tb-successors");
    fs::remove_all(base);
    const std::string memory = (base / "memory").string(), files = (base / "files").string();
    fs::create_directories(memory);
    fs::create_directories(files);
    buildIndexTables();
    std::string error;
    for (const std::string& name : names) {
        tbgen::Generator inMemory(2, false);
        const tbgen::Table* table = inMemory.table(name, error);
        ASSERT_NE(table, nullptr) << error;
        ASSERT_TRUE(tbgen::writeTableFiles(memory, *table, error, 2)) << error;
        for (const std::string& successor : tbgen::successorClasses(name))
            ASSERT_TRUE(tbgen::writeTableFiles(files, *inMemory.table(successor, error), error, 2)) << error;
    }
    for (const std::string& name : names) {
        tbgen::Generator fromFiles(2, false, files);
        ASSERT_TRUE(fromFiles.make(name, error)) << error;
        for (const char* ext : {".nbw", ".nbb"}) {
            const std::vector<int8_t> want = readFile(memory + "/" + name + ext);
            EXPECT_FALSE(want.empty());
            EXPECT_TRUE(want == readFile(files + "/" + name + ext)) << name << ext;
        }
        EXPECT_TRUE(verifyTablebase(files, name, 2));
    }
    fs::remove_all(base);
}

// Successors read from compressed files only give the same class; a class
// whose files are whole in either form counts as complete, one with a short
// file does not.
TEST(TablebaseGenerator, CompressedSuccessorsAndCompleteness) {
    namespace fs = std::filesystem;
    const fs::path base = scratchDir("tavik-tb-compressed");
    fs::remove_all(base);
    fs::create_directories(base);
    const std::string dir = base.string();
    std::string error;
    {
        tbgen::Generator generator(2, false, dir);
        ASSERT_TRUE(generator.make("kpk", error)) << error;
    }
    const std::vector<int8_t> want[2] = {readFile(dir + "/kpk.nbw"), readFile(dir + "/kpk.nbb")};
    const int kqk = findTablebaseClass("kqk");
    for (const char* ext : {".nbw", ".nbb"}) {
        const std::vector<int8_t> plain = readFile(dir + "/kqk" + ext);
        const std::vector<uint8_t> image = compressTablebase(reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
        FILE* f = std::fopen((dir + "/kqk" + ext + ".emd").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), f), image.size());
        std::fclose(f);
        fs::remove(dir + "/kqk" + ext);
    }
    EXPECT_TRUE(classFilesComplete(dir, kqk));
    {
        tbgen::Generator generator(2, false, dir);
        ASSERT_TRUE(generator.make("kpk", error)) << error;
    }
    EXPECT_TRUE(readFile(dir + "/kpk.nbw") == want[0]);
    EXPECT_TRUE(readFile(dir + "/kpk.nbb") == want[1]);
    EXPECT_FALSE(fs::exists(dir + "/kqk.nbw"));  // read, not made again

    fs::resize_file(dir + "/kpk.nbb", want[1].size() - 1);
    EXPECT_FALSE(classFilesComplete(dir, findTablebaseClass("kpk")));
    fs::remove_all(base);
}

// Classes of tests/data/tb_generation.txt made and written with one thread
// and with several: the files are byte-identical (the threads only share out
// the work, and a level's outcome does not depend on their order), the longest
// win is the listed one, and the checker proves them with two threads. The
// unoptimised builds take the lines marked "all".
TEST(TablebaseGenerator, ThreadsGiveTheSameFiles) {
    namespace fs = std::filesystem;
    const fs::path base = scratchDir("tavik-tb-threads");
    fs::remove_all(base);
    const std::string dirs[2] = {(base / "one").string(), (base / "several").string()};
    for (const std::string& dir : dirs) fs::create_directories(dir);
    std::ifstream cases(TAVIK_TEST_DATA "/tb_generation.txt");
    ASSERT_TRUE(cases) << "tests/data/tb_generation.txt missing";
    tbgen::Generator one(1, false, dirs[0]), several(3, false, dirs[1]);
    std::string line;
    int classes = 0;
    while (std::getline(cases, line)) {
        std::istringstream fields(line);
        std::string name, builds;
        int longestWin = -1;
        if (line.empty() || line[0] == '#' || !(fields >> name >> longestWin >> builds)) continue;
#ifndef NDEBUG
        if (builds != "all") continue;
#endif
        ++classes;
        std::string error;
        tbgen::Generator* generators[2] = {&one, &several};
        for (int g = 0; g < 2; ++g) {
            const tbgen::Table* table = generators[g]->table(name, error);
            ASSERT_NE(table, nullptr) << name << ": " << error;
            EXPECT_EQ(table->longestWin, longestWin) << name;
            ASSERT_TRUE(tbgen::writeTableFiles(dirs[g], *table, error, g ? 3 : 1)) << error;
        }
        for (const char* ext : {".nbw", ".nbb"}) {
            const std::vector<int8_t> want = readFile(dirs[0] + "/" + name + ext);
            EXPECT_FALSE(want.empty()) << name << ext;
            EXPECT_TRUE(want == readFile(dirs[1] + "/" + name + ext)) << name << ext << " differs with threads";
        }
        EXPECT_TRUE(verifyTablebase(dirs[1], name, 2)) << name;
    }
    EXPECT_GE(classes, 3);
    fs::remove_all(base);
}
