// Endgame tablebase registration and probing.
#pragma once

// path nullptr re-creates the cache for the tables already registered.
void initTablebases(const char* path, int cacheMegabytes);
int tablebaseLargestMen();
void releaseTablebases();
// Score from the side to move's view, or 99999 when no table answers.
int probeTablebase(int side);
