#pragma once

#include "ui/CliArguments.h"

// scrivox --runs: the kept runs, oldest first, one line each: id, local time, action, files,
// the size of the old content kept, folder, and whether it is undone or its journal damaged.
int ListRunsCommand(const CliRequest& request);

// scrivox --undo[=ID]: takes back the latest run not yet undone, or the run ID. Restored files
// are listed with -l; files left because they changed since are named on standard error. Exit
// status as for a run: 0 all restored, 1 some left or failed, 2 nothing restored (no such run,
// a damaged journal).
int UndoCommand(const CliRequest& request);
