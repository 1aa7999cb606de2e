#pragma once

// tb compress <file>...: writes <file>.emd next to each file.
int runTbCompressCommand(int argc, char** argv);
