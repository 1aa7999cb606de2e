// Independent proof of a plain table: every legal position's stored result
// must follow from the stored results of its successors, found with the
// engine's own move generator.
#pragma once
#include <string>

// Prints a summary (and the first bad positions as FENs) on stdout; false
// when the table is wrong or its files (or a smaller class's) are missing.
// The placements are shared out among threads; the report is the same for
// any number.
bool verifyTablebase(const std::string& dir, const std::string& className, int threads = 1);
