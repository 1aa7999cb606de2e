// One libFuzzer binary per target: TAVIK_FUZZ_TARGET names the entry.
#include <cstdlib>

#include "entries.h"

#define STRINGIFY2(x) #x
#define STRINGIFY(x) STRINGIFY2(x)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzEntry entry = fuzzEntry(STRINGIFY(TAVIK_FUZZ_TARGET));
    if (!entry) std::abort();
    entry(data, size);
    return 0;
}
