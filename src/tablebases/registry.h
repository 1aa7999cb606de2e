// Endgame tablebase registration, block cache and probing.
#pragma once
#include <cstdint>
#include <string>

struct Position;

struct TablebaseRegistry {
    int tablebaseMaxMen;  // men of the largest class found; 0: no tables or no cache
    uint8_t* buffer;      // the block cache
};
extern TablebaseRegistry tablebaseRegistry;

// With a path: registers the tables found along it, then (when any) builds
// a cache of cacheMegabytes; without: rebuilds the cache for the tables
// already registered. Broken table files end the process with status 1.
void initTablebases(const char* path, int cacheMegabytes);
// Frees the cache, the registrations and closes every file.
void releaseTablebases();
// Score from the side to move's view, or 99999 when no table answers.
int probeTablebase(const Position& pos, int side);

// The pieces of a probe, for tools and tests.
int registerTablebases(const char* pathList);  // largest men count found
int tablebaseValue(int classNumber, int side, int32_t index);
// Seven kppkp positions, Black to move, whose losses are longer than a file
// byte can hold: their value is fixed, not read.
inline constexpr int32_t KppkpOverlongLosses[] = {56802428, 56811076, 56849992, 56858640,
                                                  59592489, 67775659, 71071628};
constexpr int OverlongLossValue = -32639;
int readTablebaseByte(int classNumber, int side, int32_t index);  // 127: no information
int tablebaseCacheSlots();
// Class of the material of the current board: +c, -c for reversed colours, 0 none.
int lookUpTablebaseClass(const Position& pos);

// One byte of a table file, for tools: the plain file named base (".nbw" or
// ".nbb" at its end), else base + ".emd", else the same without the dot
// before the side. Sets the path used and the file's (decoded) length;
// returns the byte, or -1000 when no file could be read at that index.
int readTableFileByte(const std::string& base, int64_t index, std::string& path, int64_t& length);
