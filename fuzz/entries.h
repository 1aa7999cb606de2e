#pragma once
// One entry point per fuzz target; the libFuzzer mains and the regression
// replay in the unit tests both go through these.
#include <cstddef>
#include <cstdint>
#include <filesystem>

void fuzzCommands(const uint8_t* data, size_t size);
void fuzzFen(const uint8_t* data, size_t size);
void fuzzPgn(const uint8_t* data, size_t size);
void fuzzBook(const uint8_t* data, size_t size);
void fuzzPolyglot(const uint8_t* data, size_t size);
void fuzzDecoder(const uint8_t* data, size_t size);
void fuzzTableFile(const uint8_t* data, size_t size);

// Entry point by target name, nullptr when unknown.
using FuzzEntry = void (*)(const uint8_t*, size_t);
FuzzEntry fuzzEntry(const char* name);

// Removes the scratch directories (and older bare scratch files) under root
// that processes no longer alive left behind.
void sweepStaleScratch(const std::filesystem::path& root);
