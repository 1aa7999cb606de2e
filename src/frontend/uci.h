// UCI handshake and command dispatch.
#pragma once

void uciHandshake();
// mode 1 blocks for a line, 0 returns at once when nothing is waiting.
// Returns 1 when a running search must stop (also at the end of input,
// which counts as "quit").
int dispatchCommand(int mode);
void setPosition(const char* line);
void parseGo(const char* line);
// Value of a "go" parameter: the token after the first space that follows
// the keyword's first occurrence; 0 when the keyword or the space is absent.
int goParameter(const char* line, const char* keyword);
