// Finished table files read back: whole-file decoding of compressed tables,
// the completeness test that lets generation resume, and a class's file read
// into memory for the generator to read a successor class from.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tablebases/classes.h"

// Outcome of reading a compressed table block by block.
struct CompressedWalk {
    int error = 0;        // the decoder's error code, 0 when every block decoded
    int64_t block = -1;   // the block at fault; -1 for the header
    int64_t blocks = 0;
    int64_t length = 0;   // decoded length by the header
    int blockSize = 0;
    bool stopped = false;  // visit asked to stop
};

// Reads the header, then decodes every block (with the stored checksums
// checked when checking is set), handing each block's bytes to visit
// (block, data, length) in order; visit returns false to stop.
CompressedWalk walkCompressedFile(FILE* file, const std::function<bool(uint32_t, const uint8_t*, int)>& visit,
                                  bool checking = true);

// Asks the system to back a large block that is read at random with huge
// pages (where it has them); call before the block is first touched.
void adviseHugePages(const void* data, size_t bytes);

// <dir>/<class name>.nbw or .nbb.
std::string tableFilePath(const std::string& dir, int classNumber, int side);

// One file of the class (side 0 .nbw, 1 .nbb) is in dir at its full size,
// plain or compressed.
bool classFileComplete(const std::string& dir, int classNumber, int side);

// Both files of the class are in dir at their full size: plain, or else
// compressed (".emd") with that decoded length.
bool classFilesComplete(const std::string& dir, int classNumber);

// One file of a class (side 0 .nbw, 1 .nbb) read whole into bytes, decoded
// when only the compressed form is there; false with a message in error when
// it is missing or of the wrong size.
bool readClassFile(const std::string& dir, int classNumber, int side, std::vector<int8_t>& bytes,
                   std::string& error);

// Class files held in memory by class number and side to move, for a pass
// that reads them at random; a file not held is empty.
class ClassFilesSet {
public:
    std::vector<int8_t> bytes[TablebaseClassCount][2];

    // Holds exactly the files wanted: the others are let go before any is read.
    bool hold(const std::string& dir, const std::vector<std::pair<int, int>>& wanted, std::string& error);
    void keepOnly(const std::vector<std::pair<int, int>>& wanted);
};
