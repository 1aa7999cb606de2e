// Engine options set through "setoption name ...".
#pragma once

extern int cacheMegabytes;
extern char tablebasePath[256];
extern int ownBook;

void setOption(const char* text);
