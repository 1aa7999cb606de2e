#pragma once
#include <string>
#include <vector>

// tb compress: writes <file>.emd next to each file with blocks compressed on
// threads threads; a file whose .emd already holds its bytes is skipped
// unless forced. 0 when every file was done.
int runTbCompressCommand(const std::vector<std::string>& files, int threads, bool force);
