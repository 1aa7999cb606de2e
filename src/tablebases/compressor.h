// Writer of compressed tablebase files, the counterpart of decoder.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The whole compressed image of data (size > 0): header with block index,
// 24 distances picked for this data and one code for all blocks, then one
// block per 8192 bytes, kept as it is where coding would not make it shorter.
// Blocks are shared out over threads; the image does not depend on how many.
std::vector<uint8_t> compressTablebase(const uint8_t* data, size_t size, int threads = 1);
