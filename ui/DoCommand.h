#pragma once

#include <optional>
#include <string>

#include "engine/Run.h"
#include "framework/TTime.h"

class ReportOwner;
class TConfigFile;

// The program's store: "Software\Harrowfen\Scrivox" of the current user.
inline constexpr const char* kProgramStoreName = "Harrowfen\\Scrivox";
inline constexpr const char* kOptionsSection = "Options";

// The options as stored, with their defaults for a first start.
struct StoredOptions {
    bool subfolders = true;
    bool caseSensitive = true;
    bool wholeWords = true;
    bool createBackups = false;
    bool keepDates = false;
    bool binaryFiles = false;
    Action action = Action::Find;
};

StoredOptions ReadStoredOptions(TConfigFile& store);

// What the Do! command reads from the dialog (or the command line).
struct DoInputs {
    std::string folder;
    std::string filter;
    std::string findText;
    std::string replaceText;
    bool subfolders = true;
    bool caseSensitive = true;
    bool wholeWords = true;
    bool createBackups = false;
    bool keepDates = false;
    bool binaryFiles = false;
    Action action = Action::Find;
    TTime touchTime;  // UTC; Touch only
};

// The first input check that fails, in the order the user reads them: "Enter folder.",
// "Enter filter.", and for Find "Enter search string." and "Enter replace string.".
std::optional<std::string> CheckDoInputs(const DoInputs& inputs);

// Stores what a run goes with: Find writes the Find options and Action 1; Touch writes
// Subfolders and Action 2 and leaves the Find options as they were.
void StoreOptions(TConfigFile& store, const DoInputs& inputs);

// The run the inputs ask for.
JobSettings JobFor(const DoInputs& inputs);

struct DoOutcome {
    std::optional<std::string> refusal;  // a failed check's message: nothing stored, nothing run
    RunCounts counts;
};

// The Do! command: checks the inputs, stores the options, runs the action, and reports through
// `reportTo` when the run is interactive (not null).
DoOutcome DoCommand(const DoInputs& inputs, TConfigFile& store, ReportOwner* reportTo);
