// Process start-up, the main loop and the go cycle.
#pragma once

void engineStartup();
void engineShutdown();
void runGoCycle();
int engineMain(int argc, char** argv);
