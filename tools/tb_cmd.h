// "tb": endgame tablebase files, one subcommand per job.
#pragma once

// argv[0] is "tb"; returns the process exit status.
int runTablebaseCommand(int argc, char** argv);
