// Inputs that once broke a fuzz target, replayed through the same entry points.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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
