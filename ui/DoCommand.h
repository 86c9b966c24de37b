#pragma once

#include <functional>
#include <optional>
#include <string>

#include "engine/Run.h"

class ReportOwner;
class RunObserver;
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
// The options a run goes with, as they are stored.
StoredOptions OptionsOf(const JobSettings& job);
// A run's settings with the stored options; the texts and the time are the caller's.
void ApplyOptions(const StoredOptions& options, JobSettings& job);

// The first input check that fails, in the order the user reads them: "Enter folder.",
// "Enter filter.", and for Find "Enter search string." and, unless an empty replace text is
// taken to delete, "Enter replace string.", then "Folder not found." when the folder cannot be
// opened (it is not there, or it is a file).
std::optional<std::string> CheckDoInputs(const JobSettings& job, bool emptyReplaceDeletes = false);

// Stores what a run goes with: Find writes the Find options and Action 1; Touch writes
// Subfolders and Action 2 and leaves the Find options as they were.
void StoreOptions(TConfigFile& store, const StoredOptions& options);

// How the Do! command goes about a run, besides its settings.
struct DoHow {
    TConfigFile* store = nullptr;          // where the options go; none, nowhere
    std::optional<StoredOptions> storeAs;  // what is stored there; the run's own when none
    // Called once the options are stored, before the run: a message stops the run there.
    std::function<std::optional<std::string>()> afterStoring;
    bool emptyReplaceDeletes = false;  // the command line takes '' as "delete"
    ReportOwner* reportTo = nullptr;   // an interactive run's report
    RunObserver* observer = nullptr;   // hears of each file as the run goes
    // A run that changes files keeps a journal in the user's runs folder, so that it can be
    // undone.
    bool keepJournal = false;
};

struct DoOutcome {
    std::optional<std::string> refusal;  // a failed check's message: nothing run
    RunCounts counts;
    std::string runId;        // the kept run's, to undo it; empty when none was kept
    std::string journalNote;  // why the run cannot be undone, or not all of it (see RunJournal)
};

// The Do! command, which both front ends call: checks the inputs, stores the options (a
// preview stores none), runs the action in the job's mode, and reports through `how.reportTo`
// when the run is interactive (not null).
DoOutcome DoCommand(const JobSettings& job, const DoHow& how);
