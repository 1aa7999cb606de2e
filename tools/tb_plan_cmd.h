#pragma once

// tb plan <dir> --men N [--output FILE]: a Makefile that makes the set, one
// class per target after the classes it converts into.
int runTbPlanCommand(int argc, char** argv);
