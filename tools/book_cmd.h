// "book": build a Tavik book from PGN games or a Polyglot book, and show the
// moves the engine would consider in a position.
#pragma once

// argv[0] is "book"; returns the process exit status.
int runBookCommand(int argc, char** argv);
