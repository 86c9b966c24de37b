#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/Run.h"

// What the scrivox command line asks for. Options apply to this run only, but for -r+ and -r-,
// which are stored as the Subfolders option, as the Windows program's switches are.
//
//   scrivox [OPTIONS] [-r+|-r-] FOLDER FILTER FIND REPLACE
//   scrivox [OPTIONS] [-r+|-r-] --touch[=TIME] FOLDER FILTER
//   scrivox --undo[=ID] [-n] [-l] [-q]  |  scrivox --runs
//   scrivox --help | --version
//
// Examples:
//   -iwb dir '*.c' a b      ignore case, whole words, backups: three short options in one
//   dir '*.c' -- -a -b      "--" ends the options: the texts may begin with "-"
//   --touch='2026-12-08 10:30' dir '*.c'     Touch at that local time; FIND and REPLACE left out
//   dir '*.c' old ''        an empty REPLACE deletes the text
enum class ColorWhen { Auto, Always, Never };

struct CliRequest {
    std::vector<std::string> texts;  // FOLDER FILTER [FIND REPLACE], as given, empty ones too
    std::optional<bool> subfolders;  // -r+ or -r-
    std::optional<bool> caseSensitive;
    std::optional<bool> wholeWords;
    std::optional<bool> createBackups;
    std::optional<bool> keepDates;
    std::optional<bool> binaryFiles;
    std::optional<Action> action;          // --find, --touch
    std::optional<std::string> touchTime;  // --touch=TIME
    bool dryRun = false;                   // a preview: nothing is written
    bool diff = false;                     // each change as a unified diff
    bool noUndo = false;                   // keep no journal of this run
    std::optional<std::string> undo;       // --undo[=ID]: "" takes back the latest run
    bool runs = false;                     // list the kept runs
    bool list = false;
    bool quiet = false;
    bool noStore = false;
    ColorWhen color = ColorWhen::Auto;
    bool help = false;
    bool version = false;
};

// A command line that asks for nothing that can be run: what is wrong, and a hint where one
// helps.
struct UsageError {
    std::string message;
    std::string hint;
};

// Reads the arguments (without the program's name). Short options may be bundled (-iwb);
// "-r+" and "-r-" stand alone, anywhere before "--". Fails on an unknown option, a missing or
// bad option value.
std::optional<UsageError> ParseCliArguments(int argc, const char* const* argv, CliRequest& out);

// Whether the texts suit the action the run will do: four for Find, two or four for Touch; none
// of FOLDER, FILTER and FIND empty (an empty REPLACE deletes). --undo and --runs take none.
std::optional<UsageError> CheckCliTexts(const CliRequest& request, Action action);
