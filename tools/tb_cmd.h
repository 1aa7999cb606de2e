#pragma once

// tavik-tool tb <subcommand> ...: endgame tablebase files.
int runTablebaseCommand(int argc, char** argv);
