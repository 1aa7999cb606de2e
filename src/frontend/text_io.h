// Complete output lines and decimal numbers: the helpers every front-end
// module shares. Depends on nothing else in the front end.
#pragma once

// Room for the longest line we write: a full input line echoed behind a prefix.
constexpr int OutputLineSize = 2 * 4096 + 64;

// Writes one complete line followed by a line feed, then flushes.
void sendLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Set by harnesses that run go cycles for their own figures (the bench):
// sendLine then drops every line.
extern bool quietOutput;

// Decimal value of text: leading blanks and a sign accepted, stops at the
// first non-digit, 0 without digits; saturates at the int range.
int parseDecimal(const char* text);
