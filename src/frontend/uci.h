// UCI handshake and command dispatch.
#pragma once

void uciHandshake();
// mode 1 blocks for a line, 0 returns at once when nothing is waiting.
// Returns 1 when a running search must stop.
int dispatchCommand(int mode);
void setPosition(const char* line);
void parseGo(const char* line);
// Writes one complete line followed by a line feed, then flushes.
void sendLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
