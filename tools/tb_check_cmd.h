// tb check: proof that table files arrived whole.
#pragma once
#include "tablebases/tablefiles.h"  // walkCompressedFile

#include <string>

int runTbCheckCommand(int argc, char** argv);
// Why a table file (its class and side from the name, compressed when it
// ends in ".emd") is not whole, or empty when it is; summary then says what
// was checked.
std::string tableFileFault(const std::string& path, std::string& summary);
