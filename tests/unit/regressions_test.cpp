// Inputs that once broke a fuzz target, replayed through the same entry points.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "entries.h"

TEST(FuzzRegressions, EveryStoredInputRunsCleanly) {
    namespace fs = std::filesystem;
    int replayed = 0;
    for (const auto& dir : fs::directory_iterator(fs::path(TAVIK_TEST_DATA) / "regressions")) {
        const FuzzEntry entry = fuzzEntry(dir.path().filename().c_str());
        ASSERT_NE(entry, nullptr) << dir.path();
        for (const auto& file : fs::directory_iterator(dir.path())) {
            std::ifstream in(file.path(), std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(file.path().string());
            entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

// A killed fuzz run leaves its scratch behind; the next run removes what
// belongs to dead processes and nothing else.
TEST(FuzzRegressions, ScratchSweepRemovesOnlyWhatDeadRunsLeft) {
    namespace fs = std::filesystem;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child), self = std::to_string(getpid());

    const fs::path root = fs::temp_directory_path() / ("tavik-sweep-test-" + self);
    fs::remove_all(root);
    fs::create_directories(root / ("tavik-fuzz-" + dead));
    std::ofstream(root / ("tavik-fuzz-" + dead) / "probe.book") << "x";
    std::ofstream(root / ("tavik-fuzz-" + dead + ".book")) << "x";
    const std::vector<std::string> kept = {"tavik-fuzz-" + self, "tavik-fuzz-1", "tavik-fuzz-", "tavik-fuzz-x",
                                           "other-" + dead};
    for (const auto& name : kept) fs::create_directories(root / name);

    sweepStaleScratch(root);
    EXPECT_FALSE(fs::exists(root / ("tavik-fuzz-" + dead)));
    EXPECT_FALSE(fs::exists(root / ("tavik-fuzz-" + dead + ".book")));
    for (const auto& name : kept) EXPECT_TRUE(fs::exists(root / name)) << name;
    fs::remove_all(root);
}
