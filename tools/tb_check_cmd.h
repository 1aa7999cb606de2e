// tb check: proof that table files arrived whole.
#pragma once
#include "tablebases/tablefiles.h"  // walkCompressedFile

int runTbCheckCommand(int argc, char** argv);
