// Line reader on standard input that can tell, without blocking, whether a
// complete line is waiting.
#pragma once

constexpr int LineBufferSize = 4096;

void initInputChannel();
// mode 1 waits for a line, 0 polls. Returns the line or nullptr; nullptr in
// blocking mode means end of input.
const char* readLine(int mode);
bool inputEnded();
