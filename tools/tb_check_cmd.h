// tb check: proof that table files arrived whole.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>

// Outcome of reading a compressed table block by block.
struct CompressedWalk {
    int error = 0;        // the decoder's error code, 0 when every block decoded
    int64_t block = -1;   // the block at fault; -1 for the header
    int64_t blocks = 0;
    int64_t length = 0;   // decoded length by the header
    int blockSize = 0;
    bool stopped = false;  // visit asked to stop
};

// Reads the header, then decodes every block with the checksums stored for
// it checked, handing each block's bytes to visit (block, data, length) in
// order; visit returns false to stop.
CompressedWalk walkCompressedFile(FILE* file, const std::function<bool(uint32_t, const uint8_t*, int)>& visit);

int runTbCheckCommand(int argc, char** argv);
